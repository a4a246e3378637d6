// How the store's tables look in a SQLite file: the rows table's columns and the values bound
// to them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "store/Schema.h"
#include "store/Value.h"

struct sqlite3;

namespace ff {

class SqliteStatement;

// The column of the field at position i ("c3").
std::string SqliteColumn(int i);

// The column of the Norwegian sort key of the text field at position i ("_ff_k3").
std::string SqliteSortKeyColumn(int i);

// ff_sortkey(text), the SQL function that gives NorwegianSortKey: it fills the sort key
// columns of rows written before their index was made.
void RegisterSortKeyFunction(sqlite3* db);

// Binds one value per field (parameters first+1, ...), each converted to its field's storage.
// REQUIRES: values outlive the statement's next step.
void BindRow(SqliteStatement& s, const std::vector<FieldDef>& fields, const std::vector<Value>& values, int first = 0);

// Binds the sort keys of keyFields of a row's values (parameters first+1, ...).
void BindSortKeys(SqliteStatement& s, const std::vector<int>& keyFields, const std::vector<Value>& values, int first);

// One row whose id is the one after the highest ever given (the table's id mark), the fields
// then the sort keys of keyFields as parameters.
std::string InsertWithNextIdSql(const std::vector<FieldDef>& fields, const std::vector<int>& keyFields);
// withRowId: the row id is the first parameter. rowCount rows (REQUIRES: fields or withRowId
// when more than one), each with its parameters after the row before.
std::string InsertSql(const std::vector<FieldDef>& fields, bool withRowId = false, std::size_t rowCount = 1);

}  // namespace ff
