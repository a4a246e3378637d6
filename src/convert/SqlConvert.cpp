#include "convert/SqlConvert.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <numeric>
#include <thread>

#include "convert/Md5.h"
#include "convert/SerialObserver.h"
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

std::string DescribeFailure(const std::exception& failure, const std::string& server) {
  const auto* error = dynamic_cast<const sql::SqlError*>(&failure);
  if (!error) return failure.what();
  constexpr unsigned kDiskFull = 1021, kTableFull = 1114;  // ER_DISK_FULL, ER_RECORD_FILE_FULL
  const std::string text = error->what();
  const bool noSpace = error->Code() == kDiskFull || error->Code() == kTableFull ||
                       text.find("Errcode: 28") != std::string::npos || text.find("errno: 28") != std::string::npos ||
                       text.find("error 28 ") != std::string::npos || text.find("No space left") != std::string::npos;
  if (!noSpace) return text;
  return "Serveren " + server + " er tom for diskplass (" + text +
         "). Frigjør plass på serveren og kjør konverteringen på nytt";
}

SqlConverter::SqlConverter(ConvertOptions options, TargetConnector connectTarget, ConvertObserver& observer,
                           const std::atomic<bool>& stop)
    : options_(std::move(options)),
      connectTarget_(std::move(connectTarget)),
      observer_(std::make_unique<SerialObserver>(observer)),
      stop_(stop) {
  tables_ = resolveTables(options_.fromAlias, options_.tables);
  refuseFilesDifferingByCase(options_.fromAlias, tables_);
  std::unique_ptr<sql::SqlConnection> db;
  try {
    db = connectTarget_();
  } catch (const std::runtime_error& e) {
    throw EConvertInput(e.what());
  }
  checkServer(*db);
}

SqlConverter::~SqlConverter() = default;

namespace {

// The first column of every row of a query.
std::vector<std::string> firstColumn(sql::SqlConnection& db, const std::string& query) {
  std::vector<std::string> values;
  db.ForEachRow(query, [&](const char* const* row, const unsigned long* lengths) {
    values.emplace_back(row[0] ? std::string(row[0], lengths[0]) : std::string());
  });
  return values;
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const auto& p : parts) text += (text.empty() ? "" : separator) + p;
  return text;
}

// The rights the conversion uses: it makes, fills, indexes, renames, reads back and drops tables.
const std::vector<std::string> kRightsNeeded = {"CREATE", "DROP", "INSERT", "ALTER", "INDEX", "SELECT"};

// "`name`" as SHOW GRANTS writes a name, unquoted.
std::string unquotedName(const std::string& quoted) {
  std::string name = quoted.size() >= 2 && quoted.front() == '`' ? quoted.substr(1, quoted.size() - 2) : quoted;
  for (auto pos = name.find("``"); pos != std::string::npos; pos = name.find("``", pos + 1)) name.erase(pos, 1);
  return name;
}

// The rights the account holds on its database, read from SHOW GRANTS, which (unlike
// information_schema) also shows those of its roles: "GRANT A, B ON `db`.* TO ...".
std::vector<std::string> heldRights(sql::SqlConnection& db) {
  std::vector<std::string> held;
  for (const auto& grant : firstColumn(db, "SHOW GRANTS")) {
    const auto on = grant.find(" ON "), to = grant.find(" TO ", grant.find(" ON "));
    if (grant.rfind("GRANT ", 0) != 0 || on == std::string::npos || to == std::string::npos) continue;
    const std::string target = grant.substr(on + 4, to - on - 4);
    if (target.size() < 3 || target.compare(target.size() - 2, 2, ".*") != 0) continue;  // a table's, a routine's
    const std::string pattern = unquotedName(target.substr(0, target.size() - 2));
    if (pattern != "*" && firstColumn(db, "SELECT DATABASE() LIKE " + db.Literal(pattern)) != std::vector<std::string>{"1"}) {
      continue;
    }
    const std::string rights = grant.substr(6, on - 6);
    if (rights == "ALL PRIVILEGES") return kRightsNeeded;
    for (std::size_t start = 0; start < rights.size();) {
      const auto comma = std::min(rights.find(", ", start), rights.size());
      held.push_back(rights.substr(start, comma - start));
      start = comma + 2;
    }
  }
  return held;
}

std::string missingRights(sql::SqlConnection& db) {
  const auto held = heldRights(db);
  std::vector<std::string> missing;
  for (const auto& right : kRightsNeeded) {
    if (std::find(held.begin(), held.end(), right) == held.end()) missing.push_back(right);
  }
  return joined(missing, ", ");
}

}  // namespace

void SqlConverter::checkServer(sql::SqlConnection& db) const {
  try {
    if (firstColumn(db, "SELECT COLLATION_NAME FROM information_schema.COLLATIONS WHERE CHARACTER_SET_NAME = "
                        "'utf8mb4' AND COLLATION_NAME = " + db.Literal(options_.collation)).empty()) {
      throw EConvertInput("Ukjent sortering (collation) for utf8mb4: " + options_.collation +
                          ". Serveren viser sine med: SHOW COLLATION LIKE 'utf8mb4%'");
    }
    if (firstColumn(db, "SELECT @@GLOBAL.local_infile") != std::vector<std::string>{"1"}) {
      throw EConvertInput("Serveren tillater ikke LOAD DATA LOCAL INFILE (local_infile er av), som konverteringen "
                          "laster radene med. Slå det på med SET GLOBAL local_infile = 1 og local_infile = 1 under "
                          "[mysqld] i serverens oppsett");
    }
    if (const std::string missing = missingRights(db); !missing.empty()) {
      const std::string database = firstColumn(db, "SELECT DATABASE()").at(0);
      const std::string user = firstColumn(db, "SELECT CURRENT_USER()").at(0);
      throw EConvertInput("Brukeren " + user + " mangler rettighetene " + missing + " på databasen " + database +
                          ". Be databasens eier om: GRANT " + joined(kRightsNeeded, ", ") + " ON " +
                          MySqlName(database) + ".* TO brukeren");
    }
  } catch (const sql::SqlError& e) {
    throw EConvertInput("Serveren kunne ikke undersøkes før konverteringen: " + e.Described());
  }
}

SqlTablePlan SqlConverter::Plan(const std::string& table, std::int64_t& rows) const {
  const auto source = ff::TffSession::DefaultSession().OpenTable(options_.fromAlias, table, {true, false});
  rows = source->Count({});
  return SqlTablePlan(source->Fields(), source->Indexes());
}

std::unique_ptr<sql::SqlConnection> SqlConverter::connect() {
  std::unique_ptr<sql::SqlConnection> db;
  {
    std::lock_guard lock(connecting_);
    db = connectTarget_();
  }
  db->Execute("SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_ENGINE_SUBSTITUTION'");
  return db;
}

// A killed run leaves its staging tables (dropped) and, killed between the swap and the drop, a
// replaced copy: dropped when its table is there, else told with what to do.
std::vector<std::string> SqlConverter::clearWorkTables(sql::SqlConnection& db) {
  const auto names = firstColumn(db, "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()");
  const auto startsWith = [](const std::string& name, const char* prefix) { return name.rfind(prefix, 0) == 0; };
  for (const auto& name : names) {
    if (startsWith(name, kStagingPrefix)) {
      db.Execute("DROP TABLE IF EXISTS " + MySqlName(name));
      workTablesLeft_.push_back("Arbeidstabellen " + name + " fra en tidligere avbrutt kjøring er fjernet");
      continue;
    }
    if (!startsWith(name, kReplacedPrefix)) continue;
    const auto replaces = [&](const std::string& table) { return WorkTableName(kReplacedPrefix, table) == name; };
    const auto onServer = std::find_if(names.begin(), names.end(), replaces);
    if (onServer != names.end()) {
      db.Execute("DROP TABLE IF EXISTS " + MySqlName(name));
      workTablesLeft_.push_back("Den gamle kopien " + name + " av " + *onServer +
                                " fra en tidligere avbrutt kjøring er fjernet");
      continue;
    }
    const auto inSource = std::find_if(tables_.begin(), tables_.end(), replaces);
    const std::string table = inSource != tables_.end() ? *inSource : name.substr(std::string(kReplacedPrefix).size());
    workTablesLeft_.push_back(name + " er den gamle kopien av " + table + " fra en tidligere avbrutt kjøring, men " +
                              table + " finnes ikke på serveren. Gi den navnet tilbake med RENAME TABLE " +
                              MySqlName(name) + " TO " + MySqlName(table) + "; eller fjern den med DROP TABLE " +
                              MySqlName(name) + ";");
  }
  return names;
}

void SqlConverter::readServer(sql::SqlConnection& db) {
  const auto names = clearWorkTables(db);
  const auto referenced = firstColumn(db, "SELECT DISTINCT REFERENCED_TABLE_NAME FROM "
                                          "information_schema.REFERENTIAL_CONSTRAINTS WHERE CONSTRAINT_SCHEMA = DATABASE()");
  onServer_.emplace(names.begin(), names.end());
  referenced_.emplace(referenced.begin(), referenced.end());
  if (options_.verify) doublesAlike_ = ChunkChecksum::ServerShowsDoublesAlike(db);
}

bool SqlConverter::onServer(sql::SqlConnection& db, const std::string& table) {
  return onServer_ ? onServer_->count(table) > 0 : db.TableExists(table);
}

std::vector<SqlConverter::Source> SqlConverter::openSources() const {
  std::vector<Source> sources(tables_.size());
  for (std::size_t i = 0; i < tables_.size(); ++i) {
    try {
      sources[i].table = ff::TffSession::DefaultSession().OpenTable(options_.fromAlias, tables_[i], {true, false});
      sources[i].rows = sources[i].table->Count({});
    } catch (const ff::Error& e) {
      sources[i].table.reset();
      sources[i].error = e.what();
    }
  }
  return sources;
}

namespace {

TableOutcome notStarted(const std::string& table) {
  TableOutcome skipped;
  skipped.table = table;
  skipped.error = "ikke påbegynt: kjøringen ble avbrutt";
  skipped.stopped = true;
  return skipped;
}

}  // namespace

std::vector<TableOutcome> SqlConverter::Run() {
  try {
    readServer(*connect());
  } catch (const std::runtime_error& e) {
    workTablesLeft_.push_back("Arbeidstabeller fra tidligere kjøringer kunne ikke undersøkes: " + std::string(e.what()));
  }
  // The sources are opened here, one at a time, and each is then read by one worker alone.
  auto sources = openSources();
  // The largest first, so that the longest table starts at once and the small ones fill in.
  std::vector<std::size_t> order(tables_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return sources[a].rows > sources[b].rows; });
  std::vector<TableOutcome> outcomes(tables_.size());
  std::atomic<std::size_t> next{0};
  // Each worker signs on at its first table and keeps the connection for the next ones.
  const auto work = [&] {
    std::unique_ptr<sql::SqlConnection> db;
    for (std::size_t at = next++; at < order.size(); at = next++) {
      const std::size_t i = order[at];
      outcomes[i] = stop_ ? notStarted(tables_[i]) : convertTable(i, sources[i], db);
      sources[i] = {};
      observer_->TableFinished(outcomes[i]);
    }
  };
  const std::size_t workers = std::min<std::size_t>(std::max(options_.jobs, 1), std::max<std::size_t>(tables_.size(), 1));
  std::vector<std::thread> threads;
  for (std::size_t w = 1; w < workers; ++w) threads.emplace_back(work);
  work();
  for (auto& t : threads) t.join();
  return outcomes;
}

namespace {

// "host/database", or "socket/database".
std::string serverName(const sql::SqlConnection& db) {
  const sql::SqlEndpoint& at = db.Endpoint();
  return (at.host.empty() ? at.socket : at.host) + "/" + at.database;
}

}  // namespace

TableOutcome SqlConverter::convertTable(std::size_t index, Source& source, std::unique_ptr<sql::SqlConnection>& db) {
  TableOutcome outcome;
  outcome.table = tables_[index];
  if (!source.table) {
    outcome.error = source.error;
    outcome.damagedSource = true;
    return outcome;
  }
  const auto start = std::chrono::steady_clock::now();
  try {
    const SqlTablePlan plan(source.table->Fields(), source.table->Indexes());
    outcome.keyName = plan.KeyName();
    observer_->TableStarted(outcome.table, source.rows);
    if (!db || db->Dropped()) db = connect();
    loadAndSwap(*db, *source.table, plan, source.rows, outcome);
  } catch (const EInterrupted& e) {
    outcome.error = e.what();
    outcome.stopped = true;
  } catch (const std::exception& e) {
    outcome.error = e.what();
  }
  // A failure may leave the connection in any state; the next table starts on a fresh one.
  if (!outcome.Converted()) db.reset();
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

// Other tables' foreign keys that point at the table: "NAME i tabellen T", a tab, and the SQL
// that drops it.
std::vector<std::string> SqlConverter::foreignKeysTo(sql::SqlConnection& db, const std::string& table) {
  return firstColumn(db, "SELECT CONCAT(CONSTRAINT_NAME, ' i tabellen ', TABLE_NAME, '\\t', 'ALTER TABLE `', "
                         "REPLACE(TABLE_NAME, '`', '``'), '` DROP FOREIGN KEY `', REPLACE(CONSTRAINT_NAME, '`', '``'), "
                         "'`') FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE CONSTRAINT_SCHEMA = DATABASE() "
                         "AND REFERENCED_TABLE_NAME = " + db.Literal(table) +
                         " AND TABLE_NAME <> REFERENCED_TABLE_NAME ORDER BY TABLE_NAME, CONSTRAINT_NAME");
}

void SqlConverter::loadAndSwap(sql::SqlConnection& db, ff::TableStorage& source, const SqlTablePlan& plan,
                               std::int64_t total, TableOutcome& outcome) {
  const std::string& table = outcome.table;
  const bool replacing = onServer(db, table);
  // Another table's foreign key would follow the old copy in the swap and keep it from being
  // dropped; the user decides, before any work is done.
  const bool referenced = !referenced_ || referenced_->count(table) > 0;
  const auto foreignKeys = replacing && referenced ? foreignKeysTo(db, table) : std::vector<std::string>{};
  const auto keyName = [](const std::string& key) { return key.substr(0, key.find('\t')); };
  if (!foreignKeys.empty() && !options_.dropForeignKeys) {
    std::string names;
    for (const auto& key : foreignKeys) names += (names.empty() ? "" : ", ") + keyName(key);
    throw std::runtime_error("erstattes ikke: fremmednøkkelen " + names +
                             " peker på den, og ville ellers fulgt den gamle kopien. Fjern fremmednøkkelen først, "
                             "eller kjør med --drop-foreign-keys");
  }
  try {
    load(db, source, plan, total, outcome);
    for (const auto& key : foreignKeys) {
      db.Execute(key.substr(key.find('\t') + 1));
      outcome.notes.push_back("fremmednøkkelen " + keyName(key) +
                              " pekte på tabellen og er fjernet; lag den på nytt om den trengs");
    }
    swapIn(db, replacing, outcome);
  } catch (const EInterrupted&) {
    dropStaging(db, table);
    throw;
  } catch (const std::exception& e) {
    throw std::runtime_error(DescribeFailure(e, serverName(db)) + dropStaging(db, table));
  }
  if (!replacing) return;
  // Swapped in: the table is converted whatever happens to its old copy now.
  observer_->TableSwapped(table);
  const std::string drop = "DROP TABLE " + quoted(kReplacedPrefix, table);
  outcome.leftoverReason = runOrRetry(db, drop);
  if (!outcome.leftoverReason.empty()) outcome.leftover = drop + ";";
}

void SqlConverter::load(sql::SqlConnection& db, ff::TableStorage& source, const SqlTablePlan& plan,
                        std::int64_t total, TableOutcome& outcome) {
  const std::string& table = outcome.table;
  const std::string staging = WorkTableName(kStagingPrefix, table);
  if (stop_) throw EInterrupted();
  const bool indexesAfter = SqlTablePlan::IndexesAfterRows(total);
  db.Execute("DROP TABLE IF EXISTS " + MySqlName(staging) + ";\n" +
             plan.CreateSql(staging, options_.collation, !indexesAfter));
  // With verification on, the source's sums are made as its rows are read for the load.
  ChunkChecksum checksum(plan, options_.nullForBadDates);
  ChunkChecksum::Chunks sums;
  RowSink summing;
  if (options_.verify) {
    summing = [&](std::int64_t number, const ff::Row& row) { checksum.AddToChunks(sums, number, row); };
  }
  TableLoader loader(source, plan, options_.nullForBadDates, stop_,
                     [&](const ValueRejection& r) { observer_->ValueRejected(table, r); }, summing);
  outcome.counts = loader.Load(db, staging, [&](std::int64_t done) { observer_->RowsLoaded(table, done, total); });
  if (outcome.counts.rowsWritten != static_cast<std::uint64_t>(outcome.counts.rowsRead)) {
    throw std::runtime_error("tjeneren tok " + std::to_string(outcome.counts.rowsWritten) + " av " +
                             std::to_string(outcome.counts.rowsRead) + " rader");
  }
  const std::string indexes = indexesAfter ? plan.IndexSql(staging) : std::string();
  if (!indexes.empty()) observer_->StepStarted(table, ConvertStep::BuildingIndexes);
  if (!options_.verify) {
    if (!indexes.empty()) db.Execute(indexes);
  } else {
    TableVerifier verifier(source, plan, options_.nullForBadDates, stop_);
    // Below 50 chunks a part a connection of its own costs more than it saves.
    verifier.SumInParts(options_.jobs, 50, [this] { return connect(); });
    std::future<void> indexing = indexes.empty() ? std::future<void>() : startIndexBuild(db, indexes);
    observer_->StepStarted(table, ConvertStep::Verifying);
    outcome.verified = verifier.Verify(db, staging, doublesAlike_, &sums);
    if (indexing.valid()) indexing.get();
    if (!outcome.verified->AllIdentical()) {
      throw std::runtime_error("kontrollen fant forskjeller: " + outcome.verified->firstDifference);
    }
  }
  if (stop_) throw EInterrupted();
}

std::future<void> SqlConverter::startIndexBuild(sql::SqlConnection& db, const std::string& indexes) {
  std::shared_ptr<sql::SqlConnection> builder = connect();
  const std::string id = firstColumn(*builder, "SELECT CONNECTION_ID()").at(0);
  auto build = std::async(std::launch::async, [builder, indexes] { builder->Execute(indexes); });
  // The build takes the table to itself for a moment as it starts; a read begun before that
  // would hold it back until the read ends, and the reads queued behind it with it.
  const std::string state = "SELECT STATE FROM information_schema.PROCESSLIST WHERE ID = " + id;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (build.wait_for(std::chrono::milliseconds(2)) == std::future_status::timeout &&
         std::chrono::steady_clock::now() < giveUp) {
    const auto shown = firstColumn(db, state);
    if (!shown.empty() && (shown[0] == "altering table" || shown[0].starts_with("Committing"))) break;
  }
  return build;
}

void SqlConverter::swapIn(sql::SqlConnection& db, bool replacing, TableOutcome& outcome) {
  const std::string& table = outcome.table;
  const std::string staging = quoted(kStagingPrefix, table);
  if (replacing) {
    db.Execute("RENAME TABLE " + MySqlName(table) + " TO " + quoted(kReplacedPrefix, table) + ", " + staging +
               " TO " + MySqlName(table));
  } else {
    db.Execute("RENAME TABLE " + staging + " TO " + MySqlName(table));
  }
}

std::string SqlConverter::dropStaging(sql::SqlConnection& db, const std::string& table) {
  const std::string failure = runOrRetry(db, "DROP TABLE IF EXISTS " + quoted(kStagingPrefix, table));
  if (failure.empty()) return "";
  return " (arbeidstabellen " + WorkTableName(kStagingPrefix, table) + " kunne ikke fjernes: " + failure +
         "; neste konvertering fjerner den)";
}

std::string SqlConverter::runOrRetry(sql::SqlConnection& db, const std::string& statement) {
  try {
    db.Execute(statement);
    return "";
  } catch (const sql::SqlError&) {
  }
  // The connection may be gone with the server; one fresh try.
  try {
    connect()->Execute(statement);
    return "";
  } catch (const std::runtime_error& e) {  // from connecting or from the statement
    return e.what();
  }
}
