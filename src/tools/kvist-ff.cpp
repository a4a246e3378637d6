// kvist-ff: the table store from the command line, for scripts, tests and headless users.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <termios.h>
#include <unistd.h>

#include "convert/ConvertReport.h"
#include "convert/TableSql.h"
#include "db/SuiteDatabase.h"
#include "sql/SqlEndpoint.h"
#include "sql/SqlError.h"
#include "store/Aliases.h"
#include "store/ClientConfig.h"
#include "store/Engine.h"
#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/TableCopy.h"
#include "store/backends/StandardBackends.h"
#include "settings/Felles.h"
#include "settings/SettingsError.h"
#include "settings/SqlAliases.h"
#include "text/Cp1252.h"

namespace {

using Args = std::vector<std::string>;

constexpr const char* kVersion = "kvist-ff (Kvistmerket) 1.0";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr std::size_t kAnyNumber = static_cast<std::size_t>(-1);

// The positional arguments (options taken out) must number from `least` to `most`.
void requireArgs(const Args& args, std::size_t least, std::size_t most = kAnyNumber) {
  if (args.size() < least) throw UsageError("for få argumenter");
  if (args.size() > most) throw UsageError("for mange argumenter: " + args[most]);
}

// Splits "A:B:C" at the first `count` colons.
std::vector<std::string> splitColon(const std::string& s) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (auto pos = s.find(':'); pos != std::string::npos; pos = s.find(':', start)) {
    parts.push_back(s.substr(start, pos - start));
    start = pos + 1;
  }
  parts.push_back(s.substr(start));
  return parts;
}

ff::FieldDef parseFieldSpec(const std::string& text) {
  const auto parts = splitColon(text);
  if (parts.size() < 2 || parts.size() > 3 || parts[0].empty()) {
    throw UsageError("feltet må skrives FELT:TYPE[:STØRRELSE]: " + text);
  }
  const auto type = ff::fieldTypeFromName(parts[1]);
  if (!type) throw UsageError("ukjent felttype: " + parts[1]);
  int size = 0;
  if (parts.size() == 3) {
    try {
      size = std::stoi(parts[2]);
    } catch (const std::exception&) {
      throw UsageError("ugyldig størrelse: " + parts[2]);
    }
    if (size < 0) throw UsageError("ugyldig størrelse: " + parts[2]);
  } else if (*type == ff::FieldType::String) {
    size = 20;
  }
  return {parts[0], *type, size, false};
}

ff::IndexDef parseIndexSpec(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos || colon == 0) throw UsageError("indeksen må skrives NAVN:FELT[;FELT...]: " + text);
  ff::IndexDef index{text.substr(0, colon), ff::splitFieldList(text.substr(colon + 1)), 0};
  if (index.fields.empty()) throw UsageError("indeksen " + index.name + " har ingen felt");
  return index;
}

// Takes "--name VALUE" pairs out of args; what is left are the positional arguments.
std::multimap<std::string, std::string> takeOptions(Args& args, const std::vector<std::string>& known) {
  std::multimap<std::string, std::string> options;
  Args rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i].rfind("--", 0) != 0) {
      rest.push_back(args[i]);
      continue;
    }
    if (std::find(known.begin(), known.end(), args[i]) == known.end()) throw UsageError("ukjent valg: " + args[i]);
    if (i + 1 >= args.size()) throw UsageError("mangler verdi etter " + args[i]);
    options.emplace(args[i], args[i + 1]);
    ++i;
  }
  args = rest;
  return options;
}

void openTable(ff::TffTable& table, const std::string& alias, const std::string& name) {
  table.SetDatabaseName(alias);
  table.SetTableName(name);
  table.Open();
}

// Tabs, line ends and backslashes escaped so that one row stays one line.
std::string escapeCell(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

std::string cellText(const ff::TField& f) {
  if (ff::storageClassOf(f.DataType()) == ff::StorageClass::Bytes && !f.IsNull()) {
    return "[" + std::to_string(f.AsString().size()) + " byte]";
  }
  return escapeCell(f.DisplayText());
}

// The folder of an alias, or "server/database" for one on a server.
std::string aliasPlace(const std::string& alias) {
  if (const auto server = ff::AliasServer(alias)) return server->serverName + "/" + server->database;
  return ff::AliasFolder(alias).value_or("");
}

int addServerAlias(Args args) {
  const auto options = takeOptions(args, {"--server", "--database"});
  requireArgs(args, 2, 2);
  const auto server = options.find("--server");
  const auto database = options.find("--database");
  if (database == options.end()) throw UsageError("mangler --database DATABASE");
  ff::AddServerAlias(args[1], {server->second, database->second});
  return 0;
}

std::string rowsCopied(std::int64_t rows) {
  return std::to_string(rows) + (rows == 1 ? " rad kopiert" : " rader kopiert");
}

int cmdAlias(Args args) {
  requireArgs(args, 1);
  if (args[0] == "list") {
    requireArgs(args, 1, 1);
    for (const auto& name : ff::AliasNames()) std::cout << name << '\t' << aliasPlace(name) << '\n';
    return 0;
  }
  if (args[0] == "add" && std::find(args.begin(), args.end(), "--server") != args.end()) return addServerAlias(args);
  if (args[0] == "add") {
    requireArgs(args, 3, 3);
    ff::AddAlias(args[1], args[2]);
    return 0;
  }
  throw UsageError("ukjent alias-kommando: " + args[0]);
}

int cmdCreate(Args args) {
  const auto options = takeOptions(args, {"--index"});
  requireArgs(args, 3);
  std::vector<ff::FieldDef> fields;
  for (std::size_t i = 2; i < args.size(); ++i) fields.push_back(parseFieldSpec(args[i]));
  std::vector<ff::IndexDef> indexes;
  for (const auto& [key, value] : options) indexes.push_back(parseIndexSpec(value));
  ff::TffSession::DefaultSession().CreateTable(args[0], args[1], fields, indexes);
  return 0;
}

int cmdTables(Args args) {
  requireArgs(args, 1, 1);
  std::vector<std::string> names;
  ff::TffSession::DefaultSession().GetTableNames(args[0], "*.*", false, false, names);
  for (const auto& n : names) std::cout << n << '\n';
  return 0;
}

int cmdInsert(Args args) {
  requireArgs(args, 2);
  ff::TffTable table;
  openTable(table, args[0], args[1]);
  table.Append();
  try {
    for (std::size_t i = 2; i < args.size(); ++i) {
      const auto eq = args[i].find('=');
      if (eq == std::string::npos) throw UsageError("verdien må skrives FELT=VERDI: " + args[i]);
      table.FieldByName(args[i].substr(0, eq)).SetEditText(args[i].substr(eq + 1));
    }
    table.Post();
  } catch (...) {
    table.Cancel();
    throw;
  }
  return 0;
}

int cmdDump(Args args) {
  const auto options = takeOptions(args, {"--index", "--filter"});
  requireArgs(args, 2, 2);
  ff::TffTable table;
  if (auto it = options.find("--index"); it != options.end()) table.SetIndexName(it->second);
  if (auto it = options.find("--filter"); it != options.end()) {
    table.SetFilter(it->second);
    table.SetFiltered(true);
  }
  openTable(table, args[0], args[1]);
  for (int i = 0; i < table.FieldCount(); ++i) std::cout << (i ? "\t" : "") << table.Fields(i).FieldName();
  std::cout << '\n';
  for (table.First(); !table.Eof(); table.Next()) {
    for (int i = 0; i < table.FieldCount(); ++i) std::cout << (i ? "\t" : "") << cellText(table.Fields(i));
    std::cout << '\n';
  }
  return 0;
}

int cmdSql(Args args) {
  requireArgs(args, 2);
  // Blocks are separated as the window's pane separates them, so the text runs as it stands.
  std::vector<std::string> previous;
  for (std::size_t i = 1; i < args.size(); ++i) {
    ff::TffTable table;
    openTable(table, args[0], args[i]);
    std::vector<std::string> lines = StatementEndAfter(previous);
    AppendTableSql(lines, table, table.TableName());
    for (const auto& line : lines) std::cout << line << '\n';
    previous = lines;
  }
  return 0;
}

// A yes/no option of login, unset when not given.
std::optional<bool> switchOption(const std::multimap<std::string, std::string>& options, const std::string& name) {
  const auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  try {
    return sql::ParseTlsSwitch(name, it->second);
  } catch (const sql::SqlError& e) {
    throw UsageError(e.what());
  }
}

// The workstation's login to a server goes into client.cfg; the password comes on standard
// input, never on the command line where others could see it.
int cmdLogin(Args args) {
  const auto options = takeOptions(args, {"--ca", "--tls-required", "--verify-server"});
  requireArgs(args, 2, 2);
  try {
    sql::ParseServerName(args[0]);
  } catch (const sql::SqlError& e) {
    throw UsageError(e.what());
  }
  const auto ca = options.find("--ca");
  const sql::SqlTls tls{ca == options.end() ? std::string() : ca->second, switchOption(options, "--tls-required"),
                        switchOption(options, "--verify-server")};
  std::string password;
  std::getline(std::cin, password);
  ff::FFClientConfigWriteServerName(args[0]);
  ff::FFClientConfigWriteProtocolName(ff::ProtocolName(ff::Protocol::TcpIp));
  ff::FFClientConfigWriteServerLogin(args[1], password);
  ff::FFClientConfigWriteServerTls(tls);
  std::cout << "Innloggingen til " << args[0] << " som " << args[1] << " er lagret i " << ff::FFClientConfigFile()
            << '\n';
  return 0;
}

// A password from the terminal without echo (the prompt on standard error), else the first
// line of standard input, so that scripts and tests can pipe it in.
std::string readPassword(const std::string& prompt) {
  if (!isatty(STDIN_FILENO)) {
    std::string password;
    std::getline(std::cin, password);
    return password;
  }
  termios saved{};
  tcgetattr(STDIN_FILENO, &saved);
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  std::cerr << prompt << std::flush;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  std::string password;
  std::getline(std::cin, password);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::cerr << '\n';
  return password;
}

std::string requiredOption(const std::multimap<std::string, std::string>& options, const std::string& name,
                           const char* what) {
  const auto it = options.find(name);
  if (it == options.end()) throw UsageError("mangler " + name + " " + what);
  return it->second;
}

std::string optionOr(const std::multimap<std::string, std::string>& options, const std::string& name) {
  const auto it = options.find(name);
  return it == options.end() ? std::string() : it->second;
}

// A whole number from least to most, else a usage error naming what it is.
int numberBetween(const std::string& text, int least, int most, const std::string& what) {
  try {
    std::size_t used = 0;
    const int number = std::stoi(text, &used);
    if (used != text.size() || number < least || number > most) throw std::invalid_argument(text);
    return number;
  } catch (const std::logic_error&) {
    throw UsageError(what + ": " + text);
  }
}

// A server reached over TCP/IP (--host, --port) or through a local socket (--socket).
void takePlace(const std::multimap<std::string, std::string>& options, SqlAliasSettings& settings) {
  settings.host = optionOr(options, "--host");
  settings.socket = optionOr(options, "--socket");
  if (settings.host.empty() == settings.socket.empty()) throw UsageError("oppgi enten --host VERT eller --socket FIL");
  if (const std::string port = optionOr(options, "--port"); !port.empty()) {
    if (settings.host.empty()) throw UsageError("--port hører til --host");
    settings.port = numberBetween(port, 1, 65535, "ugyldig port");
  }
}

// The SQL alias's password is asked for, never taken from the command line where others
// could see it.
int cmdSqlAlias(Args args) {
  const auto options = takeOptions(args, {"--host", "--port", "--socket", "--database", "--user", "--ca",
                                          "--tls-required", "--verify-server"});
  requireArgs(args, 2, 2);
  if (args[0] != "add") throw UsageError("ukjent sql-alias-kommando: " + args[0]);
  SqlAliasSettings settings;
  takePlace(options, settings);
  settings.database = requiredOption(options, "--database", "DATABASE");
  settings.user = requiredOption(options, "--user", "BRUKER");
  settings.tlsCa = optionOr(options, "--ca");
  settings.tlsRequired = switchOption(options, "--tls-required");
  settings.tlsVerifyServer = switchOption(options, "--verify-server");
  InitSettingsStore();
  settings.password = readPassword("Passord for " + settings.user + ": ");
  try {
    AddSqlAlias(args[1], settings);
  } catch (const SettingsError& e) {
    std::cerr << "kvist-ff sql-alias: " << e.what() << '\n';
    return 2;
  }
  std::cout << "SQL-aliaset " << args[1] << " er lagret i " << SqlAliasFileName() << " (bare eieren kan lese filen)\n";
  return 0;
}

int cmdExecSql(Args args) {
  requireArgs(args, 1, 1);
  InitSettingsStore();
  std::string text;
  for (std::string line; std::getline(std::cin, line);) text += (text.empty() ? "" : "\n") + line;
  RunSqlText(args[0], text);
  return 0;
}

int cmdCreateSuite(Args args) {
  bool demo = false;
  std::erase_if(args, [&](const std::string& a) { return a == "--demo" && (demo = true); });
  requireArgs(args, 1, 1);
  auto& session = ff::TffSession::DefaultSession();
  CreateSuite(session, args[0], demo);
  return 0;
}

int cmdImport(Args args) {
  const auto options = takeOptions(args, {"--to"});
  requireArgs(args, 1);
  const auto to = options.find("--to");
  if (to == options.end()) throw UsageError("mangler --to ALIAS");
  auto& session = ff::TffSession::DefaultSession();
  std::vector<std::string> tables(args.begin() + 1, args.end());
  if (tables.empty()) session.GetTableNames(args[0], "*.*", false, false, tables);
  // A table that cannot be copied is named and skipped; the others are still copied.
  std::string failed;
  int failures = 0;
  for (const auto& table : tables) {
    try {
      const std::int64_t copied = ff::CopyTable(session, args[0], table, to->second);
      std::cout << table << '\t' << rowsCopied(copied) << std::endl;
    } catch (const ff::Error& e) {
      std::cerr << "kvist-ff: " << table << " ble ikke kopiert: " << e.what() << std::endl;
      failed += (failures++ ? ", " : "") + table;
    }
  }
  if (failures == 0) return 0;
  std::cerr << "kvist-ff: " << failures << " av " << tables.size() << " tabeller ble ikke kopiert: " << failed << '\n';
  return 1;
}

// The platform's data folder for the tool's own files: $XDG_DATA_HOME/kvistmerket, else
// ~/.local/share/kvistmerket.
std::string dataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  const std::string base = data && *data ? data : std::string(home && *home ? home : ".") + "/.local/share";
  return base + "/kvistmerket/";
}

// By default each run's log goes into the data folder, named by when it started, and the
// reject report beside it.
ConvertFiles convertFiles(const std::multimap<std::string, std::string>& options) {
  ConvertFiles files{optionOr(options, "--log"), optionOr(options, "--reject-report")};
  if (files.log.empty()) {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::error_code ec;
    std::filesystem::create_directories(dataFolder() + "logg", ec);
    files.log = dataFolder() + "logg/konvertering-" + stamp + ".log";
  }
  if (files.rejects.empty()) {
    const auto dot = files.log.rfind('.');
    files.rejects = (dot == std::string::npos || dot < files.log.rfind('/') + 1 ? files.log : files.log.substr(0, dot)) +
                    "-avvist.tsv";
  }
  return files;
}

constexpr int kMostJobs = 16;

// The machine's cores, at most 4: more connections than that only make the server's disk and
// the source's reading wait for each other.
int defaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 4u));
}

int cmdConvert(Args args) {
  // Flags without a value first; takeOptions reads "--name VALUE" pairs.
  const auto takeFlag = [&](const char* flag) { return std::erase(args, std::string(flag)) > 0; };
  ConvertOptions options;
  options.verify = !takeFlag("--no-verify");
  options.nullForBadDates = takeFlag("--lossy-dates=null") | takeFlag("--lossy-dates");
  options.dropForeignKeys = takeFlag("--drop-foreign-keys");
  const bool quiet = takeFlag("--quiet");
  const bool dryRun = takeFlag("--dry-run");
  const auto valued = takeOptions(args, {"--to", "--collation", "--log", "--reject-report", "--jobs"});
  requireArgs(args, 1);
  const std::string to = requiredOption(valued, "--to", "SQLALIAS");
  const std::string jobs = optionOr(valued, "--jobs");
  options.jobs = jobs.empty() ? defaultJobs() : numberBetween(jobs, 1, kMostJobs, "--jobs må være et tall fra 1 til " +
                                                                                      std::to_string(kMostJobs));
  if (const std::string collation = optionOr(valued, "--collation"); !collation.empty()) options.collation = collation;
  options.fromAlias = args[0];
  options.tables.assign(args.begin() + 1, args.end());
  InitSettingsStore();
  const auto connector = SqlAliasConnectorSayingWhere(to);
  if (dryRun) return RunConvertPlan(options, connector, std::cout, std::cerr);
  return RunConvertCommand(options, connector, !quiet && isatty(STDERR_FILENO), convertFiles(valued), std::cout,
                           std::cerr);
}

int cmdCopyAlias(Args args) {
  requireArgs(args, 2, 2);
  ff::CopyAlias(ff::TffSession::DefaultSession(), args[0], args[1], [](const std::string& table, std::int64_t rows) {
    std::cout << table << '\t' << rowsCopied(rows) << std::endl;
  });
  return 0;
}

// One way of calling a command: its arguments after the command's name, and what it does
// (lines of the description separated by '\n').
struct CommandForm {
  const char* arguments;
  const char* description;
};

// A command of the tool: its name, the forms its usage shows and what runs it. A new command
// is one entry in commands(); the help, its own --help and its usage errors follow from it.
struct Command {
  const char* name;
  std::vector<CommandForm> forms;
  std::function<int(Args)> run;
};

const std::vector<Command>& commands() {
  static const std::vector<Command> table{
      {"alias",
       {{"add NAVN MAPPE", "registrer et alias for en mappe med tabeller"},
        {"add NAVN --server NAVN@ADRESSE[:PORT] --database DATABASE",
         "registrer et alias for en database på en MariaDB-server (bruker og passord fra\n"
         "klientoppsettet)"},
        {"list", "vis alle alias"}},
       cmdAlias},
      {"login",
       {{"NAVN@ADRESSE[:PORT] BRUKER [--ca FIL] [--tls-required 1|0] [--verify-server 1|0]",
         "lagre arbeidsstasjonens innlogging til MariaDB-serveren i klientoppsettet (client.cfg,\n"
         "bare eieren kan lese det); passordet leses fra standard inn. --ca: CA-filen serverens\n"
         "sertifikat kontrolleres mot (da også serverens navn); kryptering (TLS) er påkrevd"}},
       cmdLogin},
      {"create",
       {{"ALIAS TABELL FELT:TYPE[:STØRRELSE]... [--index NAVN:FELT[;FELT...]]...",
         "lag en tabell (typer: String, Smallint, Integer, Word, Boolean, Float, Currency,\n"
         "Date, Time, DateTime, Memo, Blob, Graphic, AutoInc, LongWord, Bytes)"}},
       cmdCreate},
      {"tables", {{"ALIAS", "vis tabellene i et alias"}}, cmdTables},
      {"insert",
       {{"ALIAS TABELL FELT=VERDI...", "legg til en rad (desimalkomma eller -punktum, datoer som dd.mm.åååå)"}},
       cmdInsert},
      {"dump",
       {{"ALIAS TABELL [--index NAVN] [--filter TEKST]", "skriv radene, tabulatordelt, med feltnavn først"}},
       cmdDump},
      {"sql",
       {{"ALIAS TABELL...", "skriv SQL som lager tabellene i MySQL, med \";\" mellom tabellene som i vinduet"}},
       cmdSql},
      {"create-suite",
       {{"ALIAS [--demo]",
         "lag Kvistmerkets 32 forretningstabeller i et alias, med --demo også et lite eksempelfirma"}},
       cmdCreateSuite},
      {"import",
       {{"FRA_ALIAS --to ALIAS [TABELL...]",
         "kopier tabeller (også .ff2-filer) med felt, indekser og rader til et alias som kan\n"
         "skrives; uten tabellnavn alle"}},
       cmdImport},
      {"copy-alias",
       {{"FRA TIL",
         "kopier alle tabellene i et alias, med felt, indekser og rader, til et annet (for\n"
         "eksempel fra en mappe til en server)"}},
       cmdCopyAlias},
      {"exec-sql",
       {{"SQLALIAS",
         "kjør SQL-teksten fra standard inn i én forespørsel mot et SQL-alias (SQLALIAS.INI i\n"
         "innstillingsmappen; uten oppføring er MySQLweb den lokale MariaDB-en)"}},
       cmdExecSql},
      {"sql-alias",
       {{"add NAVN (--host VERT [--port PORT] | --socket FIL) --database DATABASE --user BRUKER\n"
         "      [--ca FIL] [--tls-required 1|0] [--verify-server 1|0]",
         "legg til et SQL-alias i SQLALIAS.INI i innstillingsmappen (bare eieren kan lese filen);\n"
         "passordet spørres om uten at det vises (eller leses fra standard inn). Over TCP/IP er\n"
         "kryptering (TLS) påkrevd: --ca er CA-filen serverens sertifikat kontrolleres mot"}},
       cmdSqlAlias},
      {"convert",
       {{"FRA_ALIAS --to SQLALIAS [TABELL...] [--dry-run] [--no-verify] [--quiet] [--lossy-dates]\n"
         "      [--collation NAVN] [--drop-foreign-keys] [--log FIL] [--reject-report FIL] [--jobs N]",
         "flytt tabeller med alle rader inn i MySQL/MariaDB, kontrollert mot kilden; uten\n"
         "tabellnavn alle. --dry-run: vis planen (tabeller, kolonnetyper, indekser, nøkkelen)\n"
         "uten å endre noe på serveren. --lossy-dates: datoer utenfor det MySQL kan lagre blir\n"
         "NULL. --collation: sorteringen av tekst (utf8mb4_danish_ci: Ø før Å). En tabell som\n"
         "andre tabellers fremmednøkler peker på erstattes ikke, unntatt med --drop-foreign-keys\n"
         "(som fjerner dem). Loggen (--log) legges ellers i ~/.local/share/kvistmerket/logg/,\n"
         "og avvisningsrapporten (hver avvist eller endret verdi) ved siden av den. Ctrl-C\n"
         "avbryter trygt: tabellene under arbeid forblir uendret. --jobs: så mange tabeller\n"
         "konverteres samtidig, hver på sin egen tilkobling, de største først (standard: maskinens\n"
         "kjerner, høyst 4; --jobs 1 tar én tabell om gangen)"}},
       cmdConvert},
  };
  return table;
}

const Command* findCommand(const std::string& name) {
  for (const Command& command : commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

void printUsageLines(std::ostream& out, const Command& command) {
  for (const CommandForm& form : command.forms) out << "  kvist-ff " << command.name << ' ' << form.arguments << '\n';
}

void printHelp(std::ostream& out, const Command& command) {
  for (const CommandForm& form : command.forms) {
    out << "  kvist-ff " << command.name << ' ' << form.arguments << '\n';
    std::istringstream lines(form.description);
    for (std::string line; std::getline(lines, line);) out << "      " << line << '\n';
  }
}

void printHelp(std::ostream& out) {
  out << "kvist-ff: tabellene i Kvistmerket fra kommandolinjen\n\nBruk:\n";
  for (const Command& command : commands()) printHelp(out, command);
  out << "  kvist-ff KOMMANDO --help\n      bruken av én kommando\n"
         "  kvist-ff --help | --version\n      denne teksten | versjonen\n";
}

bool asksForHelp(const Args& args) {
  return std::any_of(args.begin(), args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
}

// Usage errors exit with 2, failures of the work with 1.
int runCommand(const Command& command, const Args& args) {
  if (asksForHelp(args)) {
    printHelp(std::cout, command);
    return 0;
  }
  try {
    return command.run(args);
  } catch (const UsageError& e) {
    std::cerr << "kvist-ff " << command.name << ": " << e.what() << "\nBruk:\n";
    printUsageLines(std::cerr, command);
    return 2;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Args args(argv + 1, argv + argc);
  for (std::string& arg : args) arg = RepairUtf8(arg);  // a Windows-1252 terminal's bytes as letters
  if (args.empty()) {
    printHelp(std::cerr);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    printHelp(std::cout);
    return 0;
  }
  if (args[0] == "--version") {
    std::cout << kVersion << '\n';
    return 0;
  }
  const Command* command = findCommand(args[0]);
  if (!command) {
    std::cerr << "kvist-ff: ukjent kommando: " << args[0] << "\n(kvist-ff --help viser bruken)\n";
    return 2;
  }
  ff::RegisterStandardBackends();
  try {
    return runCommand(*command, Args(args.begin() + 1, args.end()));
  } catch (const EUnknownSqlAlias& e) {
    std::cerr << "kvist-ff: " << e.what() << '\n' << e.WhereLooked() << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "kvist-ff: " << e.what() << '\n';
    return 1;
  }
}
