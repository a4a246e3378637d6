// The lossless table plan, without a server: the generated key, each field type's column, the
// row budget, and the SQL of indexes, load and read-back.
#include "convert/SqlTablePlan.h"

#include <gtest/gtest.h>

using ff::FieldType;

namespace {

const TargetColumn& column(const SqlTablePlan& plan, const std::string& name) {
  for (const auto& c : plan.Columns()) {
    if (c.name == name) return c;
  }
  throw std::runtime_error("no column " + name);
}

}  // namespace

TEST(SqlTablePlan, TheKeyAvoidsFieldNamesInAnyCase) {
  EXPECT_EQ(SqlTablePlan({{"NR", FieldType::Integer}}, {}).KeyName(), "id");
  EXPECT_FALSE(SqlTablePlan({{"NR", FieldType::Integer}}, {}).KeyRenamed());
  const SqlTablePlan clash({{"ID", FieldType::Integer}, {"Kvist_Id", FieldType::Integer}}, {});
  EXPECT_EQ(clash.KeyName(), "kvist_id2");
  EXPECT_TRUE(clash.KeyRenamed());
}

TEST(SqlTablePlan, EachFieldTypeGetsAColumnThatHoldsItsRange) {
  const SqlTablePlan plan({{"S", FieldType::String, 40},
                           {"SI", FieldType::Smallint},
                           {"I", FieldType::Integer},
                           {"W", FieldType::Word},
                           {"LW", FieldType::LongWord},
                           {"A", FieldType::AutoInc},
                           {"B", FieldType::Boolean},
                           {"F", FieldType::Float},
                           {"C", FieldType::Currency},
                           {"D", FieldType::Date},
                           {"T", FieldType::Time},
                           {"DT", FieldType::DateTime},
                           {"M", FieldType::Memo},
                           {"G", FieldType::Graphic},
                           {"BY", FieldType::Bytes, 16}},
                          {});
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"S", "VARCHAR(40)"}, {"SI", "SMALLINT"},  {"I", "INT"},        {"W", "SMALLINT UNSIGNED"},
      {"LW", "INT UNSIGNED"}, {"A", "BIGINT"},    {"B", "BOOLEAN"},    {"F", "DOUBLE"},     {"C", "DECIMAL(19,4)"},
      {"D", "DATE"},        {"T", "TIME(3)"},    {"DT", "DATETIME(3)"}, {"M", "LONGTEXT"},
      {"G", "LONGBLOB"},    {"BY", "VARBINARY(16)"}};
  for (const auto& [name, type] : expected) EXPECT_EQ(column(plan, name).sqlType, type) << name;
  EXPECT_TRUE(column(plan, "M").byDigest);
  EXPECT_TRUE(column(plan, "G").byDigest);
  EXPECT_FALSE(column(plan, "S").byDigest);
  EXPECT_EQ(column(plan, "S").length, 40);
}

TEST(SqlTablePlan, StringsPastTheRowBudgetOrTheVarcharLimitBecomeText) {
  std::vector<ff::FieldDef> fields;
  for (int i = 0; i < 70; ++i) fields.push_back({"S" + std::to_string(i), FieldType::String, 250});
  fields.push_back({"LANG", FieldType::String, 256});
  const SqlTablePlan plan(fields, {});
  // 250 characters of utf8mb4 take 1002 bytes: 59 of them fit 60000 bytes.
  EXPECT_EQ(column(plan, "S58").sqlType, "VARCHAR(250)");
  EXPECT_EQ(column(plan, "S59").sqlType, "TEXT");
  EXPECT_FALSE(column(plan, "S59").byDigest);
  EXPECT_EQ(column(plan, "LANG").sqlType, "TEXT");
}

TEST(SqlTablePlan, IndexesKeepOrderDirectionAndTakeUsableNames) {
  const SqlTablePlan plan({{"NR", FieldType::Integer}, {"NAVN", FieldType::String, 40}, {"NOTAT", FieldType::Memo}},
                          {{"PRIMARY", {"NR"}, ff::ixUnique},
                           {"Navn", {"NAVN", "NR"}, ff::ixDescending},
                           {"navn", {"NOTAT"}, 0},
                           {std::string(65, 'x'), {"NR"}, 0}});
  EXPECT_EQ(plan.IndexSql("T"),
            "ALTER TABLE T ADD INDEX ix1 (NR), ADD INDEX Navn (NAVN DESC, NR DESC), ADD INDEX ix3 (NOTAT(766)),"
            " ADD INDEX ix4 (NR)");
  EXPECT_EQ(SqlTablePlan({{"NR", FieldType::Integer}}, {}).IndexSql("T"), "");
  // A small table gets the same indexes with its CREATE TABLE.
  EXPECT_EQ(plan.CreateSql("T", "", true),
            "CREATE TABLE T (id INT NOT NULL AUTO_INCREMENT, NR INT NULL, NAVN VARCHAR(40) NULL, NOTAT LONGTEXT NULL,"
            " PRIMARY KEY (id), INDEX ix1 (NR), INDEX Navn (NAVN DESC, NR DESC), INDEX ix3 (NOTAT(766)),"
            " INDEX ix4 (NR)) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4");
  EXPECT_FALSE(SqlTablePlan::IndexesAfterRows(SqlTablePlan::kIndexesWithTableRows));
  EXPECT_TRUE(SqlTablePlan::IndexesAfterRows(SqlTablePlan::kIndexesWithTableRows + 1));
}

TEST(SqlTablePlan, CreateLoadAndSelectNameEveryColumnInOrder) {
  const SqlTablePlan plan({{"id", FieldType::Integer}, {"select", FieldType::String, 5}, {"BILDE", FieldType::Graphic}},
                          {});
  EXPECT_EQ(plan.CreateSql("T"),
            "CREATE TABLE T (kvist_id INT NOT NULL AUTO_INCREMENT, id INT NULL, `select` VARCHAR(5) NULL,"
            " BILDE LONGBLOB NULL, PRIMARY KEY (kvist_id)) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4");
  EXPECT_EQ(plan.LoadSql("T"),
            "LOAD DATA LOCAL INFILE 'rader' INTO TABLE T CHARACTER SET utf8mb4 FIELDS TERMINATED BY '\\t'"
            " ESCAPED BY '\\\\' LINES TERMINATED BY '\\n' (kvist_id, id, `select`, BILDE)");
  EXPECT_EQ(plan.SelectSql("T"),
            "SELECT kvist_id, id, `select`, LENGTH(BILDE), MD5(BILDE) FROM T ORDER BY kvist_id");
}
