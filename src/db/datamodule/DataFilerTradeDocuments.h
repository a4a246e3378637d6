// Members of TDataFiler for the rules of sales and purchase documents and postings.
// Included inside the class body of TDataFiler (db/datamodule/datafile.h); declarations only.
// Defined in src/rules/, which binds them through BindBusinessRules; the data module never
// calls them.

 public:
  // Binds this area's handlers to the names the schema gives them.
  void BindTradeDocumentRules();

  // --- Published operations ---

  // Returns the next document number of a table whose field "Nummer" orders it: the last
  // row's Nummer + 1, or on an empty table the number the user types at the prompt
  // "Angi nummeret du vil starte på:" (whichever button closed it). When no number can be
  // had (e.g. the typed text is no whole number) it shows "Feil ved oppretting av nytt
  // nummer!" and returns 1. Moves Table to its last row. Reserves nothing.
  // Throws only LogWriteError, when that error message cannot be logged.
  // REQUIRES: Table is open and has a field "Nummer".
  int HentNesteSalgNummer(ff::TffTable& Table);

  // Books the payment of the current posting: when it is an ordinary posting (POSTTYPE 0),
  // appends and posts a payment posting (POSTTYPE 5) of the same NR, NAVN, POSTSUM and
  // FAKTURANR from its KONTOINN into the bank account "PosteringKontoBank". The paid posting
  // is left as it was; the payment becomes the current row. Does nothing on an empty table.
  // Throws the table layer's errors (the new posting then stays pending).
  void BetalFaktura();

  // While the posting table is editing or inserting: POSTSUM := FORDELING1 + ... + FORDELING8.
  // Otherwise does nothing.
  void SummerFordeling();

  // While the posting table is editing or inserting: each FORDELINGn, a percentage of
  // POSTSUM, becomes that share of POSTSUM. Otherwise does nothing.
  void ProsentFordeling();

  // --- Document headers ---
  void TilbudTableBeforeInsert(ff::TffTable& DataSet);
  void FakturatableBeforeInsert(ff::TffTable& DataSet);
  void OrdreTableBeforeInsert(ff::TffTable& DataSet);
  void InnkjopTableBeforeInsert(ff::TffTable& DataSet);
  void TilbudTableNewRecord(ff::TffTable& DataSet);
  void FakturatableNewRecord(ff::TffTable& DataSet);
  void OrdreTableNewRecord(ff::TffTable& DataSet);
  void InnkjopTableNewRecord(ff::TffTable& DataSet);
  // Refuses every delete with a message and the silent abort.
  void FakturatableBeforeDelete(ff::TffTable& DataSet);

  // --- Document lines ---
  void TilbudVareTableNewRecord(ff::TffTable& DataSet);
  void FakturaVareTableNewRecord(ff::TffTable& DataSet);
  void OrdreVareTableNewRecord(ff::TffTable& DataSet);
  void InnkjopVareTableNewRecord(ff::TffTable& DataSet);
  // Change of Pris, Antall, Rabatt or Kostpris: recompute the line's totals and profit,
  // unless the line table's Tag holds the rule back.
  void TilbudVareTableAntallChange(ff::TField& Sender);
  void FakturaVareTableAntallChange(ff::TField& Sender);
  void OrdreVareTableAntallChange(ff::TField& Sender);
  void InnkjopVareTableAntallChange(ff::TField& Sender);

  // --- Ledger ---
  void PosteringTableAfterOpen(ff::TffTable& DataSet);
  void PosteringTableNewRecord(ff::TffTable& DataSet);
  void PosteringTableBeforeCancel(ff::TffTable& DataSet);
  void PosteringTableBeforePost(ff::TffTable& DataSet);
  void PosteringTableAfterPost(ff::TffTable& DataSet);
  void KontoTableAfterInsert(ff::TffTable& DataSet);

  // --- Remembered values ---
  // The number the last BeforeInsert of a document or calculation table fetched.
  double NextDocumentNo = 0;
  // The REGNR the next new posting receives.
  std::int32_t NextPostingRegNo = 0;

 private:
  // Switches the document table's filter off and fetches its next number.
  void numberNewDocument(ff::TffTable& table);
