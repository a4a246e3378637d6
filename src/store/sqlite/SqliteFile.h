// One open SQLite table file, shared by every handle of this process on the same table: its
// connection, its dictionary, the statements it keeps and the cursors reading it.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/Schema.h"
#include "store/sqlite/SqliteStatement.h"

struct sqlite3;

namespace ff {

class SqliteCursor;

// What the directory says of a table file: which file it is and when it last changed.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  mode_t mode = 0;
  timespec changed{};
  timespec statusChanged{};

  bool operator==(const FileStamp& o) const {
    return device == o.device && inode == o.inode && size == o.size && mode == o.mode && sameTime(changed, o.changed) &&
           sameTime(statusChanged, o.statusChanged);
  }

 private:
  static bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }
};

// The file at path as the directory shows it now; nullopt when there is none.
std::optional<FileStamp> StampOf(const std::string& path);

class SqliteFile {
 public:
  // An empty path is a scratch file. lockFd holds the lock on the table (-1: none).
  SqliteFile(sqlite3* db, std::string path, int lockFd);
  ~SqliteFile();
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;

  sqlite3* db() const { return db_; }
  const std::string& path() const { return path_; }
  std::uint64_t generation() const { return generation_; }

  // A file whose last handle closed keeps its connection, and with it the pages, schema and
  // dictionary it has read, for the next open of the table. It gives up its lock on the table
  // (keeping the descriptor that held it), so that other programs may open the table
  // exclusively meanwhile.
  void park();
  bool parked() const { return parked_.has_value(); }
  // True when the table file, as the directory shows it `now`, is as this connection left it
  // when parked.
  bool unchangedSincePark(const FileStamp& now) const { return parked_ && *parked_ == now; }
  // The descriptor that holds (or, parked, held) the lock on the table; -1 for scratch files.
  int lockFd() const { return lockFd_; }
  // Taken into use (opened, or unparked with its lock on lockFd() taken again) with the file
  // as the directory showed it `now`.
  void inUse(const std::optional<FileStamp>& now) {
    parked_.reset();
    seen_ = now;
  }

  // SQLite's count of the commits of other connections to the file; the dictionary was read
  // at dictionaryVersion.
  std::int64_t dataVersion();
  // The same, leaving the read it began open until endOpeningRead, so that a reopen's first
  // read of rows shares it: each read begun costs SQLite system calls.
  std::int64_t openingDataVersion();
  // Ends the read openingDataVersion left open (nothing when none is): called by every read
  // but a cursor's first step before it begins, and before every write, so that nothing reads
  // or writes on the snapshot of the open.
  void endOpeningRead();
  std::int64_t dictionaryVersion = -1;

  // Statements are kept when done with (a scan's when its cursor is), so that the next use of
  // the same SQL (a grid seeking its next window) need not prepare it again.
  SqliteStatement statement(const std::string& sql);
  void keepStatement(std::string sql, SqliteStatement stmt);

  void addCursor(SqliteCursor* c) { cursors_.push_back(c); }
  void removeCursor(SqliteCursor* c) { std::erase(cursors_, c); }

  // Statements still stepping would keep a write from committing: reset them first. They
  // notice the new generation and seek again from their last row.
  void beforeWrite();
  void afterWrite() {
    ++generation_;
    written_ = true;
  }

  std::vector<FieldDef> fields;
  std::vector<IndexDef> indexes;
  std::vector<int> sortKeyFields;  // text fields with a sort key column (see SortKeyFields)
  bool sortKeysOutdated = false;   // an index made by an earlier build orders by NOCASE
  int handles = 0;
  bool exclusive = false;
  bool counted = false;    // the file keeps its row count (_ff_count)
  bool versioned = false;  // its rows carry a version (_ff_ver)
  bool fileWritable = false;  // this process could write the file itself when it opened it
  std::string folder;         // the folder of the file, whose right to write an open asks again
  int bulkDepth = 0;

 private:
  sqlite3* db_;
  std::string path_;
  int lockFd_;
  std::optional<FileStamp> parked_;  // the file as it was when last parked
  std::optional<FileStamp> seen_;    // the file as it was when last taken into use
  bool written_ = false;             // written through this connection since it was last parked
  static constexpr std::size_t kKeptStatements = 16;
  std::deque<std::pair<std::string, SqliteStatement>> keptStatements_;  // oldest first
  SqliteStatement dataVersion_;  // asked at every reopen: kept apart from the others
  bool openingRead_ = false;     // dataVersion_ stepped and not yet reset
  std::uint64_t generation_ = 1;
  std::vector<SqliteCursor*> cursors_;  // few at a time: a set would cost each cursor an allocation
};

}  // namespace ff
