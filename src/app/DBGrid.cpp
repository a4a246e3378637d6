#include "app/DBGrid.h"

#include <QHeaderView>

#include <algorithm>

#include "app/NavigableModel.h"

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void TDBGrid::setDataSource(NavigableModel* source) {
  disconnect(sourceConnection_);
  disconnect(resetConnection_);
  source_ = source;
  setModel(source);
  sizedHeaders_.clear();
  if (source_) {
    sourceConnection_ = connect(source_, &NavigableModel::stateChanged, this, &TDBGrid::showCurrentRow);
    resetConnection_ = connect(source_, &QAbstractItemModel::modelReset, this, &TDBGrid::sizeNewColumns);
  }
  sizeNewColumns();
  showCurrentRow();
}

QStringList TDBGrid::headers() const {
  QStringList names;
  if (!source_) return names;
  for (int column = 0; column < source_->columnCount(); ++column) {
    names << source_->headerData(column, Qt::Horizontal).toString();
  }
  return names;
}

void TDBGrid::sizeNewColumns() {
  // The same columns again (a refresh, a post) keep the widths the user may have set.
  const QStringList current = headers();
  if (current == sizedHeaders_) return;
  sizedHeaders_ = current;
  sizeColumns();
}

int TDBGrid::rowsOnFirstScreen() const {
  const int rowHeight = std::max(verticalHeader()->defaultSectionSize(), 1);
  return std::max(viewport()->height() / rowHeight + 1, kLeastRowsSized);
}

void TDBGrid::sizeColumns() {
  if (!source_) return;
  // Measured in the font and style the grid is drawn with, even before it is first shown.
  ensurePolished();
  const int rows = std::min(source_->rowCount(), rowsOnFirstScreen());
  for (int column = 0; column < source_->columnCount(); ++column) {
    int width = horizontalHeader()->sectionSizeHint(column);
    for (int row = 0; row < rows; ++row) width = std::max(width, sizeHintForIndex(source_->index(row, column)).width());
    // The grid line takes one pixel of the cell, which the item's own size leaves out.
    if (showGrid()) ++width;
    setColumnWidth(column, std::clamp(width, kMinColumnWidth, kMaxColumnWidth));
  }
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
