// The table SQL generator on real tables of the store.
#include "app/Data_SQL.h"
#include "convert/TableSql.h"

#include <gtest/gtest.h>

#include "store/Session.h"
#include "store/Table.h"
#include "settings/windows/ScreenCursor.h"
#include "support/QtPrint.h"
#include "support/SqlTestSupport.h"
#include "support/TempAlias.h"

using namespace ff;

namespace {

class DataSqlTest : public ::testing::Test {
 protected:
  QStringList sqlOf(const std::string& table, const std::vector<FieldDef>& fields, QStringList lines = {}) {
    TffSession::DefaultSession().CreateTable(db.alias(), table, fields, {});
    TffTable t;
    t.SetDatabaseName(db.alias());
    t.SetTableName(table);
    t.Open();
    MakeTableSql(lines, t, t.TableName());
    return lines;
  }

  TempAlias db;
};

TEST_F(DataSqlTest, EveryTypeGetsItsSqlTextAndTheSizeRule) {
  const QStringList lines = sqlOf("ALLE", {{"S", FieldType::String, 40},
                                           {"SI", FieldType::Smallint},
                                           {"I", FieldType::Integer},
                                           {"W", FieldType::Word},
                                           {"B", FieldType::Boolean},
                                           {"F", FieldType::Float, 8},
                                           {"C", FieldType::Currency},
                                           {"D", FieldType::Date},
                                           {"T", FieldType::Time},
                                           {"DT", FieldType::DateTime},
                                           {"M", FieldType::Memo, 240},
                                           {"G", FieldType::Graphic},
                                           {"A", FieldType::AutoInc},
                                           {"BT", FieldType::Bytes, 16}});
  const QStringList expected{"DROP TABLE IF EXISTS ALLE;",
                             "CREATE TABLE ALLE ( id INT NOT NULL AUTO_INCREMENT, ",
                             "S VARCHAR(40) default NULL,",
                             "SI SMALLINT default NULL,",
                             "I INT default NULL,",
                             "W INT default NULL,",
                             "B CHAR(1) default NULL,",
                             "F FLOAT default NULL,",
                             "C DOUBLE default NULL,",
                             "D DATE default NULL,",
                             "T TIME default NULL,",
                             "DT DATETIME default NULL,",
                             "M BLOB(240) default NULL,",
                             "G LONGBLOB default NULL,",
                             "A INT default NULL,",
                             "BT BINARY(16) default NULL,",
                             "PRIMARY KEY (id)",
                             " )"};
  EXPECT_EQ(lines, expected);
}

TEST_F(DataSqlTest, TableWithoutFieldsOrClosedGivesFourLines) {
  EXPECT_EQ(sqlOf("TOM", {}).size(), 4);
  TffTable closed;
  closed.SetTableName("FINNES_IKKE");
  QStringList lines;
  MakeTableSql(lines, closed, closed.TableName());
  EXPECT_EQ(lines, (QStringList{"DROP TABLE IF EXISTS FINNES_IKKE;",
                                "CREATE TABLE FINNES_IKKE ( id INT NOT NULL AUTO_INCREMENT, ",
                                "PRIMARY KEY (id)", " )"}));
  EXPECT_FALSE(ScreenCursorIsHourglass()) << "the cursor is back to the default";
}

TEST_F(DataSqlTest, LinesAreAppendedBelowWhatIsThere) {
  const QStringList lines = sqlOf("T", {{"id", FieldType::Integer}}, {"-- før"});
  ASSERT_EQ(lines.size(), 6);
  EXPECT_EQ(lines[0], "-- før");
  EXPECT_EQ(lines[3], "id INT default NULL,") << "a field named id is written like any other";
}

TEST_F(DataSqlTest, OddAndReservedNamesAreQuotedPlainNamesAreNot) {
  const QStringList lines = sqlOf("postlist", {{"X-tekst", FieldType::String, 10},
                                               {"E-mail", FieldType::String, 30},
                                               {"ORDER", FieldType::Integer},
                                               {"Kunde`navn", FieldType::String, 5},
                                               {"Nr_2$", FieldType::Integer},
                                               {"Ærend", FieldType::String, 5}});
  EXPECT_EQ(lines[0], "DROP TABLE IF EXISTS postlist;");
  EXPECT_EQ(lines[2], "`X-tekst` VARCHAR(10) default NULL,");
  EXPECT_EQ(lines[3], "`E-mail` VARCHAR(30) default NULL,");
  EXPECT_EQ(lines[4], "`ORDER` INT default NULL,");
  EXPECT_EQ(lines[5], "`Kunde``navn` VARCHAR(5) default NULL,");
  EXPECT_EQ(lines[6], "Nr_2$ INT default NULL,");
  EXPECT_EQ(lines[7], "Ærend VARCHAR(5) default NULL,");
  EXPECT_EQ(MySqlName("x`; DROP DATABASE y; --"), "`x``; DROP DATABASE y; --`");
  EXPECT_EQ(MySqlName("123"), "`123`");
}

TEST_F(DataSqlTest, FieldLinesAreCutAt255Characters) {
  const std::string longName(250, 'N');
  const QStringList lines = sqlOf("LANG", {{longName, FieldType::String, 100}});
  EXPECT_EQ(lines[2].size(), 255);
  EXPECT_EQ(lines[2].toStdString(), (longName + " VARCHAR(100) default NULL,").substr(0, 255));
}

TEST_F(DataSqlTest, LongQuotedNamesAreCutBeforeQuotingSoQuotesPairUp) {
  const std::string longName = "Kunde`" + std::string(300, 'x');
  const QStringList lines = sqlOf("LANG", {{longName, FieldType::Integer}, {"x`; DROP DATABASE y; --", FieldType::Integer}});
  const std::string line = lines[2].toStdString();
  EXPECT_EQ(line.size(), 255u);
  EXPECT_EQ(line, "`Kunde``" + std::string(246, 'x') + "`") << "the name fills the line, closed";
  EXPECT_EQ(lines[3], "`x``; DROP DATABASE y; --` INT default NULL,");
  for (std::size_t limit = 2; limit < 12; ++limit) {
    const std::string written = MySqlName("a`b`c-d", limit);
    EXPECT_LE(written.size(), limit);
    EXPECT_EQ(written.front() == '`', written.back() == '`') << written;
    EXPECT_EQ(std::count(written.begin(), written.end(), '`') % 2, 0) << written;
  }
  EXPECT_EQ(MySqlName("NAVN", 3), "NAV") << "plain names are cut as they stand";
}

TEST_F(DataSqlTest, NamesThatReadAsLiteralsAreQuoted) {
  for (const char* name : {"1e5", "1E5", "0x1F", "0b01", "1e5x", "2NR", "_latin1", "_utf8mb4", "PORTION",
                           "master_demote_to_replica", "MASTER_DEMOTE_TO_SLAVE"}) {
    EXPECT_EQ(MySqlName(name), "`" + std::string(name) + "`");
  }
  for (const char* name : {"NR2", "Nr_2$", "Ærend", "X", "N", "$kr"}) EXPECT_EQ(MySqlName(name), name);
}

// One field per keyword the server itself knows, every table's SQL run on the private MariaDB:
// whatever the server reserves, the generated SQL takes it.
TEST_F(DataSqlTest, EveryServerKeywordWorksAsFieldAndTableName) {
  sql_test::TempSettings settings;
  sql_test::PrivateDatabase server;
  REQUIRE_PRIVATE_SERVER(server);
  std::vector<std::string> words;
  ASSERT_NO_THROW(server.admin().ForEachRow("SELECT WORD FROM information_schema.KEYWORDS ORDER BY WORD",
                                            [&](const char* const* values, const unsigned long* lengths) {
                                              words.emplace_back(values[0], lengths[0]);
                                            }));
  std::erase(words, "ID");  // a field named id clashes with the generated key, as it always has
  ASSERT_GT(words.size(), 600u);
  constexpr std::size_t kFieldsPerTable = 100;
  for (std::size_t first = 0; first < words.size(); first += kFieldsPerTable) {
    std::vector<FieldDef> fields;
    for (std::size_t i = first; i < std::min(words.size(), first + kFieldsPerTable); ++i) {
      fields.push_back({words[i], FieldType::Integer});
    }
    const std::string storeName = "KW" + std::to_string(first);
    TffSession::DefaultSession().CreateTable(db.alias(), storeName, fields, {});
    TffTable table;
    table.SetDatabaseName(db.alias());
    table.SetTableName(storeName);
    table.Open();
    QStringList lines;
    MakeTableSql(lines, table, words[first]);
    EXPECT_EQ(server.run(lines.takeFirst().toStdString()), "") << words[first];
    EXPECT_EQ(server.run(lines.join('\n').toStdString()), "") << "table of " << words[first];
    EXPECT_EQ(server.columns(words[first]).size(), static_cast<qsizetype>(fields.size() + 1));
  }
  for (const std::string& word : words) {
    EXPECT_EQ(server.run("DROP TABLE IF EXISTS " + MySqlName(word)), "") << word;
  }
}

}  // namespace
