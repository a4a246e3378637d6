// Members of TDataFiler for the rules of master-data defaults and deletion guards.
// Included inside the class body of TDataFiler (db/datamodule/datafile.h); declarations only.
// Defined in src/rules/, which binds them through BindBusinessRules; the data module never
// calls them.

 public:
  // Binds this area's handlers to the names the schema gives them.
  void BindMasterDataRules();

  // --- Companies and contacts ---

  // Unless AskCompanyKind is false, asks customer or supplier in the company chooser; a
  // cancel there leaves the numbering to the cancel of AfterInsert. Otherwise
  // NextCompanyNo := the larger of 12001 and the highest customer Nr + 1 for a customer, of
  // 20001 and the highest Nr of all companies + 1 for a supplier; a filter on the company
  // table hides none of them. AskCompanyKind is true again afterwards.
  // Throws ff::EAbort (the error is then already shown) when the company table cannot be
  // read from its first row, std::overflow_error when no Nr is left above the highest.
  void FirmaTableBeforeInsert(ff::TffTable& DataSet);
  // Cancels the new row when the chooser was cancelled; otherwise gives it NextCompanyNo
  // and the flags of its kind.
  void FirmaTableAfterInsert(ff::TffTable& DataSet);
  // Asks "vil du slette <Navn> ?" whatever "Bekreft_Slett" says; raises the silent abort
  // unless it is confirmed.
  void FirmaTableBeforeDelete(ff::TffTable& DataSet);
  // Gives KontaktTable's row the Nr of FirmaTable's current company.
  // REQUIRES: KontaktTable is inserting or editing (else the field layer throws ENotEditing).
  void KontaktTableNewRecord();

  // --- Documents and pictures ---
  // The remembered project, equipment and part, the last posted document's NR and NAVN, today.
  void DokumentTableNewRecord(ff::TffTable& DataSet);
  // Remembers the row's project, equipment, NR and NAVN for the next new document.
  void DokumentTableBeforePost(ff::TffTable& DataSet);
  // Under a filter naming "NR=", nr := the current company's Nr; under one naming "REGNR=",
  // regnr and nr := REGNR and NR of the current posting. strekk := false always.
  void BildeTableNewRecord(ff::TffTable& DataSet);

  // --- Delete guards: each raises the silent abort unless ConfirmDelete agrees ---
  void DokumentTableBeforeDelete(ff::TffTable& DataSet);
  void KontoTableBeforeDelete(ff::TffTable& DataSet);
  // Guards both VareTable and VareTable2.
  void VareTableBeforeDelete(ff::TffTable& DataSet);
  void KontaktTableBeforeDelete(ff::TffTable& DataSet);
  void VareRegisterBeforeDelete(ff::TffTable& DataSet);
  void TilbudTableBeforeDelete(ff::TffTable& DataSet);
  void TilbudVareTableBeforeDelete(ff::TffTable& DataSet);
  void PosteringTableBeforeDelete(ff::TffTable& DataSet);
  void ButikkTableBeforeDelete(ff::TffTable& DataSet);
  void BildeTableBeforeDelete(ff::TffTable& DataSet);
  void FakturaVareTableBeforeDelete(ff::TffTable& DataSet);
  void OrdreTableBeforeDelete(ff::TffTable& DataSet);
  void OrdreVareTableBeforeDelete(ff::TffTable& DataSet);
  void InnkjopTableBeforeDelete(ff::TffTable& DataSet);
  void InnkjopVareTableBeforeDelete(ff::TffTable& DataSet);
  void KalkulerTableBeforeDelete(ff::TffTable& DataSet);
  void KalkulerVaretableBeforeDelete(ff::TffTable& DataSet);
  // Published for the suite's windows; no table of the module is bound to it.
  void SalgVareTableBeforeDelete(ff::TffTable& DataSet);

  // --- Remembered values ---
  // The Nr the next new company receives.
  std::int32_t NextCompanyNo = 0;
  // When false, a new company skips the chooser and takes its kind from NewCompanyIsCustomer.
  bool AskCompanyKind = true;
  // NR and NAVN (at most 255 characters) of the last posted document row.
  double LastDocumentNr = 0;
  std::string LastDocumentName;

 private:
  // The Nr after the highest one among the companies that count for the kind, at least the
  // first of the kind's range. Scans FirmaTable from its first row.
  std::int32_t NextNumberOfCompanyKind(bool customer);
