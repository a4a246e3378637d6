// Time, mileage and travel registration: the hour split, the remembered registration values
// and the trip, staff, travel and expense rules, run by the data module on real tables.
#include <QLabel>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "store/Errors.h"
#include "settings/windows/Slett.h"
#include "rules/RulesFixture.h"

namespace {

double Day(int y, int m, int d) { return ff::encodeDate(y, m, d); }

// Answers delete confirmations with `confirm` and records their questions; any other
// window is a failure.
struct DeleteAnswers {
  std::vector<std::string> questions;
  bool confirm = false;

  DeleteAnswers() {
    SetModalHandler([this](QDialog& dialog) {
      if (auto* ask = dynamic_cast<TSlettedialog*>(&dialog)) {
        questions.push_back(ask->Label1->text().toStdString());
        return int(confirm ? QDialog::Accepted : QDialog::Rejected);
      }
      ADD_FAILURE() << "unexpected window " << dialog.objectName().toStdString();
      return int(QDialog::Rejected);
    });
  }
  ~DeleteAnswers() { SetModalHandler(nullptr); }
};

class TimeTravelRulesTest : public RulesFixture {
 protected:
  void SetUp() override {
    SuiteFixture::SetUp();
    SetToday(2025, 3, 10);
  }

  // Signs on again with breaks at 11:30 (30 minutes) and 19:00 (15 minutes) and, unless
  // `workdayEnd` is empty, that end of the working day.
  void SignOnWithWorkingTime(const std::string& workdayEnd) {
    WriteSetting("Arbeid_PauseTid1", "11:30");
    WriteSetting("Arbeid_PauseLengd1", "30");
    WriteSetting("Arbeid_PauseTid2", "19:00");
    WriteSetting("Arbeid_PauseLengd2", "15");
    if (!workdayEnd.empty()) WriteSetting("Arbeid_ArbeidsTidSlutt", workdayEnd);
    module->DataFilerCreate({"-autologon"});
    ASSERT_TRUE(module->TidTable.Active());
  }

  // Posts a new time row with these clock times and, when given, a typed TIMER.
  void PostTime(double date, const std::string& from, const std::string& to,
                std::optional<double> typedNormal = std::nullopt) {
    ff::TffTable& t = module->TidTable;
    t.Append();
    t.FieldByName("DATO").SetAsDateTime(date);
    t.FieldByName("FRA").SetAsString(from);
    t.FieldByName("TIL").SetAsString(to);
    if (typedNormal) t.FieldByName("TIMER").SetAsFloat(*typedNormal);
    t.Post();
  }

  // The hour buckets of the current time row as "TIMER/OVERTID_50/OVERTID_10".
  std::string Hours() const {
    const ff::TffTable& t = module->TidTable;
    return t.FieldByName("TIMER").AsString() + "/" + t.FieldByName("OVERTID_50").AsString() + "/" +
           t.FieldByName("OVERTID_10").AsString();
  }

  // The staff group always opens read-only; the staff window's own writable open.
  void OpenStaffForWriting() {
    ff::TffTable& p = module->PersonTable;
    p.Close();
    p.SetReadOnly(false);
    p.Open();
  }

  std::string Text(ff::TffTable& table, const char* field) const { return table.FieldByName(field).AsString(); }
  double Number(ff::TffTable& table, const char* field) const { return table.FieldByName(field).AsFloat(); }
};

struct SplitCase {
  int day;  // of March 2025: 12 a Wednesday, 15 a Saturday, 16 a Sunday
  const char* from;
  const char* to;
  const char* hours;
};

}  // namespace

// --- The hour split ---

TEST_F(TimeTravelRulesTest, SplitsWorkedHoursByWeekdayBreaksAndWorkdayEnd) {
  SignOnWithWorkingTime("16:00");
  const SplitCase cases[] = {
      {12, "07:00", "17:00", "7,5/2/0"},   {12, "07:00", "22:00", "7,5/4,75/2"}, {12, "21:30", "23:00", "0/0/1,5"},
      {15, "08:00", "14:00", "0/3,5/2"},   {15, "08:00", "11:00", "0/3/0"},      {15, "17:00", "20:00", "0/2,75/0"},
      {16, "10:00", "14:00", "0/0/3,5"},
      // A day break must lie strictly inside the period, an evening break may touch its ends.
      {12, "11:30", "15:00", "3,5/0/0"},   {12, "19:00", "20:00", "0/0,75/0"},
      // Typed clock times are normalised first.
      {12, "7", "1245", "5,25/0/0"},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.day) + ". " + c.from + "-" + c.to);
    PostTime(Day(2025, 3, c.day), c.from, c.to);
    EXPECT_EQ(Hours(), c.hours);
  }
  EXPECT_EQ(Text(module->TidTable, "FRA") + "-" + Text(module->TidTable, "TIL"), "07:00-12:45");
}

TEST_F(TimeTravelRulesTest, KeepsTheSplitInFullDoublePrecision) {
  SignOnWithWorkingTime("16:00");
  PostTime(Day(2025, 3, 12), "07:10", "15:20");
  module->TidTable.Refresh();
  // 8 1/6 hours less the capped 8: the operands' rounding stays, nothing is rounded off.
  const double over = (15 + 20 / 60.0) - (7 + 10 / 60.0) - 8;
  EXPECT_EQ(Number(module->TidTable, "OVERTID_50"), over);
  EXPECT_NE(over, 1 / 6.0);
  EXPECT_EQ(Number(module->TidTable, "TIMER"), 7.5);
}

TEST_F(TimeTravelRulesTest, TypedHoursStayWhileClockTimesAreNormalisedAndRemembered) {
  SignOnWithWorkingTime("16:00");
  PostTime(Day(2025, 3, 12), "7", "2330", 6.0);
  EXPECT_EQ(Hours(), "6//");
  EXPECT_EQ(Text(module->TidTable, "FRA") + "-" + Text(module->TidTable, "TIL"), "07:00-23:30");
  module->TidTable.Append();
  EXPECT_EQ(Text(module->TidTable, "FRA") + "-" + Text(module->TidTable, "TIL"), "07:00-23:30");
  module->TidTable.Cancel();
}

TEST_F(TimeTravelRulesTest, WithoutAWorkdayEndEveryWeekdayHourIsOvertime) {
  SignOnWithWorkingTime("");
  ASSERT_EQ(module->WorkdayEnd, "");
  PostTime(Day(2025, 3, 12), "07:00", "10:00");
  EXPECT_EQ(Hours(), "0/3/0");
  // Ten hours: five at 50 % less the 11:30 break, the other five at 100 %.
  PostTime(Day(2025, 3, 12), "07:00", "17:00");
  EXPECT_EQ(Hours(), "0/4,5/5");
}

TEST_F(TimeTravelRulesTest, APeriodPastMidnightCountsItsHoursAndOneWithoutEndNone) {
  SignOnWithWorkingTime("16:00");
  PostTime(Day(2025, 3, 12), "22:00", "02:00");
  EXPECT_EQ(Hours(), "0/0/4");
  PostTime(Day(2025, 3, 15), "22:00", "01:00");
  EXPECT_EQ(Hours(), "0/3/0");
  PostTime(Day(2025, 3, 12), "08:00", "");
  EXPECT_EQ(Hours(), "0/0/0");
}

// --- Remembered values ---

TEST_F(TimeTravelRulesTest, FirstNewTimeRowAfterStartHasTheInitialValues) {
  SignOnWithWorkingTime("16:00");
  ff::TffTable& t = module->TidTable;
  t.Append();
  EXPECT_EQ(Number(t, "DATO"), Day(2025, 3, 10));
  EXPECT_EQ(Text(t, "FRA") + "-" + Text(t, "TIL"), "08:00-16:00");
  EXPECT_TRUE(t.FieldByName("UTFORT").AsBoolean());
  EXPECT_TRUE(t.FieldByName("EKSTERN").AsBoolean());
  EXPECT_EQ(Text(t, "JOBB") + " " + Text(t, "PROSJEKTNR") + " " + Text(t, "INITIALER") + "|" + Text(t, "AVLEST") +
                " " + Text(t, "RUTINE") + " " + Text(t, "PRIORITERT") + " " + Text(t, "KunKalender"),
            "0 0 |False False False False");
  EXPECT_TRUE(t.FieldByName("TIMER").IsNull());
  t.Cancel();
}

TEST_F(TimeTravelRulesTest, APostedTimeRowIsCarriedIntoTheNextNewRow) {
  SignOnWithWorkingTime("16:00");
  ff::TffTable& t = module->TidTable;
  t.Append();
  const std::vector<std::pair<const char*, ff::Value>> row{
      {"DATO", ff::Value{Day(2025, 3, 12)}}, {"FRA", ff::Value{"07:00"}},    {"TIL", ff::Value{"15:30"}},
      {"INITIALER", ff::Value{"KN"}},        {"PROSJEKTNR", ff::Value{12.0}}, {"SYSTEMNR", ff::Value{3.0}},
      {"UTSTYRNR", ff::Value{40.0}},         {"UTSTYRDEL", ff::Value{2.0}},   {"JOBB", ff::Value{5.0}},
      {"TYPE", ff::Value{std::int64_t{4}}},  {"TIMETYPE2", ff::Value{std::int64_t{7}}}};
  for (const auto& [field, value] : row) t.FieldByName(field).SetValue(value);
  for (const char* flag : {"AVLEST", "RUTINE", "PRIORITERT", "KunKalender"}) t.FieldByName(flag).SetAsBoolean(true);
  for (const char* flag : {"UTFORT", "EKSTERN"}) t.FieldByName(flag).SetAsBoolean(false);
  t.Post();
  EXPECT_EQ(Text(t, "KODE"), "!");

  t.Append();
  std::string carried;
  for (const char* f : {"DATO", "FRA", "TIL", "INITIALER", "PROSJEKTNR", "SYSTEMNR", "UTSTYRNR", "UTSTYRDEL", "JOBB",
                        "TYPE", "TIMETYPE2", "AVLEST", "RUTINE", "PRIORITERT", "KunKalender", "UTFORT", "EKSTERN"}) {
    carried += Text(t, f) + " ";
  }
  EXPECT_EQ(carried, "12.03.2025 07:00 15:30 KN 12 3 40 2 0 4 7 True True True True False False ");
  t.Cancel();
  EXPECT_EQ(module->CurrentInitials, "KN");
}

TEST_F(TimeTravelRulesTest, MarkingARowDoneRemembersItAndSumsItsHours) {
  SignOnWithWorkingTime("16:00");
  ff::TffTable& t = module->TidTable;
  // An empty list has no row to mark; editing it must not insert one.
  EXPECT_FALSE(module->SetTidUtfort());
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_EQ(t.State(), ff::DataSetState::Browse);

  t.Append();
  t.FieldByName("DATO").SetAsDateTime(Day(2025, 3, 12));
  t.FieldByName("FRA").SetAsString("07:00");
  t.FieldByName("TIL").SetAsString("22:00");
  t.FieldByName("UTFORT").SetAsBoolean(false);
  t.Post();
  ASSERT_FALSE(module->LastDoneFlag);
  EXPECT_EQ(module->TotalTimeSum(), 7.5 + 4.75 + 2);

  EXPECT_TRUE(module->SetTidUtfort());
  EXPECT_EQ(t.State(), ff::DataSetState::Browse);
  EXPECT_TRUE(t.FieldByName("UTFORT").AsBoolean());
  EXPECT_TRUE(module->LastDoneFlag);
}

// --- Trips and staff ---

TEST_F(TimeTravelRulesTest, TripsTotalTheirKilometresAndPassOnProjectAndDepartment) {
  ff::TffTable& km = module->KmTable;
  module->CurrentProjectNo = 8;
  module->CurrentDepartment = 2;
  km.Append();
  EXPECT_EQ(Number(km, "DATO"), Day(2025, 3, 10));
  std::string defaults;
  for (const char* f : {"PROSJEKTNR", "TIMETYPE2", "NR", "TYPEBIL", "PASSASJERE", "UTSTYRFRAK", "HENGER", "SKOGSVEI",
                        "BELASTKUND", "AVLEST"}) {
    defaults += Text(km, f) + " ";
  }
  EXPECT_EQ(defaults, "8 2 0 0 0 False False False False False ");
  EXPECT_TRUE(km.FieldByName("SYSTEMNR").IsNull());

  km.FieldByName("KMSTART").SetAsFloat(1200);
  km.FieldByName("KMSLUTT").SetAsFloat(1350);
  km.FieldByName("PROSJEKTNR").SetAsFloat(12);
  km.FieldByName("SYSTEMNR").SetAsFloat(4);
  km.FieldByName("TIMETYPE2").SetAsInteger(3);
  km.Post();
  EXPECT_EQ(Number(km, "KMTOTAL"), 150);

  km.Append();
  EXPECT_EQ(Text(km, "PROSJEKTNR") + " " + Text(km, "TIMETYPE2"), "12 3");
  km.Cancel();
  module->TidTable.Append();
  EXPECT_EQ(Text(module->TidTable, "PROSJEKTNR") + " " + Text(module->TidTable, "SYSTEMNR") + " " +
                Text(module->TidTable, "TIMETYPE2"),
            "12 4 3");
  module->TidTable.Cancel();
}

TEST_F(TimeTravelRulesTest, NewStaffStartWithoutFixedTermsAndFullGrade) {
  OpenStaffForWriting();
  ff::TffTable& p = module->PersonTable;
  p.Append();
  EXPECT_EQ(Text(p, "FASTLONNET") + " " + Text(p, "FASTANSATT") + " " + Text(p, "STYREMEDLE") + " " +
                Text(p, "GRADERING"),
            "False False False 1");
  p.Cancel();
}

// --- Travels and expenses ---

TEST_F(TimeTravelRulesTest, TravelsAreNumberedOnFromTheLastOne) {
  ff::TffTable& r = module->ReiseTable;
  for (int expected : {1, 2, 3}) {
    r.Append();
    EXPECT_EQ(Number(r, "REGNR"), expected);
    EXPECT_FALSE(r.FieldByName("UTBETALT").IsNull() || r.FieldByName("UTBETALT").AsBoolean());
    r.Post();
  }
  EXPECT_EQ(module->NextTravelRegNo, 3);
}

TEST_F(TimeTravelRulesTest, ATravelSumsItsExpensesAndOneWithoutKeepsWhatWasTyped) {
  ff::TffTable& r = module->ReiseTable;
  ff::TffTable& u = module->UtleggTable;
  r.Append();
  r.FieldByName("SUMUTGIFT").SetAsFloat(80);
  r.FieldByName("TILGODE").SetAsFloat(20);
  r.Post();
  EXPECT_EQ(Text(r, "SUMUTGIFT") + " " + Text(r, "TILGODE"), "80 20");

  r.Append();
  r.FieldByName("INITIALER").SetAsString("KN");
  r.FieldByName("PROSJEKTNR").SetAsFloat(12);
  r.FieldByName("SYSTEMNR").SetAsFloat(3);
  r.Post();
  for (double sum : {300.0, 200.0}) {
    u.Append();
    module->UtleggTableNewRecord();
    u.FieldByName("SUM").SetAsFloat(sum);
    u.Post();
  }
  u.First();
  EXPECT_EQ(Text(u, "REGNR") + " " + Text(u, "INITIALER") + " " + Text(u, "PROSJEKTNR") + " " + Text(u, "SYSTEMNR") +
                " " + Text(u, "AVLEST") + " " + Text(u, "UTBETALT"),
            "2 KN 12 3 False False");

  r.Edit();
  r.FieldByName("PREBETALT").SetAsFloat(100);
  r.FieldByName("FORSKUDD").SetAsFloat(50);
  r.Post();
  EXPECT_EQ(Text(r, "SUMUTGIFT") + " " + Text(r, "TILGODE"), "500 350");
  r.First();
  EXPECT_EQ(Text(r, "SUMUTGIFT") + " " + Text(r, "TILGODE"), "80 20");
}

// --- Delete guards ---

TEST_F(TimeTravelRulesTest, DeletesOfHoursTripsAndStaffWaitForConfirmation) {
  PostTime(Day(2025, 3, 12), "07:00", "08:00");
  OpenStaffForWriting();
  for (ff::TffTable* t : {&module->KmTable, &module->PersonTable}) {
    t->Append();
    t->Post();
  }
  DeleteAnswers answers;
  for (ff::TffTable* t : {&module->TidTable, &module->KmTable, &module->PersonTable}) {
    SCOPED_TRACE(t->Name());
    answers.confirm = false;
    EXPECT_THROW(t->Delete(), ff::EAbort);
    EXPECT_EQ(t->RecordCount(), 1);
    answers.confirm = true;
    t->Delete();
    EXPECT_EQ(t->RecordCount(), 0);
  }
  EXPECT_EQ(answers.questions, std::vector<std::string>(6, "slette denne posten ?"));
}
