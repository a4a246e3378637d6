// Project and equipment roll-ups, the part and job list filters and the list views, run by the
// data module on real tables of the store. Rows are written through a plain handle of their
// own, so that no other rule of the module touches them on the way in.
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "store/DataSource.h"
#include "store/Errors.h"
#include "store/Schema.h"
#include "settings/windows/Prosess.h"
#include "settings/windows/ScreenCursor.h"
#include "settings/windows/Slett.h"
#include "rules/RulesFixture.h"

namespace {

using Row = SuiteRow;

ff::Value Num(double v) { return ff::Value{v}; }
ff::Value Flag(bool v) { return ff::Value{std::int64_t{v ? 1 : 0}}; }
ff::Value Day(int y, int m, int d) { return ff::Value{ff::encodeDate(y, m, d)}; }

double SeedStart() { return ff::encodeDate(1999, 12, 31); }
double SeedEnd() { return ff::encodeDate(1980, 1, 1); }


// Counts what a table's attached controls are told.
struct ControlsSpy : ff::DataLink {
  int changed = 0;
  void DataSetChanged() override { ++changed; }
};

class RollupRulesTest : public RulesFixture {
 protected:
  void SetUp() override {
    SuiteFixture::SetUp();
    SetToday(2024, 5, 15);
    WriteSetting("Arbeid_KmSumBil", "3,5");
    WriteSetting("Arbeid_KmSumHenger", "1");
    WriteSetting("Arbeid_KmSumPassasjer", "0.5");
    WriteSetting("Arbeid_KmSumUtstyr", "2");
  }

  void AddProject(double number, Row more = {}) {
    more.insert(more.begin(), {{"PROSJEKTNR", Num(number)}, {"PROSNAVN", ff::Value{"Bru"}}});
    AddRows("PROSJEKT", {more});
  }

  void AddPart(double project, double part, Row more = {}) {
    more.insert(more.begin(), {{"PROSJEKTNR", Num(project)}, {"SYSTEMNR", Num(part)}});
    AddRows("SYSTEMER", {more});
  }

  // A time row of a part with its hours typed.
  static Row Hours(double project, double part, ff::Value date, double normal, double at50 = 0) {
    return {{"PROSJEKTNR", Num(project)}, {"SYSTEMNR", Num(part)},  {"DATO", std::move(date)},
            {"TIMER", Num(normal)},       {"OVERTID_50", Num(at50)}, {"OVERTID_10", Num(0)}};
  }

  static Row Posting(double project, double part, double type, double sum) {
    return {{"PROSJEKTNR", Num(project)}, {"SYSTEMNR", Num(part)}, {"POSTTYPE", Num(type)}, {"POSTSUM", Num(sum)}};
  }

  static Row Trip(double project, double part, double km, Row flags = {}) {
    flags.insert(flags.begin(), {{"PROSJEKTNR", Num(project)}, {"SYSTEMNR", Num(part)}, {"KMTOTAL", Num(km)}});
    return flags;
  }

  static Row Travel(double project, double part, double expenses) {
    return {{"PROSJEKTNR", Num(project)}, {"SYSTEMNR", Num(part)}, {"SUMUTGIFT", Num(expenses)}};
  }

  void GoToProject(double number) {
    ASSERT_TRUE(module->ProsjektTable.FindKey({Num(number)}));
  }

  void GoToPart(double project, double part) {
    GoToProject(project);
    ff::TffTable& parts = module->SystemTable;
    for (parts.First(); !parts.Eof() && parts.FieldByName("SYSTEMNR").AsFloat() != part;) parts.Next();
    ASSERT_FALSE(parts.Eof()) << "no part " << part;
  }

  double Part(const char* field) const { return module->SystemTable.FieldByName(field).AsFloat(); }
  double Project(const char* field) const { return module->ProsjektTable.FieldByName(field).AsFloat(); }

  // "FILTER" when filtered on it, "-" when not filtered.
  static std::string FilterOf(const ff::TffTable& table) { return table.Filtered() ? table.Filter() : "-"; }

  // The visibility of some columns, as "NAME+ NAME- ...".
  static std::string Columns(const ff::TffTable& table, const std::vector<const char*>& fields) {
    std::string out;
    for (const char* f : fields) out += std::string(f) + (table.FieldByName(f).Visible() ? "+ " : "- ");
    return out;
  }
};

// --- One part ---

TEST_F(RollupRulesTest, PartMileageChargesEachKindOfKilometreAndAddsTravels) {
  AddProject(7);
  AddPart(7, 2);
  AddRows("KM", {Trip(7, 2, 20, {{"HENGER", Flag(true)}}), Trip(7, 2, 10, {{"UTSTYRFRAK", Flag(true)}}),
             Trip(7, 2, 50, {{"PASSASJERE", Num(2)}}), Trip(7, 2, 5, {{"SKOGSVEI", Flag(true)}}), Trip(7, 2, 15),
             Trip(7, 3, 1000), Trip(8, 2, 1000)});
  GoToPart(7, 2);
  module->SummerProsjektDel();
  EXPECT_EQ(Part("DIVERSE"), 440.0);  // 350 + 30 + 50 + 10

  AddRows("REISER", {Travel(7, 2, 25.5), Travel(7, 2, 34.5), Travel(7, 3, 999)});
  module->SummerProsjektDel();
  EXPECT_EQ(Part("DIVERSE"), 500.0);
  EXPECT_EQ(FilterOf(module->KmTable), "-");
  EXPECT_EQ(FilterOf(module->ReiseTable), "-");

  WriteSetting("Arbeid_KmSumBil", "4");  // the rates are read at every roll-up
  module->SummerProsjektDel();
  EXPECT_EQ(Part("DIVERSE"), 550.0);
}

TEST_F(RollupRulesTest, PartPostingsCountByTypeAndOnlyThePartsOwn) {
  AddProject(7);
  AddPart(7, 2);
  AddRows("POSTER", {Posting(7, 2, 1, 1000), Posting(7, 2, 10, 200), Posting(7, 2, 2, 300), Posting(7, 2, 4, 50),
                 Posting(7, 2, 6, 400), Posting(7, 2, 5, 999), Posting(7, 2, 0, 999), Posting(7, 3, 1, 7777),
                 Posting(8, 2, 6, 7777)});
  GoToPart(7, 2);
  module->PartPaidSum = 123;
  module->SummerProsjektDel();
  EXPECT_EQ(Part("UTFAKT"), 800.0);
  EXPECT_EQ(Part("INNFAKT"), 350.0);
  EXPECT_EQ(module->PartPaidSum, 400.0);
}

TEST_F(RollupRulesTest, PartHoursItemsAndDatesComeFromItsRowsAndTheTablesStayFiltered) {
  AddProject(7);
  AddPart(7, 2, {{"CALARBEID", Num(40)}, {"CALVARER", Num(900)}, {"CALINNFAKT", Num(1)},
                 {"CALDIVERSE", Num(2)}, {"CALUTFAKT", Num(3)}});
  AddRows("TIMER", {Hours(7, 2, Day(2023, 11, 20), 7.5, 0.1), Hours(7, 2, Day(2021, 3, 5), 0.2),
                Hours(7, 2, Day(2022, 1, 10), 8), Hours(7, 3, Day(2001, 1, 1), 100), Hours(8, 2, Day(2030, 1, 1), 100)});
  AddRows("VAREUTAK", {{{"PROSJEKTNR", Num(7)}, {"SYSTEMNR", Num(2)}, {"TOTAL", Num(0.1)}},
                   {{"PROSJEKTNR", Num(7)}, {"SYSTEMNR", Num(2)}, {"TOTAL", Num(0.2)}},
                   {{"PROSJEKTNR", Num(7)}, {"SYSTEMNR", Num(4)}, {"TOTAL", Num(50)}}});
  GoToPart(7, 2);
  module->SummerProsjektDel();

  EXPECT_EQ(Part("ARBEID"), 0.2 + 8 + (7.5 + 0.1));  // in date order, full precision
  EXPECT_EQ(Part("VARER"), 0.1 + 0.2);
  // The earliest date is the earliest row's, not the seed of 31.12.1999.
  EXPECT_EQ(Part("STARTDATO"), ff::encodeDate(2021, 3, 5));
  EXPECT_EQ(Part("SLUTTDATO"), ff::encodeDate(2023, 11, 20));
  EXPECT_EQ(Part("CALARBEID") + Part("CALVARER") + Part("CALINNFAKT") + Part("CALDIVERSE") + Part("CALUTFAKT"),
            946.0);
  EXPECT_EQ(module->SystemTable.State(), ff::DataSetState::Browse);
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
  const std::string partFilter = "PROSJEKTNR=7 AND SYSTEMNR=2";
  EXPECT_EQ(FilterOf(module->TidTable), partFilter);
  EXPECT_EQ(FilterOf(module->VareTable), partFilter);
  EXPECT_EQ(FilterOf(module->PosteringTable), "-");  // an empty table is left as it is
}

TEST_F(RollupRulesTest, PartDatesKeepTheSeedsWithoutHoursAndFollowRowsOutsideThem) {
  AddProject(7);
  AddPart(7, 1);
  AddPart(7, 2);
  AddRows("TIMER", {Hours(7, 2, Day(1975, 6, 1), 1), Hours(7, 2, Day(1978, 2, 3), 1), Hours(8, 1, Day(2020, 1, 1), 5)});
  GoToPart(7, 1);
  module->SummerProsjektDel();
  EXPECT_EQ(Part("ARBEID"), 0.0);
  EXPECT_EQ(Part("STARTDATO"), SeedStart());
  EXPECT_EQ(Part("SLUTTDATO"), SeedEnd());

  GoToPart(7, 2);
  module->SummerProsjektDel();
  EXPECT_EQ(Part("STARTDATO"), ff::encodeDate(1975, 6, 1));
  EXPECT_EQ(Part("SLUTTDATO"), ff::encodeDate(1978, 2, 3));
}

TEST_F(RollupRulesTest, PartWhosePartNumberIsEmptyReachesNoRowsOfTheUnfilteredTables) {
  SuiteWindows modals;
  AddProject(7);
  AddRows("SYSTEMER", {{{"PROSJEKTNR", Num(7)}}});
  AddRows("TIMER", {Hours(7, 2, Day(2022, 1, 1), 8)});
  AddRows("VAREUTAK", {{{"PROSJEKTNR", Num(7)}, {"TOTAL", Num(50)}}});
  AddRows("POSTER", {Posting(7, 2, 1, 1000), Posting(7, 2, 6, 400)});
  AddRows("KM", {Trip(7, 2, 100)});
  AddRows("REISER", {Travel(7, 2, 60)});
  GoToProject(7);
  ASSERT_FALSE(module->SystemTable.IsEmpty());
  module->SummerProsjektDel();

  EXPECT_EQ(Part("ARBEID"), 0.0);
  EXPECT_EQ(Part("VARER"), 0.0);
  EXPECT_EQ(Part("UTFAKT"), 0.0);
  EXPECT_EQ(module->PartPaidSum, 0.0);
  EXPECT_EQ(Part("DIVERSE"), 0.0);
  EXPECT_EQ(Part("STARTDATO"), SeedStart());
  // Each table whose filter failed said so.
  const std::vector<std::string> expected = {"Ingenting å filtrere|TIMER",    "Ingenting å filtrere|VAREUTAK",
                                             "Ingenting å filtrere|POSTER",   "Ingenting å filtrere|KM",
                                             "Ingenting å filtrere|REISER"};
  EXPECT_EQ(modals.errors, expected);
}

// --- The whole project ---

class WholeProjectTest : public RollupRulesTest {
 protected:
  // Runs the roll-up, noting the progress window's caption and every bar position.
  void RollUp() {
    SetProgressPositionObserver([this](int percent) {
      if (positions.empty() && VisProsessForm() != nullptr) {
        caption = VisProsessForm()->windowTitle().toStdString();
        text = VisProsessForm()->VisLabel->text().toStdString();
      }
      positions.push_back(percent);
    });
    module->SummerHeleProsjektet(nullptr);
    SetProgressPositionObserver({});
  }

  std::vector<int> positions;
  std::string caption;
  std::string text;
};

TEST_F(WholeProjectTest, ThreePartsAddUpIntoTheProject) {
  AddProject(7, {{"PROSNAVN", ff::Value{"Kai"}}, {"TIMEPRIS", Num(500)}, {"CALTIMEPRI", Num(450)}, {"REST", Num(25)}});
  AddPart(7, 1, {{"CALARBEID", Num(12)}, {"CALVARER", Num(100)}, {"CALUTFAKT", Num(5000)}, {"CALINNFAKT", Num(70)}});
  AddPart(7, 2, {{"CALARBEID", Num(8)}});
  AddPart(7, 3);  // no registrations at all
  AddPart(8, 1);
  AddRows("TIMER", {Hours(7, 1, Day(2022, 4, 1), 8, 2), Hours(7, 2, Day(2021, 9, 9), 6), Hours(7, 2, Day(2023, 2, 2), 0),
                Hours(8, 1, Day(2010, 1, 1), 99)});
  AddRows("VAREUTAK", {{{"PROSJEKTNR", Num(7)}, {"SYSTEMNR", Num(1)}, {"TOTAL", Num(250)}}});
  AddRows("POSTER", {Posting(7, 1, 1, 3000), Posting(7, 2, 2, 300), Posting(7, 2, 6, 400), Posting(7, 1, 6, 100)});
  AddRows("KM", {Trip(7, 1, 10), Trip(7, 9, 20)});  // the project's sundry costs count every trip of it
  AddRows("REISER", {Travel(7, 2, 60)});
  GoToProject(7);
  RollUp();

  EXPECT_EQ(caption, "7, Kai");
  EXPECT_EQ(text, "summerer prosjekt ....");
  EXPECT_EQ(positions, (std::vector<int>{0, 33, 66, 99}));
  EXPECT_EQ(VisProsessForm(), nullptr);
  EXPECT_EQ(Project("SUMTIMER"), 16.0);
  EXPECT_EQ(Project("SUMARBEID"), 8000.0);
  EXPECT_EQ(Project("CALTIMER"), 20.0);
  EXPECT_EQ(Project("CALARBEID"), 9000.0);
  EXPECT_EQ(Project("SUMVARER"), 250.0);
  EXPECT_EQ(Project("CALVARER"), 100.0);
  EXPECT_EQ(Project("SUMFAKTURA"), 300.0);
  EXPECT_EQ(Project("UTFAKTURER"), 3000.0);
  EXPECT_EQ(Project("INNBETALT"), 500.0);
  EXPECT_EQ(Project("CALFAKTURA"), 70.0);
  EXPECT_EQ(Project("CALFORTJEN"), 5000.0);
  EXPECT_EQ(Project("SUMDIVERSE"), 3.5 * 30 + 60);
  EXPECT_EQ(Project("KOSTPRIS"), 250 + 8000 + 165 + 300.0);
  EXPECT_EQ(Project("FORTJENEST"), 25 + (3000 - 8715.0));
  // The part without hours does not pull the project's dates to the seeds.
  EXPECT_EQ(Project("DATOSTART"), ff::encodeDate(2021, 9, 9));
  EXPECT_EQ(Project("DATOSLUTT"), ff::encodeDate(2023, 2, 2));
  EXPECT_EQ(module->ProsjektTable.State(), ff::DataSetState::Browse);

  const std::string lastPart = "PROSJEKTNR=7 AND SYSTEMNR=3";
  EXPECT_EQ(FilterOf(module->TidTable), lastPart);
  EXPECT_EQ(FilterOf(module->VareTable), lastPart);
  EXPECT_EQ(FilterOf(module->PosteringTable), lastPart);
  EXPECT_EQ(FilterOf(module->KmTable), "-");
  EXPECT_EQ(FilterOf(module->ReiseTable), "-");
  EXPECT_EQ(FilterOf(module->SystemTable), "PROSJEKTNR=7");

  GoToPart(7, 2);  // each part was posted with its own figures
  EXPECT_EQ(Part("ARBEID"), 6.0);
  EXPECT_EQ(Part("DIVERSE"), 60.0);
  EXPECT_EQ(Part("STARTDATO"), ff::encodeDate(2021, 9, 9));
}

// The trips and travels stay filtered from part to part while a project rolls up; a roll-up
// that fails midway lets them go as its end would.
TEST_F(WholeProjectTest, ARollUpThatFailsMidwayLeavesTheTripsAndTravelsUnfiltered) {
  AddProject(7);
  AddPart(7, 1);
  AddPart(7, 2);
  AddRows("KM", {Trip(7, 1, 10)});
  AddRows("REISER", {Travel(7, 1, 60)});
  GoToProject(7);
  int posts = 0;
  module->SystemTable.BeforePost = [&](ff::TffTable&) {
    if (++posts == 2) throw ff::Error("Kan ikke lagre delen");
  };
  EXPECT_THROW(module->SummerHeleProsjektet(nullptr), ff::Error);
  module->SystemTable.BeforePost = nullptr;
  EXPECT_EQ(posts, 2);
  EXPECT_EQ(FilterOf(module->KmTable), "-");
  EXPECT_EQ(FilterOf(module->ReiseTable), "-");
}

TEST_F(WholeProjectTest, ProjectWithoutPartsGetsZerosSeedsAndItsSundryCosts) {
  AddProject(7, {{"TIMEPRIS", Num(500)}, {"SUMTIMER", Num(99)}, {"INNBETALT", Num(99)}});
  AddPart(8, 1);
  AddRows("KM", {Trip(7, 0, 10, {{"HENGER", Flag(true)}})});
  AddRows("REISER", {Travel(7, 5, 12.25)});
  GoToProject(7);
  ASSERT_TRUE(module->SystemTable.IsEmpty());
  RollUp();

  EXPECT_EQ(positions, std::vector<int>{0});
  for (const char* field : {"SUMVARER", "SUMTIMER", "SUMARBEID", "SUMFAKTURA", "UTFAKTURER", "INNBETALT", "CALVARER",
                            "CALTIMER", "CALARBEID", "CALFAKTURA", "CALFORTJEN"}) {
    EXPECT_EQ(Project(field), 0.0) << field;
  }
  EXPECT_EQ(Project("DATOSTART"), SeedStart());
  EXPECT_EQ(Project("DATOSLUTT"), SeedEnd());
  EXPECT_EQ(Project("SUMDIVERSE"), 3.5 * 10 + 1 * 10 + 12.25);
  EXPECT_EQ(Project("KOSTPRIS"), Project("SUMDIVERSE"));
}

TEST_F(WholeProjectTest, MoreThanAHundredPartsLeaveTheBarStill) {
  AddProject(7);
  std::vector<Row> parts;
  for (int i = 1; i <= 101; ++i) parts.push_back({{"PROSJEKTNR", Num(7)}, {"SYSTEMNR", Num(i)}});
  AddRows("SYSTEMER", parts);
  AddRows("TIMER", {Hours(7, 101, Day(2020, 1, 1), 2)});
  GoToProject(7);
  RollUp();
  EXPECT_EQ(positions, std::vector<int>(102, 0));
  EXPECT_EQ(Project("SUMTIMER"), 2.0);
}

TEST_F(WholeProjectTest, OnlyTheProjectsOwnPartsCountWhenThePartListLostItsFilter) {
  AddProject(7);
  AddProject(8);
  AddPart(7, 1);
  AddPart(8, 1, {{"ARBEID", Num(55)}});
  AddRows("TIMER", {Hours(7, 1, Day(2020, 1, 1), 3), Hours(8, 1, Day(2020, 1, 1), 4)});
  GoToProject(7);
  module->SystemTable.SetFiltered(false);
  RollUp();
  EXPECT_EQ(Project("SUMTIMER"), 3.0);
  GoToPart(8, 1);
  EXPECT_EQ(Part("ARBEID"), 55.0);  // another project's part is not rolled up
}

// --- Table events ---

TEST_F(RollupRulesTest, PartListFollowsTheProjectThroughScrollInsertAndPost) {
  AddProject(7);
  AddProject(8);
  AddPart(7, 1);
  AddPart(7, 2);
  AddPart(8, 1);
  GoToProject(8);
  EXPECT_EQ(FilterOf(module->SystemTable), "PROSJEKTNR=8");
  EXPECT_EQ(module->SystemTable.RecordCount(), 1);
  GoToProject(7);
  EXPECT_EQ(module->SystemTable.RecordCount(), 2);

  module->ProsjektTable.Append();
  EXPECT_EQ(FilterOf(module->SystemTable), "PROSJEKTNR=0");
  EXPECT_TRUE(module->SystemTable.IsEmpty());
  module->ProsjektTable.FieldByName("PROSJEKTNR").SetAsFloat(1024);
  module->ProsjektTable.Post();
  EXPECT_EQ(FilterOf(module->SystemTable), "PROSJEKTNR=1024");
}

TEST_F(RollupRulesTest, ProjectWithoutNumberKeepsThePartListAndIsReportedOnlyWhileBrowsing) {
  SuiteWindows modals;
  AddRows("PROSJEKT", {{{"PROSNAVN", ff::Value{"uten nummer"}}}});
  AddProject(7);
  GoToProject(7);
  module->ProsjektTable.First();  // empty numbers come first
  ASSERT_TRUE(module->ProsjektTable.FieldByName("PROSJEKTNR").IsNull());
  EXPECT_EQ(modals.errors, std::vector<std::string>{"Kan ikke lage filter på dette prosjekt|PROSJEKT"});
  EXPECT_EQ(FilterOf(module->SystemTable), "PROSJEKTNR=7");

  modals.errors.clear();
  module->ProsjektTable.Append();  // the new row's own scroll keeps the empty part list, silently
  EXPECT_TRUE(modals.errors.empty());
  EXPECT_EQ(FilterOf(module->SystemTable), "PROSJEKTNR=0");
  module->ProsjektTable.FieldByName("PROSNAVN").SetAsString("ny");
  module->ProsjektTable.Post();  // browsing again when the post's rule runs
  EXPECT_EQ(modals.errors, std::vector<std::string>{"Kan ikke lage filter på dette prosjekt|PROSJEKT"});
}

TEST_F(RollupRulesTest, DeleteGuardsOfProjectsTravelsAndEquipmentAskFirst) {
  SuiteWindows modals;
  AddProject(7);
  AddRows("REISER", {Travel(7, 1, 10)});
  AddRows("Utstyr", {{{"UTSTYRNR", Num(3)}}});
  for (ff::TffTable* table : {&module->ProsjektTable, &module->ReiseTable, &module->Utstyrtable}) {
    table->First();
    EXPECT_THROW(table->Delete(), ff::EAbort) << table->Name();
    EXPECT_EQ(table->RecordCount(), 1) << table->Name();
  }
  EXPECT_EQ(modals.questions, std::vector<std::string>(3, "slette denne posten ?"));

  modals.confirmDeletes = true;
  module->Utstyrtable.Delete();
  EXPECT_TRUE(module->Utstyrtable.IsEmpty());
  WriteSetting("Bekreft_Slett", "Nei");
  module->ProsjektTable.Delete();
  EXPECT_TRUE(module->ProsjektTable.IsEmpty());
  EXPECT_EQ(modals.questions.size(), 4u);
}

TEST_F(RollupRulesTest, EquipmentKeepsTheJobListOnItsNumberAndNewEquipmentGetsDefaults) {
  SuiteWindows modals;
  modals.confirmDeletes = true;
  AddRows("Utstyr", {{{"UTSTYRNR", Num(3)}}, {{"UTSTYRNR", Num(5)}}});
  AddRows("STDJOBB", {{{"UTSTYRNR", Num(3)}}, {{"UTSTYRNR", Num(5)}}, {{"UTSTYRNR", Num(5)}}});
  module->Utstyrtable.First();
  EXPECT_EQ(FilterOf(module->JobbTable), "UTSTYRNR=3");
  module->Utstyrtable.Delete();
  EXPECT_EQ(FilterOf(module->JobbTable), "UTSTYRNR=5");
  EXPECT_EQ(module->JobbTable.RecordCount(), 2);

  module->Utstyrtable.Append();
  ff::TffTable& added = module->Utstyrtable;
  std::string flags;
  for (const char* f : {"ARB_ELTROC", "ARB_AUTOM", "ARB_HYDRAU", "ARB_MEK", "ARB_ROR", "ARB_ELEK", "UTENDORS",
                        "SERVICEAVT"}) {
    flags += added.FieldByName(f).IsNull() ? "?" : added.FieldByName(f).AsBoolean() ? "1" : "0";
  }
  EXPECT_EQ(flags, "00000000");
  const double today = ff::encodeDate(2024, 5, 15);
  EXPECT_EQ(added.FieldByName("DATOINST").AsFloat(), today);
  EXPECT_EQ(added.FieldByName("DATOKJOPT").AsFloat(), today);
  EXPECT_EQ(added.FieldByName("DATORATE").AsFloat(), today);
  EXPECT_FALSE(added.FieldByName("UTSTYRNR").IsNull());
  EXPECT_EQ(added.FieldByName("UTSTYRNR").AsFloat(), 0.0);
  added.Cancel();
}

// --- List views ---

TEST_F(RollupRulesTest, ItemUseListSwitchesViewsWithItsControlsQuiet) {
  AddProject(7);
  AddPart(7, 4);
  AddRows("Utstyr", {{{"UTSTYRNR", Num(3)}, {"LINKDEL", Num(2)}}});
  module->Utstyrtable.First();
  GoToPart(7, 4);
  ControlsSpy spy;
  module->Source("VareSource")->AddLink(&spy);
  const std::vector<const char*> all = {"UTSTYRNR", "UTSTYRDEL", "JOBB",    "PROSJEKTNR",
                                        "SYSTEMNR", "TIMETYPE2", "TILLEGG", "AVLEST"};

  module->CurrentProjectNo = 9;
  module->CurrentSystemNo = 9;
  module->SetVareListeUtstyr();
  EXPECT_EQ(Columns(module->VareTable, all),
            "UTSTYRNR+ UTSTYRDEL+ JOBB+ PROSJEKTNR- SYSTEMNR- TIMETYPE2- TILLEGG- AVLEST- ");
  EXPECT_EQ(spy.changed, 1);  // told once, after all eight columns changed
  EXPECT_EQ(std::vector<double>({module->CurrentEquipmentNo, module->CurrentEquipmentPart, module->CurrentProjectNo,
                                 module->CurrentSystemNo}),
            std::vector<double>({3, 2, 0, 0}));

  module->SetVareListeProsjekt();
  EXPECT_EQ(Columns(module->VareTable, all),
            "UTSTYRNR- UTSTYRDEL- JOBB- PROSJEKTNR+ SYSTEMNR+ TIMETYPE2+ TILLEGG+ AVLEST+ ");
  EXPECT_EQ(std::vector<double>({module->CurrentEquipmentNo, module->CurrentEquipmentPart, module->CurrentProjectNo,
                                 module->CurrentSystemNo}),
            std::vector<double>({0, 0, 7, 4}));

  module->SetVareListeUtstyr();
  module->SetVareListeNormal();
  EXPECT_EQ(Columns(module->VareTable, all),
            "UTSTYRNR+ UTSTYRDEL+ JOBB+ PROSJEKTNR+ SYSTEMNR+ TIMETYPE2+ TILLEGG+ AVLEST+ ");
  EXPECT_EQ(spy.changed, 4);
  EXPECT_FALSE(module->VareTable.ControlsDisabled());
  EXPECT_FALSE(module->VareTable.Filtered());
  module->Source("VareSource")->RemoveLink(&spy);
}

TEST_F(RollupRulesTest, PostingAndTimeListsSwitchViewsAndRememberTheEquipment) {
  AddRows("Utstyr", {{{"UTSTYRNR", Num(3)}, {"LINKDEL", Num(2)}}});
  module->Utstyrtable.First();
  module->CurrentDate = 1;
  module->SetPosteringListeUtstyr();
  EXPECT_EQ(Columns(module->PosteringTable, {"UTSTYRNR", "UTSTYRDEL", "JOBB", "PROSJEKTNR", "SYSTEMNR"}),
            "UTSTYRNR+ UTSTYRDEL+ JOBB+ PROSJEKTNR- SYSTEMNR- ");
  EXPECT_EQ(module->CurrentDate, ff::encodeDate(2024, 5, 15));
  EXPECT_EQ(module->CurrentEquipmentNo, 3.0);
  module->SetPosteringListeProsjekt();
  EXPECT_EQ(Columns(module->PosteringTable, {"UTSTYRNR", "UTSTYRDEL", "JOBB", "PROSJEKTNR", "SYSTEMNR"}),
            "UTSTYRNR- UTSTYRDEL- JOBB- PROSJEKTNR+ SYSTEMNR+ ");
  EXPECT_EQ(module->CurrentEquipmentNo, 3.0);  // the project view remembers nothing

  const std::vector<const char*> timeColumns = {"UTSTYRNR",   "UTSTYRDEL", "JOBB",       "UTFORT",   "PRIORITERT",
                                                "RUTINE",     "PROSJEKTNR", "SYSTEMNR", "TIMETYPE2"};
  module->SetTimeListeUtstyr();
  EXPECT_EQ(Columns(module->TidTable, timeColumns),
            "UTSTYRNR+ UTSTYRDEL+ JOBB+ UTFORT+ PRIORITERT+ RUTINE+ PROSJEKTNR- SYSTEMNR- TIMETYPE2- ");
  module->SetTimeListeProsjekt();
  EXPECT_EQ(Columns(module->TidTable, timeColumns),
            "UTSTYRNR- UTSTYRDEL- JOBB- UTFORT- PRIORITERT- RUTINE- PROSJEKTNR+ SYSTEMNR+ TIMETYPE2+ ");
  EXPECT_EQ(module->CurrentEquipmentNo, 0.0);
  EXPECT_EQ(module->CurrentEquipmentPart, 0.0);

  // With the time table closed only the remembered values change.
  module->TidTable.Close();
  module->CurrentDate = 1;
  module->SetTimeListeUtstyr();
  EXPECT_EQ(module->CurrentEquipmentNo, 3.0);
  EXPECT_EQ(module->CurrentEquipmentPart, 2.0);
  EXPECT_EQ(module->CurrentDate, ff::encodeDate(2024, 5, 15));
  EXPECT_EQ(Columns(module->TidTable, timeColumns),
            "UTSTYRNR- UTSTYRDEL- JOBB- UTFORT- PRIORITERT- RUTINE- PROSJEKTNR+ SYSTEMNR+ TIMETYPE2+ ");
}

}  // namespace
