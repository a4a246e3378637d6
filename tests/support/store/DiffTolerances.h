// What the differential test lets the back ends show differently, each named once here with
// its reason. Keep the list short; every other difference is a fault.
#pragma once

#include <string>
#include <vector>

#include "store/Value.h"

namespace diff {

struct Tolerance {
  const char* name;
  const char* reason;
};

inline const std::vector<Tolerance>& Tolerances() {
  static const std::vector<Tolerance> list = {
      {"ordlyden i nøkkelbrudd",
       "EKeyViolation carries the database engine's own text (SQLite names the column, MariaDB the value and "
       "the index); the type is compared, the wording not"},
      {"-0 lagres som 0 på serveren",
       "MariaDB's DOUBLE keeps no negative zero; -0.0 and 0.0 are equal in every comparison and print alike"},
  };
  return list;
}

// The text an exception shows after the tolerances.
inline std::string ToleratedMessage(const std::string& type, const std::string& message) {
  return type == "EKeyViolation" ? "(databasens tekst)" : message;
}

// A value as compared after the tolerances.
inline ff::Value ToleratedValue(const ff::Value& v) {
  if (const auto* d = std::get_if<double>(&v); d && *d == 0.0) return ff::Value{0.0};
  return v;
}

}  // namespace diff
