#include "text/Cp1252.h"

#include <gtest/gtest.h>

#include "text/Utf8Text.h"

TEST(Cp1252, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  const std::string text = Cp1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(text));
  EXPECT_EQ(Utf8ToCp1252(text), all);
}

TEST(Cp1252, DecodesTheSuitesLetters) {
  EXPECT_EQ(Cp1252ToUtf8("Database_Personal_\xC5pnes"), "Database_Personal_Åpnes");
  EXPECT_EQ(Cp1252ToUtf8("\x80 \x8A \x9F \xE6\xF8\xE5"), "€ Š Ÿ æøå");
}

TEST(Cp1252, UndefinedBytesBecomeControlCharactersNotLosses) {
  EXPECT_EQ(Cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(Cp1252ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1252, CharactersTheCodePageLacksBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1252("Łódź ø"), "?\xF3" "d? \xF8");
  EXPECT_EQ(Utf8ToCp1252("\xC2\x80"), "?");  // U+0080 is not the euro sign
}

TEST(Cp1252, RepairKeepsUtf8AndReadsStrayBytesAsWindows1252) {
  EXPECT_EQ(RepairUtf8("Kjøp €"), "Kjøp €");
  EXPECT_EQ(RepairUtf8("Kj\xF8p \x80"), "Kjøp €");
  EXPECT_EQ(RepairUtf8("bl\xE5 og blå"), "blå og blå");
}
