#include "db/ff/ff2/TextDecoding.h"

#include <gtest/gtest.h>

namespace {

using ff::ff2::utf16leToUtf8;
using ff::ff2::windows1252ToUtf8;

TEST(Windows1252, NorwegianLettersAndTheHighControlRange) {
  EXPECT_EQ(windows1252ToUtf8("\xE6\xF8\xE5\xC6\xD8\xC5"), "æøåÆØÅ");
  EXPECT_EQ(windows1252ToUtf8("\x80\x8A\x9F\x96"), "€ŠŸ–");
  EXPECT_EQ(windows1252ToUtf8("abc"), "abc");
}

TEST(Windows1252, UndefinedBytesBecomeControlCharactersNotLosses) {
  EXPECT_EQ(windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(windows1252ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Utf16, PairsLoneSurrogatesAndTheTerminator) {
  const unsigned char text[] = {'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xDC, 0, 0, 'B', 0};
  EXPECT_EQ(utf16leToUtf8(text, 6, true), "A😀\uFFFD");
  EXPECT_EQ(utf16leToUtf8(text, 6, false), std::string("A😀\uFFFD\0B", 10));
  const unsigned char lastHigh[] = {0x3D, 0xD8};
  EXPECT_EQ(utf16leToUtf8(lastHigh, 1, true), "\uFFFD");
}

}  // namespace
