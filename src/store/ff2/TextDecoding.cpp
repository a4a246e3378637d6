#include "store/ff2/TextDecoding.h"

#include <array>

#include "store/ff2/LittleEndian.h"
#include "text/Utf8Text.h"

namespace ff::ff2 {

namespace {

bool isHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::string utf16leToUtf8(const std::uint8_t* p, std::size_t units, bool stopAtNul) {
  std::string out;
  for (std::size_t i = 0; i < units; ++i) {
    const char32_t u = readU16(p + 2 * i);
    if (u == 0 && stopAtNul) break;
    if (isHighSurrogate(u) && i + 1 < units) {
      const char32_t low = readU16(p + 2 * (i + 1));
      if (isLowSurrogate(low)) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, u);
  }
  return out;
}

}  // namespace ff::ff2
