#include "store/mariadb/MariaDbTableState.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>
#include <utility>

#include "store/Errors.h"
#include "store/NorwegianOrder.h"
#include "store/mariadb/MariaDbSql.h"
#include "store/mariadb/ServerConnection.h"

namespace ff {

namespace {

// Each workstation that holds a table open shared holds one of these named locks; one that
// opens it exclusively holds the ":x" lock and checks that no slot is held. Named locks are
// the connection's own, so the server frees them when the connection ends or drops.
constexpr int kSharedSlots = 64;

std::string slotLock(const std::string& base, int slot) { return base + ":s" + std::to_string(slot); }
std::string exclusiveLock(const std::string& base) { return base + ":x"; }

// FNV-1a: a stable short name for any database and table (lock names hold 64 characters).
std::uint64_t fnv1a(const std::string& s) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

bool isOne(const std::vector<std::vector<Value>>& rows, std::size_t column = 0) {
  return !rows.empty() && rows[0].size() > column && !isNull(rows[0][column]) && valueToInt(rows[0][column]) == 1;
}

int randomSlot() { return static_cast<int>(std::random_device{}() % kSharedSlots); }

// Bits of the lock column of the dictionary request.
constexpr std::int64_t kGotSlot = 1;
constexpr std::int64_t kNoExclusiveHolder = 2;

}  // namespace

MariaDbTableState::MariaDbTableState(std::shared_ptr<ServerConnection> connection, std::string database,
                                     std::string tableKey, bool exclusive)
    : connection_(std::move(connection)), database_(std::move(database)),
      lockBase_(LockBase(database_, tableKey)), exclusive_(exclusive) {}

std::shared_ptr<MariaDbTableState> MariaDbTableState::Open(std::shared_ptr<ServerConnection> connection,
                                                           const std::string& database, const std::string& table,
                                                           bool exclusive) {
  std::shared_ptr<MariaDbTableState> state(new MariaDbTableState(std::move(connection), database, NameKey(table), exclusive));
  const int firstSlot = randomSlot();
  state->readDictionary(table, exclusive ? std::string() : slotLock(state->lockBase_, firstSlot), true);
  if (state->ofEarlierBuild_) state->readCountingTriggers();
  if (state->heldLock_.empty()) state->lock(firstSlot + 1, 0);
  if (exclusive && state->sortKeysOutdated) state->renewSortKeys();
  if (exclusive && state->ofEarlierBuild_) state->dropCountingTriggers();
  state->connection_->Hold(*state);
  return state;
}

std::shared_ptr<MariaDbTableState> MariaDbTableState::OpenUnfinished(std::shared_ptr<ServerConnection> connection,
                                                                     const std::string& database,
                                                                     const std::string& table) {
  std::shared_ptr<MariaDbTableState> state(new MariaDbTableState(std::move(connection), database, NameKey(table), true));
  state->readDictionary(table, std::string(), false);
  state->lockExclusive(0);
  return state;
}

MariaDbTableState::~MariaDbTableState() {
  connection_->Leave(*this);
  if (heldLock_.empty() || connection_->Lost()) return;
  try {
    releaseLock(heldLock_);
  } catch (const Error&) {
    // The connection dropped just now; the server has freed the lock with it.
  }
}

std::string MariaDbTableState::LockBase(const std::string& database, const std::string& tableKey) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a(database + "/" + tableKey)));
  return std::string("kvff:") + hex;
}

ServerConnection& MariaDbTableState::Connection() const {
  if (!lostLock_.empty()) throw ECannotOpen(lostLock_);
  return *connection_;
}

void MariaDbTableState::lock(int firstSlot, unsigned waitSeconds) {
  if (exclusive_) {
    lockExclusive(waitSeconds);
  } else {
    lockShared(firstSlot);
  }
}

void MariaDbTableState::Retake() {
  heldLock_.clear();  // the server freed it with the old connection
  try {
    // The server may still be ending the old session, which held the exclusive lock.
    lock(randomSlot(), ServerConnection::LockWaitSeconds());
  } catch (const ECannotOpen&) {
    lose("tatt");
  }
  // Without the lock another workstation may have added an index meanwhile, or dropped it.
  Definition now;
  try {
    now = readDefinition();
  } catch (const ENotFound&) {
    // The database is gone: nothing is left of the definition.
  }
  if (now != definition_) lose("endret");
}

void MariaDbTableState::lose(const char* done) {
  if (!heldLock_.empty()) releaseLock(heldLock_);
  connection_->Leave(*this);
  lostLock_ = "Forbindelsen til serveren " + connection_->ServerName() + " ble brutt, og i mellomtiden har en annen " +
              "arbeidsstasjon " + done + " tabellen " + name_ + " (" + database_ + "). Lukk tabellen og åpne den igjen";
  throw ECannotOpen(lostLock_);
}

void MariaDbTableState::KeepDefinition() { definition_ = readDefinition(); }

// Fields and indexes come in one request: rows of kind 0 are fields, of kind 1 indexes. They
// are put in order here: ordered on the server, the union would go through a temporary table.
MariaDbTableState::Definition MariaDbTableState::readDefinition() const {
  const Value id{std::int64_t{id_}};
  auto rows = connection_
                  ->Prepare("SELECT 0 AS kind, pos, name, type, size, required FROM " + Dictionary("_ff_fields") +
                            " WHERE tbl = ? UNION ALL SELECT 1, pos, name, fields, options, 0 FROM " +
                            Dictionary("_ff_indexes") + " WHERE tbl = ?")
                  .Query({id, id});
  std::sort(rows.begin(), rows.end(), [](const std::vector<Value>& a, const std::vector<Value>& b) {
    return std::pair(valueToInt(a[0]), valueToInt(a[1])) < std::pair(valueToInt(b[0]), valueToInt(b[1]));
  });
  Definition definition;
  for (auto& row : rows) {
    if (valueToInt(row[0]) == 0) {
      definition.fields.emplace_back(std::make_move_iterator(row.begin() + 2), std::make_move_iterator(row.end()));
    } else {
      definition.indexes.emplace_back(std::make_move_iterator(row.begin() + 2), std::make_move_iterator(row.end() - 1));
    }
  }
  return definition;
}

std::string MariaDbTableState::RowsTable() const {
  return QuoteIdentifier(database_) + ".`t" + std::to_string(id_) + "`";
}

std::string MariaDbTableState::Dictionary(const char* table) const {
  return QuoteIdentifier(database_) + "." + QuoteIdentifier(table);
}

// The table row comes with the outcome of trying the first shared slot and the kept row count.
void MariaDbTableState::readDictionary(const std::string& table, const std::string& firstSlot, bool ready) {
  const std::string lock = firstSlot.empty() ? "0" : "GET_LOCK(?, 0) + 2 * IS_FREE_LOCK(?)";
  std::vector<Value> params;
  if (!firstSlot.empty()) params = {Value{firstSlot}, Value{exclusiveLock(lockBase_)}};
  params.emplace_back(NameKey(table));
  std::vector<std::vector<Value>> rows;
  try {
    rows = connection_
               ->Prepare("SELECT id, name, ready, " + lock + ", row_count FROM " + Dictionary("_ff_tables") +
                         " WHERE name_key = ?")
               .Query(params);
  } catch (const ENotFound&) {
    throw ECannotOpen("Databasen " + database_ + " finnes ikke på serveren " + connection_->ServerName());
  }
  const std::int64_t lockOutcome = rows.empty() ? 0 : valueToInt(rows[0][3]);
  if (lockOutcome & kGotSlot) heldLock_ = firstSlot;
  if (rows.empty() || (valueToInt(rows[0][2]) > 0) != ready) {
    throw ECannotOpen("Tabellen " + table + " finnes ikke i " + database_ + " på serveren " + connection_->ServerName());
  }
  if ((lockOutcome & kGotSlot) && !(lockOutcome & kNoExclusiveHolder)) inUse();
  id_ = static_cast<int>(valueToInt(rows[0][0]));
  name_ = valueToString(rows[0][1]);
  ofEarlierBuild_ = valueToInt(rows[0][2]) == kTableReadyCountedByTriggers;
  // An exclusive open of a table of an earlier build may count its rows anew.
  if (!ofEarlierBuild_) openingCount_ = valueToInt(rows[0][4]);
  openedAt_ = std::chrono::steady_clock::now();
  openedGeneration_ = generation;
  KeepDefinition();
  for (const auto& row : definition_.fields) {
    fields.push_back({valueToString(row[0]), fieldTypeFromName(valueToString(row[1])).value_or(FieldType::Unknown),
                      static_cast<int>(valueToInt(row[2])), valueToInt(row[3]) != 0});
  }
  for (const auto& row : definition_.indexes) {
    IndexDef index{valueToString(row[0]), splitFieldList(valueToString(row[1])), static_cast<unsigned>(valueToInt(row[2]))};
    const bool keyed = (index.options & kSortKeyedIndex) != 0;
    index.options &= ~kSortKeyedIndex;
    if (!keyed && OrdersBySortKey(index, fields)) sortKeysOutdated = true;
    indexes.push_back(std::move(index));
  }
  if (!sortKeysOutdated) sortKeyFields = SortKeyFields(fields, indexes);
}

// Tables of earlier builds ordered text by the server's collation. Held exclusively, nobody
// else writes while their indexes are made again on sort keys; shared opens meanwhile keep
// the server's order.
void MariaDbTableState::renewSortKeys() {
  const std::vector<int> keyFields = SortKeyFields(fields, indexes);
  // Each step may be done again: a stop half-way leaves the table as usable as before.
  AddSortKeyColumns(keyFields);
  for (std::size_t pos = 0; pos < indexes.size(); ++pos) {
    const IndexDef& index = indexes[pos];
    if (!OrdersBySortKey(index, fields)) continue;
    const std::string name = "`ix" + std::to_string(pos) + "`";
    connection_->Execute("ALTER TABLE " + RowsTable() + " DROP INDEX " + name + ", ADD " +
                         IndexDefinition(fields, index, static_cast<int>(pos)));
    connection_->Prepare("UPDATE " + Dictionary("_ff_indexes") + " SET options = ? WHERE tbl = ? AND pos = ?")
        .Execute({Value{std::int64_t{StoredIndexOptions(index, fields)}}, Value{std::int64_t{id_}},
                  Value{static_cast<std::int64_t>(pos)}});
  }
  sortKeyFields = keyFields;
  sortKeysOutdated = false;
  KeepDefinition();
}

std::optional<std::int64_t> MariaDbTableState::TakeOpeningCount() {
  const std::optional<std::int64_t> count = std::exchange(openingCount_, std::nullopt);
  if (generation != openedGeneration_ || std::chrono::steady_clock::now() - openedAt_ > kReadAheadLife) {
    return std::nullopt;
  }
  return count;
}

void MariaDbTableState::AddToRowCount(std::int64_t change) {
  connection_->Prepare("UPDATE " + Dictionary("_ff_tables") + " SET row_count = row_count + ? WHERE id = ?")
      .Execute({Value{change}, Value{std::int64_t{id_}}});
}

std::string MariaDbTableState::RowCountChange(std::int64_t change) const {
  return "UPDATE " + Dictionary("_ff_tables") + " SET row_count = row_count + " + std::to_string(change) +
         " WHERE id = " + std::to_string(id_);
}

std::string MariaDbTableState::countingTrigger(const char* event) const {
  return "t" + std::to_string(id_) + "_counted_" + event;
}

void MariaDbTableState::readCountingTriggers() {
  insertsCountedByTrigger = deletesCountedByTrigger = false;
  for (const auto& row : connection_->Prepare("SELECT TRIGGER_NAME FROM information_schema.TRIGGERS"
                                              " WHERE TRIGGER_SCHEMA = ? AND EVENT_OBJECT_TABLE = ?")
                             .Query({Value{database_}, Value{"t" + std::to_string(id_)}})) {
    const std::string name = valueToString(row[0]);
    insertsCountedByTrigger |= name == countingTrigger("insert");
    deletesCountedByTrigger |= name == countingTrigger("delete");
  }
}

// Held exclusively, nobody else writes while the count moves from the triggers (if any) to the
// store; the count is taken afresh in case a trigger was dropped by hand. An account without
// the right to drop triggers keeps them counting.
void MariaDbTableState::dropCountingTriggers() {
  try {
    const std::pair<const char*, bool> triggers[] = {{"insert", insertsCountedByTrigger},
                                                      {"delete", deletesCountedByTrigger}};
    for (const auto& [event, counted] : triggers) {
      if (counted) {
        connection_->Execute("DROP TRIGGER " + QuoteIdentifier(database_) + "." + QuoteIdentifier(countingTrigger(event)));
      }
    }
    insertsCountedByTrigger = deletesCountedByTrigger = false;
    connection_->Execute("UPDATE " + Dictionary("_ff_tables") + " SET row_count = (SELECT COUNT(*) FROM " +
                         RowsTable() + "), ready = " + std::to_string(kTableReady) + " WHERE id = " +
                         std::to_string(id_));
    ofEarlierBuild_ = false;
  } catch (const EConnection&) {
    throw;
  } catch (const Error&) {
    readCountingTriggers();
  }
}

void MariaDbTableState::AddSortKeyColumns(const std::vector<int>& keyFields) {
  std::string columns;
  for (int f : keyFields) {
    columns += std::string(columns.empty() ? "" : ",") + " ADD COLUMN IF NOT EXISTS " +
               SortKeyColumnDefinition(fields[static_cast<std::size_t>(f)], f);
  }
  connection_->Execute("ALTER TABLE " + RowsTable() + columns);
  fillSortKeys(keyFields);
}

void MariaDbTableState::fillSortKeys(const std::vector<int>& keyFields) {
  std::string select = "SELECT _ff_id";
  std::string sets;
  for (int f : keyFields) {
    select += ", " + ColumnName(f);
    sets += (sets.empty() ? "" : ", ") + SortKeyColumnName(f) + " = ?";
  }
  const std::string update = "UPDATE " + RowsTable() + " SET " + sets;
  const auto rows = connection_->Prepare(select + " FROM " + RowsTable()).Query({});
  connection_->InTransaction([&] {
    ServerStatement write = connection_->Prepare(update + " WHERE _ff_id = ?");
    for (const auto& row : rows) {
      std::vector<Value> params;
      for (std::size_t k = 1; k < row.size(); ++k) params.push_back(NorwegianSortKeyOf(row[k]));
      params.push_back(row[0]);
      write.Execute(params);
    }
  });
}

void MariaDbTableState::inUse() const {
  throw ECannotOpen("Tabellen " + name_ + " er i bruk av en annen arbeidsstasjon (" + database_ + ")");
}

bool MariaDbTableState::getLock(const std::string& name, unsigned waitSeconds) {
  return isOne(connection_->Prepare("SELECT GET_LOCK(?, ?)").Query({Value{name}, Value{std::int64_t{waitSeconds}}}));
}

void MariaDbTableState::releaseLock(const std::string& name) {
  connection_->Prepare("SELECT RELEASE_LOCK(?)").Query({Value{name}});
  if (name == heldLock_) heldLock_.clear();
}

// Takes a slot first, then looks for an exclusive holder: of two workstations opening at once,
// at least one sees the other.
void MariaDbTableState::lockShared(int firstSlot) {
  for (int i = 0; i < kSharedSlots - 1; ++i) {
    const std::string slot = slotLock(lockBase_, (firstSlot + i) % kSharedSlots);
    const auto rows = connection_->Prepare("SELECT GET_LOCK(?, 0), IS_FREE_LOCK(?)").Query({Value{slot}, Value{exclusiveLock(lockBase_)}});
    if (!isOne(rows)) continue;
    heldLock_ = slot;
    if (!isOne(rows, 1)) inUse();
    return;
  }
  if (!isOne(connection_->Prepare("SELECT IS_FREE_LOCK(?)").Query({Value{exclusiveLock(lockBase_)}}))) inUse();
  throw ECannotOpen("Tabellen " + name_ + " er åpen på " + std::to_string(kSharedSlots) +
                    " arbeidsstasjoner, så mange som den kan deles av (" + database_ +
                    "); prøv igjen når en av dem har lukket den");
}

void MariaDbTableState::lockExclusive(unsigned waitSeconds) {
  const std::string lock = exclusiveLock(lockBase_);
  if (!getLock(lock, waitSeconds)) inUse();
  heldLock_ = lock;
  std::string sql = "SELECT 1";
  std::vector<Value> slots;
  for (int i = 0; i < kSharedSlots; ++i) {
    sql += " AND IS_FREE_LOCK(?)";
    slots.push_back(Value{slotLock(lockBase_, i)});
  }
  if (!isOne(connection_->Prepare(sql).Query(slots))) inUse();
}

}  // namespace ff
