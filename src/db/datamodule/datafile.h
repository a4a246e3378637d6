// The suite's shared data module: the comms engine, session and every business table with
// its fields and rules; signing on, opening and closing the table groups, automatic close.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/DataFilerSchema.h"
#include "store/DataSource.h"
#include "store/Engine.h"
#include "store/Session.h"
#include "store/Table.h"
#include "settings/TableGroups.h"

class QFileDialog;

// A database component: names a database for a session. Declared by the module, not used.
struct TffDatabase {
  std::string DatabaseName;
  std::string SessionName;
};

class TDataFiler : public QObject, public TableGroupControl {
  Q_OBJECT
 public:
  using TableHandler = std::function<void(ff::TffTable&)>;
  using FieldHandler = std::function<void(ff::TField&)>;

  // Builds every component and table from the schema; signs on only in DataFilerCreate.
  // The business rules are not bound: whoever builds the module calls BindBusinessRules
  // (rules/BusinessRules.h) before DataFilerCreate. Without them the tables still open,
  // browse and post.
  explicit TDataFiler(QObject* parent = nullptr);
  // Closes every table (DataFilerDestroy).
  ~TDataFiler() override;

  // The creation event: signs on (unless the first parameter is "-autologon", through the
  // sign-on window), then opens the table groups. `parameters` are the command line's
  // parameters without the program name. A cancelled sign-on window asks the application
  // to terminate; a failed sign-on ends the process with 4097, 4098 or 4099 after the error
  // window has closed.
  void DataFilerCreate(const QStringList& parameters);
  void DataFilerDestroy();
  // Closes everything, then opens the groups the settings enable (silently).
  void OpenAllFiles() override;
  void CloseAllFiles() override;
  // Sets the automatic close timer from "DataBase_AutoLukk" and "DataBase_AutoTimerSekund".
  void SjekkAutoTimer();
  void FileTimerTimer();

  // The table or data source of this component name; nullptr when there is none.
  ff::TffTable* Table(const std::string& component) const;
  ff::TDataSource* Source(const std::string& name) const;
  // All tables, in schema order.
  const std::vector<ff::TffTable*>& Tables() const { return tables_; }
  // The handler name the schema binds to an event of a table; empty when none.
  std::string HandlerName(const std::string& component, TableEvent event) const;
  // Rule areas bind their handlers by the names the schema uses; an event whose handler is
  // not bound does nothing.
  void BindTableHandler(const std::string& name, TableHandler handler);
  void BindFieldHandler(const std::string& name, FieldHandler handler);

  // --- Components ---
  ff::TffCommsEngine KvandrelEngine{"Engine"};
  ff::TffSession Serversession{"VeltrinoSession"};
  TffDatabase ffDatabase1;
  QTimer FileTimer;
  std::unique_ptr<QFileDialog> OpenDialog;
  std::unique_ptr<QFileDialog> SaveDialog;

  // Projects, hours, staff, equipment and jobs.
  ff::TffTable ProsjektTable{"ProsjektTable"}, SystemTable{"SystemTable"}, TidTable{"TidTable"},
      KmTable{"KmTable"}, PersonTable{"PersonTable"}, Utstyrtable{"Utstyrtable"}, JobbTable{"JobbTable"},
      KabelTable{"KabelTable"}, DokumentTable{"DokumentTable"}, BildeTable{"BildeTable"}, PostTable{"PostTable"},
      VedleggTable{"VedleggTable"}, ReiseTable{"ReiseTable"}, UtleggTable{"UtleggTable"};
  // Companies, accounts, items and trade documents.
  ff::TffTable FirmaTable{"FirmaTable"}, KontaktTable{"KontaktTable"}, KontoTable{"KontoTable"},
      PosteringTable{"PosteringTable"}, VareRegister{"VareRegister"}, VareTable2{"VareTable2"},
      VareTable{"VareTable"}, ButikkTable{"ButikkTable"}, TilbudTable{"TilbudTable"},
      Fakturatable{"Fakturatable"}, OrdreTable{"OrdreTable"}, InnkjopTable{"InnkjopTable"},
      TilbudVareTable{"TilbudVareTable"}, FakturaVareTable{"FakturaVareTable"}, OrdreVareTable{"OrdreVareTable"},
      InnkjopVareTable{"InnkjopVareTable"}, KalkulerTable{"KalkulerTable"}, KalkulerVaretable{"KalkulerVaretable"};

  // --- Remembered values ---
  double CurrentDate = 0;
  std::array<std::string, 4> PauseStart;
  std::array<std::uint16_t, 4> PauseLength{};  // minutes
  std::string WorkdayEnd;

  // --- Rules, one area a file (defined and bound in src/rules/) ---
#include "db/datamodule/DataFilerTimeTravel.h"
#include "db/datamodule/DataFilerRollups.h"
#include "db/datamodule/DataFilerJobs.h"
#include "db/datamodule/DataFilerItems.h"
#include "db/datamodule/DataFilerTradeDocuments.h"
#include "db/datamodule/DataFilerMasterData.h"

 private:
  void buildTables();
  void buildTable(const TableSpec& declared);
  void bindEvents(ff::TffTable& table, const TableSpec& declared);
  bool signOn(const QStringList& parameters);
  void loadWorkingTime();

  std::vector<ff::TffTable*> tables_;
  std::map<std::string, ff::TffTable*> tableByName_;
  std::map<std::string, std::unique_ptr<ff::TDataSource>> sources_;
  std::map<std::string, TableHandler> tableHandlers_;
  std::map<std::string, FieldHandler> fieldHandlers_;
};

// The program's data module; nullptr until start-up creates it.
extern TDataFiler* DataFiler;
