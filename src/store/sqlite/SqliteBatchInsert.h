// Inserts rows into a table made by CreateRowsTable, many to a statement: one INSERT of many
// rows costs about half as much per row as an INSERT per row.
#pragma once

#include <cstddef>
#include <vector>

#include "store/Schema.h"
#include "store/Storage.h"
#include "store/sqlite/SqliteStatement.h"

struct sqlite3;

namespace ff {

// The caller fills the row that slot() gives, then calls filled(); the rows are held until
// their statement has run.
class SqliteBatchInsert {
 public:
  // withRowId: each row goes in with its own id. REQUIRES: fields outlives the insert.
  SqliteBatchInsert(sqlite3* db, const std::vector<FieldDef>& fields, bool withRowId);

  Row& slot() { return rows_[filled_]; }
  void filled();
  // Inserts the rows held so far.
  void flush();

 private:
  std::size_t paramsPerRow() const { return fields_.size() + (withRowId_ ? 1 : 0); }
  std::size_t rowsPerInsert() const;
  void insert(SqliteStatement& s, std::size_t from, std::size_t to);

  sqlite3* db_;
  const std::vector<FieldDef>& fields_;
  bool withRowId_;
  std::vector<Row> rows_;
  std::size_t filled_ = 0;
  SqliteStatement many_;
  SqliteStatement one_;  // for the last rows, fewer than a whole statement's
};

}  // namespace ff
