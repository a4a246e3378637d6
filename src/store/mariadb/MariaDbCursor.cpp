#include "store/mariadb/MariaDbCursor.h"

#include <algorithm>

#include "store/mariadb/MariaDbTableState.h"
#include "store/mariadb/ServerConnection.h"

namespace ff {

namespace {

// The first batch is small (opening a table, FindKey and Last read one row); each next one
// doubles, up to the largest.
constexpr int kFirstBatch = 16;
constexpr int kLargestBatch = 1024;

}  // namespace

MariaDbCursor::MariaDbCursor(std::shared_ptr<MariaDbTableState> table, const RowSelection& sel, const RowOrder& order,
                             const std::optional<RowKey>& from, ScanDirection dir, std::int64_t skip)
    : table_(std::move(table)), scan_(*table_, sel, order, dir), last_(from), skip_(skip), batchSize_(kFirstBatch) {}

bool MariaDbCursor::stale() const {
  return generation_ != table_->generation || std::chrono::steady_clock::now() - fetchedAt_ > MariaDbTableState::kReadAheadLife;
}

void MariaDbCursor::fetch() {
  std::vector<Value> params;
  // The skip applies to the first batch only; later ones go on from the last row seen.
  const std::string sql = scan_.Select(last_, batchSize_, last_ ? 0 : skip_, params);
  generation_ = table_->generation;
  auto rows = table_->Connection().Prepare(sql).Query(params);
  fetchedAt_ = std::chrono::steady_clock::now();
  batch_.clear();
  batch_.reserve(rows.size());
  for (auto& values : rows) {
    Row row;
    row.id = valueToInt(values[0]);
    row.values.assign(std::make_move_iterator(values.begin() + 1), std::make_move_iterator(values.end()));
    batch_.push_back(std::move(row));
  }
  next_ = 0;
  batchSize_ = std::min(batchSize_ * 2, kLargestBatch);
}

bool MariaDbCursor::Next(Row& row) {
  if (next_ >= batch_.size() || stale()) fetch();
  if (next_ >= batch_.size()) return false;
  row = batch_[next_++];
  RowKey key{{}, row.id};
  for (int f : scan_.Order().fields) key.values.push_back(row.values.at(static_cast<std::size_t>(f)));
  last_ = std::move(key);
  return true;
}

}  // namespace ff
