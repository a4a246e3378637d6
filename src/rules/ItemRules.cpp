// Rules of item register, prices and stock.
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "db/datamodule/Tableuni.h"
#include "db/datamodule/datafile.h"
#include "store/Clock.h"
#include "store/Errors.h"
#include "rules/LineArithmetic.h"
#include "rules/TableScopes.h"
#include "text/Utf8Text.h"

namespace {

const std::string kItemIndex = "VARENR";  // on the item number, in both tables
const char* const kItemUseNo = "VARENR";
constexpr std::size_t kMaxItemNoLength = 255;

std::string itemNumber(const std::string& text) { return Utf8Left(text, kMaxItemNoLength); }

double number(const ff::TffTable& table, const char* field) { return table.FieldByName(field).AsFloat(); }

// The binary search over rows [lo, hi) of a table in item-number order. The cursor always
// stands on row mid when a row is compared.
class ItemSearch {
 public:
  ItemSearch(ff::TffTable& table, std::string wanted) : table_(table), wanted_(std::move(wanted)) {}

  bool Run() {
    hi_ = table_.RecordCount();
    // Without rows the fields read empty and would match an empty number.
    if (hi_ == 0) return false;
    mid_ = hi_ / 2;
    table_.MoveToRecNo(mid_);
    for (;;) {
      const std::string found = table_.FieldByName(kItemUseNo).AsString();
      if (found == wanted_) return true;
      if (hi_ == lo_ || hi_ == lo_ + 1) return false;
      (found > wanted_ ? hi_ : lo_) = mid_;
      mid_ = (lo_ + hi_) / 2;
      table_.MoveToRecNo(mid_);
    }
  }

 private:
  ff::TffTable& table_;
  const std::string wanted_;
  std::int64_t lo_ = 0;
  std::int64_t hi_ = 0;
  std::int64_t mid_ = 0;
};

}  // namespace

void TDataFiler::BindItemRules() {
  BindTableMethod("VareRegisterNewRecord", &TDataFiler::VareRegisterNewRecord);
  BindTableMethod("VareTableNewRecord", &TDataFiler::VareTableNewRecord);
  BindTableMethod("VareTableBeforePost", &TDataFiler::VareTableBeforePost);
  BindTableMethod("ButikkTableNewRecord", &TDataFiler::ButikkTableNewRecord);
  BindTableMethod("ButikkTableBeforePost", &TDataFiler::ButikkTableBeforePost);
  BindTableMethod("KalkulerTableBeforeInsert", &TDataFiler::KalkulerTableBeforeInsert);
  BindTableMethod("KalkulerTableNewRecord", &TDataFiler::KalkulerTableNewRecord);
  BindTableMethod("KalkulerVaretableNewRecord", &TDataFiler::KalkulerVaretableNewRecord);
  BindFieldHandler("VareKalkulerRekalkuler", [this](ff::TField& f) { VareKalkulerRekalkuler(f); });
}

// --- Looking items up ---

bool TDataFiler::FinnVareNr(const std::string& itemNo) {
  try {
    if (VareRegister.IndexName() != kItemIndex) SetTableIndex(VareRegister, kItemIndex);
    return VareRegister.FindKey({ff::Value{itemNumber(itemNo)}});
  } catch (const std::exception&) {
    return false;
  }
}

double TDataFiler::FinnVareUtPris(const std::string& itemNo) {
  return FinnVareNr(itemNo) ? number(VareRegister, "Utpris") : 0;
}

bool TDataFiler::FinnVare(const std::string& itemNo) {
  return rules::WithControlsDisabled(VareTable, [&] {
    if (VareTable.IndexName() != kItemIndex) VareTable.SetIndexName(kItemIndex);
    return ItemSearch(VareTable, itemNumber(itemNo)).Run();
  });
}

// --- Prices and stock ---

void TDataFiler::OppdaterKostPris() {
  // Editing a table without rows would append one.
  if (VareTable.IsEmpty()) return;
  if (!FinnVareNr(VareTable.FieldByName(kItemUseNo).AsString())) return;
  VareTable.Edit();
  VareTable.FieldByName("SUM").SetAsFloat(number(VareRegister, "Kostpris"));
  VareTable.Post();
}

void TDataFiler::TrekkFraLager(double quantity) {
  // Editing a register without rows would append an item that never was.
  if (VareRegister.IsEmpty()) return;
  VareRegister.Edit();
  ff::TField& stock = VareRegister.FieldByName("PaaLager");
  stock.SetAsFloat(stock.AsFloat() - quantity);
  VareRegister.FieldByName("SistUt").SetAsDateTime(ff::Date());
  VareRegister.Post();
}

// --- Items and item use ---

void TDataFiler::VareRegisterNewRecord(ff::TffTable& DataSet) {
  SetBooleans(DataSet, {"Arbeid", "IBestilling", "ToEnheter", "Egenproduksjon"}, false);
  DataSet.FieldByName("Variabel").SetAsFloat(0);
  DataSet.FieldByName("Flagg").SetAsInteger(0);
  DataSet.FieldByName("PaaslagProsent").SetAsBoolean(true);
}

void TDataFiler::VareTableNewRecord(ff::TffTable& DataSet) {
  DataSet.FieldByName("DATO").SetAsDateTime(ff::Date());
  DataSet.FieldByName("PROSJEKTNR").SetAsFloat(CurrentProjectNo);
  DataSet.FieldByName("SYSTEMNR").SetAsFloat(CurrentSystemNo);
  DataSet.FieldByName("UTSTYRNR").SetAsFloat(CurrentEquipmentNo);
  DataSet.FieldByName("UTSTYRDEL").SetAsFloat(CurrentEquipmentPart);
  SetBooleans(DataSet, {"AVLEST", "TILLEGG"}, false);
  DataSet.FieldByName("TIMETYPE2").SetAsInteger(CurrentDepartment);
}

void TDataFiler::VareTableBeforePost(ff::TffTable& DataSet) {
  DataSet.FieldByName("TOTAL").SetAsFloat(number(DataSet, "SUM") * number(DataSet, "ANTALL"));
  CurrentProjectNo = static_cast<double>(DataSet.FieldByName("PROSJEKTNR").AsInteger());
  CurrentSystemNo = static_cast<double>(DataSet.FieldByName("SYSTEMNR").AsInteger());
  CurrentEquipmentNo = number(DataSet, "UTSTYRNR");
  CurrentDepartment = static_cast<std::int16_t>(DataSet.FieldByName("TIMETYPE2").AsInteger());
}

// --- Shop sales ---

void TDataFiler::ButikkTableNewRecord(ff::TffTable& DataSet) {
  DataSet.FieldByName("Transnr").SetAsInteger(CurrentShopTransNo);
  DataSet.FieldByName("Dato").SetAsDateTime(ff::Now());
  DataSet.FieldByName("Antall").SetAsFloat(1);
}

void TDataFiler::ButikkTableBeforePost(ff::TffTable& DataSet) {
  DataSet.FieldByName("Sum").SetAsFloat(number(DataSet, "Pris") * number(DataSet, "Antall"));
}

// --- Calculation elements ---

void TDataFiler::KalkulerTableBeforeInsert(ff::TffTable& DataSet) {
  // A filter may hide the highest number; numbering past a hidden one would give two
  // elements (and their lines) the same number.
  NextDocumentNo = rules::OverWholeTable(DataSet, [&] { return HentNesteSalgNummer(DataSet); });
}

void TDataFiler::KalkulerTableNewRecord(ff::TffTable& DataSet) {
  DataSet.FieldByName("Nummer").SetAsFloat(NextDocumentNo);
  DataSet.FieldByName("Metode").SetAsInteger(1);
  DataSet.FieldByName("Antall").SetAsFloat(1);
  DataSet.FieldByName("Exporttype").SetAsInteger(0);
  DataSet.FieldByName("MomsType").SetAsInteger(0);
}

void TDataFiler::KalkulerVaretableNewRecord(ff::TffTable& DataSet) {
  DataSet.FieldByName("Levert").SetAsBoolean(false);
}

void TDataFiler::VareKalkulerRekalkuler(ff::TField&) {
  try {
    rules::RecalculateLine(KalkulerVaretable, rules::DiscountOff::CostTotal);
  } catch (const ff::Error&) {
    // A line that cannot take its totals keeps the ones it had; the user sees no message.
  }
}
