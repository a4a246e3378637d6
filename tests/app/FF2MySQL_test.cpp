// The conversion window, driven offscreen: its layout, the table list, the SQL pane and running
// the pane on the private MariaDB.
#include "app/FF2MySQL.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/DBGrid.h"
#include "app/DBNavigator.h"
#include "app/DataSetModel.h"
#include "app/Query.h"
#include "app/QueryModel.h"
#include "support/SqlTestSupport.h"
#include "db/datamodule/Tableuni.h"
#include "store/Aliases.h"
#include "store/Session.h"
#include "store/Storage.h"
#include "settings/windows/Application.h"
#include "settings/windows/ModalSeam.h"
#include "support/QtTestMain.h"
#include "support/QtPrint.h"
#include "support/TempAlias.h"

using namespace ff;

namespace {

// The dialogs the window showed: "FEIL: headline" for the table error window, "BOX: text" for
// the standard error box.
class ShownDialogs {
 public:
  ShownDialogs()
      : handler_([this](QDialog& dlg) {
          if (auto* form = qobject_cast<TErrorForm*>(&dlg)) {
            shown << "FEIL: " + form->Label1->text();
          } else if (auto* box = qobject_cast<QMessageBox*>(&dlg)) {
            shown << "BOX: " + box->text();
          } else {
            shown << "?: " + dlg.windowTitle();
          }
          return int(QDialog::Accepted);
        }) {}
  QStringList shown;

 private:
  ScopedModalHandler handler_;
};

class ConvertWindowTest : public ::testing::Test {
 protected:
  ConvertWindowTest() { WriteSetting("Net_Alias", store.alias()); }

  void createKunder() {
    TffSession::DefaultSession().CreateTable(store.alias(), "KUNDER",
                                             {{"KUNDENR", FieldType::Integer},
                                              {"NAVN", FieldType::String, 40},
                                              {"SALDO", FieldType::Currency},
                                              {"BELOP", FieldType::Float},
                                              {"ANTALL", FieldType::Smallint},
                                              {"OPPRETTET", FieldType::Date},
                                              {"KL", FieldType::Time},
                                              {"ENDRET", FieldType::DateTime},
                                              {"AKTIV", FieldType::Boolean},
                                              {"NOTAT", FieldType::Memo}},
                                             {});
    auto rows = TffSession::DefaultSession().OpenTable(store.alias(), "KUNDER", {});
    rows->Insert({Value{std::int64_t{1}}, Value{"Bakeriet"}, Value{12.5}, Value{}, Value{}, Value{}, Value{}, Value{},
                  Value{std::int64_t{1}}, Value{}});
    rows->Insert({Value{std::int64_t{2}}, Value{"Fjordsnekker"}, Value{0.0}, Value{}, Value{}, Value{}, Value{},
                  Value{}, Value{std::int64_t{0}}, Value{}});
  }

  void createProsjekt() {
    TffSession::DefaultSession().CreateTable(store.alias(), "Prosjekt",
                                             {{"PROSJEKTNR", FieldType::Float}, {"NAVN", FieldType::String, 30}}, {});
  }

  // Shows the window (FormShow runs) and returns it.
  TMySQLConvert& shown() {
    window = std::make_unique<TMySQLConvert>();
    window->show();
    return *window;
  }

  void chooseTable(int index) {
    window->TableCombo->setCurrentIndex(index);
    emit window->TableCombo->activated(index);
  }

  // BitBtn6Click's error text, empty when it succeeded.
  std::string runPane() {
    try {
      window->BitBtn6Click();
      return {};
    } catch (const ESqlError& e) {
      return e.what();
    }
  }

  sql_test::TempSettings settings;
  TempAlias store{"KVISTSTORE"};
  // Every dialog shown is answered and recorded.
  ShownDialogs dialogs;
  std::unique_ptr<TMySQLConvert> window;
};

TEST_F(ConvertWindowTest, LayoutAndComponentsAsDesigned) {
  TMySQLConvert w;
  EXPECT_EQ(w.objectName(), "MySQLConvert");
  EXPECT_EQ(w.windowTitle(), "Kvistmerket konvertering fra Flashfiler til SQL");
  EXPECT_TRUE(w.windowState() & Qt::WindowMaximized);
  EXPECT_EQ(w.size(), QSize(796, 597)) << "the restored size";
  for (const char* name : {"Panel1", "Panel2", "Panel3", "Panel4", "Panel5", "BitBtn1", "BitBtn2", "BitBtn3",
                           "BitBtn4", "BitBtn5", "BitBtn6", "Memo1", "DBNavigator1", "DBNavigator2", "DBGrid1",
                           "DBGrid2", "TableCombo"}) {
    EXPECT_NE(w.findChild<QWidget*>(name), nullptr) << name;
  }
  EXPECT_NE(w.findChild<TQuery*>("Query"), nullptr);
  EXPECT_NE(w.findChild<QueryModel*>("DataSource"), nullptr);

  EXPECT_EQ(w.Panel1->minimumWidth(), 481);
  EXPECT_EQ(w.Panel1->maximumWidth(), 481);
  EXPECT_EQ(w.DBGrid1->minimumHeight(), 313);
  EXPECT_EQ(w.DBGrid1->maximumHeight(), 313);
  EXPECT_EQ(w.BitBtn3->parent(), w.Panel3);
  EXPECT_EQ(w.BitBtn2->parent(), &w);
  EXPECT_EQ(w.TableCombo->parent(), w.Panel5);
  EXPECT_EQ(w.BitBtn1->parent(), w.Panel4);
  const QStringList captions{w.BitBtn1->text(), w.BitBtn2->text(), w.BitBtn3->text(), w.BitBtn4->text(),
                             w.BitBtn5->text(), w.BitBtn6->text(), w.Label1->text(), w.Label2->text()};
  EXPECT_EQ(captions, (QStringList{"Vis SQL Query", "BitBtn2", "Slett SQL", "Lag tabell SQL", "Lag data SQL",
                                   "Kjør SQL", "SQL", "Flashfiler"}));
  EXPECT_FALSE(w.BitBtn5->isEnabled());
  EXPECT_FALSE(w.Memo1->isReadOnly());
  EXPECT_EQ(w.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(w.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(w.TableCombo->isEditable());
  EXPECT_TRUE(w.DBNavigator2->isFlat());
  EXPECT_FALSE(w.DBNavigator1->isFlat());
  EXPECT_EQ(w.DBNavigator1->dataSource(), w.DataSource);
  EXPECT_EQ(w.DBGrid1->dataSource(), w.DataSource);
  EXPECT_EQ(w.DBNavigator2->dataSource(), w.DataSource1Model);
  EXPECT_EQ(w.DBGrid2->dataSource(), w.DataSource1Model);

  EXPECT_EQ(w.Query->DatabaseName(), "MySQLweb");
  EXPECT_EQ(w.Query->SQL(), QStringList{"select * from Lever"});
  EXPECT_FALSE(w.Query->Active());
  EXPECT_EQ(w.Database.AliasName, "DefaultDD");
  EXPECT_EQ(w.Database.DatabaseName, "Kvistmerket");
  EXPECT_EQ(w.Database.SessionName, "Default");
  EXPECT_FALSE(w.Database.Connected());
  EXPECT_EQ(w.ffTable1.SessionName(), "[automatic]");
  EXPECT_EQ(w.ffTable1.DatabaseName(), "Veltrino");
  EXPECT_EQ(w.DataSource1.DataSet(), &w.ffTable1);
  EXPECT_FALSE(w.ffTable1.Active());
}

TEST_F(ConvertWindowTest, ButtonsSitLeftToRightAndBitBtn2IsCovered) {
  TMySQLConvert& w = shown();
  EXPECT_LT(w.BitBtn3->x(), w.BitBtn4->x());
  EXPECT_LT(w.BitBtn4->x(), w.BitBtn5->x());
  EXPECT_LT(w.BitBtn5->x(), w.BitBtn6->x());
  EXPECT_LT(w.BitBtn1->x(), w.DBNavigator1->x());
  EXPECT_LT(w.DBNavigator1->x(), w.Label1->x());
  EXPECT_LT(w.TableCombo->x(), w.DBNavigator2->x());
  EXPECT_LT(w.Panel4->y(), w.DBGrid1->y());
  EXPECT_LT(w.DBGrid1->y(), w.Panel5->y());
  EXPECT_LT(w.Panel5->y(), w.DBGrid2->y());
  EXPECT_EQ(w.Panel1->x(), 0);
  EXPECT_EQ(w.Panel2->x(), 481);
  EXPECT_NE(w.childAt(w.BitBtn2->geometry().center()), w.BitBtn2) << "the panes lie over it";
  for (int b = 0; b < TDBNavigator::ButtonCount; ++b) {
    EXPECT_FALSE(w.DBNavigator1->button(static_cast<TDBNavigator::Button>(b))->isEnabled())
        << "the upper navigator follows the closed query";
  }
}

TEST_F(ConvertWindowTest, ShowListsTheAliasTablesAndOpensTheFirst) {
  createProsjekt();
  createKunder();
  TMySQLConvert& w = shown();
  EXPECT_EQ(dialogs.shown, QStringList());
  QStringList listed;
  for (int i = 0; i < w.TableCombo->count(); ++i) listed << w.TableCombo->itemText(i);
  EXPECT_EQ(listed, (QStringList{"KUNDER", "Prosjekt"}));
  EXPECT_EQ(w.TableCombo->currentText(), "KUNDER");
  EXPECT_EQ(w.ffTable1.DatabaseName(), store.alias());
  EXPECT_EQ(w.ffTable1.TableName(), "KUNDER");
  ASSERT_TRUE(w.ffTable1.Active());
  const QAbstractItemModel* rows = w.DBGrid2->model();
  ASSERT_EQ(rows->rowCount(), 2);
  EXPECT_EQ(rows->columnCount(), 10);
  EXPECT_EQ(rows->data(rows->index(1, 1)).toString(), "Fjordsnekker");
  EXPECT_EQ(w.DBGrid2->currentIndex().row(), 0);

  chooseTable(1);
  EXPECT_EQ(w.ffTable1.TableName(), "Prosjekt");
  EXPECT_TRUE(w.ffTable1.Active());
  EXPECT_EQ(rows->rowCount(), 0);
  EXPECT_EQ(rows->headerData(0, Qt::Horizontal).toString(), "PROSJEKTNR");
  chooseTable(0);
  EXPECT_EQ(rows->rowCount(), 2);
  EXPECT_EQ(dialogs.shown, QStringList());
}

TEST_F(ConvertWindowTest, BrowsesAndWritesTheSqlOfAFirmsFlashFilerFiles) {
  std::filesystem::copy_file(KV_SOURCE_DIR "/tests/store/ff2/samples/customer.ff2", store.folder() + "customer.ff2");
  TMySQLConvert& w = shown();
  EXPECT_EQ(dialogs.shown, QStringList());
  EXPECT_EQ(w.TableCombo->currentText(), "customer");
  EXPECT_EQ(w.DBGrid2->model()->rowCount(), 55);
  w.BitBtn4Click();
  const QStringList lines = w.MemoLines();
  ASSERT_GE(lines.size(), 5);
  EXPECT_EQ(lines[2], "ID INT default NULL,");
  EXPECT_EQ(lines[3], "Company VARCHAR(30) default NULL,");
}

TEST_F(ConvertWindowTest, ReadOnlyTablesDisableTheNavigatorsChangingButtons) {
  std::filesystem::copy_file(KV_SOURCE_DIR "/tests/store/ff2/samples/customer.ff2", store.folder() + "customer.ff2");
  createKunder();
  TMySQLConvert& w = shown();
  const auto enabled = [&] {
    std::string state;
    for (const auto b : {TDBNavigator::First, TDBNavigator::Next, TDBNavigator::Insert, TDBNavigator::Delete,
                         TDBNavigator::Edit, TDBNavigator::Refresh}) {
      state += w.DBNavigator2->button(b)->isEnabled() ? '1' : '0';
    }
    return state;
  };
  const auto choose = [&](const char* table) {
    const int index = w.TableCombo->findText(table);
    ASSERT_GE(index, 0) << table;
    chooseTable(index);
  };
  choose("customer");
  w.ffTable1.Last();
  EXPECT_EQ(enabled(), "100001") << "first, next, insert, delete, edit, refresh on the firm's .ff2 file";
  const QModelIndex cell = w.DBGrid2->model()->index(0, 1);
  EXPECT_FALSE(w.DBGrid2->model()->flags(cell) & Qt::ItemIsEditable) << "nor can a cell be edited";
  choose("KUNDER");
  EXPECT_EQ(enabled(), "011111") << "a writable table of the store";
  EXPECT_TRUE(w.DBGrid2->model()->flags(w.DBGrid2->model()->index(0, 1)) & Qt::ItemIsEditable);
  EXPECT_EQ(dialogs.shown, QStringList());
}

TEST_F(ConvertWindowTest, GridColumnsFitTheirHeadersAndTheFirstScreenOfValues) {
  TffSession::DefaultSession().CreateTable(store.alias(), "LANG",
                                           {{"NR", FieldType::Integer},
                                            {"EN_SVÆRT_LANG_OVERSKRIFT", FieldType::Integer},
                                            {"NAVN", FieldType::String, 200},
                                            {"NOTAT", FieldType::String, 200}},
                                           {});
  auto rows = TffSession::DefaultSession().OpenTable(store.alias(), "LANG", {});
  for (std::int64_t i = 1; i <= 300; ++i) {
    const std::string name = i == 1 ? "Fjordsnekker Hansen og Sønn" : "x";
    const std::string note = i == 1 ? std::string(200, 'W') : i == 300 ? std::string(60, 'M') : "";
    rows->Insert({Value{i}, Value{}, Value{name}, Value{note}});
  }
  rows.reset();
  TffSession::DefaultSession().CreateTable(store.alias(), "MANGE", {{"NOTAT", FieldType::String, 80}}, {});
  rows = TffSession::DefaultSession().OpenTable(store.alias(), "MANGE", {});
  for (int i = 1; i <= 300; ++i) rows->Insert({Value{i == 300 ? std::string(60, 'M') : std::string("x")}});
  rows.reset();
  TMySQLConvert& w = shown();
  ASSERT_EQ(w.TableCombo->currentText(), "LANG");
  const QFontMetrics metrics = w.DBGrid2->fontMetrics();
  const auto width = [&](int column) { return w.DBGrid2->columnWidth(column); };
  EXPECT_EQ(width(0), TDBGrid::kMinColumnWidth) << "a narrow column keeps a sensible least width";
  EXPECT_GE(width(1), metrics.horizontalAdvance("EN_SVÆRT_LANG_OVERSKRIFT")) << "the whole header shows";
  EXPECT_GE(width(2), metrics.horizontalAdvance("Fjordsnekker Hansen og Sønn")) << "the whole value shows";
  EXPECT_LT(width(2), metrics.horizontalAdvance("Fjordsnekker Hansen og Sønn") + 40);
  const QAbstractItemView& view = *w.DBGrid2;
  EXPECT_GE(width(2), view.sizeHintForColumn(2)) << "as wide as Qt's own fit of the rows on screen, grid line too";
  EXPECT_EQ(width(3), TDBGrid::kMaxColumnWidth) << "a very long value is cut at the widest column";

  chooseTable(w.TableCombo->findText("MANGE"));
  EXPECT_LT(width(0), std::min(metrics.horizontalAdvance(QString(60, 'M')), TDBGrid::kMaxColumnWidth))
      << "rows below the first screen size nothing";
  EXPECT_GE(width(0), metrics.horizontalAdvance("NOTAT"));
}

TEST_F(ConvertWindowTest, AliasWithoutTablesReportsTheFailedOpenAndStaysUsable) {
  TMySQLConvert& w = shown();
  EXPECT_EQ(w.TableCombo->count(), 0);
  EXPECT_EQ(w.ffTable1.TableName(), "");
  EXPECT_FALSE(w.ffTable1.Active());
  EXPECT_EQ(dialogs.shown.size(), 1);
  EXPECT_TRUE(dialogs.shown.value(0).startsWith("FEIL: ")) << dialogs.shown.value(0).toStdString();
  EXPECT_EQ(w.DBGrid2->model()->rowCount(), 0);
  w.BitBtn4Click();
  EXPECT_EQ(w.MemoLines().size(), 4) << "a closed table has no fields";
  w.BitBtn3Click();
  EXPECT_EQ(w.MemoLines(), QStringList());
}

TEST_F(ConvertWindowTest, UnknownAliasIsShownAndTheOpenReported) {
  WriteSetting("Net_Alias", "FINNES_IKKE");
  TMySQLConvert& w = shown();
  ASSERT_EQ(dialogs.shown.size(), 2) << dialogs.shown.join(" / ").toStdString();
  EXPECT_TRUE(dialogs.shown[0].startsWith("BOX: ")) << dialogs.shown[0].toStdString();
  EXPECT_TRUE(dialogs.shown[1].startsWith("FEIL: ")) << dialogs.shown[1].toStdString();
  EXPECT_EQ(w.TableCombo->count(), 0);
}

TEST_F(ConvertWindowTest, TableThatCannotOpenLeavesTheGridEmpty) {
  createKunder();
  createProsjekt();
  TMySQLConvert& w = shown();
  std::filesystem::remove(store.folder() + "Prosjekt.ffdb");
  chooseTable(1);
  EXPECT_FALSE(w.ffTable1.Active());
  EXPECT_EQ(w.DBGrid2->model()->rowCount(), 0);
  EXPECT_EQ(dialogs.shown.size(), 1);
  chooseTable(0);
  EXPECT_TRUE(w.ffTable1.Active()) << "the window stays usable";
}

TEST_F(ConvertWindowTest, MakeTableSqlAppendsAndSlettSqlClears) {
  createProsjekt();
  TMySQLConvert& w = shown();
  const QStringList block{"DROP TABLE IF EXISTS Prosjekt;",
                          "CREATE TABLE Prosjekt ( id INT NOT NULL AUTO_INCREMENT, ",
                          "PROSJEKTNR FLOAT default NULL,",
                          "NAVN VARCHAR(30) default NULL,",
                          "PRIMARY KEY (id)",
                          " )"};
  w.Memo1->setPlainText("-- egen tekst;");
  w.BitBtn4Click();
  EXPECT_EQ(w.MemoLines(), QStringList{"-- egen tekst;"} + block);
  w.BitBtn4Click();
  EXPECT_EQ(w.MemoLines(), QStringList{"-- egen tekst;"} + block + QStringList{";"} + block)
      << "the second block is kept apart from the first by a ';' line";
  w.BitBtn3Click();
  EXPECT_EQ(w.MemoLines(), QStringList());
  EXPECT_EQ(w.Memo1->toPlainText(), "");
  w.BitBtn4Click();
  EXPECT_EQ(w.MemoLines(), block) << "an empty pane gets no separator";
}

// --- Running the pane on the private MariaDB ---

class ConvertWindowSqlTest : public ConvertWindowTest {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_SERVER(mysql); }
  sql_test::PrivateDatabase mysql;
};

TEST_F(ConvertWindowSqlTest, KjorSqlCreatesTheTableWithTheColumnTypes) {
  createKunder();
  TMySQLConvert& w = shown();
  w.BitBtn4Click();
  EXPECT_EQ(runPane(), "");
  EXPECT_EQ(mysql.columns("KUNDER"),
            (sql_test::Names{"id int(11)", "KUNDENR int(11)", "NAVN varchar(40)", "SALDO double", "BELOP float",
                         "ANTALL smallint(6)", "OPPRETTET date", "KL time", "ENDRET datetime", "AKTIV char(1)",
                         "NOTAT blob"}));
  EXPECT_EQ(w.Query->SQL(), w.MemoLines()) << "the query runs a copy of the pane";
  EXPECT_FALSE(w.Query->Active());
}

TEST_F(ConvertWindowSqlTest, SeveralTablesAccumulatedRunInOneGo) {
  createKunder();
  createProsjekt();
  TMySQLConvert& w = shown();
  w.BitBtn4Click();
  chooseTable(1);
  w.BitBtn4Click();
  w.BitBtn4Click();
  EXPECT_EQ(runPane(), "");
  EXPECT_EQ(mysql.tables(), (sql_test::Names{"KUNDER", "Prosjekt"}));
  EXPECT_EQ(mysql.columns("Prosjekt"), (sql_test::Names{"id int(11)", "PROSJEKTNR float", "NAVN varchar(30)"}));
  EXPECT_EQ(runPane(), "") << "the drop lines make the text run again";
}

TEST_F(ConvertWindowSqlTest, KjorSqlClosesAnOpenQueryFirst) {
  TMySQLConvert& w = shown();
  w.Query->SetSQL({"SELECT 1 AS EN"});
  w.Query->Open();
  EXPECT_EQ(w.DBGrid1->model()->rowCount(), 1) << "an open query feeds the upper grid";
  w.Memo1->setPlainText("CREATE TABLE x (a INT)");
  EXPECT_EQ(runPane(), "");
  EXPECT_FALSE(w.Query->Active());
  EXPECT_EQ(w.DBGrid1->model()->rowCount(), 0);
}

TEST_F(ConvertWindowSqlTest, FailingSqlKeepsThePaneAndCarriesTheDatabaseMessage) {
  TMySQLConvert& w = shown();
  const QString text = "CREATE TABLE ok (a INT);\nCREATE TABEL feil (b INT)";
  w.Memo1->setPlainText(text);
  const std::string error = runPane();
  EXPECT_NE(error.find("You have an error in your SQL syntax"), std::string::npos) << error;
  EXPECT_EQ(w.Memo1->toPlainText(), text);
  EXPECT_EQ(mysql.tables(), sql_test::Names{"ok"});

  dialogs.shown.clear();
  TApplication::ShowException(error);
  EXPECT_EQ(dialogs.shown, QStringList{"BOX: " + QString::fromStdString(error)})
      << "the standard error box shows the message as it came";

  w.Query->SetDatabaseName("UKJENT");
  EXPECT_EQ(runPane(), "Ukjent databasealias: UKJENT");
  WriteSqlAlias("MySQLweb", sql_test::DeadServerAlias(settings.folder()));
  w.Query->SetDatabaseName("MySQLweb");
  EXPECT_NE(runPane().find("Can't connect"), std::string::npos) << "server down";
  EXPECT_EQ(w.Memo1->toPlainText(), text);
}

TEST_F(ConvertWindowSqlTest, ClickOnKjorSqlShowsTheErrorBoxThroughTheEventLoop) {
  createProsjekt();
  TMySQLConvert& w = shown();
  w.Memo1->setPlainText("CREATE TABEL feil (b INT)");
  QTest::mouseClick(w.BitBtn6, Qt::LeftButton);
  ASSERT_EQ(dialogs.shown.size(), 1) << dialogs.shown.join(" / ").toStdString();
  EXPECT_TRUE(dialogs.shown[0].startsWith("BOX: SQL-teksten kunne ikke kjøres på databasealiaset MySQLweb:\n"
                                          "You have an error in your SQL syntax"))
      << "the server's text under a Norwegian line: " << dialogs.shown[0].toStdString();
  EXPECT_EQ(w.Memo1->toPlainText(), "CREATE TABEL feil (b INT)");

  w.Memo1->setPlainText("CREATE TABLE riktig (b INT)");
  QTest::mouseClick(w.BitBtn6, Qt::LeftButton);
  EXPECT_EQ(dialogs.shown.size(), 1) << "the window goes on working";
  EXPECT_EQ(mysql.tables(), sql_test::Names{"riktig"});
}

TEST_F(ConvertWindowTest, KjorSqlWithAnEmptyPaneSaysSo) {
  TMySQLConvert& w = shown();
  for (const QString& text : {QString(), QString("\n   \n")}) {
    dialogs.shown.clear();
    w.Memo1->setPlainText(text);
    QTest::mouseClick(w.BitBtn6, Qt::LeftButton);
    EXPECT_EQ(dialogs.shown, QStringList{"BOX: Ingen SQL-tekst å kjøre: teksten er tom"});
  }
}

}  // namespace

// Own entry point: the click tests need the program's own application object, whose event
// loop shows what the window lets through.
int main(int argc, char** argv) { return RunQtTests<TApplication>(argc, argv); }
