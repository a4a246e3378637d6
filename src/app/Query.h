// A SQL query bound to a named database alias: SQL text as a list of lines, run without a
// result set (ExecSQL) or opened, when its first result set feeds a grid.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class TQuery : public QObject {
  Q_OBJECT
 public:
  explicit TQuery(QObject* parent = nullptr);

  // The SQL alias (see SqlAliases.h). Setting it closes the query.
  const QString& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(const QString& name);
  // The SQL text, one entry per line. Setting it closes the query.
  const QStringList& SQL() const { return sql_; }
  void SetSQL(const QStringList& lines);

  // Sends the whole SQL text (the lines joined by line breaks) to the database in one request
  // and waits for every statement in it; result sets are read and dropped, nothing is opened.
  // Throws ESqlError with the database's message (bad SQL, server down, unknown alias); the
  // statements before the failing one have run.
  void ExecSQL();

  // Runs the SQL text like ExecSQL and keeps the first result set (in memory) as the rows;
  // the first row becomes current. Fires activeChanged. Throws ESqlError as ExecSQL, and
  // when the text gives no result set; the query then stays closed.
  void Open();
  // Drops the rows. Fires activeChanged when it was open.
  void Close();
  bool Active() const { return active_; }
  void SetActive(bool active) { active ? Open() : Close(); }

  // --- The rows of an open query (empty when closed). ---
  int FieldCount() const { return static_cast<int>(fieldNames_.size()); }
  const QString& FieldName(int field) const { return fieldNames_.at(field); }
  int RecordCount() const { return static_cast<int>(rows_.size()); }
  // REQUIRES: 0 <= row < RecordCount(), 0 <= field < FieldCount().
  const QVariant& Value(int row, int field) const { return rows_.at(row).at(field); }

  // --- The current row: -1 when closed or empty. Each move fires scrolled. ---
  int RecNo() const { return recNo_; }
  bool Bof() const { return recNo_ <= 0; }
  bool Eof() const { return recNo_ < 0 || recNo_ >= RecordCount() - 1; }
  void First() { MoveTo(0); }
  void Last() { MoveTo(RecordCount() - 1); }
  void Next() { MoveTo(recNo_ + 1); }
  void Prior() { MoveTo(recNo_ - 1); }
  // Moves to row (clamped to the rows there are).
  void MoveTo(int row);

 signals:
  void activeChanged();
  void scrolled();

 private:
  QString databaseName_;
  QStringList sql_;
  bool active_ = false;
  QStringList fieldNames_;
  QVector<QVector<QVariant>> rows_;
  int recNo_ = -1;
};
