// A FlashFiler 2 table served from its file. Rows in physical order are decoded block by block
// as a cursor reaches them, so reading a table front to back (dump, import) holds one block at
// a time. Orders, filters and ranges go through a scratch table of just the fields they name
// (see MakeScratchTable), built on first use and rebuilt when a later one names more; its
// row ids are the records' places in the file, whose rows are then read from the file. What
// was learnt of the file is kept only while the file is unchanged: once its size or time of
// change differs from when it was opened, reads are refused until the table is opened again.
#pragma once

#include <memory>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "store/Storage.h"
#include "store/ff2/Ff2File.h"

namespace ff {

class Ff2Table : public TableStorage {
 public:
  // Throws ECannotOpen naming the file and what is wrong (see Ff2File).
  explicit Ff2Table(const std::string& path);

  const std::vector<FieldDef>& Fields() const override { return file_.fields(); }
  // The file's indexes that name fields the table has; none of them unique, since the file's
  // own rows decide and a file is never refused for them.
  const std::vector<IndexDef>& Indexes() const override { return indexes_; }
  bool ReadOnly() const override { return true; }
  std::int64_t Count(const RowSelection& sel) override;
  std::unique_ptr<RowCursor> Scan(const RowSelection& sel, const RowOrder& order, const std::optional<RowKey>& from,
                                  ScanDirection dir) override;
  std::unique_ptr<RowCursor> ScanAt(const RowSelection& sel, const RowOrder& order, std::int64_t skip,
                                    ScanDirection dir) override;
  std::int64_t CountBefore(const RowSelection& sel, const RowOrder& order, const RowKey& key) override;
  std::vector<RowKey> SampleKeys(const RowSelection& sel, const RowOrder& order, std::int64_t every) override;
  bool Read(RowId id, Row& row) override;
  // Each throws EReadOnly.
  RowId Insert(const std::vector<Value>& values) override;
  void Update(RowId id, const std::vector<Value>& values) override;
  void Remove(RowId id) override;
  void AddIndex(const IndexDef& index) override;
  void BeginBulk() override {}
  void EndBulk() override {}
  void AbortBulk() noexcept override {}
  std::uint64_t Generation() const override { return 1; }
  // Each open of a .ff2 table reads the file through a handle of its own.
  bool ScansOnAnyThread() const override { return true; }

 private:
  // The scratch table, holding at least the fields sel and order name and an index for order.
  TableStorage& keys(const RowSelection& sel, const RowOrder& order);
  std::unique_ptr<RowCursor> rowsFor(std::unique_ptr<RowCursor> keyed);
  [[noreturn]] void refuseWrite() const;
  // Throws ECannotOpen when the file changed since it was opened.
  void checkUnchanged() const;

  std::string path_;
  std::pair<std::uintmax_t, std::int64_t> stamp_;  // size and time of change when opened
  ff2::Ff2File file_;
  std::vector<IndexDef> indexes_;
  std::set<int> keyFields_;            // fields the scratch table holds
  std::vector<IndexDef> keyIndexes_;   // its indexes
  std::unique_ptr<TableStorage> keys_;
};

}  // namespace ff
