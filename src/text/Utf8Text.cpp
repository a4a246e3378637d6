#include "text/Utf8Text.h"

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Lead byte -> sequence length and the bits it carries; 0 for a byte that cannot lead.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

char32_t LeadBits(unsigned char lead, std::size_t length) {
  static constexpr unsigned char kMasks[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  return lead & kMasks[length];
}

bool IsShortestForm(char32_t code, std::size_t length) {
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  return code >= kMinimum[length];
}

bool IsScalarValue(char32_t code) {
  return code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

char32_t UpperLatin1(char32_t code) {
  if (code >= 0xE0 && code <= 0xFE && code != 0xF7) return code - 0x20;
  if (code == 0xFF) return 0x178;
  return code;
}

// Latin Extended-A pairs its capitals and small letters side by side; which of the two is the
// capital flips at U+0139 and back at U+014A and U+0179.
char32_t UpperLatinExtendedA(char32_t code) {
  if (code == 0x131) return 'I';  // dotless i
  const bool evenCapitals = (code >= 0x100 && code <= 0x137) || (code >= 0x14A && code <= 0x177);
  const bool oddCapitals = (code >= 0x139 && code <= 0x148) || (code >= 0x179 && code <= 0x17E);
  if (evenCapitals && code % 2 == 1) return code - 1;
  if (oddCapitals && code % 2 == 0) return code - 1;
  return code;
}

char32_t UpperChar(char32_t code) {
  if (code >= 'a' && code <= 'z') return code - 0x20;
  if (code < 0x100) return UpperLatin1(code);
  return UpperLatinExtendedA(code);
}

}  // namespace

Utf8Char DecodeUtf8Char(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  const Utf8Char stray{lead, 1, false};
  const std::size_t length = SequenceLength(lead);
  if (length == 0 || pos + length > text.size()) return stray;
  char32_t code = LeadBits(lead, length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(byte)) return stray;
    code = (code << 6) | (byte & 0x3F);
  }
  if (!IsShortestForm(code, length) || !IsScalarValue(code)) return stray;
  return {code, length, true};
}

void AppendUtf8(std::string& out, char32_t code) {
  if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Char c = DecodeUtf8Char(text, pos);
    if (!c.valid) return false;
    pos += c.length;
  }
  return true;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += DecodeUtf8Char(text, pos).length) ++n;
  return n;
}

std::string Utf8Left(std::string_view text, std::size_t maxChars) {
  std::size_t pos = 0;
  for (std::size_t count = 0; count < maxChars && pos < text.size(); ++count) {
    pos += DecodeUtf8Char(text, pos).length;
  }
  return std::string(text.substr(0, pos));
}

std::size_t AsciiPrefixLength(std::string_view text) {
  std::size_t length = 0;
  while (length < text.size() && static_cast<unsigned char>(text[length]) < 0x80) ++length;
  return length;
}

std::string Utf8Upper(std::string_view text) {
  // The ASCII start (all of most names) is upper-cased as it is copied, without decoding.
  std::string out(text.substr(0, AsciiPrefixLength(text)));
  for (char& c : out) c = AsciiUpper(c);
  out.reserve(text.size());
  for (std::size_t pos = out.size(); pos < text.size();) {
    const Utf8Char c = DecodeUtf8Char(text, pos);
    if (c.valid) {
      AppendUtf8(out, UpperChar(c.code));
    } else {
      out += text[pos];
    }
    pos += c.length;
  }
  return out;
}
