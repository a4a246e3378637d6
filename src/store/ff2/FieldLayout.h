// A field as the table file's dictionary describes it, and how the FlashFiler client shows it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "store/Schema.h"

namespace ff::ff2 {

// FlashFiler's own field type codes, as stored in the dictionary.
enum class FfType : int {
  Boolean = 0,
  Char = 1,
  WideChar = 2,
  Byte = 3,
  Word16 = 4,
  Word32 = 5,
  Int8 = 6,
  Int16 = 7,
  Int32 = 8,
  AutoInc = 9,
  Single = 10,
  Double = 11,
  Extended = 12,
  Comp = 13,
  Currency = 14,
  StDate = 15,
  StTime = 16,
  DateTime = 17,
  Blob = 18,
  BlobMemo = 19,
  BlobFmtMemo = 20,
  BlobOleObj = 21,
  BlobGraphic = 22,
  BlobDbsOleObj = 23,
  BlobTypedBin = 24,
  BlobFile = 25,
  ByteArray = 45,
  ShortString = 46,
  ShortAnsiStr = 47,
  NullString = 48,
  NullAnsiStr = 49,
  WideString = 50,
};

struct FieldLayout {
  std::string name;  // UTF-8
  FfType type = FfType::Int32;
  int units = 0;     // type-specific size or precision
  int decimals = 0;  // display decimals of float and currency types
  int offset = 0;    // in the record, counted from the byte after the flag byte
  int length = 0;    // bytes in the record
  bool required = false;
};

// The type for a stored code; nullopt for codes that never occur in a table.
std::optional<FfType> ffTypeFromCode(int code);

// "fftInt32", "fftShortString", ... as FlashFiler names the types.
std::string_view ffTypeName(FfType type);

bool isBlobType(FfType type);

// Whether `length` is a possible record length for the type (fixed sizes must match exactly;
// strings need room for their terminator or count byte).
bool lengthFitsType(FfType type, int length);

// The field as the FlashFiler client presents it to a data set: its data-set type, size
// (characters for strings, bytes for byte arrays, else 0) and required flag.
// REQUIRES: lengthFitsType(layout.type, layout.length).
FieldDef clientFieldDef(const FieldLayout& layout);

}  // namespace ff::ff2
