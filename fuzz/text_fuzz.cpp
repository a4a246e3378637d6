// libFuzzer target for the text unit: round trips between Windows-1252 and UTF-8 are exact,
// every cut and count agrees, and nothing turns valid text invalid. Built by scripts/fuzz.sh.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzContract.h"
#include "text/Cp1252.h"
#include "text/Utf8Text.h"

namespace {

void checkWindows1252(const std::string& bytes) {
  const std::string utf8 = Cp1252ToUtf8(bytes);
  Require(IsValidUtf8(utf8), "Windows-1252 decodes to valid UTF-8");
  Require(Utf8Length(utf8) == bytes.size(), "one character per Windows-1252 byte");
  Require(Utf8ToCp1252(utf8) == bytes, "Windows-1252 -> UTF-8 -> Windows-1252 gives the bytes back");
  Require(RepairUtf8(utf8) == utf8, "repair keeps valid UTF-8");
}

void checkUtf8(const std::string& text) {
  const std::string repaired = RepairUtf8(text);
  Require(IsValidUtf8(repaired), "repair gives valid UTF-8");
  Require(Utf8Length(repaired) == Utf8Length(text), "repair keeps the character count");
  if (IsValidUtf8(text)) {
    Require(repaired == text, "repair keeps valid UTF-8");
    const std::string legacy = Utf8ToCp1252(text);
    if (legacy.find('?') == std::string::npos) {
      Require(Cp1252ToUtf8(legacy) == text, "UTF-8 -> Windows-1252 -> UTF-8 is exact when every letter fits");
    }
  }
  const std::string upper = Utf8Upper(text);
  Require(Utf8Length(upper) == Utf8Length(text), "upper-casing keeps the character count");
  Require(IsValidUtf8(upper) == IsValidUtf8(text), "upper-casing keeps validity");
}

void checkCuts(const std::string& text) {
  const std::size_t length = Utf8Length(text);
  for (std::size_t n = 0; n <= length + 1; n += 1 + n / 8) {
    const std::string cut = Utf8Left(text, n);
    Require(text.compare(0, cut.size(), cut) == 0, "a cut is a start of the text");
    Require(Utf8Length(cut) == std::min(n, length), "a cut of n characters counts n", std::to_string(n));
    Require(cut.size() <= 4 * n, "a character is at most four bytes");
    Require(!IsValidUtf8(text) || IsValidUtf8(cut), "a cut never splits a character");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  checkWindows1252(input);
  checkUtf8(input);
  checkCuts(input);
  return 0;
}
