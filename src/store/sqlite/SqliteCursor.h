// Steps through a selection of a SQLite table's rows in an order, seeking again from the last
// row it read when the table has changed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "store/KeysetScanSql.h"
#include "store/Storage.h"
#include "store/sqlite/SqliteStatement.h"

namespace ff {

class SqliteFile;

class SqliteCursor : public RowCursor {
 public:
  SqliteCursor(std::shared_ptr<SqliteFile> file, const RowSelection& sel, const RowOrder& order,
               const std::optional<RowKey>& from, ScanDirection dir, std::int64_t skip = 0);
  ~SqliteCursor() override;

  bool Next(Row& row) override;
  // Hands the statement back to the file, leaving no read open behind.
  void release();

 private:
  void seek();

  std::shared_ptr<SqliteFile> file_;
  KeysetScanSql scan_;
  std::optional<RowKey> last_;
  std::int64_t skip_;
  std::string sql_;  // of stmt_
  SqliteStatement stmt_;
  std::uint64_t generation_ = 0;
};

}  // namespace ff
