#include "store/WriteGroup.h"

#include "store/Table.h"

namespace ff {

WriteGroup::WriteGroup(TffTable& table) : table_(table.Active() ? &table : nullptr) {
  if (table_) table_->BeginWriteGroup();
}

WriteGroup::~WriteGroup() {
  if (!table_) return;
  try {
    table_->EndWriteGroup();
  } catch (...) {
    // Already leaving by an exception of its own.
  }
}

void WriteGroup::Commit() {
  TffTable* table = table_;
  table_ = nullptr;
  if (table) table->EndWriteGroup();
}

}  // namespace ff
