// Character counting on UTF-8 text: "at most N characters" never cuts inside a character.
#pragma once

#include <cstddef>
#include <string>

namespace ff {

std::size_t utf8Length(const std::string& s);
// The first n characters of s (all of s when shorter).
std::string utf8Left(const std::string& s, std::size_t n);

}  // namespace ff
