// Converting a firm's tables with their rows into the private MariaDB: staging, swap,
// lossless values, verification, and what failures leave behind.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "convert/SqlConvert.h"
#include "db/SuiteDatabase.h"
#include "store/Field.h"
#include "store/Session.h"
#include "store/ff2/Ff2TableBuilder.h"
#include "support/SqlTestSupport.h"
#include "support/TempAlias.h"
#include "text/Utf8Text.h"

namespace fs = std::filesystem;

namespace {

using ff::FieldType;
using ff::Value;

// The firm samples beside the checkout, else the repository's copies of the same files.
const std::string kSamples = fs::is_directory(KV_SOURCE_DIR "/../shared/ff2-samples")
                                 ? KV_SOURCE_DIR "/../shared/ff2-samples"
                                 : KV_SOURCE_DIR "/tests/store/ff2/samples";

class Observer : public ConvertObserver {
 public:
  std::function<void(std::int64_t)> onRows;
  void RowsLoaded(const std::string&, std::int64_t done, std::int64_t) override {
    if (onRows) onRows(done);
  }
};

class SqlConvertTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_SERVER(db); }

  std::vector<TableOutcome> convert(const std::string& alias, std::vector<std::string> tables = {},
                                    bool nullForBadDates = false) {
    ConvertOptions options{alias, std::move(tables), true, nullForBadDates};
    return SqlConverter(options, SqlAliasConnector(kSqlAliasMySQLweb), observer, stop).Run();
  }

  ff::TffSession& session() { return ff::TffSession::DefaultSession(); }

  // A store table of the firm's alias holding these rows.
  void makeTable(const std::string& name, const std::vector<ff::FieldDef>& fields,
                 const std::vector<std::vector<Value>>& rows, const std::vector<ff::IndexDef>& indexes = {}) {
    session().CreateTable(firm.alias(), name, fields, indexes);
    addRows(name, rows);
  }
  void addRows(const std::string& name, const std::vector<std::vector<Value>>& rows) {
    auto table = session().OpenTable(firm.alias(), name, {false, false});
    table->BeginBulk();
    for (const auto& r : rows) table->Insert(r);
    table->EndBulk();
  }

  // The first column of a query's rows, joined by "|".
  std::string select(const std::string& sql) {
    std::string out;
    try {
      db.admin().ForEachRow(sql, [&](const char* const* values, const unsigned long* lengths) {
        out += (out.empty() ? "" : "|") + (values[0] ? std::string(values[0], lengths[0]) : "NULL");
      });
    } catch (const sql::SqlError& e) {
      return "ERROR " + std::string(e.what());
    }
    return out;
  }

  sql_test::TempSettings settings;
  TempAlias firm{"FIRMA"};
  sql_test::PrivateDatabase db;
  Observer observer;
  std::atomic<bool> stop{false};
};

std::vector<std::vector<Value>> numberedRows(int n) {
  std::vector<std::vector<Value>> rows;
  for (int i = 1; i <= n; ++i) rows.push_back({std::int64_t{i}, std::string("rad ") + std::to_string(i)});
  return rows;
}

// The live record count the sample's reference description gives.
std::int64_t expectedRecords(const std::string& table) {
  for (const auto& entry : fs::directory_iterator(kSamples)) {
    const std::string name = entry.path().filename().string();
    if (!ff::sameName(name, table + ".ff2.expect.json")) continue;
    std::ifstream in(entry.path());
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::smatch m;
    if (std::regex_search(json, m, std::regex("\"records\": *([0-9]+)"))) return std::stoll(m[1]);
  }
  return -1;
}

const std::vector<ff::FieldDef> kNumberedFields = {{"NR", FieldType::Integer}, {"TEKST", FieldType::String, 20}};

TEST_F(SqlConvertTest, EverySampleTableIsConvertedAndVerified) {
  if (!fs::is_directory(kSamples)) GTEST_SKIP() << "no sample folder " << kSamples;
  ff::AddAlias("PRØVER", kSamples + "/");
  const auto outcomes = convert("PRØVER");
  std::vector<std::string> names;
  session().GetTableNames("PRØVER", "*.*", false, false, names);
  ASSERT_EQ(outcomes.size(), names.size());
  ASSERT_GE(outcomes.size(), 20u);
  for (const auto& o : outcomes) {
    if (o.table == "Simulated1") {  // the damaged copy: named, failed, the others go on
      EXPECT_TRUE(o.damagedSource) << o.error;
      continue;
    }
    ASSERT_TRUE(o.Converted()) << o.table << ": " << o.error;
    ASSERT_TRUE(o.verified);
    EXPECT_TRUE(o.verified->AllIdentical()) << o.table;
    EXPECT_EQ(o.verified->identical, o.counts.rowsRead) << o.table;
    EXPECT_EQ(select("SELECT COUNT(*) FROM `" + o.table + "`"), std::to_string(o.counts.rowsRead)) << o.table;
    EXPECT_EQ(o.counts.rowsRead, expectedRecords(o.table)) << o.table;
  }
  // customer has a field ID: the generated key takes another name.
  const auto customer = std::find_if(outcomes.begin(), outcomes.end(), [](auto& o) { return o.table == "customer"; });
  EXPECT_EQ(customer->keyName, "kvist_id");
  EXPECT_EQ(select("SELECT CONCAT(kvist_id, ' ', ID, ' ', Company) FROM customer ORDER BY kvist_id LIMIT 2"),
            "1 1 Kauai Dive Shoppe|2 2 Unisco");
  EXPECT_EQ(select("SELECT DATE_FORMAT(LastInvoiceDate, '%Y-%m-%d %H:%i:%s') FROM customer WHERE kvist_id = 1"),
            "1995-02-02 01:05:03");
  const auto blobs = std::find_if(outcomes.begin(), outcomes.end(), [](auto& o) { return o.table == "SavExBlob"; });
  EXPECT_GT(blobs->counts.blobBytes, 100000);
  EXPECT_EQ(select("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND "
                   "TABLE_NAME LIKE 'kvist\\_%'"),
            "");
}

TEST_F(SqlConvertTest, ValuesArriveExactly) {
  makeTable("VERDIER",
            {{"TEKST", FieldType::String, 10}, {"BELOP", FieldType::Float}, {"KRONER", FieldType::Currency},
             {"NAAR", FieldType::DateTime}, {"KL", FieldType::Time}, {"DAG", FieldType::Date},
             {"NOTAT", FieldType::Memo}, {"BILDE", FieldType::Graphic}, {"JA", FieldType::Boolean},
             {"ORD", FieldType::Word}, {"id", FieldType::Integer}},
            {{std::string("æøå"), 1234567.89, 1234567.89, ff::encodeDate(2024, 3, 5) + 45296.789 / 86400,
              0.5 + 0.001 / 86400, ff::encodeDate(1999, 12, 31), std::string("linje 1\nlinje\t2\\"),
              std::string("\0\xff\n\t\\x", 6), std::int64_t{1}, std::int64_t{65535}, std::int64_t{-7}},
             {Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}}});
  const auto outcomes = convert(firm.alias());
  ASSERT_EQ(outcomes.size(), 1u);
  ASSERT_TRUE(outcomes[0].Converted()) << outcomes[0].error;
  EXPECT_EQ(outcomes[0].verified->identical, 2);
  EXPECT_EQ(outcomes[0].keyName, "kvist_id");
  EXPECT_EQ(outcomes[0].counts.blobBytes, 22);
  EXPECT_EQ(select("SELECT CONCAT_WS(' ', HEX(TEKST), CHAR_LENGTH(TEKST), BELOP = 1234567.89e0, KRONER, NAAR, KL, "
                   "DAG, HEX(BILDE), JA, ORD, id) FROM VERDIER WHERE kvist_id = 1"),
            "C3A6C3B8C3A5 3 1 1234567.8900 2024-03-05 12:34:56.789 12:00:00.001 1999-12-31 00FF0A095C78 1 65535 -7");
  EXPECT_EQ(select("SELECT NOTAT FROM VERDIER WHERE kvist_id = 1"), "linje 1\nlinje\t2\\");
  EXPECT_EQ(select("SELECT COUNT(*) FROM VERDIER WHERE COALESCE(TEKST, BELOP, KRONER, NAAR, KL, DAG, NOTAT, BILDE, "
                   "JA, ORD, id) IS NULL"),
            "1");
}

TEST_F(SqlConvertTest, LegacyTextArrivesAsUtf8AndNumbersExactly) {
  using namespace ff2test;
  using ff::ff2::FfType;
  Ff2TableBuilder t({field("NAVN", FfType::ShortString, 11, 10), field("NOTAT", FfType::BlobMemo, 8),
                     field("BELOP", FfType::Double, 8), field("KRONER", FfType::Currency, 8)});
  t.addRecord({"\x03\xE6\xF8\xE5", le64(t.addBlob("Hei p\xE5 deg")), f64(1234567.89), le64(12345678900)});
  std::ofstream(firm.folder() + "GAMMEL.ff2", std::ios::binary) << t.build();
  const auto outcomes = convert(firm.alias());
  ASSERT_TRUE(outcomes[0].Converted()) << outcomes[0].error;
  EXPECT_EQ(outcomes[0].verified->identical, 1);
  EXPECT_EQ(select("SELECT CONCAT_WS(' ', HEX(NAVN), CHAR_LENGTH(NAVN), HEX(NOTAT), BELOP = 1234567.89e0, KRONER) "
                   "FROM GAMMEL"),
            "C3A6C3B8C3A5 3 4865692070C3A520646567 1 1234567.8900");
}

// The store keeps currency as doubles: an amount a double cannot tell apart from its
// neighbours at 1/10000 is refused by table, row, field and value, never bent.
TEST_F(SqlConvertTest, AStoreCurrencyADoubleCannotHoldExactlyIsRefused) {
  makeTable("BELOP", {{"KRONER", FieldType::Currency}}, {{12.5}, {900719925474.0993}});
  const auto outcomes = convert(firm.alias());
  ASSERT_FALSE(outcomes[0].Converted());
  EXPECT_EQ(outcomes[0].table, "BELOP");
  EXPECT_NE(outcomes[0].error.find("rad 2, felt KRONER: verdien 900719925474.09"), std::string::npos)
      << outcomes[0].error;
  EXPECT_NE(outcomes[0].error.find("nøyaktig"), std::string::npos) << outcomes[0].error;
  EXPECT_EQ(db.tables(), sql_test::Names());
}

// A .ff2 file holds currency as a 64-bit integer: every amount arrives exactly.
TEST_F(SqlConvertTest, Ff2CurrencyArrivesExactlyOverItsWholeRange) {
  using namespace ff2test;
  using ff::ff2::FfType;
  Ff2TableBuilder t({field("KRONER", FfType::Currency, 8)});
  for (const std::int64_t v : {std::int64_t{9007199254740993}, INT64_MAX, INT64_MIN, std::int64_t{-1}}) {
    t.addRecord({le64(static_cast<std::uint64_t>(v))});
  }
  std::ofstream(firm.folder() + "PENGER.ff2", std::ios::binary) << t.build();
  const auto outcomes = convert(firm.alias());
  ASSERT_TRUE(outcomes[0].Converted()) << outcomes[0].error;
  EXPECT_EQ(outcomes[0].verified->identical, 4);
  EXPECT_EQ(select("SELECT KRONER FROM PENGER ORDER BY id"),
            "900719925474.0993|922337203685477.5807|-922337203685477.5808|-0.0001");
}

// Work-table names fit MySQL's 64 characters whatever the table's name, stay apart for names
// that share their start, and are found again as leftovers of an earlier run.
TEST_F(SqlConvertTest, TablesWithNamesOfUpTo64CharactersConvert) {
  const std::string longest = "Ærend" + std::string(59, 'x');  // 64 characters
  const std::string sibling = "Ærend" + std::string(58, 'x') + "y";
  const std::string staging = WorkTableName(kStagingPrefix, longest);
  EXPECT_EQ(Utf8Length(staging), 64u) << staging;
  EXPECT_LE(Utf8Length(WorkTableName(kReplacedPrefix, longest)), 64u);
  EXPECT_NE(staging, WorkTableName(kStagingPrefix, sibling));
  EXPECT_EQ(staging, WorkTableName(kStagingPrefix, longest));
  EXPECT_EQ(WorkTableName(kStagingPrefix, "KUNDE"), "kvist_ny_KUNDE");

  makeTable(longest, kNumberedFields, numberedRows(2));
  makeTable(sibling, kNumberedFields, numberedRows(3));
  auto outcomes = convert(firm.alias());
  for (const auto& o : outcomes) ASSERT_TRUE(o.Converted()) << o.table << ": " << o.error;
  EXPECT_EQ(select("SELECT COUNT(*) FROM `" + longest + "`"), "2");
  EXPECT_EQ(select("SELECT COUNT(*) FROM `" + sibling + "`"), "3");

  // A run that ended without cleaning up left both work tables; the next run clears them.
  ASSERT_EQ(db.run("CREATE TABLE `" + staging + "` (n INT)"), "");
  ASSERT_EQ(db.run("CREATE TABLE `" + WorkTableName(kReplacedPrefix, longest) + "` (n INT)"), "");
  outcomes = convert(firm.alias(), {longest});
  ASSERT_TRUE(outcomes[0].Converted()) << outcomes[0].error;
  EXPECT_EQ(db.tables(), (sql_test::Names{longest, sibling}));
}

TEST_F(SqlConvertTest, IndexesAreBuiltAndTheDemoDatabaseConverts) {
  CreateSuiteTables(session(), firm.alias());
  FillDemoData(session(), firm.alias());
  const auto outcomes = convert(firm.alias());
  EXPECT_EQ(outcomes.size(), 32u);
  for (const auto& o : outcomes) {
    ASSERT_TRUE(o.Converted()) << o.table << ": " << o.error;
    EXPECT_TRUE(o.verified && o.verified->AllIdentical()) << o.table;
  }
  EXPECT_NE(select("SELECT GROUP_CONCAT(INDEX_NAME) FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = "
                   "DATABASE() AND TABLE_NAME = 'TIMER'"),
            "PRIMARY");
}

TEST_F(SqlConvertTest, DatesTheTargetCannotHoldFailTheTableUnlessMadeNull) {
  makeTable("GAMLE", {{"DATO", FieldType::Date}},
            {{ff::encodeDate(2001, 1, 1)}, {ff::encodeDate(999, 12, 31)}, {ff::encodeDate(2002, 2, 2) + 0.75}});
  auto outcomes = convert(firm.alias());
  EXPECT_FALSE(outcomes[0].Converted());
  EXPECT_NE(outcomes[0].error.find("rad 2, felt DATO: verdien"), std::string::npos) << outcomes[0].error;
  EXPECT_EQ(db.tables(), sql_test::Names());

  outcomes = convert(firm.alias(), {}, true);
  ASSERT_TRUE(outcomes[0].Converted()) << outcomes[0].error;
  EXPECT_EQ(outcomes[0].counts.madeNull, 1);
  EXPECT_EQ(outcomes[0].verified->identical, 3);
  EXPECT_EQ(select("SELECT COALESCE(DATO, 'NULL') FROM GAMLE ORDER BY id"), "2001-01-01|NULL|2002-02-02");

  // A date with a time of day is its date, not a date the target cannot hold.
  auto table = session().OpenTable(firm.alias(), "GAMLE", {false, false});
  table->Remove(2);
  outcomes = convert(firm.alias());
  ASSERT_TRUE(outcomes[0].Converted()) << outcomes[0].error;
  EXPECT_EQ(outcomes[0].counts.madeNull, 0);
  EXPECT_EQ(select("SELECT DATO FROM GAMLE ORDER BY id"), "2001-01-01|2002-02-02");
}

TEST_F(SqlConvertTest, ARefusedValueMidTableLeavesThePreviousCopyAndARerunSucceeds) {
  makeTable("RADER", kNumberedFields, numberedRows(3));
  ASSERT_TRUE(convert(firm.alias())[0].Converted());
  auto rows = numberedRows(5000);
  rows[2999][1] = std::string("ugyldig \xff tekst");  // not UTF-8: the server refuses it
  addRows("RADER", rows);
  const auto failed = convert(firm.alias());
  ASSERT_FALSE(failed[0].Converted());
  EXPECT_NE(failed[0].error.find("row 3003"), std::string::npos) << failed[0].error;
  EXPECT_EQ(select("SELECT GROUP_CONCAT(TEKST ORDER BY id) FROM RADER"), "rad 1,rad 2,rad 3");
  EXPECT_EQ(db.tables(), sql_test::Names{"RADER"});

  auto table = session().OpenTable(firm.alias(), "RADER", {false, false});
  table->Remove(3003);
  const auto rerun = convert(firm.alias());
  ASSERT_TRUE(rerun[0].Converted()) << rerun[0].error;
  EXPECT_EQ(select("SELECT COUNT(*) FROM RADER"), "5002");
  EXPECT_EQ(db.tables(), sql_test::Names{"RADER"});
}

TEST_F(SqlConvertTest, AStopMidLoadLeavesThePreviousCopy) {
  makeTable("RADER", kNumberedFields, numberedRows(2));
  ASSERT_TRUE(convert(firm.alias())[0].Converted());
  addRows("RADER", numberedRows(100000));
  observer.onRows = [&](std::int64_t done) { stop = stop || done > 0; };  // as Ctrl-C does
  const auto stopped = convert(firm.alias());
  ASSERT_TRUE(stop);
  EXPECT_EQ(stopped[0].error, "avbrutt");
  EXPECT_EQ(select("SELECT COUNT(*) FROM RADER"), "2");
  EXPECT_EQ(db.tables(), sql_test::Names{"RADER"});
}

TEST_F(SqlConvertTest, BadInputIsRefusedBeforeAnythingIsConverted) {
  makeTable("RADER", kNumberedFields, numberedRows(1));
  const auto refusal = [&](ConvertOptions options, const std::string& target = kSqlAliasMySQLweb) {
    try {
      SqlConverter converter(options, SqlAliasConnector(target), observer, stop);
      return std::string("accepted");
    } catch (const EConvertInput& e) {
      return std::string(e.what());
    }
  };
  EXPECT_EQ(refusal({"INGEN"}), "Ukjent alias: INGEN");
  EXPECT_EQ(refusal({firm.alias(), {"rader", "BORTE"}}), "Tabellen BORTE finnes ikke i alias FIRMA");
  EXPECT_EQ(refusal({firm.alias()}, "Ukjent"), "Ukjent databasealias: Ukjent");
  WriteSqlAlias("Død", sql_test::DeadServerAlias(settings.folder()));
  const std::string dead = refusal({firm.alias()}, "Død");
  EXPECT_EQ(dead.rfind("Kan ikke koble til SQL-databasen for databasealiaset Død:\nCan't connect", 0), 0u)
      << "the message every path gives for this alias: " << dead;
  EXPECT_EQ(db.tables(), sql_test::Names());
}

// A server of its own, so that stopping it does not disturb tests running beside this one.
class StoppedServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kvmysql-XXXXXX";
    folder_ = ::mkdtemp(pattern);
    if (const char* old = std::getenv("KV_MYSQL_DIR")) previous_ = old;
    ::setenv("KV_MYSQL_DIR", folder_.c_str(), 1);
    if (!server("start")) GTEST_SKIP() << "could not start a MariaDB of its own";
    db = std::make_unique<sql_test::PrivateDatabase>();
  }
  void TearDown() override {
    db.reset();
    server("stop");
    previous_.empty() ? ::unsetenv("KV_MYSQL_DIR") : ::setenv("KV_MYSQL_DIR", previous_.c_str(), 1);
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  bool server(const std::string& what) {
    return std::system((KV_SOURCE_DIR "/scripts/mysql-local.sh " + what + " >/dev/null 2>&1").c_str()) == 0;
  }

  // Through a fresh connection: the test's own died with the server.
  std::string tablesOnServer() {
    SqlAliasSettings settings = PrivateServerAlias();
    settings.database = db->name();
    sql::SqlConnection connection(SqlAliasEndpoint(kSqlAliasMySQLweb, settings));
    std::string names;
    connection.ForEachRow("SHOW TABLES", [&](const char* const* values, const unsigned long*) {
      names += (names.empty() ? "" : "|") + std::string(values[0]);
    });
    return names;
  }

  std::string folder_, previous_;
  sql_test::TempSettings settings;
  TempAlias firm{"FIRMA"};
  std::unique_ptr<sql_test::PrivateDatabase> db;
};

TEST_F(StoppedServerTest, AServerStoppedMidLoadLeavesThePreviousCopyAndARerunSucceeds) {
  auto& session = ff::TffSession::DefaultSession();
  session.CreateTable(firm.alias(), "RADER", kNumberedFields, {});
  auto table = session.OpenTable(firm.alias(), "RADER", {false, false});
  const auto insert = [&](int n) {
    table->BeginBulk();
    for (const auto& r : numberedRows(n)) table->Insert(r);
    table->EndBulk();
  };
  insert(2);
  Observer observer;
  std::atomic<bool> stop{false};
  const ConvertOptions options{firm.alias()};
  const auto target = SqlAliasConnector(kSqlAliasMySQLweb);
  ASSERT_TRUE(SqlConverter(options, target, observer, stop).Run()[0].Converted());
  insert(300000);
  bool stopped = false;
  observer.onRows = [&](std::int64_t done) {
    if (done == 0 || stopped) return;
    stopped = true;
    ASSERT_TRUE(server("stop"));
    ASSERT_TRUE(server("start"));
  };
  const auto failed = SqlConverter(options, target, observer, stop).Run();
  ASSERT_TRUE(stopped);
  EXPECT_FALSE(failed[0].Converted());
  EXPECT_EQ(failed[0].error.find("kunne ikke fjernes"), std::string::npos) << failed[0].error;
  EXPECT_EQ(tablesOnServer(), "RADER");
  observer.onRows = nullptr;
  const auto rerun = SqlConverter(options, target, observer, stop).Run();
  ASSERT_TRUE(rerun[0].Converted()) << rerun[0].error;
  EXPECT_EQ(rerun[0].verified->identical, 300002);
}

}  // namespace
