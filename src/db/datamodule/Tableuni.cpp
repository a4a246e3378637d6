#include "db/datamodule/Tableuni.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <array>
#include <exception>

#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "settings/Felles.h"
#include "settings/windows/ModalSeam.h"
#include "settings/windows/ProcessExit.h"
#include "settings/windows/ScreenCursor.h"
#include "settings/windows/Slett.h"
#include "text/Utf8Text.h"
#include "settings/windows/WindowLook.h"

bool SuppressTableErrors = false;

namespace {

constexpr std::size_t kMaxText = 255;

constexpr int kClientWidth = 425;
constexpr int kClientHeight = 154;
constexpr int kStatusHeight = 19;

// Codes 1 to 39.
constexpr std::array<const char*, 39> DosErrorTexts = {
    "Feil funksjonsnummer",
    "Filen fins ikke",
    "Stasjonen eller mappen fins ikke",
    "For mange filer åpne",
    "Ikke tilgang til fil/mappe",
    "Feil filhandtering",
    "Kontrollblokker i minnet er ødelagt",
    "Ikke nok internminne",
    "Feil adresse til blokk i minne",
    "Feil i systeminformasjon",
    "Feil format",
    "Feil i filtilgangskode",
    "Feil i data",
    "Reservert feil",
    "Feil stasjon",
    "Kan ikke fjerne denne mappen",
    "Kan ikke endre navn over stasjon",
    "ingen flere filer",
    "Disketten er skriverbeskyttet",
    "Ukjent unit",
    "Stasjonen er ikke klar",
    "Feil kommando",
    "CRC feil",
    "Feil lengde",
    "Søkefeil på disken",
    "Ikke en dos disk",
    "Finner ikke sektor på disk",
    "Skriveren er tom for papir",
    "Skrivefeil",
    "Lesefeil",
    "Generell DOS-feil",
    "Sharing violation",
    "Lock violation",
    "Feil disk",
    "FCB ikke tilgjengelig",
    "Shareing buffer exceeded",
    "CODE PAGE MISMATCHED",
    "Handle EOF",
    "Disk full",
};
constexpr std::uint32_t kFirstDosCode = 1;

// Codes 4097 to 4101.
constexpr std::array<const char*, 5> FlashFilerErrorTexts = {
    "Server kan ikke lukkes", "Finner ikke server", "Sesjon kan ikke startes",
    "Kan ikke åpne tabell",   "Databasen finnes ikke",
};
constexpr std::uint32_t kFirstFlashFilerCode = 4097;
constexpr std::uint32_t kCannotOpenTable = 4100;
constexpr std::uint32_t kNoSuchDatabase = 4101;

// Codes 9729 to 9740.
constexpr std::array<const char*, 12> BdeErrorTexts = {
    "Key violation",
    "Min val check failed",
    "Max val check failed",
    "Field value required",
    "Master record missing",
    "Cannot MODIFY or DELETE this Master record",
    "Master Table Level is incorrect",
    "Field value out of lookup tbl range",
    "Lookup Table Open failed",
    "Detail Table Open failed",
    "Master Table Open failed",
    "Field is blank",
};
constexpr std::uint32_t kFirstBdeCode = 9729;

// The text of code in table, whose first entry belongs to firstCode; nullptr outside it.
template <std::size_t N>
const char* textOf(const std::array<const char*, N>& table, std::uint32_t firstCode,
                   std::uint32_t code) {
  return code >= firstCode && code - firstCode < N ? table[code - firstCode] : nullptr;
}

QString shown(const std::string& text) { return QString::fromStdString(Utf8Left(text, kMaxText)); }

// Fills a fresh error window for one report.
void describe(TErrorForm& form, std::uint32_t code, const std::string& message,
              const std::string& detail) {
  form.Label1->setText(shown(message));
  form.Label2->setText(shown(detail));
  form.Panels[1]->setText(QString::number(code));
  if (const char* text = textOf(DosErrorTexts, kFirstDosCode, code)) {
    form.Panels[0]->setText("WIN/DOS");
    form.Panels[2]->setText(QString::fromUtf8(text));
  } else if (const char* text = textOf(FlashFilerErrorTexts, kFirstFlashFilerCode, code)) {
    form.Panels[0]->setText("FlashFiler");
    form.Label1->setText(QString::fromUtf8(text));
    form.Label2->setText(shown(message));
    form.Panels[2]->setText(shown(detail));
  } else if (const char* text = textOf(BdeErrorTexts, kFirstBdeCode, code)) {
    form.Panels[0]->setText("BDE");
    form.Panels[2]->setText(QString::fromUtf8(text));
  }
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int top, int height,
                  int pixelSize, const QColor& colour) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignCenter);
  label->setWordWrap(true);
  label->setGeometry(8, top, kClientWidth - 16, height);
  QFont font = label->font();
  font.setPixelSize(pixelSize);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
  return label;
}

QLabel* addPanel(QStatusBar* bar, const char* name, int width, Qt::Alignment alignment) {
  auto* panel = new QLabel(bar);
  panel->setObjectName(name);
  panel->setTextFormat(Qt::PlainText);
  panel->setFixedWidth(width);
  panel->setAlignment(alignment | Qt::AlignVCenter);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  bar->addWidget(panel);
  return panel;
}

// Takes every window of the program off the screen at once, without asking any to close.
void hideAllWindows() {
  for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
}

// Runs operation and returns true when it succeeds. Any other failure than the silent abort,
// which goes on to the caller, is handed to report and gives false.
template <typename Operation, typename Report>
bool attempt(Operation&& operation, Report&& report) {
  try {
    operation();
    return true;
  } catch (const ff::EAbort&) {
    throw;
  } catch (const std::exception&) {
    report();
    return false;
  }
}

// As attempt, reporting a failure as message with the table's name under code 0.
template <typename Operation>
bool attemptOnTable(const ff::TffTable& table, const std::string& message, Operation&& operation) {
  return attempt(operation, [&] { ShowTableError(0, message, table.TableName()); });
}

void reportOpenFailure(const ff::TffTable& table) {
  const std::string& database = table.DatabaseName();
  const ff::TffSession* session = ff::TffSession::FindSession(table.SessionName());
  if (session != nullptr && session->IsAlias(database)) {
    ShowTableError(kCannotOpenTable, table.TableName(), "Alias:" + database);
  } else {
    ShowTableError(kNoSuchDatabase, database, {});
  }
}

void reopen(ff::TffTable& table, bool exclusive) {
  table.Close();
  table.SetExclusive(exclusive);
  table.Open();
}

// After a failed index creation the table goes back to shared use, so that no exclusive lock
// is left behind for the other users of the table.
void putBackShared(ff::TffTable& table) {
  CloseTable(table);
  if (table.Active()) return;
  table.SetExclusive(false);
  OpenTable(table);
}

// The hourglass for the life of the object; the cursor goes back to the default at the end
// unless it already was the hourglass.
class HourglassCursor {
 public:
  HourglassCursor() : wasHourglass_(ScreenCursorIsHourglass()) {
    SetScreenCursor(ScreenCursor::Hourglass);
  }
  ~HourglassCursor() {
    if (!wasHourglass_) SetScreenCursor(ScreenCursor::Default);
  }
  HourglassCursor(const HourglassCursor&) = delete;
  HourglassCursor& operator=(const HourglassCursor&) = delete;

 private:
  bool wasHourglass_;
};

}  // namespace

TErrorForm::TErrorForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("ErrorForm");
  setWindowTitle("FEIL");
  QFont font("Arial");
  font.setBold(true);
  font.setPixelSize(13);
  setFont(font);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  // The client area lies below the menu bar, as in a window with a main menu.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName("MainMenu1");
  layout->setMenuBar(MainMenu1);
  auto* client = new QWidget(this);
  client->setObjectName("ClientArea");
  client->setFixedSize(kClientWidth, kClientHeight);
  layout->addWidget(client);

  Label1 = makeLabel(client, "Label1", QString::fromUtf8("Kan ikke åpne XXXXX"), 12, 40, 16,
                     QColor(0x00, 0x00, 0x80));
  Label2 = makeLabel(client, "Label2", "filnavn", 56, 36, 12, Qt::black);

  BitBtn1 = new QPushButton("O&k", client);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->setGeometry((kClientWidth - 75) / 2, 98, 75, 25);
  BitBtn1->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

  StatusBar = new QStatusBar(client);
  StatusBar->setObjectName("StatusBar");
  StatusBar->setSizeGripEnabled(false);
  StatusBar->setGeometry(0, kClientHeight - kStatusHeight, kClientWidth, kStatusHeight);
  Panels[0] = addPanel(StatusBar, "Panel0", 75, Qt::AlignHCenter);
  Panels[1] = addPanel(StatusBar, "Panel1", 50, Qt::AlignRight);
  Panels[2] = addPanel(StatusBar, "Panel2", 50, Qt::AlignLeft);

  QMenu* Handling1 = MainMenu1->addMenu("&Handling");
  Handling1->setObjectName("Handling1");
  const struct {
    const char* name;
    const char* caption;
    void (TErrorForm::*handler)();
  } items[] = {
      {"Avsluttprogram1", "Avslutt program", &TErrorForm::Avsluttprogram1Click},
      {"Avbrytprogram1", "Avbryt program", &TErrorForm::Avbrytprogram1Click},
      {"Drepprogram1", "Drep program", &TErrorForm::Drepprogram1Click},
  };
  for (const auto& item : items) {
    auto* action = new QAction(item.caption, Handling1);
    action->setObjectName(item.name);
    Handling1->addAction(action);
    connect(action, &QAction::triggered, this, item.handler);
  }
  // Fixes the window's size now, so that it can be centred before it is shown.
  layout->activate();
}

void TErrorForm::Avsluttprogram1Click() {
  // This window's own loop and the program's event loop end; shutdown then runs in order.
  reject();
  QCoreApplication::exit(0);
}

void TErrorForm::Avbrytprogram1Click() { EndProcess(0); }

void TErrorForm::Drepprogram1Click() {
  // The program vanishes and the process ends at once, before any further event could be
  // handled. Windows are not destroyed one by one here: this handler runs inside one of them,
  // and their owners are unknown, so running destructors now could free a window twice. The
  // tables lose nothing: every posted row is already on disk.
  hideAllWindows();
  EndProcess(0);
}

void ShowTableError(std::uint32_t code, const std::string& message, const std::string& detail) {
  if (SuppressTableErrors) return;
  TErrorForm form;
  describe(form, code, message, detail);
  CentreOnScreen(form);
  ExecModal(form);
}

bool OpenTable(ff::TffTable& table) {
  if (table.Active()) CloseTable(table);
  if (table.DatabaseName().empty()) table.SetDatabaseName(GetNetAlias());
  return attempt([&] { table.Open(); }, [&] { reportOpenFailure(table); });
}

void CloseTable(ff::TffTable& table) {
  if (!table.Active()) return;
  attemptOnTable(table, "Feil under lukking av tabellen", [&] { table.Close(); });
}

bool EditTable(ff::TffTable& table) {
  if (table.State() == ff::DataSetState::Edit) return true;
  return attemptOnTable(table, "Kan ikke redigere denne posten", [&] { table.Edit(); });
}

bool PostTable(ff::TffTable& table) {
  if (table.State() == ff::DataSetState::Browse) return true;
  return attemptOnTable(table, "Kan ikke lagre denne posten", [&] { table.Post(); });
}

bool FirstRecord(ff::TffTable& table) {
  if (!table.Active()) OpenTable(table);
  return attemptOnTable(table, "Kan ikke gå til start av tabell", [&] { table.First(); });
}

bool FilterTable(ff::TffTable& table, const std::string& filter) {
  // A table that cannot be opened has nothing filtered, whatever its filter settings say.
  if (!table.Active() && !OpenTable(table)) return false;
  if (filter.empty()) return false;
  if (!table.Filtered() && table.IsEmpty()) return false;
  if (table.Filtered() && table.Filter() == filter) return true;
  return attemptOnTable(table, "Ingenting å filtrere", [&] {
    HourglassCursor busy;
    if (!table.Filtered()) {
      table.SetFilter(filter);
      table.SetFiltered(true);
      return;
    }
    // A filtered table takes the new text at once, going to its first row only once; a text
    // it cannot take leaves it unfiltered, holding that text, as switching off first would.
    try {
      table.SetFilter(filter);
    } catch (...) {
      table.SetFiltered(false);
      table.SetFilter(filter);
      throw;
    }
  });
}

void SetTableIndex(ff::TffTable& table, const std::string& indexName) {
  if (!table.Active()) return;
  try {
    table.SetIndexName(indexName);
  } catch (const ff::ENotFound&) {
    CreateTableIndex(table, indexName, indexName);
    table.SetIndexName(indexName);
  }
}

void CreateTableIndex(ff::TffTable& table, const std::string& indexName, const std::string& fields,
                      unsigned options) {
  if (!table.Active()) return;
  const std::string message = "Kan ikke lage index: " + indexName + " (felt:" + fields + ")";
  const auto addIndex = [&] { table.AddIndex(indexName, fields, options); };
  if (table.Exclusive()) {
    // Opened exclusively by its owner: the index is added in place and the table stays so.
    attemptOnTable(table, message, addIndex);
    return;
  }
  try {
    const bool added = attemptOnTable(table, message, [&] {
      reopen(table, true);
      addIndex();
      reopen(table, false);
    });
    if (!added) putBackShared(table);
  } catch (const ff::EAbort&) {
    putBackShared(table);
    throw;
  }
}

bool ConfirmDelete() {
  if (ReadSetting("Bekreft_Slett") == "Nei") return true;
  return AskDelete("slette denne posten ?");
}
