// A handle on a SQLite table: the storage interface over the file it shares with the table's
// other handles, with the statements it uses most kept prepared.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/RowVersions.h"
#include "store/Storage.h"
#include "store/sqlite/SqliteStatement.h"

namespace ff {

class SqliteFile;

class SqliteTable : public TableStorage {
 public:
  SqliteTable(std::shared_ptr<SqliteFile> file, bool readOnly);
  // Hands its statements back to the file, and parks the file when it was its last handle.
  ~SqliteTable() override;

  const std::vector<FieldDef>& Fields() const override;
  const std::vector<IndexDef>& Indexes() const override;
  bool ReadOnly() const override { return readOnly_; }
  std::uint64_t Generation() const override;

  std::int64_t Count(const RowSelection& sel) override;
  std::unique_ptr<RowCursor> Scan(const RowSelection& sel, const RowOrder& order, const std::optional<RowKey>& from,
                                  ScanDirection dir) override;
  std::unique_ptr<RowCursor> ScanAt(const RowSelection& sel, const RowOrder& order, std::int64_t skip,
                                    ScanDirection dir) override;
  std::int64_t CountBefore(const RowSelection& sel, const RowOrder& order, const RowKey& key) override;
  // One statement over the keys alone; only the sampled rows' columns are taken out.
  std::vector<RowKey> SampleKeys(const RowSelection& sel, const RowOrder& order, std::int64_t every) override;
  // Remembers the row's version for the check of a later Update or Remove.
  bool Read(RowId id, Row& row) override;
  RowId Insert(const std::vector<Value>& values) override;
  // Both throw ERowChanged, writing nothing, when the row is gone or was changed by another
  // handle since it was read here.
  void Update(RowId id, const std::vector<Value>& values) override;
  void Remove(RowId id) override;
  void AddIndex(const IndexDef& index) override;
  void BeginBulk() override;
  void EndBulk() override;
  void AbortBulk() noexcept override;

 private:
  // A statement of this handle, prepared on first use (or kept by the file from an earlier
  // handle) and handed back to the file when the handle closes.
  struct CachedStmt {
    std::string sql;
    SqliteStatement stmt;
  };

  void checkWritable() const;
  template <class MakeSql>
  SqliteStatement& cached(CachedStmt& slot, MakeSql make);
  void write(SqliteStatement& s, const std::vector<Value>& values);
  void run(SqliteStatement& s);
  void bindRowAndVersion(SqliteStatement& s, int idParam, RowId id);
  // Throws ERowChanged when the last write changed no row.
  void refuseWhenMissed(RowId id);

  std::shared_ptr<SqliteFile> file_;
  bool readOnly_;
  CachedStmt read_, insert_, update_, remove_, countAll_;
  RowVersions versions_;
};

}  // namespace ff
