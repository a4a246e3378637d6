// The SQLite back end where the disk says no: a read-only folder or mount, a full disk, a
// damaged file. Each case runs in a child process that makes the condition real (dropping root
// rights, a private read-only mount, a tiny tmpfs or a file-size limit) and reports back in one
// line, so the test process itself is never changed.
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/WriteGroup.h"
#include "support/TempAlias.h"

using namespace ff;

namespace {

constexpr const char* kSkip = "SKIP ";

// Runs body in a forked child and returns the line it reports ("SKIP why" when the child
// could not make its condition).
std::string inChild(const std::function<std::string()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    std::string line;
    try {
      line = body();
    } catch (const std::exception& e) {
      line = std::string("uncaught ") + e.what();
    }
    (void)!write(fds[1], line.data(), line.size());
    _exit(0);
  }
  close(fds[1]);
  std::string line;
  char buffer[512];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) line.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return line;
}

// A mount namespace of the child's own, so its mounts vanish with it. Non-root users get one
// through a user namespace.
bool privateMounts() {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWNS) != 0) {
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
  }
  return mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// Opens t on a table of alias; returns the store's message when that fails, else "".
std::string openError(TffTable& t, const std::string& alias, const std::string& table) {
  t.SetDatabaseName(alias);
  t.SetTableName(table);
  try {
    t.Open();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

// Opens the table, reads its rows, then tries a write: "rows=N write=<exception type>".
std::string readThenWrite(const std::string& alias) {
  TffTable t;
  if (const std::string error = openError(t, alias, "PROSJEKT"); !error.empty()) return "open failed: " + error;
  std::string names;
  for (t.First(); !t.Eof(); t.Next()) names += t.FieldByName("NAVN").AsString() + ";";
  std::string write = "none";
  try {
    t.Append();
    t.FieldByName("NAVN").SetAsString("ny");
    t.Post();
  } catch (const EReadOnly&) {
    write = "EReadOnly";
  } catch (const Error& e) {
    write = std::string("other: ") + e.what();
  }
  std::string create = "none";
  try {
    TffSession::DefaultSession().CreateTable(alias, "NY", {{"NAVN", FieldType::String, 10, false}}, {});
  } catch (const EReadOnly&) {
    create = "EReadOnly";
  } catch (const Error& e) {
    create = std::string("other: ") + e.what();
  }
  return "rows=" + names + " write=" + write + " create=" + create;
}

class SqliteStorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TffSession::DefaultSession().CreateTable(db.alias(), "PROSJEKT", {{"NAVN", FieldType::String, 200, false}}, {});
    TffTable t;
    t.SetDatabaseName(db.alias());
    t.SetTableName("PROSJEKT");
    t.Open();
    for (const char* navn : {"Bro", "Kai"}) {
      t.Append();
      t.FieldByName("NAVN").SetAsString(navn);
      t.Post();
    }
  }

  TempAlias db;
};

// Runs body in a child that may read the alias's folder but not write it: everyone may read,
// nobody but root may write, and root drops its rights in the child.
std::string inReadOnlyFolder(const TempAlias& db, const std::function<std::string()>& body) {
  std::filesystem::permissions(db.root(), std::filesystem::perms::all & ~std::filesystem::perms::others_write &
                                              ~std::filesystem::perms::group_write);
  std::filesystem::permissions(db.root() + "/config", std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                                          std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                                          std::filesystem::perms::others_exec);
  chmod(db.folder().c_str(), 0555);
  const std::string result = inChild([&] {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      return std::string(kSkip) + "cannot drop root rights";
    }
    return body();
  });
  chmod(db.folder().c_str(), 0755);
  return result;
}

TEST_F(SqliteStorageTest, TableInAReadOnlyFolderOpensForReadingAndRefusesWrites) {
  const std::string result = inReadOnlyFolder(db, [&] { return readThenWrite(db.alias()); });
  if (result.rfind(kSkip, 0) == 0) GTEST_SKIP() << result;
  EXPECT_EQ(result, "rows=Bro;Kai; write=EReadOnly create=EReadOnly");
}

TEST_F(SqliteStorageTest, TableOnAReadOnlyMountOpensForReadingAndRefusesWrites) {
  const std::string folder = db.folder();
  const std::string result = inChild([&] {
    if (!privateMounts()) return std::string(kSkip) + "no private mount namespace here";
    if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
      return std::string(kSkip) + "cannot mount read-only";
    }
    return readThenWrite(db.alias());
  });
  if (result.rfind(kSkip, 0) == 0) GTEST_SKIP() << result;
  EXPECT_EQ(result, "rows=Bro;Kai; write=EReadOnly create=EReadOnly");
}

// Posts rows until the disk says no: "<exception type>: <message> | rows kept=N of M".
std::string fillUntilFull(const std::string& alias) {
  TffTable t;
  t.SetDatabaseName(alias);
  t.SetTableName("FULL");
  std::string failure = "never full";
  int posted = 0;
  try {
    TffSession::DefaultSession().CreateTable(alias, "FULL", {{"NAVN", FieldType::Memo, 0, false}}, {});
    t.Open();
    for (; posted < 100000; ++posted) {
      t.Append();
      t.FieldByName("NAVN").SetAsString(std::string(4000, static_cast<char>('a' + posted % 26)));
      t.Post();
    }
  } catch (const EDiskFull& e) {
    failure = std::string("EDiskFull: ") + e.what();
  } catch (const Error& e) {
    failure = std::string("other: ") + e.what();
  }
  if (t.State() == DataSetState::Insert) t.Cancel();
  t.Close();
  TffTable again;
  if (const std::string error = openError(again, alias, "FULL"); !error.empty()) return failure + " | reopen failed: " + error;
  return failure + " | rows kept=" + std::to_string(again.RecordCount()) + " of " + std::to_string(posted);
}

void expectNoPostedRowLost(const std::string& result) {
  EXPECT_EQ(result.find("skadet"), std::string::npos) << result;
  const auto kept = result.find("rows kept=");
  ASSERT_NE(kept, std::string::npos) << result;
  const std::string counts = result.substr(kept + 10);
  EXPECT_EQ(counts.substr(0, counts.find(' ')), counts.substr(counts.rfind(' ') + 1)) << "every posted row stays";
}

TEST_F(SqliteStorageTest, FullDiskIsNamedAsSuchAndLosesNoPostedRow) {
  const std::string folder = db.folder();
  const std::string result = inChild([&] {
    if (!privateMounts()) return std::string(kSkip) + "no private mount namespace here";
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=256k") != 0) return std::string(kSkip) + "cannot mount tmpfs";
    return fillUntilFull(db.alias());
  });
  if (result.rfind(kSkip, 0) == 0) GTEST_SKIP() << result;
  EXPECT_EQ(result.rfind("EDiskFull: Disken er full ved skriving til " + folder, 0), 0u) << result;
  expectNoPostedRowLost(result);
}

// Where no mount can be made, a file-size limit stands in: a failed write, not damage.
TEST_F(SqliteStorageTest, FailedWriteIsNoDamageAndLosesNoPostedRow) {
  const std::string result = inChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{192 * 1024, 192 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    return fillUntilFull(db.alias());
  });
  EXPECT_NE(result.find("disken"), std::string::npos) << result;
  expectNoPostedRowLost(result);
}

TEST_F(SqliteStorageTest, OnlyDamageIsCalledDamage) {
  const std::string path = db.folder() + "PROSJEKT.ffdb";
  {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(0);
    f << "not a table file at all, just some text........................................";
  }
  TffTable t;
  const std::string error = openError(t, db.alias(), "PROSJEKT");
  EXPECT_NE(error.find("Tabellfilen er skadet"), std::string::npos) << error;
}

// A table closed here is opened again: what happened to it meanwhile, here or in another
// program, must show, and nothing of another program's must be lost.

// Opens the table, optionally exclusively, and returns its NAVN values joined by ";".
std::string namesIn(const std::string& alias, const std::string& table, bool exclusive = false) {
  TffTable t;
  t.SetExclusive(exclusive);
  if (const std::string error = openError(t, alias, table); !error.empty()) return "open failed: " + error;
  std::string names;
  for (t.First(); !t.Eof(); t.Next()) names += t.FieldByName("NAVN").AsString() + ";";
  return names;
}

void appendField(const std::string& alias, const std::string& table, const std::string& field, const std::string& value) {
  TffTable t;
  t.SetDatabaseName(alias);
  t.SetTableName(table);
  t.Open();
  t.Append();
  t.FieldByName(field).SetAsString(value);
  t.Post();
}

void appendName(const std::string& alias, const std::string& table, const std::string& name) {
  appendField(alias, table, "NAVN", name);
}

TEST_F(SqliteStorageTest, AClosedTableLetsAnotherProgramInAndShowsWhatItWrote) {
  ASSERT_EQ(namesIn(db.alias(), "PROSJEKT"), "Bro;Kai;");
  const std::string child = inChild([&] {
    TffTable t;
    t.SetExclusive(true);
    if (const std::string error = openError(t, db.alias(), "PROSJEKT"); !error.empty()) return error;
    t.Append();
    t.FieldByName("NAVN").SetAsString("Mur");
    t.Post();
    return std::string("ok");
  });
  EXPECT_EQ(child, "ok") << "the closed table must not stay locked";
  EXPECT_EQ(namesIn(db.alias(), "PROSJEKT"), "Bro;Kai;Mur;");
  EXPECT_EQ(namesIn(db.alias(), "PROSJEKT", true), "Bro;Kai;Mur;");
}

TEST_F(SqliteStorageTest, AClosedTableKeepsItsRowsInItsOwnFile) {
  appendName(db.alias(), "PROSJEKT", "Mur");
  // Read past the log, as a copy of the table file alone would be.
  sqlite3* raw = nullptr;
  const std::string uri = "file:" + db.folder() + "PROSJEKT.ffdb?immutable=1";
  ASSERT_EQ(sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr), SQLITE_OK);
  sqlite3_stmt* count = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT count(*) FROM rows", -1, &count, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(count, 0), 3);
  sqlite3_finalize(count);
  sqlite3_close(raw);
}

// Runs sql on a table file as another program would.
void runOnFile(const std::string& path, const std::string& sql) {
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
  sqlite3_close(raw);
}

// The first column of the first row of a query on a table file, as another program reads it.
std::string firstTextOf(const std::string& path, const char* query) {
  sqlite3* raw = nullptr;
  sqlite3_stmt* sql = nullptr;
  std::string text = "no row";
  if (sqlite3_open(path.c_str(), &raw) == SQLITE_OK && sqlite3_prepare_v2(raw, query, -1, &sql, nullptr) == SQLITE_OK &&
      sqlite3_step(sql) == SQLITE_ROW) {
    text = reinterpret_cast<const char*>(sqlite3_column_text(sql, 0));
  } else {
    text = sqlite3_errmsg(raw);
  }
  sqlite3_finalize(sql);
  sqlite3_close(raw);
  return text;
}

// A table whose case-insensitive index an earlier build made with SQLite's NOCASE (A–Z folded,
// then bytes: Å before Æ), as that build left it.
void makeNoCaseTable(const TempAlias& db) {
  TffSession::DefaultSession().CreateTable(db.alias(), "STED", {{"STED", FieldType::String, 40, false}},
                                           {{"STED", {"STED"}, ixCaseInsensitive}});
  for (const char* sted : {"Ørsta", "bergen", "Ålesund", "Ærø", "Arendal"}) appendField(db.alias(), "STED", "STED", sted);
  runOnFile(db.folder() + "STED.ffdb",
            "DROP INDEX ix0; ALTER TABLE rows DROP COLUMN _ff_k0; CREATE INDEX ix0 ON rows (c0 COLLATE NOCASE);"
            "UPDATE _ff_indexes SET options = 4");
}

std::string placesInOrder(const std::string& alias) {
  TffTable t;
  if (const std::string error = openError(t, alias, "STED"); !error.empty()) return "open failed: " + error;
  t.SetIndexName("STED");
  std::string places;
  for (t.First(); !t.Eof(); t.Next()) places += t.FieldByName("STED").AsString() + ";";
  return places;
}

TEST_F(SqliteStorageTest, ACaseInsensitiveIndexOfAnEarlierBuildIsMadeAgainInNorwegianOrder) {
  makeNoCaseTable(db);
  EXPECT_EQ(placesInOrder(db.alias()), "Arendal;bergen;Ærø;Ørsta;Ålesund;");
  appendField(db.alias(), "STED", "STED", "ØYER");
  EXPECT_EQ(placesInOrder(db.alias()), "Arendal;bergen;Ærø;Ørsta;ØYER;Ålesund;");
  // Another program, without the store's functions, finds the file sound.
  const std::string path = db.folder() + "STED.ffdb";
  EXPECT_EQ(firstTextOf(path, "SELECT sql FROM sqlite_schema WHERE name = 'ix0'"), "CREATE INDEX ix0 ON rows (_ff_k0)");
  EXPECT_EQ(firstTextOf(path, "PRAGMA integrity_check"), "ok");
}

TEST_F(SqliteStorageTest, AReadOnlyTableOfAnEarlierBuildIsReadInNorwegianOrder) {
  makeNoCaseTable(db);
  const std::string result = inReadOnlyFolder(db, [&] { return placesInOrder(db.alias()); });
  if (result.rfind(kSkip, 0) == 0) GTEST_SKIP() << result;
  EXPECT_EQ(result, "Arendal;bergen;Ærø;Ørsta;Ålesund;");
}

TEST_F(SqliteStorageTest, ATableOfAnEarlierBuildOpensAndWorksWithIdsAndVersions) {
  runOnFile(db.folder() + "PROSJEKT.ffdb",
            "DROP TRIGGER _ff_lastid_insert; DROP TABLE _ff_lastid; ALTER TABLE rows DROP COLUMN _ff_ver");
  TffTable t;
  ASSERT_EQ(openError(t, db.alias(), "PROSJEKT"), "");
  t.Last();
  const RowId gone = t.CurrentRowId();
  t.Delete();
  t.Append();
  t.FieldByName("NAVN").SetAsString("Mur");
  t.Post();
  EXPECT_GT(t.CurrentRowId(), gone);
  t.Edit();
  TffTable other;
  ASSERT_EQ(openError(other, db.alias(), "PROSJEKT"), "");
  other.Last();
  other.Edit();
  other.FieldByName("NAVN").SetAsString("Bru");
  other.Post();
  t.FieldByName("NAVN").SetAsString("Ny");
  EXPECT_THROW(t.Post(), ERowChanged);
  t.Cancel();
  t.Close();
  other.Close();
  EXPECT_EQ(namesIn(db.alias(), "PROSJEKT"), "Bro;Bru;");
}

TEST_F(SqliteStorageTest, ATableMadeAnewUnderTheSameNameIsOpenedAsItIs) {
  ASSERT_EQ(namesIn(db.alias(), "PROSJEKT"), "Bro;Kai;");
  auto& session = TffSession::DefaultSession();
  session.DropTable(db.alias(), "PROSJEKT");
  session.CreateTable(db.alias(), "PROSJEKT", {{"NR", FieldType::Integer, 0, false}, {"NAVN", FieldType::String, 20, false}}, {});
  TffTable t;
  ASSERT_EQ(openError(t, db.alias(), "PROSJEKT"), "");
  EXPECT_EQ(t.FieldCount(), 2);
  EXPECT_EQ(t.RecordCount(), 0);
  t.Close();
  // Written over in place, as a restored copy would be.
  const std::string path = db.folder() + "PROSJEKT.ffdb";
  {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "no table here";
  }
  EXPECT_NE(openError(t, db.alias(), "PROSJEKT").find("Tabellfilen er skadet"), std::string::npos);
}

// The connection this process kept for a table that another program then dropped and made
// anew must neither serve the old rows nor, when it closes, remove the new table's log.
TEST_F(SqliteStorageTest, AStaleConnectionLeavesTheLogOfTheNewTableAlone) {
  ASSERT_EQ(namesIn(db.alias(), "PROSJEKT"), "Bro;Kai;");
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Drops and remakes the table, posts a row and holds the table open until told.
    auto& session = TffSession::DefaultSession();
    session.DropTable(db.alias(), "PROSJEKT");
    session.CreateTable(db.alias(), "PROSJEKT", {{"NAVN", FieldType::String, 20, false}}, {});
    TffTable t;
    t.SetDatabaseName(db.alias());
    t.SetTableName("PROSJEKT");
    t.Open();
    t.Append();
    t.FieldByName("NAVN").SetAsString("Ny");
    t.Post();
    char c = 1;
    (void)!write(ready[1], &c, 1);
    (void)!read(done[0], &c, 1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  // The kept connection is of the dropped file: it is closed, and the new file opened.
  EXPECT_EQ(namesIn(db.alias(), "PROSJEKT"), "Ny;") << "the row the other program posted must show";
  (void)!write(done[1], &c, 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(namesIn(db.alias(), "PROSJEKT"), "Ny;");
}

// Cursors on the same SQL share prepared statements one after the other, never at once.
TEST_F(SqliteStorageTest, CursorsOnTheSameScanEachSeeEveryRow) {
  for (const char* navn : {"Dam", "Eik", "Fjord"}) appendName(db.alias(), "PROSJEKT", navn);
  auto storage = TffSession::DefaultSession().OpenTable(db.alias(), "PROSJEKT", {});
  const RowOrder byName{{0}, false, false};
  auto names = [&](RowCursor& cursor, int count) {
    std::string out;
    Row row;
    for (int i = 0; i < count && cursor.Next(row); ++i) out += std::get<std::string>(row.values.at(0)) + ";";
    return out;
  };
  for (int round = 0; round < 3; ++round) {
    auto a = storage->Scan({}, byName, std::nullopt, ScanDirection::Forward);
    auto b = storage->Scan({}, byName, std::nullopt, ScanDirection::Forward);
    std::string seenA = names(*a, 2), seenB = names(*b, 1);
    storage->Insert({Value{"Ås" + std::to_string(round)}});  // both seek again after a write
    seenA += names(*a, 100);
    seenB += names(*b, 100);
    EXPECT_EQ(seenA, seenB) << round;
    EXPECT_EQ(seenA.rfind("Bro;Dam;Eik;Fjord;Kai;", 0), 0u) << seenA;
    EXPECT_NE(seenA.find("Ås" + std::to_string(round)), std::string::npos) << seenA;
  }
}

// Another program's change of the dictionary goes into the log of the table, leaving the table
// file as it was: a table opened again must still read it.
TEST_F(SqliteStorageTest, AFieldRenamedByAnotherProgramWhileClosedShowsOnTheNextOpen) {
  ASSERT_EQ(namesIn(db.alias(), "PROSJEKT"), "Bro;Kai;");
  sqlite3* other = nullptr;  // kept open, so that nothing moves the log into the file
  ASSERT_EQ(sqlite3_open((db.folder() + "PROSJEKT.ffdb").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "UPDATE _ff_fields SET name = 'STED' WHERE name = 'NAVN'", nullptr, nullptr, nullptr),
            SQLITE_OK);
  TffTable t;
  EXPECT_EQ(openError(t, db.alias(), "PROSJEKT"), "");
  EXPECT_NE(t.FindField("STED"), nullptr);
  EXPECT_EQ(t.FindField("NAVN"), nullptr);
  t.Close();
  sqlite3_close(other);
}

// A closed table behind many others keeps its connection but gives back its pages: opened
// again, it reads the rows another program wrote meanwhile, and its dictionary.
TEST_F(SqliteStorageTest, ATableClosedBehindManyOthersShowsAnotherProgramsChangesOnTheNextOpen) {
  ASSERT_EQ(namesIn(db.alias(), "PROSJEKT"), "Bro;Kai;");
  for (int i = 0; i < 10; ++i) {
    const std::string name = "ANNEN" + std::to_string(i);
    TffSession::DefaultSession().CreateTable(db.alias(), name, {{"NAVN", FieldType::String, 20, false}}, {});
    EXPECT_EQ(namesIn(db.alias(), name), "") << name;
  }
  sqlite3* other = nullptr;  // kept open, so that nothing moves the log into the file
  ASSERT_EQ(sqlite3_open((db.folder() + "PROSJEKT.ffdb").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "INSERT INTO rows (c0) VALUES ('Dam')", nullptr, nullptr, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "UPDATE _ff_fields SET name = 'STED' WHERE name = 'NAVN'", nullptr, nullptr, nullptr),
            SQLITE_OK);
  TffTable t;
  EXPECT_EQ(openError(t, db.alias(), "PROSJEKT"), "");
  ASSERT_NE(t.FindField("STED"), nullptr);
  std::string names;
  for (t.First(); !t.Eof(); t.Next()) names += t.FieldByName("STED").AsString() + ";";
  EXPECT_EQ(names, "Bro;Kai;Dam;");
  t.Close();
  sqlite3_close(other);
}

// A reopen leaves the read that asked whether another program wrote open for the first read of
// rows. A count, a read of a row or a write that comes first must not work on that read's
// snapshot: they see, and write after, what another program wrote since the open.
TEST_F(SqliteStorageTest, AReopenedTableCountsReadsAndWritesAfterAnotherProgramsWrite) {
  const std::string path = db.folder() + "PROSJEKT.ffdb";
  // Opened again after an open that read the dictionary as it is: the reopen leaves its read.
  const auto reopenedBeforeAnotherWrites = [&](const char* name) {
    namesIn(db.alias(), "PROSJEKT");
    auto table = TffSession::DefaultSession().OpenTable(db.alias(), "PROSJEKT", {});
    runOnFile(path, std::string("INSERT INTO rows (c0) VALUES ('") + name + "')");
    return table;
  };
  EXPECT_EQ(reopenedBeforeAnotherWrites("Dam")->Count({}), 3);
  Row row;
  ASSERT_TRUE(reopenedBeforeAnotherWrites("Mur")->Read(4, row)) << "the row another program wrote since the open";
  EXPECT_EQ(std::get<std::string>(row.values.at(0)), "Mur");
  EXPECT_NO_THROW(reopenedBeforeAnotherWrites("Bru")->Insert({Value{std::string("Vei")}}));
  EXPECT_EQ(namesIn(db.alias(), "PROSJEKT"), "Bro;Kai;Dam;Mur;Bru;Vei;");
}

std::string rowCountOnDisk(const TempAlias& db) {
  return firstTextOf(db.folder() + "PROSJEKT.ffdb", "SELECT count(*) FROM rows");
}

void appendTo(TffTable& t, const std::string& name) {
  t.Append();
  t.FieldByName("NAVN").SetAsString(name);
  t.Post();
}

TEST_F(SqliteStorageTest, PostsOfAWriteGroupReachTheFileTogetherWhenItEnds) {
  TffTable t;
  ASSERT_EQ(openError(t, db.alias(), "PROSJEKT"), "");
  WriteGroup group(t);
  appendTo(t, "Mur");
  appendTo(t, "Sag");
  EXPECT_EQ(t.RecordCount(), 4) << "the group's own handle sees its posts";
  EXPECT_EQ(rowCountOnDisk(db), "2") << "another program sees none of them yet";
  group.Commit();
  EXPECT_EQ(rowCountOnDisk(db), "4");
  appendTo(t, "Vei");
  EXPECT_EQ(rowCountOnDisk(db), "5") << "after the group each post is durable again";
}

TEST_F(SqliteStorageTest, AWriteGroupLeftByAnExceptionKeepsWhatWasPosted) {
  TffTable t;
  ASSERT_EQ(openError(t, db.alias(), "PROSJEKT"), "");
  try {
    WriteGroup group(t);
    appendTo(t, "Mur");
    throw Error("stopp");
  } catch (const Error&) {
  }
  EXPECT_EQ(rowCountOnDisk(db), "3");
  t.Close();
  EXPECT_EQ(namesIn(db.alias(), "PROSJEKT"), "Bro;Kai;Mur;");
}

}  // namespace
