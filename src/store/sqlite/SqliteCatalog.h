// The dictionary of a SQLite table file: the tables it is made of (fields, indexes, rows with
// their versions, the row counter and the id mark), made and read.
#pragma once

#include <vector>

#include "store/Schema.h"

struct sqlite3;

namespace ff {

class SqliteFile;

// The number of rows, kept by triggers in the same transaction as every insert and delete, so
// that counting a whole table (a grid's scroll bar) costs nothing, whoever wrote the rows.
void CreateRowCounter(sqlite3* db);
// The highest row id ever given, kept by a trigger, so that an insert never takes the id of a
// row deleted before it (a handle or bookmark on that row would land on the new one).
void CreateIdMark(sqlite3* db);
// The field dictionary and the table of rows, without indexes. Throws Error for fields
// without a name or named twice.
void CreateRowsTable(sqlite3* db, const std::vector<FieldDef>& fields);
// The index at position pos with its dictionary entry. Throws ENotFound for an unknown field.
void CreateIndex(sqlite3* db, const std::vector<FieldDef>& fields, const IndexDef& index, int pos);
void CreateIndexes(sqlite3* db, const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes);
// Rows table, indexes, row counter and id mark.
void CreateSchema(sqlite3* db, const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes);

// Reads the file's fields and indexes.
void LoadDictionary(SqliteFile& file);
// What the store keeps of a file's own tables: its fields, indexes, row counter and id mark. Another
// program may have changed them while a parked file was closed.
void ReadDictionary(SqliteFile& file);

}  // namespace ff
