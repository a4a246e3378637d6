#include <gtest/gtest.h>

#include "text/SqlQuote.h"

TEST(SqlQuoteTest, DoublesOnlyTheQuoteItWritesAround) {
  EXPECT_EQ(SqlQuoted("", '\''), "''");
  EXPECT_EQ(SqlQuoted("O'Brien", '\''), "'O''Brien'");
  EXPECT_EQ(SqlQuoted("a`b'c", '`'), "`a``b'c`");
  EXPECT_EQ(SqlQuoted("``", '`'), "``````");
  EXPECT_EQ(SqlQuoted("æ'ø", '\''), "'æ''ø'");
}
