#include "store/KeysetScanSql.h"

#include <gtest/gtest.h>

#include "store/NorwegianOrder.h"
#include "store/mariadb/MariaDbScan.h"
#include "store/sqlite/SqliteScan.h"

namespace {

using ff::KeysetScanSql;
using ff::RowKey;
using ff::ScanDirection;
using ff::Value;

const std::vector<ff::FieldDef> kFields{{"NR", ff::FieldType::Integer}, {"NAVN", ff::FieldType::String, 20}};

Value n(std::int64_t v) { return Value{v}; }
Value s(const char* v) { return Value{std::string(v)}; }
// What a case-insensitive order compares for a text: its Norwegian sort key.
Value key(const char* v) { return Value{ff::NorwegianSortKey(v)}; }

ff::RowOrder byNr(bool descending = false) { return {{0}, descending, false}; }
ff::RowOrder byNrAndName() { return {{0, 1}, true, true}; }

KeysetScanSql sqliteScan(const ff::RowOrder& order, ScanDirection dir = ScanDirection::Forward,
                         const ff::RowSelection& sel = {}) {
  return KeysetScanSql(ff::SqliteScanDialect(), "rows", kFields, sel, order, dir);
}

KeysetScanSql mariaDbScan(const ff::RowOrder& order, ScanDirection dir = ScanDirection::Forward) {
  return KeysetScanSql(ff::MariaDbScanDialect(), "`db`.`t1`", kFields, {}, order, dir);
}

TEST(KeysetScanSql, AscendingSeekIsLedByABoundOnTheFirstField) {
  std::vector<Value> params;
  const std::string sql = sqliteScan(byNr()).Select(RowKey{{n(5)}, 7}, {}, params);
  EXPECT_EQ(sql,
            "SELECT rowid, c0, c1 FROM rows WHERE c0 >= ? AND ((c0 > ?) OR (c0 = ? AND rowid > ?)) "
            "ORDER BY c0 ASC, rowid ASC");
  EXPECT_EQ(params, (std::vector<Value>{n(5), n(5), n(5), n(7)}));
}

// A column list is kept as wide as the widest table read, and a narrower table takes its start:
// another back end's scan must not get it, and no table more columns than it has.
TEST(KeysetScanSql, EachScanNamesTheColumnsOfItsOwnBackEndAndTable) {
  const std::vector<ff::FieldDef> wider{kFields[0], kFields[1], {"DATO", ff::FieldType::DateTime}};
  const auto start = [](const KeysetScanSql& scan) {
    std::vector<Value> params;
    const std::string sql = scan.Select(std::nullopt, {}, params);
    return sql.substr(0, sql.find(" FROM"));
  };
  EXPECT_EQ(start(sqliteScan(byNr())), "SELECT rowid, c0, c1");
  EXPECT_EQ(start(mariaDbScan(byNr())), "SELECT _ff_id, `c0`, `c1`");
  EXPECT_EQ(start(KeysetScanSql(ff::MariaDbScanDialect(), "t", wider, {}, byNr(), ScanDirection::Forward)),
            "SELECT _ff_id, `c0`, `c1`, `c2`");
  EXPECT_EQ(start(KeysetScanSql(ff::SqliteScanDialect(), "rows", wider, {}, byNr(), ScanDirection::Forward)),
            "SELECT rowid, c0, c1, c2");
  EXPECT_EQ(start(sqliteScan(byNr())), "SELECT rowid, c0, c1");
}

TEST(KeysetScanSql, MariaDbQuotesColumnsAndBindsItsBatchSize) {
  std::vector<Value> params;
  const std::string sql = mariaDbScan(byNr()).Select(RowKey{{n(5)}, 7}, {50}, params);
  EXPECT_EQ(sql,
            "SELECT _ff_id, `c0`, `c1` FROM `db`.`t1` WHERE `c0` >= ? AND ((`c0` > ?) OR (`c0` = ? AND _ff_id > ?)) "
            "ORDER BY `c0` ASC, _ff_id ASC LIMIT ?");
  EXPECT_EQ(params, (std::vector<Value>{n(5), n(5), n(5), n(7), n(50)}));
}

TEST(KeysetScanSql, MariaDbBoundsADescendingSeekTakingInNulls) {
  std::vector<Value> params;
  const std::string sql = mariaDbScan(byNrAndName()).Select(RowKey{{n(3), s("x")}, 9}, {50}, params);
  const std::string name = "`k1`";
  EXPECT_EQ(sql, "SELECT _ff_id, `c0`, `c1` FROM `db`.`t1` WHERE (`c0` <= ? OR `c0` IS NULL) AND "
                 "(((`c0` < ? OR `c0` IS NULL)) OR (`c0` = ? AND (" + name + " < ? OR `c1` IS NULL)) OR "
                 "(`c0` = ? AND " + name + " = ? AND _ff_id < ?)) "
                 "ORDER BY `c0` DESC, " + name + " DESC, _ff_id DESC LIMIT ?");
  EXPECT_EQ(params, (std::vector<Value>{n(3), n(3), n(3), key("x"), n(3), key("x"), n(9), n(50)}));
}

TEST(KeysetScanSql, SqliteSeeksDescendingWithoutALeadingBound) {
  std::vector<Value> params;
  const std::string sql = sqliteScan(byNrAndName()).Select(RowKey{{n(3), s("x")}, 9}, {}, params);
  EXPECT_EQ(sql, "SELECT rowid, c0, c1 FROM rows WHERE (((c0 < ? OR c0 IS NULL)) OR "
                 "(c0 = ? AND (_ff_k1 < ? OR c1 IS NULL)) OR "
                 "(c0 = ? AND _ff_k1 = ? AND rowid < ?)) "
                 "ORDER BY c0 DESC, _ff_k1 DESC, rowid DESC");
  EXPECT_EQ(params, (std::vector<Value>{n(3), n(3), key("x"), n(3), key("x"), n(9)}));
}

TEST(KeysetScanSql, BackwardInAscendingOrderSeeksAsDescending) {
  std::vector<Value> forward, backward;
  const std::string down = sqliteScan(byNr(true)).Select(RowKey{{n(5)}, 7}, {}, forward);
  const std::string up = sqliteScan(byNr(), ScanDirection::Backward).Select(RowKey{{n(5)}, 7}, {}, backward);
  EXPECT_EQ(up, down);
  EXPECT_EQ(backward, forward);
}

TEST(KeysetScanSql, NullKeyComesFirstAscending) {
  std::vector<Value> params;
  const std::string sql = sqliteScan(byNr()).Select(RowKey{{Value{}}, 4}, {}, params);
  EXPECT_EQ(sql, "SELECT rowid, c0, c1 FROM rows WHERE ((c0 IS NOT NULL) OR (c0 IS NULL AND rowid > ?)) "
                 "ORDER BY c0 ASC, rowid ASC");
  EXPECT_EQ(params, (std::vector<Value>{n(4)}));
}

TEST(KeysetScanSql, NullKeyComesLastDescendingWithoutABound) {
  for (const auto& scan : {sqliteScan(byNr(true)), mariaDbScan(byNr(true))}) {
    std::vector<Value> params;
    const std::string sql = scan.CountAfter(RowKey{{Value{}}, 4}, params);
    EXPECT_NE(sql.find("WHERE ((0) OR ("), std::string::npos) << sql;
    EXPECT_EQ(params, (std::vector<Value>{n(4)}));
  }
}

TEST(KeysetScanSql, KeyValuesAreBoundAsTheFieldStoresThem) {
  std::vector<Value> params;
  sqliteScan(byNr()).Select(RowKey{{s("5")}, 7}, {}, params);
  EXPECT_EQ(params, (std::vector<Value>{n(5), n(5), n(5), n(7)}));
}

TEST(KeysetScanSql, SelectionComesFirstThenTheSeek) {
  ff::RowSelection sel;
  sel.equal = {{1, s("OLA")}, {0, Value{}}};
  std::vector<Value> params;
  const std::string sql = sqliteScan(byNr(), ScanDirection::Forward, sel).CountAfter(RowKey{{n(2)}, 1}, params);
  EXPECT_EQ(sql,
            "SELECT COUNT(*) FROM rows WHERE c1 = ? AND c0 IS NULL AND c0 >= ? AND ((c0 > ?) OR (c0 = ? AND rowid > ?))");
  EXPECT_EQ(params, (std::vector<Value>{s("OLA"), n(2), n(2), n(2), n(1)}));
}

TEST(KeysetScanSql, FilterIsWrittenInTheBackEndsDialect) {
  const auto filter = ff::FilterExpression::Parse("NAVN='A*'");
  ff::RowSelection sel;
  sel.filter = &filter;
  std::vector<Value> sqliteParams, mariaDbParams;
  const std::string sqlite = KeysetScanSql::WhereOf(ff::SqliteScanDialect(), kFields, sel, sqliteParams);
  const std::string mariaDb = KeysetScanSql::WhereOf(ff::MariaDbScanDialect(), kFields, sel, mariaDbParams);
  EXPECT_NE(sqlite.find("c1 GLOB ?"), std::string::npos) << sqlite;
  EXPECT_NE(mariaDb.find("`c1` LIKE ? ESCAPE '!'"), std::string::npos) << mariaDb;
  EXPECT_EQ(sqliteParams.size(), 1u);
  EXPECT_EQ(mariaDbParams.size(), 1u);
}

TEST(KeysetScanSql, SkipWithoutLimitAndKeysOnly) {
  std::vector<Value> params;
  const std::string sql = sqliteScan(byNr()).Select(std::nullopt, {std::nullopt, 30, true}, params);
  EXPECT_EQ(sql, "SELECT rowid, c0 FROM rows ORDER BY c0 ASC, rowid ASC LIMIT -1 OFFSET ?");
  EXPECT_EQ(params, (std::vector<Value>{n(30)}));
}

TEST(KeysetScanSql, MariaDbBindsLimitThenOffset) {
  std::vector<Value> params;
  const std::string sql = mariaDbScan(ff::RowOrder{}).Select(std::nullopt, {100, 30}, params);
  EXPECT_EQ(sql, "SELECT _ff_id, `c0`, `c1` FROM `db`.`t1` ORDER BY _ff_id ASC LIMIT ? OFFSET ?");
  EXPECT_EQ(params, (std::vector<Value>{n(100), n(30)}));
}

}  // namespace
