#include "app/Query.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

#include "app/SqlAliases.h"

namespace {

// The server's own text, often English, under a line that says in Norwegian what failed.
[[noreturn]] void raise(const QSqlQuery& query, const QString& alias) {
  throw ESqlError("SQL-teksten kunne ikke kjøres på databasealiaset " + alias.toStdString() + ":\n" +
                  SqlErrorText(query.lastError()));
}

// The server answers an empty request with an error that has no text at all.
void requireText(const QStringList& sql) {
  const bool blank =
      std::all_of(sql.begin(), sql.end(), [](const QString& line) { return line.trimmed().isEmpty(); });
  if (blank) throw ESqlError("Ingen SQL-tekst å kjøre: teksten er tom");
}

// Runs the text as one request; the first result is then current in `query`.
void execute(QSqlQuery& query, const QStringList& sql, const QString& alias) {
  query.setForwardOnly(true);
  if (!query.exec(sql.join('\n'))) raise(query, alias);
}

// Steps over the remaining results, so that a failing statement after the first is reported.
void finish(QSqlQuery& query, const QString& alias) {
  while (query.nextResult()) {
  }
  if (query.lastError().isValid()) raise(query, alias);
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
  requireText(sql_);
  QSqlQuery query(SqlConnection(databaseName_.toStdString()));
  execute(query, sql_, databaseName_);
  finish(query, databaseName_);
}

void TQuery::Open() {
  Close();
  requireText(sql_);
  QSqlQuery query(SqlConnection(databaseName_.toStdString()));
  execute(query, sql_, databaseName_);
  if (!query.isSelect()) {
    finish(query, databaseName_);
    throw ESqlError("SQL-teksten gir ingen rader");
  }
  const QSqlRecord record = query.record();
  QStringList names;
  for (int i = 0; i < record.count(); ++i) names << record.fieldName(i);
  QVector<QVector<QVariant>> rows;
  while (query.next()) {
    QVector<QVariant> row(record.count());
    for (int i = 0; i < record.count(); ++i) row[i] = query.value(i);
    rows.push_back(std::move(row));
  }
  if (query.lastError().isValid()) raise(query, databaseName_);
  finish(query, databaseName_);
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
