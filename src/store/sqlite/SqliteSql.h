// How the store's tables look in a SQLite file: the rows table's columns and the values bound
// to them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "store/Schema.h"
#include "store/Value.h"

namespace ff {

class SqliteStatement;

// The column of the field at position i ("c3").
std::string SqliteColumn(int i);

// Binds one value per field (parameters first+1, ...), each converted to its field's storage.
// REQUIRES: values outlive the statement's next step.
void BindRow(SqliteStatement& s, const std::vector<FieldDef>& fields, const std::vector<Value>& values, int first = 0);

// One row whose id is the one after the highest ever given (the table's id mark).
std::string InsertWithNextIdSql(const std::vector<FieldDef>& fields);
// withRowId: the row id is the first parameter. rowCount rows (REQUIRES: fields or withRowId
// when more than one), each with its parameters after the row before.
std::string InsertSql(const std::vector<FieldDef>& fields, bool withRowId = false, std::size_t rowCount = 1);

}  // namespace ff
