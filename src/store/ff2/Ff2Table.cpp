#include "store/ff2/Ff2Table.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "store/Backends.h"
#include "store/Errors.h"

namespace ff {

namespace {

// Indexes the store can order by: named fields that the table has. Custom-comparison
// indexes of the file have no fields and are left out.
std::vector<IndexDef> usableIndexes(const ff2::Ff2File& file) {
  std::vector<IndexDef> out;
  for (IndexDef ix : file.indexes()) {
    bool ok = !ix.fields.empty();
    for (const auto& f : ix.fields) ok = ok && physicalFieldIndex(file.fields(), f) >= 0;
    ix.options &= ~ixUnique;  // the file's own data decides; never refuse to load it
    if (ok) out.push_back(ix);
  }
  return out;
}

// True when rows come in the file's own order: no selection and no order fields.
bool inFileOrder(const RowSelection& sel, const RowOrder& order) {
  return !sel.filter && sel.equal.empty() && order.fields.empty();
}

// Which way to walk the file for a scan in dir over an order without fields.
ff2::Ff2Direction fileDirection(const RowOrder& order, ScanDirection dir) {
  return (dir == ScanDirection::Forward) != order.descending ? ff2::Ff2Direction::Forward
                                                              : ff2::Ff2Direction::Backward;
}

// The fields that sel and order name. Throws EBadFilter for a filter naming unknown fields.
std::set<int> fieldsNamed(const RowSelection& sel, const RowOrder& order, const std::vector<FieldDef>& fields) {
  std::set<int> named(order.fields.begin(), order.fields.end());
  for (const auto& equal : sel.equal) named.insert(equal.first);
  if (sel.filter) {
    std::vector<Value> params;
    sel.filter->ToSql(
        [&](const std::string& name) -> std::optional<FilterColumn> {
          const int f = physicalFieldIndex(fields, name);
          if (f < 0) return std::nullopt;
          named.insert(f);
          return FilterColumn{"c" + std::to_string(f), fields[static_cast<std::size_t>(f)].type};
        },
        params);
  }
  return named;
}

IndexDef indexFor(const RowOrder& order, const std::vector<FieldDef>& fields) {
  IndexDef index{"", {}, order.caseInsensitive ? unsigned{ixCaseInsensitive} : 0u};
  for (int f : order.fields) index.fields.push_back(fields.at(static_cast<std::size_t>(f)).name);
  return index;
}

// The file's size and time of change; zeros when it cannot be looked at.
std::pair<std::uintmax_t, std::int64_t> stampOf(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  const auto changed = std::filesystem::last_write_time(path, ec);
  if (ec) return {0, 0};
  return {size, static_cast<std::int64_t>(changed.time_since_epoch().count())};
}

bool sameKey(const IndexDef& a, const IndexDef& b) { return a.fields == b.fields && a.options == b.options; }

// Rows of the file in physical order, decoded block by block.
class FileCursor : public RowCursor {
 public:
  explicit FileCursor(ff2::Ff2File::Cursor cursor) : cursor_(std::move(cursor)) {}

  bool Next(Row& row) override {
    if (!cursor_.next(record_)) return false;
    row.id = record_.seq;
    std::swap(row.values, record_.values);
    return true;
  }

 private:
  ff2::Ff2File::Cursor cursor_;
  ff2::Ff2Record record_;
};

// Rows of the file in the order a cursor of the scratch table hands out their ids.
class KeyedCursor : public RowCursor {
 public:
  KeyedCursor(ff2::Ff2File& file, std::unique_ptr<RowCursor> keys) : file_(file), keys_(std::move(keys)) {}

  bool Next(Row& row) override {
    if (!keys_->Next(key_)) return false;
    if (!file_.readRecordAt(key_.id, record_)) throw ECannotOpen(file_.name() + ": filen er endret mens den var åpen");
    row.id = key_.id;
    std::swap(row.values, record_.values);
    return true;
  }

 private:
  ff2::Ff2File& file_;
  std::unique_ptr<RowCursor> keys_;
  Row key_;
  ff2::Ff2Record record_;
};

}  // namespace

Ff2Table::Ff2Table(const std::string& path)
    : path_(path), stamp_(stampOf(path)), file_(path), indexes_(usableIndexes(file_)) {}

void Ff2Table::checkUnchanged() const {
  if (stampOf(path_) != stamp_) {
    throw ECannotOpen(file_.name() + ": filen er endret etter at tabellen ble åpnet; åpne tabellen på nytt");
  }
}

std::int64_t Ff2Table::Count(const RowSelection& sel) {
  checkUnchanged();
  if (inFileOrder(sel, {})) return file_.recordCount();
  return keys(sel, {}).Count(sel);
}

std::unique_ptr<RowCursor> Ff2Table::Scan(const RowSelection& sel, const RowOrder& order,
                                          const std::optional<RowKey>& from, ScanDirection dir) {
  checkUnchanged();
  if (inFileOrder(sel, order)) {
    const ff2::Ff2Direction walk = fileDirection(order, dir);
    return std::make_unique<FileCursor>(from ? file_.recordsAfter(from->id, walk) : file_.records(walk));
  }
  return rowsFor(keys(sel, order).Scan(sel, order, from, dir));
}

std::unique_ptr<RowCursor> Ff2Table::ScanAt(const RowSelection& sel, const RowOrder& order, std::int64_t skip,
                                            ScanDirection dir) {
  checkUnchanged();
  if (inFileOrder(sel, order)) {
    const ff2::Ff2Direction walk = fileDirection(order, dir);
    const std::int64_t position = walk == ff2::Ff2Direction::Forward ? skip : file_.recordCount() - 1 - skip;
    return std::make_unique<FileCursor>(file_.recordsAt(position, walk));
  }
  return rowsFor(keys(sel, order).ScanAt(sel, order, skip, dir));
}

std::int64_t Ff2Table::CountBefore(const RowSelection& sel, const RowOrder& order, const RowKey& key) {
  checkUnchanged();
  if (inFileOrder(sel, order)) {
    const std::int64_t position = file_.positionOf(key.id);
    return order.descending ? file_.recordCount() - 1 - position : position;
  }
  return keys(sel, order).CountBefore(sel, order, key);
}

std::vector<RowKey> Ff2Table::SampleKeys(const RowSelection& sel, const RowOrder& order, std::int64_t every) {
  checkUnchanged();
  if (!inFileOrder(sel, order)) return keys(sel, order).SampleKeys(sel, order, every);
  // One block read for each key: nothing between them is decoded.
  std::vector<RowKey> keys;
  Row row;
  for (std::int64_t skip = every - 1; skip < file_.recordCount(); skip += every) {
    if (ScanAt(sel, order, skip, ScanDirection::Forward)->Next(row)) keys.push_back(KeyOf(row, order));
  }
  return keys;
}

bool Ff2Table::Read(RowId id, Row& row) {
  checkUnchanged();
  ff2::Ff2Record record;
  if (!file_.readRecordAt(id, record)) return false;
  row.id = id;
  row.values = std::move(record.values);
  return true;
}

RowId Ff2Table::Insert(const std::vector<Value>&) { refuseWrite(); }
void Ff2Table::Update(RowId, const std::vector<Value>&) { refuseWrite(); }
void Ff2Table::Remove(RowId) { refuseWrite(); }
void Ff2Table::AddIndex(const IndexDef&) { refuseWrite(); }

void Ff2Table::refuseWrite() const { throw EReadOnly("FlashFiler 2-filer kan bare leses: " + file_.name()); }

TableStorage& Ff2Table::keys(const RowSelection& sel, const RowOrder& order) {
  const auto& fields = file_.fields();
  std::set<int> wanted = fieldsNamed(sel, order, fields);
  wanted.insert(keyFields_.begin(), keyFields_.end());
  std::vector<IndexDef> indexes = keyIndexes_;
  if (!order.fields.empty()) {
    IndexDef index = indexFor(order, fields);
    const bool known = std::any_of(indexes.begin(), indexes.end(), [&](const IndexDef& ix) { return sameKey(ix, index); });
    index.name = "k" + std::to_string(indexes.size());
    if (!known) indexes.push_back(index);
  }
  if (keys_ && wanted == keyFields_ && indexes.size() == keyIndexes_.size()) return *keys_;

  keys_.reset();  // give back the old one's file before making the next
  keys_ = MakeScratchTable(fields, indexes, [&](const RowSink& sink) {
    std::vector<Value> values(fields.size());
    ff2::Ff2File::Cursor records = file_.records();
    ff2::Ff2Record record;
    while (records.next(record)) {
      for (int f : wanted) values[static_cast<std::size_t>(f)] = std::move(record.values[static_cast<std::size_t>(f)]);
      sink(record.seq, values);
    }
  });
  keyFields_ = std::move(wanted);
  keyIndexes_ = std::move(indexes);
  return *keys_;
}

std::unique_ptr<RowCursor> Ff2Table::rowsFor(std::unique_ptr<RowCursor> keyed) {
  return std::make_unique<KeyedCursor>(file_, std::move(keyed));
}

}  // namespace ff
