// How the store's tables look on a MariaDB server: column names, column types and the
// values bound to them.
#pragma once

#include <string>
#include <vector>

#include "store/Schema.h"
#include "store/Value.h"

namespace ff {

// `ready` of a table in the dictionary: 0 while it is made (or left half-made); 1 for a table
// of an earlier build, whose rows triggers may count; 2 for one whose count the store keeps
// itself. Earlier builds list only 1, so they never write uncounted rows into a table of ours.
constexpr int kTableReadyCountedByTriggers = 1;
constexpr int kTableReady = 2;

// `name` with backticks doubled.
std::string QuoteIdentifier(const std::string& name);
// The column of the field at position i ("`c3`").
std::string ColumnName(int i);
// The column type of a field; fields in an index get a type that can be indexed whole.
std::string ColumnType(const FieldDef& field, bool indexed);
// The column as an index key names it: a prefix for long text and bytes, except in a unique
// index, which must compare whole values (the server then checks them by a hash).
std::string IndexKeyPart(const FieldDef& field, int i, bool unique);
// The column of the Norwegian sort key of the text field at position i ("`k3`"), its type and
// its part of an index key.
std::string SortKeyColumnName(int i);
std::string SortKeyColumnType(const FieldDef& field);
std::string SortKeyIndexPart(const FieldDef& field, int i, bool unique);
// "`k3` VARCHAR(…) … NULL": the sort key column of the text field at position i, as a table
// definition names it.
std::string SortKeyColumnDefinition(const FieldDef& field, int i);
// The key parts of an index, "`c1`, `k3` DESC": each field's column or, for text without
// regard to case, its sort key column; each once, since the server refuses a column twice and
// a field named again adds nothing to the order or to uniqueness. Throws ENotFound for a
// field the table lacks.
std::string IndexKeyParts(const std::vector<FieldDef>& fields, const IndexDef& index);
// "UNIQUE INDEX `ix2` (…)": the index at position pos, as CREATE TABLE and ALTER TABLE … ADD
// name it.
std::string IndexDefinition(const std::vector<FieldDef>& fields, const IndexDef& index, int pos);
// Which of the fields hold bytes (bound as blobs).
std::vector<bool> BinaryColumns(const std::vector<FieldDef>& fields);
// True when some index names the field.
bool IsIndexed(const std::vector<IndexDef>& indexes, const std::string& field);
// The position of a field by name (without regard to case), or -1.
int FieldPosition(const std::vector<FieldDef>& fields, const std::string& name);
// Name matching key of a table: its name in ASCII lower case.
std::string NameKey(const std::string& name);

}  // namespace ff
