#include "store/mariadb/MariaDbTable.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "store/Errors.h"
#include "store/NorwegianOrder.h"
#include "store/mariadb/MariaDbCursor.h"
#include "store/mariadb/MariaDbScan.h"
#include "store/mariadb/MariaDbSql.h"
#include "store/mariadb/MariaDbTableState.h"
#include "store/mariadb/ServerConnection.h"

namespace ff {

MariaDbTable::MariaDbTable(std::shared_ptr<MariaDbTableState> state, bool readOnly)
    : state_(std::move(state)), readOnly_(readOnly) {
  ++state_->handles;
}

MariaDbTable::~MariaDbTable() { --state_->handles; }

const std::vector<FieldDef>& MariaDbTable::Fields() const { return state_->fields; }

const std::vector<IndexDef>& MariaDbTable::Indexes() const { return state_->indexes; }

std::uint64_t MariaDbTable::Generation() const { return state_->generation; }

void MariaDbTable::Refresh() { state_->ForgetOpeningCount(); }

void MariaDbTable::checkWritable() const {
  if (readOnly_) throw EReadOnly("Tabellen er skrivebeskyttet: " + state_->Name());
}

void MariaDbTable::wrote() {
  ++state_->generation;
  written_.reset();
}

std::int64_t MariaDbTable::countOne(const std::string& sql, const std::vector<Value>& params) {
  const auto rows = state_->Connection().Prepare(sql).Query(params);
  return rows.empty() ? 0 : valueToInt(rows[0][0]);
}

std::int64_t MariaDbTable::Count(const RowSelection& sel) {
  std::vector<Value> params;
  const std::string where = MariaDbScan::WhereOf(*state_, sel, params);
  if (where.empty()) {
    const std::optional<std::int64_t> opening = state_->TakeOpeningCount();
    return (opening ? *opening
                    : countOne("SELECT row_count FROM " + state_->Dictionary("_ff_tables") + " WHERE id = ?",
                               {Value{std::int64_t{state_->Id()}}})) +
           state_->bulkCountChange;
  }
  return countOne("SELECT COUNT(*) FROM " + state_->RowsTable() + " WHERE " + where, params);
}

std::unique_ptr<RowCursor> MariaDbTable::scan(const RowSelection& sel, const RowOrder& order,
                                              const std::optional<RowKey>& from, ScanDirection dir, std::int64_t skip) {
  return std::make_unique<MariaDbCursor>(state_, sel, order, from, dir, skip);
}

std::unique_ptr<RowCursor> MariaDbTable::Scan(const RowSelection& sel, const RowOrder& order,
                                              const std::optional<RowKey>& from, ScanDirection dir) {
  return scan(sel, order, from, dir, 0);
}

std::unique_ptr<RowCursor> MariaDbTable::ScanAt(const RowSelection& sel, const RowOrder& order, std::int64_t skip,
                                                ScanDirection dir) {
  return scan(sel, order, std::nullopt, dir, skip);
}

std::int64_t MariaDbTable::CountBefore(const RowSelection& sel, const RowOrder& order, const RowKey& key) {
  std::vector<Value> params;
  const std::string sql = MariaDbScan(*state_, sel, order, ScanDirection::Backward).CountAfter(key, params);
  return countOne(sql, params);
}

bool MariaDbTable::Read(RowId id, Row& row) {
  // A post reads its row back at once: the values just written are that row.
  if (auto written = std::exchange(written_, std::nullopt); written && written->row.id == id) {
    versions_.Remember(id, written->version);
    row = std::move(written->row);
    return true;
  }
  std::string sql = "SELECT _ff_ver";
  for (std::size_t i = 0; i < state_->fields.size(); ++i) sql += ", " + ColumnName(static_cast<int>(i));
  auto rows = state_->Connection().Prepare(sql + " FROM " + state_->RowsTable() + " WHERE _ff_id = ?").Query({Value{id}});
  if (rows.empty()) {
    versions_.Forget(id);
    return false;
  }
  versions_.Remember(id, valueToInt(rows[0][0]));
  row.id = id;
  row.values.assign(std::make_move_iterator(rows[0].begin() + 1), std::make_move_iterator(rows[0].end()));
  return true;
}

std::vector<Value> MariaDbTable::columnValues(const std::vector<Value>& values) const {
  std::vector<Value> out;
  for (std::size_t i = 0; i < state_->fields.size(); ++i) {
    out.push_back(i < values.size() ? valueAsStored(values[i], state_->fields[i].type) : Value{});
  }
  AppendSortKeys(out, state_->sortKeyFields, out);
  return out;
}

RowId MariaDbTable::Insert(const std::vector<Value>& values) {
  checkWritable();
  std::string columns = "_ff_ver", marks = "0";
  for (std::size_t i = 0; i < state_->fields.size(); ++i) columns += ", " + ColumnName(static_cast<int>(i));
  for (int f : state_->sortKeyFields) columns += ", " + SortKeyColumnName(f);
  std::vector<Value> params = columnValues(values);
  for (std::size_t i = 0; i < params.size(); ++i) marks += ", ?";
  const std::string insert = "INSERT INTO " + state_->RowsTable() + " (" + columns + ") VALUES (" + marks + ")";
  const auto result = insertCounted(insert, params);
  const RowId id = static_cast<RowId>(result.insertId);
  wrote();
  params.resize(state_->fields.size());
  written_ = Written{Row{id, std::move(params)}, 0};
  return id;
}

void MariaDbTable::explainMissedWrite(RowId id) {
  Row current;
  versions_.Forget(id);
  const bool stillThere = Read(id, current);
  versions_.Refuse(id, stillThere, state_->Name());
}

std::string MariaDbTable::versionCheck(RowId id, std::vector<Value>& params) const {
  const auto seen = versions_.Of(id);
  if (!seen) return "";
  params.emplace_back(*seen);
  return " AND _ff_ver = ?";
}

void MariaDbTable::Update(RowId id, const std::vector<Value>& values) {
  checkWritable();
  std::string sql = "UPDATE " + state_->RowsTable() + " SET _ff_ver = _ff_ver + 1";
  for (std::size_t i = 0; i < state_->fields.size(); ++i) sql += ", " + ColumnName(static_cast<int>(i)) + " = ?";
  for (int f : state_->sortKeyFields) sql += ", " + SortKeyColumnName(f) + " = ?";
  sql += " WHERE _ff_id = ?";
  std::vector<Value> params = columnValues(values);
  params.emplace_back(id);
  const auto seen = versions_.Of(id);
  sql += versionCheck(id, params);
  const auto result = state_->Connection().Write(sql, params, BinaryColumns(state_->fields));
  wrote();
  if (result.changed == 0) explainMissedWrite(id);
  if (seen) {
    params.resize(state_->fields.size());
    written_ = Written{Row{id, std::move(params)}, *seen + 1};
  }
}

void MariaDbTable::Remove(RowId id) {
  checkWritable();
  std::vector<Value> params{Value{id}};
  const std::string sql = "DELETE FROM " + state_->RowsTable() + " WHERE _ff_id = ?" + versionCheck(id, params);
  const auto result = writeCounted(sql, params, -1, state_->deletesCountedByTrigger);
  wrote();
  if (result.changed == 0) explainMissedWrite(id);
  versions_.Forget(id);
}

void MariaDbTable::AddIndex(const IndexDef& index) {
  checkWritable();
  if (!state_->Exclusive()) throw Error("Tabellen må være åpnet eksklusivt for å lage indeks " + index.name);
  for (const auto& ix : state_->indexes) {
    if (sameName(ix.name, index.name)) throw Error("Indeksen " + index.name + " finnes allerede");
  }
  if (index.fields.empty()) throw Error("Indeksen " + index.name + " har ingen felt");
  std::string alter = "ALTER TABLE " + state_->RowsTable();
  std::vector<int> modified;
  for (const auto& name : index.fields) {
    const int i = FieldPosition(state_->fields, name);
    if (i < 0) throw ENotFound("Feltet " + name + " finnes ikke (indeks " + index.name + ")");
    const FieldDef& field = state_->fields[static_cast<std::size_t>(i)];
    // A text field indexed for the first time becomes a column the index holds whole.
    if (storageClassOf(field.type) == StorageClass::Text && !IsIndexed(state_->indexes, field.name) &&
        std::find(modified.begin(), modified.end(), i) == modified.end()) {
      alter += " MODIFY " + ColumnName(i) + " " + ColumnType(field, true) + ",";
      modified.push_back(i);
    }
  }
  std::vector<IndexDef> withNew = state_->indexes;
  withNew.push_back(index);
  const std::vector<int> keyFields = SortKeyFields(state_->fields, withNew);
  std::vector<int> newKeys;
  std::set_difference(keyFields.begin(), keyFields.end(), state_->sortKeyFields.begin(), state_->sortKeyFields.end(),
                      std::back_inserter(newKeys));
  if (!newKeys.empty()) state_->AddSortKeyColumns(newKeys);
  const int pos = static_cast<int>(state_->indexes.size());
  state_->Connection().Execute(alter + " ADD " + IndexDefinition(state_->fields, index, pos));
  state_->Connection()
      .Prepare("INSERT INTO " + state_->Dictionary("_ff_indexes") + " (tbl, pos, name, fields, options) VALUES (?, ?, ?, ?, ?)")
      .Execute({Value{std::int64_t{state_->Id()}}, Value{std::int64_t{pos}}, Value{index.name},
                Value{joinFieldList(index.fields)}, Value{std::int64_t{StoredIndexOptions(index, state_->fields)}}});
  state_->indexes.push_back(index);
  state_->sortKeyFields = keyFields;
  state_->KeepDefinition();
  wrote();
}

ServerConnection::WriteResult MariaDbTable::writeCounted(const std::string& sql, const std::vector<Value>& params,
                                                         std::int64_t changePerRow, bool countedByTrigger,
                                                         const std::vector<bool>& binary) {
  ServerConnection& connection = state_->Connection();
  if (countedByTrigger) return connection.Write(sql, params, binary);
  if (state_->bulkLoads > 0) {
    const auto result = connection.Write(sql, params, binary);
    state_->bulkCountChange += changePerRow * static_cast<std::int64_t>(result.changed);
    return result;
  }
  ServerConnection::WriteResult result;
  connection.InTransaction([&] {
    result = connection.Write(sql, params, binary);
    if (result.changed > 0) state_->AddToRowCount(changePerRow * static_cast<std::int64_t>(result.changed));
  });
  return result;
}

ServerConnection::WriteResult MariaDbTable::insertCounted(const std::string& insert, const std::vector<Value>& params) {
  const std::vector<bool> binary = BinaryColumns(state_->fields);
  if (state_->insertsCountedByTrigger || state_->bulkLoads > 0) {
    return writeCounted(insert, params, +1, state_->insertsCountedByTrigger, binary);
  }
  // A durable post costs one round trip and one commit, as a lone prepared INSERT does.
  return {1, state_->Connection().InsertInOneRequest(insert, params, binary, state_->RowCountChange(+1))};
}

void MariaDbTable::BeginBulk() {
  state_->Connection().BeginTransaction();
  ++state_->bulkLoads;
}

void MariaDbTable::EndBulk() {
  if (--state_->bulkLoads == 0 && state_->bulkCountChange != 0) {
    const std::int64_t change = std::exchange(state_->bulkCountChange, 0);
    state_->AddToRowCount(change);
  }
  state_->Connection().CommitTransaction();
}

void MariaDbTable::AbortBulk() noexcept {
  state_->Connection().RollbackTransaction();
  if (state_->bulkLoads > 0 && --state_->bulkLoads == 0) state_->bulkCountChange = 0;
  wrote();
}

}  // namespace ff
