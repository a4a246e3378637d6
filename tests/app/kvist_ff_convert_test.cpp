// kvist-ff convert run as the real binary: the summary on standard output and the exit codes.
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>
#include <mysql.h>
#include <signal.h>

#include <cfloat>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>

#include "store/Field.h"
#include "store/Session.h"
#include "store/backends/StandardBackends.h"
#include "store/ff2/Ff2TableBuilder.h"
#include "support/SqlTestSupport.h"
#include "support/TempAlias.h"

namespace {

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

class ConvertCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_SERVER(db);
    sql_test::MakeToolFolders(settings);
    ASSERT_EQ(run({"create", "FIRMA", "PROSJEKT", "ID:Integer", "NAVN:String:20", "--index", "NAVN:NAVN"}).code, 0);
    ASSERT_EQ(run({"insert", "FIRMA", "PROSJEKT", "ID=1", "NAVN=Åsen"}).code, 0);
    ASSERT_EQ(run({"insert", "FIRMA", "PROSJEKT", "ID=2", "NAVN=Berg"}).code, 0);
  }

  // Starts kvist-ff with the firm's configuration and a data folder of the test's own.
  void start(QProcess& p, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FF_CONFIG_DIR", QString::fromStdString(firm.root() + "/config"));
    env.insert("XDG_DATA_HOME", QString::fromStdString(settings.folder() + "data"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(settings.folder() + "work"));
    p.start(KV_BINARY_DIR "/kvist-ff", args);
  }

  // Starts kvist-ff, sends it `signal` once `underWay` holds, and waits for it to end. Fails
  // when the run ended before that or did not exit of itself.
  ToolRun stopWhen(const QStringList& args, const std::function<bool()>& underWay, int signal) {
    QProcess p;
    start(p, args);
    EXPECT_TRUE(p.waitForStarted());
    while (p.state() == QProcess::Running && !underWay()) p.waitForFinished(5);
    EXPECT_EQ(p.state(), QProcess::Running) << "the run ended before the test could stop it";
    ::kill(static_cast<pid_t>(p.processId()), signal);
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
  }

  ToolRun run(const QStringList& args, const std::string& input = "") {
    QProcess p;
    start(p, args);
    p.write(input.data(), static_cast<qint64>(input.size()));
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
  }

  sql_test::TempSettings settings;
  TempAlias firm{"FIRMA"};
  sql_test::PrivateDatabase db;
};

TEST_F(ConvertCommandTest, ConvertsWithASummaryAndExitCodeZero) {
  const ToolRun r = run({"convert", "FIRMA", "--to", "MySQLweb", "--quiet"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("Tabell"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2 av 2 rader like"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("PROSJEKT: tabellen har et felt som heter id, så nøkkelen heter kvist_id"), std::string::npos);
  EXPECT_NE(r.out.find("1 av 1 tabeller konvertert"), std::string::npos);
  EXPECT_EQ(db.columns("PROSJEKT"), (sql_test::Names{"kvist_id int(11)", "ID int(11)", "NAVN varchar(20)"}));

  const ToolRun unverified = run({"convert", "FIRMA", "--to", "MySQLweb", "prosjekt", "--no-verify"});
  EXPECT_EQ(unverified.code, 0) << unverified.err;
  EXPECT_NE(unverified.out.find("ikke kontrollert"), std::string::npos) << unverified.out;
}

TEST_F(ConvertCommandTest, BadInputGivesAClearMessageAndExitCodeTwo) {
  const auto refused = [&](const QStringList& args, const std::string& message) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  };
  refused({"convert", "INGEN", "--to", "MySQLweb"}, "Ukjent alias: INGEN");
  refused({"convert", "FIRMA", "--to", "MySQLweb", "BORTE"}, "Tabellen BORTE finnes ikke i alias FIRMA");
  refused({"convert", "FIRMA", "--to", "Ingenting"}, "Ukjent databasealias: Ingenting");
  refused({"convert", "FIRMA", "--to", "Ingenting"},
          "SQL-aliasene leses fra " + std::filesystem::weakly_canonical(settings.folder() + "etc/SQLALIAS.INI").string() +
              ", og der er det ingen seksjon [Ingenting]. Legg den til med: kvist-ff sql-alias add Ingenting");
  refused({"convert", "FIRMA", "--to", "MySQLweb", "--collation", "utf8mb4_klingon_ci"},
          "Ukjent sortering (collation) for utf8mb4: utf8mb4_klingon_ci");
  refused({"convert", "FIRMA"}, "mangler --to SQLALIAS");
  EXPECT_EQ(db.tables(), sql_test::Names());
}

TEST_F(ConvertCommandTest, ADamagedFileFailsAloneAndTheOthersStillConvert) {
  std::ofstream(firm.folder() + "SKADET.ff2", std::ios::binary) << std::string(4096, '\x46');
  const ToolRun r = run({"convert", "FIRMA", "--to", "MySQLweb", "SKADET", "PROSJEKT"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.out.find("SKADET: FEILET: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 av 2 tabeller konvertert"), std::string::npos) << r.out;
  EXPECT_EQ(db.tables(), sql_test::Names{"PROSJEKT"});
}

// Two files whose names differ only by case would both be the one table, the other's rows left
// behind: refused before anything is written, naming both files, with exit code 2.
TEST_F(ConvertCommandTest, FilesWhoseNamesDifferOnlyByCaseAreRefused) {
  ff2test::Ff2TableBuilder t({ff2test::field("NR", ff::ff2::FfType::Int32, 4)});
  t.addRecord({ff2test::le32(1)});
  const std::string table = t.build();
  std::ofstream(firm.folder() + "Vare.ff2", std::ios::binary) << table;
  std::ofstream(firm.folder() + "VARE.ff2", std::ios::binary) << table;
  for (const QStringList& args : {QStringList{"convert", "FIRMA", "--to", "MySQLweb"},
                                  QStringList{"convert", "FIRMA", "--to", "MySQLweb", "vare"}}) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.code, 2) << r.out << r.err;
    EXPECT_NE(r.err.find("Filene VARE.ff2 og Vare.ff2 i alias FIRMA har navn som bare skiller seg i store og små "
                         "bokstaver"),
              std::string::npos)
        << r.err;
  }
  EXPECT_EQ(db.tables(), sql_test::Names());

  std::filesystem::remove(firm.folder() + "Vare.ff2");
  std::filesystem::remove(firm.folder() + "VARE.ff2");
  std::filesystem::copy_file(firm.folder() + "PROSJEKT.ffdb", firm.folder() + "Prosjekt.ffdb");
  const ToolRun stores = run({"convert", "FIRMA", "--to", "MySQLweb", "PROSJEKT"});
  EXPECT_EQ(stores.code, 2) << stores.out << stores.err;
  EXPECT_NE(stores.err.find("Filene PROSJEKT.ffdb og Prosjekt.ffdb i alias FIRMA"), std::string::npos) << stores.err;
  EXPECT_EQ(db.tables(), sql_test::Names());
}

// A first run: the SQL alias is made with the tool (the password from standard input, the file
// private), then the firm converts through it.
TEST_F(ConvertCommandTest, AnSqlAliasMadeWithTheToolConvertsTheFirm) {
  const SqlAliasSettings server = PrivateServerAlias();
  const QStringList add{"sql-alias", "add", "Firmaet", "--socket", QString::fromStdString(server.socket),
                        "--database", QString::fromStdString(db.name()), "--user", QString::fromStdString(server.user)};
  const ToolRun made = run(add, "hemmelig\n");
  ASSERT_EQ(made.code, 0) << made.err;
  const std::string file = settings.folder() + "etc/SQLALIAS.INI";
  EXPECT_NE(made.out.find("SQL-aliaset Firmaet er lagret i"), std::string::npos) << made.out;
  EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::ifstream in(file);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("[Firmaet]"), std::string::npos) << text;
  EXPECT_NE(text.find("Password=hemmelig"), std::string::npos) << text;
  EXPECT_NE(text.find("Database=" + db.name()), std::string::npos) << text;

  const ToolRun again = run(add, "x\n");
  EXPECT_EQ(again.code, 2);
  EXPECT_NE(again.err.find("SQL-aliaset Firmaet finnes allerede i"), std::string::npos) << again.err;
  const ToolRun badName = run({"sql-alias", "add", "Fir[ma", "--host", "h", "--database", "d", "--user", "u"}, "x\n");
  EXPECT_EQ(badName.code, 2);
  EXPECT_NE(badName.err.find("Ugyldig navn på SQL-alias: \"Fir[ma\""), std::string::npos) << badName.err;
  const ToolRun both = run({"sql-alias", "add", "B", "--host", "h", "--socket", "s", "--database", "d", "--user", "u"});
  EXPECT_EQ(both.code, 2);
  EXPECT_NE(both.err.find("oppgi enten --host VERT eller --socket FIL"), std::string::npos) << both.err;
  const ToolRun help = run({"sql-alias", "--help"});
  EXPECT_NE(help.out.find("kvist-ff sql-alias add NAVN (--host VERT [--port PORT] | --socket FIL)"), std::string::npos)
      << help.out;

  // The private server knows the system user by the socket: the password is not asked for there.
  const ToolRun converted = run({"convert", "FIRMA", "--to", "Firmaet", "--quiet"});
  EXPECT_EQ(converted.code, 0) << converted.out << converted.err;
  EXPECT_EQ(db.tables(), sql_test::Names{"PROSJEKT"});
}

// --dry-run shows the plan and changes nothing on the server.
TEST_F(ConvertCommandTest, ADryRunPrintsThePlanAndMakesNoTable) {
  const ToolRun r = run({"convert", "FIRMA", "--to", "MySQLweb", "--dry-run"});
  EXPECT_EQ(r.code, 0) << r.err;
  for (const std::string line :
       {"Plan for FIRMA (sortering utf8mb4_danish_ci); ingenting er endret på serveren", "PROSJEKT (2 rader) blir tabellen PROSJEKT:",
        "  kvist_id             INT AUTO_INCREMENT PRIMARY KEY (tabellen har et felt som heter id, så nøkkelen heter kvist_id)",
        "  ID                   INT", "  NAVN                 VARCHAR(20)", "  indeks NAVN (NAVN)"}) {
    EXPECT_NE(r.out.find(line + "\n"), std::string::npos) << line << "\n" << r.out;
  }
  EXPECT_EQ(db.tables(), sql_test::Names());
}

// The log and the reject report: every date made NULL is listed with table, row, field, value
// and reason.
TEST_F(ConvertCommandTest, TheRejectReportListsEveryChangedValueAndTheLogTheRun) {
  ff2test::Ff2TableBuilder t({ff2test::field("NR", ff::ff2::FfType::Int32, 4),
                              ff2test::field("TID", ff::ff2::FfType::DateTime, 8)});
  t.addRecord({ff2test::le32(1), ff2test::f64(730000.0)});  // in 1999
  t.addRecord({ff2test::le32(2), ff2test::f64(1.0)});       // 01.01.0001
  t.addRecord({ff2test::le32(3), ff2test::f64(400.5)});     // in year 2
  std::ofstream(firm.folder() + "TIDER.ff2", std::ios::binary) << t.build();
  const std::string log = settings.folder() + "kjoring.log", rejects = settings.folder() + "avvist.tsv";
  const ToolRun r = run({"convert", "FIRMA", "TIDER", "--to", "MySQLweb", "--lossy-dates", "--log",
                         QString::fromStdString(log), "--reject-report", QString::fromStdString(rejects)});
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("2 verdier ble avvist eller gjort NULL; alle står i " + rejects), std::string::npos) << r.out;
  std::ifstream report(rejects);
  std::vector<std::string> lines;
  for (std::string line; std::getline(report, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "tabell\trad\tfelt\tverdi\tårsak\tutfall");
  EXPECT_EQ(lines[1].rfind("TIDER\t2\tTID\t01.01.1 00:00:00.000 (", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find("\ter ingen dato mellom år 1000 og 9999\tgjort NULL"), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2].rfind("TIDER\t3\tTID\t", 0), 0u) << lines[2];
  std::ifstream in(log);
  const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(logged.find("TIDER: konvertert, 3 rader"), std::string::npos) << logged;
  EXPECT_NE(logged.find("1 av 1 tabeller konvertert"), std::string::npos) << logged;
  EXPECT_NE(logged.find("avsluttet med kode 0"), std::string::npos) << logged;

  // By default the log goes into the data folder and the report beside it.
  const ToolRun byDefault = run({"convert", "FIRMA", "TIDER", "--to", "MySQLweb", "--lossy-dates"});
  EXPECT_EQ(byDefault.code, 0) << byDefault.err;
  const auto logLine = byDefault.out.find("Logg: " + settings.folder() + "data/kvistmerket/logg/konvertering-");
  ASSERT_NE(logLine, std::string::npos) << byDefault.out;
  const std::string defaultLog = byDefault.out.substr(logLine + 6, byDefault.out.find('\n', logLine) - logLine - 6);
  EXPECT_TRUE(std::filesystem::exists(defaultLog)) << defaultLog;
  EXPECT_TRUE(std::filesystem::exists(defaultLog.substr(0, defaultLog.size() - 4) + "-avvist.tsv")) << defaultLog;
}

// SIGTERM to the running tool, one table at a time: the table under way is abandoned with its
// staging table dropped, the next is not started, a summary is printed and the exit code is 128 + 15.
TEST_F(ConvertCommandTest, SigtermStopsTheRunCleanly) {
  ff2test::Ff2TableBuilder big({ff2test::field("NR", ff::ff2::FfType::Int32, 4),
                                ff2test::field("TALL", ff::ff2::FfType::Double, 8)});
  for (std::uint32_t i = 0; i < 400000; ++i) big.addRecord({ff2test::le32(i), ff2test::f64(i * 0.5)});
  std::ofstream(firm.folder() + "A_STOR.ff2", std::ios::binary) << big.build();
  // Stopped while its staging table is on the server, however long that takes to show.
  const ToolRun stopped = stopWhen({"convert", "FIRMA", "A_STOR", "PROSJEKT", "--to", "MySQLweb", "--jobs", "1"},
                                   [&] { return db.tables() == sql_test::Names{"kvist_ny_A_STOR"}; }, SIGTERM);
  const std::string& out = stopped.out;
  EXPECT_EQ(stopped.code, 128 + 15) << out << stopped.err;
  EXPECT_NE(out.find("A_STOR: AVBRUTT: avbrutt"), std::string::npos) << out;
  EXPECT_NE(out.find("PROSJEKT: AVBRUTT: ikke påbegynt"), std::string::npos) << out;
  EXPECT_NE(out.find("Avbrutt med SIGTERM"), std::string::npos) << out;
  EXPECT_EQ(db.tables(), sql_test::Names());
}

// The rows of a query as the server sends them, read with the plain client library (not the
// tool's own connection or verifier): each cell as text, or "NULL".
std::vector<std::vector<std::string>> serverRows(const std::string& database, const std::string& query) {
  const SqlAliasSettings server = PrivateServerAlias();
  MYSQL* conn = mysql_init(nullptr);
  mysql_options(conn, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  std::vector<std::vector<std::string>> rows;
  if (!mysql_real_connect(conn, server.host.empty() ? nullptr : server.host.c_str(), server.user.c_str(),
                          server.password.c_str(), database.c_str(), static_cast<unsigned>(server.port),
                          server.socket.empty() ? nullptr : server.socket.c_str(), 0) ||
      mysql_query(conn, query.c_str()) != 0) {
    ADD_FAILURE() << mysql_error(conn);
    mysql_close(conn);
    return rows;
  }
  MYSQL_RES* result = mysql_store_result(conn);
  const unsigned columns = mysql_num_fields(result);
  while (MYSQL_ROW row = mysql_fetch_row(result)) {
    const unsigned long* lengths = mysql_fetch_lengths(result);
    std::vector<std::string> cells;
    for (unsigned i = 0; i < columns; ++i) cells.push_back(row[i] ? std::string(row[i], lengths[i]) : "NULL");
    rows.push_back(cells);
  }
  mysql_free_result(result);
  mysql_close(conn);
  return rows;
}

double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// Every field type at the limits of its range goes from a .ff2 file through kvist-ff convert and
// reads back from the server as the literal values written into the file. A BLOB that is not
// NULL but names no BLOB arrives empty.
TEST_F(ConvertCommandTest, Ff2ValuesAtTheirLimitsArriveExactly) {
  using namespace ff2test;
  using ff::ff2::FfType;
  constexpr double kShift = 693594.0;  // Delphi date-time counts from 31 December of year 0
  Ff2TableBuilder t({field("Ja", FfType::Boolean, 1), field("B", FfType::Byte, 1), field("W16", FfType::Word16, 2),
                     field("W32", FfType::Word32, 4), field("I8", FfType::Int8, 1), field("I16", FfType::Int16, 2),
                     field("I32", FfType::Int32, 4), field("Auto", FfType::AutoInc, 4),
                     field("Kr", FfType::Currency, 8), field("Kr2", FfType::Currency, 8),
                     field("S", FfType::Single, 4), field("D", FfType::Double, 8), field("D2", FfType::Double, 8),
                     field("Dag", FfType::StDate, 4), field("Kl", FfType::StTime, 4),
                     field("Tid", FfType::DateTime, 8), field("Navn", FfType::ShortString, 11, 10),
                     field("Nul", FfType::NullString, 6, 5), field("Tegn", FfType::Char, 1, 1),
                     field("Byt", FfType::ByteArray, 3, 3), field("Notat", FfType::BlobMemo, 8),
                     field("Data", FfType::Blob, 8), field("Stor", FfType::Comp, 8)});
  std::string large;
  for (int i = 0; i < 9000; ++i) large += static_cast<char>(i * 13 % 256);
  const std::uint64_t memo = t.addBlob("\xD8l\r\n\x80\t\\");
  const std::uint64_t data = t.addBlob(large, 2000, 3);
  const double lastMoment = ff::encodeDate(9999, 12, 31) + 86399999.0 / 86400000.0 + kShift;
  t.addRecord({"\x01", "\xFF", le16(65535), le32(4294967295u), "\x80", le16(0x8000), le32(0x80000000u),
               le32(4294967295u), le64(0x7FFFFFFFFFFFFFFFull), le64(0x8000000000000000ull), f32(FLT_MAX),
               f64(DBL_MAX), f64(std::numeric_limits<double>::denorm_min()), le32(0), le32(86399), f64(lastMoment),
               "\x0A\xC6\xD8\xC5\xE6\xF8\xE5\x80\x8A\x9F\xFF", std::string("\xE6\xF8\xE5\x80\xFF\0", 6), "\xFF",
               std::string("\0\xFF\x80", 3), le64(memo), le64(data), le64(0x7FFFFFFFFFFFFFFFull)});
  t.addRecord({"\x00", "\x00", le16(0), le32(4294967280u), "\x7F", le16(0x7FFF), le32(0x7FFFFFFFu), le32(1),
               le64(9007199254740993ull), le64(0xFFFFFFFFFFFFFFFFull), f32(std::numeric_limits<float>::denorm_min()),
               f64(-DBL_MAX), f64(DBL_MIN), le32(876581), le32(0), f64(ff::encodeDate(1000, 1, 1) + kShift),
               std::string(1, '\0'), std::string(6, '\0'), std::string(1, '\0'), std::string(3, '\0'), le64(0), le64(0),
               le64(0x8000000000000001ull)});
  t.addRecord(RawRecord(23));
  std::ofstream(firm.folder() + "GRENSER.ff2", std::ios::binary) << t.build();

  const ToolRun r = run({"convert", "FIRMA", "--to", "MySQLweb", "GRENSER", "--quiet"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("3 av 3 rader like"), std::string::npos) << r.out;
  const auto rows = serverRows(
      db.name(), "SELECT Ja, B, W16, W32, I8, I16, I32, Auto, Kr, Kr2, Dag, Kl, Tid, Navn, Nul, Tegn, HEX(Byt), "
                 "Notat, LENGTH(Data), MD5(Data) = MD5(UNHEX('" + [&] {
                   static const char* digits = "0123456789ABCDEF";
                   std::string hex;
                   for (unsigned char c : large) hex += std::string{digits[c >> 4], digits[c & 15]};
                   return hex;
                 }() + "')), Stor, S, D, D2 FROM GRENSER ORDER BY id");
  ASSERT_EQ(rows.size(), 3u);
  const std::vector<std::string> firstExact = {"1", "255", "65535", "4294967295", "-128", "-32768", "-2147483648",
                                               "4294967295", "922337203685477.5807", "-922337203685477.5808",
                                               "1600-01-01", "23:59:59.000", "9999-12-31 23:59:59.999",
                                               "ÆØÅæøå€ŠŸÿ", "æøå€ÿ", "ÿ", "00FF80", "Øl\r\n€\t\\", "9000", "1",
                                               "9223372036854775807"};
  const std::vector<std::string> secondExact = {"0", "0", "0", "4294967280", "127", "32767", "2147483647", "1",
                                                "900719925474.0993", "-0.0001", "3999-12-31", "00:00:00.000",
                                                "1000-01-01 00:00:00.000", "", "", "", "000000", "", "0", "0",
                                                "-9223372036854775807"};
  for (std::size_t i = 0; i < firstExact.size(); ++i) {
    EXPECT_EQ(rows[0][i], firstExact[i]) << "column " << i;
    EXPECT_EQ(rows[1][i], secondExact[i]) << "column " << i;
  }
  // Doubles as the server writes them, read back to the same bits.
  EXPECT_EQ(number(rows[0][21]), static_cast<double>(FLT_MAX)) << rows[0][21];
  EXPECT_EQ(number(rows[0][22]), DBL_MAX) << rows[0][22];
  EXPECT_EQ(number(rows[0][23]), std::numeric_limits<double>::denorm_min()) << rows[0][23];
  EXPECT_EQ(number(rows[1][21]), static_cast<double>(std::numeric_limits<float>::denorm_min())) << rows[1][21];
  EXPECT_EQ(number(rows[1][22]), -DBL_MAX) << rows[1][22];
  EXPECT_EQ(number(rows[1][23]), DBL_MIN) << rows[1][23];
  EXPECT_EQ(rows[2], std::vector<std::string>(24, "NULL"));
}

// --- Several tables at once (--jobs). ---

using Rows = std::vector<std::vector<std::string>>;

// A store table of `count` rows with two indexes: NR is 1..count, TEKST is NULL on every
// seventh row, BELOP is NR / 2. Returns the rows as the server must show them after a
// conversion (the generated key first).
Rows makeStoreTable(const std::string& alias, const std::string& name, int count) {
  ff::RegisterStandardBackends();
  auto& session = ff::TffSession::DefaultSession();
  session.CreateTable(alias, name,
                      {{"NR", ff::FieldType::Integer}, {"TEKST", ff::FieldType::String, 30}, {"BELOP", ff::FieldType::Float}},
                      {{"TEKSTIX", {"TEKST"}, 0}, {"NRIX", {"NR"}, ff::ixDescending}});
  auto table = session.OpenTable(alias, name, {false, false});
  Rows expected;
  table->BeginBulk();
  for (int i = 1; i <= count; ++i) {
    const std::string text = "rad " + std::to_string(i) + " i " + name + " æøå";
    table->Insert({std::int64_t{i}, i % 7 ? ff::Value{text} : ff::Value{}, ff::Value{i * 0.5}});
    expected.push_back({std::to_string(i), std::to_string(i), i % 7 ? text : "NULL", std::to_string(i * 0.5)});
  }
  table->EndBulk();
  return expected;
}

// The server's rows of such a table, the double read back as a number and shown as expected.
Rows rowsOnServer(const std::string& database, const std::string& table) {
  Rows rows = serverRows(database, "SELECT id, NR, TEKST, BELOP FROM " + table + " ORDER BY id");
  for (auto& row : rows) row[3] = std::to_string(number(row[3]));
  return rows;
}

std::vector<std::string> indexesOnServer(const std::string& database, const std::string& table) {
  std::vector<std::string> indexes;
  for (const auto& row : serverRows(database, "SELECT INDEX_NAME, SEQ_IN_INDEX, COLUMN_NAME, COLLATION FROM "
                                              "information_schema.STATISTICS WHERE TABLE_SCHEMA = DATABASE() AND "
                                              "TABLE_NAME = '" + table + "' ORDER BY INDEX_NAME, SEQ_IN_INDEX")) {
    indexes.push_back(row[0] + " " + row[1] + " " + row[2] + " " + row[3]);
  }
  return indexes;
}

// Where each name stands in text, in the order given; npos for a name not found.
std::vector<std::size_t> positions(const std::string& text, const std::vector<std::string>& names) {
  std::vector<std::size_t> at;
  for (const auto& name : names) at.push_back(text.find("\n" + name + " "));
  return at;
}

class ConvertJobsTest : public ConvertCommandTest {
 protected:
  void SetUp() override {
    ConvertCommandTest::SetUp();
    if (IsSkipped()) return;
    // The largest first in the listing too: it starts first and is done last, yet is listed first.
    expected["A_STOR"] = makeStoreTable(firm.alias(), "A_STOR", 25000);
    expected["T_EN"] = makeStoreTable(firm.alias(), "T_EN", 3);
    expected["T_TOM"] = makeStoreTable(firm.alias(), "T_TOM", 0);
    expected["T_MIDT"] = makeStoreTable(firm.alias(), "T_MIDT", 700);
  }

  // Every table of `expected` on the server holds its source's rows and indexes.
  void expectSourceRows(const std::string& run) {
    for (const auto& [table, rows] : expected) {
      EXPECT_EQ(rowsOnServer(db.name(), table), rows) << table << " after " << run;
      EXPECT_EQ(indexesOnServer(db.name(), table),
                (std::vector<std::string>{"NRIX 1 NR D", "PRIMARY 1 id A", "TEKSTIX 1 TEKST A"}))
          << table << " after " << run;
    }
    EXPECT_EQ(serverRows(db.name(), "SELECT kvist_id, ID, NAVN FROM PROSJEKT ORDER BY kvist_id"),
              (Rows{{"1", "1", "Åsen"}, {"2", "2", "Berg"}}));
  }

  std::map<std::string, Rows> expected;
};

TEST_F(ConvertJobsTest, TablesConvertedOnThreeJobsArriveExactlyAsOnOne) {
  const ToolRun one = run({"convert", "FIRMA", "--to", "MySQLweb", "--jobs", "1"});
  ASSERT_EQ(one.code, 0) << one.out << one.err;
  expectSourceRows("--jobs 1");
  const ToolRun three = run({"convert", "FIRMA", "--to", "MySQLweb", "--jobs", "3"});
  ASSERT_EQ(three.code, 0) << three.out << three.err;
  EXPECT_NE(three.out.find("5 av 5 tabeller konvertert"), std::string::npos) << three.out;
  EXPECT_NE(three.out.find("25000 av 25000 rader like"), std::string::npos) << three.out;
  expectSourceRows("--jobs 3");
  EXPECT_EQ(db.tables(), (sql_test::Names{"A_STOR", "PROSJEKT", "T_EN", "T_MIDT", "T_TOM"}));
}

TEST_F(ConvertJobsTest, TheSummaryListsTablesInTheirOrderWhateverOrderTheyFinishedIn) {
  const ToolRun r = run({"convert", "FIRMA", "--to", "MySQLweb", "--jobs", "3"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  const auto at = positions(r.out, {"A_STOR", "PROSJEKT", "T_EN", "T_MIDT", "T_TOM"});
  for (std::size_t i = 0; i < at.size(); ++i) {
    ASSERT_NE(at[i], std::string::npos) << i << "\n" << r.out;
    if (i > 0) {
      EXPECT_LT(at[i - 1], at[i]) << r.out;
    }
  }
}

TEST_F(ConvertJobsTest, OneFailingTableDoesNotStopOrSpoilTheOthers) {
  ff2test::Ff2TableBuilder t({ff2test::field("NR", ff::ff2::FfType::Int32, 4),
                              ff2test::field("TID", ff::ff2::FfType::DateTime, 8)});
  t.addRecord({ff2test::le32(1), ff2test::f64(730000.0)});
  t.addRecord({ff2test::le32(2), ff2test::f64(1.0)});  // 01.01.0001: no MySQL date
  std::ofstream(firm.folder() + "T_FEIL.ff2", std::ios::binary) << t.build();
  const ToolRun r = run({"convert", "FIRMA", "--to", "MySQLweb", "--jobs", "3", "--quiet"});
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("T_FEIL: FEILET: rad 2, felt TID"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("5 av 6 tabeller konvertert"), std::string::npos) << r.out;
  expectSourceRows("a failed table");
  EXPECT_EQ(db.tables(), (sql_test::Names{"A_STOR", "PROSJEKT", "T_EN", "T_MIDT", "T_TOM"}));
}

// Two large tables of .ff2 rows: NR is 1..count.
void writeLargeTables(const std::string& folder, std::uint32_t count) {
  for (const char* name : {"A_STOR.ff2", "B_STOR.ff2"}) {
    ff2test::Ff2TableBuilder big({ff2test::field("NR", ff::ff2::FfType::Int32, 4),
                                  ff2test::field("TALL", ff::ff2::FfType::Double, 8)});
    for (std::uint32_t i = 1; i <= count; ++i) big.addRecord({ff2test::le32(i), ff2test::f64(i * 0.5)});
    std::ofstream(folder + name, std::ios::binary) << big.build();
  }
}

// SIGINT while several tables load: every table is whole, the old copy or the new one, and no
// work table is left.
TEST_F(ConvertCommandTest, SigintDuringAParallelRunLeavesEachTableOldOrNew) {
  makeStoreTable(firm.alias(), "T_EN", 3);
  writeLargeTables(firm.folder(), 1000);
  const QStringList args{"convert", "FIRMA", "--to", "MySQLweb", "--jobs", "3"};
  ASSERT_EQ(run(args).code, 0);
  constexpr std::uint32_t kNew = 300000;
  writeLargeTables(firm.folder(), kNew);
  const auto workTables = [&] {
    int n = 0;
    for (const auto& name : db.tables()) n += name.rfind("kvist_", 0) == 0;
    return n;
  };
  const ToolRun stopped = stopWhen(args, [&] { return workTables() >= 2; }, SIGINT);
  const std::string& out = stopped.out;
  EXPECT_EQ(stopped.code, 128 + 2) << out << stopped.err;
  EXPECT_NE(out.find("Avbrutt med Ctrl-C (SIGINT)"), std::string::npos) << out;
  EXPECT_NE(out.find("A_STOR: AVBRUTT"), std::string::npos) << out;
  EXPECT_EQ(db.tables(), (sql_test::Names{"A_STOR", "B_STOR", "PROSJEKT", "T_EN"}));
  for (const std::string table : {"A_STOR", "B_STOR"}) {
    // The old copy (1000 rows) or the new (kNew rows), each whole: NR numbers the rows.
    const auto sums = serverRows(db.name(), "SELECT COUNT(*), COUNT(DISTINCT NR), MIN(NR), MAX(NR), SUM(NR = id), "
                                            "SUM(TALL * 2 = NR) FROM " + table);
    ASSERT_EQ(sums.size(), 1u);
    const std::string n = sums[0][0];
    EXPECT_TRUE(n == "1000" || n == std::to_string(kNew)) << table << " has " << n << " rows";
    EXPECT_EQ(sums[0], (std::vector<std::string>{n, n, "1", n, n, n})) << table;
  }
}

}  // namespace
