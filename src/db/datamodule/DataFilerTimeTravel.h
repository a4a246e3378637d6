// Members of TDataFiler for the rules of time, mileage and travel registration.
// Included inside the class body of TDataFiler (db/datamodule/datafile.h); declarations only.
// Defined in src/rules/, which binds them through BindBusinessRules; the data module never
// calls them.

 public:
  // Binds this area's handlers to the names the schema gives them.
  void BindTimeTravelRules();

  // --- Remembered registration values: what the last posted time row (or the last chosen
  // project or equipment) said, so that the next new row starts from it. Memory only.
  std::string CurrentInitials;  // at most 6 characters
  double CurrentProjectNo = 0;
  double CurrentSystemNo = 0;
  double CurrentEquipmentNo = 0;
  double CurrentEquipmentPart = 0;
  std::int16_t CurrentDepartment = 0;
  std::int16_t LastEntryType = 0;
  bool LastReadFlag = false;
  bool LastRoutineFlag = false;
  bool LastDoneFlag = true;
  bool LastPriorityFlag = false;
  bool LastAwayFlag = true;
  bool LastCalendarOnlyFlag = false;
  std::string LastFromTime = "08:00";  // clock text, at most 5 characters
  std::string LastToTime = "16:00";    // clock text, at most 5 characters
  std::int32_t NextTravelRegNo = 0;

  enum class Weekday { Monday, Tuesday, Wednesday, Thursday, Friday, Saturday, Sunday };
  // The weekday of a date (days since 30 December 1899; the time of day does not count).
  static Weekday WeekdayOf(double date);

  // --- Time rows ---
  // Normalises FRA and TIL, remembers the row, then splits the period into TIMER,
  // OVERTID_50 and OVERTID_10 unless one of them was typed. A period that ends before it
  // starts runs past midnight; a row without an end time gets no hours.
  // REQUIRES: DataSet is TidTable.
  void TidTableBeforePost(ff::TffTable& DataSet);
  // Fills a new time row from the remembered values; the hour buckets stay empty.
  void TidTableNewRecord(ff::TffTable& DataSet);
  // KODE is "!" for a priority row, else empty.
  void TidTableCalcFields(ff::TffTable& DataSet);
  // Raises the silent abort unless the user confirms the delete.
  void TidTableBeforeDelete(ff::TffTable& DataSet);
  // Returns TIMER + OVERTID_50 + OVERTID_10 of TidTable's current row.
  double TotalTimeSum();
  // Marks TidTable's current row done and posts it (which remembers it). Returns false,
  // changing nothing, when there is no row to mark or it cannot be edited; otherwise the
  // result of the post. Failures are reported by the table helper routines.
  bool SetTidUtfort();

  // --- Trips, staff, travels and expenses ---
  // KMTOTAL from the odometer; remembers project, part and department.
  void KmTableBeforePost(ff::TffTable& DataSet);
  void KmTableNewRecord(ff::TffTable& DataSet);
  void KmTableBeforeDelete(ff::TffTable& DataSet);
  void PersonTableNewRecord(ff::TffTable& DataSet);
  void PersonTableBeforeDelete(ff::TffTable& DataSet);
  // NextTravelRegNo := REGNR of the travel table's last row + 1 (1 when it is empty).
  // Moves the travel table to its last row.
  void ReiseTableBeforeInsert(ff::TffTable& DataSet);
  void ReiseTableNewRecord(ff::TffTable& DataSet);
  // Sums the travel's expense rows into SUMUTGIFT and TILGODE; a zero sum keeps them.
  void ReiseTableBeforePost(ff::TffTable& DataSet);
  // Fills UtleggTable's new row from ReiseTable's current row.
  // REQUIRES: UtleggTable is inserting or editing (else the field layer throws ENotEditing).
  void UtleggTableNewRecord();

 private:
  using TableMethod = void (TDataFiler::*)(ff::TffTable&);
  // Binds the method to the handler name, so the schema's event runs it.
  void BindTableMethod(const std::string& name, TableMethod method);
  // Copies the named fields of `from`'s current row into `to`'s row.
  // REQUIRES: `to` is inserting or editing.
  static void CopyFields(ff::TffTable& to, const ff::TffTable& from, std::initializer_list<const char*> names);
  static void SetBooleans(ff::TffTable& table, std::initializer_list<const char*> names, bool value);

  // Hours of a time row: normal, overtime at 50 %, overtime at 100 %.
  struct HourSplit {
    double normal = 0;
    double at50 = 0;
    double at100 = 0;
  };
  // Whether a break must lie strictly inside a period or may touch its ends.
  enum class BreakBounds { Strictly, Inclusively };

  // Raises the silent abort unless ConfirmDelete agrees.
  static void ConfirmDeleteOrAbort();
  void RememberTimeRow(const ff::TffTable& row);
  // The split of `hours` worked from `from` to `to` (clock texts) on the weekday of `date`.
  HourSplit SplitHours(double date, const std::string& from, const std::string& to, double hours) const;
  HourSplit SplitWeekdayHours(const std::string& from, const std::string& to, double hours) const;
  HourSplit SplitSaturdayHours(const std::string& from, const std::string& to, double hours) const;
  HourSplit SplitSundayHours(const std::string& from, const std::string& to, double hours) const;
  // `hours` less, one by one, the length of every break that lies between from and to.
  double LessBreaks(double hours, const std::string& from, const std::string& to, BreakBounds bounds) const;
