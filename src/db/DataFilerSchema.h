// The business schema of the data module, held as data: for every table component its
// physical table, order, master link, event handlers and persistent fields, and the settings
// of the module's other components. The data module builds its tables from these records
// and binds the handler names to its methods.
#pragma once

#include <string>
#include <vector>

#include "store/Engine.h"
#include "store/FieldDecl.h"
#include "store/Table.h"

// A persistent field and the rule that runs when its value changes.
struct FieldSpec {
  ff::FieldDecl decl;
  std::string onChange;  // handler name; empty: none
};

enum class TableEvent {
  BeforeOpen,
  AfterOpen,
  BeforeClose,
  AfterClose,
  BeforeInsert,
  OnNewRecord,
  AfterInsert,
  BeforeEdit,
  AfterEdit,
  BeforePost,
  AfterPost,
  BeforeCancel,
  AfterCancel,
  BeforeDelete,
  AfterDelete,
  BeforeScroll,
  AfterScroll,
  OnCalcFields,
};

// The data set's event slot for an event, so that a handler can be bound with
// `table.*EventSlot(e) = handler;`.
ff::TffTable::Event ff::TffTable::*EventSlot(TableEvent event);

struct EventSpec {
  TableEvent event;
  std::string handler;
};

struct TableSpec {
  std::string component{};        // "ProsjektTable"
  std::string source{};           // its data source, "ProsjektSource"
  std::string tableName{};        // the physical table, "PROSJEKT"
  std::string indexName{};        // named index of the order; empty: none
  std::string indexFieldNames{};  // "A;B": order by these fields; empty: none
  std::string masterSource{};     // data source of the master; empty: not a detail
  std::string masterFields{};     // the master's fields the detail follows, "A;B"
  int timeoutMs = 0;              // 0: the session's default
  std::vector<EventSpec> events{};
  std::vector<FieldSpec> fields{};
};

// All 32 business tables: projects, hours, staff, equipment and jobs first, then companies,
// accounts, items and trade documents, each half in its declared order. Built once.
const std::vector<TableSpec>& BusinessSchema();

// The table declared under this component name (exact case), or nullptr.
const TableSpec* FindTableSpec(const std::string& component);

// The table whose data source has this name (exact case), or nullptr.
const TableSpec* FindTableSpecBySource(const std::string& source);

// The declared field of this name (any case), or nullptr.
const FieldSpec* FindFieldSpec(const TableSpec& table, const std::string& fieldName);

// Settings of the data module's components besides the tables.
struct DataModuleComponentsSpec {
  std::string engineComponent;
  std::string commsEngineName;
  bool engineIsDefault;
  ff::Protocol protocol;
  std::string serverName;  // "name@address"; the user name is set at sign-on
  std::string sessionComponent;
  std::string sessionName;  // every table's session
  std::string sessionClientName;
  bool sessionIsDefault;
  std::string databaseComponent;
  std::string databaseName;
  std::string timerComponent;
  std::string timerHandler;  // its interval is set once the tables are open
};

const DataModuleComponentsSpec& DataModuleComponents();
