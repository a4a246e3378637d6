// The SQL of a scan over a table of rows, for every back end that keeps rows in SQL: the
// selection (filter and equalities, as bound values), the order, and the seek past a row key
// that lets a scan go on from where it stopped using the table's indexes, without OFFSET.
// What differs between the back ends' SQL is their ScanDialect.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/Filter.h"
#include "store/Schema.h"
#include "store/Storage.h"

namespace ff {

struct ScanDialect {
  SqlDialect filters;               // how filter texts are translated
  std::string (*column)(int field);  // the column of the field at a position, as SQL names it
  const char* rowId;                 // the column of the row id
  // The column of a text field's Norwegian sort key, which orders without regard to case.
  std::string (*sortKey)(int field);
  // Whether a backward seek is led by "(a <= ? OR a IS NULL)" on the first order field, as a
  // forward one is by "a >= ?": only a planner that reads that as an index range gains by it.
  bool boundsBackwardSeek;
  const char* noLimit;  // the LIMIT that means none, for an OFFSET alone
  // The placeholder of a value compared with a bytes column: bound values travel as text,
  // which SQLite orders before every blob and the server reads in the connection's charset.
  const char* bytesParam;
  // Whether sortKey gives a sort key, compared with the keys of the texts sought, rather than
  // text under a collation of the back end's own (a table of an earlier build).
  bool comparesSortKeys = true;
};

// Which of the rows after the seek a SELECT returns.
struct ScanWindow {
  std::optional<std::int64_t> limit;  // at most this many
  std::int64_t skip = 0;              // after skipping this many
  bool keysOnly = false;              // the order's fields rather than every field
};

class KeysetScanSql {
 public:
  // `dialect` and `fields` outlive the writer. Throws EBadFilter for a filter naming unknown
  // fields.
  KeysetScanSql(const ScanDialect& dialect, std::string table, const std::vector<FieldDef>& fields,
                const RowSelection& sel, const RowOrder& order, ScanDirection dir);

  // The conditions of a selection alone, appending their values to params; empty for all rows.
  static std::string WhereOf(const ScanDialect& dialect, const std::vector<FieldDef>& fields, const RowSelection& sel,
                             std::vector<Value>& params);
  // The rows (row id, then the fields) strictly after `from` in this scan's direction (all
  // rows when empty), within `window`; params get the values of its placeholders in order.
  std::string Select(const std::optional<RowKey>& from, const ScanWindow& window, std::vector<Value>& params) const;
  // Counts the rows strictly after `from` in this scan's direction.
  std::string CountAfter(const RowKey& from, std::vector<Value>& params) const;
  const RowOrder& Order() const { return order_; }

 private:
  bool bySortKey(int f) const;
  std::string param(int f) const;
  std::string term(int f) const;
  Value keyValue(int f, const Value& v) const;
  std::string beyond(int f, const Value& v, std::vector<Value>& params) const;
  std::string equal(int f, const Value& v, std::vector<Value>& params) const;
  std::string leadingBound(const RowKey& key, std::vector<Value>& params) const;
  std::string seekCondition(const RowKey& key, std::vector<Value>& params) const;
  void appendWhere(std::string& sql, const std::optional<RowKey>& from, std::vector<Value>& params) const;
  void appendColumns(std::string& sql, bool keysOnly) const;
  std::string limitOf(const ScanWindow& window, std::vector<Value>& params) const;

  const ScanDialect& dialect_;
  std::string table_;
  const std::vector<FieldDef>& fields_;
  RowOrder order_;
  bool ascending_;
  std::string where_;
  std::vector<Value> params_;
};

}  // namespace ff
