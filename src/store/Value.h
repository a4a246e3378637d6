// Values held by fields and passed to and from storage back ends.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "store/FieldType.h"

namespace ff {

// A currency amount exactly as a .ff2 file holds it: the amount times 10000. A double holds
// such amounts exactly only up to 2^39, a 64-bit integer up to 922337203685477.5807.
struct ScaledCurrency {
  std::int64_t tenThousandths = 0;
  bool operator==(const ScaledCurrency&) const = default;
};

// A stored value: null, a whole number (integers, booleans as 0/1), a double (floats,
// currency, dates as days since 30 December 1899), bytes (text in UTF-8, memo, blobs) or an
// exact currency amount read from a .ff2 file (the store's own tables hold currency as doubles).
using Value = std::variant<std::monostate, std::int64_t, double, std::string, ScaledCurrency>;

inline bool isNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

// Conversions used by fields and filters. Null reads as 0 / false / "".
double valueToDouble(const Value& v);
std::int64_t valueToInt(const Value& v);
std::string valueToString(const Value& v);

// An amount in ten-thousandths as exact decimal text with four decimals: "-12.3400".
std::string currencyText(std::int64_t tenThousandths);

// v as values of type t are stored (see storageClassOf); null stays null.
Value valueAsStored(const Value& v, FieldType t);

// Three-way comparison in storage order: null first, numbers by value, text bytewise.
int compareValues(const Value& a, const Value& b);

}  // namespace ff
