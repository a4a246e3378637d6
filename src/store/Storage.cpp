#include "store/Storage.h"

namespace ff {

RowKey KeyOf(const Row& row, const RowOrder& order) {
  RowKey key;
  AssignKeyOf(key, row, order);
  return key;
}

void AssignKeyOf(RowKey& key, const Row& row, const RowOrder& order) {
  key.id = row.id;
  key.values.resize(order.fields.size());
  for (std::size_t i = 0; i < order.fields.size(); ++i) {
    key.values[i] = row.values.at(static_cast<std::size_t>(order.fields[i]));
  }
}

std::vector<RowKey> TableStorage::SampleKeys(const RowSelection& sel, const RowOrder& order, std::int64_t every) {
  std::vector<RowKey> keys;
  auto rows = Scan(sel, order, std::nullopt, ScanDirection::Forward);
  Row row;
  for (std::int64_t n = 1; rows->Next(row); ++n) {
    if (n % every == 0) keys.push_back(KeyOf(row, order));
  }
  return keys;
}

std::int64_t BulkInsert(TableStorage& table, RowCursor& rows) {
  std::int64_t written = 0;
  table.BeginBulk();
  try {
    Row row;
    while (rows.Next(row)) {
      table.Insert(row.values);
      ++written;
    }
    table.EndBulk();
  } catch (...) {
    table.AbortBulk();
    throw;
  }
  return written;
}

std::int64_t StorageProvider::CreateFilled(const std::string& path, const std::vector<FieldDef>& fields,
                                           const std::vector<IndexDef>& indexes, RowCursor& rows) {
  Create(path, fields, indexes);
  return BulkInsert(*Open(path, {false, true}), rows);
}

}  // namespace ff
