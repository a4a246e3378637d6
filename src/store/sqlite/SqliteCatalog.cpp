#include "store/sqlite/SqliteCatalog.h"

#include <sqlite3.h>

#include <string>

#include "store/Errors.h"
#include "store/NorwegianOrder.h"
#include "store/sqlite/SqliteFile.h"
#include "store/sqlite/SqliteSql.h"
#include "store/sqlite/SqliteStatement.h"
#include "text/SqlQuote.h"

namespace ff {

namespace {

std::string sqlQuote(const std::string& s) { return SqlQuoted(s, '\''); }

// Bumped by every update, so that a write over a row changed since it was read is refused.
constexpr const char* kRowVersionColumn = "_ff_ver INTEGER NOT NULL DEFAULT 0";

// Asks the schema SQLite has read already, without a statement.
bool hasColumn(sqlite3* db, const char* table, const char* column) {
  return sqlite3_table_column_metadata(db, "main", table, column, nullptr, nullptr, nullptr, nullptr, nullptr) ==
         SQLITE_OK;
}

// The sort key column of a text field, filled for the rows already there.
void addSortKeyColumn(sqlite3* db, int field) {
  const std::string column = SqliteSortKeyColumn(field);
  if (hasColumn(db, "rows", column.c_str())) return;
  SqliteExec(db, "ALTER TABLE rows ADD COLUMN " + column);
  SqliteExec(db, "UPDATE rows SET " + column + " = ff_sortkey(" + SqliteColumn(field) + ")");
}

void createIndexOnRows(sqlite3* db, const std::vector<FieldDef>& fields, const IndexDef& index, int pos) {
  std::string cols;
  for (const auto& name : index.fields) {
    const int found = physicalFieldIndex(fields, name);
    if (found < 0) throw ENotFound("Feltet " + name + " finnes ikke (indeks " + index.name + ")");
    const bool text = storageClassOf(fields[static_cast<std::size_t>(found)].type) == StorageClass::Text;
    const bool bySortKey = (index.options & ixCaseInsensitive) && text;
    if (bySortKey) addSortKeyColumn(db, found);
    cols += (cols.empty() ? "" : ", ") + (bySortKey ? SqliteSortKeyColumn(found) : SqliteColumn(found));
    if (index.options & ixDescending) cols += " DESC";
  }
  if (cols.empty()) throw Error("Indeksen " + index.name + " har ingen felt");
  SqliteExec(db, std::string("CREATE ") + ((index.options & ixUnique) ? "UNIQUE " : "") + "INDEX ix" +
                     std::to_string(pos) + " ON rows (" + cols + ")");
}

// Indexes of earlier builds ordered text by SQLite's NOCASE, which folds only A–Z: they are
// made again on sort keys, rows untouched.
void rebuildOutdatedIndexes(SqliteFile& file) {
  sqlite3* db = file.db();
  for (std::size_t pos = 0; pos < file.indexes.size(); ++pos) {
    const IndexDef& index = file.indexes[pos];
    if (!OrdersBySortKey(index, file.fields)) continue;
    const std::string ix = "ix" + std::to_string(pos);
    SqliteExec(db, "DROP INDEX IF EXISTS " + ix);
    createIndexOnRows(db, file.fields, index, static_cast<int>(pos));
    SqliteExec(db, "UPDATE _ff_indexes SET options = " + std::to_string(StoredIndexOptions(index, file.fields)) +
                       " WHERE pos = " + std::to_string(pos));
  }
}

}  // namespace

void CreateRowCounter(sqlite3* db) {
  SqliteExec(db, "CREATE TABLE _ff_count (n INTEGER NOT NULL)");
  SqliteExec(db, "INSERT INTO _ff_count SELECT count(*) FROM rows");
  SqliteExec(db, "CREATE TRIGGER _ff_counted_insert AFTER INSERT ON rows BEGIN UPDATE _ff_count SET n = n + 1; END");
  SqliteExec(db, "CREATE TRIGGER _ff_counted_delete AFTER DELETE ON rows BEGIN UPDATE _ff_count SET n = n - 1; END");
}

void CreateIdMark(sqlite3* db) {
  SqliteExec(db, "CREATE TABLE _ff_lastid (n INTEGER NOT NULL)");
  SqliteExec(db, "INSERT INTO _ff_lastid SELECT coalesce(max(rowid), 0) FROM rows");
  SqliteExec(db,
             "CREATE TRIGGER _ff_lastid_insert AFTER INSERT ON rows WHEN new.rowid > (SELECT n FROM _ff_lastid) "
             "BEGIN UPDATE _ff_lastid SET n = new.rowid; END");
}

void CreateRowsTable(sqlite3* db, const std::vector<FieldDef>& fields) {
  SqliteExec(db,
             "CREATE TABLE _ff_fields (pos INTEGER PRIMARY KEY, name TEXT, type TEXT, size INTEGER, required INTEGER)");
  SqliteExec(db, "CREATE TABLE _ff_indexes (pos INTEGER PRIMARY KEY, name TEXT, fields TEXT, options INTEGER)");
  std::string cols;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (sameName(fields[i].name, fields[j].name)) throw Error("Feltet " + fields[i].name + " er oppgitt to ganger");
    }
    if (fields[i].name.empty()) throw Error("Et felt mangler navn");
    cols += (i ? ", " : "") + SqliteColumn(static_cast<int>(i));
    SqliteExec(db, "INSERT INTO _ff_fields VALUES (" + std::to_string(i) + ", " + sqlQuote(fields[i].name) + ", " +
                       sqlQuote(std::string(fieldTypeName(fields[i].type))) + ", " + std::to_string(fields[i].size) +
                       ", " + (fields[i].required ? "1" : "0") + ")");
  }
  SqliteExec(db, "CREATE TABLE rows (" + cols + (cols.empty() ? "" : ", ") + kRowVersionColumn + ")");
}

void CreateIndex(sqlite3* db, const std::vector<FieldDef>& fields, const IndexDef& index, int pos) {
  createIndexOnRows(db, fields, index, pos);
  SqliteExec(db, "INSERT INTO _ff_indexes (pos, name, fields, options) VALUES (" + std::to_string(pos) + ", " +
                     sqlQuote(index.name) + ", " + sqlQuote(joinFieldList(index.fields)) + ", " +
                     std::to_string(StoredIndexOptions(index, fields)) + ")");
}

void CreateIndexes(sqlite3* db, const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) {
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    CreateIndex(db, fields, indexes[i], static_cast<int>(i));
  }
}

void CreateSchema(sqlite3* db, const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) {
  CreateRowsTable(db, fields);
  CreateIndexes(db, fields, indexes);
  CreateRowCounter(db);
  CreateIdMark(db);
}

void LoadDictionary(SqliteFile& file) {
  file.fields.clear();
  file.indexes.clear();
  file.sortKeysOutdated = false;
  // Kept between loads: a parked file loads its dictionary again on every reopen.
  const std::string fieldsSql = "SELECT name, type, size, required FROM _ff_fields ORDER BY pos";
  SqliteStatement f = file.statement(fieldsSql);
  while (f.step()) {
    FieldDef def;
    def.name = valueToString(f.column(0));
    def.type = fieldTypeFromName(valueToString(f.column(1))).value_or(FieldType::Unknown);
    def.size = static_cast<int>(valueToInt(f.column(2)));
    def.required = valueToInt(f.column(3)) != 0;
    file.fields.push_back(def);
  }
  file.keepStatement(fieldsSql, std::move(f));
  const std::string indexesSql = "SELECT name, fields, options FROM _ff_indexes ORDER BY pos";
  SqliteStatement ix = file.statement(indexesSql);
  while (ix.step()) {
    IndexDef index{valueToString(ix.column(0)), splitFieldList(valueToString(ix.column(1))),
                   static_cast<unsigned>(valueToInt(ix.column(2)))};
    const bool keyed = (index.options & kSortKeyedIndex) != 0;
    index.options &= ~kSortKeyedIndex;
    if (!keyed && OrdersBySortKey(index, file.fields)) file.sortKeysOutdated = true;
    file.indexes.push_back(std::move(index));
  }
  file.keepStatement(indexesSql, std::move(ix));
  file.sortKeyFields = SortKeyFields(file.fields, file.indexes);
}

namespace {

// Tables made by earlier builds get what they lack on their first writable open, all or none.
void completeSchema(SqliteFile& file, bool idMarked) {
  sqlite3* db = file.db();
  SqliteExec(db, "BEGIN IMMEDIATE");
  try {
    if (!file.counted) CreateRowCounter(db);
    if (!idMarked) CreateIdMark(db);
    if (!file.versioned) SqliteExec(db, "ALTER TABLE rows ADD COLUMN " + std::string(kRowVersionColumn));
    if (file.sortKeysOutdated) rebuildOutdatedIndexes(file);
    SqliteExec(db, "COMMIT");
  } catch (...) {
    SqliteExec(db, "ROLLBACK");
    throw;
  }
  file.counted = file.versioned = true;
  file.sortKeysOutdated = false;
  file.afterWrite();
}

}  // namespace

void ReadDictionary(SqliteFile& file) {
  sqlite3* db = file.db();
  file.dictionaryVersion = file.dataVersion();
  LoadDictionary(file);
  file.counted = hasColumn(db, "_ff_count", "n");
  const bool idMarked = hasColumn(db, "_ff_lastid", "n");
  file.versioned = hasColumn(db, "rows", "_ff_ver");
  const bool complete = file.counted && idMarked && file.versioned && !file.sortKeysOutdated;
  if (!complete && !sqlite3_db_readonly(db, "main")) completeSchema(file, idMarked);
}

}  // namespace ff
