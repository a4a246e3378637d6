#include "db/DataFilerSchema.h"

#include <algorithm>

#include "db/DataFilerSchemaBuild.h"
#include "store/Schema.h"

namespace {

std::vector<TableSpec> AssembleSchema() {
  std::vector<TableSpec> tables = ProjectStaffAndEquipmentTables();
  std::vector<TableSpec> second = CompanyAccountAndTradeTables();
  tables.insert(tables.end(), std::make_move_iterator(second.begin()),
                std::make_move_iterator(second.end()));
  return tables;
}

template <typename Pred>
const TableSpec* FindTable(Pred pred) {
  const auto& tables = BusinessSchema();
  const auto it = std::find_if(tables.begin(), tables.end(), pred);
  return it == tables.end() ? nullptr : &*it;
}

}  // namespace

const std::vector<TableSpec>& BusinessSchema() {
  static const std::vector<TableSpec> tables = AssembleSchema();
  return tables;
}

const TableSpec* FindTableSpec(const std::string& component) {
  return FindTable([&](const TableSpec& t) { return t.component == component; });
}

const TableSpec* FindTableSpecBySource(const std::string& source) {
  return FindTable([&](const TableSpec& t) { return t.source == source; });
}

const FieldSpec* FindFieldSpec(const TableSpec& table, const std::string& fieldName) {
  const auto it = std::find_if(table.fields.begin(), table.fields.end(), [&](const FieldSpec& f) {
    return ff::sameName(f.decl.name, fieldName);
  });
  return it == table.fields.end() ? nullptr : &*it;
}

ff::TffTable::Event ff::TffTable::*EventSlot(TableEvent event) {
  using T = ff::TffTable;
  switch (event) {
    case TableEvent::BeforeOpen:
      return &T::BeforeOpen;
    case TableEvent::AfterOpen:
      return &T::AfterOpen;
    case TableEvent::BeforeClose:
      return &T::BeforeClose;
    case TableEvent::AfterClose:
      return &T::AfterClose;
    case TableEvent::BeforeInsert:
      return &T::BeforeInsert;
    case TableEvent::OnNewRecord:
      return &T::OnNewRecord;
    case TableEvent::AfterInsert:
      return &T::AfterInsert;
    case TableEvent::BeforeEdit:
      return &T::BeforeEdit;
    case TableEvent::AfterEdit:
      return &T::AfterEdit;
    case TableEvent::BeforePost:
      return &T::BeforePost;
    case TableEvent::AfterPost:
      return &T::AfterPost;
    case TableEvent::BeforeCancel:
      return &T::BeforeCancel;
    case TableEvent::AfterCancel:
      return &T::AfterCancel;
    case TableEvent::BeforeDelete:
      return &T::BeforeDelete;
    case TableEvent::AfterDelete:
      return &T::AfterDelete;
    case TableEvent::BeforeScroll:
      return &T::BeforeScroll;
    case TableEvent::AfterScroll:
      return &T::AfterScroll;
    case TableEvent::OnCalcFields:
      return &T::OnCalcFields;
  }
  return nullptr;
}

const DataModuleComponentsSpec& DataModuleComponents() {
  static const DataModuleComponentsSpec components{
      .engineComponent = "KvandrelEngine",
      .commsEngineName = "Engine",
      .engineIsDefault = true,
      .protocol = ff::Protocol::TcpIp,
      .serverName = "ff_server@127.0.0.1",
      .sessionComponent = "Serversession",
      .sessionName = "VeltrinoSession",
      .sessionClientName = "Engine",
      .sessionIsDefault = true,
      .databaseComponent = "ffDatabase1",
      .databaseName = "DDX",
      .timerComponent = "FileTimer",
      .timerHandler = "FileTimerTimer",
  };
  return components;
}
