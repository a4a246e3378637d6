// How a value of the store is written into, and read back from, a column of a converted MySQL
// table: one canonical text per value, so that the load and its verification agree.
#pragma once

#include <stdexcept>
#include <string>

#include "store/Value.h"

// What a converted column holds; each keeps every value of its source type exactly.
enum class ColumnKind { Integer, Boolean, Double, Currency, Date, Time, DateTime, Text, Binary };

// A value that the target column cannot hold (a date before year 1000, a float that is not a
// number, ...). The message names the value; the caller adds row and field.
class EValueRefused : public std::runtime_error {
 public:
  // what(): "verdien VALUE REASON".
  EValueRefused(const std::string& value, const std::string& reason)
      : std::runtime_error("verdien " + value + " " + reason), value_(value), reason_(reason) {}
  // The same refusal with where it was found before it: "WHERE: verdien VALUE REASON".
  EValueRefused(const std::string& where, const EValueRefused& refused)
      : std::runtime_error(where + ": " + refused.what()), value_(refused.value_), reason_(refused.reason_) {}

  const std::string& Value() const { return value_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string value_;
  std::string reason_;
};

enum class CellState { Value, Null, MadeNull };

// Appends to `out` the text MySQL takes and shows for v in a column of this kind (nothing for
// null): whole numbers, "1"/"0", a decimal that reads back as the same double (plain digits
// when four decimals or fewer hold it, else the shortest such text), currency with
// four decimals, "YYYY-MM-DD", "HH:MM:SS.mmm", "YYYY-MM-DD HH:MM:SS.mmm", or the bytes of
// text and binary values (unescaped).
// A date, time or date-time out of the column's range is MadeNull when nullForBadDates, else
// refused. Throws EValueRefused.
CellState AppendColumnText(std::string& out, ColumnKind kind, const ff::Value& v, bool nullForBadDates);
