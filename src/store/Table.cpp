#include "store/Table.h"

#include <algorithm>
#include <utility>

#include "store/DataSetValue.h"
#include "store/Errors.h"
#include "store/Session.h"

namespace ff {

// Follows the master's data source and tells the detail when the master moves.
class MasterLink : public DataLink {
 public:
  explicit MasterLink(TffTable& detail) : detail_(detail) {}
  void ActiveChanged() override { detail_.MasterChanged(); }
  void DataSetChanged() override { detail_.MasterChanged(); }
  void DataSetScrolled() override { detail_.MasterChanged(); }
  void SourceDestroyed() override { detail_.SetMasterSource(nullptr); }

 private:
  TffTable& detail_;
};

namespace {

const Value kNull{};

// Restores a flag when leaving a scope, also by an exception.
class StateGuard {
 public:
  StateGuard(DataSetState& state, DataSetState temporary) : state_(state), saved_(state) { state_ = temporary; }
  ~StateGuard() { state_ = saved_; }

 private:
  DataSetState& state_;
  DataSetState saved_;
};

}  // namespace

TffTable::TffTable(std::string name) : name_(std::move(name)) {}

TffTable::~TffTable() {
  SetMasterSource(nullptr);
  forward_.reset();
  backward_.reset();
  storage_.reset();
  const auto sources = sources_;
  for (TDataSource* src : sources) src->DataSetDestroyed();
}

void TffTable::checkClosed(const char* what) const {
  if (Active()) throw Error(std::string("Kan ikke endre ") + what + " mens tabellen " + tableName_ + " er åpen");
}

void TffTable::checkActive() const {
  if (!Active()) throw Error("Tabellen " + (tableName_.empty() ? name_ : tableName_) + " er ikke åpen");
}

void TffTable::SetSessionName(const std::string& s) {
  checkClosed("sesjon");
  sessionName_ = s;
}

void TffTable::SetDatabaseName(const std::string& s) {
  checkClosed("databasenavn");
  databaseName_ = s;
}

void TffTable::SetTableName(const std::string& s) {
  checkClosed("tabellnavn");
  tableName_ = s;
}

void TffTable::SetReadOnly(bool r) {
  checkClosed("skrivebeskyttelse");
  readOnly_ = r;
}

void TffTable::SetExclusive(bool e) {
  checkClosed("eksklusiv tilgang");
  exclusive_ = e;
}

// --- Fields ---

TField& TffTable::AddField(const FieldDecl& decl) {
  checkClosed("felt");
  if (FindField(decl.name)) throw Error("Feltet " + decl.name + " er oppgitt to ganger");
  if (!declaredFields_) fields_.clear();
  declaredFields_ = true;
  fields_.push_back(std::make_unique<TField>(*this, decl, static_cast<int>(fields_.size())));
  return *fields_.back();
}

TField* TffTable::FindField(const std::string& name) const {
  for (const auto& f : fields_) {
    if (sameName(f->FieldName(), name)) return f.get();
  }
  return nullptr;
}

TField& TffTable::FieldByName(const std::string& name) const {
  if (TField* f = FindField(name)) return *f;
  throw ENotFound("Feltet " + name + " finnes ikke i " + (tableName_.empty() ? name_ : tableName_));
}

const std::vector<FieldDef>& TffTable::FieldDefs() const {
  checkActive();
  return storage_->Fields();
}

const std::vector<IndexDef>& TffTable::IndexDefs() const {
  checkActive();
  return storage_->Indexes();
}

void TffTable::bindFields() {
  const auto& defs = storage_->Fields();
  physicalIndex_.clear();
  if (!declaredFields_) {
    fields_.clear();
    for (const FieldDef& def : defs) {
      FieldDecl decl;
      decl.name = def.name;
      decl.type = def.type;
      decl.size = def.size;
      decl.required = def.required;
      fields_.push_back(std::make_unique<TField>(*this, std::move(decl), static_cast<int>(fields_.size())));
      physicalIndex_.push_back(static_cast<int>(physicalIndex_.size()));
    }
    return;
  }
  for (const auto& f : fields_) {
    if (f->Calculated()) {
      physicalIndex_.push_back(-1);
      continue;
    }
    const int idx = physicalFieldIndex(defs, f->FieldName());
    if (idx < 0) {
      throw ECannotOpen("Feltet " + f->FieldName() + " finnes ikke i tabellen " + tableName_);
    }
    physicalIndex_.push_back(idx);
  }
}

// --- Order ---

void TffTable::resolveOrder() {
  orderFields_.clear();
  orderOptions_ = 0;
  if (!indexName_.empty()) {
    const auto& ixs = storage_->Indexes();
    const auto it = std::find_if(ixs.begin(), ixs.end(), [&](const IndexDef& ix) { return sameName(ix.name, indexName_); });
    if (it == ixs.end()) throw ENotFound("Indeksen " + indexName_ + " finnes ikke i tabellen " + tableName_);
    for (const auto& name : it->fields) orderFields_.push_back(physicalFieldIndex(storage_->Fields(), name));
    orderOptions_ = it->options;
    return;
  }
  for (const auto& name : splitFieldList(indexFieldNames_)) {
    const int idx = physicalFieldIndex(storage_->Fields(), name);
    if (idx < 0) throw ENotFound("Feltet " + name + " finnes ikke i tabellen " + tableName_);
    orderFields_.push_back(idx);
  }
}

void TffTable::SetIndexName(const std::string& s) { changeOrder(s, {}); }

void TffTable::SetIndexFieldNames(const std::string& s) { changeOrder({}, s); }

void TffTable::changeOrder(const std::string& indexName, const std::string& fieldNames) {
  const std::string oldName = indexName_, oldFields = indexFieldNames_;
  indexName_ = indexName;
  indexFieldNames_ = fieldNames;
  if (!Active()) return;
  try {
    resolveOrder();
  } catch (...) {
    indexName_ = oldName;
    indexFieldNames_ = oldFields;
    resolveOrder();
    throw;
  }
  resetCursor();
  notify(&DataLink::DataSetChanged);
}

void TffTable::AddIndex(const std::string& name, const std::string& fields, unsigned options) {
  checkActive();
  if (!exclusive_) throw Error("Tabellen " + tableName_ + " må være åpnet eksklusivt for å lage indeks " + name);
  storage_->AddIndex({name, splitFieldList(fields), options});
}

RowOrder TffTable::order() const {
  return {orderFields_, (orderOptions_ & ixDescending) != 0, (orderOptions_ & ixCaseInsensitive) != 0};
}

RowKey TffTable::keyOf(const Row& row) const { return KeyOf(row, order()); }

// --- Master-detail ---

void TffTable::SetMasterSource(TDataSource* master) {
  if (masterSource_ == master) return;
  if (masterSource_ && masterLink_) masterSource_->RemoveLink(masterLink_.get());
  masterSource_ = master;
  if (!masterSource_) {
    masterLink_.reset();
    masterRange_.clear();
    return;
  }
  if (!masterLink_) masterLink_ = std::make_unique<MasterLink>(*this);
  masterSource_->AddLink(masterLink_.get());
  if (Active()) MasterChanged();
}

void TffTable::SetMasterFields(const std::string& fields) {
  masterFields_ = fields;
  if (Active() && masterSource_) MasterChanged();
}

void TffTable::MasterChanged() {
  if (!Active() || state_ == DataSetState::CalcFields) return;
  TffTable* master = masterSource_ ? masterSource_->DataSet() : nullptr;
  if (master && master->ControlsDisabled()) return;
  checkBrowse();
  updateMasterRange();
  First();
}

RowSelection TffTable::selection() const {
  RowSelection sel;
  sel.filter = filter_ ? &*filter_ : nullptr;
  sel.equal = masterRange_;
  return sel;
}

void TffTable::updateMasterRange() {
  countCache_.reset();
  masterRange_.clear();
  TffTable* master = masterSource_ ? masterSource_->DataSet() : nullptr;
  if (!master || !master->Active()) return;
  const auto names = splitFieldList(masterFields_);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const int detailField = i < orderFields_.size() ? orderFields_[i] : physicalFieldIndex(storage_->Fields(), names[i]);
    if (detailField < 0) throw ENotFound("Feltet " + names[i] + " finnes ikke i tabellen " + tableName_);
    masterRange_.emplace_back(detailField, master->FieldByName(names[i]).AsValue());
  }
}

// --- Filter ---

std::optional<FilterExpression> TffTable::parseFilterIfOn(const std::string& text, bool on) const {
  if (!on || text.find_first_not_of(" \t") == std::string::npos) return std::nullopt;
  FilterExpression expr = FilterExpression::Parse(text);
  if (storage_) {
    std::vector<Value> params;
    expr.ToSql(
        [&](const std::string& name) -> std::optional<FilterColumn> {
          const int idx = physicalFieldIndex(storage_->Fields(), name);
          if (idx < 0) return std::nullopt;
          return FilterColumn{"c" + std::to_string(idx), storage_->Fields()[static_cast<std::size_t>(idx)].type};
        },
        params);
  }
  return expr;
}

void TffTable::SetFilter(const std::string& text) {
  auto parsed = parseFilterIfOn(text, filtered_ && Active());
  filterText_ = text;
  if (!filtered_ || !Active()) return;
  filter_ = std::move(parsed);
  countCache_.reset();
  First();
}

void TffTable::SetFiltered(bool f) {
  if (f == filtered_) return;
  if (!Active()) {
    filtered_ = f;
    return;
  }
  filter_ = parseFilterIfOn(filterText_, f);
  filtered_ = f;
  countCache_.reset();
  First();
}

// --- Opening ---

void TffTable::Open() {
  if (Active()) return;
  fire(BeforeOpen);
  TffSession* session = TffSession::FindSession(sessionName_);
  if (!session) throw ECannotOpen("Sesjonen " + sessionName_ + " finnes ikke");
  storage_ = session->OpenTable(databaseName_, tableName_, {readOnly_, exclusive_});
  try {
    bindFields();
    resolveOrder();
    updateMasterRange();
    filter_ = parseFilterIfOn(filterText_, filtered_);
  } catch (...) {
    storage_.reset();
    if (!declaredFields_) fields_.clear();
    throw;
  }
  buffer_.assign(fields_.size(), Value{});
  state_ = DataSetState::Browse;
  fetchFirst(ScanDirection::Forward);
  bof_ = true;
  fire(AfterOpen);
  notify(&DataLink::ActiveChanged);
  if (hasRow_) fire(AfterScroll);
}

void TffTable::Close() {
  if (!Active()) return;
  fire(BeforeClose);
  forward_.reset();
  backward_.reset();
  storage_.reset();
  countCache_.reset();
  state_ = DataSetState::Inactive;
  hasRow_ = false;
  eof_ = bof_ = true;
  modified_ = false;
  current_ = Row{};
  buffer_.clear();
  if (!declaredFields_) fields_.clear();
  fire(AfterClose);
  notify(&DataLink::ActiveChanged);
}

// --- Rows ---

const Value& TffTable::CurrentValue(int fieldIndex) const {
  if (fieldIndex < 0 || static_cast<std::size_t>(fieldIndex) >= buffer_.size()) return kNull;
  return buffer_[static_cast<std::size_t>(fieldIndex)];
}

void TffTable::takeRow(Row& row) {
  std::swap(current_, row);
  hasRow_ = true;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const int p = physicalIndex_[i];
    const auto& values = current_.values;
    // Assigned, not built and moved: a string keeps the room it has.
    if (p >= 0 && static_cast<std::size_t>(p) < values.size()) {
      buffer_[i] = values[static_cast<std::size_t>(p)];
    } else {
      buffer_[i] = Value{};
    }
  }
  calculateFields();
}

void TffTable::clearRow() {
  current_ = Row{};
  hasRow_ = false;
  std::fill(buffer_.begin(), buffer_.end(), Value{});
}

void TffTable::calculateFields() {
  const bool anyCalculated = std::any_of(fields_.begin(), fields_.end(), [](const auto& f) { return f->Calculated(); });
  if (!anyCalculated) return;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i]->Calculated()) buffer_[i] = Value{};
  }
  if (!OnCalcFields) return;
  StateGuard guard(state_, DataSetState::CalcFields);
  OnCalcFields(*this);
}

void TffTable::resetCursor() {
  forward_.reset();
  backward_.reset();
}

bool TffTable::fetchFirst(ScanDirection dir) {
  resetCursor();
  auto& cursor = dir == ScanDirection::Forward ? forward_ : backward_;
  cursor = storage_->Scan(selection(), order(), std::nullopt, dir);
  if (cursor->Next(spareRow_)) {
    takeRow(spareRow_);
    eof_ = bof_ = false;
    return true;
  }
  clearRow();
  eof_ = bof_ = true;
  return false;
}

bool TffTable::step(ScanDirection dir) {
  if (!hasRow_) return false;
  auto& cursor = dir == ScanDirection::Forward ? forward_ : backward_;
  auto& other = dir == ScanDirection::Forward ? backward_ : forward_;
  if (!cursor) cursor = storage_->Scan(selection(), order(), keyOf(current_), dir);
  if (!cursor->Next(spareRow_)) return false;
  other.reset();
  takeRow(spareRow_);  // the row left in spareRow_ lends its room to the next step
  return true;
}

void TffTable::scrolled() {
  notify(&DataLink::DataSetScrolled);
  fire(AfterScroll);
}

void TffTable::checkBrowse() {
  checkActive();
  if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) {
    if (modified_) {
      Post();
    } else {
      Cancel();
    }
  }
}

void TffTable::First() {
  checkBrowse();
  fire(BeforeScroll);
  fetchFirst(ScanDirection::Forward);
  bof_ = true;
  notify(&DataLink::DataSetChanged);
  fire(AfterScroll);
}

void TffTable::Last() {
  checkBrowse();
  fire(BeforeScroll);
  fetchFirst(ScanDirection::Backward);
  eof_ = true;
  notify(&DataLink::DataSetChanged);
  fire(AfterScroll);
}

int TffTable::MoveBy(int n) {
  checkBrowse();
  if (n == 0 || (n > 0 && eof_) || (n < 0 && bof_)) return 0;
  fire(BeforeScroll);
  const ScanDirection dir = n > 0 ? ScanDirection::Forward : ScanDirection::Backward;
  int moved = 0;
  while (moved < std::abs(n) && step(dir)) ++moved;
  if (moved < std::abs(n)) (n > 0 ? eof_ : bof_) = true;
  if (moved > 0) {
    (n > 0 ? bof_ : eof_) = false;
    scrolled();
  }
  return moved;
}

void TffTable::Next() { MoveBy(1); }

void TffTable::Prior() { MoveBy(-1); }

bool TffTable::IsEmpty() const { return !hasRow_ && state_ != DataSetState::Insert; }

std::int64_t TffTable::RecordCount() {
  checkActive();
  return countRows();
}

std::int64_t TffTable::countRows() {
  if (!countCache_ || countGeneration_ != storage_->Generation()) {
    countCache_ = storage_->Count(selection());
    countGeneration_ = storage_->Generation();
  }
  return *countCache_;
}

void TffTable::Refresh() {
  checkBrowse();
  resetCursor();
  countCache_.reset();
  storage_->Refresh();
  Row row;
  if (hasRow_ && storage_->Read(current_.id, row)) {
    takeRow(row);
  } else {
    fetchFirst(ScanDirection::Forward);
  }
  notify(&DataLink::DataSetChanged);
}

void TffTable::BeginWriteGroup() {
  checkActive();
  if (!storage_->ReadOnly()) storage_->BeginBulk();
}

void TffTable::EndWriteGroup() {
  checkActive();
  if (!storage_->ReadOnly()) storage_->EndBulk();
}

bool TffTable::FindKey(const std::vector<Value>& keys) {
  checkBrowse();
  if (orderFields_.size() < keys.size()) {
    throw Error("Tabellen " + tableName_ + " har ingen indeks med " + std::to_string(keys.size()) + " felt");
  }
  RowSelection sel = selection();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const FieldType t = storage_->Fields()[static_cast<std::size_t>(orderFields_[i])].type;
    Value key = keys[i];
    if (storageClassOf(t) == StorageClass::Text && !isNull(key)) key = Value{valueToString(key)};
    sel.equal.emplace_back(orderFields_[i], key);
  }
  if (!storage_->Scan(sel, order(), std::nullopt, ScanDirection::Forward)->Next(spareRow_)) return false;
  Row row = std::move(spareRow_);  // a BeforeScroll handler stepping this table reads into spareRow_
  fire(BeforeScroll);
  resetCursor();
  takeRow(row);
  spareRow_ = std::move(row);  // the row left lends its room to the next read
  eof_ = bof_ = false;
  scrolled();
  return true;
}

bool TffTable::GotoRowId(RowId id) {
  checkBrowse();
  Row row;
  if (!storage_->Read(id, row)) return false;
  fire(BeforeScroll);
  resetCursor();
  takeRow(row);
  eof_ = bof_ = false;
  scrolled();
  return true;
}

TffTable::RowRun TffTable::readRun(RowCursor& cursor, std::int64_t skip, int count) const {
  RowRun run;
  Row row;
  for (; skip > 0 && cursor.Next(row); --skip) {
  }
  while (static_cast<int>(run.rows.size()) < count && cursor.Next(row)) {
    std::vector<Value> values(fields_.size());
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      if (physicalIndex_[i] >= 0) values[i] = asDataSetValue(row.values.at(static_cast<std::size_t>(physicalIndex_[i])));
    }
    if (run.ends.size() < 2) run.ends.resize(2);
    if (run.rows.empty()) run.ends.front() = keyOf(row);
    run.ends.back() = keyOf(row);
    run.rows.push_back(std::move(values));
    run.ids.push_back(row.id);
  }
  return run;
}

namespace {

// Puts a run read against the order into order.
void reverseRun(TffTable::RowRun& run) {
  std::reverse(run.rows.begin(), run.rows.end());
  std::reverse(run.ids.begin(), run.ids.end());
  std::reverse(run.ends.begin(), run.ends.end());
}

}  // namespace

const std::vector<RowKey>& TffTable::sampledKeys() {
  KeySamples wanted;
  wanted.generation = storage_->Generation();
  wanted.orderFields = orderFields_;
  wanted.orderOptions = orderOptions_;
  wanted.filter = filter_ ? filterText_ : "";
  wanted.range = masterRange_;
  const bool same = samples_ && samples_->generation == wanted.generation && samples_->orderFields == wanted.orderFields &&
                    samples_->orderOptions == wanted.orderOptions && samples_->filter == wanted.filter &&
                    samples_->range == wanted.range;
  if (!same) {
    wanted.keys = storage_->SampleKeys(selection(), order(), kSampleRows);
    samples_ = std::move(wanted);
  }
  return samples_->keys;
}

TffTable::RowRun TffTable::ReadRows(std::int64_t first, int count) {
  checkActive();
  const std::int64_t total = countRows();
  if (first < 0 || count <= 0 || first >= total) return {};
  const std::int64_t fromEnd = total - std::min(total, first + count);
  if (fromEnd < first && fromEnd < kSampleRows) {
    RowRun run = readRun(*storage_->ScanAt(selection(), order(), fromEnd, ScanDirection::Backward), 0,
                         static_cast<int>(std::min<std::int64_t>(count, total - first)));
    reverseRun(run);
    return run;
  }
  if (first < kSampleRows) return readRun(*storage_->ScanAt(selection(), order(), first, ScanDirection::Forward), 0, count);
  const std::vector<RowKey>& keys = sampledKeys();
  const auto sample = static_cast<std::size_t>(std::min<std::int64_t>(first / kSampleRows, static_cast<std::int64_t>(keys.size())));
  const std::int64_t skip = first - static_cast<std::int64_t>(sample) * kSampleRows;
  if (sample == 0) return readRun(*storage_->ScanAt(selection(), order(), first, ScanDirection::Forward), 0, count);
  return readRun(*storage_->Scan(selection(), order(), keys[sample - 1], ScanDirection::Forward), skip, count);
}

TffTable::RowRun TffTable::ReadRowsFrom(const RowKey& key, ScanDirection dir, int count) {
  checkActive();
  RowRun run = readRun(*storage_->Scan(selection(), order(), key, dir), 0, count);
  if (dir == ScanDirection::Backward) reverseRun(run);
  return run;
}

std::uint64_t TffTable::Generation() const {
  checkActive();
  return storage_->Generation();
}

std::int64_t TffTable::RecNo() {
  checkActive();
  if (!hasRow_) return -1;
  return storage_->CountBefore(selection(), order(), keyOf(current_));
}

bool TffTable::MoveToRecNo(std::int64_t index) {
  checkBrowse();
  if (index < 0) return false;
  Row row;
  if (!storage_->ScanAt(selection(), order(), index, ScanDirection::Forward)->Next(row)) return false;
  fire(BeforeScroll);
  resetCursor();
  takeRow(row);
  eof_ = bof_ = false;
  scrolled();
  return true;
}

// --- Changes ---

void TffTable::applyDefaults() {
  for (auto& f : fields_) {
    if (!f->DefaultExpression().empty() && !f->Calculated()) f->SetEditText(f->DefaultExpression());
  }
}

void TffTable::Append() {
  checkBrowse();
  if (readOnly_ || storage_->ReadOnly()) throw EReadOnly("Tabellen " + tableName_ + " er skrivebeskyttet");
  fire(BeforeInsert);
  fire(BeforeScroll);
  // The row current before the insert stays in current_, so Cancel can return to it.
  savedBuffer_ = buffer_;
  resetCursor();
  std::fill(buffer_.begin(), buffer_.end(), Value{});
  state_ = DataSetState::Insert;
  try {
    for (const auto& [field, value] : masterRange_) {
      for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (physicalIndex_[i] == field) buffer_[i] = value;
      }
    }
    applyDefaults();
    fire(OnNewRecord);
  } catch (...) {
    state_ = DataSetState::Browse;
    buffer_ = savedBuffer_;
    throw;
  }
  modified_ = false;
  calculateFields();
  notify(&DataLink::EditingChanged);
  notify(&DataLink::DataSetChanged);
  fire(AfterInsert);
  fire(AfterScroll);
}

void TffTable::Edit() {
  checkActive();
  if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) return;
  if (!hasRow_) {
    Append();
    return;
  }
  if (readOnly_ || storage_->ReadOnly()) throw EReadOnly("Tabellen " + tableName_ + " er skrivebeskyttet");
  fire(BeforeEdit);
  Row fresh;
  if (!storage_->Read(current_.id, fresh)) throw Error("Posten er slettet av en annen bruker (" + tableName_ + ")");
  takeRow(fresh);
  savedBuffer_ = buffer_;
  state_ = DataSetState::Edit;
  modified_ = false;
  notify(&DataLink::EditingChanged);
  fire(AfterEdit);
}

void TffTable::WriteValue(TField& field, const Value& v) {
  const bool calcState = state_ == DataSetState::CalcFields;
  if (calcState && !field.Calculated()) throw ENotEditing("Kan bare sette beregnede felt nå: " + field.FieldName());
  if (!calcState && state_ != DataSetState::Edit && state_ != DataSetState::Insert) {
    if (readOnly_ || (storage_ && storage_->ReadOnly())) throw EReadOnly("Tabellen " + tableName_ + " er skrivebeskyttet");
    throw ENotEditing("Tabellen " + (tableName_.empty() ? name_ : tableName_) + " er ikke i redigeringsmodus (felt " +
                      field.FieldName() + ")");
  }
  buffer_.at(static_cast<std::size_t>(field.Index())) = v;
  if (calcState) return;
  if (!field.Calculated()) modified_ = true;
  calculateFields();
  notifyRecordChanged(&field);
  if (field.OnChange) field.OnChange(field);
}

std::vector<Value> TffTable::physicalValues() const {
  std::vector<Value> values = state_ == DataSetState::Insert ? std::vector<Value>() : current_.values;
  values.resize(storage_->Fields().size());
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (physicalIndex_[i] >= 0) values[static_cast<std::size_t>(physicalIndex_[i])] = buffer_[i];
  }
  return values;
}

void TffTable::checkRequired() const {
  for (const auto& f : fields_) {
    if (f->Required() && !f->Calculated() && f->IsNull()) {
      throw ERequired("Feltet '" + f->DisplayLabel() + "' må ha en verdi");
    }
  }
}

void TffTable::Post() {
  checkActive();
  if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
  fire(BeforePost);
  checkRequired();
  const std::vector<Value> values = physicalValues();
  RowId id = current_.id;
  if (state_ == DataSetState::Insert) {
    id = storage_->Insert(values);
  } else {
    storage_->Update(id, values);
  }
  state_ = DataSetState::Browse;
  modified_ = false;
  resetCursor();
  Row row;
  if (storage_->Read(id, row)) takeRow(row);
  eof_ = bof_ = false;
  notify(&DataLink::EditingChanged);
  notify(&DataLink::DataSetChanged);
  fire(AfterPost);
}

void TffTable::Cancel() {
  checkActive();
  if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
  fire(BeforeCancel);
  state_ = DataSetState::Browse;
  modified_ = false;
  buffer_ = savedBuffer_;
  Row row;
  if (hasRow_ && storage_->Read(current_.id, row)) {
    takeRow(row);
  } else {
    fetchFirst(ScanDirection::Forward);
  }
  notify(&DataLink::EditingChanged);
  notify(&DataLink::DataSetChanged);
  fire(AfterCancel);
}

void TffTable::Delete() {
  checkActive();
  if (state_ == DataSetState::Insert) {
    Cancel();
    return;
  }
  if (!hasRow_) throw Error("Kan ikke slette: tabellen " + tableName_ + " er tom");
  if (readOnly_ || storage_->ReadOnly()) throw EReadOnly("Tabellen " + tableName_ + " er skrivebeskyttet");
  fire(BeforeDelete);
  fire(BeforeScroll);
  const RowKey gone = keyOf(current_);
  storage_->Remove(current_.id);
  state_ = DataSetState::Browse;
  modified_ = false;
  resetCursor();
  Row row;
  forward_ = storage_->Scan(selection(), order(), gone, ScanDirection::Forward);
  if (forward_->Next(row)) {
    takeRow(row);
    eof_ = bof_ = false;
  } else {
    forward_.reset();
    backward_ = storage_->Scan(selection(), order(), gone, ScanDirection::Backward);
    if (backward_->Next(row)) {
      takeRow(row);
      bof_ = false;
      eof_ = true;
    } else {
      clearRow();
      eof_ = bof_ = true;
    }
  }
  notify(&DataLink::DataSetChanged);
  fire(AfterDelete);
  fire(AfterScroll);
}

// --- Controls and notification ---

void TffTable::DisableControls() { ++disableCount_; }

void TffTable::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ == 0) notify(&DataLink::DataSetChanged);
}

void TffTable::AttachSource(TDataSource* src) {
  if (std::find(sources_.begin(), sources_.end(), src) == sources_.end()) sources_.push_back(src);
}

void TffTable::DetachSource(TDataSource* src) { std::erase(sources_, src); }

void TffTable::notify(void (DataLink::*event)()) {
  if (ControlsDisabled()) return;
  const auto sources = sources_;
  for (TDataSource* src : sources) src->Notify(event);
}

void TffTable::notifyRecordChanged(TField* field) {
  if (ControlsDisabled()) return;
  const auto sources = sources_;
  for (TDataSource* src : sources) src->NotifyRecordChanged(field);
}

void TffTable::fire(const Event& e) {
  if (e) e(*this);
}

}  // namespace ff
