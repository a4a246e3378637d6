// Prepared statements: every kind of value there and back, NULL and bytes too.
#include "sql/SqlStatement.h"

#include <gtest/gtest.h>

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

}  // namespace
