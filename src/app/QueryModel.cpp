#include "app/QueryModel.h"

#include "app/Query.h"

QueryModel::QueryModel(TQuery& query, QObject* parent) : NavigableModel(parent), query_(query) {
  connect(&query_, &TQuery::activeChanged, this, &QueryModel::reset);
  connect(&query_, &TQuery::scrolled, this, &NavigableModel::stateChanged);
}

void QueryModel::reset() {
  beginResetModel();
  endResetModel();
  emit stateChanged();
}

int QueryModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : query_.RecordCount(); }

int QueryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : query_.FieldCount(); }

QVariant QueryModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid) || (role != Qt::DisplayRole && role != Qt::EditRole)) {
    return {};
  }
  return query_.Value(index.row(), index.column());
}

QVariant QueryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < query_.FieldCount()) {
    return query_.FieldName(section);
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

bool QueryModel::isActive() const { return query_.Active(); }
bool QueryModel::isBof() const { return query_.Bof(); }
bool QueryModel::isEof() const { return query_.Eof(); }
int QueryModel::currentRow() const { return query_.RecNo(); }

void QueryModel::moveToRow(int row) { query_.MoveTo(row); }
void QueryModel::first() { query_.First(); }
void QueryModel::prior() { query_.Prior(); }
void QueryModel::next() { query_.Next(); }
void QueryModel::last() { query_.Last(); }

void QueryModel::refresh() {
  if (query_.Active()) query_.Open();
}
