// The sample firm: every value fits a stored field, registrations and lines belong to rows
// that exist, and the sums held in the rows agree with what they sum.
#include "db/SuiteDemoFirm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>

#include "db/DataFilerSchema.h"
#include "store/Schema.h"

namespace {

const std::vector<DemoTable>& Firm() {
  static const std::vector<DemoTable> firm = DemoFirm();
  return firm;
}

const std::vector<DemoRow>& Rows(const std::string& component) {
  for (const DemoTable& t : Firm()) {
    if (t.component == component) return t.rows;
  }
  throw std::runtime_error("the sample firm has no " + component);
}

ff::Value Get(const DemoRow& row, const std::string& field) {
  for (const auto& [name, value] : row) {
    if (ff::sameName(name, field)) return value;
  }
  return {};
}

double Num(const DemoRow& row, const std::string& field) {
  return ff::valueToDouble(Get(row, field));
}

std::string Text(const DemoRow& row, const std::string& field) {
  return ff::valueToString(Get(row, field));
}

// A row's values of some fields as one text, each followed by "/".
std::string Key(const DemoRow& row, const std::vector<std::string>& fields) {
  std::string key;
  for (const std::string& f : fields) key += ff::valueToString(Get(row, f)) + "/";
  return key;
}

std::set<std::string> Keys(const std::string& component, const std::vector<std::string>& fields) {
  std::set<std::string> keys;
  for (const DemoRow& row : Rows(component)) keys.insert(Key(row, fields));
  return keys;
}

std::size_t Utf8Length(const std::string& s) {
  std::size_t n = 0;
  for (const unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// Why a value does not fit a field, or empty when it does.
std::string Misfit(const ff::FieldDecl& d, const ff::Value& v) {
  using T = ff::FieldType;
  const auto* text = std::get_if<std::string>(&v);
  const auto* whole = std::get_if<std::int64_t>(&v);
  switch (d.type) {
    case T::String:
      if (text == nullptr) return "not text";
      return Utf8Length(*text) <= static_cast<std::size_t>(d.size) ? "" : "longer than the field";
    case T::Memo:
      return text != nullptr ? "" : "not text";
    case T::Float:
    case T::DateTime:
      return std::holds_alternative<double>(v) ? "" : "not a double";
    case T::Boolean:
      return whole != nullptr && (*whole == 0 || *whole == 1) ? "" : "not 0 or 1";
    case T::Smallint:
      return whole != nullptr && *whole >= -32768 && *whole <= 32767 ? "" : "not a smallint";
    case T::Word:
      return whole != nullptr && *whole >= 0 && *whole <= 65535 ? "" : "not a word";
    case T::Integer:
      return whole != nullptr ? "" : "not an integer";
    default:
      return "a type the sample firm does not write";
  }
}

double Sum(const std::string& component, const std::string& field,
           const std::function<bool(const DemoRow&)>& counts) {
  double sum = 0;
  for (const DemoRow& row : Rows(component)) {
    if (counts(row)) sum += Num(row, field);
  }
  return sum;
}

bool OnPart(const DemoRow& row, const DemoRow& part) {
  return Num(row, "PROSJEKTNR") == Num(part, "PROSJEKTNR") &&
         Num(row, "SYSTEMNR") == Num(part, "SYSTEMNR");
}

}  // namespace

TEST(DemoFirm, EveryValueFitsAStoredFieldOfItsTable) {
  std::set<std::string> components;
  for (const DemoTable& t : Firm()) {
    EXPECT_TRUE(components.insert(t.component).second) << t.component << " twice";
    const TableSpec* declared = FindTableSpec(t.component);
    ASSERT_NE(declared, nullptr) << t.component;
    EXPECT_FALSE(t.rows.empty()) << t.component;
    for (const DemoRow& row : t.rows) {
      std::set<std::string> written;
      for (const auto& [name, value] : row) {
        const FieldSpec* f = FindFieldSpec(*declared, name);
        ASSERT_NE(f, nullptr) << t.component << " has no field " << name;
        EXPECT_EQ(f->decl.kind, ff::FieldKind::Data) << t.component << "." << name;
        EXPECT_EQ(Misfit(f->decl, value), "") << t.component << "." << name;
        EXPECT_TRUE(written.insert(f->decl.name).second) << t.component << "." << name;
      }
      for (const FieldSpec& f : declared->fields) {
        if (f.decl.required) {
          EXPECT_TRUE(written.count(f.decl.name)) << t.component << "." << f.decl.name;
        }
      }
    }
  }
}

TEST(DemoFirm, MastersAreWrittenBeforeTheirDetails) {
  std::map<std::string, std::size_t> position;
  for (std::size_t i = 0; i < Firm().size(); ++i) position[Firm()[i].component] = i;
  for (const DemoTable& t : Firm()) {
    const TableSpec& declared = *FindTableSpec(t.component);
    if (declared.masterSource.empty()) continue;
    const TableSpec* master = FindTableSpecBySource(declared.masterSource);
    ASSERT_TRUE(position.count(master->component)) << t.component << " without its master";
    EXPECT_LT(position[master->component], position[t.component]) << t.component;
  }
}

TEST(DemoFirm, DetailRowsBelongToMasterRows) {
  // The declared master-detail links.
  for (const DemoTable& t : Firm()) {
    const TableSpec& declared = *FindTableSpec(t.component);
    if (declared.masterSource.empty()) continue;
    const TableSpec& master = *FindTableSpecBySource(declared.masterSource);
    const auto keys = Keys(master.component, ff::splitFieldList(declared.masterFields));
    for (const DemoRow& row : t.rows) {
      EXPECT_TRUE(keys.count(Key(row, {declared.indexName})))
          << t.component << " " << Key(row, {declared.indexName});
    }
  }
  // Registrations against projects and parts, or against equipment and its jobs.
  const auto parts = Keys("SystemTable", {"PROSJEKTNR", "SYSTEMNR"});
  const auto jobs = Keys("JobbTable", {"UTSTYRNR", "JOBB"});
  for (const char* c : {"TidTable", "VareTable", "KmTable", "ReiseTable", "UtleggTable"}) {
    for (const DemoRow& row : Rows(c)) {
      const bool onPart = parts.count(Key(row, {"PROSJEKTNR", "SYSTEMNR"})) == 1;
      const bool onJob = Num(row, "PROSJEKTNR") == 0 && jobs.count(Key(row, {"UTSTYRNR", "JOBB"}));
      EXPECT_TRUE(onPart || onJob) << c << " " << Key(row, {"PROSJEKTNR", "SYSTEMNR", "UTSTYRNR"});
    }
  }
  const auto projects = Keys("ProsjektTable", {"PROSJEKTNR"});
  for (const char* c : {"SystemTable", "PosteringTable"}) {
    for (const DemoRow& row : Rows(c)) EXPECT_TRUE(projects.count(Key(row, {"PROSJEKTNR"}))) << c;
  }
  const auto equipment = Keys("Utstyrtable", {"UTSTYRNR"});
  for (const char* c : {"JobbTable", "KabelTable"}) {
    for (const DemoRow& row : Rows(c)) EXPECT_TRUE(equipment.count(Key(row, {"UTSTYRNR"}))) << c;
  }
  const auto staff = Keys("PersonTable", {"INITIALER"});
  for (const char* c : {"TidTable", "KmTable", "ReiseTable", "JobbTable", "ProsjektTable"}) {
    for (const DemoRow& row : Rows(c)) EXPECT_TRUE(staff.count(Key(row, {"INITIALER"}))) << c;
  }
  const auto items = Keys("VareRegister", {"Varenr"});
  for (const DemoRow& row : Rows("VareTable")) EXPECT_TRUE(items.count(Key(row, {"VARENR"})));
  for (const char* c :
       {"TilbudVareTable", "FakturaVareTable", "OrdreVareTable", "InnkjopVareTable"}) {
    for (const DemoRow& row : Rows(c)) EXPECT_TRUE(items.count(Key(row, {"Varenr"}))) << c;
  }
  const auto companies = Keys("FirmaTable", {"Nr"});
  for (const char* c : {"ProsjektTable", "PosteringTable", "ReiseTable", "Utstyrtable"}) {
    for (const DemoRow& row : Rows(c)) {
      EXPECT_TRUE(companies.count(std::to_string(static_cast<int>(Num(row, "NR"))) + "/")) << c;
    }
  }
}

TEST(DemoFirm, KeysAreUnique) {
  const std::pair<const char*, std::vector<std::string>> keys[] = {
      {"ProsjektTable", {"PROSJEKTNR"}}, {"SystemTable", {"PROSJEKTNR", "SYSTEMNR"}},
      {"PersonTable", {"INITIALER"}},    {"FirmaTable", {"Nr"}},
      {"VareRegister", {"Varenr"}},      {"ReiseTable", {"REGNR"}},
      {"PosteringTable", {"REGNR"}},     {"Utstyrtable", {"UTSTYRNR"}},
      {"KontoTable", {"KONTONR"}},       {"JobbTable", {"UTSTYRNR", "JOBB"}},
      {"TilbudTable", {"Nummer"}},       {"Fakturatable", {"Nummer"}},
      {"OrdreTable", {"Nummer"}},        {"InnkjopTable", {"Nummer"}}};
  for (const auto& [component, fields] : keys) {
    EXPECT_EQ(Keys(component, fields).size(), Rows(component).size()) << component;
  }
}

TEST(DemoFirm, TravelsTripsAndItemUseAddUp) {
  for (const DemoRow& travel : Rows("ReiseTable")) {
    const double expenses = Sum("UtleggTable", "SUM", [&](const DemoRow& e) {
      return Num(e, "REGNR") == Num(travel, "REGNR");
    });
    EXPECT_GT(expenses, 0);
    EXPECT_DOUBLE_EQ(Num(travel, "SUMUTGIFT"), expenses);
    EXPECT_DOUBLE_EQ(Num(travel, "TILGODE"),
                     expenses - Num(travel, "PREBETALT") - Num(travel, "FORSKUDD"));
  }
  for (const DemoRow& trip : Rows("KmTable")) {
    EXPECT_DOUBLE_EQ(Num(trip, "KMTOTAL"), Num(trip, "KMSLUTT") - Num(trip, "KMSTART"));
  }
  for (const DemoRow& use : Rows("VareTable")) {
    EXPECT_DOUBLE_EQ(Num(use, "TOTAL"), Num(use, "SUM") * Num(use, "ANTALL"));
  }
}

TEST(DemoFirm, PartsAndProjectsHoldTheirRollUps) {
  for (const DemoRow& part : Rows("SystemTable")) {
    const auto onPart = [&](const DemoRow& r) { return OnPart(r, part); };
    const double hours = Sum("TidTable", "TIMER", onPart) + Sum("TidTable", "OVERTID_50", onPart) +
                         Sum("TidTable", "OVERTID_10", onPart);
    EXPECT_GT(hours, 0);
    EXPECT_DOUBLE_EQ(Num(part, "ARBEID"), hours);
    EXPECT_DOUBLE_EQ(Num(part, "VARER"), Sum("VareTable", "TOTAL", onPart));
    EXPECT_DOUBLE_EQ(Num(part, "UTFAKT"), Sum("PosteringTable", "POSTSUM", [&](const DemoRow& p) {
                       return onPart(p) && Num(p, "POSTTYPE") == 1;
                     }));
    EXPECT_LE(Num(part, "STARTDATO"), Num(part, "SLUTTDATO"));
  }
  for (const DemoRow& project : Rows("ProsjektTable")) {
    const auto ofProject = [&](const DemoRow& r) {
      return Num(r, "PROSJEKTNR") == Num(project, "PROSJEKTNR");
    };
    const double hours = Sum("SystemTable", "ARBEID", ofProject);
    EXPECT_DOUBLE_EQ(Num(project, "SUMTIMER"), hours);
    EXPECT_DOUBLE_EQ(Num(project, "SUMARBEID"), Num(project, "TIMEPRIS") * hours);
    EXPECT_DOUBLE_EQ(Num(project, "SUMVARER"), Sum("SystemTable", "VARER", ofProject));
    EXPECT_DOUBLE_EQ(Num(project, "UTFAKTURER"), Sum("SystemTable", "UTFAKT", ofProject));
    EXPECT_DOUBLE_EQ(Num(project, "SUMDIVERSE"), Sum("ReiseTable", "SUMUTGIFT", ofProject));
    EXPECT_DOUBLE_EQ(Num(project, "KOSTPRIS"),
                     Num(project, "SUMVARER") + Num(project, "SUMARBEID") +
                         Num(project, "SUMDIVERSE") + Num(project, "SUMFAKTURA"));
    EXPECT_DOUBLE_EQ(Num(project, "FORTJENEST"),
                     Num(project, "REST") + Num(project, "UTFAKTURER") - Num(project, "KOSTPRIS"));
  }
}

TEST(DemoFirm, DocumentsAddUpTheirLines) {
  for (const TableSpec& declared : BusinessSchema()) {
    if (declared.masterFields != "NUMMER") continue;
    const TableSpec& header = *FindTableSpecBySource(declared.masterSource);
    if (header.component == "KalkulerTable") continue;
    for (const DemoRow& doc : Rows(header.component)) {
      const auto onDoc = [&](const DemoRow& l) { return Num(l, "Nummer") == Num(doc, "Nummer"); };
      EXPECT_DOUBLE_EQ(Num(doc, "Totalsum"), Sum(declared.component, "Totalpris", onDoc));
      EXPECT_DOUBLE_EQ(Num(doc, "Kostpris"), Sum(declared.component, "TotalKostpris", onDoc));
      EXPECT_DOUBLE_EQ(Num(doc, "InklMva"), Num(doc, "Totalsum") + Num(doc, "HeravMva"));
      EXPECT_EQ(Num(doc, "Systemnr"), Num(doc, "Nummer"));
    }
    for (const DemoRow& line : Rows(declared.component)) {
      EXPECT_DOUBLE_EQ(Num(line, "Fortjeneste"),
                       Num(line, "Totalpris") - Num(line, "TotalKostpris"));
    }
  }
}

TEST(DemoFirm, LineDiscountsFollowSalesAndPurchaseRules) {
  // Sales lines: the discount lowers the selling total. Purchase lines: it lowers the cost.
  for (const DemoRow& line : Rows("TilbudVareTable")) {
    if (Text(line, "Varenr") != "KJ-0012") continue;
    EXPECT_DOUBLE_EQ(Num(line, "Totalpris"), 54900 - 54900 * 0.05);
    EXPECT_DOUBLE_EQ(Num(line, "TotalKostpris"), 38500);
  }
  for (const DemoRow& line : Rows("InnkjopVareTable")) {
    if (Text(line, "Varenr") != "EL-1001") continue;
    EXPECT_DOUBLE_EQ(Num(line, "Totalpris"), 2900);
    EXPECT_DOUBLE_EQ(Num(line, "TotalKostpris"), 1450 - 145);
  }
}

TEST(DemoFirm, InvoiceChargesThePartsRegistrations) {
  const DemoRow& invoice = Rows("Fakturatable").front();
  const auto onInvoice = [&](const DemoRow& r) {
    return Num(r, "FAKTURANR") == Num(invoice, "Nummer");
  };
  EXPECT_DOUBLE_EQ(Sum("PosteringTable", "POSTSUM",
                       [&](const DemoRow& p) { return onInvoice(p) && Num(p, "POSTTYPE") == 1; }),
                   Num(invoice, "InklMva"));
  for (const DemoRow& line : Rows("FakturaVareTable")) {
    if (Text(line, "Varenr") != "ARB") continue;
    const double hours = Sum("TidTable", "TIMER",
                             [](const DemoRow& h) {
                               return Num(h, "PROSJEKTNR") == 1001 && Num(h, "SYSTEMNR") == 1;
                             }) +
                         Sum("TidTable", "OVERTID_50", [](const DemoRow& h) {
                           return Num(h, "PROSJEKTNR") == 1001 && Num(h, "SYSTEMNR") == 1;
                         });
    EXPECT_DOUBLE_EQ(Num(line, "Antall"), hours);
  }
}

TEST(DemoFirm, TimeRowsFallOnWeekdays) {
  for (const DemoRow& row : Rows("TidTable")) {
    // Day 0 (30 December 1899) was a Saturday.
    const long weekday = static_cast<long>(std::floor(Num(row, "DATO"))) % 7;
    EXPECT_GE(weekday, 2) << Text(row, "TEKST");
  }
}
