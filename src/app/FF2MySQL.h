// The program's main window: pick a table of the suite's database, browse its rows, write the
// SQL that re-creates it as a MySQL table into an editable pane, and run that text on the SQL
// database alias "MySQLweb".
#pragma once

#include <QWidget>

#include "app/Database.h"
#include "store/DataSource.h"
#include "store/Table.h"

class DataSetModel;
class QComboBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QueryModel;
class TDBGrid;
class TDBNavigator;
class TQuery;

class TMySQLConvert : public QWidget {
  Q_OBJECT
 public:
  explicit TMySQLConvert(QWidget* parent = nullptr);
  ~TMySQLConvert() override;

  // --- Components, named as their object names. ---
  QPushButton* BitBtn2;
  QFrame* Panel1;
  QFrame* Panel3;
  QPushButton* BitBtn3;
  QPushButton* BitBtn4;
  QPushButton* BitBtn5;
  QPushButton* BitBtn6;
  QPlainTextEdit* Memo1;
  QFrame* Panel2;
  QFrame* Panel4;
  QPushButton* BitBtn1;
  TDBNavigator* DBNavigator1;
  QLabel* Label1;
  TDBGrid* DBGrid1;
  QFrame* Panel5;
  QComboBox* TableCombo;
  TDBNavigator* DBNavigator2;
  QLabel* Label2;
  TDBGrid* DBGrid2;

  TQuery* Query;
  TDatabase Database;
  ff::TffTable ffTable1{"ffTable1"};
  // The upper grid's source, on Query.
  QueryModel* DataSource;
  // The lower grid's source, on ffTable1, and the grid model over it.
  ff::TDataSource DataSource1{"DataSource1"};
  DataSetModel* DataSource1Model;

  // The SQL pane's text as lines (none when the pane is empty).
  QStringList MemoLines() const;

  // --- Handlers. ---
  // Lists the tables of GetNetAlias() in TableCombo and opens the first one in ffTable1.
  // A session that cannot list the alias is shown in the standard error box; the list then
  // stays empty and the failed open is reported by OpenTable.
  void FormShow();
  // Opens the table now chosen in TableCombo (failures are reported by OpenTable).
  void TableComboChange();
  // "Slett SQL": empties the pane.
  void BitBtn3Click();
  // "Lag tabell SQL": appends the SQL of ffTable1 below the pane's text. When the pane's last
  // statement is not ended by ";", a line ";" is put in between, so that every block stays a
  // statement of its own when the whole pane runs as one request.
  void BitBtn4Click();
  // "Kjør SQL": closes Query, gives it a copy of the pane's lines and runs them in one request.
  // Throws ESqlError with the database's message; the pane keeps its text.
  void BitBtn6Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void buildLeftPane();
  void buildRightPane();
};
