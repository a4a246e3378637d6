// Converts a firm's tables, definitions and rows, into a MySQL/MariaDB database: each table is
// loaded under a staging name, indexed, verified against its source and only then swapped in
// with one RENAME TABLE, so that a failure leaves the table on the server as it was.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "convert/TableLoader.h"
#include "convert/TableVerifier.h"
#include "sql/SqlConnection.h"

// Opens a fresh connection to the target database; throws what keeps it from connecting, with
// a message that names the target.
using TargetConnector = std::function<std::unique_ptr<sql::SqlConnection>()>;

struct ConvertOptions {
  std::string fromAlias;            // a table alias (.ff2 files or a store)
  std::vector<std::string> tables;  // empty: every table of the alias
  bool verify = true;
  bool nullForBadDates = false;     // dates the target cannot hold become NULL (and are counted)
};

struct TableOutcome {
  std::string table;
  std::string keyName = "id";  // the generated key's name
  LoadCounts counts;
  double seconds = 0;
  std::optional<VerifyResult> verified;  // none when verification was off or not reached
  std::string error;                     // empty when the table was converted
  bool damagedSource = false;            // the source table could not be read at all

  bool Converted() const { return error.empty(); }
};

// Told of the progress of a conversion (all calls on the converting thread).
class ConvertObserver {
 public:
  virtual ~ConvertObserver() = default;
  virtual void TableStarted(const std::string& /*table*/, std::int64_t /*rows*/) {}
  virtual void RowsLoaded(const std::string& /*table*/, std::int64_t /*done*/, std::int64_t /*total*/) {}
  virtual void TableFinished(const TableOutcome& /*outcome*/) {}
};

// Bad input found before anything is converted: unknown alias, table or SQL alias, two table
// files whose names differ only by case, or an SQL alias that cannot connect (the database's
// own message).
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

class SqlConverter {
 public:
  // Checks the alias, the tables and the connection. Throws EConvertInput.
  // REQUIRES: observer and stop outlive the converter.
  SqlConverter(ConvertOptions options, TargetConnector connectTarget, ConvertObserver& observer,
               const std::atomic<bool>& stop);

  // The tables to convert, with their names as the source alias has them.
  const std::vector<std::string>& Tables() const { return tables_; }

  // Converts every table, going on after a failed one; the source is only read.
  std::vector<TableOutcome> Run();

 private:
  TableOutcome convertTable(const std::string& table);
  void loadAndSwap(sql::SqlConnection& db, ff::TableStorage& source, const SqlTablePlan& plan,
                   std::int64_t total, TableOutcome& outcome);
  std::string dropStaging(sql::SqlConnection& db, const std::string& table);

  std::unique_ptr<sql::SqlConnection> connect();

  ConvertOptions options_;
  TargetConnector connectTarget_;
  ConvertObserver& observer_;
  const std::atomic<bool>& stop_;
  std::vector<std::string> tables_;
};
