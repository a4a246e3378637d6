#include "store/sqlite/SqliteBatchInsert.h"

#include <sqlite3.h>

#include <algorithm>

#include "store/sqlite/SqliteSql.h"

namespace ff {

SqliteBatchInsert::SqliteBatchInsert(sqlite3* db, const std::vector<FieldDef>& fields, bool withRowId)
    : db_(db), fields_(fields), withRowId_(withRowId), rows_(rowsPerInsert()),
      many_(db, InsertSql(fields, withRowId, rows_.size()), true) {}

void SqliteBatchInsert::filled() {
  if (++filled_ == rows_.size()) flush();
}

void SqliteBatchInsert::flush() {
  if (filled_ == rows_.size()) {
    insert(many_, 0, filled_);
  } else {
    if (filled_ > 0 && !one_) one_ = SqliteStatement(db_, InsertSql(fields_, withRowId_), true);
    for (std::size_t r = 0; r < filled_; ++r) insert(one_, r, r + 1);
  }
  filled_ = 0;
}

// As many rows as fit SQLite's limit on parameters, at most 64.
std::size_t SqliteBatchInsert::rowsPerInsert() const {
  constexpr std::size_t kMost = 64;
  if (fields_.empty()) return 1;
  const auto maxParams = static_cast<std::size_t>(sqlite3_limit(db_, SQLITE_LIMIT_VARIABLE_NUMBER, -1));
  return std::clamp<std::size_t>(maxParams / paramsPerRow(), 1, kMost);
}

void SqliteBatchInsert::insert(SqliteStatement& s, std::size_t from, std::size_t to) {
  for (std::size_t r = from; r < to; ++r) {
    const int first = static_cast<int>((r - from) * paramsPerRow());
    if (withRowId_) s.bind(first + 1, Value{rows_[r].id});
    BindRow(s, fields_, rows_[r].values, first + (withRowId_ ? 1 : 0));
  }
  s.step();
  sqlite3_reset(s.get());
}

}  // namespace ff
