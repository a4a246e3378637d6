// Physical field and index definitions of a table.
#pragma once

#include <string>
#include <vector>

#include "store/FieldType.h"

namespace ff {

struct FieldDef {
  std::string name;
  FieldType type = FieldType::String;
  int size = 0;  // characters for strings, bytes for Bytes; 0 where the type has none
  bool required = false;
};

enum IndexOption : unsigned {
  ixUnique = 1u << 0,
  ixDescending = 1u << 1,
  ixCaseInsensitive = 1u << 2,
};

struct IndexDef {
  std::string name;
  std::vector<std::string> fields;  // in key order
  unsigned options = 0;             // IndexOption bits
};

// Splits "A;B;C" into its field names, trimming blanks; empty parts are dropped.
std::vector<std::string> splitFieldList(const std::string& list);
std::string joinFieldList(const std::vector<std::string>& fields);

// REQUIRES: a.size() == b.size(). Whether they are the same name (see sameName).
bool sameNameOfEqualLength(const std::string& a, const std::string& b);

// Case-insensitive (ASCII) name equality, as table, field and index names match. Most names
// differ in length, told here without a call.
inline bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && sameNameOfEqualLength(a, b);
}

// Index of the field named `name` in defs (compared as sameName does); -1 when there is none.
int physicalFieldIndex(const std::vector<FieldDef>& defs, const std::string& name);

}  // namespace ff
