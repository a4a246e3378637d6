// The SQL client's connection on the private MariaDB: error kinds, timeouts, streamed rows,
// several statements per request, LOAD DATA LOCAL from memory, nested transactions.
#include "sql/SqlConnection.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "sql/SqlStatement.h"
#include "support/FrozenServer.h"
#include "support/ShortTimeouts.h"
#include "support/SqlClientTestSupport.h"

using namespace sql;
using server_test::FrozenServer;
using server_test::ShortTimeouts;

namespace {

class SqlConnectionTest : public sql_client_test::ServerTest {
 protected:
  // Seconds f took.
  template <class F>
  static double secondsOf(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  // A LOAD DATA LOCAL source handing out `data` in pieces of at most 3 bytes.
  static SqlConnection::DataSource piecesOf(const std::string& data) {
    return [data, at = std::size_t{0}](char* buffer, std::size_t size) mutable {
      const std::size_t n = std::min({size, std::size_t{3}, data.size() - at});
      std::memcpy(buffer, data.data() + at, n);
      at += n;
      return n;
    };
  }
};

TEST_F(SqlConnectionTest, ServerErrorsHaveTheirKind) {
  db->Execute("CREATE TABLE k (id INT PRIMARY KEY)");
  db->Execute("INSERT INTO k VALUES (1)");
  EXPECT_EQ(kindOf([&] { db->Execute("INSERT INTO k VALUES (1)"); }), SqlErrorKind::DuplicateKey);
  EXPECT_EQ(kindOf([&] { db->Execute("SELECT * FROM finnes_ikke"); }), SqlErrorKind::NotFound);
  EXPECT_EQ(kindOf([&] { db->Execute("SELEKT 1"); }), SqlErrorKind::Other);
  SqlEndpoint missing = endpoint;
  missing.database = "finnes_ikke_heller";
  EXPECT_EQ(kindOf([&] { SqlConnection{missing}; }), SqlErrorKind::NotFound);
  SqlEndpoint wrong = endpoint;
  wrong.password += "x";
  EXPECT_EQ(kindOf([&] { SqlConnection{wrong}; }), SqlErrorKind::Refused);
  try {
    db->Execute("INSERT INTO k VALUES (1)");
  } catch (const SqlError& e) {
    EXPECT_NE(e.ServerText().find("Duplicate entry"), std::string::npos) << e.ServerText();
    EXPECT_EQ(e.what(), e.ServerText()) << "the server's own text";
    EXPECT_EQ(e.Described(), "Nøkkelbrudd: " + e.ServerText());
  }
}

TEST_F(SqlConnectionTest, AKilledConnectionIsLostAndStaysLost) {
  const std::string id = scalar("SELECT CONNECTION_ID()");
  SqlConnection(endpoint).Execute("KILL CONNECTION " + id);
  EXPECT_EQ(kindOf([&] { db->Execute("SELECT 1"); }), SqlErrorKind::Lost);
  EXPECT_TRUE(db->Lost());
  try {
    db->Prepare("SELECT 1");
    FAIL() << "a lost connection ran a statement";
  } catch (const SqlError& e) {
    EXPECT_EQ(e.Kind(), SqlErrorKind::Lost);
    EXPECT_EQ(e.Described(), "Forbindelsen til serveren " + endpoint.name + " er brutt");
  }
}

TEST_F(SqlConnectionTest, AConnectionTheServerEndedIsSeenAsDroppedBeforeAnyCall) {
  EXPECT_EQ(scalar("SELECT 1"), "1");
  EXPECT_FALSE(db->Dropped()) << "a live connection over TLS";
  EXPECT_FALSE(db->Lost());
  const std::string id = scalar("SELECT CONNECTION_ID()");
  SqlConnection other(endpoint);
  other.Execute("KILL CONNECTION " + id);
  const std::string gone = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + id;
  for (int i = 0; i < 200 && other.FirstResultSet(gone)->rows.at(0).at(0) != "0"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(db->Dropped());
  EXPECT_TRUE(db->Lost()) << "marked lost";
  EXPECT_FALSE(other.Dropped());
}

TEST_F(SqlConnectionTest, AServerThatStopsAnsweringIsLostWithinTheAnswerTimeout) {
  SqlEndpoint impatient = endpoint;
  impatient.answerSeconds = 1;
  SqlConnection connection(impatient);
  const double seconds = secondsOf([&] {
    EXPECT_EQ(kindOf([&] { connection.Execute("SELECT SLEEP(20)"); }), SqlErrorKind::Lost);
  });
  EXPECT_LT(seconds, 10);
}

TEST_F(SqlConnectionTest, AFrozenServerIsReportedAsSilentWithinTheTimeouts) {
  const ShortTimeouts timeouts("2");
  SqlConnection connection(endpoint);
  double seconds = 0;
  {
    const FrozenServer frozen;
    ASSERT_TRUE(frozen.stopped()) << "the private server's pid file";
    seconds += secondsOf([&] {
      try {
        connection.Execute("SELECT 1");
        ADD_FAILURE() << "a frozen server answered";
      } catch (const SqlError& e) {
        EXPECT_EQ(e.Kind(), SqlErrorKind::Lost);
        EXPECT_EQ(e.Doing(), "Forbindelsen til serveren " + endpoint.name + " er brutt: serveren svarte ikke på 2 sekunder");
      }
    });
    seconds += secondsOf([&] {
      try {
        SqlConnection{endpoint};
        ADD_FAILURE() << "connected to a frozen server";
      } catch (const SqlError& e) {
        EXPECT_EQ(e.Kind(), SqlErrorKind::Refused);
        EXPECT_EQ(e.Doing(), "Serveren " + endpoint.name + " svarer ikke (ventet 2 sekunder)");
      }
    });
  }
  RecordProperty("frozen_seconds", std::to_string(seconds));
  EXPECT_TRUE(connection.Lost());
  EXPECT_EQ(scalar("SELECT 1"), "1") << "the server answers again once it runs";
}

TEST_F(SqlConnectionTest, ASilentServerIsRefusedWithinTheTimeouts) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(listener, 1), 0);  // the kernel accepts; nobody ever answers
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  SqlEndpoint silent;
  silent.name = "stille";
  silent.host = "127.0.0.1";
  silent.port = ntohs(address.sin_port);
  silent.connectSeconds = 1;
  silent.answerSeconds = 1;
  const double seconds = secondsOf([&] { EXPECT_EQ(kindOf([&] { SqlConnection{silent}; }), SqlErrorKind::Refused); });
  ::close(listener);
  EXPECT_LT(seconds, 10);
}

TEST_F(SqlConnectionTest, RowsAreStreamedAndWhatTheHandlerThrowsComesAfterThem) {
  db->Execute("CREATE TABLE r (n INT, t VARCHAR(5)); INSERT INTO r VALUES (1, 'en'), (2, NULL), (3, 'tre')");
  std::string seen;
  db->ForEachRow("SELECT n, t FROM r ORDER BY n", [&](const char* const* values, const unsigned long* lengths) {
    seen += std::string(values[0], lengths[0]) + "=" + (values[1] ? values[1] : "NULL") + ";";
  });
  EXPECT_EQ(seen, "1=en;2=NULL;3=tre;");
  EXPECT_THROW(db->ForEachRow("SELECT n FROM r", [](const char* const*, const unsigned long*) { throw 7; }), int);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM r"), "3") << "the connection is usable after it";
  EXPECT_TRUE(db->TableExists("r"));
  EXPECT_FALSE(db->TableExists("R'x"));
}

TEST_F(SqlConnectionTest, ATextOfSeveralStatementsRunsUpToTheFailingOne) {
  const auto first = db->FirstResultSet("CREATE TABLE a (x INT); INSERT INTO a VALUES (5); SELECT 1");
  EXPECT_FALSE(first.has_value()) << "the first statement gives no rows";
  const auto rows = db->FirstResultSet("SELECT x AS verdi, NULL AS ingen FROM a; SELECT 2");
  ASSERT_TRUE(rows.has_value());
  EXPECT_EQ(rows->columns, (std::vector<std::string>{"verdi", "ingen"}));
  EXPECT_EQ(rows->rows.at(0).at(0), "5");
  EXPECT_FALSE(rows->rows.at(0).at(1).has_value());
  EXPECT_EQ(kindOf([&] { db->Execute("INSERT INTO a VALUES (6); SELEKT; INSERT INTO a VALUES (7)"); }),
            SqlErrorKind::Other);
  EXPECT_EQ(scalar("SELECT GROUP_CONCAT(x ORDER BY x) FROM a"), "5,6");
  EXPECT_EQ(db->Literal("O'Neil\\"), "'O\\'Neil\\\\'");
}

TEST_F(SqlConnectionTest, AStatementTellsTheRowsItChangedAndTheKeyItMade) {
  db->Execute("CREATE TABLE k (id INT AUTO_INCREMENT PRIMARY KEY, n INT)");
  db->Execute("INSERT INTO k (n) VALUES (1), (2), (3)");
  EXPECT_EQ(db->AffectedRows(), 3u);
  db->Execute("INSERT INTO k (n) VALUES (4)");
  EXPECT_EQ(db->InsertId(), 4u);
  const auto written = db->Write("UPDATE k SET n = n + 1 WHERE id < ?", {std::int64_t{3}});
  EXPECT_EQ(written.changed, 2u);
}

TEST_F(SqlConnectionTest, AWriteAndItsFollowerInOneRequestCommitTogetherOrNotAtAll) {
  db->Execute("CREATE TABLE k (id INT AUTO_INCREMENT PRIMARY KEY, n INT UNIQUE) ENGINE=InnoDB");
  db->Execute("CREATE TABLE c (id INT PRIMARY KEY, rows_kept INT) ENGINE=InnoDB");
  db->Execute("INSERT INTO c VALUES (1, 0)");
  const std::string insert = "INSERT INTO k (n) VALUES (?)";
  const std::string count = "UPDATE c SET rows_kept = rows_kept + 1 WHERE id = 1";
  EXPECT_EQ(db->InsertInOneRequest(insert, {std::int64_t{7}}, count), 1u);
  EXPECT_EQ(SqlConnection(endpoint).FirstResultSet("SELECT rows_kept FROM c")->rows[0][0], "1") << "committed";
  EXPECT_EQ(db->InsertInOneRequest(insert, {std::int64_t{8}}, count), 2u);
  db->Execute("SET SESSION session_track_system_variables = ''");
  EXPECT_EQ(db->InsertInOneRequest(insert, {std::int64_t{12}}, count), 3u) << "without tracking the key is asked for";
  db->Execute("DELETE FROM k WHERE n IN (8, 12)");
  db->Execute("UPDATE c SET rows_kept = 1");

  EXPECT_EQ(kindOf([&] { db->InsertInOneRequest(insert, {std::int64_t{7}}, count); }), SqlErrorKind::DuplicateKey);
  EXPECT_EQ(kindOf([&] { db->InsertInOneRequest(insert, {std::int64_t{9}}, "UPDATE finnes_ikke SET x = 1"); }),
            SqlErrorKind::NotFound);
  const std::string outOfRange = "UPDATE c SET rows_kept = rows_kept + 4000000000 WHERE id = 1";
  EXPECT_EQ(kindOf([&] { db->InsertInOneRequest(insert, {std::int64_t{10}}, outOfRange); }), SqlErrorKind::Other)
      << "fails once the insert has run";
  EXPECT_EQ(db->TransactionDepth(), 0);
  EXPECT_EQ(scalar("SELECT @@in_transaction"), "0");
  EXPECT_EQ(scalar("SELECT CONCAT(COUNT(*), '/', (SELECT rows_kept FROM c)) FROM k"), "1/1")
      << "a failure at either statement writes neither, and leaves no transaction open";

  db->BeginTransaction();
  db->InsertInOneRequest(insert, {std::int64_t{11}}, count);
  EXPECT_EQ(SqlConnection(endpoint).FirstResultSet("SELECT COUNT(*) FROM k")->rows[0][0], "1")
      << "inside an open transaction both wait for its commit";
  db->RollbackTransaction();
  EXPECT_EQ(scalar("SELECT CONCAT(COUNT(*), '/', (SELECT rows_kept FROM c)) FROM k"), "1/1");
}

TEST_F(SqlConnectionTest, LoadDataLocalTakesItsRowsFromTheCallback) {
  db->Execute("CREATE TABLE l (n INT, t VARCHAR(10))");
  const std::string sql = "LOAD DATA LOCAL INFILE 'minne' INTO TABLE l CHARACTER SET utf8mb4";
  EXPECT_EQ(db->LoadLocal(sql, piecesOf("1\tÅs\n2\t\\N\n3\tdal\n")), 3u);
  EXPECT_EQ(scalar("SELECT GROUP_CONCAT(n, '=', IFNULL(t, '-') ORDER BY n) FROM l"), "1=Ås,2=-,3=dal");
  struct Stopped {};
  const auto failing = [](char*, std::size_t) -> std::size_t { throw Stopped{}; };
  EXPECT_THROW(db->LoadLocal(sql, failing), Stopped);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM l"), "3") << "the connection is usable after it";
  EXPECT_THROW(db->LoadLocal(sql, piecesOf("x\ty\n")), SqlError) << "warnings refuse the load";
  EXPECT_EQ(kindOf([&] { db->Execute("LOAD DATA LOCAL INFILE '/etc/passwd' INTO TABLE l"); }), SqlErrorKind::Other)
      << "no file of this machine goes to the server";
}

TEST_F(SqlConnectionTest, NestedTransactionsCommitOnceAndRollBackWhole) {
  db->Execute("CREATE TABLE t (n INT) ENGINE=InnoDB");
  const auto insert = [&](int n) { db->Write("INSERT INTO t VALUES (?)", {std::int64_t{n}}); };
  db->InTransaction([&] {
    insert(1);
    db->InTransaction([&] { insert(2); });
    EXPECT_EQ(db->TransactionDepth(), 1);
  });
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM t"), "2");
  struct Failed {};
  EXPECT_THROW(db->InTransaction([&] {
    insert(3);
    db->InTransaction([&] { throw Failed{}; });
  }),
               Failed);
  EXPECT_EQ(db->TransactionDepth(), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM t"), "2") << "the outer transaction rolled back whole";
  db->BeginTransaction();
  insert(4);
  db->BeginTransaction();
  db->CommitTransaction();
  EXPECT_EQ(SqlConnection(endpoint).FirstResultSet("SELECT COUNT(*) FROM t")->rows[0][0], "2")
      << "nothing is seen before the outermost commit";
  db->CommitTransaction();
  EXPECT_EQ(SqlConnection(endpoint).FirstResultSet("SELECT COUNT(*) FROM t")->rows[0][0], "3");
}

TEST_F(SqlConnectionTest, ARolledBackLoadUndoesItsRowsAndTheNextWritesCommitOnTheirOwn) {
  db->Execute("CREATE TABLE b (n INT) ENGINE=InnoDB");
  const auto insert = [&](int n) { db->Write("INSERT INTO b VALUES (?)", {std::int64_t{n}}); };
  const auto seenByOthers = [&] { return SqlConnection(endpoint).FirstResultSet("SELECT COUNT(*) FROM b")->rows[0][0]; };
  db->BeginTransaction();
  insert(1);
  db->BeginTransaction();
  insert(2);
  db->RollbackTransaction();
  EXPECT_EQ(db->TransactionDepth(), 1) << "an inner one leaves the outer one open";
  db->RollbackTransaction();
  EXPECT_EQ(db->TransactionDepth(), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM b"), "0") << "rolled back whole";
  db->RollbackTransaction();
  EXPECT_EQ(db->TransactionDepth(), 0) << "nothing to end";
  insert(3);
  EXPECT_EQ(seenByOthers(), "1") << "a write after it is a transaction of its own";
  db->BeginTransaction();
  insert(4);
  EXPECT_EQ(seenByOthers(), "1") << "and a new load is one transaction again";
  db->CommitTransaction();
  EXPECT_EQ(seenByOthers(), "2");
}

}  // namespace
