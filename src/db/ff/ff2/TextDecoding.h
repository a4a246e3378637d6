// Text of the table file to UTF-8: single-byte Windows-1252 (what Western European
// clients wrote) and UTF-16LE (the wide types).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ff::ff2 {

// Appends the UTF-8 form of a code point. Surrogates and values past U+10FFFF become U+FFFD.
void appendUtf8(std::string& out, char32_t codePoint);

// Windows-1252 bytes as UTF-8. The five bytes 1252 leaves undefined (81, 8D, 8F, 90, 9D)
// map to the control characters of the same number, so no byte is ever lost.
std::string windows1252ToUtf8(std::string_view bytes);

// `units` UTF-16LE code units at p as UTF-8; an unpaired surrogate becomes U+FFFD.
// With stopAtNul the text ends at the first 0 unit.
std::string utf16leToUtf8(const std::uint8_t* p, std::size_t units, bool stopAtNul);

}  // namespace ff::ff2
