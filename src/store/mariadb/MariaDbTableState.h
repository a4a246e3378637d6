// One store table on a MariaDB server as one connection holds it open: its dictionary, the
// server-side lock that keeps other workstations to the open mode, and what every handle of
// this process shares (exclusive flag, change counter, rows counted in an open bulk load).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/Schema.h"

namespace ff {

class MariaDbConnection;

class MariaDbTableState {
 public:
  // Takes the server-side lock: shared, or exclusive. Throws ECannotOpen when another
  // workstation holds the table in a way that refuses this open, EConnection.
  MariaDbTableState(std::shared_ptr<MariaDbConnection> connection, std::string database, int id, std::string name,
                    bool exclusive);
  // Releases the lock (the server has released it already when the connection was lost).
  ~MariaDbTableState();
  MariaDbTableState(const MariaDbTableState&) = delete;
  MariaDbTableState& operator=(const MariaDbTableState&) = delete;

  MariaDbConnection& Connection() const { return *connection_; }
  const std::string& Database() const { return database_; }
  int Id() const { return id_; }
  const std::string& Name() const { return name_; }
  // `db`.`t<id>`, the table of the rows.
  std::string RowsTable() const;
  // `db`.`_ff_tables` and friends.
  std::string Dictionary(const char* table) const;
  bool Exclusive() const { return exclusive_; }

  // Reads the field and index definitions from the dictionary.
  void LoadDictionary();
  std::vector<FieldDef> fields;
  std::vector<IndexDef> indexes;
  int handles = 0;
  std::uint64_t generation = 1;
  // Rows inserted (+) and removed (-) in an open bulk load, added to the kept count at its end.
  std::int64_t pendingCount = 0;
  int bulkDepth = 0;

  // The names of the server-side locks of a table of a database.
  static std::string LockBase(const std::string& database, int id);

 private:
  void lockShared();
  void lockExclusive();
  bool getLock(const std::string& name);
  void releaseLock(const std::string& name);

  std::shared_ptr<MariaDbConnection> connection_;
  std::string database_;
  int id_;
  std::string name_;
  bool exclusive_;
  std::string heldLock_;
};

}  // namespace ff
