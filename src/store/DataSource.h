// Data sources connect a data set to what follows it: grids, navigators, detail tables.
#pragma once

#include <string>
#include <vector>

namespace ff {

class TffTable;
class TField;

// Something that follows a data set through a data source. Notifications arrive only while
// the source is enabled and the data set's controls are not disabled.
class DataLink {
 public:
  virtual ~DataLink() = default;
  virtual void ActiveChanged() {}    // opened or closed
  virtual void DataSetChanged() {}   // rows may have changed anywhere (refresh, filter, post)
  virtual void DataSetScrolled() {}  // the current row moved
  virtual void RecordChanged(TField*) {}  // a field of the current row was written
  virtual void EditingChanged() {}   // entered or left edit/insert state
  virtual void SourceDestroyed() {}  // the data source is going away: forget it
};

class TDataSource {
 public:
  explicit TDataSource(std::string name = {});
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  const std::string& Name() const { return name_; }
  TffTable* DataSet() const { return dataSet_; }
  void SetDataSet(TffTable* table);
  bool Enabled() const { return enabled_; }
  // Switching a source back on tells its links that everything may have changed.
  void SetEnabled(bool enabled);

  void AddLink(DataLink* link);
  void RemoveLink(DataLink* link);

  // Called by the data set when it is destroyed before its sources.
  void DataSetDestroyed() { dataSet_ = nullptr; }
  // Called by the data set. Forwarded to the links while enabled.
  void Notify(void (DataLink::*event)());
  void NotifyRecordChanged(TField* field);

 private:
  std::string name_;
  TffTable* dataSet_ = nullptr;
  bool enabled_ = true;
  std::vector<DataLink*> links_;
};

}  // namespace ff
