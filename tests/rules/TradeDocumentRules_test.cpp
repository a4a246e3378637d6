// The rules of sales and purchase documents and postings, run on the real tables of a
// signed-on data module; messages are answered through the modal seam.
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "store/Errors.h"
#include "settings/windows/winfuncs.h"
#include "rules/RulesFixture.h"

namespace {

using ff::TffTable;

// A message as shown: "caption|line1|line2|line3" (an input prompt's third line is its input).
using Shown = std::string;

std::string Text(const QLabel* label) { return label->text().toStdString(); }

class TradeDocumentRulesTest : public RulesFixture {
 protected:
  void SetUp() override {
    SuiteFixture::SetUp();
    SetLogFolder(db.root() + "/");
    SetToday(2024, 3, 15);  // a Friday
    Type("1");
  }

  void TearDown() override {
    SetLogFolder("");
    SuiteFixture::TearDown();
  }

  // Every message is recorded; an input prompt gets `typed` and closes with `result`.
  void Type(std::string typed, int result = QDialog::Accepted) {
    AnswerModals([this, typed = std::move(typed), result](QDialog& dialog) {
      auto& form = dynamic_cast<TMsgForm&>(dialog);
      const bool prompt = form.LetStr->isVisible();
      shown.push_back(form.windowTitle().toStdString() + "|" + Text(form.FeilMsg) + "|" + Text(form.Msg1) + "|" +
                      (prompt ? form.LetStr->text().toStdString() : Text(form.Msg2)));
      if (prompt) form.LetStr->setText(QString::fromStdString(typed));
      return result;
    });
  }

  static double Float(const TffTable& t, const char* field) { return t.FieldByName(field).AsFloat(); }
  static std::string String(const TffTable& t, const char* field) { return t.FieldByName(field).AsString(); }
  static bool IsNull(const TffTable& t, const char* field) { return t.FieldByName(field).IsNull(); }

  // Appends and posts a document; returns its number.
  static std::int64_t AddDocument(TffTable& t) {
    t.Append();
    t.Post();
    return t.FieldByName("Nummer").AsInteger();
  }

  // Appends and posts a posting with these values.
  void AddPosting(const std::vector<std::pair<const char*, double>>& values) {
    TffTable& p = module->PosteringTable;
    p.Append();
    for (const auto& [field, value] : values) p.FieldByName(field).SetAsFloat(value);
    p.Post();
  }

  // Writes a company straight into its table, past the module's own company rules.
  void AddCompanyDirectly(const std::string& name, double accountIn, double accountOut) {
    TffTable raw("RawCompanies");
    raw.SetSessionName("VeltrinoSession");
    raw.SetDatabaseName(db.alias());
    raw.SetTableName("Lever");
    raw.Open();
    raw.Append();
    raw.FieldByName("Navn").SetAsString(name);
    raw.FieldByName("KontoInn").SetAsFloat(accountIn);
    raw.FieldByName("KontoUt").SetAsFloat(accountOut);
    raw.Post();
    raw.Close();
    module->FirmaTable.Refresh();
    module->FirmaTable.First();
  }

  std::string Accounts(const TffTable& company) const {
    return std::to_string(company.FieldByName("KontoInn").AsInteger()) + "/" +
           std::to_string(company.FieldByName("KontoUt").AsInteger());
  }

  std::vector<Shown> shown;
};

const char* const kPrompt = "Melding...|Angi nummeret du vil starte på:||";
const char* const kNumberError = "Feilmelding...|Feil ved oppretting av nytt nummer!||";

// --- Document numbers ---

TEST_F(TradeDocumentRulesTest, FirstOfferIsNumberedFromThePromptAndTheNextFromTheLastRow) {
  TffTable& offers = module->TilbudTable;
  Type("1000");
  offers.Append();
  EXPECT_EQ(shown, std::vector<Shown>{kPrompt});
  EXPECT_EQ(Float(offers, "Nummer"), 1000);
  EXPECT_EQ(Float(offers, "Systemnr"), 1000);
  offers.Post();

  shown.clear();
  EXPECT_EQ(AddDocument(offers), 1001);
  EXPECT_EQ(Float(offers, "Systemnr"), 1001);
  EXPECT_TRUE(shown.empty());
}

TEST_F(TradeDocumentRulesTest, PromptAnswersThatAreNoWholeNumberGiveOneAndAnError) {
  for (const char* typed : {"abc", "", "12x", "1.5", "99999999999"}) {
    SCOPED_TRACE(typed);
    shown.clear();
    Type(typed);
    module->OrdreTable.Append();
    EXPECT_EQ(Float(module->OrdreTable, "Nummer"), 1);
    EXPECT_EQ(shown, (std::vector<Shown>{kPrompt, kNumberError}));
    module->OrdreTable.Cancel();
  }
}

TEST_F(TradeDocumentRulesTest, PromptAnswerCountsWhicheverButtonClosedIt) {
  Type(" 500 ", QDialog::Rejected);
  module->InnkjopTable.Append();
  EXPECT_EQ(Float(module->InnkjopTable, "Nummer"), 500);
}

TEST_F(TradeDocumentRulesTest, NumberingSeesPastAFilterThatHidesTheHighestNumber) {
  TffTable& invoices = module->Fakturatable;
  for (int i = 0; i < 3; ++i) AddDocument(invoices);
  invoices.SetFilter("Nummer<3");
  invoices.SetFiltered(true);
  ASSERT_EQ(invoices.RecordCount(), 2);

  invoices.Append();
  EXPECT_EQ(Float(invoices, "Nummer"), 4);
  EXPECT_FALSE(invoices.Filtered());
  EXPECT_EQ(invoices.Filter(), "");
}

TEST_F(TradeDocumentRulesTest, NextNumberOfAFullTableFailsRatherThanOverflow) {
  TffTable& offers = module->TilbudTable;
  offers.Append();
  offers.FieldByName("Nummer").SetAsInteger(2147483647);
  offers.Post();
  shown.clear();
  EXPECT_EQ(module->HentNesteSalgNummer(offers), 1);
  EXPECT_EQ(shown, std::vector<Shown>{kNumberError});
}

// --- Defaults of new documents ---

TEST_F(TradeDocumentRulesTest, NewDocumentsGetStatusTermDueDateAndFlags) {
  WriteSetting("FakturaDager", "14 dager");
  const double today = ff::encodeDate(2024, 3, 15);
  struct Expected {
    TffTable* table;
    const char* status;
    const char* term;
    bool dueDate;
  };
  for (const Expected& e : {Expected{&module->TilbudTable, "", "14 dager", false},
                            Expected{&module->Fakturatable, "Ufakturert", "14 dager", true},
                            Expected{&module->OrdreTable, "Ikke startet", "14 dager", false},
                            Expected{&module->InnkjopTable, "Ikke bestillt", "", false}}) {
    TffTable& t = *e.table;
    SCOPED_TRACE(t.Name());
    t.Append();
    EXPECT_EQ(Float(t, "Dato"), today);
    EXPECT_EQ(String(t, "Status"), e.status);
    EXPECT_EQ(String(t, "Valuta"), "NOK");
    EXPECT_EQ(String(t, "Betalingsbetingelse"), e.term);
    if (e.dueDate) {
      EXPECT_EQ(Float(t, "Forfalldato"), today + 14);
    } else {
      EXPECT_TRUE(IsNull(t, "Forfalldato"));
    }
    EXPECT_TRUE(t.FieldByName("MVApliktig").AsBoolean());
    for (const char* flag : {"Purring", "Kreditnota", "Rentenota", "Betalt", "Fakturert", "ErFastpris"}) {
      EXPECT_FALSE(IsNull(t, flag)) << flag;
      EXPECT_FALSE(t.FieldByName(flag).AsBoolean()) << flag;
    }
    for (const char* date : {"Fakturadato", "Purredato", "DatoBetalt"}) EXPECT_TRUE(IsNull(t, date)) << date;
    t.Post();
  }
}

TEST_F(TradeDocumentRulesTest, InvoiceDueDateFollowsEachTermExactly) {
  const double today = ff::encodeDate(2024, 3, 15);
  const std::vector<std::pair<const char*, int>> terms{{"Omgående", 1},  {"7 dager", 7},   {"10 dager", 10},
                                                       {"14 dager", 14}, {"30 dager", 30}, {"60 dager", 60},
                                                       {"90 dager", 90}};
  for (const auto& [term, days] : terms) {
    SCOPED_TRACE(term);
    WriteSetting("FakturaDager", term);
    module->Fakturatable.Append();
    EXPECT_EQ(Float(module->Fakturatable, "Forfalldato"), today + days);
    module->Fakturatable.Post();
  }
  for (const char* unknown : {"3 uker", "14 Dager", ""}) {
    SCOPED_TRACE(unknown);
    WriteSetting("FakturaDager", unknown);
    module->Fakturatable.Append();
    EXPECT_TRUE(IsNull(module->Fakturatable, "Forfalldato"));
    EXPECT_EQ(String(module->Fakturatable, "Status"), "Ufakturert");
    module->Fakturatable.Post();
  }
}

TEST_F(TradeDocumentRulesTest, NewPurchaseIsDeliveredToTheFirmsOwnAddress) {
  WriteSetting("Firma_Navn", "Kvist AS");
  WriteSetting("Firma_GateAdresse", "Storgata 1");
  WriteSetting("Firma_PostAdresse", "Postboks 9");
  WriteSetting("Firma_PostNr", "3800");
  WriteSetting("Firma_PostSted", "Bø");
  TffTable& purchases = module->InnkjopTable;
  purchases.Append();
  EXPECT_EQ(String(purchases, "LeverGateadresse"), "Kvist AS");
  EXPECT_EQ(String(purchases, "LeverPostadresse"), "Storgata 1 Postboks 9");
  EXPECT_EQ(String(purchases, "LeverPostnr"), "3800");
  EXPECT_EQ(String(purchases, "LeverPoststed"), "Bø");
  purchases.Post();

  WriteSetting("Firma_GateAdresse", "");
  WriteSetting("Firma_PostAdresse", "");
  purchases.Append();
  EXPECT_EQ(String(purchases, "LeverPostadresse"), " ");
}

TEST_F(TradeDocumentRulesTest, OrderAndOrderLineReportTheirFailuresByNumberAndOthersStayQuiet) {
  // Outside insert state every field write fails.
  module->TilbudTableNewRecord(module->TilbudTable);
  module->TilbudVareTableAntallChange(module->TilbudVareTable.FieldByName("Antall"));
  EXPECT_TRUE(shown.empty());

  module->OrdreTableNewRecord(module->OrdreTable);
  module->OrdreVareTableNewRecord(module->OrdreVareTable);
  EXPECT_EQ(shown, (std::vector<Shown>{"Feilmelding...|Feil 991||", "Feilmelding...|Feil 993||"}));
}

// --- Lines ---

struct LineFigures {
  double totalCost, total, profit;
};

LineFigures FiguresOf(const TffTable& line) {
  return {line.FieldByName("TotalKostpris").AsFloat(), line.FieldByName("Totalpris").AsFloat(),
          line.FieldByName("Fortjeneste").AsFloat()};
}

// Appends a line under a new document and types price, quantity, discount and cost.
void TypeLine(TffTable& header, TffTable& line, double price, double quantity, double discount, double cost) {
  header.Append();
  header.Post();
  line.Append();
  line.FieldByName("Pris").SetAsFloat(price);
  line.FieldByName("Antall").SetAsFloat(quantity);
  line.FieldByName("Rabatt").SetAsFloat(discount);
  line.FieldByName("Kostpris").SetAsFloat(cost);
}

TEST_F(TradeDocumentRulesTest, SalesLinesTakeTheDiscountOffTheSellingTotal) {
  for (auto [header, line] : {std::pair{&module->TilbudTable, &module->TilbudVareTable},
                              std::pair{&module->Fakturatable, &module->FakturaVareTable},
                              std::pair{&module->OrdreTable, &module->OrdreVareTable}}) {
    SCOPED_TRACE(line->Name());
    TypeLine(*header, *line, 200, 3, 10, 120);
    const LineFigures f = FiguresOf(*line);
    EXPECT_EQ(f.totalCost, 360);
    EXPECT_EQ(f.total, 540);
    EXPECT_EQ(f.profit, 180);
    EXPECT_EQ(Float(*line, "Dato"), ff::encodeDate(2024, 3, 15));
    line->Post();
  }
}

TEST_F(TradeDocumentRulesTest, PurchaseLinesTakeTheDiscountOffTheCostTotal) {
  TypeLine(module->InnkjopTable, module->InnkjopVareTable, 200, 3, 10, 120);
  const LineFigures f = FiguresOf(module->InnkjopVareTable);
  EXPECT_EQ(f.totalCost, 324);
  EXPECT_EQ(f.total, 600);
  EXPECT_EQ(f.profit, 276);

  module->InnkjopVareTable.FieldByName("Rabatt").SetAsFloat(0);
  EXPECT_EQ(FiguresOf(module->InnkjopVareTable).totalCost, 360);
}

TEST_F(TradeDocumentRulesTest, TagHoldsTheLineRuleBack) {
  TffTable& lines = module->TilbudVareTable;
  TypeLine(module->TilbudTable, lines, 200, 3, 10, 120);
  lines.SetTag(1);
  lines.FieldByName("Antall").SetAsFloat(5);
  const LineFigures f = FiguresOf(lines);
  EXPECT_EQ(f.totalCost, 360);
  EXPECT_EQ(f.total, 540);
  EXPECT_EQ(f.profit, 180);
  lines.SetTag(0);
}

// --- Postings ---

TEST_F(TradeDocumentRulesTest, CancelledNewPostingGivesItsNumberBack) {
  TffTable& postings = module->PosteringTable;
  postings.Append();
  EXPECT_EQ(Float(postings, "REGNR"), 1);
  postings.Cancel();
  postings.Append();
  EXPECT_EQ(Float(postings, "REGNR"), 1);
  postings.Post();

  postings.Edit();
  postings.Cancel();
  postings.Append();
  EXPECT_EQ(Float(postings, "REGNR"), 2);
}

TEST_F(TradeDocumentRulesTest, NewPostingTakesDefaultsAndPostedOneIsRemembered) {
  TffTable& postings = module->PosteringTable;
  module->CurrentProjectNo = 12;
  module->CurrentEquipmentNo = 7;
  postings.Append();
  EXPECT_EQ(Float(postings, "DATO"), ff::encodeDate(2024, 3, 15));
  EXPECT_EQ(Float(postings, "MVAPROSENT"), 24);
  EXPECT_EQ(Float(postings, "PROSJEKTNR"), 12);
  EXPECT_EQ(Float(postings, "UTSTYRNR"), 7);
  EXPECT_EQ(Float(postings, "NR"), 0);
  EXPECT_EQ(Float(postings, "POSTTYPE"), 0);
  EXPECT_EQ(Float(postings, "KONTOINN"), 0);
  EXPECT_TRUE(IsNull(postings, "KONTOUT"));
  postings.FieldByName("KONTOINN").SetAsFloat(3000);
  postings.FieldByName("KONTOUT").SetAsFloat(1920);
  postings.FieldByName("PROSJEKTNR").SetAsFloat(14);
  postings.FieldByName("UTSTYRNR").SetAsFloat(3);
  postings.FieldByName("POSTTYPE").SetAsFloat(2);
  postings.Post();

  EXPECT_EQ(ReadSetting("Konto_Sistekontoinn"), "3000");
  EXPECT_EQ(ReadSetting("Konto_Sistekontout"), "1920");
  EXPECT_EQ(module->CurrentProjectNo, 14);
  EXPECT_EQ(module->CurrentEquipmentNo, 3);
  EXPECT_EQ(module->LastEntryType, 2);

  postings.Append();
  EXPECT_EQ(Float(postings, "KONTOINN"), 3000);
  EXPECT_EQ(Float(postings, "PROSJEKTNR"), 14);
  EXPECT_EQ(Float(postings, "POSTTYPE"), 0);
}

TEST_F(TradeDocumentRulesTest, ReopenedPostingTableCountsPastAFilterThatHidesTheHighestNumber) {
  TffTable& postings = module->PosteringTable;
  for (double project : {1, 1, 2}) AddPosting({{"PROSJEKTNR", project}});
  ASSERT_TRUE(FilterTable(postings, "PROSJEKTNR=1"));
  CloseTable(postings);
  ASSERT_TRUE(OpenTable(postings));
  EXPECT_EQ(module->NextPostingRegNo, 4);
  EXPECT_TRUE(postings.Filtered());
  EXPECT_EQ(postings.RecordCount(), 2);
}

TEST_F(TradeDocumentRulesTest, CurrentCompanyGetsItsDefaultAccountsOnce) {
  AddCompanyDirectly("Kunde AS", 0, 0);
  AddPosting({{"KONTOINN", 3000}, {"KONTOUT", 1920}});
  EXPECT_EQ(Accounts(module->FirmaTable), "3000/1920");
  AddPosting({{"KONTOINN", 3100}, {"KONTOUT", 1930}});
  EXPECT_EQ(Accounts(module->FirmaTable), "3000/1920");
}

TEST_F(TradeDocumentRulesTest, CompanyAccountsThatCannotBeSetDoNotStopThePosting) {
  // An empty company table gets no company; an account beyond the field's range is no default.
  AddPosting({{"KONTOINN", 3000}, {"KONTOUT", 1920}});
  EXPECT_EQ(module->FirmaTable.RecordCount(), 0);

  AddCompanyDirectly("Kunde AS", 0, 0);
  AddPosting({{"KONTOINN", 70000}, {"KONTOUT", 1920}});
  EXPECT_EQ(Accounts(module->FirmaTable), "0/1920");
  EXPECT_EQ(module->FirmaTable.State(), ff::DataSetState::Browse);

  // A read-only company table is left alone.
  AddCompanyDirectly("Leverandør AS", 0, 0);
  CloseTable(module->FirmaTable);
  module->FirmaTable.SetReadOnly(true);
  ASSERT_TRUE(OpenTable(module->FirmaTable));
  AddPosting({{"KONTOINN", 4000}, {"KONTOUT", 1920}});
  EXPECT_EQ(module->PosteringTable.RecordCount(), 3);
  EXPECT_EQ(Accounts(module->FirmaTable), "0/1920");
  EXPECT_EQ(module->FirmaTable.State(), ff::DataSetState::Browse);
}

TEST_F(TradeDocumentRulesTest, BetalFakturaPaysOnlyOrdinaryPostings) {
  TffTable& postings = module->PosteringTable;
  WriteSetting("PosteringKontoBank", "1920");
  module->BetalFaktura();  // nothing to pay yet
  EXPECT_EQ(postings.RecordCount(), 0);

  AddPosting({{"POSTTYPE", 5}, {"POSTSUM", 99}});
  module->BetalFaktura();
  EXPECT_EQ(postings.RecordCount(), 1);

  postings.Append();
  postings.FieldByName("NR").SetAsFloat(12);
  postings.FieldByName("NAVN").SetAsString("Kunde AS");
  postings.FieldByName("POSTSUM").SetAsFloat(1250);
  postings.FieldByName("KONTOINN").SetAsFloat(1500);
  postings.FieldByName("KONTOUT").SetAsFloat(3000);
  postings.FieldByName("FAKTURANR").SetAsFloat(77);
  postings.Post();
  module->BetalFaktura();

  ASSERT_EQ(postings.RecordCount(), 3);
  EXPECT_EQ(Float(postings, "REGNR"), 3);
  EXPECT_EQ(Float(postings, "POSTTYPE"), 5);
  EXPECT_EQ(Float(postings, "NR"), 12);
  EXPECT_EQ(String(postings, "NAVN"), "Kunde AS");
  EXPECT_EQ(Float(postings, "POSTSUM"), 1250);
  EXPECT_EQ(Float(postings, "FAKTURANR"), 77);
  EXPECT_EQ(Float(postings, "KONTOINN"), 1920);
  EXPECT_EQ(Float(postings, "KONTOUT"), 1500);
  EXPECT_EQ(Float(postings, "MVAPROSENT"), 24);

  ASSERT_TRUE(postings.FindKey({ff::Value{2.0}}));
  EXPECT_EQ(Float(postings, "POSTTYPE"), 0);
  EXPECT_EQ(Float(postings, "KONTOINN"), 1500);
  EXPECT_EQ(Float(postings, "KONTOUT"), 3000);
}

TEST_F(TradeDocumentRulesTest, DistributionTurnsPercentagesIntoAmountsAndSumsThemBack) {
  TffTable& postings = module->PosteringTable;
  postings.Append();
  postings.FieldByName("POSTSUM").SetAsFloat(1000);
  postings.FieldByName("FORDELING1").SetAsFloat(25);
  postings.FieldByName("FORDELING2").SetAsFloat(75);
  module->ProsentFordeling();
  EXPECT_EQ(Float(postings, "FORDELING1"), 250);
  EXPECT_EQ(Float(postings, "FORDELING2"), 750);
  for (const char* other : {"FORDELING3", "FORDELING8"}) EXPECT_EQ(Float(postings, other), 0) << other;
  postings.FieldByName("POSTSUM").SetAsFloat(0);
  module->SummerFordeling();
  EXPECT_EQ(Float(postings, "POSTSUM"), 1000);
  postings.Post();

  module->ProsentFordeling();
  module->SummerFordeling();
  EXPECT_EQ(Float(postings, "FORDELING1"), 250);
  EXPECT_EQ(Float(postings, "POSTSUM"), 1000);
  EXPECT_EQ(postings.State(), ff::DataSetState::Browse);
}

// --- Accounts and invoices ---

TEST_F(TradeDocumentRulesTest, NewAccountIsNotLiquid) {
  module->KontoTable.Append();
  EXPECT_FALSE(IsNull(module->KontoTable, "KONTOLIKVI"));
  EXPECT_FALSE(module->KontoTable.FieldByName("KONTOLIKVI").AsBoolean());
}

TEST_F(TradeDocumentRulesTest, InvoiceIsNeverDeleted) {
  TffTable& invoices = module->Fakturatable;
  AddDocument(invoices);
  shown.clear();
  EXPECT_THROW(invoices.Delete(), ff::EAbort);
  EXPECT_EQ(shown, std::vector<Shown>{"Melding...|Kan ikke slette faktura|Du kan sette faktura som feil-faktura ved å "
                                      "velge \"Mulihgeter|Merke faktura som feil\".|"});
  EXPECT_EQ(invoices.RecordCount(), 1);
}

}  // namespace
