// The conversion window's table SQL: the text of convert/TableSql as lines of the window's pane.
#pragma once

#include <QStringList>
#include <string>

namespace ff {
class TffTable;
}

// Appends the table's SQL text (see AppendTableSql) to `lines`, showing the hourglass while it
// works. An error while reading the field list passes to the caller; the lines appended before
// it stay.
void MakeTableSql(QStringList& lines, ff::TffTable& table, const std::string& tableName);

// StatementEndAfter of the pane's lines.
QStringList StatementEndAfter(const QStringList& lines);
