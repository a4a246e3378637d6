// One store table on a MariaDB server as one connection holds it open: its dictionary, the
// server-side lock that keeps other workstations to the open mode, and what every handle of
// this process shares (exclusive flag, change counter, rows counted in an open bulk load).
// The store keeps the row count itself, in the same transaction as the rows; tables of
// earlier builds counted by triggers, which need rights a firm's server may not give and
// break when the account that made them goes, so an exclusive open removes them.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/Schema.h"
#include "store/mariadb/ServerConnection.h"

namespace ff {

class MariaDbTableState : public ServerConnection::LockHolder {
 public:
  // Finds a ready table by name (without regard to case), reads its dictionary and takes the
  // server-side lock, shared or exclusive: a shared open of a free table is one request.
  // Throws ECannotOpen when there is no such database or table, or another workstation holds
  // the table in a way that refuses this open; EConnection.
  static std::shared_ptr<MariaDbTableState> Open(std::shared_ptr<ServerConnection> connection,
                                                 const std::string& database, const std::string& table,
                                                 bool exclusive);
  // Opens a table that is still being made, or was left half-made (not ready), exclusively:
  // whoever holds it is making it. Throws ECannotOpen when there is no such unfinished table or
  // another workstation holds it; EConnection.
  static std::shared_ptr<MariaDbTableState> OpenUnfinished(std::shared_ptr<ServerConnection> connection,
                                                           const std::string& database, const std::string& table);
  // Releases the lock (the server has released it already when the connection was lost).
  ~MariaDbTableState() override;
  MariaDbTableState(const MariaDbTableState&) = delete;
  MariaDbTableState& operator=(const MariaDbTableState&) = delete;

  // The connection, for the table's rows. Throws ECannotOpen once the lock was lost (see
  // Retake).
  ServerConnection& Connection() const;
  // Takes the lock again after a new sign-on of the connection: any shared slot, or the
  // exclusive lock. Throws ECannotOpen naming the table and the server, and leaves the table
  // unusable, when another workstation holds it in a way that refuses the open mode now or
  // changed its fields or indexes meanwhile.
  void Retake() override;
  bool LockLost() const { return !lostLock_.empty(); }
  const std::string& Database() const { return database_; }
  int Id() const { return id_; }
  const std::string& Name() const { return name_; }
  // `db`.`t<id>`, the table of the rows.
  std::string RowsTable() const;
  // `db`.`_ff_tables` and friends.
  std::string Dictionary(const char* table) const;
  bool Exclusive() const { return exclusive_; }

  // Reads the dictionary's fields and indexes of the table again after this process changed
  // them, for the check after a new sign-on.
  void KeepDefinition();

  // Gives the text fields keyFields their sort key columns (those they lack), filled for every
  // row.
  void AddSortKeyColumns(const std::vector<int>& keyFields);

  std::vector<FieldDef> fields;
  std::vector<IndexDef> indexes;
  std::vector<int> sortKeyFields;  // text fields with a sort key column (see SortKeyFields)
  bool sortKeysOutdated = false;   // an index made by an earlier build orders by the server's collation
  int handles = 0;
  std::uint64_t generation = 1;
  // Triggers of an earlier build that still count inserted or deleted rows.
  bool insertsCountedByTrigger = false;
  bool deletesCountedByTrigger = false;
  int bulkLoads = 0;
  std::int64_t bulkCountChange = 0;  // rows added by the open bulk load, counted at its end

  // The kept row count as the open read it with the dictionary, once, while rows read ahead
  // would count as current and nothing was written here since; else nullopt.
  std::optional<std::int64_t> TakeOpeningCount();
  void ForgetOpeningCount() { openingCount_.reset(); }
  // Adds change to the kept row count.
  void AddToRowCount(std::int64_t change);
  // The statement that adds change to the kept row count, as SQL text.
  std::string RowCountChange(std::int64_t change) const;

  // How long rows read ahead from the server count as current, so that changes of other
  // workstations show on the next scroll.
  static constexpr std::chrono::milliseconds kReadAheadLife{100};

  // The stem of the names of the server-side locks of a table (by its lower-case name) of a
  // database; an empty table name gives the database's own.
  static std::string LockBase(const std::string& database, const std::string& tableKey);

 private:
  // The dictionary's rows of the table's fields and indexes.
  struct Definition {
    std::vector<std::vector<Value>> fields;
    std::vector<std::vector<Value>> indexes;
    bool operator==(const Definition&) const = default;
  };

  MariaDbTableState(std::shared_ptr<ServerConnection> connection, std::string database, std::string tableKey,
                    bool exclusive);
  void readDictionary(const std::string& table, const std::string& firstSlot, bool ready);
  Definition readDefinition() const;
  void lockShared(int firstSlot);
  // Waits up to waitSeconds for the exclusive lock.
  void lockExclusive(unsigned waitSeconds);
  bool getLock(const std::string& name, unsigned waitSeconds);
  void releaseLock(const std::string& name);
  [[noreturn]] void inUse() const;
  // Leaves the table unusable: the lock went to another workstation, which `done` it.
  [[noreturn]] void lose(const char* done);
  void lock(int firstSlot, unsigned waitSeconds);
  void renewSortKeys();
  void readCountingTriggers();
  void dropCountingTriggers();
  std::string countingTrigger(const char* event) const;
  void fillSortKeys(const std::vector<int>& keyFields);

  std::shared_ptr<ServerConnection> connection_;
  std::string database_;
  std::string lockBase_;
  int id_ = 0;
  std::string name_;
  bool exclusive_;
  std::string heldLock_;
  bool ofEarlierBuild_ = false;  // its row count may be kept by triggers
  Definition definition_;  // as last read
  // Why the table can no longer be used, once its lock was lost to another workstation.
  std::string lostLock_;
  std::optional<std::int64_t> openingCount_;
  std::chrono::steady_clock::time_point openedAt_;
  std::uint64_t openedGeneration_ = 0;
};

}  // namespace ff
