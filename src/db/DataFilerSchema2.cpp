// Companies and contacts, accounts and postings, the item register, item use, shop sales,
// the four trade documents with their lines, and the calculation elements.
#include "db/DataFilerSchemaBuild.h"

using namespace declare;
using E = TableEvent;

namespace {

TableSpec FirmaTable() {
  return {.component = "FirmaTable",
          .source = "FirmaSource",
          .tableName = "Lever",
          .indexName = "Navn",
          .events = {{E::BeforeInsert, "FirmaTableBeforeInsert"},
                     {E::AfterInsert, "FirmaTableAfterInsert"},
                     {E::BeforeDelete, "FirmaTableBeforeDelete"}},
          .fields = {
              String("Navn", 30),
              String("Gateadresse", 30),
              String("Postadresse", 30),
              String("Postnr", 6),
              String("Poststed", 25),
              String("Kontakt", 30),
              String("Telefon", 15),
              String("Telefax", 15),
              String("Mobil", 15),
              Integer("Nr"),
              Integer("Nummer"),
              Boolean("Avtale"),
              Boolean("Kreditt"),
              Boolean("Mva"),
              Boolean("Fastkunde"),
              String("OrgNr", 23),
              Memo("Notat"),
              Boolean("Kunde"),
              Boolean("Leverandor"),
              Boolean("Utstyr"),
              String("Bransje", 30),
              Float("Kredittsum").Currency(),
              String("Privattelefon", 15),
              Float("Omsetning").Currency(),
              Float("Saldo").Currency(),
              Boolean("Forfalt"),
              String("E_Mail", 100),
              String("Bankkonto", 15),
              String("Http", 100),
              String("FirmaBane", 255),
              Word("KontoInn"),
              Word("KontoUt"),
          }};
}

TableSpec KontaktTable() {
  return {.component = "KontaktTable",
          .source = "KontaktSource",
          .tableName = "Kontakt",
          .indexName = "NR",
          .masterSource = "FirmaSource",
          .masterFields = "Nr",
          .events = {{E::BeforeDelete, "KontaktTableBeforeDelete"}},
          .fields = {
              Integer("Nr"),
              String("Kontakt", 30),
              String("Telefon", 15),
              String("Mobil", 15),
              String("Telefax", 15),
              String("E-mail", 50, "E-post / URL"),
              String("Avdeling", 30),
              String("Stilling", 30),
              String("Landkode", 9),
              String("Privat", 15),
              String("Data", 15),
              String("ISDN", 15, "ISDN pålogging"),
              String("Teletype", 20),
          }};
}

TableSpec KontoTable() {
  return {.component = "KontoTable",
          .source = "KontoSource",
          .tableName = "KONTOER",
          .indexName = "KONTONR",
          .events = {{E::AfterInsert, "KontoTableAfterInsert"},
                     {E::BeforeDelete, "KontoTableBeforeDelete"}},
          .fields = {
              Float("KONTONR", "kontonr"),
              String("KONTONAVN", 30, "konto navn"),
              Float("KONTOSUM", "sum").Currency(),
              Float("KONTOBUDSJ", "budsjett").Currency(),
              Smallint("KONTOMVA"),
              Float("KONTOKRED"),
              Smallint("KONTOTYPE", "type"),
              String("KONTOBANK", 13),
              Float("KREDITRENT"),
              Float("DEBETRENTE"),
              Boolean("KONTOLIKVI"),
              String("GRUPPE1", 30, "ligning. nr."),
              Float("FORDELING1").Currency(),
              Float("FORDELING2").Currency(),
              Float("FORDELING3").Currency(),
              Float("FORDELING4").Currency(),
              Float("FORDELING5").Currency(),
              Float("FORDELING6").Currency(),
              Float("FORDELING7").Currency(),
              Float("FORDELING8").Currency(),
              String("GRUPPE2", 30),
              String("GRUPPE3", 30),
              String("GRUPPE4", 30),
              String("GRUPPE5", 30),
              String("GRUPPE6", 30),
              String("GRUPPE7", 30),
              String("GRUPPE8", 30),
          }};
}

TableSpec PosteringTable() {
  return {.component = "PosteringTable",
          .source = "PosteringSource",
          .tableName = "POSTER",
          .indexName = "REGNR",
          .events = {{E::AfterOpen, "PosteringTableAfterOpen"},
                     {E::BeforePost, "PosteringTableBeforePost"},
                     {E::AfterPost, "PosteringTableAfterPost"},
                     {E::BeforeCancel, "PosteringTableBeforeCancel"},
                     {E::BeforeDelete, "PosteringTableBeforeDelete"},
                     {E::OnNewRecord, "PosteringTableNewRecord"}},
          .fields = {
              Float("REGNR", "posteringsnr."),
              DateTime("DATO", "dato"),
              Float("NR", "nr."),
              String("NAVN", 40, "navn"),
              Float("POSTSUM", "sum").Currency(),
              Float("KONTOINN", "konto inn"),
              Float("KONTOUT", "konto ut"),
              Float("PROSJEKTNR", "prosjektnr."),
              Float("SYSTEMNR", "ordrenr."),
              Float("UTSTYRNR", "utstyrnr."),
              Float("JOBB", "jobb"),
              Float("UTSTYRDEL", "utstyrdel"),
              Float("FAKTURANR", "faktura nr."),
              String("POSTTEKST", 40, "tekst"),
              Float("MVAPROSENT", "mva %").Format("##.#%"),
              Float("INVPROSENT", "inv. avg. %").Format("##.#%"),
              Float("FORDELING1"),
              Float("FORDELING2"),
              Float("FORDELING3"),
              Float("FORDELING4"),
              Float("FORDELING5"),
              Float("FORDELING6"),
              Float("FORDELING7"),
              Float("FORDELING8"),
              Float("POSTTYPE"),
          }};
}

TableSpec VareRegister() {
  return {.component = "VareRegister",
          .source = "VareRegisterSource",
          .tableName = "Varer",
          .indexFieldNames = "Varenr",
          .events = {{E::BeforeDelete, "VareRegisterBeforeDelete"},
                     {E::OnNewRecord, "VareRegisterNewRecord"}},
          .fields = {
              String("Varenr", 20, "varenr."),
              String("LeverVarenr", 20, "lev. varenr."),
              String("Tekst", 40, "tekst"),
              String("Spesifikasjon", 20),
              Integer("Levernr"),
              String("LeverNavn", 30, "lev. navn"),
              Float("Innpris", "innpris").Currency().Format("0.00"),
              Float("Rabatt", "rabatt").Format("0.00"),
              Float("Fraktpris", "frakt").Currency().Format("0.00"),
              Float("Direktekost", "dir. kost.").Currency().Format("0.00"),
              Float("Kostpris", "kostpris").Currency().Format("0.00"),
              Float("PaaLager", "på lager").Format("0.00"),
              String("Enhet", 3),
              Float("Utpris", "utpris").Currency().Format("0.00"),
              Float("Paaslag", "påslag").Format("0.00").EditFormat("####.##"),
              Boolean("PaaslagProsent", "påslag %"),
              Float("MvaSum").Currency().Format("0.00"),
              Float("InklMva").Format("0.00"),
              Float("Minimum").Format("0.00"),
              Float("Iordre").Format("0.00"),
              String("Posisjon", 8),
              String("Gruppe", 8),
              DateTime("SistInn"),
              DateTime("SistUt"),
              DateTime("SistBestillt"),
              Float("LeverInnpris").Format("0.00"),
              Float("LeverKostpris").Format("0.00"),
              Float("LeverUtpris").Format("0.00"),
              Float("LeverPaalager").Format("0.00"),
              String("LeverEnhet", 3),
              Float("Variabel").Format("0.000"),
              Memo("Notat"),
              Boolean("Arbeid"),
              Boolean("Egenproduksjon"),
              Smallint("Avdeling"),
              Boolean("ToEnheter"),
              Boolean("IBestilling"),
              Float("Bestillt").Format("0.00"),
              Integer("Flagg"),
              String("Interntekst", 40, "merknad"),
          }};
}

TableSpec VareTable2() {
  return {.component = "VareTable2",
          .source = "VareSource2",
          .tableName = "Varer2",
          .indexName = "Varenr",
          .masterSource = "VareRegisterSource",
          .masterFields = "Varenr",
          .events = {{E::BeforeDelete, "VareTableBeforeDelete"}},
          .fields = {
              String("Varenr", 20),
              Float("Vekt").Format("0.00"),
              Float("Volum"),
              Float("Lengde"),
              Float("Bredde"),
              Float("Høyde"),
              Graphic("Bilde"),
              String("Tegningsfil", 255),
              String("Mappe", 255),
              Integer("VendorID"),
              Integer("VendorNR"),
              Integer("KomponentID"),
              Integer("KomponentNR"),
              String("Standard", 50),
          }};
}

TableSpec VareTable() {
  return {.component = "VareTable",
          .source = "VareSource",
          .tableName = "VAREUTAK",
          .events = {{E::BeforePost, "VareTableBeforePost"},
                     {E::BeforeDelete, "VareTableBeforeDelete"},
                     {E::OnNewRecord, "VareTableNewRecord"}},
          .fields = {
              DateTime("DATO", "dato"),
              String("VARENR", 12, "varenr."),
              String("TEKST2", 40),
              Float("SUM", "pris").Currency(),
              Float("ANTALL", "antall"),
              String("ENHET", 3, "enhet"),
              Float("TOTAL", "sum").Currency(),
              Float("PROSJEKTNR", "prosjektnr."),
              Float("SYSTEMNR", "ordre /del"),
              Float("UTSTYRNR", "utstyrnr."),
              Float("UTSTYRDEL", "utstyrdel"),
              Float("JOBB", "jobb"),
              Boolean("TILLEGG", "tillegg").Values("JA;NEI"),
              Boolean("AVLEST", "avlest").Values("JA;NEI").Default("Nei"),
              Smallint("TIMETYPE2", "avdeling"),
              String("TEKST1", 40, "tekst"),
          }};
}

TableSpec ButikkTable() {
  return {.component = "ButikkTable",
          .source = "ButikkSource",
          .tableName = "butikk",
          .events = {{E::BeforePost, "ButikkTableBeforePost"},
                     {E::BeforeDelete, "ButikkTableBeforeDelete"},
                     {E::OnNewRecord, "ButikkTableNewRecord"}},
          .fields = {
              Integer("Transnr").Required(),
              DateTime("Dato").Required(),
              String("Varenr", 20),
              String("Tekst", 40),
              Float("Pris").Required(),
              Float("Antall").Required(),
              String("Enhet", 4),
              Float("Sum"),
              Integer("BetalType"),
          }};
}

// The layout shared field for field by the offer, invoice, order and purchase headers.
std::vector<FieldSpec> HeaderFields() {
  return {
      Integer("Nummer"),
      String("Navn", 30),
      String("Status", 20),
      String("Prosjekt", 30),
      Float("Totalsum").Format("0.00"),
      Integer("Avdeling"),
      String("Deresref", 25),
      String("Vaarref", 25),
      String("Leveringsmaate", 25),
      String("Gateadresse", 30),
      String("Postadresse", 30),
      String("Postnr", 6),
      String("Poststed", 25),
      Integer("Kundenr"),
      Integer("Levernr"),
      String("LeverGateadresse", 30),
      String("LeverPostadresse", 30),
      String("LeverPostnr", 6),
      String("LeverPoststed", 25),
      String("Leverdato", 12),
      DateTime("Dato"),
      DateTime("Forfalldato"),
      String("Betalingsbetingelse", 25),
      DateTime("Ordredato"),
      String("Godsmerk", 25),
      Integer("Prosjektnr"),
      Integer("Fakturanr"),
      Integer("Tilbudnr"),
      Float("Kostpris").Format("0.00"),
      Float("Direktekost").Format("0.00"),
      Float("Fraktpris").Format("0.00"),
      Float("Rabatt").Format("0.00"),
      Float("Ordinersum").Format("0.00"),
      Float("Paaslag").Format("0.00"),
      Float("HeravMva").Format("0.00"),
      Float("InklMva").Format("0.00"),
      Float("Fastpris").Format("0.00"),
      String("FastprisTekst", 40),
      Boolean("ErFastpris"),
      Integer("Systemnr"),
      Boolean("Purring"),
      DateTime("Purredato"),
      Boolean("MVApliktig"),
      String("Valuta", 10),
      String("Kontaktperson", 30),
      Float("Fortjeneste").Format("0.00"),
      Boolean("Betalt"),
      Float("SumBetalt").Format("0.00"),
      DateTime("DatoBetalt"),
      DateTime("Fakturadato"),
      Boolean("Fakturert"),
      Boolean("Rentenota"),
      Boolean("Kreditnota"),
      Memo("Notat"),
      String("Datapos", 255),
      Float("Vekt"),
      Float("Volum"),
      String("FaxNr", 15),
      String("TypeStr", 15),
  };
}

struct HeaderTableRow {
  const char* component;
  const char* tableName;
  const char* source;
  const char* beforeInsert;
  const char* beforeDelete;
  const char* newRecord;
};

constexpr HeaderTableRow kHeaderTables[] = {
    {"TilbudTable", "t99", "TilbudSource", "TilbudTableBeforeInsert", "TilbudTableBeforeDelete",
     "TilbudTableNewRecord"},
    {"Fakturatable", "f99", "FakturaSource", "FakturatableBeforeInsert", "FakturatableBeforeDelete",
     "FakturatableNewRecord"},
    {"OrdreTable", "o99", "OrdreSource", "OrdreTableBeforeInsert", "OrdreTableBeforeDelete",
     "OrdreTableNewRecord"},
    {"InnkjopTable", "i99", "InnkjopSource", "InnkjopTableBeforeInsert", "InnkjopTableBeforeDelete",
     "InnkjopTableNewRecord"},
};

TableSpec HeaderTable(const HeaderTableRow& row) {
  return {.component = row.component,
          .source = row.source,
          .tableName = row.tableName,
          .indexFieldNames = "Nummer",
          .events = {{E::BeforeInsert, row.beforeInsert},
                     {E::BeforeDelete, row.beforeDelete},
                     {E::OnNewRecord, row.newRecord}},
          .fields = HeaderFields()};
}

// How a line table shows the shared line layout: the offer and invoice lines show it plain;
// order, purchase and calculation lines format the weight; calculation lines name their flags.
struct LineDisplay {
  const char* changeHandler;  // OnChange of Pris, Antall, Rabatt and Kostpris
  bool weightFormatted;
  bool flagTexts;
};

std::vector<FieldSpec> LineFields(const LineDisplay& d) {
  const char* const flagValues = d.flagTexts ? "Ja;Nei" : "";
  const char* const weightFormat = d.weightFormatted ? "0.00" : "";
  return {
      Integer("Nummer"),
      String("Varenr", 20),
      String("Varetekst", 40),
      Float("Pris").Format("0.00").OnChange(d.changeHandler),
      Float("Antall").Format("0.00").OnChange(d.changeHandler),
      Float("Rabatt").Format("0.00").OnChange(d.changeHandler),
      Float("Totalpris").Format("0.00"),
      Float("Kostpris").Format("0.00").OnChange(d.changeHandler),
      Float("TotalKostpris").Format("0.00"),
      Float("Fortjeneste").Format("0.00"),
      Smallint("TypeNr"),
      String("TypeChar", 1),
      Float("Ibestilling").Format("0.00"),
      Float("Mottatt").Format("0.00"),
      Float("Fakturert").Format("0.00"),
      String("Deltekst", 20),
      Boolean("Levert").Values(flagValues),
      String("Status", 20),
      DateTime("Dato"),
      String("Enhet", 3),
      Boolean("Ok").Values(flagValues),
      Float("Vekt").Format(weightFormat),
  };
}

struct LineTableRow {
  const char* component;
  const char* tableName;
  const char* source;  // named after the subject, as every data source is
  const char* masterSource;
  const char* beforeDelete;
  const char* newRecord;
  LineDisplay display;
};

constexpr LineTableRow kLineTables[] = {
    {"TilbudVareTable",
     "tv99",
     "TilbudVareSource",
     "TilbudSource",
     "TilbudVareTableBeforeDelete",
     "TilbudVareTableNewRecord",
     {"TilbudVareTableAntallChange", false, false}},
    {"FakturaVareTable",
     "fv99",
     "FakturaVareSource",
     "FakturaSource",
     "FakturaVareTableBeforeDelete",
     "FakturaVareTableNewRecord",
     {"FakturaVareTableAntallChange", false, false}},
    {"OrdreVareTable",
     "ov99",
     "OrdreVareSource",
     "OrdreSource",
     "OrdreVareTableBeforeDelete",
     "OrdreVareTableNewRecord",
     {"OrdreVareTableAntallChange", true, false}},
    {"InnkjopVareTable",
     "iv99",
     "InnkjopVareSource",
     "InnkjopSource",
     "InnkjopVareTableBeforeDelete",
     "InnkjopVareTableNewRecord",
     {"InnkjopVareTableAntallChange", true, false}},
    {"KalkulerVaretable",
     "elemvare",
     "KalkulerVareSource",
     "KalkulerSource",
     "KalkulerVaretableBeforeDelete",
     "KalkulerVaretableNewRecord",
     {"VareKalkulerRekalkuler", true, true}},
};

TableSpec LineTable(const LineTableRow& row) {
  return {.component = row.component,
          .source = row.source,
          .tableName = row.tableName,
          .indexName = "NUMMER",
          .masterSource = row.masterSource,
          .masterFields = "NUMMER",
          .events = {{E::BeforeDelete, row.beforeDelete}, {E::OnNewRecord, row.newRecord}},
          .fields = LineFields(row.display)};
}

TableSpec KalkulerTable() {
  return {.component = "KalkulerTable",
          .source = "KalkulerSource",
          .tableName = "element",
          .indexName = "Nummer",
          .events = {{E::BeforeInsert, "KalkulerTableBeforeInsert"},
                     {E::BeforeDelete, "KalkulerTableBeforeDelete"},
                     {E::OnNewRecord, "KalkulerTableNewRecord"}},
          .fields = {
              Integer("Nummer"),
              String("Varenr", 20),
              String("Tekst", 40),
              String("Interntekst", 40),
              String("Spesifikasjon", 20),
              String("Enhet", 3),
              Float("Minimum").Format("0.00"),
              String("Posisjon", 8),
              String("Gruppe", 8),
              Float("Variabel").Format("0.00"),
              Boolean("Arbeid"),
              Smallint("Avdeling"),
              Float("Antall").Format("0.00"),
              Float("Kostpris").Format("0.00"),
              Float("SnittKostpris").Format("0.00"),
              Float("TotKostpris").Format("0.00"),
              Float("Fortjeneste").Format("0.00"),
              Float("SnittFortjeneste").Format("0.00"),
              Float("TotFortjeneste").Format("0.00"),
              Float("FortjPros").Format("0.00"),
              Float("SnittFortjPros").Format("0.00"),
              Float("TotFortjPros").Format("0.00"),
              Float("Utpris").Format("0.00"),
              Float("SnittUtpris").Format("0.00"),
              Float("TotUtpris").Format("0.00"),
              Float("Moms").Format("0.00"),
              Float("SnittMoms").Format("0.00"),
              Float("TotMoms").Format("0.00"),
              Float("InklMva").Format("0.00"),
              Float("SnittInklMva").Format("0.00"),
              Float("TotInkMva").Format("0.00"),
              Float("Fastpris").Format("0.00"),
              Smallint("Metode"),
              Smallint("Metode2"),
              Float("FaktorVare").Format("0.00"),
              Float("FaktorArb").Format("0.00"),
              String("Varefil", 40),
              Float("Vekt").Format("0.00"),
              Float("Volum").Format("0.00"),
              DateTime("SistOppdatert"),
              String("Varemappe", 255),
              String("Tegningsfil", 255),
              Graphic("Bilde"),
              Memo("Notat"),
              Float("Reserve"),
              Integer("MomsType"),
              Integer("Exporttype"),
          }};
}

}  // namespace

std::vector<TableSpec> CompanyAccountAndTradeTables() {
  std::vector<TableSpec> tables = {FirmaTable(),   KontaktTable(), KontoTable(), PosteringTable(),
                                   VareRegister(), VareTable2(),   VareTable(),  ButikkTable()};
  for (const HeaderTableRow& row : kHeaderTables) tables.push_back(HeaderTable(row));
  for (const LineTableRow& row : kLineTables) tables.push_back(LineTable(row));
  tables.push_back(KalkulerTable());
  return tables;
}
