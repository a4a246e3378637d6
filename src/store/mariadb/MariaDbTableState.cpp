#include "store/mariadb/MariaDbTableState.h"

#include <cstdio>
#include <random>

#include "store/Errors.h"
#include "store/mariadb/MariaDbConnection.h"
#include "store/mariadb/MariaDbSql.h"
#include "store/mariadb/MariaDbStatement.h"

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

}  // namespace

MariaDbTableState::MariaDbTableState(std::shared_ptr<MariaDbConnection> connection, std::string database, int id,
                                     std::string name, bool exclusive)
    : connection_(std::move(connection)), database_(std::move(database)), id_(id), name_(std::move(name)),
      exclusive_(exclusive) {
  LoadDictionary();
  exclusive ? lockExclusive() : lockShared();
}

MariaDbTableState::~MariaDbTableState() {
  if (heldLock_.empty() || connection_->Lost()) return;
  try {
    releaseLock(heldLock_);
  } catch (const Error&) {
    // The connection dropped just now; the server has freed the lock with it.
  }
}

std::string MariaDbTableState::LockBase(const std::string& database, int id) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a(database + "/" + std::to_string(id))));
  return std::string("kvff:") + hex;
}

std::string MariaDbTableState::RowsTable() const {
  return QuoteIdentifier(database_) + ".`t" + std::to_string(id_) + "`";
}

std::string MariaDbTableState::Dictionary(const char* table) const {
  return QuoteIdentifier(database_) + "." + QuoteIdentifier(table);
}

void MariaDbTableState::LoadDictionary() {
  fields.clear();
  indexes.clear();
  const Value id{std::int64_t{id_}};
  for (const auto& row : connection_->Prepare("SELECT name, type, size, required FROM " + Dictionary("_ff_fields") +
                                              " WHERE tbl = ? ORDER BY pos")
                             .Query({id})) {
    fields.push_back({valueToString(row[0]), fieldTypeFromName(valueToString(row[1])).value_or(FieldType::Unknown),
                      static_cast<int>(valueToInt(row[2])), valueToInt(row[3]) != 0});
  }
  for (const auto& row : connection_->Prepare("SELECT name, fields, options FROM " + Dictionary("_ff_indexes") +
                                              " WHERE tbl = ? ORDER BY pos")
                             .Query({id})) {
    indexes.push_back({valueToString(row[0]), splitFieldList(valueToString(row[1])),
                       static_cast<unsigned>(valueToInt(row[2]))});
  }
}

bool MariaDbTableState::getLock(const std::string& name) {
  return isOne(connection_->Prepare("SELECT GET_LOCK(?, 0)").Query({Value{name}}));
}

void MariaDbTableState::releaseLock(const std::string& name) {
  connection_->Prepare("SELECT RELEASE_LOCK(?)").Query({Value{name}});
}

void MariaDbTableState::lockShared() {
  const std::string base = LockBase(database_, id_);
  const int start = static_cast<int>(std::random_device{}() % kSharedSlots);
  for (int i = 0; i < kSharedSlots; ++i) {
    const std::string slot = slotLock(base, (start + i) % kSharedSlots);
    // Take a slot first, then look for an exclusive holder: of two workstations opening at
    // once, at least one sees the other.
    const auto rows = connection_->Prepare("SELECT GET_LOCK(?, 0), IS_FREE_LOCK(?)").Query({Value{slot}, Value{exclusiveLock(base)}});
    if (!isOne(rows)) continue;
    if (isOne(rows, 1)) {
      heldLock_ = slot;
      return;
    }
    releaseLock(slot);
    break;
  }
  throw ECannotOpen("Tabellen " + name_ + " er i bruk av en annen arbeidsstasjon (" + database_ + ")");
}

void MariaDbTableState::lockExclusive() {
  const std::string base = LockBase(database_, id_);
  const std::string lock = exclusiveLock(base);
  if (getLock(lock)) {
    std::string sql = "SELECT 1";
    std::vector<Value> slots;
    for (int i = 0; i < kSharedSlots; ++i) {
      sql += " AND IS_FREE_LOCK(?)";
      slots.push_back(Value{slotLock(base, i)});
    }
    if (isOne(connection_->Prepare(sql).Query(slots))) {
      heldLock_ = lock;
      return;
    }
    releaseLock(lock);
  }
  throw ECannotOpen("Tabellen " + name_ + " er i bruk av en annen arbeidsstasjon (" + database_ + ")");
}

}  // namespace ff
