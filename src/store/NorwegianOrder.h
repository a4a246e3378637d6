// The order of case-insensitive indexes on every back end: Norwegian (A–Z, then Æ, Ø, Å), upper
// and lower case equal. It is computed here once, as a sort key kept beside the text, so that
// each back end only compares bytes and all of them agree by construction.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/Schema.h"
#include "store/Value.h"

namespace ff {

// ICU's Norwegian Bokmål collation at secondary strength (case ignored, accents kept), as
// lower-case hex: text that every back end stores and indexes unchanged, in the same order.
// Bytes that are not UTF-8 count as U+FFFD.
std::string NorwegianSortKey(std::string_view utf8);

// The sort key of a text value; null stays null.
Value NorwegianSortKeyOf(const Value& text);

// Marks, in a stored index dictionary, an index whose text fields are ordered by their sort
// keys; an index that orders without regard to case and lacks it was made by an earlier build.
constexpr unsigned kSortKeyedIndex = 1u << 16;

// The text fields that some case-insensitive index orders by, in field order: each keeps its
// sort key in a column beside it.
std::vector<int> SortKeyFields(const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes);

// Appends the sort keys of `keyFields` of a row's values to out.
void AppendSortKeys(const std::vector<Value>& values, const std::vector<int>& keyFields, std::vector<Value>& out);

// Whether the index orders text by sort keys; and the options it is stored with.
bool OrdersBySortKey(const IndexDef& index, const std::vector<FieldDef>& fields);
unsigned StoredIndexOptions(const IndexDef& index, const std::vector<FieldDef>& fields);

}  // namespace ff
