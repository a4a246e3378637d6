#include "db/SuiteDatabase.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "db/SuiteDemoFirm.h"
#include "store/Aliases.h"
#include "store/Errors.h"
#include "store/Table.h"

namespace {

constexpr int kDefaultStringSize = 20;

struct RuleIndex {
  const char* component;
  const char* name;
  const char* fields;
};

// Indexes that rules switch a table to by name, beyond the order the table is declared with.
constexpr RuleIndex kRuleIndexes[] = {
    {"VareRegister", "VARENR", "Varenr"},  // looking an item up by its number
    {"VareTable", "VARENR", "VARENR"},     // the binary search over item use; never created there
    {"PosteringTable", "REGNR", "REGNR"},  // the next posting number from the last posting
    // The roll-ups filter hours, item use, postings, trips and travels on a project's parts.
    {"TidTable", "PROSJEKTDEL", "PROSJEKTNR;SYSTEMNR"},
    {"VareTable", "PROSJEKTDEL", "PROSJEKTNR;SYSTEMNR"},
    {"PosteringTable", "PROSJEKTDEL", "PROSJEKTNR;SYSTEMNR"},
    {"KmTable", "PROSJEKTDEL", "PROSJEKTNR;SYSTEMNR"},
    {"ReiseTable", "PROSJEKTDEL", "PROSJEKTNR;SYSTEMNR"},
};

std::string Capitals(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

const FieldSpec& StoredField(const TableSpec& table, const std::string& name) {
  const FieldSpec* field = FindFieldSpec(table, name);
  if (field == nullptr || field->decl.kind != ff::FieldKind::Data) {
    throw ff::Error("Tabellen " + table.tableName + " har ikke feltet " + name + " til indeks");
  }
  return *field;
}

ff::IndexDef IndexOn(const TableSpec& table, const std::string& name,
                     const std::string& fieldList) {
  ff::IndexDef index{name, {}, 0};
  for (const std::string& f : ff::splitFieldList(fieldList)) {
    index.fields.push_back(StoredField(table, f).decl.name);
  }
  return index;
}

bool SameFields(const ff::IndexDef& a, const ff::IndexDef& b) {
  return std::equal(a.fields.begin(), a.fields.end(), b.fields.begin(), b.fields.end(),
                    [](const std::string& x, const std::string& y) { return ff::sameName(x, y); });
}

// Adds an index unless one of that name is there; two different indexes under one name are a
// fault of the declarations.
void AddIndex(std::vector<ff::IndexDef>& indexes, ff::IndexDef index, const TableSpec& table) {
  const auto same = std::find_if(indexes.begin(), indexes.end(), [&](const ff::IndexDef& i) {
    return ff::sameName(i.name, index.name);
  });
  if (same == indexes.end()) {
    indexes.push_back(std::move(index));
  } else if (!SameFields(*same, index)) {
    throw ff::Error("Tabellen " + table.tableName + " har to ulike indekser med navnet " +
                    index.name);
  }
}

void RefuseClashes(const std::string& alias, const std::vector<std::string>& clashes) {
  if (!clashes.empty()) throw ff::Error("Tabellene finnes allerede i " + alias + ": " + Joined(clashes));
}

std::vector<std::string> ExistingSuiteTables(ff::TffSession& session, const std::string& alias) {
  std::vector<std::string> present;
  session.GetTableNames(alias, "*", false, false, present);
  std::vector<std::string> clashes;
  for (const TableSpec& t : BusinessSchema()) {
    const bool exists = std::any_of(present.begin(), present.end(), [&](const std::string& p) {
      return ff::sameName(p, t.tableName);
    });
    if (exists) clashes.push_back(t.tableName);
  }
  return clashes;
}

// Opens a physical table without declared fields, so that it shows its stored ones.
void OpenStored(ff::TffTable& table, ff::TffSession& session, const std::string& alias,
                const std::string& tableName) {
  table.SetSessionName(session.SessionName());
  table.SetDatabaseName(alias);
  table.SetTableName(tableName);
  table.Open();
}

const TableSpec& SpecOf(const DemoTable& demo) {
  const TableSpec* declared = FindTableSpec(demo.component);
  if (declared == nullptr) throw ff::Error("Ukjent tabellkomponent " + demo.component);
  return *declared;
}

bool HoldsRows(ff::TffSession& session, const std::string& alias, const TableSpec& declared) {
  ff::TffTable table(declared.component);
  OpenStored(table, session, alias, declared.tableName);
  const bool rows = !table.IsEmpty();
  table.Close();
  return rows;
}

void AppendRows(ff::TffSession& session, const std::string& alias, const DemoTable& demo) {
  const TableSpec& declared = SpecOf(demo);
  ff::TffTable table(declared.component);
  OpenStored(table, session, alias, declared.tableName);
  for (const DemoRow& row : demo.rows) {
    table.Append();
    for (const auto& [field, value] : row) table.FieldByName(field).SetValue(value);
    table.Post();
  }
  table.Close();
}

}  // namespace

std::vector<ff::FieldDef> SuiteTableFields(const TableSpec& table) {
  std::vector<ff::FieldDef> fields;
  for (const FieldSpec& f : table.fields) {
    if (f.decl.kind != ff::FieldKind::Data) continue;
    const bool isString = f.decl.type == ff::FieldType::String;
    const int size = isString && f.decl.size == 0 ? kDefaultStringSize : f.decl.size;
    fields.push_back({f.decl.name, f.decl.type, size, f.decl.required});
  }
  return fields;
}

std::vector<ff::IndexDef> SuiteTableIndexes(const TableSpec& table) {
  std::vector<ff::IndexDef> indexes;
  if (!table.indexName.empty()) {
    AddIndex(indexes, IndexOn(table, table.indexName, table.indexName), table);
  }
  if (!table.indexFieldNames.empty()) {
    AddIndex(indexes, IndexOn(table, Capitals(table.indexFieldNames), table.indexFieldNames),
             table);
  }
  for (const RuleIndex& r : kRuleIndexes) {
    if (table.component == r.component) AddIndex(indexes, IndexOn(table, r.name, r.fields), table);
  }
  return indexes;
}

void CreateSuiteTables(ff::TffSession& session, const std::string& alias) {
  struct Physical {
    std::string name;
    std::vector<ff::FieldDef> fields;
    std::vector<ff::IndexDef> indexes;
  };
  std::vector<Physical> tables;
  for (const TableSpec& t : BusinessSchema()) {
    tables.push_back({t.tableName, SuiteTableFields(t), SuiteTableIndexes(t)});
  }
  RefuseClashes(alias, ExistingSuiteTables(session, alias));
  for (const Physical& t : tables) session.CreateTable(alias, t.name, t.fields, t.indexes);
}

void FillDemoData(ff::TffSession& session, const std::string& alias) {
  const std::vector<DemoTable> firm = DemoFirm();
  for (const DemoTable& demo : firm) {
    const TableSpec& declared = SpecOf(demo);
    if (HoldsRows(session, alias, declared)) {
      throw ff::Error("Tabellen " + declared.tableName +
                      " har allerede data; eksempeldata skrives bare i tomme tabeller");
    }
  }
  for (const DemoTable& demo : firm) AppendRows(session, alias, demo);
}

namespace {

namespace fs = std::filesystem;

// Marks a building folder whose tables are whole and only wait to be moved.
constexpr const char* kBuiltMark = "FERDIG";

fs::path BuildingFolder(const std::string& alias) {
  const std::optional<std::string> folder = ff::AliasFolder(alias);
  return fs::path(folder.value_or(alias)) / ".kvist-suite-bygges";
}

void MoveBuiltTables(const fs::path& building, const fs::path& target) {
  for (const fs::directory_entry& entry : fs::directory_iterator(building)) {
    if (entry.path().filename() != kBuiltMark) fs::rename(entry.path(), target / entry.path().filename());
  }
  fs::remove_all(building);
}

}  // namespace

void CreateSuite(ff::TffSession& session, const std::string& alias, bool demo) {
  const std::vector<std::string> clashes = ExistingSuiteTables(session, alias);  // refuses an unknown alias
  const fs::path building = BuildingFolder(alias);
  if (fs::exists(building / kBuiltMark)) {
    MoveBuiltTables(building, building.parent_path());
    return;
  }
  fs::remove_all(building);
  RefuseClashes(alias, clashes);
  fs::create_directories(building);
  const std::string buildingName = building.string() + "/";
  try {
    CreateSuiteTables(session, buildingName);
    if (demo) FillDemoData(session, buildingName);
    std::ofstream(building / kBuiltMark).close();
  } catch (...) {
    std::error_code ec;
    fs::remove_all(building, ec);
    throw;
  }
  MoveBuiltTables(building, building.parent_path());
}
