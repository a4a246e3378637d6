#include "store/sqlite/SqliteStorage.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>

#include "store/Errors.h"
#include "store/KeysetScanSql.h"
#include "text/SqlQuote.h"

namespace ff {

namespace {

// Any other failure of SQLite, with its result code, so that opening can tell damage from
// the rest.
class SqliteFailure : public Error {
 public:
  SqliteFailure(const std::string& message, int code) : Error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

bool isDiskFull(sqlite3* db, int rc) {
  const int primary = rc & 0xFF;
  const int error = db ? sqlite3_system_errno(db) : 0;
  return primary == SQLITE_FULL || (primary == SQLITE_IOERR && (error == ENOSPC || error == EDQUOT));
}

[[noreturn]] void raiseDiskFull(sqlite3* db, const std::string& msg) {
  const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
  const std::string where = file && *file ? " ved skriving til " + std::string(file) : std::string();
  throw EDiskFull("Disken er full" + where + " (" + msg + ")");
}

// Throws the store's exception for a failed SQLite call; msg is the message for people.
[[noreturn]] void raiseCode(sqlite3* db, int rc, const std::string& msg) {
  const int primary = rc & 0xFF;
  if (isDiskFull(db, rc)) raiseDiskFull(db, msg);
  if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) throw EKeyViolation(msg);
  if (primary == SQLITE_READONLY) throw EReadOnly(msg);
  if (primary == SQLITE_IOERR) throw SqliteFailure("Feil ved lesing eller skriving på disken (" + msg + ")", rc);
  throw SqliteFailure(msg, rc);
}

[[noreturn]] void raise(sqlite3* db, int rc, const std::string& what) {
  raiseCode(db, rc, what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
}

class Stmt {
 public:
  Stmt() = default;
  Stmt(sqlite3* db, const std::string& sql, bool persistent = false) : db_(db) {
    const int rc = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()),
                                      persistent ? SQLITE_PREPARE_PERSISTENT : 0, &stmt_, nullptr);
    if (rc != SQLITE_OK) raise(db, rc, "Kan ikke forberede spørring");
  }
  ~Stmt() { sqlite3_finalize(stmt_); }
  Stmt(Stmt&& o) noexcept : db_(o.db_), stmt_(o.stmt_) { o.stmt_ = nullptr; }
  Stmt& operator=(Stmt&& o) noexcept {
    std::swap(db_, o.db_);
    std::swap(stmt_, o.stmt_);
    return *this;
  }

  explicit operator bool() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }

  // kept: v outlives the statement's next step, so SQLite need not copy text.
  void bind(int i, const Value& v, bool asBlob = false, bool kept = false) {
    int rc = SQLITE_OK;
    if (isNull(v)) {
      rc = sqlite3_bind_null(stmt_, i);
    } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
      rc = sqlite3_bind_int64(stmt_, i, *n);
    } else if (const auto* d = std::get_if<double>(&v)) {
      rc = sqlite3_bind_double(stmt_, i, *d);
    } else {
      const auto& s = std::get<std::string>(v);
      const auto lifetime = kept ? SQLITE_STATIC : SQLITE_TRANSIENT;
      rc = asBlob ? sqlite3_bind_blob64(stmt_, i, s.data(), s.size(), lifetime)
                  : sqlite3_bind_text64(stmt_, i, s.data(), s.size(), lifetime, SQLITE_UTF8);
    }
    if (rc != SQLITE_OK) raise(db_, rc, "Kan ikke binde verdi");
  }

  void bindAll(const std::vector<Value>& params, int first = 1) {
    for (std::size_t i = 0; i < params.size(); ++i) bind(first + static_cast<int>(i), params[i]);
  }

  // SQLITE_ROW -> true, SQLITE_DONE -> false, anything else throws.
  bool step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(stmt_);
    raise(db_, sqlite3_extended_errcode(db_), "Databasefeil");
  }

  void reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

  // Reads column i into out, reusing the room of a string out already holds.
  void readColumn(int i, Value& out) const {
    switch (sqlite3_column_type(stmt_, i)) {
      case SQLITE_INTEGER:
        out = static_cast<std::int64_t>(sqlite3_column_int64(stmt_, i));
        return;
      case SQLITE_FLOAT:
        out = sqlite3_column_double(stmt_, i);
        return;
      case SQLITE_TEXT:
      case SQLITE_BLOB: {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, i));
        const std::string_view text(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i)));
        if (auto* s = std::get_if<std::string>(&out)) {
          s->assign(text);
        } else {
          out = std::string(text);
        }
        return;
      }
      default:
        out = Value{};
    }
  }

  // Reads the `count` columns after the row id (column 0) into the row's values.
  void readRow(Row& row, std::size_t count) const {
    row.values.resize(count);
    for (std::size_t i = 0; i < count; ++i) readColumn(static_cast<int>(i) + 1, row.values[i]);
  }

  Value column(int i) const {
    Value v;
    readColumn(i, v);
    return v;
  }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

void exec(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    const std::string msg = err ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    if ((rc & 0xFF) == SQLITE_CONSTRAINT) throw EKeyViolation("Nøkkelbrudd: " + msg);
    raiseCode(db, rc, "Databasefeil: " + msg);
  }
}

std::string column(int i) { return "c" + std::to_string(i); }

std::string sqlQuote(const std::string& s) { return SqlQuoted(s, '\''); }

// True when v is held as values of type t are stored (or null): it needs no conversion.
bool storedAsIs(const Value& v, FieldType t) {
  switch (storageClassOf(t)) {
    case StorageClass::Integer: return !std::holds_alternative<double>(v) && !std::holds_alternative<std::string>(v);
    case StorageClass::Real: return !std::holds_alternative<std::int64_t>(v) && !std::holds_alternative<std::string>(v);
    default: return !std::holds_alternative<std::int64_t>(v) && !std::holds_alternative<double>(v);
  }
}

// Binds one value per field (parameters first+1, ...), each converted to its field's storage.
// REQUIRES: values outlive the statement's next step.
void bindRow(Stmt& s, const std::vector<FieldDef>& fields, const std::vector<Value>& values, int first = 0) {
  static const Value null;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const FieldType t = fields[i].type;
    const Value& v = i < values.size() ? values[i] : null;
    const bool asBlob = storageClassOf(t) == StorageClass::Bytes;
    if (storedAsIs(v, t)) {
      s.bind(first + static_cast<int>(i) + 1, v, asBlob, true);
    } else {
      s.bind(first + static_cast<int>(i) + 1, valueAsStored(v, t), asBlob);
    }
  }
}

// withRowId: the row id is the first parameter. rowCount rows (REQUIRES: fields or withRowId
// when more than one), each with its parameters after the row before.
std::string insertSql(const std::vector<FieldDef>& fields, bool withRowId = false, std::size_t rowCount = 1) {
  if (fields.empty() && !withRowId) return "INSERT INTO rows DEFAULT VALUES";
  std::string cols = withRowId ? "rowid" : "";
  std::string marks = withRowId ? "?" : "";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    cols += (cols.empty() ? "" : ", ") + column(static_cast<int>(i));
    marks += marks.empty() ? "?" : ", ?";
  }
  std::string values = "(" + marks + ")";
  for (std::size_t r = 1; r < rowCount; ++r) values += ", (" + marks + ")";
  return "INSERT INTO rows (" + cols + ") VALUES " + values;
}

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

std::optional<FileStamp> stampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mode, st.st_mtim, st.st_ctim};
}

// One open SQLite file, shared by every handle of this process on the same table.
class SqliteFile {
 public:
  SqliteFile(sqlite3* db, std::string path, int lockFd)
      : db_(db), path_(std::move(path)), lockFd_(lockFd) {}
  ~SqliteFile() {
    keptStatements_.clear();
    // SQLite itself leaves the log alone when the name has come to mean another file.
    sqlite3_close_v2(db_);
    if (lockFd_ >= 0) close(lockFd_);
  }

  sqlite3* db() const { return db_; }
  const std::string& path() const { return path_; }
  std::uint64_t generation() const { return generation_; }

  // A file whose last handle closed keeps its connection, and with it the pages and schema
  // it has read, for the next open of the table. It gives up its lock on the table, so that
  // other programs may open the table exclusively meanwhile.
  void park() {
    if (!sqlite3_db_readonly(db_, "main")) {
      // Leaves the rows in the table file, as a closed table does. Should the checkpoint not
      // get through, they stay safe in the log.
      sqlite3_wal_checkpoint_v2(db_, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
    close(lockFd_);
    lockFd_ = -1;
    parked_ = stampOf(path_);
  }
  bool parked() const { return lockFd_ < 0 && !path_.empty(); }
  // True when the table file is as this connection left it when parked.
  bool unchangedSincePark() const { return parked_ && stampOf(path_) == parked_; }
  void unpark(int lockFd) { lockFd_ = lockFd; }

  // Statements are kept when done with (a scan's when its cursor is), so that the next use of
  // the same SQL (a grid seeking its next window) need not prepare it again.
  Stmt statement(const std::string& sql) {
    for (auto it = keptStatements_.begin(); it != keptStatements_.end(); ++it) {
      if (it->first == sql) {
        Stmt kept = std::move(it->second);
        keptStatements_.erase(it);
        return kept;
      }
    }
    return Stmt(db_, sql, true);
  }
  void keepStatement(std::string sql, Stmt stmt) {
    stmt.reset();
    keptStatements_.emplace_back(std::move(sql), std::move(stmt));
    if (keptStatements_.size() > kKeptStatements) keptStatements_.pop_front();
  }

  void addCursor(SqliteCursor* c) { cursors_.insert(c); }
  void removeCursor(SqliteCursor* c) { cursors_.erase(c); }

  // Statements still stepping would keep a write from committing: reset them first. They
  // notice the new generation and seek again from their last row.
  void beforeWrite();
  void afterWrite() { ++generation_; }

  void loadDictionary();
  std::vector<FieldDef> fields;
  std::vector<IndexDef> indexes;
  int handles = 0;
  bool exclusive = false;
  bool counted = false;  // the file keeps its row count (_ff_count)
  int bulkDepth = 0;

 private:
  sqlite3* db_;
  std::string path_;
  int lockFd_;
  std::optional<FileStamp> parked_;  // the file as it was when last parked
  static constexpr std::size_t kKeptStatements = 16;
  std::deque<std::pair<std::string, Stmt>> keptStatements_;  // oldest first
  std::uint64_t generation_ = 1;
  std::set<SqliteCursor*> cursors_;
};

void SqliteFile::loadDictionary() {
  fields.clear();
  indexes.clear();
  // Kept between loads: a parked file loads its dictionary again on every reopen.
  const std::string fieldsSql = "SELECT name, type, size, required FROM _ff_fields ORDER BY pos";
  Stmt f = statement(fieldsSql);
  while (f.step()) {
    FieldDef def;
    def.name = valueToString(f.column(0));
    def.type = fieldTypeFromName(valueToString(f.column(1))).value_or(FieldType::Unknown);
    def.size = static_cast<int>(valueToInt(f.column(2)));
    def.required = valueToInt(f.column(3)) != 0;
    fields.push_back(def);
  }
  keepStatement(fieldsSql, std::move(f));
  const std::string indexesSql = "SELECT name, fields, options FROM _ff_indexes ORDER BY pos";
  Stmt ix = statement(indexesSql);
  while (ix.step()) {
    indexes.push_back({valueToString(ix.column(0)), splitFieldList(valueToString(ix.column(1))),
                       static_cast<unsigned>(valueToInt(ix.column(2)))});
  }
  keepStatement(indexesSql, std::move(ix));
}

// Its planner reads no "a <= ? OR a IS NULL" as an index range: backward seeks go unbounded.
const ScanDialect& scanDialect() {
  static const ScanDialect dialect{SqlDialect::Sqlite, &column, "rowid", "NOCASE", false, "-1"};
  return dialect;
}

KeysetScanSql scanOf(const SqliteFile& file, const RowSelection& sel, const RowOrder& order, ScanDirection dir) {
  return KeysetScanSql(scanDialect(), "rows", file.fields, sel, order, dir);
}

class SqliteCursor : public RowCursor {
 public:
  SqliteCursor(std::shared_ptr<SqliteFile> file, const RowSelection& sel, const RowOrder& order,
               const std::optional<RowKey>& from, ScanDirection dir, std::int64_t skip = 0)
      : file_(std::move(file)), scan_(scanOf(*file_, sel, order, dir)), last_(from), skip_(skip) {
    file_->addCursor(this);
  }
  ~SqliteCursor() override {
    release();
    file_->removeCursor(this);
  }

  bool Next(Row& row) override {
    if (!stmt_ || generation_ != file_->generation()) seek();
    if (!stmt_.step()) {
      release();  // leave no read open behind
      return false;
    }
    row.id = sqlite3_column_int64(stmt_.get(), 0);
    stmt_.readRow(row, file_->fields.size());
    if (!last_) last_.emplace();
    AssignKeyOf(*last_, row, scan_.Order());
    return true;
  }

  void release() {
    if (stmt_) file_->keepStatement(std::move(sql_), std::move(stmt_));
  }

 private:
  void seek() {
    release();
    std::vector<Value> params;
    // The skip applies to the first seek only; later seeks go on from the last row seen.
    sql_ = scan_.Select(last_, {std::nullopt, last_ ? 0 : skip_}, params);
    stmt_ = file_->statement(sql_);
    stmt_.bindAll(params);
    generation_ = file_->generation();
  }

  std::shared_ptr<SqliteFile> file_;
  KeysetScanSql scan_;
  std::optional<RowKey> last_;
  std::int64_t skip_;
  std::string sql_;  // of stmt_
  Stmt stmt_;
  std::uint64_t generation_ = 0;
};

void SqliteFile::beforeWrite() {
  for (SqliteCursor* c : cursors_) c->release();
}

void parkWhenClosed(const std::shared_ptr<SqliteFile>& file);

class SqliteTable : public TableStorage {
 public:
  SqliteTable(std::shared_ptr<SqliteFile> file, bool readOnly) : file_(std::move(file)), readOnly_(readOnly) {
    ++file_->handles;
  }
  ~SqliteTable() override {
    for (CachedStmt* slot : {&read_, &insert_, &update_, &remove_, &countAll_}) {
      if (slot->stmt) file_->keepStatement(std::move(slot->sql), std::move(slot->stmt));
    }
    --file_->handles;
    if (file_->handles == 0) {
      file_->exclusive = false;
      parkWhenClosed(file_);
    }
  }

  const std::vector<FieldDef>& Fields() const override { return file_->fields; }
  const std::vector<IndexDef>& Indexes() const override { return file_->indexes; }
  bool ReadOnly() const override { return readOnly_; }
  std::uint64_t Generation() const override { return file_->generation(); }

  std::int64_t Count(const RowSelection& sel) override {
    if (file_->counted && !sel.filter && sel.equal.empty()) {
      Stmt& all = cached(countAll_, [] { return std::string("SELECT n FROM _ff_count"); });
      all.step();
      const std::int64_t n = valueToInt(all.column(0));
      all.reset();
      return n;
    }
    std::vector<Value> params;
    const std::string where = KeysetScanSql::WhereOf(scanDialect(), file_->fields, sel, params);
    Stmt s(file_->db(), "SELECT count(*) FROM rows" + (where.empty() ? "" : " WHERE " + where));
    s.bindAll(params);
    s.step();
    return valueToInt(s.column(0));
  }

  std::unique_ptr<RowCursor> Scan(const RowSelection& sel, const RowOrder& order,
                                  const std::optional<RowKey>& from, ScanDirection dir) override {
    return std::make_unique<SqliteCursor>(file_, sel, order, from, dir);
  }

  std::unique_ptr<RowCursor> ScanAt(const RowSelection& sel, const RowOrder& order, std::int64_t skip,
                                    ScanDirection dir) override {
    return std::make_unique<SqliteCursor>(file_, sel, order, std::nullopt, dir, skip);
  }

  std::int64_t CountBefore(const RowSelection& sel, const RowOrder& order, const RowKey& key) override {
    std::vector<Value> params;
    Stmt s(file_->db(), scanOf(*file_, sel, order, ScanDirection::Backward).CountAfter(key, params));
    s.bindAll(params);
    s.step();
    return valueToInt(s.column(0));
  }

  // One statement over the keys alone; only the sampled rows' columns are taken out.
  std::vector<RowKey> SampleKeys(const RowSelection& sel, const RowOrder& order, std::int64_t every) override {
    std::vector<Value> params;
    const auto scan = scanOf(*file_, sel, order, ScanDirection::Forward);
    Stmt s(file_->db(), scan.Select(std::nullopt, {std::nullopt, 0, true}, params));
    s.bindAll(params);
    std::vector<RowKey> keys;
    for (std::int64_t n = 1; s.step(); ++n) {
      if (n % every != 0) continue;
      RowKey key{{}, sqlite3_column_int64(s.get(), 0)};
      for (std::size_t i = 0; i < order.fields.size(); ++i) key.values.push_back(s.column(static_cast<int>(i) + 1));
      keys.push_back(std::move(key));
    }
    return keys;
  }

  bool Read(RowId id, Row& row) override {
    Stmt& s = cached(read_, [&] {
      std::string sql = "SELECT rowid";
      for (std::size_t i = 0; i < file_->fields.size(); ++i) sql += ", " + column(static_cast<int>(i));
      return sql + " FROM rows WHERE rowid = ?";
    });
    s.bind(1, Value{id});
    const bool found = s.step();
    if (found) {
      row.id = id;
      s.readRow(row, file_->fields.size());
    }
    s.reset();
    return found;
  }

  RowId Insert(const std::vector<Value>& values) override {
    checkWritable();
    Stmt& s = cached(insert_, [&] { return insertSql(file_->fields); });
    write(s, values, 0);
    return sqlite3_last_insert_rowid(file_->db());
  }

  void Update(RowId id, const std::vector<Value>& values) override {
    checkWritable();
    if (file_->fields.empty()) return;
    Stmt& s = cached(update_, [&] {
      std::string sets;
      for (std::size_t i = 0; i < file_->fields.size(); ++i) sets += (i ? ", " : "") + column(static_cast<int>(i)) + " = ?";
      return "UPDATE rows SET " + sets + " WHERE rowid = ?";
    });
    s.bind(static_cast<int>(file_->fields.size()) + 1, Value{id});
    write(s, values, 0);
  }

  void Remove(RowId id) override {
    checkWritable();
    Stmt& s = cached(remove_, [] { return std::string("DELETE FROM rows WHERE rowid = ?"); });
    s.bind(1, Value{id});
    file_->beforeWrite();
    run(s);
  }

  void AddIndex(const IndexDef& index) override {
    checkWritable();
    if (!file_->exclusive) throw Error("Tabellen må være åpnet eksklusivt for å lage indeks " + index.name);
    for (const auto& ix : file_->indexes) {
      if (sameName(ix.name, index.name)) throw Error("Indeksen " + index.name + " finnes allerede");
    }
    file_->beforeWrite();
    exec(file_->db(), "SAVEPOINT addindex");
    try {
      createIndex(file_->db(), file_->fields, index, static_cast<int>(file_->indexes.size()));
      exec(file_->db(), "RELEASE addindex");
    } catch (...) {
      exec(file_->db(), "ROLLBACK TO addindex");
      exec(file_->db(), "RELEASE addindex");
      throw;
    }
    file_->indexes.push_back(index);
    file_->afterWrite();
  }

  void BeginBulk() override {
    if (file_->bulkDepth++ == 0) {
      file_->beforeWrite();
      exec(file_->db(), "BEGIN IMMEDIATE");
    }
  }

  void EndBulk() override {
    if (file_->bulkDepth > 0 && --file_->bulkDepth == 0) exec(file_->db(), "COMMIT");
  }

  static void createIndex(sqlite3* db, const std::vector<FieldDef>& fields, const IndexDef& index, int pos) {
    std::string cols;
    for (const auto& name : index.fields) {
      int found = -1;
      for (std::size_t i = 0; i < fields.size(); ++i) {
        if (sameName(fields[i].name, name)) found = static_cast<int>(i);
      }
      if (found < 0) throw ENotFound("Feltet " + name + " finnes ikke (indeks " + index.name + ")");
      cols += (cols.empty() ? "" : ", ") + column(found);
      if ((index.options & ixCaseInsensitive) && storageClassOf(fields[static_cast<std::size_t>(found)].type) == StorageClass::Text) {
        cols += " COLLATE NOCASE";
      }
      if (index.options & ixDescending) cols += " DESC";
    }
    if (cols.empty()) throw Error("Indeksen " + index.name + " har ingen felt");
    exec(db, std::string("CREATE ") + ((index.options & ixUnique) ? "UNIQUE " : "") + "INDEX ix" +
                 std::to_string(pos) + " ON rows (" + cols + ")");
    exec(db, "INSERT INTO _ff_indexes (pos, name, fields, options) VALUES (" + std::to_string(pos) + ", " +
                 sqlQuote(index.name) + ", " + sqlQuote(joinFieldList(index.fields)) + ", " +
                 std::to_string(index.options) + ")");
  }

 private:
  void checkWritable() const {
    if (readOnly_) throw EReadOnly("Tabellen er skrivebeskyttet: " + file_->path());
  }

  // A statement of this handle, prepared on first use (or kept by the file from an earlier
  // handle) and handed back to the file when the handle closes.
  struct CachedStmt {
    std::string sql;
    Stmt stmt;
  };

  template <class MakeSql>
  Stmt& cached(CachedStmt& slot, MakeSql make) {
    if (!slot.stmt) {
      slot.sql = make();
      slot.stmt = file_->statement(slot.sql);
    }
    return slot.stmt;
  }

  void write(Stmt& s, const std::vector<Value>& values, int first) {
    bindRow(s, file_->fields, values, first);
    file_->beforeWrite();
    run(s);
  }

  void run(Stmt& s) {
    try {
      s.step();
    } catch (...) {
      s.reset();
      throw;
    }
    s.reset();
    file_->afterWrite();
  }

  std::shared_ptr<SqliteFile> file_;
  bool readOnly_;
  CachedStmt read_, insert_, update_, remove_, countAll_;
};

void configure(sqlite3* db) {
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, 5000);
  exec(db, "PRAGMA journal_mode=WAL");
  exec(db, "PRAGMA synchronous=FULL");
}

// The number of rows, kept by triggers in the same transaction as every insert and delete, so
// that counting a whole table (a grid's scroll bar) costs nothing, whoever wrote the rows.
void createRowCounter(sqlite3* db) {
  exec(db, "CREATE TABLE _ff_count (n INTEGER NOT NULL)");
  exec(db, "INSERT INTO _ff_count SELECT count(*) FROM rows");
  exec(db, "CREATE TRIGGER _ff_counted_insert AFTER INSERT ON rows BEGIN UPDATE _ff_count SET n = n + 1; END");
  exec(db, "CREATE TRIGGER _ff_counted_delete AFTER DELETE ON rows BEGIN UPDATE _ff_count SET n = n - 1; END");
}

// Asks the schema SQLite has read already, without a statement.
bool hasRowCounter(sqlite3* db) {
  return sqlite3_table_column_metadata(db, "main", "_ff_count", "n", nullptr, nullptr, nullptr, nullptr, nullptr) ==
         SQLITE_OK;
}

// The field dictionary and the table of rows, without indexes.
void createRowsTable(sqlite3* db, const std::vector<FieldDef>& fields) {
  exec(db, "CREATE TABLE _ff_fields (pos INTEGER PRIMARY KEY, name TEXT, type TEXT, size INTEGER, required INTEGER)");
  exec(db, "CREATE TABLE _ff_indexes (pos INTEGER PRIMARY KEY, name TEXT, fields TEXT, options INTEGER)");
  std::string cols;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (sameName(fields[i].name, fields[j].name)) throw Error("Feltet " + fields[i].name + " er oppgitt to ganger");
    }
    if (fields[i].name.empty()) throw Error("Et felt mangler navn");
    cols += (i ? ", " : "") + column(static_cast<int>(i));
    exec(db, "INSERT INTO _ff_fields VALUES (" + std::to_string(i) + ", " + sqlQuote(fields[i].name) + ", " +
                 sqlQuote(std::string(fieldTypeName(fields[i].type))) + ", " + std::to_string(fields[i].size) +
                 ", " + (fields[i].required ? "1" : "0") + ")");
  }
  exec(db, "CREATE TABLE rows (" + (cols.empty() ? std::string("_ff_none") : cols) + ")");
}

void createIndexes(sqlite3* db, const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) {
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    SqliteTable::createIndex(db, fields, indexes[i], static_cast<int>(i));
  }
}

void createSchema(sqlite3* db, const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) {
  createRowsTable(db, fields);
  createIndexes(db, fields, indexes);
  createRowCounter(db);
}

// Rows per transaction of a bulk load: large enough that commits cost nothing to speak of.
constexpr std::int64_t kRowsPerLoadCommit = 100000;

// Inserts rows into a table made by createRowsTable, many to a statement: one INSERT of many
// rows costs about half as much per row as an INSERT per row. The caller fills the row that
// slot() gives, then calls filled(); the rows are held until their statement has run.
class BatchInsert {
 public:
  // withRowId: each row goes in with its own id.
  BatchInsert(sqlite3* db, const std::vector<FieldDef>& fields, bool withRowId)
      : db_(db), fields_(fields), withRowId_(withRowId), rows_(rowsPerInsert()),
        many_(db, insertSql(fields, withRowId, rows_.size()), true) {}

  Row& slot() { return rows_[filled_]; }
  void filled() {
    if (++filled_ == rows_.size()) flush();
  }
  // Inserts the rows held so far.
  void flush() {
    if (filled_ == rows_.size()) {
      insert(many_, 0, filled_);
    } else {
      if (filled_ > 0 && !one_) one_ = Stmt(db_, insertSql(fields_, withRowId_), true);
      for (std::size_t r = 0; r < filled_; ++r) insert(one_, r, r + 1);
    }
    filled_ = 0;
  }

 private:
  std::size_t paramsPerRow() const { return fields_.size() + (withRowId_ ? 1 : 0); }

  // As many rows as fit SQLite's limit on parameters, at most 64.
  std::size_t rowsPerInsert() const {
    constexpr std::size_t kMost = 64;
    if (fields_.empty()) return 1;
    const auto maxParams = static_cast<std::size_t>(sqlite3_limit(db_, SQLITE_LIMIT_VARIABLE_NUMBER, -1));
    return std::clamp<std::size_t>(maxParams / paramsPerRow(), 1, kMost);
  }

  void insert(Stmt& s, std::size_t from, std::size_t to) {
    for (std::size_t r = from; r < to; ++r) {
      const int first = static_cast<int>((r - from) * paramsPerRow());
      if (withRowId_) s.bind(first + 1, Value{rows_[r].id});
      bindRow(s, fields_, rows_[r].values, first + (withRowId_ ? 1 : 0));
    }
    s.step();
    sqlite3_reset(s.get());
  }

  sqlite3* db_;
  const std::vector<FieldDef>& fields_;
  bool withRowId_;
  std::vector<Row> rows_;
  std::size_t filled_ = 0;
  Stmt many_;
  Stmt one_;  // for the last rows, fewer than a whole statement's
};

// Inserts every row of `rows` into a table made by createRowsTable; returns the rows written.
std::int64_t loadRows(sqlite3* db, const std::vector<FieldDef>& fields, RowCursor& rows) {
  BatchInsert insert(db, fields, false);
  std::int64_t written = 0;
  while (rows.Next(insert.slot())) {
    insert.filled();
    if (++written % kRowsPerLoadCommit == 0) {
      insert.flush();
      exec(db, "COMMIT; BEGIN");
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

sqlite3* openDb(const std::string& path, int flags) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close_v2(db);
    throw ECannotOpen("Kan ikke åpne " + path + ": " + msg);
  }
  return db;
}

std::mutex registryMutex;
std::map<std::string, std::weak_ptr<SqliteFile>>& registry() {
  static std::map<std::string, std::weak_ptr<SqliteFile>> files;
  return files;
}

std::string folderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

bool isWritable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

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
  if (isWritable(folderOf(path))) return openDb(fileUri(path, "?mode=ro"), kFlags);
  std::error_code ec;
  const bool pendingLog = std::filesystem::file_size(path + "-wal", ec) > 0 && !ec;
  return openDb(fileUri(path, pendingLog ? "?mode=ro" : "?immutable=1"), kFlags);
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

// Locks the table against other programs' exclusive opens (or, exclusive, against any open
// of theirs). Returns the descriptor that holds the lock.
int lockTable(const std::string& path, bool exclusive) {
  const int lockFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (lockFd < 0) throw ECannotOpen(openError(path, errno));
  if (flock(lockFd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    close(lockFd);
    throw ECannotOpen("Tabellen er i bruk av et annet program: " + path);
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

bool mayWrite(const std::string& path) { return isWritable(path) && isWritable(folderOf(path)); }

// What the store keeps of a file's own tables: its fields, indexes and row counter. Another
// program may have changed them while a parked file was closed.
void readDictionary(SqliteFile& file) {
  sqlite3* db = file.db();
  file.loadDictionary();
  file.counted = hasRowCounter(db);
  if (!file.counted && !sqlite3_db_readonly(db, "main")) {
    // Tables made before the counter existed get it on their first writable open.
    exec(db, "BEGIN IMMEDIATE");
    createRowCounter(db);
    exec(db, "COMMIT");
    file.counted = true;
  }
}

std::shared_ptr<SqliteFile> openFile(const std::string& path, bool exclusive) {
  const int lockFd = lockTable(path, exclusive);
  sqlite3* db = nullptr;
  try {
    db = mayWrite(path) ? openDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX) : openForReading(path);
  } catch (...) {
    close(lockFd);
    throw;
  }
  auto file = std::make_shared<SqliteFile>(db, path, lockFd);
  openingStep(path, [&] {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 5000);
    exec(db, "PRAGMA synchronous=FULL");
    readDictionary(*file);
  });
  return file;
}

// Files parked by their last close, oldest first (registryMutex).
constexpr std::size_t kMaxParkedFiles = 4;
std::deque<std::shared_ptr<SqliteFile>>& parkedFiles() {
  static std::deque<std::shared_ptr<SqliteFile>> files;
  return files;
}

void forgetParked(const std::shared_ptr<SqliteFile>& file) {
  auto& parked = parkedFiles();
  parked.erase(std::remove(parked.begin(), parked.end(), file), parked.end());
}

// Takes a parked file back into use. False when the table file changed meanwhile, or the
// right to write it did: the table is then opened afresh. Throws ECannotOpen when another
// program holds the table.
bool unpark(const std::shared_ptr<SqliteFile>& file, bool exclusive) {
  forgetParked(file);
  const bool readOnly = sqlite3_db_readonly(file->db(), "main") == 1;
  if (!file->unchangedSincePark() || mayWrite(file->path()) == readOnly) return false;
  file->unpark(lockTable(file->path(), exclusive));
  openingStep(file->path(), [&] { readDictionary(*file); });
  return true;
}

void parkWhenClosed(const std::shared_ptr<SqliteFile>& file) {
  if (file->path().empty()) return;  // scratch tables live only as long as their handles
  std::lock_guard lock(registryMutex);
  file->park();
  auto& parked = parkedFiles();
  parked.push_back(file);
  if (parked.size() > kMaxParkedFiles) parked.pop_front();
}

}  // namespace

std::unique_ptr<TableStorage> SqliteProvider::Open(const std::string& path, const OpenMode& mode) {
  std::error_code ec;
  const std::string key = std::filesystem::weakly_canonical(path, ec).string();
  std::lock_guard lock(registryMutex);
  std::shared_ptr<SqliteFile> file = registry()[key].lock();
  if (file && file->parked()) {
    if (!unpark(file, mode.exclusive)) file.reset();
  } else if (file && (file->exclusive || mode.exclusive)) {
    throw ECannotOpen("Tabellen er i bruk: " + path);
  }
  if (!file) {
    file = openFile(path, mode.exclusive);
    registry()[key] = file;
  }
  file->exclusive = mode.exclusive;
  const bool writable = !sqlite3_db_readonly(file->db(), "main");
  return std::make_unique<SqliteTable>(file, mode.readOnly || !writable);
}

void SqliteProvider::Create(const std::string& path, const std::vector<FieldDef>& fields,
                            const std::vector<IndexDef>& indexes) {
  if (std::filesystem::exists(path)) throw Error("Tabellen finnes allerede: " + path);
  if (!isWritable(folderOf(path)) && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    throw EReadOnly("Mappen er skrivebeskyttet: " + folderOf(path));
  }
  const std::string temp = path + ".new";
  std::filesystem::remove(temp);
  sqlite3* db = openDb(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  try {
    configure(db);
    exec(db, "BEGIN");
    createSchema(db, fields, indexes);
    exec(db, "COMMIT");
    exec(db, "PRAGMA journal_mode=DELETE");
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
  sqlite3* wal = openDb(path, SQLITE_OPEN_READWRITE);
  try {
    exec(wal, "PRAGMA journal_mode=WAL");
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
  sqlite3* db = openDb(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
  try {
    sqlite3_extended_result_codes(db, 1);
    // No journal and no syncs while loading: until the rename nobody reads the file.
    exec(db, "PRAGMA journal_mode=OFF");
    exec(db, "PRAGMA synchronous=OFF");
    exec(db, "PRAGMA threads=2");  // the index builds sort on a second core
    exec(db, "BEGIN");
    createRowsTable(db, fields);
    const std::int64_t written = loadRows(db, fields, rows);
    createIndexes(db, fields, indexes);
    createRowCounter(db);
    exec(db, "COMMIT");
    exec(db, "PRAGMA synchronous=FULL");
    exec(db, "PRAGMA journal_mode=WAL");
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
  sqlite3* db = openDb("", SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
  auto file = std::make_shared<SqliteFile>(db, "", -1);
  sqlite3_extended_result_codes(db, 1);
  exec(db, "PRAGMA journal_mode=OFF");
  exec(db, "BEGIN");
  createRowsTable(db, fields);
  {
    BatchInsert insert(db, fields, true);
    fill([&](RowId id, const std::vector<Value>& values) {
      Row& row = insert.slot();
      row.id = id;
      row.values = values;
      insert.filled();
    });
    insert.flush();
  }
  createIndexes(db, fields, indexes);
  createRowCounter(db);
  exec(db, "COMMIT");
  file->loadDictionary();
  file->counted = true;
  return std::make_unique<SqliteTable>(file, true);
}

}  // namespace ff
