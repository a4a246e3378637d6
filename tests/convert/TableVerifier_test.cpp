// Verifying a converted table by sums of chunks made on the private MariaDB: a whole table
// agrees chunk by chunk, and any value changed on the server afterwards is found and named.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "convert/ChunkChecksum.h"
#include "convert/TableLoader.h"
#include "convert/TableVerifier.h"
#include "sql/SqlStatement.h"
#include "store/Session.h"
#include "support/SqlTestSupport.h"
#include "support/TempAlias.h"

namespace {

using ff::FieldType;
using ff::Value;

constexpr int kRows = 2500;  // three chunks, the last one short

class TableVerifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_SERVER(db);
    const std::vector<ff::FieldDef> fields = {{"NR", FieldType::Integer},      {"NAVN", FieldType::String, 30},
                                              {"BELOP", FieldType::Float},     {"KR", FieldType::Currency},
                                              {"DATO", FieldType::DateTime},   {"NOTAT", FieldType::Memo},
                                              {"JA", FieldType::Boolean},      {"DATA", FieldType::Blob}};
    ff::TffSession::DefaultSession().CreateTable(firm.alias(), "RADER", fields, {});
    source = ff::TffSession::DefaultSession().OpenTable(firm.alias(), "RADER", {false, false});
    std::mt19937_64 random(7);
    source->BeginBulk();
    for (int i = 1; i <= kRows; ++i) {
      const double amount = std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 200) - 100);
      source->Insert({std::int64_t{i}, std::string("Kunde ") + std::to_string(i) + " Ærø", i % 7 ? amount : -amount,
                      i * 0.25, 40000.5 + i, i % 3 ? Value{std::string(i % 50, 'x') + "ø"} : Value{},
                      std::int64_t{i % 2}, std::string("\0\xFF", 2) + std::to_string(i)});
    }
    source->EndBulk();
    plan = std::make_unique<SqlTablePlan>(source->Fields(), source->Indexes());
    db.admin().Execute(plan->CreateSql("rader"));
    ChunkChecksum checksum(*plan, false);
    TableLoader(*source, *plan, false, stop, {}, [&](std::int64_t number, const ff::Row& row) {
      checksum.AddToChunks(loadSums, number, row);
    }).Load(db.admin(), "rader", [](std::int64_t) {});
  }

  VerifyResult verify() { return TableVerifier(*source, *plan, false, stop).Verify(db.admin(), "rader"); }
  // With the source's sums made as the load read its rows: the source is not read again.
  VerifyResult verifyWithLoadSums() {
    return TableVerifier(*source, *plan, false, stop).Verify(db.admin(), "rader", std::nullopt, &loadSums);
  }

  // Each single change on the server is found and named by verify.
  void expectEveryChangeFound(const std::function<VerifyResult()>& verify);

  sql_test::TempSettings settings;
  TempAlias firm{"FIRMA"};
  sql_test::PrivateDatabase db;
  std::unique_ptr<ff::TableStorage> source;
  std::unique_ptr<SqlTablePlan> plan;
  std::atomic<bool> stop{false};
  ChunkChecksum::Chunks loadSums;
};

TEST_F(TableVerifierTest, AWholeTableAgreesChunkByChunkWithoutReadingValues) {
  const VerifyResult result = verify();
  EXPECT_TRUE(result.AllIdentical()) << result.firstDifference;
  EXPECT_EQ(result.identical, kRows);
  EXPECT_EQ(result.serverRows, kRows);
  EXPECT_EQ(result.chunksComparedByValue, 0) << "the server's sums are the source's";
}

void TableVerifierTest::expectEveryChangeFound(const std::function<VerifyResult()>& verify) {
  const struct {
    std::string change;
    std::string difference;  // the start of the difference found
  } cases[] = {
      {"UPDATE rader SET NAVN = 'Kunde 1500 Æro' WHERE id = 1500", "rad 1500, felt NAVN"},
      {"UPDATE rader SET BELOP = BELOP * (1 + 2.3e-16) WHERE id = 2001", "rad 2001, felt BELOP"},
      {"UPDATE rader SET KR = KR + 0.0001 WHERE id = 7", "rad 7, felt KR"},
      {"UPDATE rader SET NOTAT = 'x' WHERE id = 3", "rad 3, felt NOTAT"},
      {"UPDATE rader SET DATA = UNHEX('00FF3131') WHERE id = 1000", "rad 1000, felt DATA"},
      {"UPDATE rader SET DATO = DATO + INTERVAL 1000 MICROSECOND WHERE id = 2500", "rad 2500, felt DATO"},
      {"DELETE FROM rader WHERE id = 1001", "rad 1001: tjeneren har nøkkelen \"1002\""},
      {"INSERT INTO rader (id, NR) VALUES (2501, 2501)", "kilden har 2500 rader, tjeneren 2501"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(db.run("START TRANSACTION"), "");
    ASSERT_EQ(db.run(c.change), "") << c.change;
    const VerifyResult result = verify();
    ASSERT_EQ(db.run("ROLLBACK"), "");
    EXPECT_FALSE(result.AllIdentical()) << c.change;
    EXPECT_EQ(result.firstDifference.rfind(c.difference, 0), 0u) << c.change << ": " << result.firstDifference;
    EXPECT_EQ(result.chunksComparedByValue, 1) << c.change;
  }
  EXPECT_TRUE(verify().AllIdentical()) << "each change was rolled back";
}

TEST_F(TableVerifierTest, AnyValueChangedOnTheServerIsFoundAndNamed) {
  expectEveryChangeFound([&] { return verify(); });
}

// The server sums the table in three ranges of keys on three connections: the ranges meet
// without a gap or an overlap, and keys outside 1..N are summed too. The other connections see
// only what is committed, so each change is committed and the table loaded afresh after it.
TEST_F(TableVerifierTest, SumsMadeInPartsFindAnyChangedValueAsWell) {
  int connections = 0;
  const auto verifyInParts = [&] {
    TableVerifier verifier(*source, *plan, false, stop);
    verifier.SumInParts(3, 1, [&] {
      ++connections;
      return std::make_unique<sql::SqlConnection>(db.admin().Endpoint());
    });
    return verifier.Verify(db.admin(), "rader", std::nullopt, &loadSums);
  };
  const VerifyResult whole = verifyInParts();
  EXPECT_EQ(connections, 2);
  EXPECT_TRUE(whole.AllIdentical()) << whole.firstDifference;
  EXPECT_EQ(whole.serverRows, kRows);
  EXPECT_EQ(whole.chunksComparedByValue, 0);
  const struct {
    std::string change;
    std::string difference;
  } cases[] = {
      {"UPDATE rader SET NAVN = 'Kunde 5 Æro' WHERE id = 5", "rad 5, felt NAVN"},
      {"UPDATE rader SET KR = KR + 0.0001 WHERE id = 1001", "rad 1001, felt KR"},
      {"UPDATE rader SET DATO = DATO + INTERVAL 1000 MICROSECOND WHERE id = 2500", "rad 2500, felt DATO"},
      {"INSERT INTO rader (id, NR) VALUES (-5, 1)", "kilden har 2500 rader, tjeneren 2501"},
      {"INSERT INTO rader (id, NR) VALUES (9999, 1)", "kilden har 2500 rader, tjeneren 2501"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(db.run(c.change), "") << c.change;
    const VerifyResult result = verifyInParts();
    EXPECT_EQ(result.firstDifference.rfind(c.difference, 0), 0u) << c.change << ": " << result.firstDifference;
    ASSERT_EQ(db.run("TRUNCATE TABLE rader"), "");
    TableLoader(*source, *plan, false, stop).Load(db.admin(), "rader", [](std::int64_t) {});
  }
  EXPECT_TRUE(verifyInParts().AllIdentical()) << "the table was loaded afresh";
}

TEST_F(TableVerifierTest, SumsMadeDuringTheLoadFindAnyChangedValueAsWell) {
  const VerifyResult whole = verifyWithLoadSums();
  EXPECT_TRUE(whole.AllIdentical()) << whole.firstDifference;
  EXPECT_EQ(whole.identical, kRows);
  EXPECT_EQ(whole.chunksComparedByValue, 0);
  expectEveryChangeFound([&] { return verifyWithLoadSums(); });
}

// The server's own text of a DOUBLE column, for doubles of every size and the edges of the
// notations, is the text the sums expect.
TEST_F(TableVerifierTest, DoublesReadAsTheServerShowsThem) {
  ASSERT_EQ(db.run("CREATE TABLE tall (nr INT PRIMARY KEY, d DOUBLE)"), "");
  std::vector<double> values = {0.1, 1e14, 1e15, 1e16, 123456789012345.6, 1234567890123456.8, 1e-5, 1.5e-5,
                                1e-15, 1e-16, 2.5e-14, DBL_MAX, DBL_MIN, 5e-324, -1e300, 100, 3, -0.5,
                                0, -7, 999999999999999, -999999999999999, 1e15 + 2, 4503599627370497};
  std::mt19937_64 random(11);
  while (values.size() < 3000) {
    const std::uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d) && d != 0) values.push_back(d);
  }
  auto& insert = db.admin().Prepare("INSERT INTO tall VALUES (?, ?)");
  for (std::size_t i = 0; i < values.size(); ++i) insert.Execute({std::int64_t(i), values[i]});
  int differing = 0;
  db.admin().ForEachRow("SELECT nr, CONCAT(d) FROM tall ORDER BY nr", [&](const char* const* row, const unsigned long* lengths) {
    std::string expected;
    AppendServerDouble(expected, values[std::stoul(row[0])]);
    if (std::string(row[1], lengths[1]) != expected && ++differing <= 5) {
      ADD_FAILURE() << std::string(row[1], lengths[1]) << " shown, " << expected << " expected";
    }
  });
  EXPECT_EQ(differing, 0);
  EXPECT_TRUE(ChunkChecksum::ServerShowsDoublesAlike(db.admin()));
}

}  // namespace
