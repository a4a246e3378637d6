// Values held by fields and passed to and from storage back ends.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "store/FieldType.h"

namespace ff {

// A stored value: null, a whole number (integers, booleans as 0/1), a double (floats,
// currency, dates as days since 30 December 1899) or bytes (text in UTF-8, memo, blobs).
using Value = std::variant<std::monostate, std::int64_t, double, std::string>;

inline bool isNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

// Conversions used by fields and filters. Null reads as 0 / false / "".
double valueToDouble(const Value& v);
std::int64_t valueToInt(const Value& v);
std::string valueToString(const Value& v);

// v as values of type t are stored (see storageClassOf); null stays null.
Value valueAsStored(const Value& v, FieldType t);

// Three-way comparison in storage order: null first, numbers by value, text bytewise.
int compareValues(const Value& a, const Value& b);

}  // namespace ff
