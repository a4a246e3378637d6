// The SQL text that drops and re-creates a MySQL table matching a table's field list, and the
// names as MySQL must see them. The conversion window and kvist-ff both write it.
#pragma once

#include <string>
#include <vector>

namespace ff {
class TffTable;
}

// Appends to `lines` the drop line, the create line, one line per field of `table` (in field
// order) with its SQL type, the primary key line and the closing line. Lines already in
// `lines` stay. Names that MySQL would not take unquoted are written in backticks.
// An error while reading the field list passes to the caller; the lines appended before it
// stay.
void AppendTableSql(std::vector<std::string>& lines, ff::TffTable& table, const std::string& tableName);

// What goes between `lines` and a block appended after them: {";"} when the last line holding
// text does not end its statement, else nothing. So blocks appended in turn run as one text.
std::vector<std::string> StatementEndAfter(const std::vector<std::string>& lines);

// A table or field name as MySQL must see it: plain identifiers as they stand, anything else
// (odd characters, a reserved word, a start that reads as a literal) in backticks with inner
// backticks doubled.
std::string MySqlName(const std::string& name);

// MySqlName of the longest start of name whose written form has at most maxChars characters:
// the name is cut before quoting, so the quotes always pair up.
// REQUIRES: maxChars >= 2.
std::string MySqlName(const std::string& name, std::size_t maxChars);
