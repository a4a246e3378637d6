// A Qt table model over a table of the store, following it through a data source. Rows are
// read on demand in windows around what the view asks for, so a table of millions of rows opens
// and scrolls without being read whole; a bounded number of windows is kept. A window next to
// one held is read by seeking from that one's first or last key, so paging costs the same at
// any depth; only a far jump reads by position. Windows are dropped when the rows change.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <vector>

#include "app/NavigableModel.h"
#include "store/Storage.h"

namespace ff {
class TDataSource;
class TField;
class TffTable;
}  // namespace ff

class DataSetModel : public NavigableModel {
  Q_OBJECT
 public:
  // Rows per window read at once, and the windows kept.
  static constexpr int kWindowRows = 32;
  static constexpr int kMaxWindows = 128;

  // Follows source (and whatever data set it is given later).
  // REQUIRES: source outlives the model, or is destroyed first (the model then shows nothing).
  explicit DataSetModel(ff::TDataSource& source, QObject* parent = nullptr);
  ~DataSetModel() override;

  // The data set shown; nullptr when the source has none or is gone.
  ff::TffTable* dataSet() const;
  // Windows of rows held now (at most kMaxWindows).
  int cachedWindows() const { return static_cast<int>(windows_.size()); }

  // One row per row of the data set (in its order, filter and master range), one more at the
  // end while a row is being inserted; one column per visible field.
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  // As QAbstractTableModel's, without its virtual calls: asked for every cell painted.
  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  // DisplayRole: the field's display text; EditRole: its edit text; numbers align right.
  // The current row shows the data set's own field values (edits in progress included).
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Makes the row current, puts the data set in edit state and sets the field from the text as
  // typed. A failure is shown in the standard error box (the silent abort shows nothing) and
  // false returned; the data set then keeps what it had.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  bool isActive() const override;
  bool canModify() const override;
  bool isEditing() const override;
  bool isBof() const override;
  bool isEof() const override;
  int currentRow() const override;

  void moveToRow(int row) override;
  void first() override;
  void prior() override;
  void next() override;
  void last() override;
  void insertRecord() override;
  void deleteRecord() override;
  void edit() override;
  void post() override;
  void cancel() override;
  void refresh() override;

 private:
  class Link;
  struct Window {
    std::int64_t index = 0;
    std::vector<std::vector<ff::Value>> rows;
    std::vector<ff::RowId> ids;
    std::vector<ff::RowKey> ends;  // keys of the first and the last row
  };

  // Called by the link.
  void reset();
  void currentMoved();
  void currentRowEdited();
  void sourceGone();

  ff::TffTable* table() const;
  bool isInsertRow(int row) const;
  // Whether row and column lie within the model (at its top level).
  bool holds(int row, int column) const;
  const std::vector<ff::Value>* cachedRow(std::int64_t row) const;
  const Window& window(std::int64_t index) const;
  std::list<Window>::iterator findWindow(std::int64_t index) const;
  const Window* heldWindow(std::int64_t index) const;
  std::optional<ff::RowId> cachedId(std::int64_t row) const;
  Window readWindow(std::int64_t index) const;
  std::optional<std::int64_t> cachedPosition(ff::RowId id) const;
  ff::TField& field(int column) const;
  void emitRowChanged(int row);

  ff::TDataSource* source_;
  std::unique_ptr<Link> link_;
  std::vector<int> columns_;  // data set field index of each column
  std::int64_t count_ = 0;    // rows stored in the data set's view
  // Most recently used first; mutable because reading on demand happens inside data().
  mutable std::list<Window> windows_;
  mutable std::uint64_t generation_ = 0;  // of the rows the windows hold
  mutable std::optional<std::int64_t> currentRow_;
};
