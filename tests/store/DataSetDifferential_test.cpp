// A differential test of the data set over its back ends: random sequences of calls from a seed
// run on the same table in a SQLite folder and in a database on the private MariaDB (skipped
// when it has no TCP port), and .ff2 files are read beside their imported copies on both. After
// every call everything a caller sees must be the same; a sequence that differs is printed with
// its seed, shrunk to a short replay.
//
// CI runs a few fixed seeds. KV_DIFF_SECONDS=N runs seeds from KV_DIFF_SEED (else from the
// clock) for N seconds; KV_DIFF_SEED alone runs that one seed; KV_DIFF_OPS sets the calls per
// seed. scripts/differential.sh SECONDS runs it so.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "store/Aliases.h"
#include "store/Errors.h"
#include "store/Field.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/TableCopy.h"
#include "support/ServerTestSupport.h"
#include "support/store/DiffGenerator.h"
#include "support/store/DiffRunner.h"

using namespace ff;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kTable = "DIFF";
constexpr const char* kMaster = "DIFFMASTER";

FieldDef field(const std::string& name, FieldType t, int size = 0) { return {name, t, size, false}; }

// Every field type the suite's tables use, and indexes of every kind.
diff::TableShape randomTableShape() {
  diff::TableShape shape;
  shape.fields = {field("NR", FieldType::Integer),      field("NAVN", FieldType::String, 40),
                  field("KODE", FieldType::String, 20), field("TEKST", FieldType::String, 500),
                  field("NOTAT", FieldType::Memo),      field("LITEN", FieldType::Smallint),
                  field("ORD", FieldType::Word),        field("AKTIV", FieldType::Boolean),
                  field("PRIS", FieldType::Float),      field("BELOP", FieldType::Currency),
                  field("ANDEL", FieldType::BCD),       field("DATO", FieldType::Date),
                  field("TID", FieldType::Time),        field("STEMPEL", FieldType::DateTime),
                  field("DATA", FieldType::Blob),       field("BYTES", FieldType::Bytes, 16)};
  shape.indexes = {{"NR", {"NR"}, ixUnique},
                   {"NAVN", {"NAVN"}, 0},
                   {"KODE_CI", {"KODE"}, ixCaseInsensitive},
                   {"KODE_NR_CI_NED", {"KODE", "NR"}, ixCaseInsensitive | ixDescending},
                   {"PRIS_NED", {"PRIS"}, ixDescending},
                   {"DATO_NR", {"DATO", "NR"}, 0},
                   {"TEKST", {"TEKST"}, 0},
                   {"STEMPEL", {"STEMPEL"}, 0},
                   {"NAVN_DATO_UNIK", {"NAVN", "DATO"}, ixUnique}};
  return shape;
}

TffSession& session() { return TffSession::DefaultSession(); }

// The rows a range follows: NR, NAVN and DATO, as the table under test has them.
void makeMaster(const std::string& alias) {
  session().CreateTable(alias, kMaster,
                        {field("NR", FieldType::Integer), field("NAVN", FieldType::String, 40), field("DATO", FieldType::Date)},
                        {});
  TffTable t;
  t.SetDatabaseName(alias);
  t.SetTableName(kMaster);
  t.Open();
  const std::vector<std::vector<Value>> rows = {
      {Value{std::int64_t{1}}, Value{std::string("Alfa")}, Value{encodeDate(2024, 1, 1)}},
      {Value{std::int64_t{2}}, Value{std::string("alfa")}, Value{}},
      {Value{std::int64_t{3}}, Value{std::string("Ærlig")}, Value{encodeDate(1900, 1, 1)}},
      {Value{}, Value{std::string()}, Value{encodeDate(1899, 12, 30)}},
      {Value{std::int64_t{5}}, Value{}, Value{encodeDate(9999, 12, 28)}},
      {Value{std::int64_t{0}}, Value{std::string("bravo")}, Value{encodeDate(2000, 2, 29)}},
  };
  for (const auto& row : rows) {
    t.Append();
    for (std::size_t i = 0; i < row.size(); ++i) t.Fields(static_cast<int>(i)).SetValue(row[i]);
    t.Post();
  }
}

std::optional<double> envNumber(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return std::strtod(v, nullptr);
}

// Which seeds run, how many calls each, and for how long.
struct Budget {
  std::uint64_t firstSeed = 1;
  int seeds = 4;  // when no time is given
  int ops = 150;
  std::optional<double> seconds;

  static Budget FromEnvironment() {
    Budget b;
    b.seconds = envNumber("KV_DIFF_SECONDS");
    if (const auto seed = envNumber("KV_DIFF_SEED")) {
      b.firstSeed = static_cast<std::uint64_t>(*seed);
      b.seeds = 1;
    } else if (b.seconds) {
      b.firstSeed = static_cast<std::uint64_t>(std::time(nullptr));
    }
    if (const auto ops = envNumber("KV_DIFF_OPS")) b.ops = static_cast<int>(*ops);
    if (b.seconds) b.ops = envNumber("KV_DIFF_OPS") ? b.ops : 300;
    return b;
  }

  bool more(int done, Clock::time_point start) const {
    if (seconds) return std::chrono::duration<double>(Clock::now() - start).count() < *seconds;
    return done < seeds;
  }
};

// Plays the sequence of each seed, shrinks and reports each one that differs; returns the
// number that differed.
int playSeeds(const diff::Runner& runner, const diff::TableShape& shape, const Budget& budget, const char* what) {
  const auto start = Clock::now();
  std::int64_t compared = 0;
  int differences = 0, seeds = 0;
  for (std::uint64_t seed = budget.firstSeed; budget.more(seeds, start); ++seed, ++seeds) {
    const auto ops = diff::OpGenerator(shape, seed).Generate(budget.ops);
    const auto found = runner.Play(ops, compared);
    if (!found) continue;
    ++differences;
    const auto shrunk = runner.Shrink(ops, *found, std::chrono::seconds(budget.seconds ? 60 : 30));
    ADD_FAILURE() << what << ": forskjell med frø " << seed << " (KV_DIFF_SEED=" << seed << " KV_DIFF_OPS=" << budget.ops
                  << "), etter kall " << found->step + 1 << " av " << ops.size() << "; kortet ned til " << shrunk.size()
                  << " kall:\n"
                  << runner.Report(shrunk, shape.fields);
  }
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  std::cout << what << ": " << seeds << " frø fra " << budget.firstSeed << ", " << compared
            << " operasjoner sammenlignet, " << differences << " forskjeller, " << static_cast<std::int64_t>(compared / took)
            << " operasjoner i sekundet\n";
  return differences;
}

std::string folderOf(const std::string& alias) { return AliasFolder(alias).value_or(""); }

class DataSetDifferentialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TCP_SERVER(server_);
    local_ = {"SQLite", server_.local().alias(), {folderOf(server_.local().alias())}};
    remote_ = {"server", server_.alias(), {server_.database(), server_.server().serverName()}};
  }

  // A runner over both back ends that makes the table afresh in the shape before each play;
  // `then` may change it further on a side.
  diff::Runner freshTables(const diff::TableShape& shape, std::function<void(const diff::BackEnd&)> then = {}) {
    for (const auto* side : {&local_, &remote_}) makeMaster(side->alias);
    return diff::Runner({{local_, remote_}, kTable, kMaster, false, [shape, then](const diff::BackEnd& side) {
                           session().DropTable(side.alias, kTable);
                           session().CreateTable(side.alias, kTable, shape.fields, shape.indexes);
                           if (then) then(side);
                         }});
  }

  server_test::ServerAlias server_{"DIFFSRV"};
  diff::BackEnd local_, remote_;
};

TEST_F(DataSetDifferentialTest, RandomCallsShowTheSameOnBothBackEnds) {
  const diff::TableShape shape = randomTableShape();
  const diff::Runner runner = freshTables(shape);
  EXPECT_EQ(playSeeds(runner, shape, Budget::FromEnvironment(), "Tilfeldige kall"), 0);
}

// The harness itself: a table that holds one row more on one side is found and shrunk.
TEST_F(DataSetDifferentialTest, AnExtraRowOnOneSideIsFoundAndShrunkToAFewCalls) {
  const diff::TableShape shape = randomTableShape();
  const diff::Runner runner = freshTables(shape, [](const diff::BackEnd& side) {
    if (side.label != "server") return;
    TffTable t;
    t.SetDatabaseName(side.alias);
    t.SetTableName(kTable);
    t.Open();
    t.Append();
    t.FieldByName("NR").SetAsInteger(99);
    t.Post();
  });
  const auto ops = diff::OpGenerator(shape, 7).Generate(60);
  std::int64_t compared = 0;
  const auto found = runner.Play(ops, compared);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->step, 0u) << "the count differs from the first call on";
  EXPECT_EQ(found->label, "Eof/Bof/IsEmpty/Modified");
  EXPECT_EQ(found->texts, (std::vector<std::string>{"EBT-", "-B--"})) << "empty on one side only";
  const auto shrunk = runner.Shrink(ops, *found, std::chrono::seconds(30));
  EXPECT_EQ(shrunk.size(), 1u) << runner.Report(shrunk, shape.fields);
}

// ---- .ff2 files beside their imported copies ----

// Values of up to `count` rows spread over the table, for keys and filters that find rows.
std::vector<std::vector<Value>> knownValues(const std::string& alias, const std::string& table, int count) {
  TffTable t;
  t.SetDatabaseName(alias);
  t.SetTableName(table);
  t.SetReadOnly(true);
  t.Open();
  std::vector<std::vector<Value>> known(static_cast<std::size_t>(t.FieldCount()));
  const std::int64_t rows = t.RecordCount();
  const int stride = static_cast<int>(std::max<std::int64_t>(1, rows / count));
  for (t.First(); !t.Eof(); t.MoveBy(stride)) {
    for (int i = 0; i < t.FieldCount(); ++i) known[static_cast<std::size_t>(i)].push_back(t.Fields(i).AsValue());
  }
  return known;
}

// Each order walked forwards and backwards over its first rows.
std::vector<diff::Op> walks(const std::vector<IndexDef>& indexes, int rows) {
  std::vector<std::string> orders{""};
  for (const auto& ix : indexes) orders.push_back(ix.name);
  std::vector<diff::Op> ops;
  const auto add = [&](diff::OpKind kind, int times) {
    for (int k = 0; k < times; ++k) ops.push_back(diff::Op{kind, 0, 0, diff::Setter::Value, {}, {}});
  };
  for (const auto& name : orders) {
    ops.push_back(diff::Op{diff::OpKind::IndexName, 0, 0, diff::Setter::Value, name, {}});
    add(diff::OpKind::First, 1);
    add(diff::OpKind::Next, rows);
    add(diff::OpKind::Last, 1);
    add(diff::OpKind::Prior, rows);
  }
  return ops;
}

TEST_F(DataSetDifferentialTest, Ff2FilesReadTheSameAsTheirCopiesOnBothBackEnds) {
  const std::string legacy = server_.local().root() + "/gammel/";
  std::filesystem::create_directories(legacy);
  AddAlias("GAMMEL", legacy);
  const diff::BackEnd file{"ff2", "GAMMEL", {legacy}};
  const std::filesystem::path samples = KV_SOURCE_DIR "/tests/store/ff2/samples";
  std::vector<std::string> tables;
  for (const auto& entry : std::filesystem::directory_iterator(samples)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".ff2" && ext != ".FF2") continue;
    std::filesystem::copy_file(entry.path(), legacy + entry.path().filename().string());
    tables.push_back(entry.path().stem().string());
  }
  std::sort(tables.begin(), tables.end());
  Budget budget = Budget::FromEnvironment();
  budget.seconds.reset();
  budget.seeds = 1;
  budget.ops = 40;
  int readable = 0;
  for (const auto& table : tables) {
    SCOPED_TRACE(table);
    std::string copied[2];
    for (int s = 0; s < 2; ++s) {
      try {
        CopyTable(session(), "GAMMEL", table, s == 0 ? local_.alias : remote_.alias);
      } catch (const Error& e) {
        copied[s] = diff::ExceptionType(e);
      }
    }
    EXPECT_EQ(copied[0], copied[1]) << "the copy fails alike on both back ends";
    if (!copied[0].empty()) continue;
    ++readable;
    diff::TableShape shape;
    {
      TffTable t;
      t.SetDatabaseName("GAMMEL");
      t.SetTableName(table);
      t.Open();
      shape.fields = t.FieldDefs();
      shape.indexes = t.IndexDefs();
    }
    shape.writable = false;
    shape.hasMaster = false;
    shape.known = knownValues("GAMMEL", table, 40);
    const diff::Runner runner({{file, local_, remote_}, table, "", true, {}});
    std::int64_t compared = 0;
    const auto walked = walks(shape.indexes, 40);
    if (const auto d = runner.Play(walked, compared)) {
      ADD_FAILURE() << table << ": " << runner.Report(runner.Shrink(walked, *d, std::chrono::seconds(30)), shape.fields);
    }
    EXPECT_EQ(playSeeds(runner, shape, budget, table.c_str()), 0);
  }
  EXPECT_GT(readable, 20) << "most samples can be read";
}

}  // namespace
