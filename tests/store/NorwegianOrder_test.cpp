#include "store/NorwegianOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using ff::NorwegianSortKey;

std::vector<std::string> sortedByKey(std::vector<std::string> words) {
  std::stable_sort(words.begin(), words.end(),
                   [](const std::string& a, const std::string& b) { return NorwegianSortKey(a) < NorwegianSortKey(b); });
  return words;
}

TEST(NorwegianOrder, LettersAfterZAreÆØÅInThatOrderWithCaseIgnored) {
  EXPECT_EQ(sortedByKey({"Øst", "ås", "Berg", "zeta", "Ærlig", "alfa", "Åsen", "øre", "æble"}),
            (std::vector<std::string>{"alfa", "Berg", "zeta", "æble", "Ærlig", "øre", "Øst", "ås", "Åsen"}));
  EXPECT_EQ(NorwegianSortKey("ABC æøå"), NorwegianSortKey("abc ÆØÅ"));
  // As in Norwegian: the old spelling "Aa" sorts as the letter Å, yet is another text.
  EXPECT_EQ(sortedByKey({"Aasen", "Åtte", "Zorro", "Åsen"}), (std::vector<std::string>{"Zorro", "Åsen", "Aasen", "Åtte"}));
  EXPECT_NE(NorwegianSortKey("Aasen"), NorwegianSortKey("Åsen"));
}

TEST(NorwegianOrder, AccentsCountButOnlyAfterTheLetters) {
  EXPECT_NE(NorwegianSortKey("Emile"), NorwegianSortKey("Émile"));
  EXPECT_EQ(sortedByKey({"Ezra", "Émile", "Emile", "Ellen"}),
            (std::vector<std::string>{"Ellen", "Emile", "Émile", "Ezra"}));
}

TEST(NorwegianOrder, KeysAreHexDigitsThatComparePrefixesFirst) {
  const std::string key = NorwegianSortKey("Kvistmerket 2026 – æøå 🌲");
  EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(key.size() % 2, 0u);
  EXPECT_LT(NorwegianSortKey("ab"), NorwegianSortKey("abc"));
  EXPECT_LT(NorwegianSortKey(""), NorwegianSortKey("a"));
}

// The server keeps a String field's keys in a column of 12 hex digits a character and 16 more.
TEST(NorwegianOrder, KeysOfAnyCharactersFitTheServersColumn) {
  for (const std::string ch : {"a", "Å", "ß", "\xEF\xBB\xBF", "中", "🌲", "\xF3\xA0\x80\x81", "\xF4\x8F\xBF\xBF", "\x01"}) {
    std::string text;
    for (int i = 0; i < 255; ++i) text += ch;
    EXPECT_LE(NorwegianSortKey(text).size(), 255u * 12 + 16) << ch;
  }
}

TEST(NorwegianOrder, BytesThatAreNotUtf8SortAsOneReplacementCharacter) {
  EXPECT_EQ(NorwegianSortKey("a\xFF" "b"), NorwegianSortKey("a\xEF\xBF\xBD" "b"));
  EXPECT_EQ(NorwegianSortKey(std::string("a\0b", 3)).empty(), false);
}

TEST(NorwegianOrder, OnlyTextFieldsOfCaseInsensitiveIndexesKeepKeys) {
  const std::vector<ff::FieldDef> fields{{"NR", ff::FieldType::Integer}, {"NAVN", ff::FieldType::String, 30},
                                         {"STED", ff::FieldType::String, 20}, {"KODE", ff::FieldType::String, 5}};
  const std::vector<ff::IndexDef> indexes{{"A", {"STED", "NR"}, ff::ixCaseInsensitive},
                                          {"B", {"KODE"}, ff::ixUnique},
                                          {"C", {"navn", "sted"}, ff::ixCaseInsensitive | ff::ixDescending}};
  EXPECT_EQ(ff::SortKeyFields(fields, indexes), (std::vector<int>{1, 2}));
  EXPECT_TRUE(ff::OrdersBySortKey(indexes[0], fields));
  EXPECT_FALSE(ff::OrdersBySortKey(indexes[1], fields));
  EXPECT_FALSE(ff::OrdersBySortKey({"D", {"NR"}, ff::ixCaseInsensitive}, fields));
  EXPECT_EQ(ff::StoredIndexOptions(indexes[2], fields), indexes[2].options | ff::kSortKeyedIndex);
}

}  // namespace
