// Members of TDataFiler for the rules of item register, prices and stock.
// Included inside the class body of TDataFiler (db/datamodule/datafile.h); declarations only.
// Defined in src/rules/, which binds them through BindBusinessRules; the data module never
// calls them.

 public:
  // Binds this area's handlers to the names the schema gives them.
  void BindItemRules();

  // --- Published operations ---

  // Places VareRegister on the item numbered `itemNo` (at most 255 characters; longer text is
  // cut), switching the register to the index "VARENR" first, which is created when missing.
  // Returns true iff the item was found; the register's position is then the item. Never
  // throws: any failure of the search returns false.
  bool FinnVareNr(const std::string& itemNo);

  // Returns the Utpris of the item numbered `itemNo` and leaves the register on it; 0 when
  // the item is not registered or the search fails. Never throws.
  double FinnVareUtPris(const std::string& itemNo);

  // Binary search of VareTable in VARENR order for a row whose VARENR is exactly `itemNo`
  // (character codes compared, so case counts). Switches VareTable to its index "VARENR"
  // (never creating it) and stops its display updates while searching. Returns true with
  // the matching row current, else false with the cursor where the search ended; an empty
  // table gives false.
  // Throws ff::ENotFound when VareTable has no index "VARENR"; the table layer's errors
  // (e.g. when VareTable is closed) pass on as well.
  bool FinnVare(const std::string& itemNo);

  // Copies the register's Kostpris of the current item-use row's VARENR into its SUM and
  // posts the row (which recomputes TOTAL). Does nothing when the item is not registered or
  // VareTable has no row. Throws the table layer's errors; a failed post leaves the row in
  // edit state.
  void OppdaterKostPris();

  // Deducts `quantity` from PaaLager of VareRegister's current row (stock may go negative),
  // sets SistUt to today and posts the row. Does nothing while the register has no row.
  // Throws the table layer's errors; a failed post leaves the row in edit state.
  void TrekkFraLager(double quantity);

  // --- Items and item use ---
  void VareRegisterNewRecord(ff::TffTable& DataSet);
  // Today's date and the remembered project, order, equipment, part and department.
  void VareTableNewRecord(ff::TffTable& DataSet);
  // TOTAL := SUM * ANTALL; remembers project, order, equipment and department.
  void VareTableBeforePost(ff::TffTable& DataSet);

  // --- Shop sales ---
  // Transnr := CurrentShopTransNo, Dato := now, Antall := 1.
  void ButikkTableNewRecord(ff::TffTable& DataSet);
  // Sum := Pris * Antall.
  void ButikkTableBeforePost(ff::TffTable& DataSet);

  // --- Calculation elements ---
  // NextDocumentNo := the next element number of the whole table; a filter on the table
  // hides no number and stays as it was.
  void KalkulerTableBeforeInsert(ff::TffTable& DataSet);
  void KalkulerTableNewRecord(ff::TffTable& DataSet);
  void KalkulerVaretableNewRecord(ff::TffTable& DataSet);
  // Change of Pris, Antall, Rabatt or Kostpris of a calculation line: the discount comes off
  // the cost total; Totalpris and Fortjeneste follow. Held back while the line table's Tag
  // is not 0; a failure is passed over.
  void VareKalkulerRekalkuler(ff::TField& Sender);

  // --- Remembered values ---
  // The transaction number a new shop row receives; set by the code that records sales.
  std::int32_t CurrentShopTransNo = 0;
