// What data-aware grids and navigators bind to: a table model over a data set with a current
// row, its state, and the navigator's actions.
#pragma once

#include <QAbstractTableModel>

class NavigableModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit NavigableModel(QObject* parent = nullptr);
  ~NavigableModel() override;

  virtual bool isActive() const = 0;
  // True when rows can be inserted, edited and deleted.
  virtual bool canModify() const = 0;
  // True while a row is being edited or inserted.
  virtual bool isEditing() const = 0;
  // True when there is no row before (isBof) or after (isEof) the current row.
  virtual bool isBof() const = 0;
  virtual bool isEof() const = 0;
  // The model row of the current row; -1 when there is none.
  virtual int currentRow() const = 0;

  // The navigator's actions. Each throws what the data set throws (the silent abort among
  // them) and leaves the model in step with the data set.
  virtual void moveToRow(int row) = 0;
  virtual void first() = 0;
  virtual void prior() = 0;
  virtual void next() = 0;
  virtual void last() = 0;
  virtual void insertRecord() = 0;
  virtual void deleteRecord() = 0;
  virtual void edit() = 0;
  virtual void post() = 0;
  virtual void cancel() = 0;
  virtual void refresh() = 0;

 signals:
  // The data set opened or closed, its current row moved, or it entered or left editing.
  void stateChanged();
};
