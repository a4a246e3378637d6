// Field data types, numbered as the classic data-set framework numbers them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ff {

enum class FieldType : int {
  Unknown = 0,
  String = 1,
  Smallint = 2,
  Integer = 3,
  Word = 4,
  Boolean = 5,
  Float = 6,
  Currency = 7,
  BCD = 8,
  Date = 9,
  Time = 10,
  DateTime = 11,
  Bytes = 12,
  VarBytes = 13,
  AutoInc = 14,
  Blob = 15,
  Memo = 16,
  Graphic = 17,
  FmtMemo = 18,
  ParadoxOle = 19,
  DBaseOle = 20,
  TypedBinary = 21,
  // Signed 64-bit (a FlashFiler Comp) and unsigned 32-bit (a FlashFiler Word32), numbered as
  // later framework versions number them.
  Largeint = 25,
  LongWord = 38,
};

// "String", "Smallint", ... as the data-set framework names them without the "ft" prefix.
std::string_view fieldTypeName(FieldType t);
// Case-insensitive inverse of fieldTypeName; nullopt for an unknown name.
std::optional<FieldType> fieldTypeFromName(std::string_view name);

enum class StorageClass { Integer, Real, Text, Bytes };
// How values of a type are held: whole numbers, doubles, UTF-8 text or raw bytes.
StorageClass storageClassOf(FieldType t);

// True for the types whose declared size is meaningful (string, bytes, BCD, memo sizes).
bool typeHasSize(FieldType t);

}  // namespace ff
