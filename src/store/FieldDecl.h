// Declaration of a persistent field: what the physical table must hold and how it is shown.
#pragma once

#include <string>

#include "store/FieldType.h"

namespace ff {

enum class FieldKind { Data, Calculated };

struct FieldDecl {
  std::string name;
  FieldType type = FieldType::String;
  int size = 0;                   // strings: characters (0 means the default of 20)
  std::string label;              // column caption; empty: the field name
  std::string displayValues;      // booleans: "Ja;Nei" (true text;false text)
  std::string displayFormat;      // numbers: "0.00", "#,##0.00", ...
  std::string editFormat;
  std::string editMask;
  std::string defaultExpression;  // applied to a new row before OnNewRecord
  bool currency = false;
  bool required = false;
  FieldKind kind = FieldKind::Data;
  bool visible = true;
};

}  // namespace ff
