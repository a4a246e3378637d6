// Companies, contacts, documents, pictures and the delete guards of every table, run by the
// data module on real tables; the chooser and the delete confirmation are answered by script.
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "store/DataSource.h"
#include "store/Errors.h"
#include "settings/windows/Firmvelg.h"
#include "settings/windows/Slett.h"
#include "rules/RulesFixture.h"

namespace {

using ff::TffTable;

// Counts the moves a data source's controls are told of.
struct ScrollSpy : ff::DataLink {
  int scrolled = 0;
  void DataSetScrolled() override { ++scrolled; }
};

using Row = SuiteRow;

ff::Value Num(double v) { return ff::Value{v}; }
ff::Value Flag(bool v) { return ff::Value{std::int64_t{v ? 1 : 0}}; }
ff::Value Str(const char* s) { return ff::Value{std::string(s)}; }

enum class Kind { Customer, Supplier, Cancel };

// Answers the company chooser with `kind` and the delete confirmation with `confirm`, and
// records what was asked: "chooser: <caption>" or the delete question.
struct Answers {
  Kind kind = Kind::Customer;
  bool confirm = false;
  std::vector<std::string> asked;

  // Installed after the suite has signed on, which clears every handler.
  void Install() {
    SetModalHandler([this](QDialog& dialog) {
      if (auto* chooser = dynamic_cast<TVelgFirmaVindu*>(&dialog)) {
        asked.push_back("chooser: " + chooser->windowTitle().toStdString());
        if (kind == Kind::Cancel) {
          chooser->CancelBtn->click();
        } else {
          (kind == Kind::Customer ? chooser->NyvalgItem1 : chooser->NyvalgItem2)->setChecked(true);
          chooser->OKBtn->click();
        }
        return chooser->result();
      }
      if (auto* ask = dynamic_cast<TSlettedialog*>(&dialog)) {
        asked.push_back(ask->Label1->text().toStdString());
        return int(confirm ? QDialog::Accepted : QDialog::Rejected);
      }
      ADD_FAILURE() << "unexpected window " << dialog.objectName().toStdString();
      return int(QDialog::Rejected);
    });
  }
};

class MasterDataRulesTest : public RulesFixture {
 protected:
  void SetUp() override {
    SuiteFixture::SetUp();
    answers.Install();
    SetToday(2024, 3, 15);
    NewCompanyIsCustomer = false;
    NewCompanyCancelled = false;
  }

  static double Number(const TffTable& t, const char* field) { return t.FieldByName(field).AsFloat(); }
  static std::string Text(const TffTable& t, const char* field) { return t.FieldByName(field).AsString(); }

  // Writes a row straight into a physical table of the suite, past the module's rules, and
  // lets the module's table of that component see it.
  void WriteRow(const std::string& component, const Row& values) {
    TffTable& table = *module->Table(component);
    TffTable raw("Raw" + component);
    raw.SetSessionName("VeltrinoSession");
    raw.SetDatabaseName(table.DatabaseName());
    raw.SetTableName(table.TableName());
    raw.Open();
    raw.Append();
    for (const auto& [field, value] : values) raw.FieldByName(field).SetValue(value);
    raw.Post();
    raw.Close();
    table.Refresh();
    table.First();
  }

  void WriteCompany(double nr, bool customer, const char* name = "Firma") {
    WriteRow("FirmaTable", {{"Nr", Num(nr)}, {"Kunde", Flag(customer)}, {"Leverandor", Flag(!customer)},
                            {"Navn", Str(name)}});
  }

  // Adds a company through the module, the chooser answered with `kind`; returns its Nr.
  std::int64_t AddCompany(Kind kind) {
    answers.kind = kind;
    TffTable& companies = module->FirmaTable;
    companies.Append();
    companies.Post();
    return companies.FieldByName("Nr").AsInteger();
  }

  // The company flags that are set, in a fixed order.
  static std::string FlagsSet(const TffTable& c) {
    std::string set;
    for (const char* flag : {"Kunde", "Leverandor", "Utstyr", "Avtale", "Kreditt", "Mva", "Fastkunde"}) {
      if (c.FieldByName(flag).AsBoolean()) set += std::string(set.empty() ? "" : " ") + flag;
      EXPECT_FALSE(c.FieldByName(flag).IsNull()) << flag;
    }
    return set;
  }

  Answers answers;
};

// --- Company numbers ---

TEST_F(MasterDataRulesTest, FirstCustomerAndFirstSupplierStartTheirRanges) {
  TffTable& companies = module->FirmaTable;
  EXPECT_EQ(AddCompany(Kind::Customer), 12001);
  EXPECT_EQ(FlagsSet(companies), "Kunde Mva");
  EXPECT_EQ(AddCompany(Kind::Supplier), 20001);
  EXPECT_EQ(FlagsSet(companies), "Leverandor Mva");
  EXPECT_EQ(answers.asked, std::vector<std::string>(2, "chooser: Registrer nytt firma"));
  EXPECT_TRUE(module->AskCompanyKind);
  EXPECT_TRUE(module->Source("FirmaSource")->Enabled());
}

TEST_F(MasterDataRulesTest, CustomersCountOnlyCustomersAndSuppliersCountEveryCompany) {
  for (int nr = 12001; nr <= 12005; ++nr) WriteCompany(nr, true);
  WriteCompany(20003, false);
  EXPECT_EQ(AddCompany(Kind::Customer), 12006);
  EXPECT_EQ(AddCompany(Kind::Supplier), 20004);
}

TEST_F(MasterDataRulesTest, TheWindowsAndContactsDoNotFollowTheNumberingScan) {
  ScrollSpy display;
  ff::TDataSource& source = *module->Source("FirmaSource");
  source.AddLink(&display);
  WriteCompany(12001, true);
  display.scrolled = 0;
  AddCompany(Kind::Customer);
  const int withOneCompany = display.scrolled;
  for (int nr = 12003; nr < 12023; ++nr) WriteCompany(nr, true);
  display.scrolled = 0;
  EXPECT_EQ(AddCompany(Kind::Customer), 12023);
  EXPECT_EQ(display.scrolled, withOneCompany);
  EXPECT_TRUE(source.Enabled());
  source.RemoveLink(&display);
}

TEST_F(MasterDataRulesTest, ACustomerHighUpMovesSuppliersButASupplierLowDownMovesNoCustomer) {
  WriteCompany(12001, true);
  WriteCompany(13000, false);
  EXPECT_EQ(AddCompany(Kind::Customer), 12002);
  WriteCompany(25000, true);
  EXPECT_EQ(AddCompany(Kind::Supplier), 25001);
}

TEST_F(MasterDataRulesTest, AFilterOnTheCompaniesHidesNoNumberAndStaysOn) {
  WriteCompany(12001, true);
  WriteCompany(20003, false);
  TffTable& companies = module->FirmaTable;
  companies.SetFilter("Nr<13000");
  companies.SetFiltered(true);
  EXPECT_EQ(AddCompany(Kind::Supplier), 20004);
  EXPECT_TRUE(companies.Filtered());
  EXPECT_EQ(companies.Filter(), "Nr<13000");
}

TEST_F(MasterDataRulesTest, WithoutTheQuestionTheKindIsTheLastAnswer) {
  module->AskCompanyKind = false;
  NewCompanyIsCustomer = false;
  EXPECT_EQ(AddCompany(Kind::Customer), 20001);  // the chooser is not shown
  EXPECT_TRUE(answers.asked.empty());
  EXPECT_TRUE(module->AskCompanyKind);
}

TEST_F(MasterDataRulesTest, ACancelledChooserAddsNoCompany) {
  WriteCompany(12001, true);
  TffTable& companies = module->FirmaTable;
  answers.kind = Kind::Cancel;
  companies.Append();
  EXPECT_EQ(companies.State(), ff::DataSetState::Browse);
  EXPECT_EQ(companies.RecordCount(), 1);
  EXPECT_TRUE(NewCompanyCancelled);
  EXPECT_TRUE(module->AskCompanyKind);

  // A window that skips the question after a cancel gets no company either.
  module->AskCompanyKind = false;
  companies.Append();
  EXPECT_EQ(companies.State(), ff::DataSetState::Browse);
  EXPECT_EQ(companies.RecordCount(), 1);
  EXPECT_EQ(answers.asked.size(), 1u);
}

TEST_F(MasterDataRulesTest, AContactMadeForTheCurrentCompanyBelongsToIt) {
  WriteCompany(12001, true, "Alfa");
  WriteCompany(12002, true, "Beta");
  TffTable& companies = module->FirmaTable;
  TffTable& contacts = module->KontaktTable;
  ASSERT_EQ(Text(companies, "Navn"), "Alfa");
  contacts.Append();
  module->KontaktTableNewRecord();
  EXPECT_EQ(Number(contacts, "Nr"), 12001);
  contacts.FieldByName("Kontakt").SetAsString("Kari");
  contacts.Post();
  companies.Next();
  EXPECT_EQ(contacts.RecordCount(), 0);
  companies.First();
  EXPECT_EQ(contacts.RecordCount(), 1);
  EXPECT_EQ(Text(contacts, "Kontakt"), "Kari");
}

// --- Deleting companies ---

TEST_F(MasterDataRulesTest, DeletingACompanyAlwaysAsksByName) {
  WriteSetting("Bekreft_Slett", "Nei");
  WriteCompany(12001, true, "Snekker AS");
  TffTable& companies = module->FirmaTable;
  answers.confirm = false;
  EXPECT_THROW(companies.Delete(), ff::EAbort);
  EXPECT_EQ(companies.RecordCount(), 1);
  answers.confirm = true;
  companies.Delete();
  EXPECT_EQ(companies.RecordCount(), 0);
  EXPECT_EQ(answers.asked, std::vector<std::string>(2, "vil du slette Snekker AS ?"));
}

// --- Documents and pictures ---

TEST_F(MasterDataRulesTest, ANewDocumentStartsFromTheLastPostedOne) {
  module->CurrentProjectNo = 3;
  module->CurrentEquipmentNo = 4;
  module->CurrentEquipmentPart = 5;
  TffTable& docs = module->DokumentTable;
  docs.Append();
  EXPECT_EQ(Number(docs, "NR"), 0);
  EXPECT_EQ(Text(docs, "NAVN"), "");
  EXPECT_EQ(Number(docs, "PROSJEKTNR"), 3);
  docs.FieldByName("NR").SetAsFloat(4);
  docs.FieldByName("NAVN").SetAsString("Tegning A");
  docs.FieldByName("PROSJEKTNR").SetAsFloat(12);
  docs.FieldByName("UTSTYRNR").SetAsFloat(7);
  docs.FieldByName("UTSTYRDEL").SetAsFloat(2);
  docs.FieldByName("DATO").SetAsDateTime(ff::encodeDate(2020, 1, 1));
  docs.Post();

  docs.Append();
  EXPECT_EQ(Number(docs, "NR"), 4);
  EXPECT_EQ(Text(docs, "NAVN"), "Tegning A");
  EXPECT_EQ(Number(docs, "PROSJEKTNR"), 12);
  EXPECT_EQ(Number(docs, "UTSTYRNR"), 7);
  EXPECT_EQ(Number(docs, "UTSTYRDEL"), 5);  // the part is not taken from a posted document
  EXPECT_EQ(Number(docs, "DATO"), ff::encodeDate(2024, 3, 15));
  EXPECT_EQ(module->CurrentProjectNo, 12);
  EXPECT_EQ(module->CurrentEquipmentNo, 7);
}

TEST_F(MasterDataRulesTest, APictureTakesTheNumbersItsFilterNames) {
  WriteCompany(5, true);
  WriteRow("PosteringTable", {{"REGNR", Num(17)}, {"NR", Num(33)}});
  TffTable& pictures = module->BildeTable;
  const auto newPicture = [&](const char* filter) {
    pictures.SetFiltered(false);
    pictures.SetFilter(filter);
    if (*filter != '\0') pictures.SetFiltered(true);
    pictures.Append();
    const std::string made = Text(pictures, "nr") + "/" + Text(pictures, "regnr") + "/" + Text(pictures, "strekk");
    pictures.Cancel();
    return made;
  };
  EXPECT_EQ(newPicture("REGNR=17"), "33/17/False");
  EXPECT_EQ(newPicture("NR=5"), "5//False");
  EXPECT_EQ(newPicture(""), "//False");
  EXPECT_EQ(newPicture("regnr=17"), "//False");  // the texts are looked for case-sensitively
}

// --- Delete guards of the other tables ---

struct GuardedTable {
  const char* component;
  Row row;
};

TEST_F(MasterDataRulesTest, EveryGuardedTableKeepsARowWhoseDeleteIsNotConfirmed) {
  const Row line = {{"Nummer", Num(1)}};
  // In master-first order.
  const std::vector<GuardedTable> guarded = {
      {"DokumentTable", {{"NR", Num(1)}}},
      {"KontoTable", {{"KONTONR", Num(1920)}}},
      {"VareTable", {{"VARENR", Str("A")}}},
      {"VareRegister", {{"Varenr", Str("A")}}},
      {"VareTable2", {{"Varenr", Str("A")}}},
      {"KontaktTable", {{"Nr", Num(1)}}},
      {"TilbudTable", line},
      {"TilbudVareTable", line},
      {"PosteringTable", {{"REGNR", Num(1)}}},
      {"ButikkTable", {{"Transnr", Num(1)}, {"Dato", Num(1)}, {"Pris", Num(1)}, {"Antall", Num(1)}}},
      {"BildeTable", {{"nr", Num(1)}}},
      {"FakturaVareTable", line},
      {"OrdreTable", line},
      {"OrdreVareTable", line},
      {"InnkjopTable", line},
      {"InnkjopVareTable", line},
      {"KalkulerTable", line},
      {"KalkulerVaretable", line},
  };
  // The masters of contacts and invoice lines, which have guards of their own.
  WriteRow("FirmaTable", {{"Nr", Num(1)}});
  WriteRow("Fakturatable", line);
  for (const GuardedTable& g : guarded) WriteRow(g.component, g.row);
  for (const GuardedTable& g : guarded) {
    SCOPED_TRACE(g.component);
    TffTable& table = *module->Table(g.component);
    ASSERT_EQ(table.RecordCount(), 1);
    answers.confirm = false;
    EXPECT_THROW(table.Delete(), ff::EAbort);
    EXPECT_EQ(table.RecordCount(), 1);
  }
  EXPECT_EQ(answers.asked, std::vector<std::string>(guarded.size(), "slette denne posten ?"));

  answers.asked.clear();
  answers.confirm = true;
  for (const char* component : {"KalkulerVaretable", "KontoTable", "PosteringTable"}) {
    SCOPED_TRACE(component);
    module->Table(component)->Delete();
    EXPECT_EQ(module->Table(component)->RecordCount(), 0);
  }
  EXPECT_EQ(answers.asked.size(), 3u);
  answers.confirm = false;
  EXPECT_THROW(module->SalgVareTableBeforeDelete(module->OrdreVareTable), ff::EAbort);
}

TEST_F(MasterDataRulesTest, ExpensesMailsAndAttachmentsDeleteWithoutAQuestion) {
  WriteRow("ReiseTable", {{"REGNR", Num(1)}});
  WriteRow("UtleggTable", {{"REGNR", Num(1)}});
  WriteRow("PostTable", {{"Mailnr", Num(1)}});
  WriteRow("VedleggTable", {{"Vedleggnr", Num(1)}});
  for (const char* component : {"UtleggTable", "PostTable", "VedleggTable"}) {
    SCOPED_TRACE(component);
    TffTable& table = *module->Table(component);
    ASSERT_EQ(table.RecordCount(), 1);
    table.Delete();
    EXPECT_EQ(table.RecordCount(), 0);
  }
  EXPECT_TRUE(answers.asked.empty());
}

}  // namespace
