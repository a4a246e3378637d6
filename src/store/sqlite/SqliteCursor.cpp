#include "store/sqlite/SqliteCursor.h"

#include <sqlite3.h>

#include <vector>

#include "store/sqlite/SqliteFile.h"
#include "store/sqlite/SqliteScan.h"

namespace ff {

SqliteCursor::SqliteCursor(std::shared_ptr<SqliteFile> file, const RowSelection& sel, const RowOrder& order,
                           const std::optional<RowKey>& from, ScanDirection dir, std::int64_t skip)
    : file_(std::move(file)), scan_(SqliteScanOf(*file_, sel, order, dir)), last_(from), skip_(skip) {
  file_->addCursor(this);
}

SqliteCursor::~SqliteCursor() {
  release();
  file_->removeCursor(this);
}

bool SqliteCursor::Next(Row& row) {
  if (!stmt_ || generation_ != file_->generation()) seek();
  const bool found = stmt_.step();
  file_->endOpeningRead();  // the step has begun its read within the open's, if one was left
  if (!found) {
    release();  // leave no read open behind
    return false;
  }
  row.id = sqlite3_column_int64(stmt_.get(), 0);
  stmt_.readRow(row, file_->fields.size());
  if (!last_) last_.emplace();
  AssignKeyOf(*last_, row, scan_.Order());
  return true;
}

void SqliteCursor::release() {
  if (stmt_) file_->keepStatement(std::move(sql_), std::move(stmt_));
}

void SqliteCursor::seek() {
  release();
  std::vector<Value> params;
  // The skip applies to the first seek only; later seeks go on from the last row seen.
  sql_ = scan_.Select(last_, {std::nullopt, last_ ? 0 : skip_}, params);
  stmt_ = file_->statement(sql_);
  stmt_.bindAll(params);
  generation_ = file_->generation();
}

}  // namespace ff
