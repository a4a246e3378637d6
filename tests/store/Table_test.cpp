// The data-set semantics the business rules rely on, on real SQLite tables.
#include "store/Table.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "store/Errors.h"
#include "store/Session.h"
#include "support/store/NumberedRows.h"
#include "support/TempAlias.h"

using namespace ff;

namespace {

FieldDef field(const std::string& name, FieldType t, int size = 0) { return {name, t, size, false}; }

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session().CreateTable(db.alias(), "PROSJEKT",
                          {field("PROSJEKTNR", FieldType::Float), field("NAVN", FieldType::String, 10),
                           field("AKTIV", FieldType::Boolean)},
                          {{"PROSJEKTNR", {"PROSJEKTNR"}, 0}, {"NAVN", {"NAVN"}, ixCaseInsensitive}});
    session().CreateTable(db.alias(), "TIMER",
                          {field("PROSJEKTNR", FieldType::Float), field("SYSTEMNR", FieldType::Float),
                           field("TIMER", FieldType::Float), field("DATO", FieldType::DateTime)},
                          {{"PROSJEKTNR", {"PROSJEKTNR", "SYSTEMNR"}, 0}});
  }

  static TffSession& session() { return TffSession::DefaultSession(); }

  void openTable(TffTable& t, const std::string& name) {
    t.SetDatabaseName(db.alias());
    t.SetTableName(name);
    t.Open();
  }

  void addProject(TffTable& t, double nr, const std::string& navn) {
    t.Append();
    t.FieldByName("PROSJEKTNR").SetAsFloat(nr);
    t.FieldByName("NAVN").SetAsString(navn);
    t.Post();
  }

  void addHours(TffTable& t, double prosjekt, double system, double timer) {
    t.Append();
    t.FieldByName("PROSJEKTNR").SetAsFloat(prosjekt);
    t.FieldByName("SYSTEMNR").SetAsFloat(system);
    t.FieldByName("TIMER").SetAsFloat(timer);
    t.Post();
  }

  // The rows from the current one to the end as "(a b)(c d)", on the named fields.
  static std::string render(TffTable& t, const std::vector<std::string>& fields) {
    std::string out;
    t.First();
    while (!t.Eof()) {
      out += "(";
      for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? " " : "") + t.FieldByName(fields[i]).AsString();
      out += ")";
      t.Next();
    }
    return out;
  }

  TempAlias db;
};

TEST_F(TableTest, EventsFireInTheClassicOrder) {
  TffTable t("ProsjektTable");
  std::vector<std::string> log;
  auto rec = [&](const char* name) { return [&log, name](TffTable&) { log.push_back(name); }; };
  t.BeforeOpen = rec("BeforeOpen");
  t.AfterOpen = rec("AfterOpen");
  t.BeforeInsert = rec("BeforeInsert");
  t.OnNewRecord = rec("OnNewRecord");
  t.AfterInsert = rec("AfterInsert");
  t.BeforePost = rec("BeforePost");
  t.AfterPost = rec("AfterPost");
  t.BeforeEdit = rec("BeforeEdit");
  t.AfterEdit = rec("AfterEdit");
  t.BeforeCancel = rec("BeforeCancel");
  t.AfterCancel = rec("AfterCancel");
  t.BeforeDelete = rec("BeforeDelete");
  t.AfterDelete = rec("AfterDelete");
  t.AfterScroll = rec("AfterScroll");
  t.BeforeClose = rec("BeforeClose");
  t.AfterClose = rec("AfterClose");

  openTable(t, "PROSJEKT");
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen", "AfterOpen"})) << "an empty table scrolls nowhere";
  log.clear();
  addProject(t, 1, "A");
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeInsert", "OnNewRecord", "AfterInsert", "AfterScroll",
                                           "BeforePost", "AfterPost"}));
  log.clear();
  t.Edit();
  t.Cancel();
  t.Delete();
  t.Close();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel", "BeforeDelete",
                                           "AfterDelete", "AfterScroll", "BeforeClose", "AfterClose"}));
  log.clear();
  t.Open();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen", "AfterOpen"}));
}

TEST_F(TableTest, OpeningANonEmptyTableScrolledOnce) {
  {
    TffTable t;
    openTable(t, "PROSJEKT");
    addProject(t, 1, "A");
  }
  TffTable t;
  int scrolls = 0;
  t.AfterScroll = [&](TffTable&) { ++scrolls; };
  openTable(t, "PROSJEKT");
  EXPECT_EQ(scrolls, 1);
}

TEST_F(TableTest, SilentAbortInEachBeforeEventCancelsTheOperation) {
  TffTable t;
  openTable(t, "PROSJEKT");
  addProject(t, 1, "A");
  const auto abort = [](TffTable&) { Abort(); };

  t.BeforeInsert = abort;
  EXPECT_THROW(t.Append(), EAbort);
  EXPECT_EQ(t.State(), DataSetState::Browse);
  t.BeforeInsert = nullptr;

  t.BeforeEdit = abort;
  EXPECT_THROW(t.Edit(), EAbort);
  EXPECT_EQ(t.State(), DataSetState::Browse);
  t.BeforeEdit = nullptr;

  t.BeforePost = abort;
  t.Edit();
  t.FieldByName("NAVN").SetAsString("B");
  EXPECT_THROW(t.Post(), EAbort);
  EXPECT_EQ(t.State(), DataSetState::Edit) << "a refused post stays in edit";
  t.BeforePost = nullptr;
  t.Cancel();
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "A");

  t.BeforeDelete = abort;
  EXPECT_THROW(t.Delete(), EAbort);
  EXPECT_EQ(t.RecordCount(), 1);
  t.BeforeDelete = nullptr;

  t.Edit();
  t.BeforeCancel = abort;
  EXPECT_THROW(t.Cancel(), EAbort);
  EXPECT_EQ(t.State(), DataSetState::Edit);
  t.BeforeCancel = nullptr;
  t.Cancel();

  t.Close();
  t.BeforeOpen = abort;
  EXPECT_THROW(t.Open(), EAbort);
  EXPECT_FALSE(t.Active());
}

TEST_F(TableTest, CancelOfAnInsertReturnsToThePreviousRow) {
  TffTable t;
  openTable(t, "PROSJEKT");
  addProject(t, 1, "A");
  addProject(t, 2, "B");
  t.First();
  t.Append();
  t.FieldByName("NAVN").SetAsString("C");
  t.Cancel();
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "A");
  EXPECT_EQ(t.RecordCount(), 2);
}

TEST_F(TableTest, NavigationSetsEofAndBofAndStaysOnTheEdgeRow) {
  TffTable t;
  openTable(t, "PROSJEKT");
  for (int i = 1; i <= 3; ++i) addProject(t, i, "P" + std::to_string(i));
  t.First();
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.MoveBy(5), 2);
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.FieldByName("PROSJEKTNR").AsInteger(), 3);
  t.Prior();
  EXPECT_FALSE(t.Eof());
  EXPECT_EQ(t.FieldByName("PROSJEKTNR").AsInteger(), 2);
  t.Last();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.MoveBy(-10), 2);
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.FieldByName("PROSJEKTNR").AsInteger(), 1);
}

TEST_F(TableTest, IndexOrderFindKeyAndRecordCountUnderAFilter) {
  TffTable t;
  openTable(t, "PROSJEKT");
  addProject(t, 3, "c");
  addProject(t, 1, "B");
  addProject(t, 2, "a");
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(3)(1)(2)") << "without an index: the order of entry";
  t.SetIndexName("PROSJEKTNR");
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(1)(2)(3)");
  t.SetIndexName("NAVN");
  EXPECT_EQ(render(t, {"NAVN"}), "(a)(B)(c)") << "case-insensitive index";
  EXPECT_THROW(t.SetIndexName("MANGLER"), ENotFound);
  EXPECT_EQ(t.IndexName(), "NAVN") << "a missing index leaves the order as it was";

  t.SetIndexName("PROSJEKTNR");
  EXPECT_TRUE(t.FindKey({Value{2.0}}));
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "a");
  EXPECT_FALSE(t.FindKey({Value{9.0}}));
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "a") << "a failed FindKey does not move";

  t.SetFilter("PROSJEKTNR>1");
  t.SetFiltered(true);
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(2)(3)");
  t.SetFiltered(false);
  EXPECT_EQ(t.RecordCount(), 3);
}

TEST_F(TableTest, BadFilterRaisesAndLeavesTheFilterAsItWas) {
  TffTable t;
  openTable(t, "PROSJEKT");
  addProject(t, 1, "A");
  addProject(t, 2, "B");
  t.SetFilter("PROSJEKTNR=");
  EXPECT_THROW(t.SetFiltered(true), EBadFilter);
  EXPECT_FALSE(t.Filtered());
  EXPECT_EQ(t.RecordCount(), 2);

  t.SetFilter("PROSJEKTNR=2");
  t.SetFiltered(true);
  EXPECT_THROW(t.SetFilter("UKJENT=1"), EBadFilter);
  EXPECT_EQ(t.Filter(), "PROSJEKTNR=2");
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_THROW(t.SetFilter("NAVN='uavsluttet"), EBadFilter);
  EXPECT_EQ(t.RecordCount(), 1);
}

TEST_F(TableTest, DetailFollowsItsMasterUnlessTheSourceIsDisabled) {
  TffTable master, detail;
  TDataSource source("ProsjektSource");
  source.SetDataSet(&master);
  openTable(master, "PROSJEKT");
  master.SetIndexName("PROSJEKTNR");
  addProject(master, 1, "A");
  addProject(master, 2, "B");
  {
    TffTable hours;
    openTable(hours, "TIMER");
    addHours(hours, 1, 1, 7.5);
    addHours(hours, 2, 1, 3);
    addHours(hours, 2, 2, 4);
  }
  detail.SetIndexName("PROSJEKTNR");
  detail.SetMasterSource(&source);
  detail.SetMasterFields("PROSJEKTNR");
  openTable(detail, "TIMER");
  master.First();
  EXPECT_EQ(render(detail, {"PROSJEKTNR", "TIMER"}), "(1 7,5)");
  master.Next();
  EXPECT_EQ(render(detail, {"PROSJEKTNR", "TIMER"}), "(2 3)(2 4)");
  EXPECT_EQ(detail.RecordCount(), 2);

  detail.Append();
  EXPECT_EQ(detail.FieldByName("PROSJEKTNR").AsInteger(), 2) << "a new detail row takes the master's key";
  detail.Cancel();

  source.SetEnabled(false);
  master.First();
  EXPECT_EQ(detail.RecordCount(), 2) << "a disabled source stops the detail from following";
  source.SetEnabled(true);
  EXPECT_EQ(detail.RecordCount(), 1) << "switched on again, the detail catches up";

  master.DisableControls();
  master.Next();
  EXPECT_EQ(detail.RecordCount(), 1) << "disabled controls stop the detail too";
  master.EnableControls();
  EXPECT_EQ(detail.RecordCount(), 2);
}

TEST_F(TableTest, ReadOnlyAndExclusiveOpens) {
  TffTable writer;
  openTable(writer, "PROSJEKT");
  addProject(writer, 1, "A");

  TffTable reader;
  reader.SetReadOnly(true);
  openTable(reader, "PROSJEKT");
  EXPECT_THROW(reader.Edit(), EReadOnly);
  EXPECT_THROW(reader.Append(), EReadOnly);
  EXPECT_THROW(reader.FieldByName("NAVN").SetAsString("x"), EReadOnly);

  TffTable exclusive;
  exclusive.SetExclusive(true);
  exclusive.SetDatabaseName(db.alias());
  exclusive.SetTableName("PROSJEKT");
  EXPECT_THROW(exclusive.Open(), ECannotOpen) << "others have it open";
  writer.Close();
  reader.Close();
  exclusive.Open();
  TffTable other;
  EXPECT_THROW(openTable(other, "PROSJEKT"), ECannotOpen) << "opened exclusively";
  exclusive.AddIndex("AKTIV", "AKTIV");
  exclusive.Close();
  other.Open();
  EXPECT_NO_THROW(other.SetIndexName("AKTIV"));
  EXPECT_THROW(other.AddIndex("X", "NAVN"), Error) << "adding an index needs an exclusive open";
}

TEST_F(TableTest, DeclaredFieldsBindByNameAndAMissingOneFailsTheOpen) {
  TffTable t;
  FieldDecl nr{"prosjektnr", FieldType::Float};
  FieldDecl kode;
  kode.name = "KODE";
  kode.kind = FieldKind::Calculated;
  kode.type = FieldType::String;
  t.AddField(nr);
  t.AddField(kode);
  t.OnCalcFields = [](TffTable& tt) {
    tt.FieldByName("KODE").SetAsString("K" + std::to_string(tt.FieldByName("PROSJEKTNR").AsInteger()));
  };
  openTable(t, "PROSJEKT");
  EXPECT_EQ(t.FieldCount(), 2);
  t.Append();
  t.FieldByName("PROSJEKTNR").SetAsFloat(7);
  EXPECT_EQ(t.FieldByName("KODE").AsString(), "K7") << "calculated on every change";
  t.Post();
  EXPECT_THROW(t.FieldByName("KODE").SetAsString("x"), ENotEditing);
  t.Close();

  TffTable bad;
  FieldDecl missing{"FINNES_IKKE", FieldType::Float};
  bad.AddField(missing);
  bad.SetDatabaseName(db.alias());
  bad.SetTableName("PROSJEKT");
  try {
    bad.Open();
    FAIL() << "a declared field the table lacks must fail the open";
  } catch (const ECannotOpen& e) {
    EXPECT_NE(std::string(e.what()).find("FINNES_IKKE"), std::string::npos);
  }
  EXPECT_FALSE(bad.Active());
}

TEST_F(TableTest, UndeclaredTableGetsThePhysicalFieldListAndLosesItWhenClosed) {
  TffTable t;
  openTable(t, "PROSJEKT");
  ASSERT_EQ(t.FieldCount(), 3);
  EXPECT_EQ(t.Fields(1).FieldName(), "NAVN");
  EXPECT_EQ(t.Fields(1).DataType(), FieldType::String);
  EXPECT_EQ(t.Fields(1).Size(), 10);
  t.Close();
  EXPECT_EQ(t.FieldCount(), 0);
  EXPECT_EQ(t.FindField("NAVN"), nullptr);
  // Reopened on another table, fields are found by its names, in any case, and not by the old.
  openTable(t, "TIMER");
  EXPECT_EQ(t.FindField("navn"), nullptr);
  EXPECT_EQ(&t.FieldByName("systemNr"), &t.Fields(1));
}

TEST_F(TableTest, FieldValuesTextsAndLimits) {
  TffTable t;
  openTable(t, "PROSJEKT");
  t.Append();
  t.FieldByName("NAVN").SetAsString("Åsmund Ødegård");
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "Åsmund Øde") << "cut to 10 characters, not bytes";
  t.FieldByName("PROSJEKTNR").SetEditText("12,5");
  EXPECT_DOUBLE_EQ(t.FieldByName("PROSJEKTNR").AsFloat(), 12.5);
  EXPECT_THROW(t.FieldByName("PROSJEKTNR").SetEditText("tolv"), Error);
  t.FieldByName("AKTIV").SetEditText("Ja");
  EXPECT_TRUE(t.FieldByName("AKTIV").AsBoolean());
  t.Post();
  EXPECT_THROW(t.FieldByName("NAVN").SetAsString("x"), ENotEditing);
  t.Edit();
  t.FieldByName("PROSJEKTNR").Clear();
  t.Post();
  EXPECT_TRUE(t.FieldByName("PROSJEKTNR").IsNull());
  EXPECT_EQ(t.FieldByName("PROSJEKTNR").AsFloat(), 0.0);
}

TEST_F(TableTest, TextIsStoredAsUtf8WithinItsSizeWhateverBytesComeIn) {
  TffTable t;
  openTable(t, "PROSJEKT");
  t.Append();
  t.FieldByName("NAVN").SetAsString(std::string(31, '\x80'));
  std::string tenEuros;
  for (int i = 0; i < 10; ++i) tenEuros += "€";
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), tenEuros) << "stray bytes read as Windows-1252, cut to 10 characters";
  t.FieldByName("NAVN").SetEditText("Sm\xF8r \xC3\xB8 \xE6");
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "Smør ø æ") << "valid UTF-8 (ø) is kept as it is";
  t.Post();
  TffTable again;
  openTable(again, "PROSJEKT");
  EXPECT_EQ(again.FieldByName("NAVN").AsString(), "Smør ø æ");
}

TEST_F(TableTest, OnChangeFiresOnEveryAssignmentWhileEditing) {
  TffTable t;
  FieldDecl nr{"PROSJEKTNR", FieldType::Float};
  t.AddField(nr).OnChange = [](TField& f) {
    if (f.AsFloat() > 100) f.DataSet().FieldByName("NAVN").SetAsString("stor");
  };
  t.AddField(FieldDecl{"NAVN", FieldType::String, 10});
  openTable(t, "PROSJEKT");
  int changes = 0;
  t.FieldByName("NAVN").OnChange = [&](TField&) { ++changes; };
  t.Append();
  t.FieldByName("PROSJEKTNR").SetAsFloat(5);
  t.FieldByName("PROSJEKTNR").SetAsFloat(500);
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "stor");
  EXPECT_EQ(changes, 1);
}

TEST_F(TableTest, RequiredFieldsAndDefaultsOnNewRows) {
  TffTable t;
  FieldDecl nr{"PROSJEKTNR", FieldType::Float};
  nr.required = true;
  FieldDecl aktiv{"AKTIV", FieldType::Boolean};
  aktiv.displayValues = "JA;NEI";
  aktiv.defaultExpression = "Nei";
  t.AddField(nr);
  t.AddField(aktiv);
  openTable(t, "PROSJEKT");
  t.Append();
  EXPECT_FALSE(t.FieldByName("AKTIV").IsNull());
  EXPECT_EQ(t.FieldByName("AKTIV").DisplayText(), "NEI");
  EXPECT_THROW(t.Post(), ERequired);
  t.FieldByName("PROSJEKTNR").SetAsFloat(1);
  t.Post();
  EXPECT_EQ(t.RecordCount(), 1);
}

TEST_F(TableTest, DeleteMovesToTheNextRowOrThePriorAtTheEnd) {
  TffTable t;
  openTable(t, "PROSJEKT");
  t.SetIndexName("PROSJEKTNR");
  for (int i = 1; i <= 3; ++i) addProject(t, i, "P");
  t.FindKey({Value{2.0}});
  t.Delete();
  EXPECT_EQ(t.FieldByName("PROSJEKTNR").AsInteger(), 3);
  t.Delete();
  EXPECT_EQ(t.FieldByName("PROSJEKTNR").AsInteger(), 1);
  t.Delete();
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_THROW(t.Delete(), Error);
}

TEST_F(TableTest, WalkingSeesRowsPostedByAnotherHandleMidWay) {
  TffTable walker, writer;
  openTable(walker, "PROSJEKT");
  openTable(writer, "PROSJEKT");
  walker.SetIndexName("PROSJEKTNR");
  for (int i = 1; i <= 4; ++i) addProject(writer, i * 10, "P");
  walker.First();
  walker.Next();
  addProject(writer, 25, "ny");
  walker.Next();
  EXPECT_EQ(walker.FieldByName("PROSJEKTNR").AsInteger(), 25);
  walker.Next();
  EXPECT_EQ(walker.FieldByName("PROSJEKTNR").AsInteger(), 30);
}

TEST_F(TableTest, MissingAliasTableOrSessionFailsToOpen) {
  TffTable t;
  t.SetDatabaseName("FINNES_IKKE");
  t.SetTableName("PROSJEKT");
  EXPECT_THROW(t.Open(), ECannotOpen);
  t.SetDatabaseName(db.alias());
  t.SetTableName("MANGLER");
  EXPECT_THROW(t.Open(), ECannotOpen);
  t.SetTableName("");
  EXPECT_THROW(t.Open(), ECannotOpen);
  t.SetTableName("../PROSJEKT");
  EXPECT_THROW(t.Open(), ECannotOpen);
  t.SetTableName("prosjekt");
  EXPECT_NO_THROW(t.Open()) << "table names match without regard to case";
  t.Close();
  t.SetDatabaseName(db.folder());
  EXPECT_NO_THROW(t.Open()) << "a folder path serves as a database name";
  EXPECT_THROW(t.SetTableName("X"), Error) << "properties are set while closed";
}

TEST_F(TableTest, WholeTableCountStaysRightAcrossWritersAndOlderFiles) {
  {
    TffTable a, b;
    openTable(a, "PROSJEKT");
    openTable(b, "PROSJEKT");
    for (int i = 1; i <= 5; ++i) addProject(a, i, "P");
    b.Refresh();
    b.First();
    b.Delete();
    EXPECT_EQ(a.RecordCount(), 4);
    EXPECT_EQ(b.RecordCount(), 4);
  }
  // A table file from before the count was kept gets it on its next open.
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open((db.folder() + "PROSJEKT.ffdb").c_str(), &raw), SQLITE_OK);
  sqlite3_exec(raw, "DROP TRIGGER _ff_counted_insert; DROP TRIGGER _ff_counted_delete; DROP TABLE _ff_count;"
                    "INSERT INTO rows (c0) VALUES (9)", nullptr, nullptr, nullptr);
  sqlite3_close(raw);
  TffTable t;
  openTable(t, "PROSJEKT");
  EXPECT_EQ(t.RecordCount(), 5);
  addProject(t, 10, "ny");
  EXPECT_EQ(t.RecordCount(), 6);
}

// A process killed in the middle of posting leaves a readable table with whole rows only.
TEST_F(TableTest, KilledWriterLeavesWholeRows) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TffTable t;
    openTable(t, "PROSJEKT");
    for (int i = 0;; ++i) {
      t.Append();
      t.FieldByName("PROSJEKTNR").SetAsFloat(i);
      t.FieldByName("NAVN").SetAsString("rad" + std::to_string(i));
      t.Post();
    }
  }
  usleep(300000);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  TffTable t;
  openTable(t, "PROSJEKT");
  const auto rows = t.RecordCount();
  EXPECT_GT(rows, 0);
  std::int64_t seen = 0;
  for (t.First(); !t.Eof(); t.Next(), ++seen) {
    ASSERT_EQ(t.FieldByName("NAVN").AsString(), "rad" + std::to_string(t.FieldByName("PROSJEKTNR").AsInteger()));
  }
  EXPECT_EQ(seen, rows);
}

// --- Bulk loads ---

TEST_F(TableTest, AFailedBulkLoadWritesNoneOfItsRowsAndTheNextLoadIsCommitted) {
  const std::vector<FieldDef> fields{field("NR", FieldType::Integer), field("NAVN", FieldType::String, 10)};
  session().CreateTable(db.alias(), "LAST", fields, {});
  auto storage = session().OpenTable(db.alias(), "LAST", {false, true});
  NumberedRows failing(100, 40);
  EXPECT_THROW(BulkInsert(*storage, failing), ECannotOpen);
  EXPECT_EQ(storage->Count({}), 0);
  NumberedRows whole(10);
  EXPECT_EQ(BulkInsert(*storage, whole), 10);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open_v2((db.folder() + "LAST.ffdb").c_str(), &other, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* count = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(other, "SELECT COUNT(*) FROM rows", -1, &count, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(count, 0), 10) << "committed, seen by another connection";
  sqlite3_finalize(count);
  sqlite3_close_v2(other);
}

TEST_F(TableTest, AFilledTableAppearsWholeOrNotAtAll) {
  const std::vector<FieldDef> fields{field("NR", FieldType::Integer), field("NAVN", FieldType::String, 10)};
  const std::vector<IndexDef> indexes{{"NAVN", {"NAVN"}, 0}};
  NumberedRows failing(3000, 2500);
  EXPECT_THROW(session().CreateFilledTable(db.alias(), "BULK", fields, indexes, failing), ECannotOpen);
  std::vector<std::string> names;
  session().GetTableNames(db.alias(), "*.*", true, false, names);
  EXPECT_EQ(names, (std::vector<std::string>{"PROSJEKT.ffdb", "TIMER.ffdb"})) << "nothing of the failed load is left";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(db.folder()), {}), 2);

  NumberedRows whole(3000);
  EXPECT_EQ(session().CreateFilledTable(db.alias(), "BULK", fields, indexes, whole), 3000);
  NumberedRows again(5);
  EXPECT_THROW(session().CreateFilledTable(db.alias(), "bulk", fields, indexes, again), Error) << "never overwrites";

  TffTable t;
  t.SetIndexName("NAVN");
  openTable(t, "BULK");
  EXPECT_EQ(t.RecordCount(), 3000);
  ASSERT_TRUE(t.FindKey({Value{"Navn 7"}}));
  EXPECT_EQ(t.FieldByName("NR").AsInteger(), 7) << "the index was built after the rows, ties in row order";
  t.Append();
  t.FieldByName("NR").SetAsInteger(3000);
  t.Post();
  EXPECT_EQ(t.RecordCount(), 3001) << "the loaded table counts what is written later";
}

// Rows go in many to a statement: every row once, in order, whatever the count, also when a
// table has so many fields that fewer rows fit a statement.
TEST_F(TableTest, ABulkLoadKeepsEveryRowAtEveryBatchEdge) {
  std::vector<FieldDef> manyFields;
  for (int i = 0; i < 700; ++i) manyFields.push_back(field("F" + std::to_string(i), FieldType::Integer));
  const std::vector<FieldDef>& wide = manyFields;
  const std::vector<FieldDef> narrow{field("NR", FieldType::Integer), field("NAVN", FieldType::String, 10)};
  for (const auto* fields : {&narrow, &wide}) {
    for (int count : {0, 1, 45, 46, 47, 63, 64, 65, 129}) {
      const std::string name = "LAST" + std::to_string(fields->size()) + "_" + std::to_string(count);
      NumberedRows rows(count);
      ASSERT_EQ(session().CreateFilledTable(db.alias(), name, *fields, {}, rows), count);
      TffTable t;
      openTable(t, name);
      ASSERT_EQ(t.RecordCount(), count) << name;
      int expected = 0;
      for (t.First(); !t.Eof(); t.Next(), ++expected) {
        ASSERT_EQ(t.Fields(0).AsInteger(), expected) << name;
        if (fields == &narrow) {
          ASSERT_EQ(t.Fields(1).AsString(), "Navn " + std::to_string(expected % 10)) << name;
        }
      }
      EXPECT_EQ(expected, count) << name;
    }
  }
}

// A .ff2 Word32 or AutoInc value of 2^31 and more stays what it is in a table of the store, and
// the field types keep refusing what lies outside them; the type name survives a reopen.
TEST_F(TableTest, UnsignedThirtyTwoBitFieldsHoldTheirWholeRange) {
  session().CreateTable(db.alias(), "TELLER",
                        {field("ANTALL", FieldType::LongWord), field("LOPENR", FieldType::AutoInc),
                         field("NR", FieldType::Integer)},
                        {});
  TffTable t;
  openTable(t, "TELLER");
  EXPECT_EQ(t.FieldByName("ANTALL").DataType(), FieldType::LongWord);
  t.Append();
  t.FieldByName("ANTALL").SetAsInteger(4294967295);
  t.FieldByName("LOPENR").SetAsInteger(4294967280);
  EXPECT_THROW(t.FieldByName("ANTALL").SetAsInteger(-1), Error);
  EXPECT_THROW(t.FieldByName("ANTALL").SetAsInteger(4294967296), Error);
  EXPECT_THROW(t.FieldByName("LOPENR").SetAsInteger(4294967296), Error);
  EXPECT_THROW(t.FieldByName("NR").SetAsInteger(2147483648), Error);
  t.Post();
  t.Close();
  openTable(t, "TELLER");
  EXPECT_EQ(t.FieldByName("ANTALL").DataType(), FieldType::LongWord);
  EXPECT_EQ(t.FieldByName("ANTALL").AsInteger(), 4294967295);
  EXPECT_EQ(t.FieldByName("LOPENR").AsInteger(), 4294967280);
}

// A .ff2 Comp value keeps all 64 bits in a table of the store; a number beyond them is refused.
TEST_F(TableTest, SixtyFourBitWholeNumbersStayExact) {
  session().CreateTable(db.alias(), "STORT", {field("VERDI", FieldType::Largeint)}, {});
  TffTable t;
  openTable(t, "STORT");
  for (std::int64_t v : {std::numeric_limits<std::int64_t>::max(), std::int64_t{9007199254740993},
                         std::numeric_limits<std::int64_t>::min()}) {
    t.Append();
    t.FieldByName("VERDI").SetAsInteger(v);
    t.Post();
  }
  EXPECT_THROW(t.FieldByName("VERDI").SetAsFloat(0x1p63), Error);
  t.Close();
  openTable(t, "STORT");
  EXPECT_EQ(t.FieldByName("VERDI").DataType(), FieldType::Largeint);
  std::vector<std::int64_t> read;
  for (t.First(); !t.Eof(); t.Next()) read.push_back(t.FieldByName("VERDI").AsInteger());
  EXPECT_EQ(read, (std::vector<std::int64_t>{std::numeric_limits<std::int64_t>::max(), 9007199254740993,
                                             std::numeric_limits<std::int64_t>::min()}));
}

}  // namespace
