#include "app/DBGrid.h"

#include <QHeaderView>

#include "app/NavigableModel.h"

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void TDBGrid::setDataSource(NavigableModel* source) {
  disconnect(sourceConnection_);
  source_ = source;
  setModel(source);
  if (source_) {
    sourceConnection_ = connect(source_, &NavigableModel::stateChanged, this, &TDBGrid::showCurrentRow);
  }
  showCurrentRow();
}

void TDBGrid::showCurrentRow() {
  if (!source_) return;
  const int row = source_->currentRow();
  const QModelIndex target = row < 0 ? QModelIndex() : source_->index(row, std::max(currentIndex().column(), 0));
  if (target == currentIndex()) return;
  following_ = true;
  if (target.isValid()) {
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(target);
  } else {
    selectionModel()->clearCurrentIndex();
  }
  following_ = false;
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (!following_ && source_ && current.isValid() && current.row() != previous.row()) {
    source_->moveToRow(current.row());
  }
}
