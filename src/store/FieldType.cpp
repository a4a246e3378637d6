#include "store/FieldType.h"

#include <array>
#include <strings.h>

namespace ff {

namespace {

struct TypeInfo {
  FieldType type;
  std::string_view name;
  StorageClass storage;
  bool hasSize;
};

constexpr std::array<TypeInfo, 24> kTypes{{
    {FieldType::Unknown, "Unknown", StorageClass::Bytes, false},
    {FieldType::String, "String", StorageClass::Text, true},
    {FieldType::Smallint, "Smallint", StorageClass::Integer, false},
    {FieldType::Integer, "Integer", StorageClass::Integer, false},
    {FieldType::Word, "Word", StorageClass::Integer, false},
    {FieldType::Boolean, "Boolean", StorageClass::Integer, false},
    {FieldType::Float, "Float", StorageClass::Real, false},
    {FieldType::Currency, "Currency", StorageClass::Real, false},
    {FieldType::BCD, "BCD", StorageClass::Real, true},
    {FieldType::Date, "Date", StorageClass::Real, false},
    {FieldType::Time, "Time", StorageClass::Real, false},
    {FieldType::DateTime, "DateTime", StorageClass::Real, false},
    {FieldType::Bytes, "Bytes", StorageClass::Bytes, true},
    {FieldType::VarBytes, "VarBytes", StorageClass::Bytes, true},
    {FieldType::AutoInc, "AutoInc", StorageClass::Integer, false},
    {FieldType::Blob, "Blob", StorageClass::Bytes, true},
    {FieldType::Memo, "Memo", StorageClass::Text, true},
    {FieldType::Graphic, "Graphic", StorageClass::Bytes, true},
    {FieldType::FmtMemo, "FmtMemo", StorageClass::Text, true},
    {FieldType::ParadoxOle, "ParadoxOle", StorageClass::Bytes, true},
    {FieldType::DBaseOle, "DBaseOle", StorageClass::Bytes, true},
    {FieldType::TypedBinary, "TypedBinary", StorageClass::Bytes, true},
    {FieldType::Largeint, "Largeint", StorageClass::Integer, false},
    {FieldType::LongWord, "LongWord", StorageClass::Integer, false},
}};

const TypeInfo& info(FieldType t) {
  for (const TypeInfo& ti : kTypes) {
    if (ti.type == t) return ti;
  }
  return kTypes[0];
}

}  // namespace

std::string_view fieldTypeName(FieldType t) { return info(t).name; }

std::optional<FieldType> fieldTypeFromName(std::string_view name) {
  for (const TypeInfo& ti : kTypes) {
    if (ti.type != FieldType::Unknown && ti.name.size() == name.size() &&
        strncasecmp(ti.name.data(), name.data(), name.size()) == 0) {
      return ti.type;
    }
  }
  return std::nullopt;
}

StorageClass storageClassOf(FieldType t) { return info(t).storage; }

bool typeHasSize(FieldType t) { return info(t).hasSize; }

}  // namespace ff
