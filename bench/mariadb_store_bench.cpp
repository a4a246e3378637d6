// The store's server back end on a 1,000,000-row table on the private MariaDB (TCP/IP, see
// scripts/mysql-local.sh start --port N) against the MariaDB C API doing the same SELECTs over
// a connection of its own: (a) open, RecordCount, Last (the dictionary, the kept row count,
// the first and the last row); (b) a filter on an indexed field keeping 1% of the rows, walked
// to the end. Also the resident memory of the cursor, and posts per second against single-row
// INSERT transactions. Both sides keep their connection: the store its session's, the C API
// its own, with the same TLS.
#include <mysql.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/BenchUtil.h"
#include "bench/StoreSteps.h"
#include "store/Aliases.h"
#include "store/ClientConfig.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/backends/StandardBackends.h"
#include "tests/support/TcpServer.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kGroups = 100;  // PROSJEKTNR takes 100 values: one keeps 1% of the rows
constexpr const char* kUsage =
    "Usage: mariadb_store_bench [--full] [FOLDER]\n"
    "The store's server back end against the MariaDB C API on a 1M-row table of the private\n"
    "MariaDB, which must listen on TCP (scripts/mysql-local.sh start --port N): open, 1% filter\n"
    "walk and posts. FOLDER holds the client settings (default var/bench); --full: more rounds.\n";
const char* kAlias = "BENCHSRV";
const char* kDatabase = "kvbench";
const char* kTable = "STOR";

std::vector<ff::FieldDef> benchFields() {
  return {{"NR", ff::FieldType::Integer},
          {"PROSJEKTNR", ff::FieldType::Float},
          {"NAVN", ff::FieldType::String, 30},
          {"BELOP", ff::FieldType::Float},
          {"DATO", ff::FieldType::DateTime}};
}

void generate() {
  auto& session = ff::TffSession::DefaultSession();
  session.CreateTable(kAlias, kTable, benchFields(), {{"PROSJEKTNR", {"PROSJEKTNR"}, 0}});
  auto storage = session.OpenTable(kAlias, kTable, {});
  storage->BeginBulk();
  for (int i = 0; i < kRows; ++i) {
    storage->Insert({ff::Value{std::int64_t{i}}, ff::Value{double(i % kGroups)},
                     ff::Value{"Rad nummer " + std::to_string(i)}, ff::Value{i * 1.25}, ff::Value{40000.0 + i % 3650}});
    if (i % 100000 == 99999) {
      storage->EndBulk();
      storage->BeginBulk();
    }
  }
  storage->EndBulk();
}

// The same server through the C API alone.
class CApi {
 public:
  explicit CApi(const server_test::TcpServer& server) : mysql_(mysql_init(nullptr)) {
    const unsigned tcp = MYSQL_PROTOCOL_TCP;
    mysql_optionsv(mysql_, MYSQL_OPT_PROTOCOL, &tcp);
    mysql_optionsv(mysql_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_ssl_set(mysql_, nullptr, nullptr, server.ca.c_str(), nullptr, nullptr);
    const my_bool enforce = 1;
    mysql_optionsv(mysql_, MYSQL_OPT_SSL_ENFORCE, &enforce);
    if (!mysql_real_connect(mysql_, "127.0.0.1", server.user.c_str(), server.password.c_str(), kDatabase,
                            static_cast<unsigned>(std::stoul(server.port)), nullptr, 0)) {
      std::fprintf(stderr, "C API: %s\n", mysql_error(mysql_));
      std::exit(1);
    }
  }
  ~CApi() { mysql_close(mysql_); }

  // Runs sql as one request, fetching every row unbuffered and reading the number in column
  // `col` of each; returns the rows.
  long rows(const std::string& sql, int col) {
    if (mysql_real_query(mysql_, sql.c_str(), sql.size()) != 0) fail();
    MYSQL_RES* result = mysql_use_result(mysql_);
    long n = 0;
    double sink = 0;
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
      sink += row[col] ? std::strtod(row[col], nullptr) : 0;
      ++n;
    }
    mysql_free_result(result);
    return sink < 0 ? -1 : n;
  }

  // Inserts count rows, each its own transaction, through one prepared INSERT.
  void insertEach(const std::string& table, long long first, int count) {
    const std::string sql = "INSERT INTO " + table + " (c0) VALUES (?)";
    MYSQL_STMT* s = mysql_stmt_init(mysql_);
    mysql_stmt_prepare(s, sql.c_str(), sql.size());
    long long nr = first;
    MYSQL_BIND in{};
    in.buffer_type = MYSQL_TYPE_LONGLONG;
    in.buffer = &nr;
    mysql_stmt_bind_param(s, &in);
    for (int i = 0; i < count; ++i, ++nr) {
      if (mysql_stmt_execute(s) != 0) fail();
    }
    mysql_stmt_close(s);
  }

  [[noreturn]] void fail() {
    std::fprintf(stderr, "C API: %s\n", mysql_error(mysql_));
    std::exit(1);
  }

  MYSQL* mysql_;
};

void openBenchTable(ff::TffTable& t, const char* name = kTable) {
  t.SetDatabaseName(kAlias);
  t.SetTableName(name);
  t.Open();
}

// The id of a table in the dictionary.
std::string tableId(CApi& api, const char* table) {
  const std::string sql = std::string("SELECT id FROM _ff_tables WHERE name_key = LOWER('") + table + "')";
  if (mysql_query(api.mysql_, sql.c_str()) != 0) api.fail();
  MYSQL_RES* r = mysql_store_result(api.mysql_);
  MYSQL_ROW row = r ? mysql_fetch_row(r) : nullptr;
  const std::string id = row ? row[0] : "0";
  if (r) mysql_free_result(r);
  return id;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parseArgs(argc, argv, kUsage);
  const int openRounds = args.full ? 201 : 51, postCount = args.full ? 2000 : 300;
  ff::RegisterStandardBackends();
  const std::string root = args.at(0, "var/bench");
  const auto server = server_test::FindTcpServer();
  if (!server) {
    std::fprintf(stderr, "the private MariaDB has no TCP port: scripts/mysql-local.sh start --port N\n");
    return 1;
  }
  setenv("FF_CONFIG_DIR", (root + "/server-config").c_str(), 1);
  ff::FFClientConfigWriteServerLogin(server->user, server->password);
  ff::FFClientConfigWriteServerTls({server->ca, {}, {}});
  ff::AddServerAlias(kAlias, {server->serverName(), kDatabase});
  // In a child, so that this process's own connection is made afresh after it: a TLS session
  // used by two processes breaks.
  bench::generateInChild([&] {
    std::vector<std::string> names;
    ff::TffSession::DefaultSession().GetTableNames(kAlias, kTable, false, false, names);
    if (!names.empty()) return;
    std::printf("generating %d rows in %s on %s ...\n", kRows, kDatabase, server->serverName().c_str());
    generate();
  });
  CApi api(*server);
  const std::string id = tableId(api, kTable);
  const std::string rows = "t" + id;
  const int rounds = args.full ? 5 : 3;

  // Each open takes well under a millisecond: many rounds even out the shared machine.
  const bench::StoreStepFigures figures = bench::measureStoreSteps(
      openRounds, rounds, [](ff::TffTable& t) { openBenchTable(t); },
      [&] {
        api.rows("SELECT id, ready FROM _ff_tables WHERE name_key = 'stor'", 0);
        api.rows("SELECT name, type, size, required FROM _ff_fields WHERE tbl = " + id + " ORDER BY pos", 2);
        api.rows("SELECT name, fields, options FROM _ff_indexes WHERE tbl = " + id + " ORDER BY pos", 2);
        api.rows("SELECT _ff_id, c0, c1, c2, c3, c4 FROM " + rows + " ORDER BY _ff_id LIMIT 1", 1);
        api.rows("SELECT row_count FROM _ff_tables WHERE id = " + id, 0);
        api.rows("SELECT _ff_id, c0, c1, c2, c3, c4 FROM " + rows + " ORDER BY _ff_id DESC LIMIT 1", 1);
      },
      [&] { return api.rows("SELECT _ff_id, c0, c1, c2, c3, c4 FROM " + rows + " WHERE c1 = 42 ORDER BY _ff_id", 4); });

  auto& session = ff::TffSession::DefaultSession();
  session.DropTable(kAlias, "POSTER");
  session.CreateTable(kAlias, "POSTER", benchFields(), {});
  const std::string posts = "t" + tableId(api, "POSTER");
  long long next = 0;
  auto [postStore, postBase] = bench::compare(
      3,
      [&] {
        ff::TffTable t;
        openBenchTable(t, "POSTER");
        for (int i = 0; i < postCount; ++i) {
          t.Append();
          t.FieldByName("NR").SetAsInteger(++next);
          t.Post();
        }
      },
      [&] {
        api.insertEach(posts, next + 1, postCount);
        next += postCount;
      });

  bench::reportStoreSteps(figures, "C API", 1.3);
  bench::report("server: post one row (durable), 1M", postStore / postCount, postBase / postCount, 1.3);
  return 0;
}
