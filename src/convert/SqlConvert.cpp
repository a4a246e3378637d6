#include "convert/SqlConvert.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "convert/Md5.h"
#include "convert/TableSql.h"
#include "sql/SqlError.h"
#include "store/Aliases.h"
#include "store/Backends.h"
#include "store/Errors.h"
#include "store/Session.h"
#include "text/Utf8Text.h"

namespace {

struct TableFile {
  std::string table;  // the name without the extension
  std::string file;
};

std::vector<TableFile> tableFiles(const std::string& folder) {
  std::vector<TableFile> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string file = entry.path().filename().string();
    for (const ff::StorageProvider* provider : ff::StorageProviders()) {
      const std::string extension = provider->Extension();
      if (file.size() > extension.size() &&
          strcasecmp(file.c_str() + file.size() - extension.size(), extension.c_str()) == 0) {
        files.push_back({file.substr(0, file.size() - extension.size()), file});
      }
    }
  }
  std::sort(files.begin(), files.end(), [](const TableFile& a, const TableFile& b) { return a.file < b.file; });
  return files;
}

// Table names match without regard to case, so of two files whose names differ only so the
// alias lists one and opens the same file for both: the other's rows would be left behind.
void refuseFilesDifferingByCase(const std::string& alias, const std::vector<std::string>& tables) {
  const auto folder = ff::AliasFolder(alias);
  if (!folder) return;
  const auto files = tableFiles(*folder);
  for (const auto& table : tables) {
    std::string names;
    int count = 0;
    for (const auto& f : files) {
      if (!ff::sameName(f.table, table)) continue;
      names += (count++ ? " og " : "") + f.file;
    }
    if (count > 1) {
      throw EConvertInput("Filene " + names + " i alias " + alias +
                          " har navn som bare skiller seg i store og små bokstaver; gi dem ulike navn før konverteringen");
    }
  }
}

std::vector<std::string> resolveTables(const std::string& alias, const std::vector<std::string>& wanted) {
  auto& session = ff::TffSession::DefaultSession();
  if (!session.IsAlias(alias)) throw EConvertInput("Ukjent alias: " + alias);
  std::vector<std::string> names;
  try {
    session.GetTableNames(alias, "*.*", false, false, names);
  } catch (const ff::Error& e) {
    throw EConvertInput(e.what());
  }
  if (wanted.empty()) return names;
  std::vector<std::string> tables;
  for (const auto& w : wanted) {
    const auto found = std::find_if(names.begin(), names.end(), [&](const std::string& n) { return ff::sameName(n, w); });
    if (found == names.end()) throw EConvertInput("Tabellen " + w + " finnes ikke i alias " + alias);
    tables.push_back(*found);
  }
  return tables;
}

std::string quoted(const std::string& prefix, const std::string& table) {
  return MySqlName(WorkTableName(prefix, table));
}

}  // namespace

std::string WorkTableName(const std::string& prefix, const std::string& table) {
  constexpr std::size_t kLongestName = 64;  // characters MySQL takes in a table name
  constexpr std::size_t kDigestChars = 8;
  std::string name = prefix + table;
  if (Utf8Length(name) <= kLongestName) return name;
  const std::size_t kept = kLongestName - Utf8Length(prefix) - 1 - kDigestChars;
  return prefix + Utf8Left(table, kept) + "_" + Md5Hex(table).substr(0, kDigestChars);
}

SqlConverter::SqlConverter(ConvertOptions options, TargetConnector connectTarget, ConvertObserver& observer,
                           const std::atomic<bool>& stop)
    : options_(std::move(options)), connectTarget_(std::move(connectTarget)), observer_(observer), stop_(stop) {
  tables_ = resolveTables(options_.fromAlias, options_.tables);
  refuseFilesDifferingByCase(options_.fromAlias, tables_);
  try {
    connectTarget_();  // only to know now that the target can be reached
  } catch (const std::runtime_error& e) {
    throw EConvertInput(e.what());
  }
}

std::unique_ptr<sql::SqlConnection> SqlConverter::connect() {
  auto db = connectTarget_();
  db->Execute("SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_ENGINE_SUBSTITUTION'");
  return db;
}

std::vector<TableOutcome> SqlConverter::Run() {
  std::vector<TableOutcome> outcomes;
  for (const auto& table : tables_) {
    outcomes.push_back(convertTable(table));
    observer_.TableFinished(outcomes.back());
  }
  return outcomes;
}

TableOutcome SqlConverter::convertTable(const std::string& table) {
  TableOutcome outcome;
  outcome.table = table;
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<ff::TableStorage> source;
  try {
    source = ff::TffSession::DefaultSession().OpenTable(options_.fromAlias, table, {true, false});
  } catch (const ff::Error& e) {
    outcome.error = e.what();
    outcome.damagedSource = true;
    return outcome;
  }
  try {
    const SqlTablePlan plan(source->Fields(), source->Indexes());
    outcome.keyName = plan.KeyName();
    const std::int64_t total = source->Count({});
    observer_.TableStarted(table, total);
    auto db = connect();
    loadAndSwap(*db, *source, plan, total, outcome);
  } catch (const std::exception& e) {
    outcome.error = e.what();
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

void SqlConverter::loadAndSwap(sql::SqlConnection& db, ff::TableStorage& source, const SqlTablePlan& plan,
                               std::int64_t total, TableOutcome& outcome) {
  const std::string& table = outcome.table;
  const std::string staging = WorkTableName(kStagingPrefix, table);
  // Left over by a run that ended without cleaning up (server gone, process killed).
  db.Execute("DROP TABLE IF EXISTS " + quoted(kStagingPrefix, table) + ", " + quoted(kReplacedPrefix, table));
  try {
    db.Execute(plan.CreateSql(staging));
    TableLoader loader(source, plan, options_.nullForBadDates, stop_);
    outcome.counts = loader.Load(db, staging, [&](std::int64_t done) { observer_.RowsLoaded(table, done, total); });
    if (outcome.counts.rowsWritten != static_cast<std::uint64_t>(outcome.counts.rowsRead)) {
      throw std::runtime_error("tjeneren tok " + std::to_string(outcome.counts.rowsWritten) + " av " +
                      std::to_string(outcome.counts.rowsRead) + " rader");
    }
    if (const std::string indexes = plan.IndexSql(staging); !indexes.empty()) db.Execute(indexes);
    if (options_.verify) {
      outcome.verified = TableVerifier(source, plan, options_.nullForBadDates, stop_).Verify(db, staging);
      if (!outcome.verified->AllIdentical()) throw std::runtime_error("kontrollen fant forskjeller: " + outcome.verified->firstDifference);
    }
    if (stop_) throw EInterrupted();
    if (db.TableExists(table)) {
      db.Execute("RENAME TABLE " + MySqlName(table) + " TO " + quoted(kReplacedPrefix, table) + ", " +
                 MySqlName(staging) + " TO " + MySqlName(table));
      db.Execute("DROP TABLE " + quoted(kReplacedPrefix, table));
    } else {
      db.Execute("RENAME TABLE " + MySqlName(staging) + " TO " + MySqlName(table));
    }
  } catch (const std::exception& e) {
    throw std::runtime_error(e.what() + dropStaging(db, table));
  }
}

std::string SqlConverter::dropStaging(sql::SqlConnection& db, const std::string& table) {
  const std::string drop = "DROP TABLE IF EXISTS " + quoted(kStagingPrefix, table);
  try {
    db.Execute(drop);
    return "";
  } catch (const sql::SqlError&) {
  }
  // The connection may be gone with the server; one fresh try.
  try {
    connect()->Execute(drop);
    return "";
  } catch (const std::runtime_error& e) {  // from connecting or from the drop
    return " (arbeidstabellen " + WorkTableName(kStagingPrefix, table) + " kunne ikke fjernes: " + e.what() +
           "; neste konvertering fjerner den)";
  }
}
