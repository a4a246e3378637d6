// One data-set suite over both back ends: SQLite tables in a folder, and tables in a database
// on the private MariaDB (skipped when it has no TCP port). The data set, its order, filters,
// FindKey, master-detail and counts must not tell them apart.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "store/Aliases.h"
#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "support/ServerTestSupport.h"
#include "support/TempAlias.h"

using namespace ff;

namespace {

enum class Backend { Sqlite, MariaDb };

FieldDef field(const std::string& name, FieldType t, int size = 0) { return {name, t, size, false}; }

class DataSetBackendTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::Sqlite) {
      folder_ = std::make_unique<TempAlias>();
      alias_ = folder_->alias();
    } else {
      server_ = std::make_unique<server_test::ServerAlias>();
      REQUIRE_TCP_SERVER(*server_);
      alias_ = server_->alias();
    }
    session().CreateTable(alias_, "Prosjekt",
                          {field("PROSJEKTNR", FieldType::Integer), field("NAVN", FieldType::String, 30),
                           field("PRIS", FieldType::Float), field("AKTIV", FieldType::Boolean),
                           field("NOTAT", FieldType::Memo), field("BILDE", FieldType::Blob)},
                          {{"PROSJEKTNR", {"PROSJEKTNR"}, ixUnique},
                           {"NAVN", {"NAVN"}, ixCaseInsensitive},
                           {"PRISNED", {"PRIS"}, ixDescending}});
    session().CreateTable(alias_, "TIMER",
                          {field("PROSJEKTNR", FieldType::Integer), field("LINJE", FieldType::Integer),
                           field("TIMER", FieldType::Float)},
                          {{"PROSJEKTNR", {"PROSJEKTNR", "LINJE"}, 0}});
  }

  void TearDown() override {
    if (server_ && server_->available()) {
      server_->admin().Execute("DROP DATABASE IF EXISTS `" + emptyDatabase() + "`");
    }
  }

  static TffSession& session() { return TffSession::DefaultSession(); }

  std::string emptyDatabase() const { return server_->database() + "_tom"; }

  // An alias of the same back end whose folder or database holds no table; made only when
  // `made` (else it does not exist yet).
  std::string aliasWithoutTables(bool made) {
    if (GetParam() == Backend::Sqlite) {
      const std::string folder = folder_->root() + "/tom/";
      AddAlias("TOM", folder);
      if (made) std::filesystem::create_directories(folder);
    } else {
      AddServerAlias("TOM", ff::ServerAlias{server_->server().serverName(), emptyDatabase()});
      if (made) server_->admin().Execute("CREATE DATABASE IF NOT EXISTS `" + emptyDatabase() + "`");
    }
    return "TOM";
  }

  void open(TffTable& t, const std::string& name, bool exclusive = false) {
    t.SetDatabaseName(alias_);
    t.SetTableName(name);
    t.SetExclusive(exclusive);
    t.Open();
  }

  void addProject(TffTable& t, std::int64_t nr, const std::string& navn, double pris = 0) {
    t.Append();
    t.FieldByName("PROSJEKTNR").SetAsInteger(nr);
    t.FieldByName("NAVN").SetAsString(navn);
    t.FieldByName("PRIS").SetAsFloat(pris);
    t.Post();
  }

  void addHours(TffTable& t, std::int64_t prosjekt, std::int64_t linje, double timer) {
    t.Append();
    t.FieldByName("PROSJEKTNR").SetAsInteger(prosjekt);
    t.FieldByName("LINJE").SetAsInteger(linje);
    t.FieldByName("TIMER").SetAsFloat(timer);
    t.Post();
  }

  // Appends and posts one row, each field set from its text.
  static void appendRow(TffTable& t, const std::vector<std::pair<std::string, std::string>>& fields) {
    t.Append();
    for (const auto& [name, text] : fields) t.FieldByName(name).SetAsString(text);
    t.Post();
  }

  // Five projects with names in mixed case and one without a price.
  void fillProjects(TffTable& t) {
    addProject(t, 3, "delta", 30);
    addProject(t, 1, "Alfa", 10);
    addProject(t, 5, "Echo", 50);
    addProject(t, 2, "bravo", 20);
    addProject(t, 4, "Charlie", 40);
    t.Edit();
    t.FieldByName("PRIS").Clear();
    t.Post();
  }

  // The rows from the first to the end as "(a b)(c d)".
  static std::string render(TffTable& t, const std::vector<std::string>& fields) {
    std::string out;
    for (t.First(); !t.Eof(); t.Next()) {
      out += "(";
      for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? " " : "") + t.FieldByName(fields[i]).AsString();
      out += ")";
    }
    return out;
  }

  // The rows from the last back to the first, the same way.
  static std::string renderBackwards(TffTable& t, const std::string& fieldName) {
    std::string out;
    for (t.Last(); !t.Bof(); t.Prior()) out += "(" + t.FieldByName(fieldName).AsString() + ")";
    return out;
  }

  std::string alias_;
  std::unique_ptr<TempAlias> folder_;
  std::unique_ptr<server_test::ServerAlias> server_;
};

TEST_P(DataSetBackendTest, IndexOrdersWalkBothWaysAndNullsComeFirst) {
  TffTable t;
  open(t, "PROSJEKT");
  fillProjects(t);
  t.SetIndexName("PROSJEKTNR");
  EXPECT_EQ(render(t, {"PROSJEKTNR", "NAVN"}), "(1 Alfa)(2 bravo)(3 delta)(4 Charlie)(5 Echo)");
  EXPECT_EQ(renderBackwards(t, "PROSJEKTNR"), "(5)(4)(3)(2)(1)");
  t.SetIndexName("NAVN");
  EXPECT_EQ(render(t, {"NAVN"}), "(Alfa)(bravo)(Charlie)(delta)(Echo)");
  EXPECT_EQ(renderBackwards(t, "NAVN"), "(Echo)(delta)(Charlie)(bravo)(Alfa)");
  t.SetIndexName("PRISNED");
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(5)(3)(2)(1)(4)");
  t.SetIndexFieldNames("PRIS");
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(4)(1)(2)(3)(5)");
  EXPECT_EQ(renderBackwards(t, "PROSJEKTNR"), "(5)(3)(2)(1)(4)");
}

TEST_P(DataSetBackendTest, FindKeyFiltersAndCountsUnderAFilter) {
  TffTable t;
  open(t, "PROSJEKT");
  fillProjects(t);
  t.SetIndexName("PROSJEKTNR");
  EXPECT_EQ(t.RecordCount(), 5);
  EXPECT_TRUE(t.FindKey({Value{std::int64_t{4}}}));
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "Charlie");
  EXPECT_FALSE(t.FindKey({Value{std::int64_t{9}}}));
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "Charlie");
  EXPECT_TRUE(t.FindKey({Value{2.0}}));
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "bravo");

  t.SetFilter("PRIS>=20 AND NOT (NAVN='Echo')");
  t.SetFiltered(true);
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(2)(3)");
  EXPECT_EQ(t.RecordCount(), 2);
  t.SetFilter("PRIS=NULL OR NAVN='Al*'");
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(1)(4)");
  t.SetFilter("NAVN<>'Al*'");
  EXPECT_EQ(t.RecordCount(), 4);
  EXPECT_THROW(t.SetFilter("UKJENT=1"), EBadFilter);
  EXPECT_EQ(t.RecordCount(), 4);
}

TEST_P(DataSetBackendTest, FilterValuesAreBoundNotSplicedIntoSql) {
  TffTable t;
  open(t, "PROSJEKT");
  addProject(t, 1, "O'Brien");
  addProject(t, 2, "50% rabatt");
  addProject(t, 3, "500 kroner");
  addProject(t, 4, "x_y");
  addProject(t, 5, "xzy");
  t.SetFiltered(true);
  t.SetFilter("NAVN='O''Brien'");
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(1)");
  t.SetFilter("NAVN='50%*'");
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(2)");
  t.SetFilter("NAVN='x_*'");
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(4)");
  t.SetFilter("NAVN='x'' OR ''1''=''1'");
  EXPECT_EQ(t.RecordCount(), 0);
  t.SetFiltered(false);
  EXPECT_EQ(t.RecordCount(), 5);
}

TEST_P(DataSetBackendTest, DetailFollowsItsMaster) {
  TffTable master, detail;
  open(master, "PROSJEKT");
  open(detail, "TIMER");
  fillProjects(master);
  addHours(detail, 1, 1, 7.5);
  addHours(detail, 2, 1, 3);
  addHours(detail, 1, 2, 2);
  detail.Close();
  master.SetIndexName("PROSJEKTNR");
  TDataSource source;
  source.SetDataSet(&master);
  detail.SetIndexName("PROSJEKTNR");
  detail.SetMasterSource(&source);
  detail.SetMasterFields("PROSJEKTNR");
  detail.Open();
  master.First();
  EXPECT_EQ(render(detail, {"LINJE", "TIMER"}), "(1 7,5)(2 2)");
  EXPECT_EQ(detail.RecordCount(), 2);
  master.Next();
  EXPECT_EQ(render(detail, {"LINJE", "TIMER"}), "(1 3)");
  addHours(detail, 2, 2, 1);
  EXPECT_EQ(detail.RecordCount(), 2);
  master.Last();
  EXPECT_TRUE(detail.IsEmpty());
}

TEST_P(DataSetBackendTest, WalkingATwoFieldIndexKeepsRowsWithEqualKeys) {
  TffTable t;
  open(t, "TIMER");
  addHours(t, 1, 1, 1);
  addHours(t, 1, 1, 2);
  addHours(t, 1, 2, 3);
  addHours(t, 1, 1, 4);
  addHours(t, 2, 1, 5);
  addHours(t, 2, 1, 6);
  t.SetIndexName("PROSJEKTNR");
  EXPECT_EQ(render(t, {"TIMER"}), "(1)(2)(4)(3)(5)(6)");
  EXPECT_EQ(renderBackwards(t, "TIMER"), "(6)(5)(3)(4)(2)(1)");
  // Turning round starts a new scan from the current row's key.
  t.First();
  t.MoveBy(2);
  EXPECT_EQ(t.FieldByName("TIMER").AsString(), "4");
  t.Prior();
  EXPECT_EQ(t.FieldByName("TIMER").AsString(), "2");
  t.Next();
  t.Next();
  EXPECT_EQ(t.FieldByName("TIMER").AsString(), "3");
}

TEST_P(DataSetBackendTest, PostsLastAndDeletesAreSeenAfterReopening) {
  TffTable t;
  open(t, "PROSJEKT");
  fillProjects(t);
  t.SetIndexName("PROSJEKTNR");
  t.FindKey({Value{std::int64_t{3}}});
  t.Edit();
  t.FieldByName("NAVN").SetAsString("Delta endret");
  t.Post();
  t.FindKey({Value{std::int64_t{5}}});
  t.Delete();
  EXPECT_EQ(t.FieldByName("PROSJEKTNR").AsInteger(), 4);  // the prior row, at the end
  EXPECT_TRUE(t.Eof());
  t.Close();
  t.SetIndexName("PROSJEKTNR");
  t.Open();
  EXPECT_EQ(t.RecordCount(), 4);
  t.Last();
  EXPECT_EQ(t.FieldByName("PROSJEKTNR").AsInteger(), 4);
  EXPECT_EQ(render(t, {"NAVN"}), "(Alfa)(bravo)(Delta endret)(Charlie)");
}

TEST_P(DataSetBackendTest, TextMemoAndBytesComeBackWhole) {
  const std::string norwegian = "Ærlig Øst på Åsen – «sitat» 😀";
  const std::string bytes("\x00\xff\x01'\"\\%_", 9);
  const std::string longMemo(70000, 'm');
  TffTable t;
  open(t, "PROSJEKT");
  t.Append();
  t.FieldByName("PROSJEKTNR").SetAsInteger(1);
  t.FieldByName("NAVN").SetAsString(norwegian);
  t.FieldByName("NOTAT").SetAsString(longMemo);
  t.FieldByName("BILDE").SetAsString(bytes);
  t.FieldByName("AKTIV").SetAsBoolean(true);
  t.Post();
  t.Close();
  t.Open();
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), norwegian);
  EXPECT_EQ(t.FieldByName("NOTAT").AsString(), longMemo);
  EXPECT_EQ(t.FieldByName("BILDE").AsString(), bytes);
  EXPECT_TRUE(t.FieldByName("AKTIV").AsBoolean());
  EXPECT_TRUE(t.FieldByName("PRIS").IsNull());
  t.SetFilter("NAVN='Ærlig*'");
  t.SetFiltered(true);
  EXPECT_EQ(t.RecordCount(), 1);
}

TEST_P(DataSetBackendTest, UniqueIndexRefusesADuplicateAndWritesNothing) {
  TffTable t;
  open(t, "PROSJEKT");
  addProject(t, 1, "Alfa");
  t.Append();
  t.FieldByName("PROSJEKTNR").SetAsInteger(1);
  EXPECT_THROW(t.Post(), EKeyViolation);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(render(t, {"NAVN"}), "(Alfa)");
}

TEST_P(DataSetBackendTest, ExclusiveAndReadOnlyOpens) {
  TffTable first, second;
  open(first, "PROSJEKT", true);
  second.SetDatabaseName(alias_);
  second.SetTableName("prosjekt");
  EXPECT_THROW(second.Open(), ECannotOpen);
  first.AddIndex("NAVNNR", "NAVN;PROSJEKTNR");
  first.Close();
  second.SetReadOnly(true);
  second.Open();
  EXPECT_THROW(second.Append(), EReadOnly);
  EXPECT_THROW(second.AddIndex("X", "PRIS"), Error);
  EXPECT_THROW(first.Open(), ECannotOpen) << "not exclusive while another handle is open";
  second.Close();
  first.Open();
  addProject(first, 2, "b");
  addProject(first, 1, "b");
  first.SetIndexName("NAVNNR");
  EXPECT_EQ(render(first, {"PROSJEKTNR"}), "(1)(2)");
}

TEST_P(DataSetBackendTest, WalkingSeesRowsPostedByAnotherHandleMidWay) {
  TffTable reader, writer;
  open(reader, "PROSJEKT");
  open(writer, "PROSJEKT");
  for (int i = 1; i <= 40; i += 2) addProject(writer, i, "n" + std::to_string(i));
  reader.SetIndexName("PROSJEKTNR");
  reader.First();
  for (int i = 0; i < 5; ++i) reader.Next();
  addProject(writer, 12, "midt");
  addProject(writer, 2, "bak");
  std::string seen;
  for (; !reader.Eof(); reader.Next()) seen += reader.FieldByName("PROSJEKTNR").AsString() + " ";
  EXPECT_EQ(seen, "11 12 13 15 17 19 21 23 25 27 29 31 33 35 37 39 ");
  EXPECT_EQ(reader.RecordCount(), 22);
}

TEST_P(DataSetBackendTest, GridReadsRowsByPositionFromEitherEnd) {
  TffTable t;
  open(t, "PROSJEKT");
  for (int i = 1; i <= 50; ++i) addProject(t, i, "p" + std::to_string(i));
  t.SetIndexName("PROSJEKTNR");
  const auto tail = t.ReadRows(47, 10);
  ASSERT_EQ(tail.rows.size(), 3u);
  EXPECT_EQ(valueToInt(tail.rows[0][0]), 48);
  const auto head = t.ReadRows(2, 2);
  ASSERT_EQ(head.rows.size(), 2u);
  EXPECT_EQ(valueToInt(head.rows[1][0]), 4);
  ASSERT_TRUE(t.MoveToRecNo(30));
  EXPECT_EQ(t.FieldByName("PROSJEKTNR").AsInteger(), 31);
  EXPECT_EQ(t.RecNo(), 30);
}

TEST_P(DataSetBackendTest, TablesAreListedAndNamedWithoutRegardToCase) {
  std::vector<std::string> names;
  session().GetTableNames(alias_, "*.*", false, false, names);
  EXPECT_EQ(names, (std::vector<std::string>{"Prosjekt", "TIMER"}));
  session().GetTableNames(alias_, "PRO*", false, false, names);
  EXPECT_EQ(names, (std::vector<std::string>{"Prosjekt"}));
  EXPECT_THROW(session().CreateTable(alias_, "PROSJEKT", {field("A", FieldType::Integer)}, {}), Error);
  EXPECT_THROW(session().CreateTable(alias_, "DOBBEL", {field("A", FieldType::Integer), field("a", FieldType::Integer)}, {}),
               Error);
  session().GetTableNames(alias_, "*", false, false, names);
  EXPECT_EQ(names.size(), 2u) << "a refused table leaves nothing behind";
  TffTable t;
  open(t, "timer");
  EXPECT_EQ(t.FieldDefs().size(), 3u);
  EXPECT_EQ(t.IndexDefs().at(0).fields, (std::vector<std::string>{"PROSJEKTNR", "LINJE"}));
  t.Close();
  session().DropTable(alias_, "TIMER");
  session().GetTableNames(alias_, "*", false, false, names);
  EXPECT_EQ(names, (std::vector<std::string>{"Prosjekt"}));
  EXPECT_THROW(open(t, "TIMER"), ECannotOpen);
}

TEST_P(DataSetBackendTest, AnIdOfADeletedRowIsNeverGivenAgain) {
  TffTable mine, theirs;
  open(mine, "PROSJEKT");
  open(theirs, "PROSJEKT");
  addProject(theirs, 1, "Alfa");
  addProject(theirs, 2, "Bravo");
  mine.SetIndexName("PROSJEKTNR");
  mine.Last();
  const RowId gone = mine.CurrentRowId();
  theirs.Delete();
  addProject(theirs, 3, "Charlie");
  EXPECT_NE(theirs.CurrentRowId(), gone);
  EXPECT_FALSE(mine.GotoRowId(gone)) << "a bookmark to the deleted row lands nowhere";
  EXPECT_THROW(mine.Edit(), Error);
  theirs.Refresh();
  EXPECT_EQ(render(theirs, {"NAVN"}), "(Alfa)(Charlie)");
}

// The message of the ERowChanged that action throws, or "" when it throws none.
template <class Action>
std::string rowChangedMessage(Action action) {
  try {
    action();
  } catch (const ERowChanged& e) {
    return e.what();
  }
  return "";
}

TEST_P(DataSetBackendTest, APostOrDeleteOverAnotherHandlesChangeIsRefused) {
  const std::string changed =
      "Posten er endret av en annen arbeidsstasjon etter at den ble lest (Prosjekt); endringen er ikke lagret. "
      "Les posten på nytt og gjør endringen igjen";
  const std::string deleted = "Posten er slettet av en annen arbeidsstasjon (Prosjekt); endringen er ikke lagret";
  TffTable mine, theirs;
  open(mine, "PROSJEKT");
  open(theirs, "PROSJEKT");
  addProject(mine, 1, "Alfa");
  addProject(mine, 2, "Bravo");
  mine.SetIndexName("PROSJEKTNR");
  theirs.SetIndexName("PROSJEKTNR");

  mine.FindKey({Value{std::int64_t{1}}});
  mine.Edit();
  theirs.FindKey({Value{std::int64_t{1}}});
  theirs.Edit();
  theirs.FieldByName("NAVN").SetAsString("Deres");
  theirs.Post();
  mine.FieldByName("NAVN").SetAsString("Min");
  EXPECT_EQ(rowChangedMessage([&] { mine.Post(); }), changed);
  mine.Cancel();
  EXPECT_EQ(mine.FieldByName("NAVN").AsString(), "Deres");

  theirs.Edit();
  theirs.FieldByName("NAVN").SetAsString("Igjen");
  theirs.Post();
  EXPECT_EQ(rowChangedMessage([&] { mine.Delete(); }), changed);
  mine.Refresh();
  EXPECT_EQ(mine.FieldByName("NAVN").AsString(), "Igjen");

  mine.FindKey({Value{std::int64_t{2}}});
  mine.Edit();
  theirs.FindKey({Value{std::int64_t{2}}});
  theirs.Delete();
  mine.FieldByName("NAVN").SetAsString("Borte");
  EXPECT_EQ(rowChangedMessage([&] { mine.Post(); }), deleted);
  mine.Cancel();
  EXPECT_EQ(render(mine, {"NAVN"}), "(Igjen)");
  EXPECT_EQ(mine.RecordCount(), 1);
}

TEST_P(DataSetBackendTest, NonFiniteNumbersAreRefusedWhenSet) {
  session().CreateTable(alias_, "BELOP", {field("PRIS", FieldType::Float), field("SUM", FieldType::Currency)}, {});
  TffTable t;
  open(t, "BELOP");
  t.Append();
  t.FieldByName("PRIS").SetAsFloat(1.5);
  t.FieldByName("SUM").SetAsFloat(2.5);
  for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()}) {
    for (const char* name : {"PRIS", "SUM"}) {
      try {
        t.FieldByName(name).SetAsFloat(bad);
        ADD_FAILURE() << name << " took " << bad;
      } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(std::string("Feltet ") + name), std::string::npos) << e.what();
      }
    }
  }
  t.Post();
  t.Close();
  t.Open();
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(t.FieldByName("PRIS").AsFloat(), 1.5);
  EXPECT_EQ(t.FieldByName("SUM").AsFloat(), 2.5);
}

TEST_P(DataSetBackendTest, CountRightAfterOpeningSeesRowsAnotherHandleJustWrote) {
  TffTable reader, writer;
  open(reader, "PROSJEKT");
  open(writer, "PROSJEKT");
  addProject(writer, 1, "Alfa");
  addProject(writer, 2, "Bravo");
  EXPECT_EQ(reader.RecordCount(), 2);
  writer.Delete();
  reader.Refresh();
  EXPECT_EQ(reader.RecordCount(), 1);
}

TEST_P(DataSetBackendTest, DroppingATableOfAnAliasWithoutTablesDoesNothing) {
  EXPECT_NO_THROW(session().DropTable(aliasWithoutTables(false), "PROSJEKT"));
  EXPECT_NO_THROW(session().DropTable(aliasWithoutTables(true), "PROSJEKT"));
  EXPECT_THROW(session().DropTable("UKJENT", "PROSJEKT"), ECannotOpen);
  std::vector<std::string> names;
  session().GetTableNames(alias_, "*", false, false, names);
  EXPECT_EQ(names, (std::vector<std::string>{"Prosjekt", "TIMER"}));
}

TEST_P(DataSetBackendTest, APrefixHoldingANulByteMatchesOnlyValuesStartingWithIt) {
  const std::string nul(1, '\0');
  TffTable t;
  open(t, "PROSJEKT");
  for (const std::string& notat : {std::string(), std::string("abc"), nul + "x"}) {
    t.Append();
    t.FieldByName("NOTAT").SetAsString(notat);
    t.Post();
  }
  addProject(t, 4, "uten notat");
  t.SetFiltered(true);
  t.SetFilter("NOTAT='" + nul + "*'");
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(t.FieldByName("NOTAT").AsString(), nul + "x");
  t.SetFilter("NOTAT='a" + nul + "*'");
  EXPECT_EQ(t.RecordCount(), 0);
  t.SetFilter("NOTAT<>'" + nul + "*'");
  EXPECT_EQ(t.RecordCount(), 2);
  t.SetFilter("NOTAT=NULL");
  EXPECT_EQ(t.RecordCount(), 1);
  t.SetFilter("NOTAT<>'" + nul + "*'");
  EXPECT_EQ(render(t, {"NOTAT"}), "()(abc)");
  // A prefix too long for a pattern takes the same way as one holding a NUL byte.
  t.SetFilter("NOTAT<>'" + std::string(10001, 'q') + "*'");
  EXPECT_EQ(t.RecordCount(), 3);
}

TEST_P(DataSetBackendTest, LongTextIsUniqueAndOrderedOverItsWholeValue) {
  session().CreateTable(alias_, "LANG",
                        {field("NR", FieldType::Integer), field("TEKST", FieldType::String, 2000),
                         field("MERK", FieldType::String, 2000)},
                        {{"TEKST", {"TEKST"}, ixUnique}, {"MERK", {"MERK"}, 0}});
  const std::string head(1100, 'a');
  TffTable t;
  open(t, "LANG");
  const auto add = [&](std::int64_t nr, const std::string& tekst, const std::string& merk) {
    t.Append();
    t.FieldByName("NR").SetAsInteger(nr);
    t.FieldByName("TEKST").SetAsString(tekst);
    t.FieldByName("MERK").SetAsString(merk);
    t.Post();
  };
  add(1, head + "1", head + "c");
  add(2, head + "2", head + "a");
  add(3, head + "3", head + "b");
  EXPECT_THROW(add(4, head + "2", head + "d"), EKeyViolation);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 3);
  t.SetIndexName("MERK");
  EXPECT_EQ(render(t, {"NR"}), "(2)(3)(1)");
  EXPECT_EQ(renderBackwards(t, "NR"), "(1)(3)(2)");
  t.SetIndexName("TEKST");
  EXPECT_EQ(render(t, {"NR"}), "(1)(2)(3)");
}

// Norwegian: A–Z, then Æ, Ø, Å, with upper and lower case equal; walks, positions and moves
// agree on both back ends.
TEST_P(DataSetBackendTest, CaseInsensitiveIndexOrdersTextInNorwegian) {
  TffTable t;
  open(t, "PROSJEKT");
  std::int64_t nr = 0;
  for (const char* navn : {"Øst", "_strek", "ås", "Berg", "zeta", "Ærlig", "alfa", "ØRE"}) addProject(t, ++nr, navn);
  t.SetIndexName("NAVN");
  EXPECT_EQ(render(t, {"NAVN"}), "(_strek)(alfa)(Berg)(zeta)(Ærlig)(ØRE)(Øst)(ås)");
  EXPECT_EQ(renderBackwards(t, "NAVN"), "(ås)(Øst)(ØRE)(Ærlig)(zeta)(Berg)(alfa)(_strek)");
  t.Last();
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "ås");
  EXPECT_EQ(t.RecNo(), 7);
  t.First();
  t.MoveBy(4);
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "Ærlig");
  EXPECT_EQ(t.RecNo(), 4);
  t.MoveBy(-10);
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "_strek");
}

TEST_P(DataSetBackendTest, UniqueCaseInsensitiveIndexRefusesTheSameTextInOtherCase) {
  session().CreateTable(alias_, "KUNDE", {field("NR", FieldType::Integer), field("NAVN", FieldType::String, 40)},
                        {{"NAVN", {"NAVN"}, ixUnique | ixCaseInsensitive}});
  TffTable t;
  open(t, "KUNDE");
  const auto add = [&](std::int64_t nr, const std::string& navn) {
    appendRow(t, {{"NR", std::to_string(nr)}, {"NAVN", navn}});
  };
  add(1, "Åsen Bygg");
  add(2, "Asen Bygg");
  add(3, "Øst AS");
  EXPECT_THROW(add(4, "ÅSEN BYGG"), EKeyViolation);
  t.Cancel();
  EXPECT_THROW(add(5, "øst as"), EKeyViolation);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 3);
  t.SetIndexName("NAVN");
  EXPECT_EQ(render(t, {"NR"}), "(2)(3)(1)");
}

// A text changed by an edit moves to its new place: its sort key is written with it.
TEST_P(DataSetBackendTest, AnEditedTextTakesItsNewPlaceInTheOrder) {
  TffTable t;
  open(t, "PROSJEKT");
  fillProjects(t);
  t.SetIndexName("NAVN");
  t.First();
  t.Edit();
  t.FieldByName("NAVN").SetAsString("Åsgard");
  t.Post();
  t.Close();
  open(t, "PROSJEKT");
  t.SetIndexName("NAVN");
  EXPECT_EQ(render(t, {"NAVN"}), "(bravo)(Charlie)(delta)(Echo)(Åsgard)");
}

// An index added to a table with rows orders them by keys made for the rows already there.
TEST_P(DataSetBackendTest, AnAddedCaseInsensitiveIndexOrdersTheRowsAlreadyThere) {
  session().CreateTable(alias_, "STED", {field("NR", FieldType::Integer), field("STED", FieldType::String, 20)}, {});
  TffTable t;
  open(t, "STED", true);
  std::int64_t nr = 0;
  for (const char* sted : {"Ørsta", "bergen", "Ålesund", "Arendal"}) appendRow(t, {{"NR", std::to_string(++nr)}, {"STED", sted}});
  t.AddIndex("STED", "STED", ixCaseInsensitive);
  t.SetIndexName("STED");
  EXPECT_EQ(render(t, {"STED"}), "(Arendal)(bergen)(Ørsta)(Ålesund)");
  appendRow(t, {{"NR", "5"}, {"STED", "Zaragoza"}});
  EXPECT_EQ(render(t, {"STED"}), "(Arendal)(bergen)(Zaragoza)(Ørsta)(Ålesund)");
}

TEST_P(DataSetBackendTest, AnIndexNamingAFieldTwiceOrdersAsByItOnce) {
  session().CreateTable(alias_, "TO",
                        {field("PROSJEKTNR", FieldType::Integer), field("NAVN", FieldType::String, 30),
                         field("PRIS", FieldType::Float)},
                        {{"NRNR", {"PROSJEKTNR", "prosjektnr"}, ixUnique}});
  TffTable t;
  open(t, "TO", true);
  t.AddIndex("NAVNNAVN", "NAVN;NAVN;PROSJEKTNR", ixDescending);
  addProject(t, 2, "b");
  addProject(t, 1, "a");
  addProject(t, 3, "b");
  t.SetIndexName("NRNR");
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(1)(2)(3)");
  t.SetIndexName("NAVNNAVN");
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(3)(2)(1)");
  EXPECT_THROW(addProject(t, 1, "c"), EKeyViolation);
}

// Memos and bytes order as text and bytes do, whole up to 64 KiB, also when the table is empty.
TEST_P(DataSetBackendTest, MemosAndBytesOrderTheRows) {
  TffTable t;
  open(t, "PROSJEKT");
  t.SetIndexFieldNames("NOTAT;BILDE;NAVN");
  t.First();
  EXPECT_TRUE(t.Eof());
  const std::string head(5000, 'm');
  const auto add = [&](std::int64_t nr, const std::string& notat, const std::string& bilde) {
    appendRow(t, {{"PROSJEKTNR", std::to_string(nr)}, {"NOTAT", notat}, {"BILDE", bilde}});
  };
  add(1, head + "b", std::string("\x02", 1));
  add(2, head + "a", std::string("\x01\x00", 2));
  add(3, head + "b", std::string("\x01", 1));
  add(4, "", "");
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(4)(2)(3)(1)");
  EXPECT_EQ(renderBackwards(t, "PROSJEKTNR"), "(1)(3)(2)(4)");
}

// An exact amount from a .ff2 file goes into a table as a double only where the double holds
// it to 1/10000; a larger one is refused, naming it, and nothing is written.
TEST_P(DataSetBackendTest, AnAmountADoubleCannotHoldExactlyIsRefusedNotBent) {
  auto storage = session().OpenTable(alias_, "PROSJEKT", {});
  const auto row = [](std::int64_t tenThousandths) {
    return std::vector<Value>{Value{std::int64_t{1}}, Value{std::string("a")}, Value{ScaledCurrency{tenThousandths}}};
  };
  const RowId kept = storage->Insert(row(5497558138879999));
  Row back;
  ASSERT_TRUE(storage->Read(kept, back));
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", valueToDouble(back.values.at(2)));
  EXPECT_STREQ(text, "549755813887.9999");
  try {
    storage->Insert(row(9007199254740993));
    FAIL() << "an amount past 2^39 was taken";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("900719925474.0993"), std::string::npos) << e.what();
  }
  EXPECT_EQ(storage->Count({}), 1);
}

// Seeks and lookups in an order by bytes compare bytes with bytes on both back ends.
TEST_P(DataSetBackendTest, SeeksAndLookupsInAnOrderByBytesCompareBytes) {
  TffTable t;
  open(t, "PROSJEKT");
  t.SetIndexFieldNames("BILDE;PROSJEKTNR");
  const auto add = [&](std::int64_t nr, const std::string& bilde) {
    appendRow(t, {{"PROSJEKTNR", std::to_string(nr)}, {"BILDE", bilde}});
  };
  add(1, "\x02");
  add(2, std::string("\xff\x00", 2));
  add(3, "\x01");
  add(4, "b");
  EXPECT_EQ(t.RecNo(), 2) << "the row just posted, between \\x02 and \\xff";
  EXPECT_EQ(render(t, {"PROSJEKTNR"}), "(3)(1)(4)(2)");
  ASSERT_TRUE(t.FindKey({Value{std::string("\xff\x00", 2)}}));
  EXPECT_EQ(t.FieldByName("PROSJEKTNR").AsInteger(), 2);
  EXPECT_FALSE(t.FindKey({Value{std::string("\xff")}}));
}

INSTANTIATE_TEST_SUITE_P(Backends, DataSetBackendTest, ::testing::Values(Backend::Sqlite, Backend::MariaDb),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                           return info.param == Backend::Sqlite ? std::string("Sqlite") : std::string("MariaDb");
                         });

}  // namespace
