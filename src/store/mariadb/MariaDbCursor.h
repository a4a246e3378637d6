// Steps through the rows of a scan in batches read ahead from the server. A batch is kept
// only briefly, so that rows changed by another workstation show on the next scroll; a write
// through this process drops it at once. Memory stays at one batch, however big the table.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "store/Storage.h"
#include "store/mariadb/MariaDbScan.h"

namespace ff {

class MariaDbTableState;

class MariaDbCursor : public RowCursor {
 public:
  MariaDbCursor(std::shared_ptr<MariaDbTableState> table, const RowSelection& sel, const RowOrder& order,
                const std::optional<RowKey>& from, ScanDirection dir, std::int64_t skip = 0);
  bool Next(Row& row) override;

 private:
  bool stale() const;
  void fetch();

  std::shared_ptr<MariaDbTableState> table_;
  MariaDbScan scan_;
  std::optional<RowKey> last_;
  std::int64_t skip_;
  std::vector<Row> batch_;
  std::size_t next_ = 0;
  int batchSize_;
  std::uint64_t generation_ = 0;
  std::chrono::steady_clock::time_point fetchedAt_;
};

}  // namespace ff
