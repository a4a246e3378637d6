#include "app/DataSetModel.h"

#include <algorithm>
#include <climits>

#include "store/DataSource.h"
#include "store/Errors.h"
#include "store/Field.h"
#include "store/Table.h"
#include "settings/windows/Application.h"

namespace {

bool isNumeric(ff::FieldType t) {
  const ff::StorageClass c = ff::storageClassOf(t);
  return t != ff::FieldType::Boolean && (c == ff::StorageClass::Integer || c == ff::StorageClass::Real) &&
         t != ff::FieldType::Date && t != ff::FieldType::Time && t != ff::FieldType::DateTime;
}

// The silent abort ends quietly; any other failure is shown.
template <typename Fn>
bool reportFailure(Fn&& fn) {
  try {
    fn();
    return true;
  } catch (const ff::EAbort&) {
    return false;
  } catch (const std::exception& e) {
    TApplication::ShowException(e.what());
    return false;
  }
}

}  // namespace

class DataSetModel::Link : public ff::DataLink {
 public:
  explicit Link(DataSetModel& model) : model_(model) {}
  void ActiveChanged() override { model_.reset(); }
  void DataSetChanged() override { model_.reset(); }
  void DataSetScrolled() override { model_.currentMoved(); }
  void RecordChanged(ff::TField*) override { model_.currentRowEdited(); }
  void EditingChanged() override { model_.currentRowEdited(); }
  void SourceDestroyed() override { model_.sourceGone(); }

 private:
  DataSetModel& model_;
};

DataSetModel::DataSetModel(ff::TDataSource& source, QObject* parent)
    : NavigableModel(parent), source_(&source), link_(std::make_unique<Link>(*this)) {
  source_->AddLink(link_.get());
  reset();
}

DataSetModel::~DataSetModel() {
  if (source_) source_->RemoveLink(link_.get());
}

ff::TffTable* DataSetModel::dataSet() const { return source_ ? source_->DataSet() : nullptr; }

ff::TffTable* DataSetModel::table() const {
  ff::TffTable* t = dataSet();
  return t && t->Active() ? t : nullptr;
}

// --- Following the data set ---

void DataSetModel::reset() {
  beginResetModel();
  windows_.clear();
  currentRow_.reset();
  columns_.clear();
  count_ = 0;
  if (ff::TffTable* t = table()) {
    for (int i = 0; i < t->FieldCount(); ++i) {
      if (t->Fields(i).Visible()) columns_.push_back(i);
    }
    count_ = t->RecordCount();
  }
  endResetModel();
  emit stateChanged();
}

void DataSetModel::currentMoved() {
  const std::optional<std::int64_t> old = currentRow_;
  currentRow_.reset();
  if (old) emitRowChanged(static_cast<int>(*old));
  emitRowChanged(currentRow());
  emit stateChanged();
}

void DataSetModel::currentRowEdited() {
  emitRowChanged(currentRow());
  emit stateChanged();
}

void DataSetModel::sourceGone() {
  beginResetModel();
  source_ = nullptr;
  windows_.clear();
  columns_.clear();
  count_ = 0;
  currentRow_.reset();
  endResetModel();
  emit stateChanged();
}

void DataSetModel::emitRowChanged(int row) {
  if (row >= 0 && row < rowCount() && !columns_.empty()) {
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
  }
}

// --- Rows on demand ---

std::list<DataSetModel::Window>::iterator DataSetModel::findWindow(std::int64_t index) const {
  return std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) { return w.index == index; });
}

const DataSetModel::Window* DataSetModel::heldWindow(std::int64_t index) const {
  const auto found = findWindow(index);
  return found == windows_.end() ? nullptr : &*found;
}

// Seeks from the key of a neighbour held; positions are read only without one.
DataSetModel::Window DataSetModel::readWindow(std::int64_t index) const {
  ff::TffTable::RowRun run;
  if (const Window* before = heldWindow(index - 1); before && before->rows.size() == kWindowRows) {
    run = table()->ReadRowsFrom(before->ends.back(), ff::ScanDirection::Forward, kWindowRows);
  } else if (const Window* after = heldWindow(index + 1); after && !after->rows.empty()) {
    run = table()->ReadRowsFrom(after->ends.front(), ff::ScanDirection::Backward, kWindowRows);
  } else {
    run = table()->ReadRows(index * kWindowRows, kWindowRows);
  }
  return {index, std::move(run.rows), std::move(run.ids), std::move(run.ends)};
}

const DataSetModel::Window& DataSetModel::window(std::int64_t index) const {
  if (table()->Generation() != generation_) {
    windows_.clear();  // rows written meanwhile (by any handle): what was read no longer holds
    generation_ = table()->Generation();
  }
  const auto found = findWindow(index);
  if (found != windows_.end()) {
    windows_.splice(windows_.begin(), windows_, found);
    return windows_.front();
  }
  windows_.push_front(readWindow(index));
  if (static_cast<int>(windows_.size()) > kMaxWindows) windows_.pop_back();
  return windows_.front();
}

const std::vector<ff::Value>* DataSetModel::cachedRow(std::int64_t row) const {
  const Window& w = window(row / kWindowRows);
  const auto offset = static_cast<std::size_t>(row % kWindowRows);
  return offset < w.rows.size() ? &w.rows[offset] : nullptr;
}

std::optional<std::int64_t> DataSetModel::cachedPosition(ff::RowId id) const {
  for (const Window& w : windows_) {
    const auto found = std::find(w.ids.begin(), w.ids.end(), id);
    if (found != w.ids.end()) return w.index * kWindowRows + (found - w.ids.begin());
  }
  return std::nullopt;
}

std::optional<ff::RowId> DataSetModel::cachedId(std::int64_t row) const {
  if (table()->Generation() != generation_) return std::nullopt;
  const Window* w = heldWindow(row / kWindowRows);
  const auto offset = static_cast<std::size_t>(row % kWindowRows);
  if (!w || offset >= w->ids.size()) return std::nullopt;
  return w->ids[offset];
}

ff::TField& DataSetModel::field(int column) const {
  return table()->Fields(columns_.at(static_cast<std::size_t>(column)));
}

bool DataSetModel::isInsertRow(int row) const {
  return table() && table()->State() == ff::DataSetState::Insert && row == count_;
}

// --- The model ---

int DataSetModel::rowCount(const QModelIndex& parent) const {
  const ff::TffTable* t = table();
  if (parent.isValid() || !t) return 0;
  const std::int64_t rows = count_ + (t->State() == ff::DataSetState::Insert ? 1 : 0);
  return static_cast<int>(std::min<std::int64_t>(rows, INT_MAX));
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !table() ? 0 : static_cast<int>(columns_.size());
}

bool DataSetModel::holds(int row, int column) const {
  return row >= 0 && column >= 0 && column < DataSetModel::columnCount() && row < DataSetModel::rowCount();
}

QModelIndex DataSetModel::index(int row, int column, const QModelIndex& parent) const {
  return !parent.isValid() && holds(row, column) ? createIndex(row, column) : QModelIndex();
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
  // What checkIndex(IndexIsValid) asks: an index of this model (so valid) within its rows.
  if (index.model() != this || !holds(index.row(), index.column())) return {};
  const ff::TField& f = field(index.column());
  if (role == Qt::TextAlignmentRole) {
    const Qt::Alignment side = isNumeric(f.DataType()) ? Qt::AlignRight : Qt::AlignLeft;
    return QVariant::fromValue(side | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  if (index.row() == currentRow()) {
    return QString::fromStdString(role == Qt::EditRole ? f.EditText() : f.DisplayText());
  }
  const std::vector<ff::Value>* row = cachedRow(index.row());
  if (!row) return {};
  return QString::fromStdString(f.DisplayTextOf(row->at(static_cast<std::size_t>(f.Index()))));
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && table() && section >= 0 &&
      section < columnCount()) {
    return QString::fromStdString(field(section).DisplayLabel());
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.isValid() && canModify() && !field(index.column()).Calculated()) f |= Qt::ItemIsEditable;
  return f;
}

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid) || !canModify()) return false;
  return reportFailure([&] {
    if (index.row() != currentRow()) moveToRow(index.row());
    table()->Edit();
    field(index.column()).SetEditText(value.toString().toStdString());
  });
}

// --- State ---

bool DataSetModel::isActive() const { return table() != nullptr; }

bool DataSetModel::canModify() const { return table() && table()->CanModify(); }

bool DataSetModel::isEditing() const {
  return table() && (table()->State() == ff::DataSetState::Edit || table()->State() == ff::DataSetState::Insert);
}

bool DataSetModel::isBof() const { return !table() || table()->Bof() || currentRow() <= 0; }

bool DataSetModel::isEof() const { return !table() || table()->Eof() || currentRow() >= rowCount() - 1; }

int DataSetModel::currentRow() const {
  ff::TffTable* t = table();
  if (!t || t->IsEmpty()) return -1;
  if (!currentRow_) {
    // Cheap answers first: the ends, then the rows read already; counting is the last resort.
    if (t->State() == ff::DataSetState::Insert) {
      currentRow_ = count_;
    } else if (t->Bof()) {
      currentRow_ = 0;
    } else if (t->Eof()) {
      currentRow_ = count_ - 1;
    } else {
      currentRow_ = cachedPosition(t->CurrentRowId()).value_or(t->RecNo());
    }
  }
  return static_cast<int>(std::min<std::int64_t>(*currentRow_, INT_MAX));
}

// --- Actions ---

void DataSetModel::moveToRow(int row) {
  ff::TffTable* t = table();
  if (!t || row == currentRow() || isInsertRow(row)) return;
  // A row on screen is reached by its id; only others by position.
  const std::optional<ff::RowId> id = cachedId(row);
  if ((id && t->GotoRowId(*id)) || t->MoveToRecNo(row)) {
    currentRow_ = row;
    emit stateChanged();
  }
}

void DataSetModel::first() {
  if (table()) table()->First();
}

void DataSetModel::prior() {
  if (table()) table()->Prior();
}

void DataSetModel::next() {
  if (table()) table()->Next();
}

void DataSetModel::last() {
  if (table()) table()->Last();
}

void DataSetModel::insertRecord() {
  if (table()) table()->Insert();
}

void DataSetModel::deleteRecord() {
  if (table()) table()->Delete();
}

void DataSetModel::edit() {
  if (table()) table()->Edit();
}

void DataSetModel::post() {
  if (table()) table()->Post();
}

void DataSetModel::cancel() {
  if (table()) table()->Cancel();
}

void DataSetModel::refresh() {
  if (table()) table()->Refresh();
}
