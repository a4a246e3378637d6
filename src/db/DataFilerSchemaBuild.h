// Shorthand for writing the schema's field tables: one line per field, in the words of the
// field tables (type, size, label, then the notes). Used only by the schema's own sources.
#pragma once

#include <vector>

#include "db/DataFilerSchema.h"

namespace declare {

class FieldBuilder {
 public:
  FieldBuilder(const char* name, ff::FieldType type, int size, const char* label) {
    spec_.decl.name = name;
    spec_.decl.type = type;
    spec_.decl.size = size;
    spec_.decl.label = label;
  }

  FieldBuilder& Values(const char* trueFalse) {
    spec_.decl.displayValues = trueFalse;
    return *this;
  }
  FieldBuilder& Format(const char* mask) {
    spec_.decl.displayFormat = mask;
    return *this;
  }
  FieldBuilder& EditFormat(const char* mask) {
    spec_.decl.editFormat = mask;
    return *this;
  }
  FieldBuilder& EditMask(const char* mask) {
    spec_.decl.editMask = mask;
    return *this;
  }
  FieldBuilder& Default(const char* expression) {
    spec_.decl.defaultExpression = expression;
    return *this;
  }
  FieldBuilder& Currency() {
    spec_.decl.currency = true;
    return *this;
  }
  FieldBuilder& Required() {
    spec_.decl.required = true;
    return *this;
  }
  FieldBuilder& Calculated() {
    spec_.decl.kind = ff::FieldKind::Calculated;
    return *this;
  }
  FieldBuilder& OnChange(const char* handler) {
    spec_.onChange = handler;
    return *this;
  }

  operator FieldSpec() const { return spec_; }

 private:
  FieldSpec spec_;
};

// string(N); a string declared without a size holds 20 characters.
inline FieldBuilder String(const char* name, int size, const char* label = "") {
  return {name, ff::FieldType::String, size, label};
}
inline FieldBuilder Float(const char* name, const char* label = "") {
  return {name, ff::FieldType::Float, 0, label};
}
inline FieldBuilder Integer(const char* name, const char* label = "") {
  return {name, ff::FieldType::Integer, 0, label};
}
inline FieldBuilder Smallint(const char* name, const char* label = "") {
  return {name, ff::FieldType::Smallint, 0, label};
}
inline FieldBuilder Word(const char* name, const char* label = "") {
  return {name, ff::FieldType::Word, 0, label};
}
inline FieldBuilder Boolean(const char* name, const char* label = "") {
  return {name, ff::FieldType::Boolean, 0, label};
}
inline FieldBuilder DateTime(const char* name, const char* label = "") {
  return {name, ff::FieldType::DateTime, 0, label};
}
inline FieldBuilder Memo(const char* name, const char* label = "") {
  return {name, ff::FieldType::Memo, 0, label};
}
inline FieldBuilder Blob(const char* name, const char* label = "") {
  return {name, ff::FieldType::Blob, 0, label};
}
inline FieldBuilder Graphic(const char* name, const char* label = "") {
  return {name, ff::FieldType::Graphic, 0, label};
}

}  // namespace declare

// The two halves of the business schema, in declared order.
std::vector<TableSpec> ProjectStaffAndEquipmentTables();
std::vector<TableSpec> CompanyAccountAndTradeTables();
