#include "store/ff2/StreamValueReader.h"

#include <cstdio>
#include <string_view>

#include "store/ff2/FormatError.h"
#include "store/ff2/LittleEndian.h"
#include "store/ff2/TextDecoding.h"
#include "text/Cp1252.h"

namespace ff::ff2 {

namespace {

enum Tag : std::uint8_t {
  kInt8 = 0x02,
  kInt16 = 0x03,
  kInt32 = 0x04,
  kString = 0x06,
  kFalse = 0x08,
  kTrue = 0x09,
  kLString = 0x0C,
  kWString = 0x12,
  kUtf8String = 0x14,
};

bool isStringTag(std::uint8_t tag) {
  return tag == kString || tag == kLString || tag == kWString || tag == kUtf8String;
}

}  // namespace

std::uint8_t StreamValueReader::takeTag() { return *take(1); }

const std::uint8_t* StreamValueReader::take(std::size_t n) {
  if (n > bytes_.size() - pos_) throw FormatError("dataordboken slutter for tidlig");
  const std::uint8_t* p = bytes_.data() + pos_;
  pos_ += n;
  return p;
}

void StreamValueReader::unexpectedTag(std::uint8_t tag, const char* wanted) const {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(tag));
  throw FormatError(std::string("dataordbok: uventet merke ") + hex + " ved byte " +
                    std::to_string(pos_ - 1) + " der det skal stå " + wanted);
}

std::int32_t StreamValueReader::readInt() {
  const std::uint8_t tag = takeTag();
  switch (tag) {
    case kInt8: return static_cast<std::int8_t>(*take(1));
    case kInt16: return readI16(take(2));
    case kInt32: return readI32(take(4));
    default: unexpectedTag(tag, "et heltall");
  }
}

bool StreamValueReader::readBool() {
  const std::uint8_t tag = takeTag();
  if (tag == kTrue) return true;
  if (tag == kFalse) return false;
  unexpectedTag(tag, "en sannhetsverdi");
}

std::string StreamValueReader::readString() {
  const std::uint8_t tag = takeTag();
  switch (tag) {
    case kString: {
      const std::size_t n = *take(1);
      return Cp1252ToUtf8({reinterpret_cast<const char*>(take(n)), n});
    }
    case kLString: {
      const std::size_t n = readU32(take(4));
      return Cp1252ToUtf8({reinterpret_cast<const char*>(take(n)), n});
    }
    case kWString: {
      const std::size_t units = readU32(take(4));
      if (units > (bytes_.size() - pos_) / 2) throw FormatError("dataordboken slutter for tidlig");
      return utf16leToUtf8(take(2 * units), units, false);
    }
    case kUtf8String: {
      const std::size_t n = readU32(take(4));
      return std::string(reinterpret_cast<const char*>(take(n)), n);
    }
    default: unexpectedTag(tag, "en tekst");
  }
}

bool StreamValueReader::nextIsString() const {
  return pos_ < bytes_.size() && isStringTag(bytes_[pos_]);
}

void StreamValueReader::skipRaw(std::size_t n) { take(n); }

}  // namespace ff::ff2
