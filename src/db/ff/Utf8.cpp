#include "db/ff/Utf8.h"

namespace ff {

namespace {

bool startsCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

}  // namespace

std::size_t utf8Length(const std::string& s) {
  std::size_t n = 0;
  for (char c : s) n += startsCharacter(c);
  return n;
}

std::string utf8Left(const std::string& s, std::size_t n) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (startsCharacter(s[i]) && chars++ == n) return s.substr(0, i);
  }
  return s;
}

}  // namespace ff
