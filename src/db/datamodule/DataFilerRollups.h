// Members of TDataFiler for the rules of project and equipment roll-ups and list filters.
// Included inside the class body of TDataFiler (db/datamodule/datafile.h); declarations only.
// Defined in src/rules/, which binds them through BindBusinessRules; the data module never
// calls them.

 public:
  // Binds this area's handlers to the names the schema gives them.
  void BindRollupRules();

  // After a scroll to, or a post of, a project: filters SystemTable on the project's number.
  // A failure of the filter change is reported (while browsing) and goes no further.
  void ProsjektTableAfterScroll(ff::TffTable& DataSet);
  // A new project shows no parts: SystemTable is filtered on "PROSJEKTNR=0".
  void ProsjektTableAfterInsert(ff::TffTable& DataSet);
  // Delete guard of projects and travels. Throws ff::EAbort when the user refuses.
  void ProsjektTableBeforeDelete(ff::TffTable& DataSet);
  // After a scroll in, or a delete from, the equipment: filters JobbTable on its number.
  void UtstyrTableAfterScroll(ff::TffTable& DataSet);
  void UtstyrTableAfterDelete(ff::TffTable& DataSet);
  // Defaults of new equipment: every work flag false, the three dates today, UTSTYRNR 0.
  void UtstyrTableAfterInsert(ff::TffTable& DataSet);
  // Delete guard of equipment. Throws ff::EAbort when the user refuses.
  void UtstyrTableBeforeDelete(ff::TffTable& DataSet);

  // Rolls up every part of the current project (SystemTable, filtered on it), then the project
  // itself, under a progress window; posts each part and the project. `Sender` is not used.
  // Leaves TidTable, VareTable and PosteringTable filtered on the last part.
  // Throws what entering edit state or posting a part or the project throws.
  // REQUIRES: ProsjektTable and SystemTable are open and on rows.
  void SummerHeleProsjektet(QObject* Sender = nullptr);
  // Rolls up the current part of SystemTable from its hours, item use, postings, trips and
  // travels, and posts it; PartPaidSum becomes the part's paid sum. Rows of a table whose
  // filter cannot be applied are not reached, so such a table counts as empty.
  // Throws what entering edit state or posting the part throws.
  void SummerProsjektDel();
  // SUMDIVERSE of the current project from all its trips and travels.
  // REQUIRES: ProsjektTable is in edit or insert state.
  void SummerProsjektDiverse();

  // The list views: set the remembered values, then show and hide columns of one table with
  // its controls suspended. None of them filters.
  void SetVareListeUtstyr();
  void SetVareListeProsjekt();
  void SetVareListeNormal();
  void SetPosteringListeUtstyr();
  void SetPosteringListeProsjekt();
  // With TidTable closed only the remembered values change.
  void SetTimeListeUtstyr();
  void SetTimeListeProsjekt();

  // --- Remembered values ---
  // The paid sum (postings of type 6) of the part last rolled up.
  double PartPaidSum = 0;

 private:
  // Earliest and latest date of the time rows a roll-up reached.
  struct HourDates {
    bool any = false;
    double first = 0;
    double last = 0;
    void Include(double date);
    // The earliest or latest date seen; the seed dates when no row was seen.
    double Start() const;
    double End() const;
  };

  // SummerProsjektDel, telling the dates of the hours it reached. keepSundriesFiltered: the
  // trips and travels stay filtered on the part (a whole project's roll-up lets them go once).
  HourDates rollUpPart(bool keepSundriesFiltered = false);
  HourDates rollUpPartHours(const std::string& partFilter);
  void rollUpPartPostings(const std::string& partFilter);
  // The mileage charge of the trips, then the sum of the travels' expenses, of one filter;
  // both tables are left unfiltered unless keepFiltered.
  double sundryCosts(const std::string& filter, bool keepFiltered = false);
  // "PROSJEKTNR=" + the current project's number.
  std::string projectFilter() const;
  void rememberEquipment();
  void filterJobsOnEquipment();
