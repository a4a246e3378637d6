// The declared business schema: the structure that the data module, the rules and the
// physical tables rely on, and spot checks of single declarations.
#include "db/DataFilerSchema.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <stdexcept>
#include <string>

#include "store/Schema.h"

namespace {

const TableSpec& Table(const std::string& component) {
  const TableSpec* t = FindTableSpec(component);
  if (t == nullptr) throw std::runtime_error("no table " + component);
  return *t;
}

const ff::FieldDecl& Field(const std::string& component, const std::string& name) {
  const FieldSpec* f = FindFieldSpec(Table(component), name);
  if (f == nullptr) throw std::runtime_error("no field " + component + "." + name);
  return f->decl;
}

bool IsStored(const TableSpec& t, const std::string& name) {
  const FieldSpec* f = FindFieldSpec(t, name);
  return f != nullptr && f->decl.kind == ff::FieldKind::Data;
}

// One field as a compact text, so that layouts compare in one assertion.
std::string Describe(const FieldSpec& f) {
  const ff::FieldDecl& d = f.decl;
  return d.name + ":" + std::string(ff::fieldTypeName(d.type)) + "(" + std::to_string(d.size) +
         ") '" + d.label + "' v=" + d.displayValues + " f=" + d.displayFormat +
         " e=" + d.editFormat + " m=" + d.editMask + " d=" + d.defaultExpression +
         (d.currency ? " cur" : "") + (d.required ? " req" : "") +
         (d.kind == ff::FieldKind::Calculated ? " calc" : "") + " ch=" + f.onChange;
}

std::string Layout(const TableSpec& t) {
  std::string out;
  for (const FieldSpec& f : t.fields) out += Describe(f) + "\n";
  return out;
}

std::string FieldNames(const TableSpec& t) {
  std::string out;
  for (const FieldSpec& f : t.fields) {
    out += f.decl.name + ":" + std::string(ff::fieldTypeName(f.decl.type)) + "(" +
           std::to_string(f.decl.size) + ") ";
  }
  return out;
}

std::string HandlerOf(const TableSpec& t, TableEvent e) {
  for (const EventSpec& ev : t.events) {
    if (ev.event == e) return ev.handler;
  }
  return {};
}

const char* const kHeaders[] = {"TilbudTable", "Fakturatable", "OrdreTable", "InnkjopTable"};
const char* const kLines[] = {"TilbudVareTable", "FakturaVareTable", "OrdreVareTable",
                              "InnkjopVareTable", "KalkulerVaretable"};

}  // namespace

// ---------------------------------------------------------------- the catalogue as a whole

TEST(BusinessSchema, HoldsThe32TablesInDeclaredOrder) {
  std::string order;
  for (const TableSpec& t : BusinessSchema()) order += t.component + " ";
  EXPECT_EQ(order,
            "ProsjektTable SystemTable TidTable KmTable PersonTable Utstyrtable JobbTable "
            "KabelTable DokumentTable BildeTable PostTable VedleggTable ReiseTable UtleggTable "
            "FirmaTable KontaktTable KontoTable PosteringTable VareRegister VareTable2 VareTable "
            "ButikkTable TilbudTable Fakturatable OrdreTable InnkjopTable TilbudVareTable "
            "FakturaVareTable OrdreVareTable InnkjopVareTable KalkulerVaretable KalkulerTable ");
  EXPECT_EQ(BusinessSchema().size(), 32u);
}

TEST(BusinessSchema, NamesAreUnique) {
  std::set<std::string> components, sources, tables;
  for (const TableSpec& t : BusinessSchema()) {
    EXPECT_TRUE(components.insert(t.component).second) << t.component;
    EXPECT_TRUE(sources.insert(t.source).second) << t.source;
    std::string lower = t.tableName;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(tables.insert(lower).second) << t.tableName;  // table names match in any case
    std::set<std::string> fields;
    for (const FieldSpec& f : t.fields) {
      std::string name = f.decl.name;
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      EXPECT_TRUE(fields.insert(name).second) << t.component << "." << f.decl.name;
    }
  }
}

TEST(BusinessSchema, MasterLinksReachStoredFieldsOfBothTables) {
  int details = 0;
  for (const TableSpec& t : BusinessSchema()) {
    if (t.masterSource.empty()) {
      EXPECT_TRUE(t.masterFields.empty()) << t.component;
      continue;
    }
    ++details;
    const TableSpec* master = FindTableSpecBySource(t.masterSource);
    ASSERT_NE(master, nullptr) << t.component << " follows unknown " << t.masterSource;
    EXPECT_NE(master, &t);
    const auto masterFields = ff::splitFieldList(t.masterFields);
    ASSERT_FALSE(masterFields.empty()) << t.component;
    for (const std::string& f : masterFields) {
      EXPECT_TRUE(IsStored(*master, f)) << master->component << " lacks " << f;
    }
    // The detail's range is matched on the first fields of its order: its index must start
    // with the linked field.
    ASSERT_FALSE(t.indexName.empty()) << t.component;
    EXPECT_TRUE(ff::sameName(t.indexName, masterFields.front())) << t.component;
    EXPECT_TRUE(IsStored(t, masterFields.front())) << t.component;
  }
  EXPECT_EQ(details, 8);  // expenses, contacts, item details and the five line tables
}

TEST(BusinessSchema, OrdersNameStoredFields) {
  for (const TableSpec& t : BusinessSchema()) {
    EXPECT_FALSE(!t.indexName.empty() && !t.indexFieldNames.empty()) << t.component;
    if (!t.indexName.empty()) {
      EXPECT_TRUE(IsStored(t, t.indexName)) << t.component << " index " << t.indexName;
    }
    for (const std::string& f : ff::splitFieldList(t.indexFieldNames)) {
      EXPECT_TRUE(IsStored(t, f)) << t.component << " orders by " << f;
    }
  }
}

TEST(BusinessSchema, FieldAttributesSuitTheirTypes) {
  for (const TableSpec& t : BusinessSchema()) {
    EXPECT_FALSE(t.fields.empty()) << t.component;
    for (const FieldSpec& f : t.fields) {
      const ff::FieldDecl& d = f.decl;
      const std::string where = t.component + "." + d.name;
      if (d.type == ff::FieldType::String) {
        EXPECT_GT(d.size, 0) << where;
        EXPECT_LE(d.size, 255) << where;
      } else {
        EXPECT_EQ(d.size, 0) << where;
      }
      if (!d.displayValues.empty()) {
        EXPECT_EQ(d.type, ff::FieldType::Boolean) << where;
        EXPECT_NE(d.displayValues.find(';'), std::string::npos) << where;
      }
      if (d.currency || !d.displayFormat.empty() || !d.editFormat.empty()) {
        EXPECT_EQ(d.type, ff::FieldType::Float) << where;
      }
    }
  }
}

TEST(BusinessSchema, EventsAreBoundOnceToNamedHandlers) {
  for (const TableSpec& t : BusinessSchema()) {
    std::set<TableEvent> seen;
    bool calculated = false;
    for (const FieldSpec& f : t.fields) calculated |= f.decl.kind == ff::FieldKind::Calculated;
    for (const EventSpec& e : t.events) {
      EXPECT_FALSE(e.handler.empty()) << t.component;
      EXPECT_TRUE(seen.insert(e.event).second) << t.component << " binds an event twice";
    }
    // A calculated field is only ever filled by the table's calculated-fields handler.
    EXPECT_EQ(calculated, seen.count(TableEvent::OnCalcFields) == 1) << t.component;
  }
}

TEST(BusinessSchema, OnlyTheLinePricesRunChangeRules) {
  std::set<std::string> changing;
  for (const TableSpec& t : BusinessSchema()) {
    for (const FieldSpec& f : t.fields) {
      if (!f.onChange.empty()) changing.insert(t.component + "." + f.decl.name);
    }
  }
  std::set<std::string> expected;
  for (const char* line : kLines) {
    for (const char* field : {"Pris", "Antall", "Rabatt", "Kostpris"}) {
      expected.insert(std::string(line) + "." + field);
    }
  }
  EXPECT_EQ(changing, expected);
}

TEST(BusinessSchema, EventSlotsAreDistinct) {
  std::set<std::string> seen;
  const TableEvent all[] = {
      TableEvent::BeforeOpen,   TableEvent::AfterOpen,    TableEvent::BeforeClose,
      TableEvent::AfterClose,   TableEvent::BeforeInsert, TableEvent::OnNewRecord,
      TableEvent::AfterInsert,  TableEvent::BeforeEdit,   TableEvent::AfterEdit,
      TableEvent::BeforePost,   TableEvent::AfterPost,    TableEvent::BeforeCancel,
      TableEvent::AfterCancel,  TableEvent::BeforeDelete, TableEvent::AfterDelete,
      TableEvent::BeforeScroll, TableEvent::AfterScroll,  TableEvent::OnCalcFields};
  for (const TableEvent a : all) {
    ASSERT_NE(EventSlot(a), nullptr);
    for (const TableEvent b : all) {
      if (a != b) {
        EXPECT_NE(EventSlot(a), EventSlot(b));
      }
    }
  }
  EXPECT_EQ(EventSlot(TableEvent::OnNewRecord), &ff::TffTable::OnNewRecord);
  EXPECT_EQ(EventSlot(TableEvent::BeforeDelete), &ff::TffTable::BeforeDelete);
}

// ---------------------------------------------------------------- shared layouts

TEST(TradeDocuments, HeadersShareOneLayoutFieldForField) {
  const std::string offer = Layout(Table("TilbudTable"));
  for (const char* header : kHeaders) {
    const TableSpec& t = Table(header);
    EXPECT_EQ(Layout(t), offer) << header;
    EXPECT_EQ(t.indexFieldNames, "Nummer") << header;
    EXPECT_EQ(t.fields.size(), 59u) << header;
    EXPECT_EQ(HandlerOf(t, TableEvent::BeforeInsert), std::string(header) + "BeforeInsert");
    EXPECT_EQ(HandlerOf(t, TableEvent::OnNewRecord), std::string(header) + "NewRecord");
  }
  EXPECT_EQ(Describe(*FindFieldSpec(Table("OrdreTable"), "Fastpris")),
            "Fastpris:Float(0) '' v= f=0.00 e= m= d= ch=");
}

TEST(TradeDocuments, LinesShareOneLayoutWithTheirOwnDisplayAndRules) {
  const std::string names = FieldNames(Table("TilbudVareTable"));
  std::set<std::string> handlers;
  for (const char* line : kLines) {
    const TableSpec& t = Table(line);
    EXPECT_EQ(FieldNames(t), names) << line;
    EXPECT_EQ(t.fields.size(), 22u) << line;
    EXPECT_EQ(t.indexName, "NUMMER") << line;
    EXPECT_EQ(t.masterFields, "NUMMER") << line;
    handlers.insert(FindFieldSpec(t, "Pris")->onChange);
    for (const char* f : {"Antall", "Rabatt", "Kostpris"}) {
      EXPECT_EQ(FindFieldSpec(t, f)->onChange, FindFieldSpec(t, "Pris")->onChange) << line << f;
    }
  }
  EXPECT_EQ(handlers.size(), 5u) << "each line table runs its own change rule";
  EXPECT_EQ(FindFieldSpec(Table("FakturaVareTable"), "Antall")->onChange,
            "FakturaVareTableAntallChange");
  EXPECT_EQ(FindFieldSpec(Table("KalkulerVaretable"), "Kostpris")->onChange,
            "VareKalkulerRekalkuler");

  // Offer and invoice lines show the weight plain; order, purchase and calculation lines
  // format it; only calculation lines name their flags.
  EXPECT_EQ(Field("TilbudVareTable", "Vekt").displayFormat, "");
  EXPECT_EQ(Field("FakturaVareTable", "Vekt").displayFormat, "");
  EXPECT_EQ(Field("OrdreVareTable", "Vekt").displayFormat, "0.00");
  EXPECT_EQ(Field("InnkjopVareTable", "Vekt").displayFormat, "0.00");
  EXPECT_EQ(Field("KalkulerVaretable", "Vekt").displayFormat, "0.00");
  EXPECT_EQ(Field("OrdreVareTable", "Levert").displayValues, "");
  EXPECT_EQ(Field("KalkulerVaretable", "Levert").displayValues, "Ja;Nei");
  EXPECT_EQ(Field("KalkulerVaretable", "Ok").displayValues, "Ja;Nei");
  EXPECT_EQ(Layout(Table("TilbudVareTable")).find("ch=FakturaVare"), std::string::npos);
}

TEST(TradeDocuments, EachLineTableFollowsItsOwnHeader) {
  const std::pair<const char*, const char*> links[] = {{"TilbudVareTable", "TilbudTable"},
                                                       {"FakturaVareTable", "Fakturatable"},
                                                       {"OrdreVareTable", "OrdreTable"},
                                                       {"InnkjopVareTable", "InnkjopTable"},
                                                       {"KalkulerVaretable", "KalkulerTable"}};
  for (const auto& [line, header] : links) {
    EXPECT_EQ(Table(line).masterSource, Table(header).source) << line;
  }
}

// ---------------------------------------------------------------- projects, hours, staff,
// equipment

TEST(ProjectTables, ProjectsAndParts) {
  const TableSpec& p = Table("ProsjektTable");
  EXPECT_EQ(p.tableName, "PROSJEKT");
  EXPECT_EQ(p.source, "ProsjektSource");
  EXPECT_EQ(p.indexName, "PROSJEKTNR");
  EXPECT_EQ(p.fields.size(), 38u);
  EXPECT_EQ(Describe(*FindFieldSpec(p, "PROSNAVN")),
            "PROSNAVN:String(40) 'prosjekt navn' v= f= e= m= d= ch=");
  EXPECT_EQ(Field("ProsjektTable", "POSTADR").label, "post sted");
  EXPECT_EQ(Field("ProsjektTable", "TEGNEFIL").size, 79);
  EXPECT_EQ(Field("ProsjektTable", "TYPE2").type, ff::FieldType::Smallint);
  EXPECT_EQ(HandlerOf(p, TableEvent::AfterPost), "ProsjektTableAfterScroll");
  EXPECT_EQ(HandlerOf(p, TableEvent::AfterScroll), "ProsjektTableAfterScroll");

  EXPECT_EQ(Table("SystemTable").tableName, "SYSTEMER");
  EXPECT_EQ(Field("SystemTable", "SYSTEMNR").label, "del");
  EXPECT_EQ(Field("SystemTable", "CALINNFAKT").label, "beregnet faktura inn");
  EXPECT_EQ(Field("SystemTable", "ANSVARLIG").size, 4);
}

TEST(ProjectTables, TimeRows) {
  const TableSpec& t = Table("TidTable");
  EXPECT_EQ(t.tableName, "TIMER");
  EXPECT_EQ(t.indexName, "DATO");
  EXPECT_EQ(t.fields.size(), 36u);
  EXPECT_EQ(Describe(t.fields.front()), "KODE:String(20) ' ' v= f= e= m= d= calc ch=");
  EXPECT_EQ(Field("TidTable", "OVERTID_10").label, "100%");
  EXPECT_EQ(Field("TidTable", "REG_NR").label, "firmanr");
  EXPECT_EQ(Field("TidTable", "UTFORT").displayValues, "Ja;nei");
  EXPECT_EQ(Field("TidTable", "EKSTERN").label, "borte");
  EXPECT_EQ(Field("TidTable", "KunKalender").displayValues, "");
  EXPECT_EQ(Field("TidTable", "RealTime").type, ff::FieldType::DateTime);
  EXPECT_EQ(HandlerOf(t, TableEvent::OnCalcFields), "TidTableCalcFields");
}

TEST(ProjectTables, MileageStaffAndEquipment) {
  const TableSpec& km = Table("KmTable");
  EXPECT_EQ(km.source, "KmDataSource");
  EXPECT_TRUE(km.indexName.empty() && km.indexFieldNames.empty());
  EXPECT_EQ(Field("KmTable", "UTSTYRFRAK").displayValues, "");
  EXPECT_EQ(Field("KmTable", "BELASTKUND").displayValues, "Ja;Nei");

  const TableSpec& staff = Table("PersonTable");
  EXPECT_EQ(staff.tableName, "Ansatt");
  EXPECT_EQ(staff.source, "PersonDataSource");
  EXPECT_EQ(staff.timeoutMs, 10000);
  EXPECT_EQ(staff.fields.size(), 47u);
  EXPECT_EQ(Field("PersonTable", "PCMAC").editMask, "AA-AA-AA-AA-AA-AA;0;_");
  EXPECT_EQ(Field("PersonTable", "BILDE").type, ff::FieldType::Graphic);
  EXPECT_EQ(Field("PersonTable", "EPOST").size, 71);
  EXPECT_EQ(Field("PersonTable", "POSTNR").size, 4);

  const TableSpec& eq = Table("Utstyrtable");
  EXPECT_EQ(eq.tableName, "Utstyr");
  EXPECT_EQ(eq.indexFieldNames, "UTSTYRNR");
  EXPECT_TRUE(Field("Utstyrtable", "PRIS").currency);
  EXPECT_EQ(Field("Utstyrtable", "NAVN").label, "leverandør");
  EXPECT_EQ(HandlerOf(eq, TableEvent::AfterDelete), "UtstyrTableAfterDelete");
  EXPECT_EQ(Field("JobbTable", "REG_NR").label, "intervall");
  EXPECT_EQ(Table("JobbTable").tableName, "STDJOBB");
  EXPECT_EQ(Field("KabelTable", "POLARITET").size, 2);
}

TEST(ProjectTables, DocumentsPicturesMailAndTravel) {
  EXPECT_EQ(Field("DokumentTable", "DOKUMENT").size, 254);
  EXPECT_EQ(Field("DokumentTable", "TYPE").type, ff::FieldType::Float);
  EXPECT_EQ(Field("BildeTable", "strekk").displayValues, "ja;nei");
  EXPECT_EQ(Table("BildeTable").tableName, "bilder");
  EXPECT_TRUE(Table("PostTable").events.empty());
  EXPECT_EQ(Field("PostTable", "X-tekst").size, 72);
  EXPECT_EQ(Field("VedleggTable", "Data").type, ff::FieldType::Blob);
  EXPECT_EQ(Field("VedleggTable", "Mime").size, 255);

  const TableSpec& travel = Table("ReiseTable");
  EXPECT_EQ(HandlerOf(travel, TableEvent::BeforeDelete), "ProsjektTableBeforeDelete");
  EXPECT_EQ(HandlerOf(travel, TableEvent::BeforeInsert), "ReiseTableBeforeInsert");
  EXPECT_TRUE(Field("ReiseTable", "SUMUTGIFT").currency);
  EXPECT_EQ(Field("ReiseTable", "FORMAAL").label, "formål");

  const TableSpec& expenses = Table("UtleggTable");
  EXPECT_EQ(expenses.masterSource, "ReiseSource");
  EXPECT_EQ(expenses.masterFields, "REGNR");
  EXPECT_EQ(expenses.indexName, "REGNR");
  EXPECT_TRUE(expenses.events.empty());
}

// ---------------------------------------------------------------- companies, accounts, items

TEST(CompanyTables, CompaniesContactsAccountsAndPostings) {
  EXPECT_EQ(Table("FirmaTable").tableName, "Lever");
  EXPECT_EQ(Table("FirmaTable").indexName, "Navn");
  EXPECT_EQ(Field("FirmaTable", "KontoInn").type, ff::FieldType::Word);
  EXPECT_TRUE(Field("FirmaTable", "Saldo").currency);
  EXPECT_EQ(Field("FirmaTable", "FirmaBane").size, 255);

  const TableSpec& contacts = Table("KontaktTable");
  EXPECT_EQ(contacts.indexName, "NR");
  EXPECT_EQ(contacts.masterSource, "FirmaSource");
  EXPECT_EQ(contacts.masterFields, "Nr");
  EXPECT_EQ(Describe(*FindFieldSpec(contacts, "E-mail")),
            "E-mail:String(50) 'E-post / URL' v= f= e= m= d= ch=");
  EXPECT_EQ(Field("KontaktTable", "ISDN").label, "ISDN pålogging");

  EXPECT_EQ(Field("KontoTable", "GRUPPE1").label, "ligning. nr.");
  EXPECT_TRUE(Field("KontoTable", "FORDELING8").currency);
  EXPECT_FALSE(Field("PosteringTable", "FORDELING8").currency);
  EXPECT_EQ(Field("PosteringTable", "MVAPROSENT").displayFormat, "##.#%");
  EXPECT_EQ(Table("PosteringTable").events.size(), 6u);
  EXPECT_EQ(HandlerOf(Table("PosteringTable"), TableEvent::AfterOpen), "PosteringTableAfterOpen");
}

TEST(CompanyTables, ItemsUseAndShop) {
  const TableSpec& reg = Table("VareRegister");
  EXPECT_EQ(reg.tableName, "Varer");
  EXPECT_EQ(reg.indexFieldNames, "Varenr");
  EXPECT_EQ(reg.fields.size(), 40u);
  EXPECT_EQ(Describe(*FindFieldSpec(reg, "Paaslag")),
            "Paaslag:Float(0) 'påslag' v= f=0.00 e=####.## m= d= ch=");
  EXPECT_EQ(Describe(*FindFieldSpec(reg, "Innpris")),
            "Innpris:Float(0) 'innpris' v= f=0.00 e= m= d= cur ch=");
  EXPECT_EQ(Field("VareRegister", "Variabel").displayFormat, "0.000");

  EXPECT_EQ(Table("VareTable2").masterSource, "VareRegisterSource");
  EXPECT_EQ(HandlerOf(Table("VareTable2"), TableEvent::BeforeDelete), "VareTableBeforeDelete");
  EXPECT_EQ(Field("VareTable2", "Høyde").type, ff::FieldType::Float);

  EXPECT_EQ(Describe(*FindFieldSpec(Table("VareTable"), "AVLEST")),
            "AVLEST:Boolean(0) 'avlest' v=JA;NEI f= e= m= d=Nei ch=");
  EXPECT_EQ(Field("VareTable", "VARENR").size, 12);
  EXPECT_EQ(Field("VareTable", "SYSTEMNR").label, "ordre /del");

  std::set<std::string> required;
  for (const FieldSpec& f : Table("ButikkTable").fields) {
    if (f.decl.required) required.insert(f.decl.name);
  }
  EXPECT_EQ(required, (std::set<std::string>{"Antall", "Dato", "Pris", "Transnr"}));
  EXPECT_EQ(Field("ButikkTable", "Enhet").size, 4);
}

TEST(CompanyTables, CalculationElements) {
  const TableSpec& calc = Table("KalkulerTable");
  EXPECT_EQ(calc.tableName, "element");
  EXPECT_EQ(calc.indexName, "Nummer");
  EXPECT_EQ(calc.fields.size(), 47u);
  EXPECT_EQ(Field("KalkulerTable", "TotInkMva").displayFormat, "0.00");
  EXPECT_EQ(Field("KalkulerTable", "Exporttype").type, ff::FieldType::Integer);
  EXPECT_EQ(Table("KalkulerVaretable").tableName, "elemvare");
}

TEST(DataModule, ComponentsBesideTheTables) {
  const DataModuleComponentsSpec& c = DataModuleComponents();
  EXPECT_EQ(c.commsEngineName, "Engine");
  EXPECT_EQ(c.sessionClientName, c.commsEngineName);
  EXPECT_EQ(c.sessionName, "VeltrinoSession");
  EXPECT_EQ(c.protocol, ff::Protocol::TcpIp);
  EXPECT_EQ(c.serverName, "ff_server@127.0.0.1");
  EXPECT_EQ(c.databaseName, "DDX");
  EXPECT_EQ(c.timerHandler, "FileTimerTimer");
}
