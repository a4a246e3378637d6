#include "text/Utf8Text.h"

#include <gtest/gtest.h>

TEST(Utf8Text, ValidityRejectsMalformedSequences) {
  EXPECT_TRUE(IsValidUtf8("Åpnes ø € 𝄞"));
  EXPECT_FALSE(IsValidUtf8("\xC5pnes"));         // Windows-1252 Å
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate
  EXPECT_FALSE(IsValidUtf8("ab\xC3"));           // cut short
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}

TEST(Utf8Text, LeftCountsCharactersAndNeverSplitsOne) {
  EXPECT_EQ(Utf8Left("æøå", 2), "æø");
  EXPECT_EQ(Utf8Left("a€b", 2), "a€");
  EXPECT_EQ(Utf8Left("ab", 5), "ab");
  EXPECT_EQ(Utf8Left("\xF8\xE6x", 2), "\xF8\xE6");  // stray bytes count one each
  EXPECT_EQ(Utf8Left("\xE2\x82", 1), "\xE2");        // a cut-off sequence too
}

TEST(Utf8Text, LengthCountsAsLeftCutsForEveryInput) {
  EXPECT_EQ(Utf8Length("æøå€𝄞"), 5u);
  EXPECT_EQ(Utf8Length("\x80\x80\x80"), 3u) << "stray continuation bytes are characters";
  EXPECT_EQ(Utf8Length("a\xE2\x82"), 3u) << "a cut-off sequence is two stray bytes";
  EXPECT_EQ(Utf8Length("\xC0\xAF"), 2u) << "an overlong form is two stray bytes";
  // Every short byte string, as a cut of n characters never holds more than n of them.
  for (unsigned a = 0; a < 256; a += 3) {
    for (unsigned b = 0x7E; b < 0xC4; ++b) {
      const std::string text{static_cast<char>(a), static_cast<char>(b), '\x80', '\xBF', 'x'};
      for (std::size_t n = 0; n <= text.size(); ++n) {
        const std::string cut = Utf8Left(text, n);
        ASSERT_EQ(Utf8Length(cut), std::min(n, Utf8Length(text))) << a << " " << b << " " << n;
        ASSERT_LE(cut.size(), 4 * n);
      }
    }
  }
}

TEST(Utf8Text, UpperCoversNorwegianAndWindows1252Letters) {
  EXPECT_EQ(Utf8Upper("ola åse æøå"), "OLA ÅSE ÆØÅ");
  EXPECT_EQ(Utf8Upper("šœžÿ éü"), "ŠŒŽŸ ÉÜ");
  EXPECT_EQ(Utf8Upper("ß ÷ 12:30"), "ß ÷ 12:30");
  EXPECT_EQ(Utf8Upper("ĺ ŉ ź ı"), "Ĺ ŉ Ź I");
  EXPECT_EQ(Utf8Upper("a\xF8z"), "A\xF8Z");
}
