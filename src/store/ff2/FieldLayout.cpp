#include "store/ff2/FieldLayout.h"

namespace ff::ff2 {

namespace {

// Strings longer than this reach the data set as memos.
constexpr int kLongestClientString = 8192;

struct TypeInfo {
  std::string_view name;
  int fixedLength;  // 0 for the types sized by their `units`
  FieldType client;
};

std::optional<TypeInfo> infoOf(FfType type) {
  switch (type) {
    case FfType::Boolean: return TypeInfo{"fftBoolean", 1, FieldType::Boolean};
    case FfType::Char: return TypeInfo{"fftChar", 1, FieldType::String};
    case FfType::WideChar: return TypeInfo{"fftWideChar", 2, FieldType::String};
    case FfType::Byte: return TypeInfo{"fftByte", 1, FieldType::Word};
    case FfType::Word16: return TypeInfo{"fftWord16", 2, FieldType::Word};
    case FfType::Word32: return TypeInfo{"fftWord32", 4, FieldType::LongWord};
    case FfType::Int8: return TypeInfo{"fftInt8", 1, FieldType::Smallint};
    case FfType::Int16: return TypeInfo{"fftInt16", 2, FieldType::Smallint};
    case FfType::Int32: return TypeInfo{"fftInt32", 4, FieldType::Integer};
    case FfType::AutoInc: return TypeInfo{"fftAutoInc", 4, FieldType::AutoInc};
    case FfType::Single: return TypeInfo{"fftSingle", 4, FieldType::Float};
    case FfType::Double: return TypeInfo{"fftDouble", 8, FieldType::Float};
    case FfType::Extended: return TypeInfo{"fftExtended", 10, FieldType::Float};
    case FfType::Comp: return TypeInfo{"fftComp", 8, FieldType::Largeint};
    case FfType::Currency: return TypeInfo{"fftCurrency", 8, FieldType::Currency};
    case FfType::StDate: return TypeInfo{"fftStDate", 4, FieldType::Date};
    case FfType::StTime: return TypeInfo{"fftStTime", 4, FieldType::Time};
    case FfType::DateTime: return TypeInfo{"fftDateTime", 8, FieldType::DateTime};
    case FfType::Blob: return TypeInfo{"fftBLOB", 8, FieldType::Blob};
    case FfType::BlobMemo: return TypeInfo{"fftBLOBMemo", 8, FieldType::Memo};
    case FfType::BlobFmtMemo: return TypeInfo{"fftBLOBFmtMemo", 8, FieldType::FmtMemo};
    case FfType::BlobOleObj: return TypeInfo{"fftBLOBOLEObj", 8, FieldType::ParadoxOle};
    case FfType::BlobGraphic: return TypeInfo{"fftBLOBGraphic", 8, FieldType::Graphic};
    case FfType::BlobDbsOleObj: return TypeInfo{"fftBLOBDBSOLEObj", 8, FieldType::DBaseOle};
    case FfType::BlobTypedBin: return TypeInfo{"fftBLOBTypedBin", 8, FieldType::TypedBinary};
    case FfType::BlobFile: return TypeInfo{"fftBLOBFile", 8, FieldType::Blob};
    case FfType::ByteArray: return TypeInfo{"fftByteArray", 0, FieldType::Bytes};
    case FfType::ShortString: return TypeInfo{"fftShortString", 0, FieldType::String};
    case FfType::ShortAnsiStr: return TypeInfo{"fftShortAnsiStr", 0, FieldType::String};
    case FfType::NullString: return TypeInfo{"fftNullString", 0, FieldType::String};
    case FfType::NullAnsiStr: return TypeInfo{"fftNullAnsiStr", 0, FieldType::String};
    case FfType::WideString: return TypeInfo{"fftWideString", 0, FieldType::String};
  }
  return std::nullopt;
}

bool isNullTerminated(FfType type) {
  return type == FfType::NullString || type == FfType::NullAnsiStr || type == FfType::WideString;
}

}  // namespace

std::optional<FfType> ffTypeFromCode(int code) {
  const auto type = static_cast<FfType>(code);
  if (!infoOf(type)) return std::nullopt;
  return type;
}

std::string_view ffTypeName(FfType type) {
  const auto info = infoOf(type);
  return info ? info->name : std::string_view("unknown");
}

bool isBlobType(FfType type) { return type >= FfType::Blob && type <= FfType::BlobFile; }

bool lengthFitsType(FfType type, int length) {
  const auto info = infoOf(type);
  if (!info) return false;
  if (info->fixedLength != 0) return length == info->fixedLength;
  if (type == FfType::WideString) return length >= 2 && length % 2 == 0;
  return length >= 1;
}

FieldDef clientFieldDef(const FieldLayout& layout) {
  FieldDef def;
  def.name = layout.name;
  def.type = infoOf(layout.type)->client;
  def.required = layout.required;
  switch (layout.type) {
    case FfType::Char:
    case FfType::WideChar: def.size = 1; break;
    case FfType::ByteArray: def.size = layout.length; break;
    case FfType::ShortString:
    case FfType::ShortAnsiStr:
    case FfType::NullString:
    case FfType::NullAnsiStr: def.size = layout.length - 1; break;
    case FfType::WideString: def.size = layout.length / 2 - 1; break;
    default: break;
  }
  if (isNullTerminated(layout.type) && layout.length > kLongestClientString) {
    def.type = FieldType::Memo;
    def.size = 0;
  }
  return def;
}

}  // namespace ff::ff2
