// kvist-ff: the table store from the command line, for scripts, tests and headless users.
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "app/Data_SQL.h"
#include "app/Query.h"
#include "db/SuiteDatabase.h"
#include "store/Aliases.h"
#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/TableCopy.h"
#include "settings/Felles.h"
#include "text/Cp1252.h"

namespace {

using Args = std::vector<std::string>;

constexpr const char* kUsage = R"(kvist-ff: tabellene i Kvistmerket fra kommandolinjen

Bruk:
  kvist-ff alias add NAVN MAPPE        registrer et alias for en mappe med tabeller
  kvist-ff alias list                  vis alle alias
  kvist-ff create ALIAS TABELL FELT:TYPE[:STØRRELSE]... [--index NAVN:FELT[;FELT...]]...
                                       lag en tabell (typer: String, Smallint, Integer, Word,
                                       Boolean, Float, Currency, Date, Time, DateTime, Memo,
                                       Blob, Graphic, AutoInc, Bytes)
  kvist-ff tables ALIAS                vis tabellene i et alias
  kvist-ff insert ALIAS TABELL FELT=VERDI...
                                       legg til en rad (desimalkomma eller -punktum,
                                       datoer som dd.mm.åååå)
  kvist-ff dump ALIAS TABELL [--index NAVN] [--filter TEKST]
                                       skriv radene, tabulatordelt, med feltnavn først
  kvist-ff sql ALIAS TABELL...         skriv SQL som lager tabellene i MySQL
  kvist-ff create-suite ALIAS [--demo] lag Kvistmerkets 32 forretningstabeller i et alias, med
                                       --demo også et lite eksempelfirma
  kvist-ff import FRA_ALIAS --to ALIAS [TABELL...]
                                       kopier tabeller (også .ff2-filer) med felt, indekser og
                                       rader til et alias som kan skrives; uten tabellnavn alle
  kvist-ff exec-sql SQLALIAS           kjør SQL-teksten fra standard inn i én forespørsel mot et
                                       SQL-alias (SQLALIAS.INI i innstillingsmappen; uten
                                       oppføring er MySQLweb den lokale MariaDB-en)
  kvist-ff --help                      denne teksten
)";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

void requireArgs(const Args& args, std::size_t n, const char* what) {
  if (args.size() < n) throw UsageError(std::string("for få argumenter: ") + what);
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

int cmdAlias(Args args) {
  requireArgs(args, 1, "alias add|list");
  if (args[0] == "list") {
    for (const auto& name : ff::AliasNames()) std::cout << name << '\t' << ff::AliasFolder(name).value_or("") << '\n';
    return 0;
  }
  if (args[0] == "add") {
    requireArgs(args, 3, "alias add NAVN MAPPE");
    ff::AddAlias(args[1], args[2]);
    return 0;
  }
  throw UsageError("ukjent alias-kommando: " + args[0]);
}

int cmdCreate(Args args) {
  const auto options = takeOptions(args, {"--index"});
  requireArgs(args, 3, "create ALIAS TABELL FELT:TYPE...");
  std::vector<ff::FieldDef> fields;
  for (std::size_t i = 2; i < args.size(); ++i) fields.push_back(parseFieldSpec(args[i]));
  std::vector<ff::IndexDef> indexes;
  for (const auto& [key, value] : options) indexes.push_back(parseIndexSpec(value));
  ff::TffSession::DefaultSession().CreateTable(args[0], args[1], fields, indexes);
  return 0;
}

int cmdTables(Args args) {
  requireArgs(args, 1, "tables ALIAS");
  std::vector<std::string> names;
  ff::TffSession::DefaultSession().GetTableNames(args[0], "*.*", false, false, names);
  for (const auto& n : names) std::cout << n << '\n';
  return 0;
}

int cmdInsert(Args args) {
  requireArgs(args, 2, "insert ALIAS TABELL FELT=VERDI...");
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
  requireArgs(args, 2, "dump ALIAS TABELL");
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
  requireArgs(args, 2, "sql ALIAS TABELL...");
  for (std::size_t i = 1; i < args.size(); ++i) {
    ff::TffTable table;
    openTable(table, args[0], args[i]);
    QStringList lines;
    MakeTableSql(lines, table, table.TableName());
    for (const auto& line : lines) std::cout << line.toStdString() << '\n';
  }
  return 0;
}

int cmdExecSql(Args args) {
  requireArgs(args, 1, "exec-sql SQLALIAS");
  int argc = 1;
  char name[] = "kvist-ff";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  InitSettingsStore();
  QStringList lines;
  for (std::string line; std::getline(std::cin, line);) lines << QString::fromStdString(line);
  TQuery query;
  query.SetDatabaseName(QString::fromStdString(args[0]));
  query.SetSQL(lines);
  query.ExecSQL();
  return 0;
}

int cmdCreateSuite(Args args) {
  bool demo = false;
  std::erase_if(args, [&](const std::string& a) { return a == "--demo" && (demo = true); });
  requireArgs(args, 1, "create-suite ALIAS [--demo]");
  if (args.size() > 1) throw UsageError("ukjent argument: " + args[1]);
  auto& session = ff::TffSession::DefaultSession();
  CreateSuite(session, args[0], demo);
  return 0;
}

int cmdImport(Args args) {
  const auto options = takeOptions(args, {"--to"});
  requireArgs(args, 1, "import FRA_ALIAS --to ALIAS [TABELL...]");
  const auto to = options.find("--to");
  if (to == options.end()) throw UsageError("mangler --to ALIAS");
  auto& session = ff::TffSession::DefaultSession();
  std::vector<std::string> tables(args.begin() + 1, args.end());
  if (tables.empty()) session.GetTableNames(args[0], "*.*", false, false, tables);
  for (const auto& table : tables) {
    std::cout << table << '\t' << ff::CopyTable(session, args[0], table, to->second) << " rader kopiert\n";
  }
  return 0;
}

const std::map<std::string, std::function<int(Args)>>& commands() {
  static const std::map<std::string, std::function<int(Args)>> table{
      {"alias", cmdAlias}, {"create", cmdCreate}, {"tables", cmdTables},
      {"insert", cmdInsert}, {"dump", cmdDump}, {"sql", cmdSql},
      {"exec-sql", cmdExecSql}, {"create-suite", cmdCreateSuite}, {"import", cmdImport}};
  return table;
}

}  // namespace

int main(int argc, char** argv) {
  Args args(argv + 1, argv + argc);
  for (std::string& arg : args) arg = RepairUtf8(arg);  // a Windows-1252 terminal's bytes as letters
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::cout << kUsage;
    return args.empty() ? 2 : 0;
  }
  const auto command = commands().find(args[0]);
  try {
    if (command == commands().end()) throw UsageError("ukjent kommando: " + args[0]);
    return command->second(Args(args.begin() + 1, args.end()));
  } catch (const UsageError& e) {
    std::cerr << "kvist-ff: " << e.what() << "\n(kvist-ff --help viser bruken)\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "kvist-ff: " << e.what() << '\n';
    return 1;
  }
}
