#include "store/DataSource.h"

#include <algorithm>

#include "store/Table.h"

namespace ff {

TDataSource::TDataSource(std::string name) : name_(std::move(name)) {}

TDataSource::~TDataSource() {
  if (dataSet_) dataSet_->DetachSource(this);
  const auto links = links_;
  for (DataLink* link : links) link->SourceDestroyed();
}

void TDataSource::SetDataSet(TffTable* table) {
  if (dataSet_ == table) return;
  if (dataSet_) dataSet_->DetachSource(this);
  dataSet_ = table;
  if (dataSet_) dataSet_->AttachSource(this);
  Notify(&DataLink::ActiveChanged);
}

void TDataSource::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (enabled_) Notify(&DataLink::DataSetChanged);
}

void TDataSource::AddLink(DataLink* link) {
  if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TDataSource::RemoveLink(DataLink* link) { std::erase(links_, link); }

void TDataSource::Notify(void (DataLink::*event)()) {
  if (!enabled_) return;
  // A link may detach itself while being told; walk a copy.
  const auto links = links_;
  for (DataLink* link : links) (link->*event)();
}

void TDataSource::NotifyRecordChanged(TField* field) {
  if (!enabled_) return;
  const auto links = links_;
  for (DataLink* link : links) link->RecordChanged(field);
}

}  // namespace ff
