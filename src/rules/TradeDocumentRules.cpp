// Rules of sales and purchase documents and postings.
#include "db/datamodule/datafile.h"
#include "rules/LineArithmetic.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "db/datamodule/Tableuni.h"
#include "store/Clock.h"
#include "store/Errors.h"
#include "settings/Felles.h"
#include "settings/windows/winfuncs.h"

namespace {

constexpr double kOrdinaryPosting = 0;
constexpr double kPaymentPosting = 5;
constexpr double kDefaultVatPercent = 24;
constexpr int kDistributionColumns = 8;

// Runs step and returns its result; any failure but the silent abort is answered by
// onFailure instead, whose result is returned.
template <class Step, class OnFailure>
auto runCatching(Step&& step, OnFailure&& onFailure) -> decltype(step()) {
  try {
    return step();
  } catch (const ff::EAbort&) {
    throw;
  } catch (const std::exception&) {
    return onFailure();
  }
}

// The order table names its failures by number; the other documents pass over theirs.
void reportOrderFailure(const char* code) { ShowMsg(code, "", "", MsgError); }
const auto passOver = [] {};

// The number typed at a prompt; blanks around it are allowed.
// Throws std::invalid_argument when the text is no 32-bit whole number.
int wholeNumberOf(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  const auto last = text.find_last_not_of(' ');
  if (first == std::string_view::npos) throw std::invalid_argument("Ingen tall er angitt");
  text = text.substr(first, last - first + 1);
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (*begin == '+') ++begin;
  int value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (error != std::errc{} || stop != end) throw std::invalid_argument("'" + std::string(text) + "' er ikke et heltall");
  return value;
}

// The number after the highest one. Throws std::overflow_error when none fits.
int numberAfter(std::int64_t highest) {
  if (highest >= std::numeric_limits<std::int32_t>::max()) throw std::overflow_error("Nummeret er for stort");
  return static_cast<int>(highest + 1);
}

// What a new document of each table gets besides the shared defaults.
struct DocumentKind {
  const char* status;
  bool paymentTerm;      // the default term from the settings
  bool dueDate;          // the due date of that term
  bool deliveryAddress;  // the firm's own address, in place of a term
};

constexpr DocumentKind kOffer{"", true, false, false};
constexpr DocumentKind kInvoice{"Ufakturert", true, true, false};
constexpr DocumentKind kOrder{"Ikke startet", true, false, false};
constexpr DocumentKind kPurchase{"Ikke bestillt", false, false, true};

struct PaymentTerm {
  std::string_view text;
  std::uint16_t days;
};

constexpr PaymentTerm kPaymentTerms[] = {{"Omgående", 1},  {"7 dager", 7},   {"10 dager", 10}, {"14 dager", 14},
                                         {"30 dager", 30}, {"60 dager", 60}, {"90 dager", 90}};

// The due date of a payment term (an empty term is the default one); none for a text that is
// no known term, since no number of days can be read from it.
std::optional<double> dueDateOfTerm(std::string term) {
  if (term.empty()) term = ReadSetting("FakturaDager");
  for (const PaymentTerm& known : kPaymentTerms) {
    if (known.text == term) return DateAfterDays(known.days);
  }
  return std::nullopt;
}

void setBooleans(ff::TffTable& table, std::initializer_list<const char*> names, bool value) {
  for (const char* name : names) table.FieldByName(name).SetAsBoolean(value);
}

void fillDeliveryAddressWithOwnFirm(ff::TffTable& doc) {
  doc.FieldByName("LeverGateadresse").SetAsString(ReadSetting("Firma_Navn"));
  doc.FieldByName("LeverPostadresse")
      .SetAsString(ReadSetting("Firma_GateAdresse") + " " + ReadSetting("Firma_PostAdresse"));
  doc.FieldByName("LeverPostnr").SetAsString(ReadSetting("Firma_PostNr"));
  doc.FieldByName("LeverPoststed").SetAsString(ReadSetting("Firma_PostSted"));
}

void fillNewDocument(ff::TffTable& doc, double number, const DocumentKind& kind) {
  doc.FieldByName("Dato").SetAsDateTime(ff::Date());
  doc.FieldByName("Nummer").SetAsFloat(number);
  doc.FieldByName("Systemnr").SetAsFloat(number);
  doc.FieldByName("Status").SetAsString(kind.status);
  doc.FieldByName("Valuta").SetAsString("NOK");
  setBooleans(doc, {"Purring", "Kreditnota", "Rentenota"}, false);
  doc.FieldByName("MVApliktig").SetAsBoolean(true);
  setBooleans(doc, {"Betalt", "Fakturert", "ErFastpris"}, false);
  for (const char* date : {"Fakturadato", "Purredato", "DatoBetalt"}) doc.FieldByName(date).Clear();
  if (kind.paymentTerm) doc.FieldByName("Betalingsbetingelse").SetAsString(ReadSetting("FakturaDager"));
  if (kind.dueDate) {
    if (const auto due = dueDateOfTerm(doc.FieldByName("Betalingsbetingelse").AsString())) {
      doc.FieldByName("Forfalldato").SetAsDateTime(*due);
    }
  }
  if (kind.deliveryAddress) fillDeliveryAddressWithOwnFirm(doc);
}

void dateNewLine(ff::TffTable& line) { line.FieldByName("Dato").SetAsDateTime(ff::Date()); }

// An account as the whole number the settings keep; 0 (nothing to keep) when none fits.
std::int32_t accountNumber(double account) {
  const double whole = std::nearbyint(account);
  if (!(whole >= std::numeric_limits<std::int32_t>::min() && whole <= std::numeric_limits<std::int32_t>::max())) {
    return 0;
  }
  return static_cast<std::int32_t>(whole);
}

// A company's default account fields hold 0 to 65535; 0 means none is set.
bool fitsCompanyAccount(double account) {
  const double whole = std::nearbyint(account);
  return whole >= 1 && whole <= std::numeric_limits<std::uint16_t>::max();
}

// Gives the current company the posting's accounts where it has none yet. A company table
// that is closed, empty or read-only is left alone: editing an empty one would append a
// company, and a read-only one would refuse the posting itself.
void giveCompanyDefaultAccounts(ff::TffTable& company, const ff::TffTable& posting) {
  if (!company.Active() || company.IsEmpty() || company.ReadOnly()) return;
  const std::pair<const char*, const char*> accounts[] = {{"KontoInn", "KONTOINN"}, {"KontoUt", "KONTOUT"}};
  const auto missing = [&](const std::pair<const char*, const char*>& account) {
    return company.FieldByName(account.first).AsInteger() == 0 &&
           fitsCompanyAccount(posting.FieldByName(account.second).AsFloat());
  };
  if (!missing(accounts[0]) && !missing(accounts[1])) return;
  company.Edit();
  for (const auto& account : accounts) {
    if (missing(account)) company.FieldByName(account.first).SetAsFloat(posting.FieldByName(account.second).AsFloat());
  }
  company.Post();
}

// The REGNR of the last posting of the whole table: a list view may have left a filter on
// that hides the highest numbers. Ends on the last row of the view.
std::int64_t lastRegNo(ff::TffTable& postings) {
  const bool filtered = postings.Filtered();
  if (filtered) postings.SetFiltered(false);
  postings.Last();
  const std::int64_t last = postings.FieldByName("REGNR").AsInteger();
  if (filtered) {
    postings.SetFiltered(true);
    postings.Last();
  }
  return last;
}

bool isEditing(const ff::TffTable& table) {
  return table.State() == ff::DataSetState::Edit || table.State() == ff::DataSetState::Insert;
}

ff::TField& distributionColumn(const ff::TffTable& postings, int column) {
  return postings.FieldByName("FORDELING" + std::to_string(column));
}

}  // namespace

// --- Numbers ---

int TDataFiler::HentNesteSalgNummer(ff::TffTable& Table) {
  return runCatching(
      [&Table] {
        if (Table.RecordCount() > 0) {
          Table.Last();
          return numberAfter(Table.FieldByName("Nummer").AsInteger());
        }
        ShowMsg("Angi nummeret du vil starte på:", "", "", MsgInput);
        return wholeNumberOf(MsgInputText);
      },
      [] {
        ShowMsg("Feil ved oppretting av nytt nummer!", "", "", MsgError);
        return 1;
      });
}

void TDataFiler::numberNewDocument(ff::TffTable& table) {
  // The last row of the whole table holds the highest number, so no filter may hide it.
  table.SetFiltered(false);
  table.SetFilter("");
  NextDocumentNo = HentNesteSalgNummer(table);
}

// --- Document headers ---

void TDataFiler::TilbudTableBeforeInsert(ff::TffTable& DataSet) { numberNewDocument(DataSet); }

void TDataFiler::FakturatableBeforeInsert(ff::TffTable& DataSet) { numberNewDocument(DataSet); }

void TDataFiler::OrdreTableBeforeInsert(ff::TffTable& DataSet) {
  runCatching([&] { numberNewDocument(DataSet); }, [] { reportOrderFailure("Feil 992"); });
}

void TDataFiler::InnkjopTableBeforeInsert(ff::TffTable& DataSet) { numberNewDocument(DataSet); }

void TDataFiler::TilbudTableNewRecord(ff::TffTable& DataSet) {
  runCatching([&] { fillNewDocument(DataSet, NextDocumentNo, kOffer); }, passOver);
}

void TDataFiler::FakturatableNewRecord(ff::TffTable& DataSet) {
  runCatching([&] { fillNewDocument(DataSet, NextDocumentNo, kInvoice); }, passOver);
}

void TDataFiler::OrdreTableNewRecord(ff::TffTable& DataSet) {
  runCatching([&] { fillNewDocument(DataSet, NextDocumentNo, kOrder); }, [] { reportOrderFailure("Feil 991"); });
}

void TDataFiler::InnkjopTableNewRecord(ff::TffTable& DataSet) {
  runCatching([&] { fillNewDocument(DataSet, NextDocumentNo, kPurchase); }, passOver);
}

void TDataFiler::FakturatableBeforeDelete(ff::TffTable&) {
  ShowMsg("Kan ikke slette faktura",
          "Du kan sette faktura som feil-faktura ved å velge \"Mulihgeter|Merke faktura som feil\".", "", MsgInfo);
  ff::Abort();
}

// --- Document lines ---

void TDataFiler::TilbudVareTableNewRecord(ff::TffTable& DataSet) { dateNewLine(DataSet); }

void TDataFiler::FakturaVareTableNewRecord(ff::TffTable& DataSet) { dateNewLine(DataSet); }

void TDataFiler::OrdreVareTableNewRecord(ff::TffTable& DataSet) {
  runCatching([&] { dateNewLine(DataSet); }, [] { reportOrderFailure("Feil 993"); });
}

void TDataFiler::InnkjopVareTableNewRecord(ff::TffTable& DataSet) { dateNewLine(DataSet); }

void TDataFiler::TilbudVareTableAntallChange(ff::TField&) {
  runCatching([this] { rules::RecalculateLine(TilbudVareTable, rules::DiscountOff::SellingTotal); }, passOver);
}

void TDataFiler::FakturaVareTableAntallChange(ff::TField&) {
  runCatching([this] { rules::RecalculateLine(FakturaVareTable, rules::DiscountOff::SellingTotal); }, passOver);
}

void TDataFiler::OrdreVareTableAntallChange(ff::TField&) {
  runCatching([this] { rules::RecalculateLine(OrdreVareTable, rules::DiscountOff::SellingTotal); }, passOver);
}

void TDataFiler::InnkjopVareTableAntallChange(ff::TField&) {
  runCatching([this] { rules::RecalculateLine(InnkjopVareTable, rules::DiscountOff::CostTotal); }, passOver);
}

// --- Ledger ---

void TDataFiler::PosteringTableAfterOpen(ff::TffTable& DataSet) {
  SetTableIndex(DataSet, "REGNR");
  NextPostingRegNo = static_cast<std::int32_t>(lastRegNo(DataSet) + 1);
}

void TDataFiler::PosteringTableNewRecord(ff::TffTable& DataSet) {
  DataSet.FieldByName("DATO").SetAsDateTime(ff::Date());
  DataSet.FieldByName("MVAPROSENT").SetAsFloat(kDefaultVatPercent);
  DataSet.FieldByName("REGNR").SetAsFloat(NextPostingRegNo);
  DataSet.FieldByName("KONTOINN").SetAsFloat(ReadLastAccountIn());
  DataSet.FieldByName("PROSJEKTNR").SetAsFloat(CurrentProjectNo);
  DataSet.FieldByName("UTSTYRNR").SetAsFloat(CurrentEquipmentNo);
  DataSet.FieldByName("NR").SetAsFloat(0);
  DataSet.FieldByName("POSTTYPE").SetAsFloat(kOrdinaryPosting);
  ++NextPostingRegNo;
}

void TDataFiler::PosteringTableBeforeCancel(ff::TffTable& DataSet) {
  if (DataSet.State() == ff::DataSetState::Insert) --NextPostingRegNo;
}

void TDataFiler::PosteringTableBeforePost(ff::TffTable& DataSet) { giveCompanyDefaultAccounts(FirmaTable, DataSet); }

void TDataFiler::PosteringTableAfterPost(ff::TffTable& DataSet) {
  WriteLastAccountOut(accountNumber(DataSet.FieldByName("KONTOUT").AsFloat()));
  WriteLastAccountIn(accountNumber(DataSet.FieldByName("KONTOINN").AsFloat()));
  CurrentProjectNo = DataSet.FieldByName("PROSJEKTNR").AsFloat();
  CurrentEquipmentNo = DataSet.FieldByName("UTSTYRNR").AsFloat();
  LastEntryType = static_cast<std::int16_t>(DataSet.FieldByName("POSTTYPE").AsInteger());
}

void TDataFiler::KontoTableAfterInsert(ff::TffTable& DataSet) { DataSet.FieldByName("KONTOLIKVI").SetAsBoolean(false); }

void TDataFiler::BetalFaktura() {
  ff::TffTable& postings = PosteringTable;
  if (postings.IsEmpty() || postings.FieldByName("POSTTYPE").AsFloat() != kOrdinaryPosting) return;
  const std::int64_t nr = postings.FieldByName("NR").AsInteger();
  const std::string name = postings.FieldByName("NAVN").AsString();
  const double sum = postings.FieldByName("POSTSUM").AsFloat();
  const double invoiceAccount = postings.FieldByName("KONTOINN").AsFloat();
  const double invoiceNo = postings.FieldByName("FAKTURANR").AsFloat();
  postings.Append();
  postings.FieldByName("NR").SetAsInteger(nr);
  postings.FieldByName("NAVN").SetAsString(name);
  postings.FieldByName("POSTSUM").SetAsFloat(sum);
  postings.FieldByName("FAKTURANR").SetAsFloat(invoiceNo);
  postings.FieldByName("KONTOINN").SetAsFloat(static_cast<double>(ReadSettingFloat("PosteringKontoBank")));
  postings.FieldByName("KONTOUT").SetAsFloat(invoiceAccount);
  postings.FieldByName("POSTTYPE").SetAsFloat(kPaymentPosting);
  postings.Post();
}

void TDataFiler::SummerFordeling() {
  if (!isEditing(PosteringTable)) return;
  double sum = 0;
  for (int column = 1; column <= kDistributionColumns; ++column) {
    sum += distributionColumn(PosteringTable, column).AsFloat();
  }
  PosteringTable.FieldByName("POSTSUM").SetAsFloat(sum);
}

void TDataFiler::ProsentFordeling() {
  if (!isEditing(PosteringTable)) return;
  const double sum = PosteringTable.FieldByName("POSTSUM").AsFloat();
  for (int column = 1; column <= kDistributionColumns; ++column) {
    ff::TField& share = distributionColumn(PosteringTable, column);
    share.SetAsFloat(share.AsFloat() / 100 * sum);
  }
}

// --- Binding ---

void TDataFiler::BindTradeDocumentRules() {
  using TableRule = void (TDataFiler::*)(ff::TffTable&);
  using FieldRule = void (TDataFiler::*)(ff::TField&);
  const std::pair<const char*, TableRule> tableRules[] = {
      {"TilbudTableBeforeInsert", &TDataFiler::TilbudTableBeforeInsert},
      {"FakturatableBeforeInsert", &TDataFiler::FakturatableBeforeInsert},
      {"OrdreTableBeforeInsert", &TDataFiler::OrdreTableBeforeInsert},
      {"InnkjopTableBeforeInsert", &TDataFiler::InnkjopTableBeforeInsert},
      {"TilbudTableNewRecord", &TDataFiler::TilbudTableNewRecord},
      {"FakturatableNewRecord", &TDataFiler::FakturatableNewRecord},
      {"OrdreTableNewRecord", &TDataFiler::OrdreTableNewRecord},
      {"InnkjopTableNewRecord", &TDataFiler::InnkjopTableNewRecord},
      {"FakturatableBeforeDelete", &TDataFiler::FakturatableBeforeDelete},
      {"TilbudVareTableNewRecord", &TDataFiler::TilbudVareTableNewRecord},
      {"FakturaVareTableNewRecord", &TDataFiler::FakturaVareTableNewRecord},
      {"OrdreVareTableNewRecord", &TDataFiler::OrdreVareTableNewRecord},
      {"InnkjopVareTableNewRecord", &TDataFiler::InnkjopVareTableNewRecord},
      {"PosteringTableAfterOpen", &TDataFiler::PosteringTableAfterOpen},
      {"PosteringTableNewRecord", &TDataFiler::PosteringTableNewRecord},
      {"PosteringTableBeforeCancel", &TDataFiler::PosteringTableBeforeCancel},
      {"PosteringTableBeforePost", &TDataFiler::PosteringTableBeforePost},
      {"PosteringTableAfterPost", &TDataFiler::PosteringTableAfterPost},
      {"KontoTableAfterInsert", &TDataFiler::KontoTableAfterInsert},
  };
  const std::pair<const char*, FieldRule> fieldRules[] = {
      {"TilbudVareTableAntallChange", &TDataFiler::TilbudVareTableAntallChange},
      {"FakturaVareTableAntallChange", &TDataFiler::FakturaVareTableAntallChange},
      {"OrdreVareTableAntallChange", &TDataFiler::OrdreVareTableAntallChange},
      {"InnkjopVareTableAntallChange", &TDataFiler::InnkjopVareTableAntallChange},
  };
  for (const auto& [name, rule] : tableRules) {
    BindTableHandler(name, [this, rule](ff::TffTable& table) { (this->*rule)(table); });
  }
  for (const auto& [name, rule] : fieldRules) {
    BindFieldHandler(name, [this, rule](ff::TField& field) { (this->*rule)(field); });
  }
}
