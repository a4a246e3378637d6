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

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
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

TEST_F(SqliteStorageTest, TableInAReadOnlyFolderOpensForReadingAndRefusesWrites) {
  // Everyone may read; nobody but root may write the folder. Root drops its rights in the child.
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
    return readThenWrite(db.alias());
  });
  chmod(db.folder().c_str(), 0755);
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

}  // namespace
