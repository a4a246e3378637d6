#include "text/Cp1252.h"

#include "text/Utf8Text.h"

namespace {

// Bytes 0x80 to 0x9F; the open places (0x81, 0x8D, 0x8F, 0x90, 0x9D) keep their own value.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t DecodeByte(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

// Returns the byte for code, or '?' when the code page lacks it.
char EncodeChar(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char byte : bytes) AppendUtf8(out, DecodeByte(static_cast<unsigned char>(byte)));
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Char c = DecodeUtf8Char(text, pos);
    out += c.valid ? EncodeChar(c.code) : text[pos];
    pos += c.length;
  }
  return out;
}

std::string RepairUtf8(std::string_view text) {
  // The ASCII start (all of most texts) is valid as it stands.
  std::string out(text.substr(0, AsciiPrefixLength(text)));
  out.reserve(text.size());
  for (std::size_t pos = out.size(); pos < text.size();) {
    const Utf8Char c = DecodeUtf8Char(text, pos);
    if (c.valid) {
      out.append(text.substr(pos, c.length));
    } else {
      AppendUtf8(out, DecodeByte(static_cast<unsigned char>(text[pos])));
    }
    pos += c.length;
  }
  return out;
}
