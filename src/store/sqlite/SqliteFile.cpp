#include "store/sqlite/SqliteFile.h"

#include <sqlite3.h>
#include <unistd.h>

#include "store/sqlite/SqliteCursor.h"

namespace ff {

namespace {

std::optional<FileStamp> stampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mode, st.st_mtim, st.st_ctim};
}

}  // namespace

SqliteFile::SqliteFile(sqlite3* db, std::string path, int lockFd) : db_(db), path_(std::move(path)), lockFd_(lockFd) {}

SqliteFile::~SqliteFile() {
  keptStatements_.clear();
  // SQLite itself leaves the log alone when the name has come to mean another file.
  sqlite3_close_v2(db_);
  if (lockFd_ >= 0) close(lockFd_);
}

void SqliteFile::park() {
  if (!sqlite3_db_readonly(db_, "main")) {
    // Leaves the rows in the table file, as a closed table does. Should the checkpoint not
    // get through, they stay safe in the log.
    sqlite3_wal_checkpoint_v2(db_, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  }
  close(lockFd_);
  lockFd_ = -1;
  parked_ = stampOf(path_);
}

bool SqliteFile::unchangedSincePark() const { return parked_ && stampOf(path_) == parked_; }

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
  for (SqliteCursor* c : cursors_) c->release();
}

}  // namespace ff
