// The MySQL table a store table becomes in a conversion: a generated key numbering the rows,
// one lossless column per field, and the source's indexes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "convert/ColumnText.h"
#include "store/Schema.h"

struct TargetColumn {
  std::string name;  // the field's name, unquoted
  ColumnKind kind = ColumnKind::Text;
  std::string sqlType;
  // Long values (memos, BLOBs) are verified by length and MD5 digest instead of their bytes.
  bool byDigest = false;
  int length = 0;  // characters or bytes of VARCHAR and VARBINARY columns; 0 for the others
};

class SqlTablePlan {
 public:
  SqlTablePlan(const std::vector<ff::FieldDef>& fields, const std::vector<ff::IndexDef>& indexes);

  // "id", unless a field is called so (in any case): then the first of "kvist_id",
  // "kvist_id2", ... that no field is called.
  const std::string& KeyName() const { return keyName_; }
  bool KeyRenamed() const { return keyName_ != "id"; }
  const std::vector<TargetColumn>& Columns() const { return columns_; }

  // CREATE TABLE with the key and every column, and the indexes when withIndexes; text is
  // sorted by the collation (an utf8mb4 one) when one is given, else by the server's default.
  std::string CreateSql(const std::string& table, const std::string& collation = {}, bool withIndexes = false) const;
  // Whether a table of this many rows gets its indexes after its rows (IndexSql), sorted in one
  // build, rather than with CREATE TABLE: for a small table the ALTER TABLE's own rebuild and
  // flushes would cost more than all its rows.
  static bool IndexesAfterRows(std::int64_t rows) { return rows > kIndexesWithTableRows; }
  static constexpr std::int64_t kIndexesWithTableRows = 20000;
  // Each index as ADD INDEX takes it: "`NAME` (`FIELD`, `FIELD`(191) DESC)".
  std::vector<std::string> Indexes() const;
  // One ALTER TABLE adding every index; empty when the source has none.
  std::string IndexSql(const std::string& table) const;
  // LOAD DATA LOCAL of tab-separated lines: the key, then the fields in order.
  std::string LoadSql(const std::string& table) const;
  // The key and the columns in key order, long values as LENGTH and MD5; only the keys
  // first..last when last is not 0.
  std::string SelectSql(const std::string& table, std::int64_t first = 1, std::int64_t last = 0) const;

 private:
  std::string indexPart(const std::string& field, int share, bool descending) const;

  std::string keyName_;
  std::vector<TargetColumn> columns_;
  std::vector<ff::IndexDef> indexes_;
};
