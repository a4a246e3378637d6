// Converts a firm's tables, definitions and rows, into a MySQL/MariaDB database: each table is
// loaded under a staging name, indexed, verified against its source and only then swapped in
// with one RENAME TABLE, so that a failure leaves the table on the server as it was.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "convert/TableLoader.h"
#include "convert/TableVerifier.h"
#include "sql/SqlConnection.h"

class SerialObserver;

// Opens a fresh connection to the target database; throws what keeps it from connecting, with
// a message that names the target.
using TargetConnector = std::function<std::unique_ptr<sql::SqlConnection>()>;

// Sorts "Ås" after "Øst", as Norwegian does.
inline constexpr const char* kDefaultCollation = "utf8mb4_danish_ci";

struct ConvertOptions {
  std::string fromAlias;            // a table alias (.ff2 files or a store)
  std::vector<std::string> tables;  // empty: every table of the alias
  bool verify = true;
  bool nullForBadDates = false;     // dates the target cannot hold become NULL (and are counted)
  std::string collation = kDefaultCollation;  // of the target tables' text; utf8mb4
  // Foreign keys of other tables that point at a table about to be replaced are dropped with
  // it; without this that table is refused.
  bool dropForeignKeys = false;
  // Tables converted at once, each on a connection of its own, the largest first.
  int jobs = 1;
};

struct TableOutcome {
  std::string table;
  std::string keyName = "id";  // the generated key's name
  LoadCounts counts;
  double seconds = 0;
  std::optional<VerifyResult> verified;  // none when verification was off or not reached
  std::string error;                     // empty when the table was converted
  bool damagedSource = false;            // the source table could not be read at all
  bool stopped = false;                  // a stop abandoned it, or came before it was started
  // Converted, but the replaced copy is still on the server: the SQL that removes it, and why
  // it was not removed.
  std::string leftover;
  std::string leftoverReason;
  std::vector<std::string> notes;  // what else the user must know (foreign keys dropped)

  bool Converted() const { return error.empty(); }
};

// What a table's conversion does after its rows are loaded.
enum class ConvertStep { BuildingIndexes, Verifying };

// Told of the progress of a conversion. With several jobs the calls come from several threads,
// but one at a time.
class ConvertObserver {
 public:
  virtual ~ConvertObserver() = default;
  virtual void TableStarted(const std::string& /*table*/, std::int64_t /*rows*/) {}
  virtual void RowsLoaded(const std::string& /*table*/, std::int64_t /*done*/, std::int64_t /*total*/) {}
  virtual void StepStarted(const std::string& /*table*/, ConvertStep /*step*/) {}
  // After the swap, before the replaced copy is dropped.
  virtual void TableSwapped(const std::string& /*table*/) {}
  virtual void TableFinished(const TableOutcome& /*outcome*/) {}
  // A value refused, or made NULL; called on the loader's reading thread.
  virtual void ValueRejected(const std::string& /*table*/, const ValueRejection& /*rejection*/) {}
};

// Bad input found before anything is converted: unknown alias, table or SQL alias, two table
// files whose names differ only by case, an SQL alias that cannot connect (the database's
// own message), an unknown collation, or a server that refuses what the conversion needs
// (LOAD DATA LOCAL, the rights CREATE, DROP, INSERT, ALTER, INDEX and SELECT).
class EConvertInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Prefixes of the staging table and of the replaced table during the swap.
inline constexpr const char* kStagingPrefix = "kvist_ny_";
inline constexpr const char* kReplacedPrefix = "kvist_gml_";

// The staging or replaced table of a table: prefix and name, or, where that passes the 64
// characters MySQL takes, the prefix, a start of the name, "_" and 8 hex digits of the name's
// MD5. The same table always gets the same name, so a run finds what an earlier one left.
std::string WorkTableName(const std::string& prefix, const std::string& table);

// The text of a failure for the user; a server out of disk space says so in Norwegian, naming
// the server, with the server's own text.
std::string DescribeFailure(const std::exception& failure, const std::string& server);

class SqlConverter {
 public:
  // Checks the alias, the tables, the connection, the collation and that the server allows
  // what the conversion does; nothing on the server is changed. Throws EConvertInput.
  // REQUIRES: observer and stop outlive the converter.
  SqlConverter(ConvertOptions options, TargetConnector connectTarget, ConvertObserver& observer,
               const std::atomic<bool>& stop);
  ~SqlConverter();

  // The tables to convert, with their names as the source alias has them.
  const std::vector<std::string>& Tables() const { return tables_; }

  // The table the source's table becomes, and its row count. Throws the source's ff::Error.
  SqlTablePlan Plan(const std::string& table, std::int64_t& rows) const;

  // Clears the work tables an earlier run left (see WorkTablesLeft), then converts every
  // table on options.jobs connections, going on after a failed one; the source is only read.
  // Once stop is raised the tables under way are abandoned (their staging tables dropped) and
  // no other is started. The outcomes are in the order of Tables().
  std::vector<TableOutcome> Run();

  // What Run found of earlier runs and did about it, one line each.
  const std::vector<std::string>& WorkTablesLeft() const { return workTablesLeft_; }

 private:
  // A source table opened for reading, or why it could not be.
  struct Source {
    std::unique_ptr<ff::TableStorage> table;
    std::int64_t rows = 0;
    std::string error;
  };
  std::vector<Source> openSources() const;
  // Converts table `index` on db, which it connects (again) when there is none or it was lost.
  TableOutcome convertTable(std::size_t index, Source& source, std::unique_ptr<sql::SqlConnection>& db);
  // What the server holds before the first table: its tables, and those that other tables'
  // foreign keys point at; the questions a table would otherwise ask alone.
  void readServer(sql::SqlConnection& db);
  bool onServer(sql::SqlConnection& db, const std::string& table);
  void loadAndSwap(sql::SqlConnection& db, ff::TableStorage& source, const SqlTablePlan& plan,
                   std::int64_t total, TableOutcome& outcome);
  void load(sql::SqlConnection& db, ff::TableStorage& source, const SqlTablePlan& plan, std::int64_t total,
            TableOutcome& outcome);
  // Builds the indexes on a connection of its own, alongside what runs on db; returns once the
  // build no longer keeps others from reading the table, or after at most 2 s.
  std::future<void> startIndexBuild(sql::SqlConnection& db, const std::string& indexes);
  void swapIn(sql::SqlConnection& db, bool replacing, TableOutcome& outcome);
  std::vector<std::string> foreignKeysTo(sql::SqlConnection& db, const std::string& table);
  // Clears what a killed run left; the names of the tables on the server.
  std::vector<std::string> clearWorkTables(sql::SqlConnection& db);
  // Drops the staging table; empty, or why it could not be dropped.
  std::string dropStaging(sql::SqlConnection& db, const std::string& table);
  void checkServer(sql::SqlConnection& db) const;
  // Runs the statement, once more on a fresh connection if it fails; the failure's text, or
  // empty when it ran.
  std::string runOrRetry(sql::SqlConnection& db, const std::string& statement);

  // A fresh connection with the conversion's session settings; callable from any worker.
  std::unique_ptr<sql::SqlConnection> connect();

  ConvertOptions options_;
  TargetConnector connectTarget_;
  std::mutex connecting_;  // the connector reads settings files and the user database
  std::unique_ptr<SerialObserver> observer_;
  const std::atomic<bool>& stop_;
  // Unknown when the server could not be read before the first table: each table asks then.
  std::optional<std::set<std::string>> onServer_, referenced_;
  std::optional<bool> doublesAlike_;
  std::vector<std::string> tables_;
  std::vector<std::string> workTablesLeft_;
};
