// Rules of project and equipment roll-ups and list filters.
#include <exception>
#include <initializer_list>
#include <string>
#include <utility>

#include "db/datamodule/Tableuni.h"
#include "db/datamodule/datafile.h"
#include "store/Clock.h"
#include "store/Errors.h"
#include "store/Field.h"
#include "store/WriteGroup.h"
#include "store/Filter.h"
#include "rules/TableScopes.h"
#include "settings/Felles.h"
#include "settings/windows/Prosess.h"
#include "settings/windows/ScreenCursor.h"

namespace {

// The search for the earliest and the latest date starts from these; a part or project
// without hours keeps them.
constexpr const char* kEarliestSeed = "31.12.99";
constexpr const char* kLatestSeed = "01.01.80";

double SeedDate(const char* text) {
  double date = 0;
  ff::parseDateTime(text, date);
  return date;
}

// "FIELD=n" from the number's text form; an empty number gives a text no filter accepts.
std::string FilterOn(const char* field, const ff::TField& number) {
  return std::string(field) + "=" + number.AsString();
}

std::string PartFilter(const ff::TField& project, const ff::TField& part) {
  return FilterOn("PROSJEKTNR", project) + " AND " + FilterOn("SYSTEMNR", part);
}

// Filters the table and goes to its first row. False when that filter is not in force
// afterwards (a text the filter cannot take, a table that cannot be opened, an empty table),
// so that a roll-up never takes the rows of an unfiltered table for the filter's rows. A
// filter put in force here has just gone to its first row; only one already in force must.
bool ReachFilteredRows(ff::TffTable& table, const std::string& filter) {
  const bool wasInForce = table.Active() && table.Filtered() && table.Filter() == filter;
  FilterTable(table, filter);
  const bool inForce = table.Active() && table.Filtered() && table.Filter() == filter;
  return inForce && (!wasInForce || FirstRecord(table));
}

// Σ of one field over the rows from the current one to the end.
double SumToEnd(ff::TffTable& table, const char* field) {
  const ff::TField& value = table.FieldByName(field);
  double sum = 0;
  for (; !table.Eof(); table.Next()) sum += value.AsFloat();
  return sum;
}

double Rate(const char* key) { return static_cast<double>(ReadSettingFloat(key)); }

// Kilometres of the trips, by what they are charged for.
struct Kilometres {
  double total = 0;
  double trailer = 0;
  double passenger = 0;
  double forest = 0;
  double freight = 0;

  void Add(const ff::TffTable& trips) {
    const double km = trips.FieldByName("KMTOTAL").AsFloat();
    total += km;
    if (trips.FieldByName("HENGER").AsBoolean()) trailer += km;
    const double passengers = trips.FieldByName("PASSASJERE").AsFloat();
    if (passengers > 0) passenger += km * passengers;
    if (trips.FieldByName("SKOGSVEI").AsBoolean()) forest += km;
    if (trips.FieldByName("UTSTYRFRAK").AsBoolean()) freight += km;
  }

  // The rates are read at every roll-up, so a changed setting counts at once.
  double Charge() const {
    return Rate("Arbeid_KmSumBil") * total + Rate("Arbeid_KmSumHenger") * (trailer + freight) +
           Rate("Arbeid_KmSumPassasjer") * passenger + Rate("Arbeid_KmSumUtstyr") * forest;
  }
};

// What a project adds up from its parts.
struct PartTotals {
  double paid = 0;
  double items = 0;
  double itemsEstimate = 0;
  double hours = 0;
  double hoursEstimate = 0;
  double invoicedOut = 0;
  double invoicedOutEstimate = 0;
  double invoicesIn = 0;
  double invoicesInEstimate = 0;

  void Add(const ff::TffTable& part, double paidSum) {
    const auto value = [&](const char* field) { return part.FieldByName(field).AsFloat(); };
    paid += paidSum;
    items += value("VARER");
    itemsEstimate += value("CALVARER");
    hours += value("ARBEID");
    hoursEstimate += value("CALARBEID");
    invoicedOut += value("UTFAKT");
    invoicedOutEstimate += value("CALUTFAKT");
    invoicesIn += value("INNFAKT");
    invoicesInEstimate += value("CALINNFAKT");
  }
};

void SetFloats(ff::TffTable& table, std::initializer_list<std::pair<const char*, double>> values) {
  for (const auto& [field, value] : values) table.FieldByName(field).SetAsFloat(value);
}

// Lets the trips and travels go unfiltered when a project's roll-up fails midway, as its end
// does otherwise; a failure of that leaves them as they are.
class SundriesLetGoOnFailure {
 public:
  SundriesLetGoOnFailure(ff::TffTable& trips, ff::TffTable& travels) : trips_(trips), travels_(travels) {}
  ~SundriesLetGoOnFailure() {
    if (std::uncaught_exceptions() == entered_) return;
    for (ff::TffTable* table : {&trips_, &travels_}) {
      try {
        table->SetFiltered(false);
      } catch (const std::exception&) {
      }
    }
  }
  SundriesLetGoOnFailure(const SundriesLetGoOnFailure&) = delete;
  SundriesLetGoOnFailure& operator=(const SundriesLetGoOnFailure&) = delete;

 private:
  ff::TffTable& trips_;
  ff::TffTable& travels_;
  int entered_ = std::uncaught_exceptions();
};

// The hourglass while a roll-up runs; the default cursor after it, also when it fails.
class BusyCursor {
 public:
  BusyCursor() { SetScreenCursor(ScreenCursor::Hourglass); }
  ~BusyCursor() { SetScreenCursor(ScreenCursor::Default); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// A progress window that closes however the roll-up ends.
class ProgressWindow {
 public:
  explicit ProgressWindow(const std::string& caption) { ShowProgress(caption); }
  ~ProgressWindow() { CloseProgress(); }
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;
};

using Columns = std::initializer_list<const char*>;

// The table's attached controls stay quiet while its columns change, and hear of it once after.
void ShowColumns(ff::TffTable& table, Columns shown, Columns hidden) {
  rules::WithControlsDisabled(table, [&] {
    for (const char* field : shown) table.FieldByName(field).SetVisible(true);
    for (const char* field : hidden) table.FieldByName(field).SetVisible(false);
  });
}

}  // namespace

void TDataFiler::BindRollupRules() {
  BindTableHandler("ProsjektTableAfterScroll", [this](ff::TffTable& t) { ProsjektTableAfterScroll(t); });
  BindTableHandler("ProsjektTableAfterInsert", [this](ff::TffTable& t) { ProsjektTableAfterInsert(t); });
  BindTableHandler("ProsjektTableBeforeDelete", [this](ff::TffTable& t) { ProsjektTableBeforeDelete(t); });
  BindTableHandler("UtstyrTableAfterScroll", [this](ff::TffTable& t) { UtstyrTableAfterScroll(t); });
  BindTableHandler("UtstyrTableAfterDelete", [this](ff::TffTable& t) { UtstyrTableAfterDelete(t); });
  BindTableHandler("UtstyrTableAfterInsert", [this](ff::TffTable& t) { UtstyrTableAfterInsert(t); });
  BindTableHandler("UtstyrTableBeforeDelete", [this](ff::TffTable& t) { UtstyrTableBeforeDelete(t); });
}

// --- Table events ---

void TDataFiler::ProsjektTableAfterScroll(ff::TffTable&) {
  const std::string filter = projectFilter();
  try {
    // A text that is no filter (a project without a number) leaves the part list as it was,
    // so that a new project keeps its empty list instead of showing every part.
    ff::FilterExpression::Parse(filter);
    SystemTable.SetFiltered(false);
    SystemTable.SetFilter(filter);
    SystemTable.SetFiltered(true);
  } catch (const std::exception&) {
    if (ProsjektTable.State() == ff::DataSetState::Browse) {
      ShowTableError(0, "Kan ikke lage filter på dette prosjekt", ProsjektTable.TableName());
    }
  }
}

void TDataFiler::ProsjektTableAfterInsert(ff::TffTable&) { FilterTable(SystemTable, "PROSJEKTNR=0"); }

void TDataFiler::ProsjektTableBeforeDelete(ff::TffTable&) {
  if (!ConfirmDelete()) ff::Abort();
}

void TDataFiler::UtstyrTableAfterScroll(ff::TffTable&) { filterJobsOnEquipment(); }

void TDataFiler::UtstyrTableAfterDelete(ff::TffTable&) { filterJobsOnEquipment(); }

void TDataFiler::UtstyrTableAfterInsert(ff::TffTable&) {
  for (const char* flag : {"ARB_ELTROC", "ARB_AUTOM", "ARB_HYDRAU", "ARB_MEK", "ARB_ROR", "ARB_ELEK", "UTENDORS",
                           "SERVICEAVT"}) {
    Utstyrtable.FieldByName(flag).SetAsBoolean(false);
  }
  const double today = ff::Date();
  SetFloats(Utstyrtable, {{"DATOINST", today}, {"DATOKJOPT", today}, {"DATORATE", today}, {"UTSTYRNR", 0}});
}

void TDataFiler::UtstyrTableBeforeDelete(ff::TffTable&) {
  if (!ConfirmDelete()) ff::Abort();
}

std::string TDataFiler::projectFilter() const {
  return FilterOn("PROSJEKTNR", ProsjektTable.FieldByName("PROSJEKTNR"));
}

void TDataFiler::filterJobsOnEquipment() {
  FilterTable(JobbTable, FilterOn("UTSTYRNR", Utstyrtable.FieldByName("UTSTYRNR")));
}

// --- Roll-ups ---

void TDataFiler::HourDates::Include(double date) {
  if (!any || date < first) first = date;
  if (!any || date > last) last = date;
  any = true;
}

double TDataFiler::HourDates::Start() const { return any ? first : SeedDate(kEarliestSeed); }

double TDataFiler::HourDates::End() const { return any ? last : SeedDate(kLatestSeed); }

void TDataFiler::SummerProsjektDel() { rollUpPart(); }

TDataFiler::HourDates TDataFiler::rollUpPart(bool keepSundriesFiltered) {
  BusyCursor busy;
  SystemTable.Edit();
  PartPaidSum = 0;
  const std::string partFilter =
      PartFilter(SystemTable.FieldByName("PROSJEKTNR"), SystemTable.FieldByName("SYSTEMNR"));
  const HourDates dates = rollUpPartHours(partFilter);
  const double items = ReachFilteredRows(VareTable, partFilter) ? SumToEnd(VareTable, "TOTAL") : 0;
  SystemTable.FieldByName("VARER").SetAsFloat(items);
  rollUpPartPostings(partFilter);
  // Trips and travels go by the project row's number, not the part's.
  const double sundry =
      sundryCosts(PartFilter(ProsjektTable.FieldByName("PROSJEKTNR"), SystemTable.FieldByName("SYSTEMNR")),
                  keepSundriesFiltered);
  SystemTable.FieldByName("DIVERSE").SetAsFloat(sundry);
  SystemTable.Post();
  return dates;
}

TDataFiler::HourDates TDataFiler::rollUpPartHours(const std::string& partFilter) {
  HourDates dates;
  double hours = 0;
  if (ReachFilteredRows(TidTable, partFilter)) {
    const ff::TField& date = TidTable.FieldByName("DATO");
    for (; !TidTable.Eof(); TidTable.Next()) {
      dates.Include(date.AsFloat());
      hours += TotalTimeSum();
    }
  }
  SetFloats(SystemTable, {{"ARBEID", hours}, {"STARTDATO", dates.Start()}, {"SLUTTDATO", dates.End()}});
  return dates;
}

void TDataFiler::rollUpPartPostings(const std::string& partFilter) {
  double invoicedOut = 0;
  double invoicesIn = 0;
  if (ReachFilteredRows(PosteringTable, partFilter)) {
    const ff::TField& type = PosteringTable.FieldByName("POSTTYPE");
    const ff::TField& amount = PosteringTable.FieldByName("POSTSUM");
    for (; !PosteringTable.Eof(); PosteringTable.Next()) {
      const double kind = type.AsFloat();
      const double sum = amount.AsFloat();
      if (kind == 1) {
        invoicedOut += sum;
      } else if (kind == 10) {
        invoicedOut -= sum;
      } else if (kind == 2 || kind == 4) {
        invoicesIn += sum;
      } else if (kind == 6) {
        PartPaidSum += sum;
      }
    }
  }
  SetFloats(SystemTable, {{"INNFAKT", invoicesIn}, {"UTFAKT", invoicedOut}});
}

double TDataFiler::sundryCosts(const std::string& filter, bool keepFiltered) {
  Kilometres km;
  if (ReachFilteredRows(KmTable, filter)) {
    for (; !KmTable.Eof(); KmTable.Next()) km.Add(KmTable);
  }
  if (!keepFiltered) KmTable.SetFiltered(false);
  const double mileage = km.Charge();
  const double travels = ReachFilteredRows(ReiseTable, filter) ? SumToEnd(ReiseTable, "SUMUTGIFT") : 0;
  if (!keepFiltered) ReiseTable.SetFiltered(false);
  return mileage + travels;
}

void TDataFiler::SummerProsjektDiverse() {
  ProsjektTable.FieldByName("SUMDIVERSE").SetAsFloat(sundryCosts(projectFilter()));
}

void TDataFiler::SummerHeleProsjektet(QObject*) {
  ProgressWindow progress(ProsjektTable.FieldByName("PROSJEKTNR").AsString() + ", " +
                          ProsjektTable.FieldByName("PROSNAVN").AsString());
  SetProgressText("summerer prosjekt ....");
  int position = 0;
  SetProgressPosition(position);
  PartTotals parts;
  HourDates dates;
  // The parts' sums are figures made again by every roll-up: they reach the disk together, in
  // one write, and a crash midway keeps the parts' earlier sums.
  ff::WriteGroup partWrites(SystemTable);
  // Each part filters the trips and travels anew: they are let go once, by SummerProsjektDiverse.
  SundriesLetGoOnFailure sundries(KmTable, ReiseTable);
  // Only the project's own parts count, also when the part list lost its filter.
  if (ReachFilteredRows(SystemTable, projectFilter()) && !SystemTable.IsEmpty()) {
    const int step = static_cast<int>(100 / SystemTable.RecordCount());
    for (; !SystemTable.Eof(); SystemTable.Next()) {
      const HourDates part = rollUpPart(true);
      if (part.any) {
        dates.Include(part.first);
        dates.Include(part.last);
      }
      parts.Add(SystemTable, PartPaidSum);
      position += step;
      SetProgressPosition(position);
    }
  }
  partWrites.Commit();
  ProsjektTable.Edit();
  const auto value = [&](const char* field) { return ProsjektTable.FieldByName(field).AsFloat(); };
  SetFloats(ProsjektTable, {{"DATOSTART", dates.Start()},
                            {"DATOSLUTT", dates.End()},
                            {"SUMVARER", parts.items},
                            {"CALVARER", parts.itemsEstimate},
                            {"SUMTIMER", parts.hours},
                            {"SUMARBEID", value("TIMEPRIS") * parts.hours},
                            {"CALTIMER", parts.hoursEstimate},
                            {"CALARBEID", value("CALTIMEPRI") * parts.hoursEstimate},
                            {"SUMFAKTURA", parts.invoicesIn},
                            {"UTFAKTURER", parts.invoicedOut},
                            {"INNBETALT", parts.paid},
                            {"CALFAKTURA", parts.invoicesInEstimate},
                            {"CALFORTJEN", parts.invoicedOutEstimate}});
  SummerProsjektDiverse();
  const double cost = value("SUMVARER") + value("SUMARBEID") + value("SUMDIVERSE") + value("SUMFAKTURA");
  SetFloats(ProsjektTable, {{"KOSTPRIS", cost}, {"FORTJENEST", value("REST") + (value("UTFAKTURER") - cost)}});
  ProsjektTable.Post();
}

// --- List views ---

namespace {

const Columns kEquipmentColumns = {"UTSTYRNR", "UTSTYRDEL", "JOBB"};
const Columns kProjectColumns = {"PROSJEKTNR", "SYSTEMNR"};

}  // namespace

void TDataFiler::rememberEquipment() {
  CurrentEquipmentNo = Utstyrtable.FieldByName("UTSTYRNR").AsFloat();
  CurrentEquipmentPart = Utstyrtable.FieldByName("LINKDEL").AsFloat();
  CurrentProjectNo = 0;
  CurrentSystemNo = 0;
}

void TDataFiler::SetVareListeUtstyr() {
  rememberEquipment();
  ShowColumns(VareTable, kEquipmentColumns, {"PROSJEKTNR", "SYSTEMNR", "TIMETYPE2", "TILLEGG", "AVLEST"});
}

void TDataFiler::SetVareListeProsjekt() {
  CurrentEquipmentNo = 0;
  CurrentEquipmentPart = 0;
  CurrentProjectNo = ProsjektTable.FieldByName("PROSJEKTNR").AsFloat();
  CurrentSystemNo = SystemTable.FieldByName("SYSTEMNR").AsFloat();
  ShowColumns(VareTable, {"PROSJEKTNR", "SYSTEMNR", "TIMETYPE2", "TILLEGG", "AVLEST"}, kEquipmentColumns);
}

void TDataFiler::SetVareListeNormal() {
  ShowColumns(VareTable, {"UTSTYRNR", "UTSTYRDEL", "JOBB", "PROSJEKTNR", "SYSTEMNR", "TIMETYPE2", "TILLEGG", "AVLEST"},
              {});
}

void TDataFiler::SetPosteringListeUtstyr() {
  rememberEquipment();
  CurrentDate = ff::Date();
  ShowColumns(PosteringTable, kEquipmentColumns, kProjectColumns);
}

void TDataFiler::SetPosteringListeProsjekt() { ShowColumns(PosteringTable, kProjectColumns, kEquipmentColumns); }

void TDataFiler::SetTimeListeUtstyr() {
  rememberEquipment();
  CurrentDate = ff::Date();
  if (!TidTable.Active()) return;
  ShowColumns(TidTable, {"UTSTYRNR", "UTSTYRDEL", "JOBB", "UTFORT", "PRIORITERT", "RUTINE"},
              {"PROSJEKTNR", "SYSTEMNR", "TIMETYPE2"});
}

void TDataFiler::SetTimeListeProsjekt() {
  ShowColumns(TidTable, {"PROSJEKTNR", "SYSTEMNR", "TIMETYPE2"},
              {"UTSTYRNR", "UTSTYRDEL", "JOBB", "UTFORT", "PRIORITERT", "RUTINE"});
  CurrentEquipmentNo = 0;
  CurrentEquipmentPart = 0;
}
