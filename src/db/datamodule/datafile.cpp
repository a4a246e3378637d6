#include "db/datamodule/datafile.h"

#include <QCoreApplication>
#include <QFileDialog>

#include "db/datamodule/Tableuni.h"
#include "store/Clock.h"
#include "text/Utf8Text.h"
#include "settings/Felles.h"
#include "settings/windows/ProcessExit.h"
#include "settings/windows/Prosess.h"
#include "settings/windows/ScreenCursor.h"
#include "settings/windows/bruker.h"

TDataFiler* DataFiler = nullptr;

namespace {

const char* const kSessionName = "VeltrinoSession";

// How a group's flag follows its setting.
enum class FlagRule {
  Untouched,  // the setting is not read
  Set,        // the flag becomes whether the setting counts
  OnOnly,     // switched on when the setting counts, else left as it was
  AlwaysOn,   // switched on whenever the group is opened
};

// When a table gets its database name from the group's folder key.
enum class NameTiming { AtGroupStart, BeforeOpening, Never };

struct GroupTable {
  ff::TffTable TDataFiler::*table;
  const char* folderKey = nullptr;
  NameTiming naming = NameTiming::AtGroupStart;
  bool flags = true;          // the group's flags apply to this table
  bool progressText = true;   // the progress text names the table before it opens
  int positionAfter = -1;     // progress position once it has been opened
};

struct TableGroup {
  const char* openKey;
  const char* exclusiveKey;
  FlagRule exclusive;
  const char* readOnlyKey;
  FlagRule readOnly;
  std::vector<GroupTable> tables;
  int positionAfterFlags = -1;  // set when the group is opened, after its flags
  int positionAfterGroup = -1;  // set whether the group was opened or not
};

using T = TDataFiler;

const std::vector<TableGroup>& tableGroups() {
  static const std::vector<TableGroup> groups{
      {"Database_Personal_Åpnes", "Database_Personal_Eksklusiv", FlagRule::Set, nullptr, FlagRule::AlwaysOn,
       {{&T::PersonTable, "Database_Personal_Mappe"}}, -1, 8},
      {"Database_Utstyr_Åpnes", "Database_Utstyr_Eksklusiv", FlagRule::Set, "Database_Utstyr_Skrivebeskyttet",
       FlagRule::Set,
       {{&T::JobbTable, "Database_Utstyr_Mappe", NameTiming::AtGroupStart, true, true, 12},
        {&T::Utstyrtable, "Database_Utstyr_Mappe", NameTiming::AtGroupStart, true, true, 16}}},
      {"Database_Timer_Åpnes", "Database_Timer_Eksklusiv", FlagRule::Set, "Database_Timer_Skrivebeskyttet",
       FlagRule::Set, {{&T::TidTable, "Database_Timer_Mappe", NameTiming::AtGroupStart, true, true, 20}}},
      {"Database_Dokument_Åpnes", "Database_Dokument_Eksklusiv", FlagRule::OnOnly, "Database_Dokument_Skrivebeskyttet",
       FlagRule::OnOnly,
       {{&T::DokumentTable, "Database_Dokument_Mappe"},
        {&T::BildeTable, "Database_Dokument_Mappe", NameTiming::AtGroupStart, false, false},
        {&T::PostTable, nullptr, NameTiming::Never, false, false},
        {&T::VedleggTable, nullptr, NameTiming::Never, false, false}},
       -1, 24},
      {"Database_Varer_Åpnes", nullptr, FlagRule::Untouched, nullptr, FlagRule::Untouched,
       {{&T::VareTable, "Database_Varer_Mappe", NameTiming::AtGroupStart, false, true, 28},
        {&T::VareRegister, "Database_Vareregister_Mappe", NameTiming::AtGroupStart, false, true, 32},
        {&T::VareTable2, "Database_Vareregister_Mappe", NameTiming::AtGroupStart, false, true, 36},
        {&T::ButikkTable, nullptr, NameTiming::Never, false},
        {&T::InnkjopTable, "Database_Varer_Mappe", NameTiming::AtGroupStart, false},
        {&T::InnkjopVareTable, "Database_Varer_Mappe", NameTiming::AtGroupStart, false},
        {&T::KalkulerTable, "Database_Varer_Mappe", NameTiming::AtGroupStart, false},
        {&T::KalkulerVaretable, "Database_Varer_Mappe", NameTiming::AtGroupStart, false}}},
      {"Database_Firma_Åpnes", "Database_Firma_Eksklusiv", FlagRule::OnOnly, "Database_Firma_Skrivebeskyttet",
       FlagRule::OnOnly,
       {{&T::FirmaTable, "Database_Firma_Mappe", NameTiming::AtGroupStart, true, true, 40},
        {&T::KontaktTable, "Database_Firma_Mappe"}},
       -1, 48},
      {"Database_Utstyr_Åpnes", nullptr, FlagRule::Untouched, nullptr, FlagRule::Untouched,
       {{&T::KabelTable, "Database_Utstyr_Mappe", NameTiming::AtGroupStart, false}}, -1, 52},
      {"Database_Regnskap_Åpnes", "Database_Regnskap_Eksklusiv", FlagRule::Set, "Database_Regnskap_Skrivebeskyttet",
       FlagRule::Set,
       {{&T::KontoTable, "Database_Regnskap_Mappe", NameTiming::AtGroupStart, true, true, 56},
        {&T::PosteringTable, "Database_Regnskap_Mappe"}},
       -1, 60},
      {"Database_Reise_Åpnes", nullptr, FlagRule::Untouched, nullptr, FlagRule::Untouched,
       {{&T::KmTable, "Database_Reise_Mappe", NameTiming::AtGroupStart, false, true, 64},
        {&T::ReiseTable, "Database_Reise_Mappe", NameTiming::BeforeOpening, false, true, 68},
        {&T::UtleggTable, "Database_Reise_Mappe", NameTiming::BeforeOpening, false}},
       -1, 72},
      {"Database_Prosjekt_Åpnes", "Database_Prosjekt_Eksklusiv", FlagRule::OnOnly, "Database_Prosjekt_Skrivebeskyttet",
       FlagRule::OnOnly,
       {{&T::ProsjektTable, "Database_Prosjekt_Mappe", NameTiming::AtGroupStart, true, true, 76},
        {&T::SystemTable, "Database_Prosjekt_Mappe"}},
       -1, 80},
      {"Database_Salg_Åpnes", "Database_Salg_Eksklusiv", FlagRule::OnOnly, "Database_Salg_Skrivebeskyttet",
       FlagRule::OnOnly,
       {{&T::OrdreTable, "Database_Salg_Mappe", NameTiming::AtGroupStart, true, true, 86},
        {&T::OrdreVareTable, "Database_Salg_Mappe", NameTiming::AtGroupStart, true, true, 90},
        {&T::Fakturatable, "Database_Salg_Mappe", NameTiming::AtGroupStart, true, true, 92},
        {&T::FakturaVareTable, "Database_Salg_Mappe", NameTiming::AtGroupStart, true, true, 96},
        {&T::TilbudTable, "Database_Salg_Mappe", NameTiming::AtGroupStart, true, true, 98},
        {&T::TilbudVareTable, "Database_Salg_Mappe"}},
       84},
  };
  return groups;
}

// The order in which every table is closed.
const std::vector<ff::TffTable TDataFiler::*>& closingOrder() {
  static const std::vector<ff::TffTable TDataFiler::*> order{
      &T::OrdreVareTable, &T::OrdreTable,     &T::FakturaVareTable, &T::Fakturatable,  &T::TilbudVareTable,
      &T::TilbudTable,    &T::VareTable,      &T::VareRegister,     &T::KalkulerTable, &T::KalkulerVaretable,
      &T::VareTable2,     &T::TidTable,       &T::ReiseTable,       &T::UtleggTable,   &T::Utstyrtable,
      &T::ProsjektTable,  &T::PersonTable,    &T::PosteringTable,   &T::KontaktTable,  &T::FirmaTable,
      &T::KmTable,        &T::DokumentTable,  &T::BildeTable,       &T::KabelTable,    &T::JobbTable,
      &T::KontoTable,     &T::SystemTable,    &T::ButikkTable,      &T::InnkjopTable,  &T::InnkjopVareTable,
      &T::PostTable,      &T::VedleggTable};
  return order;
}

// Integer switches count only when their value is exactly 1.
bool counts(const char* key) { return key && ReadSettingInt(key) == 1; }

void applyFlag(FlagRule rule, const char* key, ff::TffTable& table, void (ff::TffTable::*set)(bool)) {
  switch (rule) {
    case FlagRule::Set:
      (table.*set)(counts(key));
      break;
    case FlagRule::OnOnly:
      if (counts(key)) (table.*set)(true);
      break;
    case FlagRule::AlwaysOn:
      (table.*set)(true);
      break;
    case FlagRule::Untouched:
      break;
  }
}

// Runs one sign-on step; a failure is shown as a FlashFiler error and ends the process. The
// texts are made from the failure's own message.
template <class Step>
bool guarded(std::uint32_t code, Step step,
             const std::function<std::pair<std::string, std::string>(const std::string& cause)>& texts) {
  try {
    step();
    return true;
  } catch (const std::exception& e) {
    const auto [message, detail] = texts(e.what());
    CloseProgress();
    ShowTableError(code, message, detail);
    EndProcess(static_cast<int>(code));
    return false;
  }
}

// What a failed connection tried, for the error window: an empty or unknown protocol setting
// leaves the engine on its design value TCP/IP, which the user would not guess.
std::string connectionTried(const std::string& setting, ff::Protocol used, const std::string& server) {
  std::string tried = std::string("Protokoll ") + ff::ProtocolName(used);
  if (setting.empty()) {
    tried += " (Net_Protokoll er tom)";
  } else if (setting != ff::ProtocolName(used)) {
    tried += " (Net_Protokoll \"" + setting + "\" er ukjent)";
  }
  return tried + ", server " + server + ". \"Single User\" trenger ingen server.";
}

}  // namespace

TDataFiler::TDataFiler(QObject* parent) : QObject(parent) {
  KvandrelEngine.SetIsDefault(true);
  KvandrelEngine.SetProtocol(ff::Protocol::TcpIp);
  KvandrelEngine.SetServerName("ff_server@127.0.0.1");
  Serversession.SetClientName("Engine");
  Serversession.SetEngine(&KvandrelEngine);
  Serversession.SetIsDefault(true);
  ffDatabase1 = {"DDX", kSessionName};
  FileTimer.setObjectName("FileTimer");
  connect(&FileTimer, &QTimer::timeout, this, &TDataFiler::FileTimerTimer);
  OpenDialog = std::make_unique<QFileDialog>();
  OpenDialog->setObjectName("OpenDialog");
  OpenDialog->setFileMode(QFileDialog::ExistingFile);
  SaveDialog = std::make_unique<QFileDialog>();
  SaveDialog->setObjectName("SaveDialog");
  SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  buildTables();
}

TDataFiler::~TDataFiler() {
  DataFilerDestroy();
  if (DataFiler == this) DataFiler = nullptr;
}

// --- Schema ---

void TDataFiler::buildTables() {
  for (ff::TffTable* t : {&ProsjektTable, &SystemTable, &TidTable, &KmTable, &PersonTable, &Utstyrtable,
                          &JobbTable, &KabelTable, &DokumentTable, &BildeTable, &PostTable, &VedleggTable,
                          &ReiseTable, &UtleggTable, &FirmaTable, &KontaktTable, &KontoTable, &PosteringTable,
                          &VareRegister, &VareTable2, &VareTable, &ButikkTable, &TilbudTable, &Fakturatable,
                          &OrdreTable, &InnkjopTable, &TilbudVareTable, &FakturaVareTable, &OrdreVareTable,
                          &InnkjopVareTable, &KalkulerTable, &KalkulerVaretable}) {
    tableByName_[t->Name()] = t;
  }
  for (const TableSpec& declared : BusinessSchema()) {
    sources_[declared.source] = std::make_unique<ff::TDataSource>(declared.source);
  }
  for (const TableSpec& declared : BusinessSchema()) buildTable(declared);
}

void TDataFiler::buildTable(const TableSpec& declared) {
  ff::TffTable& table = *tableByName_.at(declared.component);
  tables_.push_back(&table);
  table.SetSessionName(kSessionName);
  table.SetTableName(declared.tableName);
  if (!declared.indexName.empty()) table.SetIndexName(declared.indexName);
  if (!declared.indexFieldNames.empty()) table.SetIndexFieldNames(declared.indexFieldNames);
  for (const FieldSpec& field : declared.fields) {
    ff::TField& f = table.AddField(field.decl);
    if (!field.onChange.empty()) {
      f.OnChange = [this, name = field.onChange](ff::TField& changed) {
        if (auto it = fieldHandlers_.find(name); it != fieldHandlers_.end()) it->second(changed);
      };
    }
  }
  sources_.at(declared.source)->SetDataSet(&table);
  if (!declared.masterSource.empty()) {
    table.SetMasterSource(sources_.at(declared.masterSource).get());
    table.SetMasterFields(declared.masterFields);
  }
  bindEvents(table, declared);
}

void TDataFiler::bindEvents(ff::TffTable& table, const TableSpec& declared) {
  for (const EventSpec& event : declared.events) {
    table.*EventSlot(event.event) = [this, name = event.handler](ff::TffTable& t) {
      if (auto it = tableHandlers_.find(name); it != tableHandlers_.end()) it->second(t);
    };
  }
}

ff::TffTable* TDataFiler::Table(const std::string& component) const {
  auto it = tableByName_.find(component);
  return it == tableByName_.end() ? nullptr : it->second;
}

ff::TDataSource* TDataFiler::Source(const std::string& name) const {
  auto it = sources_.find(name);
  return it == sources_.end() ? nullptr : it->second.get();
}

std::string TDataFiler::HandlerName(const std::string& component, TableEvent event) const {
  const TableSpec* declared = FindTableSpec(component);
  if (!declared) return {};
  for (const EventSpec& e : declared->events) {
    if (e.event == event) return e.handler;
  }
  return {};
}

void TDataFiler::BindTableHandler(const std::string& name, TableHandler handler) {
  tableHandlers_[name] = std::move(handler);
}

void TDataFiler::BindFieldHandler(const std::string& name, FieldHandler handler) {
  fieldHandlers_[name] = std::move(handler);
}

// --- Life cycle ---

void TDataFiler::DataFilerCreate(const QStringList& parameters) {
  CurrentDate = ff::Date();
  if (parameters.value(0) != "-autologon" && !ShowSignOnWindow()) {
    RequestTerminate();
    return;
  }
  if (!signOn(parameters)) return;
  OpenAllFiles();
  loadWorkingTime();
}

bool TDataFiler::signOn(const QStringList& parameters) {
  std::string server = ReadSetting("Net_Servernavn");
  ShowProgress("Kobler til server, vent ......");
  if (server.empty()) server = "ff_server";
  SetProgressPosition(10);
  SetProgressText("Kobler fra " + server);
  if (!guarded(
          4097, [&] { KvandrelEngine.SetActive(false); },
          [&](const std::string&) { return std::pair{KvandrelEngine.ServerName(), server}; })) {
    return false;
  }
  SetProgressPosition(30);
  for (const QString& p : parameters) {
    if (p.contains('@')) server = p.toStdString();
  }
  std::string protocol;
  const bool connected = guarded(
      4098,
      [&] {
        SetProgressText("setter servernavn til: " + server);
        KvandrelEngine.SetServerName(server);
        protocol = ReadSetting("Net_Protokoll");
        SetProgressText("setter protokoll: " + protocol);
        SetProgressPosition(50);
        for (ff::Protocol p : {ff::Protocol::SingleUser, ff::Protocol::TcpIp, ff::Protocol::IpxSpx}) {
          if (protocol == ff::ProtocolName(p)) KvandrelEngine.SetProtocol(p);
        }
        SetProgressText("Setter bruker til: " + GetUserName());
        KvandrelEngine.SetUserName(GetUserName());
        SetProgressText("Aktiviserer database: " + protocol);
        KvandrelEngine.SetActive(true);
        SetProgressPosition(70);
      },
      [&](const std::string& cause) {
        // The true cause (a refused login, no TLS, a silent server) under what was tried.
        return std::pair{connectionTried(protocol, KvandrelEngine.GetProtocol(), KvandrelEngine.ServerName()) + "\n" + cause,
                         KvandrelEngine.ServerName()};
      });
  if (!connected) return false;
  const bool started = guarded(
      4099,
      [&] {
        SetProgressText(Utf8Left("Aktiverer sesjon på " + KvandrelEngine.ServerName(), 83));
        Serversession.SetActive(true);
        SetProgressPosition(100);
      },
      [&](const std::string&) { return std::pair{protocol, KvandrelEngine.ServerName()}; });
  if (!started) return false;
  CloseProgress();
  return true;
}

void TDataFiler::loadWorkingTime() {
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i + 1);
    PauseLength[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(ReadSettingInt("Arbeid_PauseLengd" + n));
    PauseStart[static_cast<std::size_t>(i)] = Utf8Left(ReadSetting("Arbeid_PauseTid" + n), 5);
  }
  WorkdayEnd = Utf8Left(ReadSetting("Arbeid_ArbeidsTidSlutt"), 5);
}

void TDataFiler::OpenAllFiles() {
  CloseAllFiles();
  SuppressTableErrors = true;
  ShowProgress("database: " + GetNetAlias() + ", bruker: " + GetUserName());
  SetProgressText("Åpner datafiler.....");
  SetProgressPosition(4);
  for (const TableGroup& group : tableGroups()) {
    for (const GroupTable& gt : group.tables) {
      if (gt.naming == NameTiming::AtGroupStart) (this->*gt.table).SetDatabaseName(ReadSetting(gt.folderKey));
    }
    if (counts(group.openKey)) {
      for (const GroupTable& gt : group.tables) {
        if (!gt.flags) continue;
        applyFlag(group.exclusive, group.exclusiveKey, this->*gt.table, &ff::TffTable::SetExclusive);
        applyFlag(group.readOnly, group.readOnlyKey, this->*gt.table, &ff::TffTable::SetReadOnly);
      }
      if (group.positionAfterFlags >= 0) SetProgressPosition(group.positionAfterFlags);
      for (const GroupTable& gt : group.tables) {
        ff::TffTable& table = this->*gt.table;
        if (gt.naming == NameTiming::BeforeOpening) table.SetDatabaseName(ReadSetting(gt.folderKey));
        if (gt.progressText) SetProgressText(table.TableName());
        OpenTable(table);
        if (gt.positionAfter >= 0) SetProgressPosition(gt.positionAfter);
      }
    }
    if (group.positionAfterGroup >= 0) SetProgressPosition(group.positionAfterGroup);
  }
  SetProgressPosition(100);
  SetScreenCursor(ScreenCursor::Default);
  SetProgressText("Ferdig.");
  SetProgressPosition(0);
  CloseProgress();
  SuppressTableErrors = false;
  SjekkAutoTimer();
}

void TDataFiler::CloseAllFiles() {
  SetScreenCursor(ScreenCursor::Hourglass);
  for (auto member : closingOrder()) CloseTable(this->*member);
  SetScreenCursor(ScreenCursor::Default);
}

void TDataFiler::SjekkAutoTimer() {
  FileTimer.stop();
  FileTimer.setInterval(0);
  if (ReadSettingInt("DataBase_AutoLukk") != 1) return;
  const int ms = ReadSettingInt("DataBase_AutoTimerSekund") * 1000;
  if (ms <= 0) return;
  FileTimer.setInterval(ms);
  FileTimer.start();
}

void TDataFiler::FileTimerTimer() { CloseAllFiles(); }

void TDataFiler::DataFilerDestroy() { CloseAllFiles(); }
