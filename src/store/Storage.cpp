#include "store/Storage.h"

#include "store/ff2/Ff2Storage.h"
#include "store/sqlite/SqliteStorage.h"

namespace ff {

namespace {

std::vector<std::unique_ptr<StorageProvider>>& owned() {
  static std::vector<std::unique_ptr<StorageProvider>> providers = [] {
    std::vector<std::unique_ptr<StorageProvider>> v;
    v.push_back(std::make_unique<SqliteProvider>());
    v.push_back(std::make_unique<Ff2Provider>());
    return v;
  }();
  return providers;
}

std::vector<StorageProvider*>& view() {
  static std::vector<StorageProvider*> providers = [] {
    std::vector<StorageProvider*> v;
    for (auto& p : owned()) v.push_back(p.get());
    return v;
  }();
  return providers;
}

}  // namespace

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

std::int64_t StorageProvider::CreateFilled(const std::string& path, const std::vector<FieldDef>& fields,
                                           const std::vector<IndexDef>& indexes, RowCursor& rows) {
  Create(path, fields, indexes);
  auto table = Open(path, {false, true});
  std::int64_t written = 0;
  table->BeginBulk();
  Row row;
  while (rows.Next(row)) {
    table->Insert(row.values);
    ++written;
  }
  table->EndBulk();
  return written;
}

const std::vector<StorageProvider*>& StorageProviders() { return view(); }

void RegisterStorageProvider(std::unique_ptr<StorageProvider> provider) {
  view().push_back(provider.get());
  owned().push_back(std::move(provider));
}

}  // namespace ff
