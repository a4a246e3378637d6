#include "store/sqlite/SqliteStorage.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "store/Errors.h"
#include "store/sqlite/SqliteBatchInsert.h"
#include "store/sqlite/SqliteCatalog.h"
#include "store/sqlite/SqliteConnections.h"
#include "store/sqlite/SqliteFile.h"
#include "store/sqlite/SqliteStatement.h"
#include "store/sqlite/SqliteTable.h"

namespace ff {

namespace {

void configure(sqlite3* db) {
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, 5000);
  SqliteExec(db, "PRAGMA journal_mode=WAL");
  SqliteExec(db, "PRAGMA synchronous=FULL");
}

// Rows per transaction of a bulk load: large enough that commits cost nothing to speak of.
constexpr std::int64_t kRowsPerLoadCommit = 100000;

// Inserts every row of `rows` into a table made by CreateRowsTable; returns the rows written.
std::int64_t loadRows(sqlite3* db, const std::vector<FieldDef>& fields, RowCursor& rows) {
  SqliteBatchInsert insert(db, fields, false);
  std::int64_t written = 0;
  while (rows.Next(insert.slot())) {
    insert.filled();
    if (++written % kRowsPerLoadCommit == 0) {
      insert.flush();
      SqliteExec(db, "COMMIT; BEGIN");
    }
  }
  insert.flush();
  return written;
}

void syncPath(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  const bool synced = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  if (!synced) throw Error("Kan ikke skrive " + path + " til disken: " + std::strerror(errno));
}

// Gives the finished file `temp` the name `path`, never replacing a table that appeared
// meanwhile, and makes the new name durable.
void publish(const std::string& temp, const std::string& path) {
  int rc = renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && errno == EINVAL) {  // file systems without it: a hard link never replaces either
    rc = link(temp.c_str(), path.c_str());
    if (rc == 0) unlink(temp.c_str());
  }
  if (rc != 0) {
    const std::string why = errno == EEXIST ? "Tabellen finnes allerede" : std::strerror(errno);
    throw Error("Kan ikke lage " + path + ": " + why);
  }
  const std::string folder = std::filesystem::path(path).parent_path().string();
  syncPath(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
}

void removeDatabaseFiles(const std::string& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::filesystem::remove(path + suffix, ec);
}

}  // namespace

std::unique_ptr<TableStorage> SqliteProvider::Open(const std::string& path, const OpenMode& mode) {
  return OpenSqliteTable(path, mode);
}

void SqliteProvider::Create(const std::string& path, const std::vector<FieldDef>& fields,
                            const std::vector<IndexDef>& indexes) {
  if (std::filesystem::exists(path)) throw Error("Tabellen finnes allerede: " + path);
  if (!CanWrite(FolderOfTable(path)) && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    throw EReadOnly("Mappen er skrivebeskyttet: " + FolderOfTable(path));
  }
  const std::string temp = path + ".new";
  std::filesystem::remove(temp);
  sqlite3* db = OpenSqliteDb(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  try {
    configure(db);
    SqliteExec(db, "BEGIN");
    CreateSchema(db, fields, indexes);
    SqliteExec(db, "COMMIT");
    SqliteExec(db, "PRAGMA journal_mode=DELETE");
    sqlite3_close_v2(db);
  } catch (...) {
    sqlite3_close_v2(db);
    std::filesystem::remove(temp);
    throw;
  }
  // A table appears whole or not at all.
  try {
    publish(temp, path);
  } catch (...) {
    std::filesystem::remove(temp);
    throw;
  }
  sqlite3* wal = OpenSqliteDb(path, SQLITE_OPEN_READWRITE);
  try {
    SqliteExec(wal, "PRAGMA journal_mode=WAL");
  } catch (...) {
    sqlite3_close_v2(wal);
    throw;
  }
  sqlite3_close_v2(wal);
}

std::int64_t SqliteProvider::CreateFilled(const std::string& path, const std::vector<FieldDef>& fields,
                                          const std::vector<IndexDef>& indexes, RowCursor& rows) {
  if (std::filesystem::exists(path)) throw Error("Tabellen finnes allerede: " + path);
  // The rows go into a file aside, renamed into place only when whole: a failure or a kill
  // midway leaves at most that file, which the next load of the table clears away.
  const std::string temp = path + ".new";
  removeDatabaseFiles(temp);
  sqlite3* db = OpenSqliteDb(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
  try {
    sqlite3_extended_result_codes(db, 1);
    // No journal and no syncs while loading: until the rename nobody reads the file.
    SqliteExec(db, "PRAGMA journal_mode=OFF");
    SqliteExec(db, "PRAGMA synchronous=OFF");
    SqliteExec(db, "PRAGMA threads=2");  // the index builds sort on a second core
    SqliteExec(db, "BEGIN");
    CreateRowsTable(db, fields);
    const std::int64_t written = loadRows(db, fields, rows);
    CreateIndexes(db, fields, indexes);
    CreateRowCounter(db);
    CreateIdMark(db);
    SqliteExec(db, "COMMIT");
    SqliteExec(db, "PRAGMA synchronous=FULL");
    SqliteExec(db, "PRAGMA journal_mode=WAL");
    sqlite3_close_v2(db);
    db = nullptr;
    syncPath(temp, O_RDONLY);
    publish(temp, path);
    return written;
  } catch (...) {
    sqlite3_close_v2(db);
    removeDatabaseFiles(temp);
    throw;
  }
}

std::unique_ptr<TableStorage> MakeSqliteScratchTable(const std::vector<FieldDef>& fields,
                                                     const std::vector<IndexDef>& indexes, const RowFill& fill) {
  sqlite3* db = OpenSqliteDb("", SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
  auto file = std::make_shared<SqliteFile>(db, "", -1);
  sqlite3_extended_result_codes(db, 1);
  SqliteExec(db, "PRAGMA journal_mode=OFF");
  SqliteExec(db, "BEGIN");
  CreateRowsTable(db, fields);
  {
    SqliteBatchInsert insert(db, fields, true);
    fill([&](RowId id, const std::vector<Value>& values) {
      Row& row = insert.slot();
      row.id = id;
      row.values = values;
      insert.filled();
    });
    insert.flush();
  }
  CreateIndexes(db, fields, indexes);
  CreateRowCounter(db);
  SqliteExec(db, "COMMIT");
  LoadDictionary(*file);
  file->counted = true;
  return std::make_unique<SqliteTable>(file, true);
}

}  // namespace ff
