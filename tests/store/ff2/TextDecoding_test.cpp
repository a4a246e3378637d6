#include "store/ff2/TextDecoding.h"

#include <gtest/gtest.h>

namespace {

using ff::ff2::utf16leToUtf8;

TEST(Utf16, PairsLoneSurrogatesAndTheTerminator) {
  const unsigned char text[] = {'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xDC, 0, 0, 'B', 0};
  EXPECT_EQ(utf16leToUtf8(text, 6, true), "A😀\uFFFD");
  EXPECT_EQ(utf16leToUtf8(text, 6, false), std::string("A😀\uFFFD\0B", 10));
  const unsigned char lastHigh[] = {0x3D, 0xD8};
  EXPECT_EQ(utf16leToUtf8(lastHigh, 1, true), "\uFFFD");
}

}  // namespace
