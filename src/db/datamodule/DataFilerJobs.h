// Members of TDataFiler for the rules of job register and next-job scheduling.
// Included inside the class body of TDataFiler (db/datamodule/datafile.h); declarations only.
// Defined in src/rules/, which binds them through BindBusinessRules; the data module never
// calls them.

 public:
  // Binds this area's handlers to the names the schema gives them.
  void BindJobRules();

  // SORTERING := cabinet "." component "." sort number padded to three digits; a cabinet's
  // own row (component "#") gets the cabinet and three blanks, and SORTERNR -1.
  void KabelTableBeforePost(ff::TffTable& DataSet);
  void KabelTableBeforeDelete(ff::TffTable& DataSet);
  // A new job belongs to Utstyrtable's current equipment.
  void JobbTableNewRecord(ff::TffTable& DataSet);
  void JobbTableBeforeDelete(ff::TffTable& DataSet);
  // A new part belongs to ProsjektTable's current project.
  void SystemTableNewRecord(ff::TffTable& DataSet);
  void SystemTableBeforeDelete(ff::TffTable& DataSet);

  // Shows the jobs of one piece of equipment: filters JobbTable on UTSTYRNR (an empty text
  // counts as "0"). Returns whether the job list is now filtered that way; failures are
  // reported by the table helper routines.
  bool SettJobbNummer(const std::string& equipmentNo);
  // Copies JobbTable's current job into TidTable's current row.
  // REQUIRES: TidTable is inserting or editing (else the field layer throws ENotEditing).
  void LagJobb();
  // Marks TidTable's current row done and, when its job is in its equipment's job list,
  // appends and posts the job's next time row one interval later, off weekends. A row
  // already done, a missing row or a failed mark changes nothing more. Failures of the
  // append and post pass to the caller as the table layer's exceptions.
  void SetNesteJObb(QObject* Sender);
  // The action "mark done": SetTidUtfort.
  void MerkUtfortExecute(QObject* Sender);
  // The action "mark done and schedule the next": SetNesteJObb.
  void MerkUtfortogNyExecute(QObject* Sender);

 private:
  // Moves JobbTable to the first job numbered jobNo; false when there is none.
  bool FindJob(std::int64_t jobNo);
  // Appends and posts the next time row of JobbTable's current job, numbered jobNo.
  void ScheduleNextJob(std::int64_t jobNo);
