// The table helper routines on real tables of the store, and the fatal error window they
// report to, driven offscreen through the modal seam.
#include "db/datamodule/Tableuni.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "settings/Felles.h"
#include "settings/windows/ModalSeam.h"
#include "settings/windows/ProcessExit.h"
#include "settings/windows/ScreenCursor.h"
#include "settings/SettingsTestSupport.h"
#include "settings/windows/Slett.h"
#include "support/QtPrint.h"
#include "support/TempAlias.h"

namespace {

using ff::DataSetState;
using ff::TffTable;

std::string Text(const QLabel* label) { return label->text().toStdString(); }

// What an error window shows: "headline|detail|family|code|further".
std::string Rendered(const TErrorForm& form) {
  return Text(form.Label1) + "|" + Text(form.Label2) + "|" + Text(form.Panels[0]) + "|" +
         Text(form.Panels[1]) + "|" + Text(form.Panels[2]);
}

// Answers every modal window shown while it lives. Error windows are recorded and closed with
// "O&k" unless onError decides otherwise; delete confirmations are recorded and answered with
// deleteAnswer.
class ModalScript {
 public:
  std::vector<std::string> errors;
  std::vector<std::string> questions;
  bool deleteAnswer = false;
  std::function<void(TErrorForm&)> onError;

 private:
  int answer(QDialog& dialog) {
    if (auto* form = dynamic_cast<TErrorForm*>(&dialog)) {
      errors.push_back(Rendered(*form));
      onError ? onError(*form) : form->BitBtn1->click();
      return form->result();
    }
    if (auto* confirm = dynamic_cast<TSlettedialog*>(&dialog)) {
      questions.push_back(Text(confirm->Label1));
      (deleteAnswer ? confirm->OKBtn : confirm->CancelBtn)->click();
      return confirm->result();
    }
    ADD_FAILURE() << "unexpected window " << dialog.objectName().toStdString();
    return QDialog::Rejected;
  }

  ScopedModalHandler handler_{[this](QDialog& dialog) { return answer(dialog); }};
};

// Records the codes the process would have ended with, for the life of the object; onEnd
// runs at each ending.
class EndProcessRecorder {
 public:
  EndProcessRecorder() {
    SetEndProcessHandler([this](int code) {
      codes.push_back(code);
      if (onEnd) onEnd();
    });
  }
  ~EndProcessRecorder() { SetEndProcessHandler({}); }
  EndProcessRecorder(const EndProcessRecorder&) = delete;
  EndProcessRecorder& operator=(const EndProcessRecorder&) = delete;

  std::vector<int> codes;
  std::function<void()> onEnd;
};

ff::FieldDef Field(const std::string& name, ff::FieldType type, int size = 0) {
  return {name, type, size, false};
}

class TableuniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitSettingsStore({settingsFolder.Path()});
    session().CreateTable(db.alias(), "PROSJEKT",
                          {Field("PROSJEKTNR", ff::FieldType::Float),
                           Field("NAVN", ff::FieldType::String, 10)},
                          {{"PROSJEKTNR", {"PROSJEKTNR"}, ff::ixUnique}});
    session().CreateTable(db.alias(), "TOM", {Field("NAVN", ff::FieldType::String, 10)}, {});
    TffTable fill;
    Prepare(fill);
    fill.Open();
    for (const auto& [nr, navn] : {std::pair{3.0, "C"}, {1.0, "A"}, {2.0, "B"}}) {
      fill.Append();
      fill.FieldByName("PROSJEKTNR").SetAsFloat(nr);
      fill.FieldByName("NAVN").SetAsString(navn);
      fill.Post();
    }
  }

  void TearDown() override {
    SuppressTableErrors = false;
    SetScreenCursor(ScreenCursor::Default);
  }

  static ff::TffSession& session() { return ff::TffSession::DefaultSession(); }

  void Prepare(TffTable& table, const std::string& name = "PROSJEKT") const {
    table.SetDatabaseName(db.alias());
    table.SetTableName(name);
  }

  // The projects filtered on PROSJEKTNR>1 in their number order, on the second row; scrolls
  // counts every scroll from there on.
  void FilteredOnTheSecondRow(TffTable& table, int& scrolls) const {
    Prepare(table);
    table.SetIndexName("PROSJEKTNR");
    ASSERT_TRUE(FilterTable(table, "PROSJEKTNR>1"));
    table.Next();
    table.AfterScroll = [&scrolls](TffTable&) { ++scrolls; };
  }

  std::string TableFile(const std::string& name) const {
    return ff::FindTableFile(db.folder(), name).first;
  }

  // The rows in the table's order from the first on, as "(1 A)(2 B)"; leaves it at the end.
  static std::string Rows(TffTable& table) {
    std::string out;
    for (table.First(); !table.Eof(); table.Next()) {
      out += "(" + table.FieldByName("PROSJEKTNR").AsString() + " " +
             table.FieldByName("NAVN").AsString() + ")";
    }
    return out;
  }

  settings_test::TempDir settingsFolder;
  TempAlias db;
  ModalScript script;
};

// ---- The error window -------------------------------------------------------------------------

TEST_F(TableuniTest, ErrorWindowHasItsCaptionSizeLookAndMenu) {
  bool looked = false;
  script.onError = [&](TErrorForm& form) {
    looked = true;
    EXPECT_EQ(form.objectName(), "ErrorForm");
    EXPECT_EQ(form.windowTitle(), "FEIL");
    EXPECT_TRUE(form.isModal());
    EXPECT_EQ(form.findChild<QWidget*>("ClientArea")->size(), QSize(425, 154));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed border";
    EXPECT_EQ(form.width(), 425);
    for (const Qt::WindowType button : {Qt::WindowCloseButtonHint, Qt::WindowMinimizeButtonHint,
                                        Qt::WindowMaximizeButtonHint, Qt::WindowContextHelpButtonHint}) {
      EXPECT_FALSE(form.windowFlags().testFlag(button)) << "no title-bar buttons";
    }
    EXPECT_EQ(form.font().family(), "Arial");
    EXPECT_TRUE(form.font().bold());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Centred as placed before the system added its frame of a few pixels.
    const QPoint offCentre = form.geometry().center() - screen.center();
    EXPECT_LE(std::abs(offCentre.x()), 4);
    EXPECT_LE(std::abs(offCentre.y()), 4);

    EXPECT_EQ(form.findChild<QLabel*>("Label1"), form.Label1);
    EXPECT_TRUE(form.Label1->alignment().testFlag(Qt::AlignHCenter));
    EXPECT_EQ(form.Label1->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
    EXPECT_TRUE(form.Label1->font().bold());
    EXPECT_EQ(form.findChild<QLabel*>("Label2"), form.Label2);
    EXPECT_EQ(form.Label2->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_LT(form.Label2->font().pixelSize(), form.Label1->font().pixelSize());
    EXPECT_EQ(form.findChild<QPushButton*>("BitBtn1")->text(), "O&k");

    EXPECT_EQ(form.findChild<QStatusBar*>("StatusBar"), form.StatusBar);
    const int widths[] = {75, 50, 50};
    const Qt::Alignment alignments[] = {Qt::AlignHCenter, Qt::AlignRight, Qt::AlignLeft};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(form.Panels[i]->width(), widths[i]) << "panel " << i;
      EXPECT_EQ(static_cast<int>(form.Panels[i]->alignment() & Qt::AlignHorizontal_Mask),
                static_cast<int>(alignments[i]))
          << "panel " << i;
    }

    ASSERT_EQ(form.findChild<QMenuBar*>("MainMenu1"), form.MainMenu1);
    const auto* handling = form.findChild<QMenu*>("Handling1");
    ASSERT_NE(handling, nullptr);
    EXPECT_EQ(handling->title(), "&Handling");
    QStringList items;
    for (const QAction* action : handling->actions()) {
      items << action->objectName() + "=" + action->text();
    }
    EXPECT_EQ(items.join(","), "Avsluttprogram1=Avslutt program,Avbrytprogram1=Avbryt program,"
                               "Drepprogram1=Drep program");
    form.BitBtn1->click();
    EXPECT_FALSE(form.isVisible()) << "O&k closes the window";
  };
  ShowTableError(0, "melding", "detalj");
  EXPECT_TRUE(looked);
}

TEST_F(TableuniTest, ErrorWindowShowsTheCodeAndTheTextOfItsFamily) {
  const struct {
    std::uint32_t code;
    const char* shown;
  } cases[] = {
      {0, "melding|detalj||0|"},
      {1, "melding|detalj|WIN/DOS|1|Feil funksjonsnummer"},
      {2, "melding|detalj|WIN/DOS|2|Filen fins ikke"},
      {25, "melding|detalj|WIN/DOS|25|Søkefeil på disken"},
      {39, "melding|detalj|WIN/DOS|39|Disk full"},
      {40, "melding|detalj||40|"},
      {4096, "melding|detalj||4096|"},
      {4097, "Server kan ikke lukkes|melding|FlashFiler|4097|detalj"},
      {4100, "Kan ikke åpne tabell|melding|FlashFiler|4100|detalj"},
      {4101, "Databasen finnes ikke|melding|FlashFiler|4101|detalj"},
      {4102, "melding|detalj||4102|"},
      {9728, "melding|detalj||9728|"},
      {9729, "melding|detalj|BDE|9729|Key violation"},
      {9734, "melding|detalj|BDE|9734|Cannot MODIFY or DELETE this Master record"},
      {9740, "melding|detalj|BDE|9740|Field is blank"},
      {9741, "melding|detalj||9741|"},
      {4294967295u, "melding|detalj||4294967295|"},
  };
  for (const auto& c : cases) {
    script.errors.clear();
    ShowTableError(c.code, "melding", "detalj");
    EXPECT_EQ(script.errors, std::vector<std::string>{c.shown}) << "code " << c.code;
  }
}

TEST_F(TableuniTest, EachReportHasAFreshWindowReleasedAfterwards) {
  std::vector<QPointer<TErrorForm>> forms;
  script.onError = [&](TErrorForm& form) {
    forms.emplace_back(&form);
    form.BitBtn1->click();
  };
  ShowTableError(2, "første", "a");
  ShowTableError(0, "andre", "b");
  ASSERT_EQ(forms.size(), 2u);
  EXPECT_TRUE(forms[0].isNull());
  EXPECT_TRUE(forms[1].isNull());
  EXPECT_EQ(script.errors[1], "andre|b||0|") << "nothing stays from the report before";
}

TEST_F(TableuniTest, LongTextsAreCutAt255Characters) {
  const std::string longText(300, 'x');
  ShowTableError(0, longText, std::string(260, 'y'));
  ASSERT_EQ(script.errors.size(), 1u);
  EXPECT_EQ(script.errors[0], std::string(255, 'x') + "|" + std::string(255, 'y') + "||0|");
}

TEST_F(TableuniTest, SuppressedReportsShowNothing) {
  SuppressTableErrors = true;
  ShowTableError(4100, "PROSJEKT", "Alias:X");
  EXPECT_TRUE(script.errors.empty());
}

// ---- The error window's menu ------------------------------------------------------------------

TEST_F(TableuniTest, AvsluttEndsTheWindowAndTheEventLoop) {
  bool stillShown = true;
  script.onError = [&](TErrorForm& form) {
    form.findChild<QAction*>("Avsluttprogram1")->trigger();
    stillShown = form.isVisible();
  };
  bool reportReturned = false;
  QTimer::singleShot(0, [&] {
    ShowTableError(0, "melding", "detalj");
    reportReturned = true;
  });
  // Only guards against a hang should the request to end go missing.
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  watchdog.start(60000);
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_FALSE(stillShown);
  EXPECT_TRUE(reportReturned);
}

TEST_F(TableuniTest, AvbrytEndsTheProcessWithCodeZeroAndClosesNoWindow) {
  EndProcessRecorder ended;
  QWidget other;
  other.show();
  script.onError = [&](TErrorForm& form) {
    form.findChild<QAction*>("Avbrytprogram1")->trigger();
    EXPECT_EQ(ended.codes, std::vector<int>{0}) << "at once, from the menu item";
    form.BitBtn1->click();
  };
  ShowTableError(0, "melding", "detalj");
  EXPECT_EQ(ended.codes, std::vector<int>{0});
  EXPECT_TRUE(other.isVisible());
}

// A window that records whether it was asked to close.
class RecordingWindow : public QWidget {
 public:
  bool askedToClose = false;

 protected:
  void closeEvent(QCloseEvent* event) override {
    askedToClose = true;
    QWidget::closeEvent(event);
  }
};

TEST_F(TableuniTest, DrepTakesEveryWindowAwayThenEndsTheProcess) {
  EndProcessRecorder ended;
  RecordingWindow mainWindow;
  mainWindow.show();
  QWidget dialog(&mainWindow, Qt::Dialog);
  dialog.show();
  std::vector<std::string> shownAtEnd;
  ended.onEnd = [&] {
    for (const QWidget* window : QApplication::topLevelWidgets()) {
      if (window->isVisible()) shownAtEnd.push_back(window->objectName().toStdString());
    }
  };
  script.onError = [&](TErrorForm& form) { form.findChild<QAction*>("Drepprogram1")->trigger(); };
  ShowTableError(0, "melding", "detalj");
  QCoreApplication::processEvents();
  EXPECT_EQ(ended.codes, std::vector<int>{0});
  EXPECT_TRUE(shownAtEnd.empty()) << "no window left on the screen, the error window included";
  EXPECT_FALSE(mainWindow.askedToClose);
}

// ---- OpenTable and CloseTable -----------------------------------------------------------------

TEST_F(TableuniTest, OpenTableWithoutDatabaseNameUsesTheNetAlias) {
  WriteSetting("Net_Alias", db.alias());
  TffTable table;
  table.SetTableName("PROSJEKT");
  EXPECT_TRUE(OpenTable(table));
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(table.DatabaseName(), db.alias());
  EXPECT_TRUE(script.errors.empty());
}

TEST_F(TableuniTest, OpenTableWithoutAnyAliasTriesKvistMerket) {
  TffTable table;
  table.SetTableName("PROSJEKT");
  EXPECT_FALSE(OpenTable(table));
  EXPECT_EQ(table.DatabaseName(), "KvistMerket");
  EXPECT_EQ(script.errors, std::vector<std::string>{"Databasen finnes ikke|KvistMerket|FlashFiler|4101|"});
}

TEST_F(TableuniTest, OpenTableOnAnOpenTableClosesAndReopensIt) {
  TffTable table;
  Prepare(table);
  table.Open();
  std::vector<std::string> events;
  table.AfterClose = [&](TffTable&) { events.push_back("AfterClose"); };
  table.AfterOpen = [&](TffTable&) { events.push_back("AfterOpen"); };
  EXPECT_TRUE(OpenTable(table));
  EXPECT_EQ(events, (std::vector<std::string>{"AfterClose", "AfterOpen"}));
  EXPECT_TRUE(table.Active());
}

TEST_F(TableuniTest, OpenTableFailuresReportTheAliasOrTheMissingDatabase) {
  TffTable missingTable;
  Prepare(missingTable, "FINNESIKKE");
  EXPECT_FALSE(OpenTable(missingTable));

  TffTable missingDatabase;
  missingDatabase.SetDatabaseName("UKJENT");
  missingDatabase.SetTableName("PROSJEKT");
  EXPECT_FALSE(OpenTable(missingDatabase));

  EXPECT_EQ(script.errors,
            (std::vector<std::string>{"Kan ikke åpne tabell|FINNESIKKE|FlashFiler|4100|Alias:" + db.alias(),
                                      "Databasen finnes ikke|UKJENT|FlashFiler|4101|"}));
  EXPECT_FALSE(missingTable.Active());
  EXPECT_FALSE(missingDatabase.Active());
}

TEST_F(TableuniTest, OpenTableFailsOnADamagedFileAndOnATableInExclusiveUse) {
  TffTable owner;
  Prepare(owner);
  owner.SetExclusive(true);
  owner.Open();
  TffTable table;
  Prepare(table);
  EXPECT_FALSE(OpenTable(table));
  owner.Close();

  std::ofstream(TableFile("TOM"), std::ios::binary | std::ios::trunc) << "ikke en tabell";
  TffTable damaged;
  Prepare(damaged, "TOM");
  EXPECT_FALSE(OpenTable(damaged));

  EXPECT_EQ(script.errors,
            (std::vector<std::string>{"Kan ikke åpne tabell|PROSJEKT|FlashFiler|4100|Alias:" + db.alias(),
                                      "Kan ikke åpne tabell|TOM|FlashFiler|4100|Alias:" + db.alias()}));
}

TEST_F(TableuniTest, OpenTableFailingWhileSuppressedShowsNothing) {
  SuppressTableErrors = true;
  TffTable table;
  Prepare(table, "FINNESIKKE");
  EXPECT_FALSE(OpenTable(table));
  EXPECT_TRUE(script.errors.empty());
}

TEST_F(TableuniTest, TheSilentAbortOfARulePassesToTheCallerUnreported) {
  TffTable table;
  Prepare(table);
  table.BeforeOpen = [](TffTable&) { ff::Abort(); };
  EXPECT_THROW(OpenTable(table), ff::EAbort);
  table.BeforeOpen = nullptr;
  table.Open();
  table.BeforeEdit = [](TffTable&) { ff::Abort(); };
  EXPECT_THROW(EditTable(table), ff::EAbort);
  table.BeforeEdit = nullptr;
  table.Edit();
  table.BeforePost = [](TffTable&) { ff::Abort(); };
  EXPECT_THROW(PostTable(table), ff::EAbort);
  EXPECT_TRUE(script.errors.empty());
}

TEST_F(TableuniTest, CloseTableClosesAndReportsAFailedClose) {
  TffTable table;
  Prepare(table);
  CloseTable(table);
  EXPECT_TRUE(script.errors.empty()) << "a closed table is left alone";

  table.Open();
  table.BeforeClose = [](TffTable&) { throw ff::Error("holdes åpen"); };
  CloseTable(table);
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(script.errors, std::vector<std::string>{"Feil under lukking av tabellen|PROSJEKT||0|"});

  table.BeforeClose = nullptr;
  CloseTable(table);
  EXPECT_FALSE(table.Active());
}

// ---- EditTable, PostTable, FirstRecord --------------------------------------------------------

TEST_F(TableuniTest, EditTablePutsTheRowInEditAndLeavesAnEditingTableAlone) {
  TffTable table;
  Prepare(table);
  table.Open();
  int edits = 0;
  table.BeforeEdit = [&](TffTable&) { ++edits; };
  EXPECT_TRUE(EditTable(table));
  EXPECT_EQ(table.State(), DataSetState::Edit);
  table.FieldByName("NAVN").SetAsString("endret");
  EXPECT_TRUE(EditTable(table));
  EXPECT_EQ(edits, 1);
  EXPECT_EQ(table.FieldByName("NAVN").AsString(), "endret") << "the pending change is kept";
  EXPECT_TRUE(script.errors.empty());
}

TEST_F(TableuniTest, EditTableReportsAReadOnlyOrClosedTable) {
  TffTable readOnly;
  Prepare(readOnly);
  readOnly.SetReadOnly(true);
  readOnly.Open();
  EXPECT_FALSE(EditTable(readOnly));
  EXPECT_EQ(readOnly.State(), DataSetState::Browse);

  TffTable closed;
  Prepare(closed);
  EXPECT_FALSE(EditTable(closed));
  EXPECT_EQ(script.errors, (std::vector<std::string>{"Kan ikke redigere denne posten|PROSJEKT||0|",
                                                     "Kan ikke redigere denne posten|PROSJEKT||0|"}));
}

TEST_F(TableuniTest, PostTableInBrowseReturnsTrueWithoutTouchingTheTable) {
  TffTable table;
  Prepare(table);
  table.Open();
  int posts = 0;
  table.BeforePost = [&](TffTable&) { ++posts; };
  EXPECT_TRUE(PostTable(table));
  EXPECT_EQ(posts, 0);
  EXPECT_TRUE(script.errors.empty());
}

TEST_F(TableuniTest, PostTableWritesTheRowOrReportsAKeyViolation) {
  TffTable table;
  Prepare(table);
  table.SetIndexName("PROSJEKTNR");
  table.Open();
  table.Append();
  table.FieldByName("PROSJEKTNR").SetAsFloat(4);
  table.FieldByName("NAVN").SetAsString("D");
  EXPECT_TRUE(PostTable(table));
  EXPECT_EQ(table.State(), DataSetState::Browse);

  table.Append();
  table.FieldByName("PROSJEKTNR").SetAsFloat(1);
  table.FieldByName("NAVN").SetAsString("dobbel");
  EXPECT_FALSE(PostTable(table));
  EXPECT_EQ(table.State(), DataSetState::Insert) << "left as the failed post left it";
  EXPECT_EQ(script.errors, std::vector<std::string>{"Kan ikke lagre denne posten|PROSJEKT||0|"});
  table.Cancel();
  EXPECT_EQ(Rows(table), "(1 A)(2 B)(3 C)(4 D)");
}

TEST_F(TableuniTest, FirstRecordOpensAClosedTableAndGoesToTheFirstRow) {
  TffTable table;
  Prepare(table);
  table.SetIndexName("PROSJEKTNR");
  EXPECT_TRUE(FirstRecord(table));
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(table.FieldByName("PROSJEKTNR").AsString(), "1");
  table.Last();
  EXPECT_TRUE(FirstRecord(table));
  EXPECT_EQ(table.FieldByName("PROSJEKTNR").AsString(), "1");
  EXPECT_TRUE(script.errors.empty());
}

TEST_F(TableuniTest, FirstRecordOnATableThatCannotOpenReportsBoth) {
  TffTable table;
  Prepare(table, "FINNESIKKE");
  EXPECT_FALSE(FirstRecord(table));
  EXPECT_EQ(script.errors,
            (std::vector<std::string>{"Kan ikke åpne tabell|FINNESIKKE|FlashFiler|4100|Alias:" + db.alias(),
                                      "Kan ikke gå til start av tabell|FINNESIKKE||0|"}));
}

// ---- FilterTable ------------------------------------------------------------------------------

TEST_F(TableuniTest, FilterTableOpensFiltersAndRestoresTheCursor) {
  TffTable table;
  Prepare(table);
  table.SetIndexName("PROSJEKTNR");
  EXPECT_TRUE(FilterTable(table, "PROSJEKTNR>1"));
  EXPECT_TRUE(table.Active());
  EXPECT_TRUE(table.Filtered());
  EXPECT_EQ(table.Filter(), "PROSJEKTNR>1");
  EXPECT_EQ(Rows(table), "(2 B)(3 C)");
  EXPECT_FALSE(ScreenCursorIsHourglass());

  SetScreenCursor(ScreenCursor::Hourglass);
  EXPECT_TRUE(FilterTable(table, "NAVN='A'"));
  EXPECT_TRUE(ScreenCursorIsHourglass()) << "an hourglass set by the caller stays";
  EXPECT_EQ(Rows(table), "(1 A)");
  EXPECT_TRUE(script.errors.empty());
}

TEST_F(TableuniTest, FilterTableWithTheFilterInForceChangesNothing) {
  TffTable table;
  int scrolls = 0;
  FilteredOnTheSecondRow(table, scrolls);
  EXPECT_TRUE(FilterTable(table, "PROSJEKTNR>1"));
  EXPECT_EQ(scrolls, 0) << "not filtered again";
  EXPECT_EQ(table.FieldByName("PROSJEKTNR").AsString(), "3");

  EXPECT_TRUE(FilterTable(table, "PROSJEKTNR > 1")) << "a different text filters again";
  EXPECT_GT(scrolls, 0);
}

// A roll-up filters the same tables hundreds of times: each new filter costs one trip to the
// first row, not one unfiltered and one filtered.
TEST_F(TableuniTest, FilterTableOnAFilteredTableGoesToTheFirstRowOnce) {
  TffTable table;
  int scrolls = 0;
  FilteredOnTheSecondRow(table, scrolls);
  EXPECT_TRUE(FilterTable(table, "PROSJEKTNR<3"));
  EXPECT_EQ(scrolls, 1);
  EXPECT_EQ(table.FieldByName("PROSJEKTNR").AsString(), "1") << "on the first row of the new filter";
  EXPECT_EQ(Rows(table), "(1 A)(2 B)");
}

// As switching the filter off first would: no rows of the old filter pass for the new one's.
TEST_F(TableuniTest, ABadFilterOnAFilteredTableLeavesItUnfilteredWithThatText) {
  TffTable table;
  Prepare(table);
  ASSERT_TRUE(FilterTable(table, "PROSJEKTNR=2"));
  script.onError = [&](TErrorForm& form) { form.BitBtn1->click(); };
  EXPECT_FALSE(FilterTable(table, "FINNESIKKE=1"));
  EXPECT_EQ(script.errors, std::vector<std::string>{"Ingenting å filtrere|PROSJEKT||0|"});
  EXPECT_FALSE(table.Filtered());
  EXPECT_EQ(table.Filter(), "FINNESIKKE=1");
  EXPECT_EQ(Rows(table), "(3 C)(1 A)(2 B)") << "every row, in the order they were written";
}

TEST_F(TableuniTest, FilterTableRefusesAnEmptyTextAndAnEmptyUnfilteredTable) {
  TffTable table;
  Prepare(table);
  ASSERT_TRUE(FilterTable(table, "PROSJEKTNR=2"));
  EXPECT_FALSE(FilterTable(table, ""));
  EXPECT_EQ(table.Filter(), "PROSJEKTNR=2");
  EXPECT_TRUE(table.Filtered());

  TffTable empty;
  Prepare(empty, "TOM");
  EXPECT_FALSE(FilterTable(empty, "NAVN='A'"));
  EXPECT_TRUE(empty.Active());
  EXPECT_FALSE(empty.Filtered());
  EXPECT_EQ(empty.Filter(), "");
  EXPECT_TRUE(script.errors.empty());
}

TEST_F(TableuniTest, FilterTableOnAFilteredEmptyViewStillFilters) {
  TffTable table;
  Prepare(table);
  ASSERT_TRUE(FilterTable(table, "PROSJEKTNR=99"));
  EXPECT_TRUE(table.IsEmpty());
  EXPECT_TRUE(FilterTable(table, "PROSJEKTNR=2"));
  EXPECT_EQ(Rows(table), "(2 B)");
}

TEST_F(TableuniTest, FilterTableWithABadFilterReportsWithTheCursorRestored) {
  TffTable table;
  Prepare(table);
  table.Open();
  bool hourglassWhileShown = true;
  script.onError = [&](TErrorForm& form) {
    hourglassWhileShown = ScreenCursorIsHourglass();
    form.BitBtn1->click();
  };
  EXPECT_FALSE(FilterTable(table, "FINNESIKKE=1"));
  EXPECT_EQ(script.errors, std::vector<std::string>{"Ingenting å filtrere|PROSJEKT||0|"});
  EXPECT_FALSE(hourglassWhileShown);
  EXPECT_FALSE(ScreenCursorIsHourglass());
  EXPECT_FALSE(table.Filtered());
}

TEST_F(TableuniTest, FilterTableOnATableThatCannotOpenIsAFailure) {
  TffTable table;
  Prepare(table, "FINNESIKKE");
  table.SetFiltered(true);
  EXPECT_FALSE(FilterTable(table, "NAVN='A'"));
  EXPECT_EQ(script.errors,
            std::vector<std::string>{"Kan ikke åpne tabell|FINNESIKKE|FlashFiler|4100|Alias:" + db.alias()});
}

// ---- SetTableIndex and CreateTableIndex -------------------------------------------------------

TEST_F(TableuniTest, SetTableIndexLeavesAClosedTableAlone) {
  TffTable table;
  Prepare(table);
  SetTableIndex(table, "NAVN");
  EXPECT_EQ(table.IndexName(), "");
  table.Open();
  EXPECT_EQ(table.IndexDefs().size(), 1u);
}

TEST_F(TableuniTest, SetTableIndexSelectsAnExistingIndex) {
  TffTable table;
  Prepare(table);
  table.Open();
  SetTableIndex(table, "PROSJEKTNR");
  EXPECT_EQ(table.IndexName(), "PROSJEKTNR");
  EXPECT_EQ(Rows(table), "(1 A)(2 B)(3 C)");
  EXPECT_TRUE(script.errors.empty());
}

TEST_F(TableuniTest, SetTableIndexCreatesAMissingIndexOnTheFieldOfTheSameName) {
  TffTable table;
  Prepare(table);
  table.Open();
  SetTableIndex(table, "NAVN");
  EXPECT_TRUE(table.Active());
  EXPECT_FALSE(table.Exclusive());
  EXPECT_EQ(table.IndexName(), "NAVN");
  ASSERT_EQ(table.IndexDefs().size(), 2u);
  EXPECT_EQ(table.IndexDefs()[1].name, "NAVN");
  EXPECT_EQ(table.IndexDefs()[1].fields, std::vector<std::string>{"NAVN"});
  EXPECT_EQ(Rows(table), "(1 A)(2 B)(3 C)");
  EXPECT_TRUE(script.errors.empty());
}

TEST_F(TableuniTest, SetTableIndexOnAMissingFieldReportsThenPassesTheFailureOn) {
  TffTable table;
  Prepare(table);
  table.Open();
  EXPECT_THROW(SetTableIndex(table, "FINNESIKKE"), ff::ENotFound);
  EXPECT_EQ(script.errors,
            std::vector<std::string>{"Kan ikke lage index: FINNESIKKE (felt:FINNESIKKE)|PROSJEKT||0|"});
  EXPECT_TRUE(table.Active());
  EXPECT_FALSE(table.Exclusive()) << "no exclusive lock is left behind";
  TffTable other;
  Prepare(other);
  EXPECT_NO_THROW(other.Open());
}

TEST_F(TableuniTest, CreateTableIndexLeavesAClosedTableAlone) {
  TffTable table;
  Prepare(table);
  CreateTableIndex(table, "NAVN", "NAVN");
  EXPECT_TRUE(script.errors.empty());
  table.Open();
  EXPECT_EQ(table.IndexDefs().size(), 1u);
}

TEST_F(TableuniTest, CreateTableIndexAddsAnIndexOnSeveralFields) {
  TffTable table;
  Prepare(table);
  table.Open();
  CreateTableIndex(table, "NAVNNR", "NAVN;PROSJEKTNR");
  ASSERT_EQ(table.IndexDefs().size(), 2u);
  EXPECT_EQ(table.IndexDefs()[1].fields, (std::vector<std::string>{"NAVN", "PROSJEKTNR"}));
  EXPECT_TRUE(table.Active());
  EXPECT_FALSE(table.Exclusive());
}

TEST_F(TableuniTest, CreateTableIndexOnATableInUseReportsAndKeepsItOpen) {
  TffTable other;
  Prepare(other);
  other.Open();
  TffTable table;
  Prepare(table);
  table.Open();
  CreateTableIndex(table, "NAVN", "NAVN");
  EXPECT_EQ(script.errors, std::vector<std::string>{"Kan ikke lage index: NAVN (felt:NAVN)|PROSJEKT||0|"});
  EXPECT_TRUE(table.Active());
  EXPECT_FALSE(table.Exclusive());
  EXPECT_EQ(table.IndexDefs().size(), 1u);
}

TEST_F(TableuniTest, CreateTableIndexOnAnExclusiveTableKeepsItOpenAndExclusive) {
  TffTable table;
  Prepare(table);
  table.SetExclusive(true);
  table.Open();
  int closes = 0;
  table.AfterClose = [&](TffTable&) { ++closes; };
  CreateTableIndex(table, "NAVN", "NAVN");
  EXPECT_TRUE(script.errors.empty());
  EXPECT_EQ(closes, 0);
  EXPECT_TRUE(table.Active());
  EXPECT_TRUE(table.Exclusive());
  EXPECT_EQ(table.IndexDefs().size(), 2u);
}

// ---- ConfirmDelete ----------------------------------------------------------------------------

TEST_F(TableuniTest, ConfirmDeleteAsksUnlessTheSettingIsExactlyNei) {
  WriteSetting("Bekreft_Slett", "Nei");
  EXPECT_TRUE(ConfirmDelete());
  EXPECT_TRUE(script.questions.empty());

  for (const char* value : {"nei", "NEI", "Ja"}) {
    WriteSetting("Bekreft_Slett", value);
    script.questions.clear();
    script.deleteAnswer = true;
    EXPECT_TRUE(ConfirmDelete()) << value;
    script.deleteAnswer = false;
    EXPECT_FALSE(ConfirmDelete()) << value;
    EXPECT_EQ(script.questions, (std::vector<std::string>{"slette denne posten ?", "slette denne posten ?"}))
        << value;
  }
}

TEST_F(TableuniTest, ConfirmDeleteAsksWhenTheSettingIsMissing) {
  script.deleteAnswer = true;
  EXPECT_TRUE(ConfirmDelete());
  EXPECT_EQ(script.questions, std::vector<std::string>{"slette denne posten ?"});
}

}  // namespace
