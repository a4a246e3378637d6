#include "app/Query.h"

#include <algorithm>
#include <functional>

#include "app/SqlAliases.h"
#include "sql/SqlError.h"

namespace {

// The server answers an empty request with an error that has no text at all.
void requireText(const QStringList& sql) {
  const bool blank =
      std::all_of(sql.begin(), sql.end(), [](const QString& line) { return line.trimmed().isEmpty(); });
  if (blank) throw ESqlError("Ingen SQL-tekst å kjøre: teksten er tom");
}

// Runs the text on the alias's connection as one request. A failure carries the server's own
// text, often English, under a line that says in Norwegian what failed.
void run(const QString& alias, const QStringList& sql,
         const std::function<void(sql::SqlConnection&, const std::string&)>& request) {
  requireText(sql);
  const std::string name = alias.toStdString();
  sql::SqlConnection& connection = AliasConnection(name);
  try {
    request(connection, sql.join('\n').toStdString());
  } catch (const sql::SqlError& e) {
    throw ESqlError("SQL-teksten kunne ikke kjøres på databasealiaset " + name + ":\n" + e.what());
  }
}

QVariant cellValue(const std::optional<std::string>& text) {
  return text ? QVariant(QString::fromStdString(*text)) : QVariant();
}

}  // namespace

TQuery::TQuery(QObject* parent) : QObject(parent) {}

void TQuery::SetDatabaseName(const QString& name) {
  Close();
  databaseName_ = name;
}

void TQuery::SetSQL(const QStringList& lines) {
  Close();
  sql_ = lines;
}

void TQuery::ExecSQL() {
  run(databaseName_, sql_, [](sql::SqlConnection& connection, const std::string& text) { connection.Execute(text); });
}

void TQuery::Open() {
  Close();
  std::optional<sql::SqlResultSet> result;
  run(databaseName_, sql_, [&](sql::SqlConnection& connection, const std::string& text) {
    result = connection.FirstResultSet(text);
  });
  if (!result) throw ESqlError("SQL-teksten gir ingen rader");
  QStringList names;
  for (const auto& column : result->columns) names << QString::fromStdString(column);
  QVector<QVector<QVariant>> rows;
  for (const auto& row : result->rows) {
    QVector<QVariant> cells;
    for (const auto& cell : row) cells << cellValue(cell);
    rows.push_back(std::move(cells));
  }
  fieldNames_ = std::move(names);
  rows_ = std::move(rows);
  recNo_ = rows_.isEmpty() ? -1 : 0;
  active_ = true;
  emit activeChanged();
}

void TQuery::Close() {
  if (!active_) return;
  active_ = false;
  fieldNames_.clear();
  rows_.clear();
  recNo_ = -1;
  emit activeChanged();
}

void TQuery::MoveTo(int row) {
  if (rows_.isEmpty()) return;
  const int target = std::clamp(row, 0, RecordCount() - 1);
  if (target == recNo_) return;
  recNo_ = target;
  emit scrolled();
}
