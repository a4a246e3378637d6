// The job register: scheduling a job's next time row when one is marked done, the job list
// filter, the job, part and cable rules, run by the data module on real tables. Equipment,
// jobs, projects and the time rows to be marked are written through a plain handle, so that
// no other rule touches them on the way in.
#include <QLabel>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "store/Errors.h"
#include "settings/windows/Slett.h"
#include "rules/RulesFixture.h"

namespace {

using Row = SuiteRow;

ff::Value Num(double v) { return ff::Value{v}; }
ff::Value Text(const char* s) { return ff::Value{std::string(s)}; }
ff::Value Flag(bool v) { return ff::Value{std::int64_t{v ? 1 : 0}}; }
double Day(int y, int m, int d) { return ff::encodeDate(y, m, d); }

class JobRulesTest : public RulesFixture {
 protected:
  void SetUp() override {
    SuiteFixture::SetUp();
    SetToday(2025, 3, 10);
    WriteSetting("Arbeid_ArbeidsTidSlutt", "16:00");
    module->DataFilerCreate({"-autologon"});
  }

  // Equipment 40 has jobs 5 (every `interval` days) and 6; equipment 41 has its own job 5.
  void AddJobs(double interval, double plannedHours = 0) {
    AddRows("STDJOBB", {{{"UTSTYRNR", Num(40)},
                     {"JOBB", Num(5)},
                     {"REG_NR", Num(interval)},
                     {"TEKST", Text("Smør lager")},
                     {"UTSTYRDEL", Num(2)},
                     {"FRA", Text("0700")},
                     {"TIL", Text("09:30")},
                     {"TIMER", Num(plannedHours)},
                     {"INITIALER", Text("KN")},
                     {"PRIORITERT", Flag(true)},
                     {"NOTAT", Text("Bruk fett nr. 2")}},
                    {{"UTSTYRNR", Num(40)}, {"JOBB", Num(6)}, {"REG_NR", Num(30)}},
                    {{"UTSTYRNR", Num(41)}, {"JOBB", Num(5)}, {"REG_NR", Num(1)}}});
    module->JobbTable.Refresh();
  }

  // A time row of equipment 40 carrying job `job`, not done unless `done`; made current.
  void AddJobTime(double date, double job, bool done = false) {
    AddRows("TIMER", {{{"DATO", Num(date)},
                   {"UTSTYRNR", Num(40)},
                   {"JOBB", Num(job)},
                   {"FRA", Text("08:00")},
                   {"TIL", Text("10:00")},
                   {"TEKST", Text("Smør lager")},
                   {"UTFORT", Flag(done)}}});
    module->TidTable.Refresh();
    module->TidTable.First();
  }

  // Every time row in date order as "dd.mm.yyyy job done|".
  std::string TimeRows() const {
    ff::TffTable& t = module->TidTable;
    std::string out;
    for (t.First(); !t.Eof(); t.Next()) {
      out += t.FieldByName("DATO").AsString() + " " + t.FieldByName("JOBB").AsString() + " " +
             (t.FieldByName("UTFORT").AsBoolean() ? "done" : "open") + "|";
    }
    return out;
  }

  // Moves the time list to its row dated `date`.
  void GoToTime(double date) {
    ff::TffTable& t = module->TidTable;
    for (t.First(); !t.Eof() && t.FieldByName("DATO").AsFloat() != date;) t.Next();
    ASSERT_FALSE(t.Eof()) << "no time row dated " << date;
  }

  std::string Field(const ff::TffTable& table, const char* name) const { return table.FieldByName(name).AsString(); }
};

struct ScheduleCase {
  int doneDay;  // of March 2025: 12 a Wednesday, 14 a Friday
  double interval;
  const char* rows;  // the time rows afterwards
};

class JobScheduleTest : public JobRulesTest, public ::testing::WithParamInterface<ScheduleCase> {};

}  // namespace

// --- Scheduling the next job ---

TEST_P(JobScheduleTest, TheNextRowFallsOneIntervalOnAndNeverOnAWeekend) {
  const ScheduleCase c = GetParam();
  AddJobs(c.interval);
  AddJobTime(Day(2025, 3, c.doneDay), 5);
  module->MerkUtfortogNyExecute(nullptr);
  EXPECT_EQ(TimeRows(), c.rows);
}

INSTANTIATE_TEST_SUITE_P(JobRules, JobScheduleTest,
                         ::testing::Values(
                             // Wednesday to Wednesday
                             ScheduleCase{12, 7, "12.03.2025 5 done|19.03.2025 5 open|"},
                             // Saturday moved to Friday
                             ScheduleCase{12, 3, "12.03.2025 5 done|14.03.2025 5 open|"},
                             // Sunday moved to Monday
                             ScheduleCase{12, 4, "12.03.2025 5 done|17.03.2025 5 open|"},
                             // the same Friday
                             ScheduleCase{14, 0, "14.03.2025 5 done|14.03.2025 5 open|"}));

TEST_F(JobRulesTest, TheScheduledRowCarriesTheJobAndSplitsItsClockTimes) {
  AddJobs(7);
  AddJobTime(Day(2025, 3, 12), 5);
  module->SetNesteJObb(nullptr);
  GoToTime(Day(2025, 3, 19));
  const ff::TffTable& t = module->TidTable;
  std::string row;
  for (const char* f : {"JOBB", "UTSTYRNR", "UTSTYRDEL", "TEKST", "FRA", "TIL", "INITIALER", "NOTAT", "PRIORITERT",
                        "RUTINE", "UTFORT", "TIMER", "OVERTID_50", "OVERTID_10"}) {
    row += Field(t, f) + "|";
  }
  EXPECT_EQ(row, "5|40|2|Smør lager|07:00|09:30|KN|Bruk fett nr. 2|True|True|False|2,5|0|0|");
  EXPECT_EQ(module->JobbTable.Filter(), "UTSTYRNR=40");
}

TEST_F(JobRulesTest, PlannedHoursOfTheJobStayWhateverItsClockTimes) {
  AddJobs(7, 2);
  AddJobTime(Day(2025, 3, 12), 5);
  module->SetNesteJObb(nullptr);
  GoToTime(Day(2025, 3, 19));
  EXPECT_EQ(Field(module->TidTable, "TIMER") + "/" + Field(module->TidTable, "OVERTID_50") + "/" +
                Field(module->TidTable, "OVERTID_10"),
            "2//");
}

TEST_F(JobRulesTest, ADoneRowOrOneWithoutAListedJobSchedulesNothing) {
  AddJobs(7);
  module->SettJobbNummer("41");
  AddJobTime(Day(2025, 3, 12), 5, true);
  module->SetNesteJObb(nullptr);
  EXPECT_EQ(TimeRows(), "12.03.2025 5 done|");
  EXPECT_EQ(module->JobbTable.Filter(), "UTSTYRNR=41");

  // Job 9 is not in equipment 40's list: the row is still marked done.
  AddJobTime(Day(2025, 3, 13), 9);
  GoToTime(Day(2025, 3, 13));
  module->SetNesteJObb(nullptr);
  EXPECT_EQ(TimeRows(), "12.03.2025 5 done|13.03.2025 9 done|");
}

TEST_F(JobRulesTest, AnEmptyJobListSchedulesNothingForARowWithoutJob) {
  AddJobs(7);
  AddRows("TIMER", {{{"DATO", Num(Day(2025, 3, 12))}, {"UTSTYRNR", Num(77)}, {"JOBB", Num(0)}, {"UTFORT", Flag(false)}}});
  module->TidTable.Refresh();
  module->TidTable.First();
  module->SetNesteJObb(nullptr);
  EXPECT_EQ(module->JobbTable.RecordCount(), 0);
  EXPECT_EQ(TimeRows(), "12.03.2025 0 done|");
}

TEST_F(JobRulesTest, AnEmptyTimeListOrARowThatCannotBeMarkedSchedulesNothing) {
  AddJobs(7);
  module->MerkUtfortogNyExecute(nullptr);
  module->MerkUtfortExecute(nullptr);
  EXPECT_EQ(module->TidTable.RecordCount(), 0);

  AddJobTime(Day(2025, 3, 12), 5);
  ff::TffTable& t = module->TidTable;
  t.Close();
  t.SetReadOnly(true);
  t.Open();
  SuiteWindows answers;
  module->SetNesteJObb(nullptr);
  ASSERT_EQ(answers.errors.size(), 1u);
  EXPECT_EQ(answers.errors[0].rfind("Kan ikke redigere denne posten|", 0), 0u);
  EXPECT_EQ(TimeRows(), "12.03.2025 5 open|");
}

// --- The job list ---

TEST_F(JobRulesTest, TheJobListShowsOneEquipmentAndAnEmptyNumberCountsAsZero) {
  AddJobs(7);
  EXPECT_TRUE(module->SettJobbNummer("40"));
  EXPECT_EQ(module->JobbTable.RecordCount(), 2);
  EXPECT_TRUE(module->SettJobbNummer(""));
  EXPECT_EQ(module->JobbTable.Filter(), "UTSTYRNR=0");
  EXPECT_EQ(module->JobbTable.RecordCount(), 0);
}

// --- New jobs and parts, deletes ---

TEST_F(JobRulesTest, NewJobsAndPartsBelongToTheCurrentEquipmentAndProject) {
  AddRows("Utstyr", {{{"UTSTYRNR", Num(40)}}});
  AddRows("PROSJEKT", {{{"PROSJEKTNR", Num(12)}}});
  module->Utstyrtable.Refresh();
  module->Utstyrtable.First();
  module->ProsjektTable.Refresh();
  module->ProsjektTable.First();
  module->JobbTable.Append();
  EXPECT_EQ(Field(module->JobbTable, "UTSTYRNR"), "40");
  module->JobbTable.Cancel();
  module->SystemTable.Append();
  EXPECT_EQ(Field(module->SystemTable, "PROSJEKTNR"), "12");
  module->SystemTable.Cancel();
}

TEST_F(JobRulesTest, DeletesOfCablesJobsAndPartsWaitForConfirmation) {
  AddJobs(7);
  AddRows("KABEL", {{{"SKAPNR", Text("A1")}}});
  AddRows("SYSTEMER", {{{"PROSJEKTNR", Num(12)}, {"SYSTEMNR", Num(1)}}});
  SuiteWindows answers;
  for (ff::TffTable* t : {&module->KabelTable, &module->JobbTable, &module->SystemTable}) {
    SCOPED_TRACE(t->Name());
    t->SetFiltered(false);
    t->Refresh();
    t->First();
    const std::int64_t rows = t->RecordCount();
    answers.confirmDeletes = false;
    EXPECT_THROW(t->Delete(), ff::EAbort);
    EXPECT_EQ(t->RecordCount(), rows);
    answers.confirmDeletes = true;
    t->Delete();
    EXPECT_EQ(t->RecordCount(), rows - 1);
  }
  EXPECT_EQ(answers.questions, std::vector<std::string>(6, "slette denne posten ?"));
  EXPECT_TRUE(answers.errors.empty());
}

// --- Cable sort keys ---

TEST_F(JobRulesTest, CableRowsGetTheirSortKey) {
  struct Cable {
    const char* cabinet;
    const char* component;
    ff::Value sortNo;
    const char* key;
    const char* sortNoAfter;
  };
  const Cable cables[] = {
      {"A1", "K2", Num(7), "A1.K2.007", "7"},
      {"A1", "K2", Num(1234), "A1.K2.1234", "1234"},
      {"A1", "K2", ff::Value{}, "A1.K2.000", "0"},
      {"A1", "#", Num(12), "A1   ", "-1"},
      {"SKAP0001", "KOMP0001", Num(5), "SKAP0001.KOMP0001.00", "5"},
  };
  ff::TffTable& k = module->KabelTable;
  for (const Cable& c : cables) {
    SCOPED_TRACE(std::string(c.cabinet) + "/" + c.component);
    k.Append();
    k.FieldByName("SKAPNR").SetAsString(c.cabinet);
    k.FieldByName("KOMPNR").SetAsString(c.component);
    k.FieldByName("SORTERNR").SetValue(c.sortNo);
    k.Post();
    EXPECT_EQ(Field(k, "SORTERING"), c.key);
    EXPECT_EQ(Field(k, "SORTERNR"), c.sortNoAfter);
  }
}
