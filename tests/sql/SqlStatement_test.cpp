// Prepared statements: every kind of value there and back, NULL and bytes too; compound
// statements.
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

TEST_F(SqlStatementTest, ACompoundStatementAnswersWithItsResultSetAndEnds) {
  db->Execute("CREATE TABLE k (id INT AUTO_INCREMENT PRIMARY KEY, n INT)");
  SqlStatement& compound =
      db->Prepare("BEGIN NOT ATOMIC DECLARE made INT; INSERT INTO k (n) VALUES (?); SET made = LAST_INSERT_ID(); "
                  "UPDATE k SET n = n * 10; SELECT made, n FROM k WHERE id = made; END");
  EXPECT_EQ(compound.Query({std::int64_t{4}}), (std::vector<SqlRow>{{std::int64_t{1}, std::int64_t{40}}}));
  EXPECT_EQ(compound.Query({std::int64_t{5}}), (std::vector<SqlRow>{{std::int64_t{2}, std::int64_t{50}}}));
  EXPECT_EQ(db->Prepare("BEGIN NOT ATOMIC UPDATE k SET n = ?; SELECT 1; END").Execute({std::int64_t{0}}), 0u);
  EXPECT_EQ(scalar("SELECT GROUP_CONCAT(n) FROM k"), "0,0") << "the connection goes on after either";
}

}  // namespace
