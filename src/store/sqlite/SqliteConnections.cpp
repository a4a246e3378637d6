#include "store/sqlite/SqliteConnections.h"
#include "store/sqlite/SqliteSql.h"

#include <sqlite3.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>

#include "store/Errors.h"
#include "store/sqlite/SqliteCatalog.h"
#include "store/sqlite/SqliteError.h"
#include "store/sqlite/SqliteFile.h"
#include "store/sqlite/SqliteStatement.h"
#include "store/sqlite/SqliteTable.h"

namespace ff {

namespace {

std::mutex registryMutex;
std::map<std::string, std::weak_ptr<SqliteFile>>& registry() {
  static std::map<std::string, std::weak_ptr<SqliteFile>> files;
  return files;
}

// "file:" URI of a path, with the characters a URI gives meaning escaped.
std::string fileUri(const std::string& path, const char* query) {
  std::string uri = "file:";
  for (const char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[static_cast<unsigned char>(c) >> 4];
      uri += kHex[c & 0xF];
    } else {
      uri += c;
    }
  }
  return uri + query;
}

// A table that cannot be written opens for reading. In a folder that cannot be written SQLite
// cannot make the files WAL reading needs; with no log of unwritten changes there, nobody can
// change the table, so it is read as it stands on disk.
sqlite3* openForReading(const std::string& path) {
  constexpr int kFlags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
  if (CanWrite(FolderOfTable(path))) return OpenSqliteDb(fileUri(path, "?mode=ro"), kFlags);
  std::error_code ec;
  const bool pendingLog = std::filesystem::file_size(path + "-wal", ec) > 0 && !ec;
  return OpenSqliteDb(fileUri(path, pendingLog ? "?mode=ro" : "?immutable=1"), kFlags);
}

std::string openError(const std::string& path, int error) {
  if (error == ENOENT) return "Tabellfilen finnes ikke: " + path;
  if (error == EACCES || error == EPERM) return "Ingen lesetilgang til tabellfilen: " + path;
  return "Kan ikke åpne tabellfilen " + path + ": " + std::strerror(error);
}

// Damage (or a file that is no table of ours) as opposed to a failure of the disk or the system.
bool isDamage(int code) {
  const int primary = code & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_ERROR ||
         primary == SQLITE_FORMAT || primary == SQLITE_MISMATCH;
}

// Locks the table on lockFd against other programs' exclusive opens (or, exclusive, against
// any open of theirs). False when another program holds it.
bool takeLock(int lockFd, bool exclusive) { return flock(lockFd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0; }

ECannotOpen tableInUse(const std::string& path) { return ECannotOpen("Tabellen er i bruk av et annet program: " + path); }

// Locks the table (see takeLock). Returns the descriptor that holds the lock.
int lockTable(const std::string& path, bool exclusive) {
  const int lockFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (lockFd < 0) throw ECannotOpen(openError(path, errno));
  if (!takeLock(lockFd, exclusive)) {
    close(lockFd);
    throw tableInUse(path);
  }
  return lockFd;
}

// Runs a step of opening, telling a damaged file from one that cannot be read.
template <typename Step>
void openingStep(const std::string& path, Step step) {
  try {
    step();
  } catch (const SqliteFailure& e) {
    if (isDamage(e.code())) throw ECannotOpen("Tabellfilen er skadet eller ukjent: " + path + " (" + e.what() + ")");
    throw ECannotOpen("Kan ikke lese tabellfilen " + path + " (" + e.what() + ")");
  }
}

std::shared_ptr<SqliteFile> openFile(const std::string& path, bool exclusive) {
  const int lockFd = lockTable(path, exclusive);
  sqlite3* db = nullptr;
  const bool fileWritable = CanWrite(path);
  std::string folder = FolderOfTable(path);
  try {
    db = fileWritable && CanWrite(folder) ? OpenSqliteDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX)
                                          : openForReading(path);
  } catch (...) {
    close(lockFd);
    throw;
  }
  auto file = std::make_shared<SqliteFile>(db, path, lockFd);
  file->fileWritable = fileWritable;
  file->folder = std::move(folder);
  openingStep(path, [&] {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 5000);
    SqliteExec(db, "PRAGMA synchronous=FULL");
    ReadDictionary(*file);
  });
  return file;
}

// A table file is known by its device and inode, whichever path leads to it; one that does
// not exist by its path (opening it fails).
std::string fileKey(const std::string& path, const std::optional<FileStamp>& now) {
  if (!now) return path;
  return std::to_string(now->device) + ":" + std::to_string(now->inode);
}

// Files parked by their last close, oldest first (registryMutex). As many as the suite has
// tables, so that opening all of them again (another firm, a new sign-on) opens none afresh;
// all but the latest few give back the pages they hold, keeping connection and dictionary.
constexpr std::size_t kMaxParkedFiles = 32;
constexpr std::size_t kWarmParkedFiles = 4;
std::deque<std::shared_ptr<SqliteFile>>& parkedFiles() {
  static std::deque<std::shared_ptr<SqliteFile>> files;
  return files;
}

// A small table's few pages are kept: read again at every reopen they would cost more system
// calls than the rest of it, and those of all parked files together take little room.
constexpr int kSmallCacheBytes = 64 * 1024;

void giveBackLargeCache(sqlite3* db) {
  int used = 0, highest = 0;
  if (sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_USED, &used, &highest, 0) != SQLITE_OK || used > kSmallCacheBytes) {
    sqlite3_db_release_memory(db);
  }
}

void forgetParked(const std::shared_ptr<SqliteFile>& file) {
  auto& parked = parkedFiles();
  parked.erase(std::remove(parked.begin(), parked.end(), file), parked.end());
}

// Takes a parked file back into use. False when the table file changed meanwhile, or the
// right to write it or its folder did: the table is then opened afresh. The file's own right
// is part of its stamp (mode and status change time), so only the folder's is asked again.
// Throws ECannotOpen when another program holds the table. The dictionary is read again only
// when another connection wrote; else the read that asked stays open for the first read of
// rows (see SqliteFile::openingDataVersion).
bool unpark(const std::shared_ptr<SqliteFile>& file, const FileStamp& now, bool exclusive) {
  forgetParked(file);
  const bool readOnly = sqlite3_db_readonly(file->db(), "main") == 1;
  if (!file->unchangedSincePark(now)) return false;
  if ((file->fileWritable && CanWrite(file->folder)) == readOnly) return false;
  if (!takeLock(file->lockFd(), exclusive)) throw tableInUse(file->path());
  file->inUse(now);
  openingStep(file->path(), [&] {
    if (file->openingDataVersion() == file->dictionaryVersion) return;
    file->endOpeningRead();
    ReadDictionary(*file);
  });
  return true;
}

}  // namespace

std::unique_ptr<TableStorage> OpenSqliteTable(const std::string& path, const OpenMode& mode) {
  const std::optional<FileStamp> now = StampOf(path);
  const std::string key = fileKey(path, now);
  std::lock_guard lock(registryMutex);
  const auto known = registry().find(key);
  std::shared_ptr<SqliteFile> file = known == registry().end() ? nullptr : known->second.lock();
  if (file && file->parked()) {
    if (!now || !unpark(file, *now, mode.exclusive)) file.reset();
  } else if (file && (file->exclusive || mode.exclusive)) {
    throw ECannotOpen("Tabellen er i bruk: " + path);
  }
  if (!file) {
    file = openFile(path, mode.exclusive);
    file->inUse(now);
    registry()[key] = file;
  }
  file->exclusive = mode.exclusive;
  const bool writable = !sqlite3_db_readonly(file->db(), "main");
  return std::make_unique<SqliteTable>(file, mode.readOnly || !writable);
}

void ParkWhenClosed(const std::shared_ptr<SqliteFile>& file) {
  if (file->path().empty()) return;  // scratch tables live only as long as their handles
  std::lock_guard lock(registryMutex);
  file->park();
  auto& parked = parkedFiles();
  parked.push_back(file);
  if (parked.size() > kMaxParkedFiles) parked.pop_front();
  if (parked.size() > kWarmParkedFiles) giveBackLargeCache(parked[parked.size() - 1 - kWarmParkedFiles]->db());
}

sqlite3* OpenSqliteDb(const std::string& path, int flags) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close_v2(db);
    throw ECannotOpen("Kan ikke åpne " + path + ": " + msg);
  }
  RegisterSortKeyFunction(db);
  return db;
}

std::string FolderOfTable(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

bool CanWrite(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

}  // namespace ff
