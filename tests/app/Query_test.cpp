// The SQL query on the private MariaDB: several statements in one request, result sets.
#include "app/Query.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include "app/QueryModel.h"
#include "support/SqlTestSupport.h"
#include "support/QtPrint.h"

using sql_test::PrivateDatabase;
using sql_test::TempSettings;

namespace {

class QueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_SERVER(db);
    query.SetDatabaseName("MySQLweb");
  }

  std::string execError(const QStringList& sql) {
    query.SetSQL(sql);
    try {
      query.ExecSQL();
      return {};
    } catch (const ESqlError& e) {
      return e.what();
    }
  }

  TempSettings settings;
  PrivateDatabase db;
  TQuery query;
};

TEST_F(QueryTest, ExecSqlRunsEveryStatementOfTheTextInOneRequest) {
  EXPECT_EQ(execError({"CREATE TABLE a (x INT);", "CREATE TABLE b (y VARCHAR(10));",
                       "INSERT INTO a VALUES (1), (2);", "SELECT * FROM a;", "DROP TABLE IF EXISTS c"}),
            "");
  EXPECT_EQ(db.tables(), (sql_test::Names{"a", "b"}));
  EXPECT_FALSE(query.Active()) << "ExecSQL opens no result set";
}

TEST_F(QueryTest, FailingStatementReportsTheServerMessageAfterTheOnesBeforeRan) {
  const std::string error =
      execError({"CREATE TABLE a (x INT);", "CREATE TABLEX b (y INT);", "CREATE TABLE c (z INT)"});
  EXPECT_NE(error.find("You have an error in your SQL syntax"), std::string::npos) << error;
  EXPECT_NE(error.find("TABLEX"), std::string::npos) << "the server names the place: " << error;
  EXPECT_EQ(db.tables(), (sql_test::Names{"a"}));
  EXPECT_EQ(execError({"SELECT 1"}), "") << "the connection is usable after a failure";
}

TEST_F(QueryTest, UnknownAliasAndDeadServerAreErrorsOfTheSqlLayer) {
  query.SetDatabaseName("IngenSlik");
  EXPECT_EQ(execError({"SELECT 1"}), "Ukjent databasealias: IngenSlik");
  WriteSqlAlias("Borte", sql_test::DeadServerAlias(settings.folder()));
  query.SetDatabaseName("Borte");
  EXPECT_NE(execError({"SELECT 1"}).find("Can't connect"), std::string::npos);
}

TEST_F(QueryTest, OpenKeepsTheFirstResultSetWithACurrentRow) {
  ASSERT_EQ(execError({"CREATE TABLE t (nr INT, navn VARCHAR(20));",
                       "INSERT INTO t VALUES (1, 'Ås'), (2, 'Berg'), (3, 'Dal')"}),
            "");
  QSignalSpy opened(&query, &TQuery::activeChanged);
  query.SetSQL({"SELECT nr, navn FROM t", "ORDER BY nr;", "SELECT 42"});
  query.Open();
  ASSERT_TRUE(query.Active());
  EXPECT_EQ(opened.count(), 1);
  EXPECT_EQ(query.FieldCount(), 2);
  EXPECT_EQ(query.FieldName(1), "navn");
  EXPECT_EQ(query.RecordCount(), 3);
  EXPECT_EQ(query.Value(0, 1).toString(), "Ås");
  EXPECT_EQ(query.RecNo(), 0);
  EXPECT_TRUE(query.Bof());
  query.Last();
  EXPECT_EQ(query.RecNo(), 2);
  EXPECT_TRUE(query.Eof());
  query.Next();
  EXPECT_EQ(query.RecNo(), 2) << "stays on the last row";

  query.SetSQL({"SELECT 1"});
  EXPECT_FALSE(query.Active()) << "new SQL text closes the query";
  EXPECT_EQ(query.RecordCount(), 0);
  EXPECT_EQ(query.RecNo(), -1);
}

TEST_F(QueryTest, OpenWithoutResultSetOrWithBadSqlStaysClosed) {
  query.SetSQL({"CREATE TABLE u (x INT)"});
  EXPECT_THROW(query.Open(), ESqlError);
  EXPECT_FALSE(query.Active());
  EXPECT_EQ(db.tables(), (sql_test::Names{"u"}));
  query.SetSQL({"SELECT * FROM finnes_ikke"});
  EXPECT_THROW(query.Open(), ESqlError);
  EXPECT_FALSE(query.Active());
}

TEST_F(QueryTest, ModelShowsTheOpenQueryAndFollowsItsCurrentRow) {
  ASSERT_EQ(execError({"CREATE TABLE t (nr INT);", "INSERT INTO t VALUES (7), (8)"}), "");
  QueryModel model(query);
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_FALSE(model.isActive());
  query.SetSQL({"SELECT nr AS NR FROM t ORDER BY nr"});
  query.Open();
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "NR");
  EXPECT_EQ(model.data(model.index(1, 0)).toString(), "8");
  EXPECT_FALSE(model.canModify());
  QSignalSpy moved(&model, &NavigableModel::stateChanged);
  model.moveToRow(1);
  EXPECT_EQ(model.currentRow(), 1);
  EXPECT_TRUE(model.isEof());
  EXPECT_EQ(moved.count(), 1);
  query.Close();
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.currentRow(), -1);
}

}  // namespace
