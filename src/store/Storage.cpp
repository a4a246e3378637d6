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

const std::vector<StorageProvider*>& StorageProviders() { return view(); }

void RegisterStorageProvider(std::unique_ptr<StorageProvider> provider) {
  view().push_back(provider.get());
  owned().push_back(std::move(provider));
}

}  // namespace ff
