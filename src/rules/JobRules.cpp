// Rules of job register and next-job scheduling.
#include "db/datamodule/Tableuni.h"
#include "db/datamodule/datafile.h"
#include "text/Utf8Text.h"

namespace {

constexpr std::size_t kMinSortDigits = 3;

// The sort number as text, left-padded with "0" to at least three characters.
std::string paddedSortNumber(const std::string& number) {
  const std::size_t length = Utf8Length(number);
  return length < kMinSortDigits ? std::string(kMinSortDigits - length, '0') + number : number;
}

}  // namespace

void TDataFiler::BindJobRules() {
  BindTableMethod("KabelTableBeforePost", &TDataFiler::KabelTableBeforePost);
  BindTableMethod("KabelTableBeforeDelete", &TDataFiler::KabelTableBeforeDelete);
  BindTableMethod("JobbTableNewRecord", &TDataFiler::JobbTableNewRecord);
  BindTableMethod("JobbTableBeforeDelete", &TDataFiler::JobbTableBeforeDelete);
  BindTableMethod("SystemTableNewRecord", &TDataFiler::SystemTableNewRecord);
  BindTableMethod("SystemTableBeforeDelete", &TDataFiler::SystemTableBeforeDelete);
}

// --- Cables, jobs and parts ---

void TDataFiler::KabelTableBeforePost(ff::TffTable& DataSet) {
  const std::string cabinet = DataSet.FieldByName("SKAPNR").AsString();
  const std::string component = DataSet.FieldByName("KOMPNR").AsString();
  ff::TField& sortNo = DataSet.FieldByName("SORTERNR");
  ff::TField& key = DataSet.FieldByName("SORTERING");
  if (component == "#") {
    // The cabinet's own row sorts before its components.
    key.SetAsString(cabinet + "   ");
    sortNo.SetAsFloat(-1);
    return;
  }
  if (sortNo.IsNull()) sortNo.SetAsFloat(0);
  // The field keeps the first 20 characters.
  key.SetAsString(cabinet + "." + component + "." + paddedSortNumber(sortNo.AsString()));
}

void TDataFiler::KabelTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }

void TDataFiler::JobbTableNewRecord(ff::TffTable& DataSet) {
  CopyFields(DataSet, Utstyrtable, {"UTSTYRNR"});
}

void TDataFiler::JobbTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }

void TDataFiler::SystemTableNewRecord(ff::TffTable& DataSet) {
  CopyFields(DataSet, ProsjektTable, {"PROSJEKTNR"});
}

void TDataFiler::SystemTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }

// --- Job scheduling ---

bool TDataFiler::SettJobbNummer(const std::string& equipmentNo) {
  const std::string number = Utf8Left(equipmentNo, 255);
  return FilterTable(JobbTable, "UTSTYRNR=" + (number.empty() ? std::string("0") : number));
}

void TDataFiler::LagJobb() {
  CopyFields(TidTable, JobbTable, {"TEKST", "UTSTYRDEL", "TIL", "FRA", "TIMER", "INITIALER", "PRIORITERT", "JOBB"});
  TidTable.FieldByName("UTFORT").SetAsBoolean(false);
}

void TDataFiler::SetNesteJObb(QObject*) {
  if (TidTable.FieldByName("UTFORT").AsBoolean()) return;
  // The number as a filter reads it: a decimal point, never a comma.
  const bool listed = SettJobbNummer(ff::valueToString(TidTable.FieldByName("UTSTYRNR").AsValue()));
  const std::int64_t jobNo = TidTable.FieldByName("JOBB").AsInteger();
  // Posting the mark remembers the row, so the next row starts from its date.
  if (!SetTidUtfort()) return;
  // A failed filter may leave another equipment's jobs in the list.
  if (!listed || !FindJob(jobNo)) return;
  ScheduleNextJob(jobNo);
}

bool TDataFiler::FindJob(std::int64_t jobNo) {
  const ff::TField& number = JobbTable.FieldByName("JOBB");
  JobbTable.First();
  while (!JobbTable.Eof() && number.AsInteger() != jobNo) JobbTable.Next();
  return !JobbTable.IsEmpty() && number.AsInteger() == jobNo;
}

void TDataFiler::ScheduleNextJob(std::int64_t jobNo) {
  TidTable.Append();
  LagJobb();
  ff::TField& date = TidTable.FieldByName("DATO");
  double next = date.AsFloat() + JobbTable.FieldByName("REG_NR").AsFloat();
  if (WeekdayOf(next) == Weekday::Sunday) next += 1;
  if (WeekdayOf(next) == Weekday::Saturday) next -= 1;
  date.SetAsDateTime(next);
  TidTable.FieldByName("JOBB").SetAsFloat(static_cast<double>(jobNo));
  TidTable.FieldByName("NOTAT").SetAsString(JobbTable.FieldByName("NOTAT").AsString());
  TidTable.FieldByName("RUTINE").SetAsBoolean(true);
  TidTable.Post();
}

void TDataFiler::MerkUtfortExecute(QObject*) { SetTidUtfort(); }

void TDataFiler::MerkUtfortogNyExecute(QObject* Sender) { SetNesteJObb(Sender); }
