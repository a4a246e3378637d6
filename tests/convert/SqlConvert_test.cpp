// Converting a firm's tables with their rows into the private MariaDB: staging, swap,
// lossless values, verification, and what failures leave behind.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <regex>

#include "convert/ConvertReport.h"
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
  std::function<void()> onSwapped;
  std::function<void(ConvertStep)> onStep;
  void RowsLoaded(const std::string&, std::int64_t done, std::int64_t) override {
    if (onRows) onRows(done);
  }
  void StepStarted(const std::string&, ConvertStep step) override {
    if (onStep) onStep(step);
  }
  void TableSwapped(const std::string&) override {
    if (onSwapped) onSwapped();
  }
  void ValueRejected(const std::string& table, const ValueRejection& r) override {
    std::lock_guard lock(mutex);
    rejected.push_back(table + " " + std::to_string(r.row) + " " + r.field + " " + r.value + " " + r.reason +
                       (r.madeNull ? " (NULL)" : ""));
  }
  std::mutex mutex;
  std::vector<std::string> rejected;
};

class SqlConvertTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_SERVER(db); }

  std::vector<TableOutcome> convert(const std::string& alias, std::vector<std::string> tables = {},
                                    bool nullForBadDates = false) {
    ConvertOptions options{alias, std::move(tables), true, nullForBadDates};
    return convertWith(options);
  }
  std::vector<TableOutcome> convertWith(const ConvertOptions& options,
                                        const TargetConnector& target = SqlAliasConnector(kSqlAliasMySQLweb)) {
    SqlConverter converter(options, target, observer, stop);
    auto outcomes = converter.Run();
    workTablesLeft = converter.WorkTablesLeft();
    return outcomes;
  }
  // Why the converter refuses to start, or "" when it starts.
  std::string refusedBy(const ConvertOptions& options, const TargetConnector& target) {
    try {
      SqlConverter(options, target, observer, stop);
      return "";
    } catch (const EConvertInput& e) {
      return e.what();
    }
  }
  std::vector<std::string> workTablesLeft;

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

// A large table's indexes are built on a connection of their own while the table is verified.
TEST_F(SqlConvertTest, AnIndexBuildThatFailsBesideTheVerificationFailsTheTableAndLeavesThePreviousCopy) {
  makeTable("RADER", kNumberedFields, numberedRows(2), {{"TEKST", {"TEKST"}, 0}});
  ASSERT_TRUE(convert(firm.alias())[0].Converted());
  addRows("RADER", numberedRows(100000));
  std::vector<ConvertStep> steps;
  std::string killed;
  observer.onStep = [&](ConvertStep step) {
    steps.push_back(step);
    if (step != ConvertStep::Verifying) return;
    killed = select("SELECT GROUP_CONCAT(ID) FROM information_schema.PROCESSLIST WHERE DB = DATABASE() AND INFO "
                    "LIKE 'ALTER TABLE%'");
    if (!killed.empty()) select("KILL QUERY " + killed);
  };
  const auto failed = convert(firm.alias());
  EXPECT_EQ(steps, (std::vector<ConvertStep>{ConvertStep::BuildingIndexes, ConvertStep::Verifying}));
  ASSERT_NE(killed, "") << "the index build ran beside the verification";
  ASSERT_FALSE(failed[0].Converted());
  EXPECT_NE(failed[0].error.find("interrupted"), std::string::npos) << failed[0].error;
  EXPECT_EQ(select("SELECT COUNT(*) FROM RADER"), "2");
  EXPECT_EQ(db.tables(), sql_test::Names{"RADER"});

  observer.onStep = nullptr;
  const auto rerun = convert(firm.alias());
  ASSERT_TRUE(rerun[0].Converted()) << rerun[0].error;
  EXPECT_TRUE(rerun[0].verified && rerun[0].verified->AllIdentical());
  EXPECT_EQ(select("SELECT COUNT(*) FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = DATABASE() AND "
                   "TABLE_NAME = 'RADER' AND COLUMN_NAME = 'TEKST'"),
            "1");
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

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// A killed run leaves work tables: staging ones are dropped, a replaced copy whose table is
// there is dropped, one whose table is gone is kept and told with the SQL that restores it.
TEST_F(SqlConvertTest, WorkTablesOfAKilledRunAreClearedAndReported) {
  makeTable("RADER", kNumberedFields, numberedRows(2));
  ASSERT_EQ(db.run("CREATE TABLE kvist_ny_RADER (id INT)"), "");
  ASSERT_EQ(db.run("CREATE TABLE kvist_ny_ANNEN (id INT)"), "");
  ASSERT_EQ(db.run("CREATE TABLE HER (id INT)"), "");
  ASSERT_EQ(db.run("CREATE TABLE kvist_gml_HER (id INT)"), "");
  ASSERT_EQ(db.run("CREATE TABLE kvist_gml_BORTE (id INT)"), "");
  ASSERT_TRUE(convert(firm.alias())[0].Converted());
  EXPECT_EQ(db.tables(), (sql_test::Names{"HER", "kvist_gml_BORTE", "RADER"}));
  std::string told;
  for (const auto& line : workTablesLeft) told += line + "\n";
  EXPECT_TRUE(contains(told, "Arbeidstabellen kvist_ny_RADER fra en tidligere avbrutt kjøring er fjernet")) << told;
  EXPECT_TRUE(contains(told, "Arbeidstabellen kvist_ny_ANNEN")) << told;
  EXPECT_TRUE(contains(told, "Den gamle kopien kvist_gml_HER av HER fra en tidligere avbrutt kjøring er fjernet")) << told;
  EXPECT_TRUE(contains(told, "kvist_gml_BORTE er den gamle kopien av BORTE fra en tidligere avbrutt kjøring, men BORTE "
                             "finnes ikke på serveren. Gi den navnet tilbake med RENAME TABLE kvist_gml_BORTE TO "
                             "BORTE; eller fjern den med DROP TABLE kvist_gml_BORTE;"))
      << told;
  EXPECT_EQ(workTablesLeft.size(), 4u) << told;
}

// After the swap the table is converted: an old copy that cannot be dropped is a leftover with
// the SQL that removes it, not a failure.
TEST_F(SqlConvertTest, AFailureAfterTheSwapLeavesTheOldCopyNamedAndTheTableConverted) {
  makeTable("RADER", kNumberedFields, numberedRows(2));
  ASSERT_TRUE(convert(firm.alias())[0].Converted());
  addRows("RADER", numberedRows(1));
  // Another table's key on the old copy keeps the server from dropping it.
  observer.onSwapped = [&] {
    EXPECT_EQ(db.run("CREATE TABLE HOLDER (ref INT, FOREIGN KEY (ref) REFERENCES kvist_gml_RADER (id)) ENGINE=InnoDB"),
              "");
  };
  const auto outcomes = convert(firm.alias());
  ASSERT_TRUE(outcomes[0].Converted()) << outcomes[0].error;
  EXPECT_EQ(outcomes[0].leftover, "DROP TABLE kvist_gml_RADER;");
  EXPECT_FALSE(outcomes[0].leftoverReason.empty());
  EXPECT_EQ(select("SELECT COUNT(*) FROM RADER"), "3");
  EXPECT_EQ(db.tables(), (sql_test::Names{"HOLDER", "kvist_gml_RADER", "RADER"}));
}

TEST_F(SqlConvertTest, AServerLostBetweenSwapAndDropNamesTheOldCopy) {
  makeTable("RADER", kNumberedFields, numberedRows(2));
  ASSERT_TRUE(convert(firm.alias())[0].Converted());
  bool lost = false;
  const auto alias = SqlAliasConnector(kSqlAliasMySQLweb);
  const TargetConnector target = [&] {
    if (lost) throw std::runtime_error("serveren svarer ikke");
    return alias();
  };
  observer.onSwapped = [&] {  // the server goes: the converter's connection is cut, no new one is had
    lost = true;
    const std::string others =
        select("SELECT ID FROM information_schema.PROCESSLIST WHERE DB = DATABASE() AND ID <> CONNECTION_ID()");
    ASSERT_FALSE(others.empty());
    std::istringstream ids(others);
    for (std::string id; std::getline(ids, id, '|');) EXPECT_EQ(db.run("KILL CONNECTION " + id), "");
  };
  const auto outcomes = convertWith({firm.alias(), {}, true, false}, target);
  ASSERT_TRUE(outcomes[0].Converted()) << outcomes[0].error;
  EXPECT_EQ(outcomes[0].leftover, "DROP TABLE kvist_gml_RADER;");
  EXPECT_TRUE(contains(outcomes[0].leftoverReason, "serveren svarer ikke")) << outcomes[0].leftoverReason;
  EXPECT_EQ(db.tables(), (sql_test::Names{"kvist_gml_RADER", "RADER"}));
}

// Another table's foreign key on a table about to be replaced would follow the old copy: the
// table is refused, naming the key, unless the keys are to be dropped.
TEST_F(SqlConvertTest, AForeignKeyOnATableToBeReplacedRefusesItUnlessDropped) {
  makeTable("RADER", kNumberedFields, numberedRows(2));
  ASSERT_TRUE(convert(firm.alias())[0].Converted());
  ASSERT_EQ(db.run("CREATE TABLE ORDRE (rad INT, CONSTRAINT ordre_rad FOREIGN KEY (rad) REFERENCES RADER (id)) "
                   "ENGINE=InnoDB"),
            "");
  addRows("RADER", numberedRows(1));
  const auto refused = convert(firm.alias());
  ASSERT_FALSE(refused[0].Converted());
  EXPECT_TRUE(contains(refused[0].error, "fremmednøkkelen ordre_rad i tabellen ORDRE peker på den")) << refused[0].error;
  EXPECT_EQ(select("SELECT COUNT(*) FROM RADER"), "2");
  EXPECT_EQ(db.tables(), (sql_test::Names{"ORDRE", "RADER"}));

  ConvertOptions dropping{firm.alias(), {}, true, false};
  dropping.dropForeignKeys = true;
  const auto converted = convertWith(dropping);
  ASSERT_TRUE(converted[0].Converted()) << converted[0].error;
  ASSERT_EQ(converted[0].notes.size(), 1u);
  EXPECT_TRUE(contains(converted[0].notes[0], "ordre_rad i tabellen ORDRE")) << converted[0].notes[0];
  EXPECT_TRUE(converted[0].leftover.empty()) << converted[0].leftoverReason;
  EXPECT_EQ(select("SELECT COUNT(*) FROM RADER"), "3");
  EXPECT_EQ(db.tables(), (sql_test::Names{"ORDRE", "RADER"}));
}

// The server must allow LOAD DATA LOCAL and give the rights the conversion uses; otherwise
// nothing is done and the refusal names what is missing.
TEST_F(SqlConvertTest, AServerThatRefusesWhatTheConversionNeedsIsToldBeforeTheFirstTable) {
  makeTable("RADER", kNumberedFields, numberedRows(2));
  const ConvertOptions options{firm.alias(), {}, true, false};
  const auto target = SqlAliasConnector(kSqlAliasMySQLweb);
  ASSERT_EQ(db.run("SET GLOBAL local_infile = 0"), "");
  const std::string noInfile = refusedBy(options, target);
  ASSERT_EQ(db.run("SET GLOBAL local_infile = 1"), "");
  EXPECT_TRUE(contains(noInfile, "LOAD DATA LOCAL INFILE (local_infile er av)")) << noInfile;

  const std::string user = "kvfr" + std::to_string(::getpid());
  ASSERT_EQ(db.run("CREATE USER '" + user + "'@'localhost' IDENTIFIED BY 'pw1'"), "");
  ASSERT_EQ(db.run("GRANT SELECT, INSERT, CREATE ON " + db.name() + ".* TO '" + user + "'@'localhost'"), "");
  SqlAliasSettings limited = PrivateServerAlias();
  limited.database = db.name();
  limited.user = user;
  limited.password = "pw1";
  WriteSqlAlias("Begrenset", limited);
  const std::string noRights = refusedBy(options, SqlAliasConnector("Begrenset"));
  db.run("DROP USER '" + user + "'@'localhost'");
  EXPECT_TRUE(contains(noRights, "Brukeren " + user + "@localhost mangler rettighetene DROP, ALTER, INDEX på databasen " +
                                     db.name()))
      << noRights;
  EXPECT_EQ(db.tables(), sql_test::Names());
  EXPECT_EQ(refusedBy(options, target), "");

  // Rights held through a role count as well.
  const std::string role = "kvfr_rolle" + std::to_string(::getpid());
  ASSERT_EQ(db.run("CREATE USER '" + user + "'@'localhost' IDENTIFIED BY 'pw1'"), "");
  ASSERT_EQ(db.run("CREATE ROLE " + role), "");
  ASSERT_EQ(db.run("GRANT CREATE, DROP, INSERT, ALTER, INDEX, SELECT ON " + db.name() + ".* TO " + role), "");
  ASSERT_EQ(db.run("GRANT " + role + " TO '" + user + "'@'localhost'"), "");
  ASSERT_EQ(db.run("SET DEFAULT ROLE " + role + " FOR '" + user + "'@'localhost'"), "");
  const std::string byRole = refusedBy(options, SqlAliasConnector("Begrenset"));
  db.run("DROP USER '" + user + "'@'localhost'");
  db.run("DROP ROLE " + role);
  EXPECT_EQ(byRole, "");
}

// A server out of disk space says so in Norwegian; other failures keep the server's text.
TEST_F(SqlConvertTest, AServerOutOfDiskSpaceIsToldSo) {
  const auto failure = [&](const std::string& code, const std::string& text) -> std::string {
    try {
      db.admin().Execute("SIGNAL SQLSTATE 'HY000' SET MYSQL_ERRNO = " + code + ", MESSAGE_TEXT = " +
                         db.admin().Literal(text));
    } catch (const sql::SqlError& e) {
      return DescribeFailure(e, "vert/FIRMA");
    }
    return "no error";
  };
  EXPECT_EQ(failure("1114", "The table 'kvist_ny_X' is full"),
            "Serveren vert/FIRMA er tom for diskplass (The table 'kvist_ny_X' is full). Frigjør plass på serveren og "
            "kjør konverteringen på nytt");
  EXPECT_TRUE(contains(failure("1021", "Disk full (/var/tmp/x); waiting for someone to free some space..."),
                       "Serveren vert/FIRMA er tom for diskplass"));
  EXPECT_TRUE(contains(failure("1030", "Can't change size of file (Errcode: 28 \"No space left on device\")"),
                       "Serveren vert/FIRMA er tom for diskplass"));
  EXPECT_EQ(failure("1146", "Table 'x' doesn't exist"), "Table 'x' doesn't exist");
}

// Every refused value is told, not only the first; made NULL ones too.
TEST_F(SqlConvertTest, EveryRefusedOrChangedValueIsTold) {
  makeTable("GAMLE", {{"DATO", FieldType::Date}},
            {{ff::encodeDate(2001, 1, 1)}, {ff::encodeDate(999, 12, 31)}, {ff::encodeDate(12, 1, 1)},
             {ff::encodeDate(2002, 2, 2)}, {ff::encodeDate(500, 6, 1)}});
  EXPECT_FALSE(convert(firm.alias())[0].Converted());
  ASSERT_EQ(observer.rejected.size(), 3u);
  EXPECT_TRUE(contains(observer.rejected[0], "GAMLE 2 DATO 31.12.999 00:00:00.000 (") &&
              contains(observer.rejected[0], " dager) er ingen dato mellom år 1000 og 9999"))
      << observer.rejected[0];
  EXPECT_TRUE(contains(observer.rejected[1], "GAMLE 3 DATO 01.01.12 ")) << observer.rejected[1];
  EXPECT_TRUE(contains(observer.rejected[2], "GAMLE 5 DATO 01.06.500 ")) << observer.rejected[2];
  EXPECT_EQ(db.tables(), sql_test::Names());

  observer.rejected.clear();
  const auto lossy = convert(firm.alias(), {}, true);
  ASSERT_TRUE(lossy[0].Converted()) << lossy[0].error;
  ASSERT_EQ(observer.rejected.size(), 3u);
  EXPECT_TRUE(contains(observer.rejected[0], "GAMLE 2 DATO 31.12.999") && contains(observer.rejected[0], "(NULL)"));
  EXPECT_TRUE(contains(observer.rejected[2], "GAMLE 5 DATO") && contains(observer.rejected[2], "(NULL)"));
}

// Text sorts as Norwegian does by default (Ø before Å, "Ås" after "Øst"); an unknown collation
// is refused before anything is written.
TEST_F(SqlConvertTest, TextSortsByTheCollationChosen) {
  makeTable("STEDER", {{"NAVN", FieldType::String, 20}}, {{std::string("Ås")}, {std::string("Øst")}, {std::string("Berg")}},
            {{"NAVN", {"NAVN"}, 0}});
  ASSERT_TRUE(convert(firm.alias())[0].Converted());
  EXPECT_EQ(select("SELECT NAVN FROM STEDER ORDER BY NAVN"), "Berg|Øst|Ås");
  EXPECT_EQ(select("SELECT TABLE_COLLATION FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND "
                   "TABLE_NAME = 'STEDER'"),
            "utf8mb4_danish_ci");

  ConvertOptions unknown{firm.alias(), {}, true, false};
  unknown.collation = "utf8mb4_klingon_ci";
  ASSERT_EQ(db.run("DROP TABLE STEDER"), "");
  EXPECT_EQ(refusedBy(unknown, SqlAliasConnector(kSqlAliasMySQLweb)),
            "Ukjent sortering (collation) for utf8mb4: utf8mb4_klingon_ci. Serveren viser sine med: SHOW COLLATION "
            "LIKE 'utf8mb4%'");
  EXPECT_EQ(db.tables(), sql_test::Names());
}

// SIGTERM (as Ctrl-C) abandons the table under way, starts no other, and the summary and the
// exit code say so.
TEST_F(SqlConvertTest, ASigtermStopsTheRunCleanly) {
  makeTable("FORST", kNumberedFields, numberedRows(3));
  makeTable("SIST", kNumberedFields, numberedRows(3));
  int connections = 0;
  const auto alias = SqlAliasConnector(kSqlAliasMySQLweb);
  const TargetConnector target = [&] {
    auto connection = alias();
    if (++connections == 3) std::raise(SIGTERM);  // the first table's own connection
    return connection;
  };
  std::ostringstream out, err;
  const std::string log = settings.folder() + "k.log";
  const int code = RunConvertCommand({firm.alias(), {}, true, false}, target, false, {log, ""}, out, err);
  EXPECT_EQ(code, 128 + SIGTERM);
  for (const char* line : {"FORST: AVBRUTT: avbrutt\n", "SIST: AVBRUTT: ikke påbegynt: kjøringen ble avbrutt\n",
                           "0 av 2 tabeller konvertert\n",
                           "Avbrutt med SIGTERM: tabellen under arbeid er forlatt uendret på serveren, 1 tabeller ble "
                           "ikke påbegynt"}) {
    EXPECT_TRUE(contains(out.str(), line)) << line << "\n" << out.str();
  }
  EXPECT_EQ(connections, 3);
  EXPECT_EQ(db.tables(), sql_test::Names());
  std::ifstream in(log);
  const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(contains(logged, "avsluttet med kode 143")) << logged;
}
