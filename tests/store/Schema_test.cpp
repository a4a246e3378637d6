#include "store/Schema.h"

#include <gtest/gtest.h>

#include <string>

using ff::sameName;

// Table, field and index names match without regard to ASCII case, and on nothing else: every
// byte counts, a NUL or a letter beyond ASCII as much as any other.
TEST(SameName, IgnoresAsciiCaseOnly) {
  EXPECT_TRUE(sameName("ProsjektNr", "PROSJEKTNR"));
  EXPECT_TRUE(sameName("", ""));
  EXPECT_FALSE(sameName("PROSJEKTNR", "PROSJEKTNR2"));
  EXPECT_FALSE(sameName("NR_A", "NR_B"));
  EXPECT_FALSE(sameName("[", "{")) << "differ by the case bit, but are no letters";
  EXPECT_FALSE(sameName("ÅR", "år")) << "only ASCII letters fold";
  EXPECT_FALSE(sameName(std::string("A\0B", 3), std::string("A\0C", 3)));
  EXPECT_TRUE(sameName(std::string("a\0b", 3), std::string("A\0B", 3)));
}
