#include "store/ff2/RecordDecoder.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "store/ff2/FormatError.h"
#include "store/ff2/LittleEndian.h"
#include "store/ff2/TextDecoding.h"
#include "text/Cp1252.h"

namespace ff::ff2 {

namespace {

// Day numbers are days since 30 December 1899. The file counts DateTime from 31 December
// of year 0 and StDate from 1 January 1600.
constexpr double kDateTimeEpochShift = 693594.0;
constexpr std::int32_t kStDateEpochShift = 109571;
constexpr std::int32_t kLastStDate = 876581;  // 31 December 3999
constexpr std::int32_t kSecondsPerDay = 86400;

Value text(std::string_view ansi) { return Cp1252ToUtf8(ansi); }

std::string_view bytesOf(const std::uint8_t* p, std::size_t n) {
  return {reinterpret_cast<const char*>(p), n};
}

// Characters up to the first 0 byte, at most n.
std::string_view upToNul(const std::uint8_t* p, std::size_t n) {
  const std::string_view all = bytesOf(p, n);
  return all.substr(0, all.find('\0'));
}

Value shortString(const std::uint8_t* p, int length) {
  const std::size_t count = std::min<std::size_t>(p[0], static_cast<std::size_t>(length - 1));
  return text(upToNul(p + 1, count));
}

// x87 80-bit extended: 64-bit mantissa with explicit integer bit, 15-bit exponent, sign.
double extended(const std::uint8_t* p) {
  const std::uint64_t mantissa = readU64(p);
  const std::uint16_t signExponent = readU16(p + 8);
  const int exponent = signExponent & 0x7FFF;
  const double sign = (signExponent & 0x8000) ? -1.0 : 1.0;
  if (exponent == 0x7FFF) {
    return (mantissa << 1) == 0 ? sign * HUGE_VAL : std::nan("");
  }
  return sign * std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
}

Value dateTime(double stored) {
  if (!(stored >= 1.0) || !std::isfinite(stored)) return {};
  return stored - kDateTimeEpochShift;
}

Value stDate(std::int32_t days) {
  if (days < 0 || days > kLastStDate) return {};
  return static_cast<double>(days - kStDateEpochShift);
}

Value stTime(std::int32_t seconds) {
  if (seconds < 0 || seconds >= kSecondsPerDay) return {};
  return static_cast<double>(seconds) / kSecondsPerDay;
}

bool isNullBitSet(const std::uint8_t* bitmap, std::size_t field) {
  return (bitmap[field / 8] >> (field % 8)) & 1;
}

}  // namespace

void RecordDecoder::decode(const std::uint8_t* record, std::vector<Value>& values) {
  const std::uint8_t* bitmap = record + dict_.logicalLength;
  values.resize(dict_.fields.size());
  for (std::size_t i = 0; i < dict_.fields.size(); ++i) {
    const FieldLayout& field = dict_.fields[i];
    if (isNullBitSet(bitmap, i)) {
      values[i] = std::monostate{};
      continue;
    }
    try {
      values[i] = decodeField(field, record + field.offset);
    } catch (const FormatError& e) {
      throw FormatError("feltet \"" + field.name + "\": " + e.what());
    }
  }
}

Value RecordDecoder::decodeField(const FieldLayout& field, const std::uint8_t* p) {
  const auto length = static_cast<std::size_t>(field.length);
  switch (field.type) {
    case FfType::Boolean: return std::int64_t{p[0] != 0};
    case FfType::Char: return text(upToNul(p, 1));
    case FfType::WideChar: return utf16leToUtf8(p, 1, true);
    case FfType::Byte: return std::int64_t{p[0]};
    case FfType::Word16: return std::int64_t{readU16(p)};
    // Unsigned on disk; read so, for the values of 2^31 and more must travel unchanged.
    case FfType::Word32:
    case FfType::AutoInc: return std::int64_t{readU32(p)};
    case FfType::Int32: return std::int64_t{readI32(p)};
    case FfType::Int8: return std::int64_t{static_cast<std::int8_t>(p[0])};
    case FfType::Int16: return std::int64_t{readI16(p)};
    case FfType::Single: return static_cast<double>(readF32(p));
    case FfType::Double: return readF64(p);
    case FfType::Extended: return extended(p);
    case FfType::Comp: return std::int64_t{readI64(p)};
    case FfType::Currency: return ScaledCurrency{readI64(p)};
    case FfType::StDate: return stDate(readI32(p));
    case FfType::StTime: return stTime(readI32(p));
    case FfType::DateTime: return dateTime(readF64(p));
    case FfType::ByteArray: return std::string(bytesOf(p, length));
    case FfType::ShortString:
    case FfType::ShortAnsiStr: return shortString(p, field.length);
    case FfType::NullString:
    case FfType::NullAnsiStr: return text(upToNul(p, length));
    case FfType::WideString: return utf16leToUtf8(p, length / 2, true);
    default: return decodeBlob(field, p);
  }
}

Value RecordDecoder::decodeBlob(const FieldLayout& field, const std::uint8_t* p) {
  std::string bytes;
  blobs_.read(readU64(p), bytes);
  if (field.type == FfType::BlobMemo) return Cp1252ToUtf8(bytes);
  return bytes;
}

}  // namespace ff::ff2

