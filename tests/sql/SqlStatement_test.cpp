// Prepared statements: every kind of value there and back, NULL and bytes too; literals of
// SQL text read back as the same values.
#include "sql/SqlStatement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/SqlClientTestSupport.h"

using namespace sql;

namespace {

class SqlStatementTest : public sql_client_test::ServerTest {};

TEST_F(SqlStatementTest, EveryValueKindComesBackAsItWent) {
  db->Execute("CREATE TABLE v (i BIGINT, u BIGINT UNSIGNED, d DOUBLE, t VARCHAR(20), b BLOB, n INT)");
  const std::string bytes("\0\xff\x01' ", 5);
  const SqlRow sent{std::int64_t{-42}, std::uint64_t{18446744073709551615u}, 2.5, std::string("Ærlig talt"),
                    SqlBytes{bytes}, SqlValue{}};
  EXPECT_EQ(db->Prepare("INSERT INTO v VALUES (?, ?, ?, ?, ?, ?)").Execute(sent), 1u);
  const auto rows = db->Prepare("SELECT i, u, d, t, b, n FROM v").Query({});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], sent);
}

TEST_F(SqlStatementTest, ParametersSelectRowsAndWritesReportWhatChanged) {
  db->Execute("CREATE TABLE k (id INT AUTO_INCREMENT PRIMARY KEY, navn VARCHAR(10))");
  SqlStatement& insert = db->Prepare("INSERT INTO k (navn) VALUES (?)");
  insert.Execute({std::string("a")});
  insert.Execute({std::string("b")});
  EXPECT_EQ(insert.InsertId(), 2u);
  EXPECT_EQ(&db->Prepare("INSERT INTO k (navn) VALUES (?)"), &insert) << "kept by its SQL text";
  const auto rows = db->Prepare("SELECT id FROM k WHERE navn = ?").Query({std::string("b")});
  EXPECT_EQ(rows, (std::vector<SqlRow>{{std::int64_t{2}}}));
  EXPECT_EQ(db->Prepare("DELETE FROM k WHERE id > ?").Execute({std::int64_t{0}}), 2u);
  EXPECT_EQ(kindOf([&] { insert.Execute({}); }), SqlErrorKind::Other) << "a value is missing";
}

// Values at their limits written as literals read back bit for bit through a prepared SELECT.
TEST_F(SqlStatementTest, LiteralsReadBackAsTheSameValues) {
  db->Execute("CREATE TABLE v (i BIGINT, u BIGINT UNSIGNED, d DOUBLE, t TEXT CHARACTER SET utf8mb4, b BLOB)");
  std::string everyByte;
  for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
  const std::vector<SqlRow> sent{
      {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::uint64_t>::max(), 0.1,
       std::string("'; DROP TABLE v; -- \\ \" \x1a æøå 😀"), SqlBytes{everyByte}},
      {std::numeric_limits<std::int64_t>::max(), std::uint64_t{0}, std::numeric_limits<double>::denorm_min(),
       std::string(""), SqlBytes{""}},
      {std::int64_t{0}, std::uint64_t{1}, std::numeric_limits<double>::max(), std::string("\\%_"), SqlValue{}},
      {std::int64_t{-1}, SqlValue{}, -1.0 / 3.0, SqlValue{}, SqlBytes{std::string(1, '\0')}},
      {std::int64_t{2}, std::uint64_t{2}, 123456789.12345679, std::string("x"), SqlBytes{"y"}},
      {std::int64_t{3}, std::uint64_t{3}, std::numeric_limits<double>::min(), std::string("z"), SqlBytes{"\\"}},
  };
  for (const SqlRow& row : sent) {
    std::string values;
    for (const SqlValue& v : row) values += (values.empty() ? "" : ", ") + db->ValueLiteral(v);
    db->Execute("INSERT INTO v VALUES (" + values + ")");
  }
  EXPECT_EQ(db->Prepare("SELECT i, u, d, t, b FROM v").Query({}), sent);
  EXPECT_EQ(kindOf([&] { db->ValueLiteral(std::numeric_limits<double>::infinity()); }), SqlErrorKind::Other);
  EXPECT_EQ(kindOf([&] { db->ValueLiteral(std::nan("")); }), SqlErrorKind::Other);
}

}  // namespace
