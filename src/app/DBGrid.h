// A data-aware grid: a table view over a navigable model whose selected row is the data set's
// current row, both ways.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QTableView>

class NavigableModel;

class TDBGrid : public QTableView {
  Q_OBJECT
 public:
  // Limits of a column's width, in pixels, when sized to its contents.
  static constexpr int kMinColumnWidth = 40;
  static constexpr int kMaxColumnWidth = 320;
  // Rows whose values size the columns at least: a grid not laid out yet has no height.
  static constexpr int kLeastRowsSized = 40;

  explicit TDBGrid(QWidget* parent = nullptr);

  NavigableModel* dataSource() const { return source_; }
  // Shows source (nullptr: nothing) and follows its current row. Each time the source shows
  // other columns (another table), the columns are sized with sizeColumns.
  void setDataSource(NavigableModel* source);
  // Sizes each column to its header and the values of the rows on the first screen, within
  // kMinColumnWidth and kMaxColumnWidth. Reads no more rows than one screen holds.
  void sizeColumns();

 protected:
  // Picking a cell makes its row the data set's current row.
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  void showCurrentRow();
  // Sizes the columns when the source shows other columns than those last sized.
  void sizeNewColumns();
  int rowsOnFirstScreen() const;
  QStringList headers() const;

  QPointer<NavigableModel> source_;
  QMetaObject::Connection sourceConnection_;
  QMetaObject::Connection resetConnection_;
  QStringList sizedHeaders_;  // the columns the widths were last sized for
  bool following_ = false;  // true while the grid moves to the data set's row
};
