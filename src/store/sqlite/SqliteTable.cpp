#include "store/sqlite/SqliteTable.h"

#include <sqlite3.h>

#include <filesystem>

#include "store/Errors.h"
#include "store/NorwegianOrder.h"
#include "store/sqlite/SqliteCatalog.h"
#include "store/sqlite/SqliteConnections.h"
#include "store/sqlite/SqliteCursor.h"
#include "store/sqlite/SqliteFile.h"
#include "store/sqlite/SqliteScan.h"
#include "store/sqlite/SqliteSql.h"

namespace ff {

namespace {

// Rows not read through this handle (no version to bind) are written unchecked.
constexpr const char* kSameVersion = " AND _ff_ver = coalesce(?, _ff_ver)";

}  // namespace

SqliteTable::SqliteTable(std::shared_ptr<SqliteFile> file, bool readOnly)
    : file_(std::move(file)), readOnly_(readOnly) {
  ++file_->handles;
}

SqliteTable::~SqliteTable() {
  for (CachedStmt* slot : {&read_, &insert_, &update_, &remove_, &countAll_}) {
    if (slot->stmt) file_->keepStatement(std::move(slot->sql), std::move(slot->stmt));
  }
  --file_->handles;
  if (file_->handles == 0) {
    file_->exclusive = false;
    ParkWhenClosed(file_);
  }
}

const std::vector<FieldDef>& SqliteTable::Fields() const { return file_->fields; }

const std::vector<IndexDef>& SqliteTable::Indexes() const { return file_->indexes; }

std::uint64_t SqliteTable::Generation() const { return file_->generation(); }

std::int64_t SqliteTable::Count(const RowSelection& sel) {
  file_->endOpeningRead();
  if (file_->counted && !sel.filter && sel.equal.empty()) {
    SqliteStatement& all = cached(countAll_, [] { return std::string("SELECT n FROM _ff_count"); });
    all.step();
    const std::int64_t n = valueToInt(all.column(0));
    all.reset();
    return n;
  }
  std::vector<Value> params;
  const std::string where = KeysetScanSql::WhereOf(SqliteScanDialect(), file_->fields, sel, params);
  SqliteStatement s(file_->db(), "SELECT count(*) FROM rows" + (where.empty() ? "" : " WHERE " + where));
  s.bindAll(params);
  s.step();
  return valueToInt(s.column(0));
}

std::unique_ptr<RowCursor> SqliteTable::Scan(const RowSelection& sel, const RowOrder& order,
                                             const std::optional<RowKey>& from, ScanDirection dir) {
  return std::make_unique<SqliteCursor>(file_, sel, order, from, dir);
}

std::unique_ptr<RowCursor> SqliteTable::ScanAt(const RowSelection& sel, const RowOrder& order, std::int64_t skip,
                                               ScanDirection dir) {
  return std::make_unique<SqliteCursor>(file_, sel, order, std::nullopt, dir, skip);
}

std::int64_t SqliteTable::CountBefore(const RowSelection& sel, const RowOrder& order, const RowKey& key) {
  file_->endOpeningRead();
  std::vector<Value> params;
  SqliteStatement s(file_->db(), SqliteScanOf(*file_, sel, order, ScanDirection::Backward).CountAfter(key, params));
  s.bindAll(params);
  s.step();
  return valueToInt(s.column(0));
}

std::vector<RowKey> SqliteTable::SampleKeys(const RowSelection& sel, const RowOrder& order, std::int64_t every) {
  file_->endOpeningRead();
  std::vector<Value> params;
  const auto scan = SqliteScanOf(*file_, sel, order, ScanDirection::Forward);
  SqliteStatement s(file_->db(), scan.Select(std::nullopt, {std::nullopt, 0, true}, params));
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

bool SqliteTable::Read(RowId id, Row& row) {
  file_->endOpeningRead();
  SqliteStatement& s = cached(read_, [&] {
    std::string sql = "SELECT rowid";
    for (std::size_t i = 0; i < file_->fields.size(); ++i) sql += ", " + SqliteColumn(static_cast<int>(i));
    return sql + (file_->versioned ? ", _ff_ver" : "") + " FROM rows WHERE rowid = ?";
  });
  s.bind(1, Value{id});
  const bool found = s.step();
  if (found) {
    row.id = id;
    s.readRow(row, file_->fields.size());
    const int versionColumn = static_cast<int>(file_->fields.size()) + 1;
    if (file_->versioned) versions_.Remember(id, sqlite3_column_int64(s.get(), versionColumn));
  } else {
    versions_.Forget(id);
  }
  s.reset();
  return found;
}

RowId SqliteTable::Insert(const std::vector<Value>& values) {
  checkWritable();
  SqliteStatement& s = cached(insert_, [&] { return InsertWithNextIdSql(file_->fields, file_->sortKeyFields); });
  write(s, values);
  return sqlite3_last_insert_rowid(file_->db());
}

void SqliteTable::Update(RowId id, const std::vector<Value>& values) {
  checkWritable();
  if (file_->fields.empty()) return;
  SqliteStatement& s = cached(update_, [&] {
    std::string sets;
    for (std::size_t i = 0; i < file_->fields.size(); ++i) {
      sets += (i ? ", " : "") + SqliteColumn(static_cast<int>(i)) + " = ?";
    }
    for (int f : file_->sortKeyFields) sets += ", " + SqliteSortKeyColumn(f) + " = ?";
    return "UPDATE rows SET _ff_ver = _ff_ver + 1, " + sets + " WHERE rowid = ?" + kSameVersion;
  });
  const int idParam = static_cast<int>(file_->fields.size() + file_->sortKeyFields.size()) + 1;
  bindRowAndVersion(s, idParam, id);
  write(s, values);
  refuseWhenMissed(id);
  if (const auto version = versions_.Of(id)) versions_.Remember(id, *version + 1);
}

void SqliteTable::Remove(RowId id) {
  checkWritable();
  SqliteStatement& s = cached(remove_, [] { return std::string("DELETE FROM rows WHERE rowid = ?") + kSameVersion; });
  bindRowAndVersion(s, 1, id);
  file_->beforeWrite();
  run(s);
  refuseWhenMissed(id);
  versions_.Forget(id);
}

void SqliteTable::bindRowAndVersion(SqliteStatement& s, int idParam, RowId id) {
  s.bind(idParam, Value{id});
  const auto version = versions_.Of(id);
  s.bind(idParam + 1, version ? Value{*version} : Value{});
}

void SqliteTable::refuseWhenMissed(RowId id) {
  if (sqlite3_changes(file_->db()) > 0) return;
  versions_.Forget(id);
  Row current;
  const bool stillThere = Read(id, current);
  versions_.Refuse(id, stillThere, std::filesystem::path(file_->path()).stem().string());
}

void SqliteTable::AddIndex(const IndexDef& index) {
  checkWritable();
  if (!file_->exclusive) throw Error("Tabellen må være åpnet eksklusivt for å lage indeks " + index.name);
  for (const auto& ix : file_->indexes) {
    if (sameName(ix.name, index.name)) throw Error("Indeksen " + index.name + " finnes allerede");
  }
  file_->beforeWrite();
  SqliteExec(file_->db(), "SAVEPOINT addindex");
  try {
    CreateIndex(file_->db(), file_->fields, index, static_cast<int>(file_->indexes.size()));
    SqliteExec(file_->db(), "RELEASE addindex");
  } catch (...) {
    SqliteExec(file_->db(), "ROLLBACK TO addindex");
    SqliteExec(file_->db(), "RELEASE addindex");
    throw;
  }
  file_->indexes.push_back(index);
  // Writes now keep the new index's sort keys too.
  file_->sortKeyFields = SortKeyFields(file_->fields, file_->indexes);
  insert_ = {};
  update_ = {};
  file_->afterWrite();
}

void SqliteTable::BeginBulk() {
  if (file_->bulkDepth++ == 0) {
    file_->beforeWrite();
    SqliteExec(file_->db(), "BEGIN IMMEDIATE");
  }
}

void SqliteTable::EndBulk() {
  if (file_->bulkDepth > 0 && --file_->bulkDepth == 0) SqliteExec(file_->db(), "COMMIT");
}

void SqliteTable::AbortBulk() noexcept {
  if (file_->bulkDepth == 0) return;
  file_->bulkDepth = 0;
  file_->beforeWrite();
  // SQLite has rolled back by itself after some failures (a full disk, say).
  if (!sqlite3_get_autocommit(file_->db())) sqlite3_exec(file_->db(), "ROLLBACK", nullptr, nullptr, nullptr);
  file_->afterWrite();
}

void SqliteTable::checkWritable() const {
  if (readOnly_) throw EReadOnly("Tabellen er skrivebeskyttet: " + file_->path());
}

template <class MakeSql>
SqliteStatement& SqliteTable::cached(CachedStmt& slot, MakeSql make) {
  if (!slot.stmt) {
    slot.sql = make();
    slot.stmt = file_->statement(slot.sql);
  }
  return slot.stmt;
}

void SqliteTable::write(SqliteStatement& s, const std::vector<Value>& values) {
  BindRow(s, file_->fields, values);
  BindSortKeys(s, file_->sortKeyFields, values, static_cast<int>(file_->fields.size()));
  file_->beforeWrite();
  run(s);
}

void SqliteTable::run(SqliteStatement& s) {
  try {
    s.step();
  } catch (...) {
    s.reset();
    throw;
  }
  s.reset();
  file_->afterWrite();
}

}  // namespace ff
