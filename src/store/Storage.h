// The storage back-end interface under the data set. A back end stores one physical table:
// its field and index definitions and its rows, each row reached by a stable row id.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/Filter.h"
#include "store/Schema.h"
#include "store/Value.h"

namespace ff {

using RowId = std::int64_t;

struct Row {
  RowId id = 0;
  std::vector<Value> values;  // one per physical field, in field order
};

// Which rows a cursor sees: the filter (may be null) and equalities on fields (master links,
// FindKey). Field positions are physical field indexes.
struct RowSelection {
  const FilterExpression* filter = nullptr;
  std::vector<std::pair<int, Value>> equal;
};

// The order of a cursor: physical field indexes, ties broken by row id.
struct RowOrder {
  std::vector<int> fields;
  bool descending = false;
  bool caseInsensitive = false;
};

// A position in an order: the order fields' values and the row id.
struct RowKey {
  std::vector<Value> values;
  RowId id = 0;
};

// The key of row in order.
RowKey KeyOf(const Row& row, const RowOrder& order);
// The same into key, reusing the room it has (a cursor keeps the key of every row it reads).
void AssignKeyOf(RowKey& key, const Row& row, const RowOrder& order);

enum class ScanDirection { Forward, Backward };

// Steps through rows of a selection in an order. Invalid once the table changes
// (see TableStorage::Generation).
class RowCursor {
 public:
  virtual ~RowCursor() = default;
  // Fills row with the next row; false at the end.
  virtual bool Next(Row& row) = 0;
};

class TableStorage;

// Inserts every row `rows` hands out into table as one bulk unit and returns how many. A
// failure (of a row, or what `rows` throws) aborts the unit, writing none of them, and is
// passed on.
std::int64_t BulkInsert(TableStorage& table, RowCursor& rows);

class TableStorage {
 public:
  virtual ~TableStorage() = default;

  virtual const std::vector<FieldDef>& Fields() const = 0;
  virtual const std::vector<IndexDef>& Indexes() const = 0;
  virtual bool ReadOnly() const = 0;
  // Counts the rows of a selection. Throws EBadFilter for a filter naming unknown fields.
  virtual std::int64_t Count(const RowSelection& sel) = 0;
  // Rows of sel in order, starting strictly after (Forward) or before (Backward) `from`,
  // or at the start/end when from is empty.
  virtual std::unique_ptr<RowCursor> Scan(const RowSelection& sel, const RowOrder& order,
                                          const std::optional<RowKey>& from,
                                          ScanDirection dir) = 0;
  // Rows of sel in order after skipping `skip` rows from the start (Forward) or the end
  // (Backward). For grids that jump; costs grow with skip, so callers skip from the nearer end.
  virtual std::unique_ptr<RowCursor> ScanAt(const RowSelection& sel, const RowOrder& order,
                                            std::int64_t skip, ScanDirection dir) = 0;
  // Number of rows of sel that come before `key` in order.
  virtual std::int64_t CountBefore(const RowSelection& sel, const RowOrder& order, const RowKey& key) = 0;
  // Keys of every `every`-th row of sel in order, that is of the rows at 0-based positions
  // every-1, 2*every-1, ...: a grid that jumps far seeks from the nearest of them and steps
  // fewer than `every` rows. The default walks Scan; back ends may do it cheaper.
  // REQUIRES: every > 0.
  virtual std::vector<RowKey> SampleKeys(const RowSelection& sel, const RowOrder& order, std::int64_t every);
  // Reads one row; false when it no longer exists.
  virtual bool Read(RowId id, Row& row) = 0;
  // Each write is durable when it returns. Throw EReadOnly, EKeyViolation or Error.
  virtual RowId Insert(const std::vector<Value>& values) = 0;
  virtual void Update(RowId id, const std::vector<Value>& values) = 0;
  virtual void Remove(RowId id) = 0;
  // REQUIRES: opened exclusively. Throws EReadOnly on read-only back ends.
  virtual void AddIndex(const IndexDef& index) = 0;
  // Runs many writes as one durable unit (bulk loads); nested calls join the outer one.
  virtual void BeginBulk() = 0;
  virtual void EndBulk() = 0;
  // Ends a bulk unit that failed, in place of EndBulk: the outermost undoes its writes, and the
  // table's connection is out of any transaction afterwards. Never throws.
  virtual void AbortBulk() noexcept = 0;
  // Changes whenever the table's rows change through any handle of this process.
  virtual std::uint64_t Generation() const = 0;
  // Forgets what was read ahead of being asked for, so that the next reads show what other
  // workstations wrote since.
  virtual void Refresh() {}
  // True when a cursor of this table may be stepped on another thread while the caller works
  // with other tables: the table shares no file handle or connection with them. The caller
  // makes no other call of this table while that cursor runs.
  virtual bool ScansOnAnyThread() const { return false; }
};

struct OpenMode {
  bool readOnly = false;
  bool exclusive = false;
};

// A kind of table file in an alias folder (SQLite tables, legacy .ff2 files, ...).
class StorageProvider {
 public:
  virtual ~StorageProvider() = default;
  // File extension of this kind's tables, with the dot (".ffdb").
  virtual std::string Extension() const = 0;
  // Opens a table file. Throws ECannotOpen (missing, damaged, in use).
  virtual std::unique_ptr<TableStorage> Open(const std::string& path, const OpenMode& mode) = 0;
  // Creates a table file; throws Error when it exists or cannot be written.
  // Throws EReadOnly for kinds that cannot be written.
  virtual void Create(const std::string& path, const std::vector<FieldDef>& fields,
                      const std::vector<IndexDef>& indexes) = 0;
  // Creates a table file holding the rows that `rows` hands out (a bulk load) and returns how
  // many it wrote. Throws as Create does, and passes on what `rows` throws. Back ends that can
  // write aside make the table appear whole or not at all, even when the process is killed
  // midway, and build the indexes after the rows are in. The default creates the table and
  // inserts the rows in one bulk unit; a failure midway may then leave a table behind.
  virtual std::int64_t CreateFilled(const std::string& path, const std::vector<FieldDef>& fields,
                                    const std::vector<IndexDef>& indexes, RowCursor& rows);
};

}  // namespace ff
