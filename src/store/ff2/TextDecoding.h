// Wide text of the table file (UTF-16LE) to UTF-8. Single-byte text is Windows-1252:
// Cp1252ToUtf8 of text/Cp1252.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ff::ff2 {

// `units` UTF-16LE code units at p as UTF-8; an unpaired surrogate becomes U+FFFD.
// With stopAtNul the text ends at the first 0 unit.
std::string utf16leToUtf8(const std::uint8_t* p, std::size_t units, bool stopAtNul);

}  // namespace ff::ff2
