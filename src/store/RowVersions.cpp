#include "store/RowVersions.h"

#include "store/Errors.h"

namespace ff {

namespace {

// Versions remembered per handle before the oldest are forgotten (their writes then go
// unchecked, as rows never read do).
constexpr std::size_t kRememberedVersions = 4096;

}  // namespace

void RowVersions::Remember(RowId id, std::int64_t version) {
  if (versions_.size() >= kRememberedVersions) versions_.clear();
  versions_[id] = version;
}

std::optional<std::int64_t> RowVersions::Of(RowId id) const {
  const auto seen = versions_.find(id);
  if (seen == versions_.end()) return std::nullopt;
  return seen->second;
}

void RowVersions::Refuse(RowId id, bool stillThere, const std::string& table) {
  Forget(id);
  if (!stillThere) {
    throw ERowChanged("Posten er slettet av en annen arbeidsstasjon (" + table + "); endringen er ikke lagret");
  }
  throw ERowChanged("Posten er endret av en annen arbeidsstasjon etter at den ble lest (" + table +
                    "); endringen er ikke lagret. Les posten på nytt og gjør endringen igjen");
}

}  // namespace ff
