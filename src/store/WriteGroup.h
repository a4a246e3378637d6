// A table's posts grouped into one durable write for as long as the group lives (see
// TffTable::BeginWriteGroup). On a table that is not open it groups nothing.
#pragma once

namespace ff {

class TffTable;

class WriteGroup {
 public:
  explicit WriteGroup(TffTable& table);
  // A group left without Commit (an exception) still commits what was posted, as single
  // posts would have kept it; a failure then is not reported.
  ~WriteGroup();
  WriteGroup(const WriteGroup&) = delete;
  WriteGroup& operator=(const WriteGroup&) = delete;

  // Makes the group's posts durable. Throws what the table's commit throws.
  void Commit();

 private:
  TffTable* table_;
};

}  // namespace ff
