// Rules of time, mileage and travel registration.
#include <charconv>
#include <string_view>

#include "db/datamodule/Tableuni.h"
#include "db/datamodule/datafile.h"
#include "store/Clock.h"
#include "store/Errors.h"
#include "text/Utf8Text.h"
#include "settings/Felles.h"

namespace {

// Fixed limits of the hour split; not configurable.
const std::string kNightLimit = "21:00";
const std::string kSaturdaySplit = "12:00";
const std::string kMidnight = "24:00";
constexpr double kMaxNormalHours = 8;
constexpr double kMaxHoursAt50 = 5;
constexpr double kSaturdayHoursAt50 = 4;

// The number the text starts with; 0 when it does not start with a digit.
int leadingNumber(std::string_view text) {
  int n = 0;
  std::from_chars(text.data(), text.data() + text.size(), n);
  return n;
}

// A clock text "hh:mm" as decimal hours, read from characters 1-2 and 4-5.
double clockHours(std::string_view clock) {
  const std::string_view minutes = clock.size() > 3 ? clock.substr(3, 2) : std::string_view{};
  return leadingNumber(clock.substr(0, 2)) + leadingNumber(minutes) / 60.0;
}

// The worked period of a time row: its hours and the clock text where it ends.
struct Period {
  double hours;
  std::string end;
};

// A period that ends before it starts runs past midnight: it counts to "24:00" on its own
// day plus the hours after midnight. A row without an end time has no hours.
Period workedPeriod(const std::string& from, const std::string& to) {
  const double hours = clockHours(to) - clockHours(from);
  if (hours >= 0) return {hours, to};
  if (to.empty()) return {0, to};
  return {hours + 24, kMidnight};
}

std::string clockText(const ff::TffTable& row, const char* field) {
  return Utf8Left(row.FieldByName(field).AsString(), 5);
}

}  // namespace

void TDataFiler::BindTimeTravelRules() {
  BindTableMethod("TidTableBeforePost", &TDataFiler::TidTableBeforePost);
  BindTableMethod("TidTableNewRecord", &TDataFiler::TidTableNewRecord);
  BindTableMethod("TidTableCalcFields", &TDataFiler::TidTableCalcFields);
  BindTableMethod("TidTableBeforeDelete", &TDataFiler::TidTableBeforeDelete);
  BindTableMethod("KmTableBeforePost", &TDataFiler::KmTableBeforePost);
  BindTableMethod("KmTableNewRecord", &TDataFiler::KmTableNewRecord);
  BindTableMethod("KmTableBeforeDelete", &TDataFiler::KmTableBeforeDelete);
  BindTableMethod("PersonTableNewRecord", &TDataFiler::PersonTableNewRecord);
  BindTableMethod("PersonTableBeforeDelete", &TDataFiler::PersonTableBeforeDelete);
  BindTableMethod("ReiseTableBeforeInsert", &TDataFiler::ReiseTableBeforeInsert);
  BindTableMethod("ReiseTableNewRecord", &TDataFiler::ReiseTableNewRecord);
  BindTableMethod("ReiseTableBeforePost", &TDataFiler::ReiseTableBeforePost);
}

void TDataFiler::BindTableMethod(const std::string& name, TableMethod method) {
  BindTableHandler(name, [this, method](ff::TffTable& t) { (this->*method)(t); });
}

void TDataFiler::CopyFields(ff::TffTable& to, const ff::TffTable& from, std::initializer_list<const char*> names) {
  for (const char* name : names) to.FieldByName(name).SetValue(from.FieldByName(name).AsValue());
}

void TDataFiler::SetBooleans(ff::TffTable& table, std::initializer_list<const char*> names, bool value) {
  for (const char* name : names) table.FieldByName(name).SetAsBoolean(value);
}

void TDataFiler::ConfirmDeleteOrAbort() {
  if (!ConfirmDelete()) ff::Abort();
}

TDataFiler::Weekday TDataFiler::WeekdayOf(double date) {
  // Day 0, 30 December 1899, was a Saturday.
  const auto day = static_cast<long long>(date);
  return static_cast<Weekday>(((day + 5) % 7 + 7) % 7);
}

// --- Time rows ---

void TDataFiler::TidTableBeforePost(ff::TffTable& DataSet) {
  for (const char* clock : {"FRA", "TIL"}) {
    ff::TField& field = DataSet.FieldByName(clock);
    field.SetAsString(NormalizeTimeText(field.AsString()));
  }
  RememberTimeRow(DataSet);
  ff::TField& normal = DataSet.FieldByName("TIMER");
  ff::TField& at50 = DataSet.FieldByName("OVERTID_50");
  ff::TField& at100 = DataSet.FieldByName("OVERTID_10");
  // Hours typed by the user stay as typed.
  if (normal.AsFloat() != 0 || at50.AsFloat() != 0 || at100.AsFloat() != 0) return;
  const std::string from = clockText(DataSet, "FRA");
  const Period period = workedPeriod(from, clockText(DataSet, "TIL"));
  HourSplit split = SplitHours(DataSet.FieldByName("DATO").AsFloat(), from, period.end, period.hours);
  // Breaks beyond an overtime bucket go off the normal hours.
  for (double* overtime : {&split.at50, &split.at100}) {
    if (*overtime < 0) {
      split.normal += *overtime;
      *overtime = 0;
    }
  }
  normal.SetAsFloat(split.normal);
  at50.SetAsFloat(split.at50);
  at100.SetAsFloat(split.at100);
}

void TDataFiler::RememberTimeRow(const ff::TffTable& row) {
  const auto field = [&row](const char* name) -> const ff::TField& { return row.FieldByName(name); };
  CurrentDate = field("DATO").AsFloat();
  CurrentInitials = Utf8Left(field("INITIALER").AsString(), 6);
  CurrentProjectNo = field("PROSJEKTNR").AsFloat();
  CurrentSystemNo = field("SYSTEMNR").AsFloat();
  CurrentEquipmentNo = field("UTSTYRNR").AsFloat();
  CurrentEquipmentPart = field("UTSTYRDEL").AsFloat();
  LastReadFlag = field("AVLEST").AsBoolean();
  LastRoutineFlag = field("RUTINE").AsBoolean();
  LastEntryType = static_cast<std::int16_t>(field("TYPE").AsInteger());
  CurrentDepartment = static_cast<std::int16_t>(field("TIMETYPE2").AsInteger());
  LastFromTime = clockText(row, "FRA");
  LastToTime = clockText(row, "TIL");
  LastDoneFlag = field("UTFORT").AsBoolean();
  LastPriorityFlag = field("PRIORITERT").AsBoolean();
  LastAwayFlag = field("EKSTERN").AsBoolean();
  LastCalendarOnlyFlag = field("KunKalender").AsBoolean();
}

TDataFiler::HourSplit TDataFiler::SplitHours(double date, const std::string& from, const std::string& to,
                                             double hours) const {
  switch (WeekdayOf(date)) {
    case Weekday::Saturday:
      return SplitSaturdayHours(from, to, hours);
    case Weekday::Sunday:
      return SplitSundayHours(from, to, hours);
    default:
      return SplitWeekdayHours(from, to, hours);
  }
}

TDataFiler::HourSplit TDataFiler::SplitWeekdayHours(const std::string& from, const std::string& to,
                                                    double hours) const {
  HourSplit split{hours, 0, 0};
  if (from >= kNightLimit) split = {0, 0, split.normal};
  if (from >= WorkdayEnd) split = {0, split.normal, split.at100};
  if (split.normal > kMaxNormalHours) split = {kMaxNormalHours, split.normal - kMaxNormalHours, split.at100};
  if (split.at50 > kMaxHoursAt50) split = {split.normal, kMaxHoursAt50, split.at50 - kMaxHoursAt50};
  split.normal = LessBreaks(split.normal, from, std::min(to, WorkdayEnd), BreakBounds::Strictly);
  // The evening runs from the end of the working day to the night limit, the night after it.
  std::string start = from;
  if (to > WorkdayEnd) {
    start = std::max(start, WorkdayEnd);
    split.at50 = LessBreaks(split.at50, start, std::min(to, kNightLimit), BreakBounds::Inclusively);
  }
  if (to > kNightLimit) {
    start = std::max(start, kNightLimit);
    split.at100 = LessBreaks(split.at100, start, to, BreakBounds::Inclusively);
  }
  return split;
}

TDataFiler::HourSplit TDataFiler::SplitSaturdayHours(const std::string& from, const std::string& to,
                                                     double hours) const {
  if (hours <= kSaturdayHoursAt50) return {0, LessBreaks(hours, from, to, BreakBounds::Strictly), 0};
  const double morning = LessBreaks(kSaturdayHoursAt50, from, kSaturdaySplit, BreakBounds::Strictly);
  const double afternoon = LessBreaks(hours - kSaturdayHoursAt50, kSaturdaySplit, to, BreakBounds::Strictly);
  return {0, morning, afternoon};
}

TDataFiler::HourSplit TDataFiler::SplitSundayHours(const std::string& from, const std::string& to,
                                                   double hours) const {
  return {0, 0, LessBreaks(hours, from, to, BreakBounds::Strictly)};
}

double TDataFiler::LessBreaks(double hours, const std::string& from, const std::string& to,
                              BreakBounds bounds) const {
  for (std::size_t i = 0; i < PauseStart.size(); ++i) {
    const std::string& pause = PauseStart[i];
    const bool inside = bounds == BreakBounds::Strictly ? from < pause && to > pause : from <= pause && to >= pause;
    if (inside) hours -= PauseLength[i] / 60.0;
  }
  return hours;
}

void TDataFiler::TidTableNewRecord(ff::TffTable& DataSet) {
  const auto field = [&DataSet](const char* name) -> ff::TField& { return DataSet.FieldByName(name); };
  field("DATO").SetAsDateTime(CurrentDate);
  field("INITIALER").SetAsString(CurrentInitials);
  field("PROSJEKTNR").SetAsFloat(CurrentProjectNo);
  field("SYSTEMNR").SetAsFloat(CurrentSystemNo);
  field("UTSTYRNR").SetAsFloat(CurrentEquipmentNo);
  field("UTSTYRDEL").SetAsFloat(CurrentEquipmentPart);
  field("JOBB").SetAsFloat(0);
  field("AVLEST").SetAsBoolean(LastReadFlag);
  field("RUTINE").SetAsBoolean(LastRoutineFlag);
  field("TYPE").SetAsInteger(LastEntryType);
  field("KunKalender").SetAsBoolean(LastCalendarOnlyFlag);
  field("TIMETYPE2").SetAsInteger(CurrentDepartment);
  field("FRA").SetAsString(LastFromTime);
  field("TIL").SetAsString(LastToTime);
  field("UTFORT").SetAsBoolean(LastDoneFlag);
  field("PRIORITERT").SetAsBoolean(LastPriorityFlag);
  field("EKSTERN").SetAsBoolean(LastAwayFlag);
}

void TDataFiler::TidTableCalcFields(ff::TffTable& DataSet) {
  DataSet.FieldByName("KODE").SetAsString(DataSet.FieldByName("PRIORITERT").AsBoolean() ? "!" : "");
}

void TDataFiler::TidTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }

double TDataFiler::TotalTimeSum() {
  return TidTable.FieldByName("TIMER").AsFloat() + TidTable.FieldByName("OVERTID_50").AsFloat() +
         TidTable.FieldByName("OVERTID_10").AsFloat();
}

bool TDataFiler::SetTidUtfort() {
  const bool pending = TidTable.State() == ff::DataSetState::Edit || TidTable.State() == ff::DataSetState::Insert;
  // Editing an empty table would insert a row; there is nothing to mark.
  if (!pending && TidTable.Active() && TidTable.IsEmpty()) return false;
  if (!EditTable(TidTable)) return false;
  TidTable.FieldByName("UTFORT").SetAsBoolean(true);
  return ::PostTable(TidTable);  // the helper routine, not the mail table
}

// --- Trips ---

void TDataFiler::KmTableBeforePost(ff::TffTable& DataSet) {
  DataSet.FieldByName("KMTOTAL").SetAsFloat(DataSet.FieldByName("KMSLUTT").AsFloat() -
                                            DataSet.FieldByName("KMSTART").AsFloat());
  CurrentProjectNo = static_cast<double>(DataSet.FieldByName("PROSJEKTNR").AsInteger());
  CurrentDepartment = static_cast<std::int16_t>(DataSet.FieldByName("TIMETYPE2").AsInteger());
  CurrentSystemNo = static_cast<double>(DataSet.FieldByName("SYSTEMNR").AsInteger());
}

void TDataFiler::KmTableNewRecord(ff::TffTable& DataSet) {
  SetBooleans(DataSet, {"UTSTYRFRAK", "HENGER", "SKOGSVEI", "BELASTKUND", "AVLEST"}, false);
  DataSet.FieldByName("TYPEBIL").SetAsInteger(0);
  DataSet.FieldByName("DATO").SetAsDateTime(ff::Date());
  DataSet.FieldByName("PASSASJERE").SetAsInteger(0);
  DataSet.FieldByName("PROSJEKTNR").SetAsFloat(CurrentProjectNo);
  DataSet.FieldByName("TIMETYPE2").SetAsInteger(CurrentDepartment);
  DataSet.FieldByName("NR").SetAsFloat(0);
}

void TDataFiler::KmTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }

// --- Staff ---

void TDataFiler::PersonTableNewRecord(ff::TffTable& DataSet) {
  SetBooleans(DataSet, {"FASTLONNET", "FASTANSATT", "STYREMEDLE"}, false);
  DataSet.FieldByName("GRADERING").SetAsInteger(1);
}

void TDataFiler::PersonTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }

// --- Travels and expenses ---

void TDataFiler::ReiseTableBeforeInsert(ff::TffTable& DataSet) {
  DataSet.Last();
  NextTravelRegNo = static_cast<std::int32_t>(DataSet.FieldByName("REGNR").AsInteger() + 1);
}

void TDataFiler::ReiseTableNewRecord(ff::TffTable& DataSet) {
  DataSet.FieldByName("REGNR").SetAsFloat(NextTravelRegNo);
  DataSet.FieldByName("UTBETALT").SetAsBoolean(false);
}

void TDataFiler::ReiseTableBeforePost(ff::TffTable& DataSet) {
  double sum = 0;
  if (FirstRecord(UtleggTable)) {
    for (; !UtleggTable.Eof(); UtleggTable.Next()) sum += UtleggTable.FieldByName("SUM").AsFloat();
  }
  if (sum == 0) return;
  ff::TField& expenses = DataSet.FieldByName("SUMUTGIFT");
  expenses.SetAsFloat(sum);
  DataSet.FieldByName("TILGODE").SetAsFloat(expenses.AsFloat() - DataSet.FieldByName("PREBETALT").AsFloat() -
                                            DataSet.FieldByName("FORSKUDD").AsFloat());
}

void TDataFiler::UtleggTableNewRecord() {
  SetBooleans(UtleggTable, {"AVLEST", "UTBETALT"}, false);
  CopyFields(UtleggTable, ReiseTable, {"REGNR", "INITIALER", "PROSJEKTNR", "SYSTEMNR"});
}
