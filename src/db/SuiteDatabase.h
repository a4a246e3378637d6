// The suite's database in an alias: the business tables as the data module declares them,
// with every index that the module and its rules use, and a small sample firm to fill them.
#pragma once

#include <string>
#include <vector>

#include "db/DataFilerSchema.h"
#include "store/Schema.h"
#include "store/Session.h"

// The physical fields of a declared table: its data fields in declared order with their
// types, string sizes and required flags. Calculated fields are not stored.
std::vector<ff::FieldDef> SuiteTableFields(const TableSpec& table);

// The physical indexes of a declared table, none twice: the index of its declared order (a
// named index is on the field of that name; an order by fields gets an index on them named
// in capitals) and the indexes that the rules switch it to by name.
// Throws ff::Error when an index names a field that the table does not store.
std::vector<ff::IndexDef> SuiteTableIndexes(const TableSpec& table);

// Creates the 32 business tables, empty, in the alias's folder.
// Throws ff::Error naming them when any of the tables already exists; nothing is created
// then. Passes on the store's failures (ff::ECannotOpen for an unknown alias).
// REQUIRES: the session is active.
void CreateSuiteTables(ff::TffSession& session, const std::string& alias);

// Writes the sample firm (staff, companies, projects with their registrations, equipment,
// accounts, items and trade documents) into the alias's business tables.
// Throws ff::Error naming the table when a table to be filled already holds rows; nothing
// is written then. Passes on the store's failures.
// REQUIRES: the session is active and the tables exist (CreateSuiteTables).
void FillDemoData(ff::TffSession& session, const std::string& alias);

// Creates the 32 business tables (and with demo the sample firm) as one unit: they are built
// in a folder of their own inside the alias's folder and moved into place only when whole, so
// a run that is killed leaves either nothing or every table. The next run finishes the moves
// of a run killed while moving, or else starts afresh. Throws as CreateSuiteTables does.
// REQUIRES: the session is active.
void CreateSuite(ff::TffSession& session, const std::string& alias, bool demo);
