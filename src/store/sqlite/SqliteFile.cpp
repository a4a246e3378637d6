#include "store/sqlite/SqliteFile.h"

#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include "store/sqlite/SqliteCursor.h"

namespace ff {

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mode, st.st_mtim, st.st_ctim};
}

SqliteFile::SqliteFile(sqlite3* db, std::string path, int lockFd) : db_(db), path_(std::move(path)), lockFd_(lockFd) {}

SqliteFile::~SqliteFile() {
  keptStatements_.clear();
  dataVersion_ = SqliteStatement();
  // SQLite itself leaves the log alone when the name has come to mean another file.
  sqlite3_close_v2(db_);
  if (lockFd_ >= 0) close(lockFd_);
}

void SqliteFile::park() {
  endOpeningRead();
  if (written_ && !sqlite3_db_readonly(db_, "main")) {
    // Leaves the rows in the table file, as a closed table does. Should the checkpoint not
    // get through, they stay safe in the log.
    sqlite3_wal_checkpoint_v2(db_, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  }
  flock(lockFd_, LOCK_UN);
  // Unwritten, the file is as it was when taken into use, or else changed by another program
  // and opened afresh next time. A file gone from the directory is never taken back into use.
  parked_ = (written_ ? StampOf(path_) : seen_).value_or(FileStamp{});
  written_ = false;
}

std::int64_t SqliteFile::dataVersion() {
  const std::int64_t version = openingDataVersion();
  endOpeningRead();
  return version;
}

std::int64_t SqliteFile::openingDataVersion() {
  endOpeningRead();
  if (!dataVersion_) dataVersion_ = SqliteStatement(db_, "PRAGMA data_version", true);
  openingRead_ = true;
  return dataVersion_.step() ? sqlite3_column_int64(dataVersion_.get(), 0) : -1;
}

void SqliteFile::endOpeningRead() {
  if (!openingRead_) return;
  openingRead_ = false;
  dataVersion_.reset();
}

SqliteStatement SqliteFile::statement(const std::string& sql) {
  for (auto it = keptStatements_.begin(); it != keptStatements_.end(); ++it) {
    if (it->first == sql) {
      SqliteStatement kept = std::move(it->second);
      keptStatements_.erase(it);
      return kept;
    }
  }
  return SqliteStatement(db_, sql, true);
}

void SqliteFile::keepStatement(std::string sql, SqliteStatement stmt) {
  stmt.reset();
  keptStatements_.emplace_back(std::move(sql), std::move(stmt));
  if (keptStatements_.size() > kKeptStatements) keptStatements_.pop_front();
}

void SqliteFile::beforeWrite() {
  endOpeningRead();
  for (SqliteCursor* c : cursors_) c->release();
}

}  // namespace ff
