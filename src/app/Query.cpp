#include "app/Query.h"

#include "settings/SqlAliases.h"

namespace {

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
  RunSqlText(databaseName_.toStdString(), sql_.join('\n').toStdString());
}

void TQuery::Open() {
  Close();
  const auto result = SqlTextFirstResult(databaseName_.toStdString(), sql_.join('\n').toStdString());
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
