// The sample firm of the demonstration database: a small electrical contractor in
// Steinkjer, its staff, customers and suppliers, two projects with their registrations,
// serviced equipment, its ledger, items and trade documents.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "store/Value.h"

// One row: values by physical field name (dates as days since 30 December 1899).
using DemoRow = std::vector<std::pair<std::string, ff::Value>>;

struct DemoTable {
  std::string component;  // the table component that declares the table
  std::vector<DemoRow> rows;
};

// The firm's rows, table by table; a master table comes before its details. Sums held in
// the rows (project roll-ups, line and document totals, travel sums) agree with the rows
// they are made of.
std::vector<DemoTable> DemoFirm();
