// A data-aware grid: a table view over a navigable model whose selected row is the data set's
// current row, both ways.
#pragma once

#include <QPointer>
#include <QTableView>

class NavigableModel;

class TDBGrid : public QTableView {
  Q_OBJECT
 public:
  explicit TDBGrid(QWidget* parent = nullptr);

  NavigableModel* dataSource() const { return source_; }
  // Shows source (nullptr: nothing) and follows its current row.
  void setDataSource(NavigableModel* source);

 protected:
  // Picking a cell makes its row the data set's current row.
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  void showCurrentRow();

  QPointer<NavigableModel> source_;
  QMetaObject::Connection sourceConnection_;
  bool following_ = false;  // true while the grid moves to the data set's row
};
