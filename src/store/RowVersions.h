// The versions of rows as a handle last read them, so that a write over a row another handle
// changed or deleted since is refused instead of overwriting that change.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "store/Storage.h"

namespace ff {

class RowVersions {
 public:
  void Remember(RowId id, std::int64_t version);
  void Forget(RowId id) { versions_.erase(id); }
  // The version last read; none for rows not read here or forgotten since.
  std::optional<std::int64_t> Of(RowId id) const;
  // Throws ERowChanged telling whether the row of `table` is gone or was changed; forgets it.
  [[noreturn]] void Refuse(RowId id, bool stillThere, const std::string& table);

 private:
  std::unordered_map<RowId, std::int64_t> versions_;
};

}  // namespace ff
