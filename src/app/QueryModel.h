// A read-only Qt table model over the rows of an open SQL query, with the query's current row.
#pragma once

#include "app/NavigableModel.h"

class TQuery;

class QueryModel : public NavigableModel {
  Q_OBJECT
 public:
  // Follows query. REQUIRES: query outlives the model.
  explicit QueryModel(TQuery& query, QObject* parent = nullptr);

  TQuery& query() const { return query_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  bool isActive() const override;
  // Always false: query rows are not written back.
  bool canModify() const override { return false; }
  bool isEditing() const override { return false; }
  bool isBof() const override;
  bool isEof() const override;
  int currentRow() const override;

  void moveToRow(int row) override;
  void first() override;
  void prior() override;
  void next() override;
  void last() override;
  // Nothing to do on read-only rows.
  void insertRecord() override {}
  void deleteRecord() override {}
  void edit() override {}
  void post() override {}
  void cancel() override {}
  // Runs the query again.
  void refresh() override;

 private:
  void reset();

  TQuery& query_;
};
