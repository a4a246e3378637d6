// A handle on a store table kept on a MariaDB server. Every write is its own transaction
// (joined into an open bulk load) that also keeps the row count in the dictionary, so
// counting a whole table reads one row. An update of a row read through Read checks that no
// other workstation changed or deleted it since.
#pragma once

#include <memory>
#include <optional>

#include "store/RowVersions.h"
#include "store/Storage.h"
#include "store/mariadb/MariaDbTableState.h"
#include "store/mariadb/ServerConnection.h"

namespace ff {

class MariaDbTable : public TableStorage {
 public:
  MariaDbTable(std::shared_ptr<MariaDbTableState> state, bool readOnly);
  ~MariaDbTable() override;

  const std::vector<FieldDef>& Fields() const override;
  const std::vector<IndexDef>& Indexes() const override;
  bool ReadOnly() const override { return readOnly_; }
  std::int64_t Count(const RowSelection& sel) override;
  std::unique_ptr<RowCursor> Scan(const RowSelection& sel, const RowOrder& order, const std::optional<RowKey>& from,
                                  ScanDirection dir) override;
  std::unique_ptr<RowCursor> ScanAt(const RowSelection& sel, const RowOrder& order, std::int64_t skip,
                                    ScanDirection dir) override;
  std::int64_t CountBefore(const RowSelection& sel, const RowOrder& order, const RowKey& key) override;
  // Remembers the row's version for the check of a later Update or Remove.
  bool Read(RowId id, Row& row) override;
  RowId Insert(const std::vector<Value>& values) override;
  // Throws ERowChanged, writing nothing, when the row was read here and another workstation
  // has changed or deleted it since.
  void Update(RowId id, const std::vector<Value>& values) override;
  // Throws ERowChanged, deleting nothing, when the row is gone or was changed since read here.
  void Remove(RowId id) override;
  void AddIndex(const IndexDef& index) override;
  void BeginBulk() override;
  void EndBulk() override;
  void AbortBulk() noexcept override;
  std::uint64_t Generation() const override;
  void Refresh() override;

 private:
  void checkWritable() const;
  std::vector<Value> columnValues(const std::vector<Value>& values) const;
  [[noreturn]] void explainMissedWrite(RowId id);
  // The condition that the row is still at the version read here, its value added to params.
  std::string versionCheck(RowId id, std::vector<Value>& params) const;
  // Runs a statement that adds or removes rows, keeping the row count in the same transaction
  // (at the end of an open bulk load), unless a trigger of an earlier build counts them.
  ServerConnection::WriteResult writeCounted(const std::string& sql, const std::vector<Value>& params,
                                             std::int64_t changePerRow, bool countedByTrigger,
                                             const std::vector<bool>& binary = {});
  // Runs an INSERT of one row and counts it: in one request when the store keeps the count and
  // no bulk load is open, else through writeCounted.
  ServerConnection::WriteResult insertCounted(const std::string& insert, const std::vector<Value>& params);
  std::int64_t countOne(const std::string& sql, const std::vector<Value>& params);
  void wrote();
  std::unique_ptr<RowCursor> scan(const RowSelection& sel, const RowOrder& order, const std::optional<RowKey>& from,
                                  ScanDirection dir, std::int64_t skip);

  std::shared_ptr<MariaDbTableState> state_;
  bool readOnly_;
  // The row the last insert or checked update wrote, with its version, for the read back.
  struct Written {
    Row row;
    std::int64_t version;
  };
  std::optional<Written> written_;
  // Versions of rows as Read last saw them.
  RowVersions versions_;
};

}  // namespace ff
