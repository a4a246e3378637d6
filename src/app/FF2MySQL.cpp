#include "app/FF2MySQL.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <string>
#include <vector>

#include "app/DBGrid.h"
#include "app/DBNavigator.h"
#include "app/DataSetModel.h"
#include "app/Data_SQL.h"
#include "app/Query.h"
#include "app/QueryModel.h"
#include "settings/SqlAliases.h"
#include "db/datamodule/Tableuni.h"
#include "db/datamodule/datafile.h"
#include "store/Errors.h"
#include "store/Session.h"
#include "settings/windows/Application.h"
#include "settings/Felles.h"

namespace {

template <typename T>
T* named(T* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

QFrame* panel(QWidget* parent, const char* name) {
  auto* frame = named(new QFrame(parent), name);
  frame->setFrameShape(QFrame::StyledPanel);
  frame->setAutoFillBackground(true);
  return frame;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption) {
  return named(new QPushButton(QString::fromUtf8(caption), parent), name);
}

QHBoxLayout* barLayout(QWidget* bar) {
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(4, 4, 4, 4);
  return layout;
}

}  // namespace

TMySQLConvert::TMySQLConvert(QWidget* parent) : QWidget(parent) {
  setObjectName("MySQLConvert");
  setWindowTitle("Kvistmerket konvertering fra Flashfiler til SQL");
  resize(796, 597);
  setWindowState(Qt::WindowMaximized);

  // Made first, so that the panes cover it, as they do on the original form.
  BitBtn2 = button(this, "BitBtn2", "BitBtn2");
  BitBtn2->move(8, 8);

  Query = named(new TQuery(this), "Query");
  Query->SetDatabaseName(kSqlAliasMySQLweb);
  Query->SetSQL({"select * from Lever"});
  Database.AliasName = "DefaultDD";
  Database.DatabaseName = "Kvistmerket";
  Database.SessionName = "Default";
  DataSource = named(new QueryModel(*Query, this), "DataSource");
  ffTable1.SetDatabaseName("Veltrino");
  DataSource1.SetDataSet(&ffTable1);
  DataSource1Model = named(new DataSetModel(DataSource1, this), "DataSource1Model");

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  buildLeftPane();
  buildRightPane();
  layout->addWidget(Panel1);
  layout->addWidget(Panel2, 1);
}

TMySQLConvert::~TMySQLConvert() {
  // The models go before what they follow, and the grids let go of them first.
  for (TDBGrid* grid : {DBGrid1, DBGrid2}) grid->setDataSource(nullptr);
  for (TDBNavigator* navigator : {DBNavigator1, DBNavigator2}) navigator->setDataSource(nullptr);
  delete DataSource1Model;
  delete DataSource;
}

void TMySQLConvert::buildLeftPane() {
  Panel1 = panel(this, "Panel1");
  Panel1->setFixedWidth(481);
  auto* column = new QVBoxLayout(Panel1);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Panel3 = panel(Panel1, "Panel3");
  auto* bar = barLayout(Panel3);
  BitBtn3 = button(Panel3, "BitBtn3", "Slett SQL");
  BitBtn4 = button(Panel3, "BitBtn4", "Lag tabell SQL");
  BitBtn5 = button(Panel3, "BitBtn5", "Lag data SQL");
  BitBtn5->setEnabled(false);
  BitBtn6 = button(Panel3, "BitBtn6", "Kjør SQL");
  for (QPushButton* b : {BitBtn3, BitBtn4, BitBtn5, BitBtn6}) bar->addWidget(b);
  bar->addStretch();
  connect(BitBtn3, &QPushButton::clicked, this, &TMySQLConvert::BitBtn3Click);
  connect(BitBtn4, &QPushButton::clicked, this, &TMySQLConvert::BitBtn4Click);
  connect(BitBtn6, &QPushButton::clicked, this, &TMySQLConvert::BitBtn6Click);

  Memo1 = named(new QPlainTextEdit(Panel1), "Memo1");
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  column->addWidget(Panel3);
  column->addWidget(Memo1, 1);
}

void TMySQLConvert::buildRightPane() {
  Panel2 = panel(this, "Panel2");
  auto* column = new QVBoxLayout(Panel2);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Panel4 = panel(Panel2, "Panel4");
  auto* upperBar = barLayout(Panel4);
  BitBtn1 = button(Panel4, "BitBtn1", "Vis SQL Query");
  DBNavigator1 = named(new TDBNavigator(Panel4), "DBNavigator1");
  DBNavigator1->setDataSource(DataSource);
  Label1 = named(new QLabel("SQL", Panel4), "Label1");
  upperBar->addWidget(BitBtn1);
  upperBar->addWidget(DBNavigator1);
  upperBar->addWidget(Label1);
  upperBar->addStretch();

  DBGrid1 = named(new TDBGrid(Panel2), "DBGrid1");
  DBGrid1->setFixedHeight(313);
  DBGrid1->setDataSource(DataSource);

  Panel5 = panel(Panel2, "Panel5");
  auto* lowerBar = barLayout(Panel5);
  TableCombo = named(new QComboBox(Panel5), "TableCombo");
  TableCombo->setEditable(false);
  TableCombo->setMinimumContentsLength(24);
  connect(TableCombo, &QComboBox::activated, this, &TMySQLConvert::TableComboChange);
  DBNavigator2 = named(new TDBNavigator(Panel5), "DBNavigator2");
  DBNavigator2->setFlat(true);
  DBNavigator2->setDataSource(DataSource1Model);
  Label2 = named(new QLabel("Flashfiler", Panel5), "Label2");
  lowerBar->addWidget(TableCombo);
  lowerBar->addWidget(DBNavigator2);
  lowerBar->addWidget(Label2);
  lowerBar->addStretch();

  DBGrid2 = named(new TDBGrid(Panel2), "DBGrid2");
  DBGrid2->setDataSource(DataSource1Model);

  column->addWidget(Panel4);
  column->addWidget(DBGrid1);
  column->addWidget(Panel5);
  column->addWidget(DBGrid2, 1);
}

QStringList TMySQLConvert::MemoLines() const {
  const QString text = Memo1->toPlainText();
  return text.isEmpty() ? QStringList() : text.split('\n');
}

void TMySQLConvert::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TMySQLConvert::FormShow() {
  const std::string alias = GetNetAlias();
  std::vector<std::string> names;
  try {
    ff::TffSession& session = DataFiler ? DataFiler->Serversession : ff::TffSession::DefaultSession();
    session.GetTableNames(alias, "*.*", false, false, names);
  } catch (const ff::Error& e) {
    TApplication::ShowException(e.what());
  }
  TableCombo->clear();
  for (const auto& name : names) TableCombo->addItem(QString::fromStdString(name));
  CloseTable(ffTable1);
  if (ffTable1.Active()) return;
  ffTable1.SetDatabaseName(alias);
  TableCombo->setCurrentIndex(names.empty() ? -1 : 0);
  ffTable1.SetTableName(TableCombo->currentText().toStdString());
  OpenTable(ffTable1);
}

void TMySQLConvert::TableComboChange() {
  CloseTable(ffTable1);
  if (ffTable1.Active()) return;
  ffTable1.SetTableName(TableCombo->currentText().toStdString());
  OpenTable(ffTable1);
}

void TMySQLConvert::BitBtn3Click() { Memo1->clear(); }

void TMySQLConvert::BitBtn4Click() {
  const QStringList before = MemoLines();
  QStringList added = StatementEndAfter(before);
  // Lines written before a failure stay in the pane, as they would in a shared line list.
  const auto appendAdded = [&] {
    for (const QString& line : added) Memo1->appendPlainText(line);
  };
  try {
    MakeTableSql(added, ffTable1, ffTable1.TableName());
  } catch (...) {
    appendAdded();
    throw;
  }
  appendAdded();
}

void TMySQLConvert::BitBtn6Click() {
  Query->Close();
  Query->SetSQL(MemoLines());
  Query->ExecSQL();
}
