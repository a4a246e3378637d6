// Rules of master-data defaults and deletion guards.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "db/datamodule/Tableuni.h"
#include "db/datamodule/datafile.h"
#include "store/Clock.h"
#include "store/Errors.h"
#include "text/Utf8Text.h"
#include "rules/TableScopes.h"
#include "settings/windows/Firmvelg.h"
#include "settings/windows/Slett.h"

namespace {

constexpr std::int64_t kFirstCustomerNo = 12001;
constexpr std::int64_t kFirstSupplierNo = 20001;
constexpr std::size_t kMaxDocumentNameLength = 255;

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

void TDataFiler::BindMasterDataRules() {
  BindTableMethod("FirmaTableBeforeInsert", &TDataFiler::FirmaTableBeforeInsert);
  BindTableMethod("FirmaTableAfterInsert", &TDataFiler::FirmaTableAfterInsert);
  BindTableMethod("FirmaTableBeforeDelete", &TDataFiler::FirmaTableBeforeDelete);
  BindTableMethod("DokumentTableNewRecord", &TDataFiler::DokumentTableNewRecord);
  BindTableMethod("DokumentTableBeforePost", &TDataFiler::DokumentTableBeforePost);
  BindTableMethod("BildeTableNewRecord", &TDataFiler::BildeTableNewRecord);
  BindTableMethod("DokumentTableBeforeDelete", &TDataFiler::DokumentTableBeforeDelete);
  BindTableMethod("KontoTableBeforeDelete", &TDataFiler::KontoTableBeforeDelete);
  BindTableMethod("VareTableBeforeDelete", &TDataFiler::VareTableBeforeDelete);
  BindTableMethod("KontaktTableBeforeDelete", &TDataFiler::KontaktTableBeforeDelete);
  BindTableMethod("VareRegisterBeforeDelete", &TDataFiler::VareRegisterBeforeDelete);
  BindTableMethod("TilbudTableBeforeDelete", &TDataFiler::TilbudTableBeforeDelete);
  BindTableMethod("TilbudVareTableBeforeDelete", &TDataFiler::TilbudVareTableBeforeDelete);
  BindTableMethod("PosteringTableBeforeDelete", &TDataFiler::PosteringTableBeforeDelete);
  BindTableMethod("ButikkTableBeforeDelete", &TDataFiler::ButikkTableBeforeDelete);
  BindTableMethod("BildeTableBeforeDelete", &TDataFiler::BildeTableBeforeDelete);
  BindTableMethod("FakturaVareTableBeforeDelete", &TDataFiler::FakturaVareTableBeforeDelete);
  BindTableMethod("OrdreTableBeforeDelete", &TDataFiler::OrdreTableBeforeDelete);
  BindTableMethod("OrdreVareTableBeforeDelete", &TDataFiler::OrdreVareTableBeforeDelete);
  BindTableMethod("InnkjopTableBeforeDelete", &TDataFiler::InnkjopTableBeforeDelete);
  BindTableMethod("InnkjopVareTableBeforeDelete", &TDataFiler::InnkjopVareTableBeforeDelete);
  BindTableMethod("KalkulerTableBeforeDelete", &TDataFiler::KalkulerTableBeforeDelete);
  BindTableMethod("KalkulerVaretableBeforeDelete", &TDataFiler::KalkulerVaretableBeforeDelete);
  BindTableMethod("SalgVareTableBeforeDelete", &TDataFiler::SalgVareTableBeforeDelete);
}

// --- Companies ---

void TDataFiler::FirmaTableBeforeInsert(ff::TffTable&) {
  if (AskCompanyKind) {
    ShowCompanyChooser();
    if (NewCompanyCancelled) return;
  }
  NextCompanyNo = NextNumberOfCompanyKind(NewCompanyIsCustomer);
  AskCompanyKind = true;
}

std::int32_t TDataFiler::NextNumberOfCompanyKind(bool customer) {
  // Neither the windows nor the contacts follow the scan, and no filter may hide a number.
  const std::int64_t next = rules::WithSourceOff(*Source("FirmaSource"), [&] {
    return rules::OverWholeTable(FirmaTable, [&] {
      if (!FirstRecord(FirmaTable)) ff::Abort();  // the table helper has shown why
      std::int64_t after = customer ? kFirstCustomerNo : kFirstSupplierNo;
      for (; !FirmaTable.Eof(); FirmaTable.Next()) {
        // Supplier numbers stay above every company's, customers' included.
        if (customer && !FirmaTable.FieldByName("Kunde").AsBoolean()) continue;
        after = std::max(after, FirmaTable.FieldByName("Nr").AsInteger() + 1);
      }
      return after;
    });
  });
  if (next > std::numeric_limits<std::int32_t>::max()) {
    throw std::overflow_error("Ingen ledige firmanumre etter " + std::to_string(next - 1));
  }
  return static_cast<std::int32_t>(next);
}

void TDataFiler::FirmaTableAfterInsert(ff::TffTable& DataSet) {
  if (NewCompanyCancelled) {
    DataSet.Cancel();
    return;
  }
  DataSet.FieldByName("Nr").SetAsInteger(NextCompanyNo);
  DataSet.FieldByName("Kunde").SetAsBoolean(NewCompanyIsCustomer);
  DataSet.FieldByName("Leverandor").SetAsBoolean(!NewCompanyIsCustomer);
  SetBooleans(DataSet, {"Avtale", "Kreditt", "Fastkunde", "Utstyr"}, false);
  DataSet.FieldByName("Mva").SetAsBoolean(true);
}

void TDataFiler::FirmaTableBeforeDelete(ff::TffTable& DataSet) {
  if (!AskDelete("vil du slette " + DataSet.FieldByName("Navn").AsString() + " ?")) ff::Abort();
}

void TDataFiler::KontaktTableNewRecord() { CopyFields(KontaktTable, FirmaTable, {"Nr"}); }

// --- Documents and pictures ---

void TDataFiler::DokumentTableNewRecord(ff::TffTable& DataSet) {
  DataSet.FieldByName("PROSJEKTNR").SetAsFloat(CurrentProjectNo);
  DataSet.FieldByName("UTSTYRNR").SetAsFloat(CurrentEquipmentNo);
  DataSet.FieldByName("UTSTYRDEL").SetAsFloat(CurrentEquipmentPart);
  DataSet.FieldByName("NR").SetAsFloat(LastDocumentNr);
  DataSet.FieldByName("NAVN").SetAsString(LastDocumentName);
  DataSet.FieldByName("DATO").SetAsDateTime(ff::Date());
}

void TDataFiler::DokumentTableBeforePost(ff::TffTable& DataSet) {
  CurrentProjectNo = DataSet.FieldByName("PROSJEKTNR").AsFloat();
  CurrentEquipmentNo = DataSet.FieldByName("UTSTYRNR").AsFloat();
  LastDocumentNr = DataSet.FieldByName("NR").AsFloat();
  LastDocumentName = Utf8Left(DataSet.FieldByName("NAVN").AsString(), kMaxDocumentNameLength);
}

void TDataFiler::BildeTableNewRecord(ff::TffTable& DataSet) {
  if (DataSet.Filtered()) {
    const std::string& filter = DataSet.Filter();
    // "REGNR=" contains "NR=": a picture of a posting ends with the posting's NR.
    if (contains(filter, "NR=")) CopyFields(DataSet, FirmaTable, {"Nr"});
    if (contains(filter, "REGNR=")) CopyFields(DataSet, PosteringTable, {"REGNR", "NR"});
  }
  DataSet.FieldByName("strekk").SetAsBoolean(false);
}

// --- Delete guards ---

void TDataFiler::DokumentTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::KontoTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::VareTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::KontaktTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::VareRegisterBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::TilbudTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::TilbudVareTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::PosteringTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::ButikkTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::BildeTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::FakturaVareTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::OrdreTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::OrdreVareTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::InnkjopTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::InnkjopVareTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::KalkulerTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::KalkulerVaretableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
void TDataFiler::SalgVareTableBeforeDelete(ff::TffTable&) { ConfirmDeleteOrAbort(); }
