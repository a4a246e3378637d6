// The table data set: a cursor over one physical table with the classic data-set
// semantics (states, events, silent abort, master-detail, filters, indexes).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/DataSource.h"
#include "store/Field.h"
#include "store/FieldDecl.h"
#include "store/Filter.h"
#include "store/Storage.h"

namespace ff {

class TffSession;
class MasterLink;

enum class DataSetState { Inactive, Browse, Edit, Insert, CalcFields };

class TffTable {
 public:
  using Event = std::function<void(TffTable&)>;

  explicit TffTable(std::string name = {});
  ~TffTable();
  TffTable(const TffTable&) = delete;
  TffTable& operator=(const TffTable&) = delete;

  // Component name (for messages), not the physical table name.
  const std::string& Name() const { return name_; }

  // --- Properties set while closed (setting them while open throws Error). ---
  // "[automatic]" or empty: the default session.
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(const std::string& s);
  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(const std::string& s);
  const std::string& TableName() const { return tableName_; }
  void SetTableName(const std::string& s);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool r);
  // True when open for writing: neither opened read-only nor on a back end that only reads
  // (a firm's .ff2 files). Rows can then be appended, edited and deleted.
  bool CanModify() const { return Active() && !readOnly_ && storage_ && !storage_->ReadOnly(); }
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool e);

  // --- Order. Both may be set open or closed. ---
  const std::string& IndexName() const { return indexName_; }
  // Throws ENotFound when an open table lacks the index (the old order stays).
  void SetIndexName(const std::string& s);
  // "A;B": order by these fields without a named index. Clears IndexName.
  const std::string& IndexFieldNames() const { return indexFieldNames_; }
  void SetIndexFieldNames(const std::string& s);
  // The physical indexes. REQUIRES: open.
  const std::vector<IndexDef>& IndexDefs() const;
  // Adds an index to the physical table. REQUIRES: open exclusively (else throws Error).
  void AddIndex(const std::string& name, const std::string& fields, unsigned options = 0);

  // --- Master-detail: follow the current row of the master's data source. ---
  void SetMasterSource(TDataSource* master);
  TDataSource* MasterSource() const { return masterSource_; }
  // The master's fields, "A;B"; matched to the first fields of the detail's order.
  void SetMasterFields(const std::string& fields);
  const std::string& MasterFields() const { return masterFields_; }

  // --- Filter. ---
  const std::string& Filter() const { return filterText_; }
  // Throws EBadFilter when filtering is on and the text is bad (the old filter stays).
  void SetFilter(const std::string& text);
  bool Filtered() const { return filtered_; }
  // Throws EBadFilter when switched on with a bad text (filtering then stays off).
  void SetFiltered(bool f);

  int Tag() const { return tag_; }
  void SetTag(int t) { tag_ = t; }

  // --- Fields. ---
  // Declares a persistent field. REQUIRES: closed. When any are declared, the data set's
  // fields are exactly these and each data field must exist in the physical table.
  TField& AddField(const FieldDecl& decl);
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Fields(int i) const { return *fields_.at(i); }
  // Throws ENotFound naming the field when the data set has no such field.
  TField& FieldByName(const std::string& name) const;
  TField* FindField(const std::string& name) const;
  // The physical field list. REQUIRES: open.
  const std::vector<FieldDef>& FieldDefs() const;

  // --- Opening. ---
  // Opens the table. Fires BeforeOpen, AfterOpen, then AfterScroll when not empty.
  // Throws ECannotOpen (no such alias, table or declared field; in use), EBadFilter.
  void Open();
  // Closes the table, discarding an unposted edit. Fires BeforeClose, AfterClose.
  void Close();
  bool Active() const { return state_ != DataSetState::Inactive; }
  void SetActive(bool a) { a ? Open() : Close(); }
  DataSetState State() const { return state_; }

  // --- Navigation. Each posts a pending edit first, then fires AfterScroll. ---
  void First();
  void Last();
  void Next();  // at the last row sets Eof and stays
  void Prior();  // at the first row sets Bof and stays
  // Moves by n rows (negative: back); returns the rows actually moved.
  int MoveBy(int n);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const;
  // Rows in the current filter and master range.
  std::int64_t RecordCount();
  // Re-reads the rows, staying on the current row when it still exists.
  void Refresh();
  // True when a row with these values of the current order's first fields exists; it
  // becomes the current row. Otherwise the position is unchanged.
  bool FindKey(const std::vector<Value>& keys);
  // Positions on the row with this id (grids), firing BeforeScroll and AfterScroll as
  // MoveToRecNo does; false when the row no longer exists.
  bool GotoRowId(RowId id);
  RowId CurrentRowId() const { return current_.id; }

  // --- For grids: runs of rows, without moving the current row. ---
  struct RowRun {
    std::vector<std::vector<Value>> rows;  // the data set's fields (calculated ones null)
    std::vector<RowId> ids;
    std::vector<RowKey> ends;  // keys of the first and the last row; empty when no rows
  };
  // Rows in sampled keys of far jumps (see ReadRows).
  static constexpr std::int64_t kSampleRows = 512;
  // Up to `count` rows starting at 0-based position `first` in the current order, filter and
  // master range. Near either end it skips from that end; elsewhere it seeks from the nearest
  // of the keys sampled every kSampleRows rows (sampled once per selection, order and
  // generation), so a jump to the middle of a big table costs a seek and under kSampleRows
  // steps, after the first far jump has paid for the samples.
  RowRun ReadRows(std::int64_t first, int count);
  // Up to `count` rows just after (Forward) or just before (Backward) `key`, in order: the
  // screen after or before one already read costs the same anywhere in the table.
  RowRun ReadRowsFrom(const RowKey& key, ScanDirection dir, int count);
  // Changes whenever the rows of the physical table change (see TableStorage::Generation).
  // REQUIRES: open.
  std::uint64_t Generation() const;
  // 0-based position of the current row; -1 when there is none.
  std::int64_t RecNo();
  // Makes the row at 0-based position `index` current (fires AfterScroll); false when out of range.
  bool MoveToRecNo(std::int64_t index);

  // --- Changes. ---
  // Appends a new row: BeforeInsert, (defaults, master values), OnNewRecord, AfterInsert,
  // AfterScroll. Insert behaves the same (rows have no physical position to insert at).
  void Append();
  void Insert() { Append(); }
  // BeforeEdit, AfterEdit. Throws EReadOnly.
  void Edit();
  // BeforePost, write, AfterPost; does nothing while browsing. Throws ERequired,
  // EKeyViolation. The write is durable when Post returns; the row stays current.
  void Post();
  // Posts between these two become durable together when the outermost EndWriteGroup returns:
  // one write to the disk instead of one per post. A crash before then loses all of the
  // group's posts. Other handles on the same table in this process join the group. Both do
  // nothing on a read-only table. REQUIRES: open, and still open at EndWriteGroup.
  void BeginWriteGroup();
  void EndWriteGroup();
  // BeforeCancel, discard, AfterCancel.
  void Cancel();
  // BeforeDelete, remove, AfterDelete, AfterScroll. Throws EReadOnly, Error when empty.
  void Delete();
  bool Modified() const { return modified_; }

  // --- Controls. ---
  // Nested; while disabled, data links (grids, detail tables) are not told of changes.
  void DisableControls();
  // Ends one DisableControls; at the outermost, links are told everything changed.
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }

  // Data sources attach themselves here.
  void AttachSource(TDataSource* src);
  void DetachSource(TDataSource* src);

  // --- Events (a Before* handler cancels the operation by raising EAbort). ---
  Event BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  Event BeforeInsert, OnNewRecord, AfterInsert;
  Event BeforeEdit, AfterEdit, BeforePost, AfterPost;
  Event BeforeCancel, AfterCancel, BeforeDelete, AfterDelete;
  Event BeforeScroll, AfterScroll, OnCalcFields;

  // Used by fields.
  const Value& CurrentValue(int fieldIndex) const;
  void WriteValue(TField& field, const Value& v);
  // Used by the master link when the master moves.
  void MasterChanged();

 private:
  friend class TField;
  struct Cursor;

  void bindFields();
  RowSelection selection() const;
  void updateMasterRange();
  std::int64_t countRows();
  RowOrder order() const;
  RowKey keyOf(const Row& row) const;
  // Makes row the current row without copying it; row is left holding the previous one.
  void takeRow(Row& row);
  void clearRow();
  bool fetchFirst(ScanDirection dir);
  bool step(ScanDirection dir);
  void resetCursor();
  void checkBrowse();
  void checkActive() const;
  void checkClosed(const char* what) const;
  void applyDefaults();
  void calculateFields();
  void notify(void (DataLink::*event)());
  void notifyRecordChanged(TField* field);
  void fire(const Event& e);
  void scrolled();
  std::vector<Value> physicalValues() const;
  // Reads up to count rows of cursor (after skipping `skip`) into a run, in the order given.
  RowRun readRun(RowCursor& cursor, std::int64_t skip, int count) const;
  const std::vector<RowKey>& sampledKeys();
  std::optional<FilterExpression> parseFilterIfOn(const std::string& text, bool on) const;
  void resolveOrder();
  // Switches to a named index or an order by fields; on failure the old order stays.
  void changeOrder(const std::string& indexName, const std::string& fieldNames);
  void checkRequired() const;

  std::string name_;
  std::string sessionName_ = "[automatic]";
  std::string databaseName_;
  std::string tableName_;
  bool readOnly_ = false;
  bool exclusive_ = false;
  std::string indexName_;
  std::string indexFieldNames_;
  TDataSource* masterSource_ = nullptr;
  std::string masterFields_;
  std::unique_ptr<MasterLink> masterLink_;
  // The master's key values the detail currently follows (kept while the source is off).
  std::vector<std::pair<int, Value>> masterRange_;
  std::string filterText_;
  bool filtered_ = false;
  std::optional<FilterExpression> filter_;
  int tag_ = 0;

  std::vector<std::unique_ptr<TField>> fields_;
  bool declaredFields_ = false;
  std::vector<int> physicalIndex_;  // data set field -> physical field, -1 for calculated
  std::unique_ptr<TableStorage> storage_;
  std::vector<int> orderFields_;  // physical field indexes of the current order
  unsigned orderOptions_ = 0;

  DataSetState state_ = DataSetState::Inactive;
  Row current_;                      // the current row's physical values
  Row spareRow_;                     // read into by steps, finds and first rows: they need not allocate
  std::vector<Value> buffer_;        // data set field values of the current row
  std::vector<Value> savedBuffer_;   // values before Edit/Insert, for Cancel
  bool hasRow_ = false;
  bool eof_ = true;
  bool bof_ = true;
  bool modified_ = false;
  std::unique_ptr<RowCursor> forward_, backward_;
  std::uint64_t cursorGeneration_ = 0;
  // RecordCount of the current selection, kept while neither it nor the rows change.
  std::optional<std::int64_t> countCache_;
  std::uint64_t countGeneration_ = 0;
  // Keys of every kSampleRows-th row, and what they were sampled for.
  struct KeySamples {
    std::vector<RowKey> keys;
    std::uint64_t generation = 0;
    std::vector<int> orderFields;
    unsigned orderOptions = 0;
    std::string filter;
    std::vector<std::pair<int, Value>> range;
  };
  std::optional<KeySamples> samples_;
  int disableCount_ = 0;
  bool changedWhileDisabled_ = false;
  std::vector<TDataSource*> sources_;
};

}  // namespace ff
