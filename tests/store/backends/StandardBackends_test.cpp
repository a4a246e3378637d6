#include "store/backends/StandardBackends.h"

#include <gtest/gtest.h>

#include "store/Backends.h"
#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "support/TempAlias.h"

namespace {

TEST(StandardBackends, SqliteMakesNewTablesAndLegacyFilesAreRead) {
  ff::RegisterStandardBackends();
  const auto& kinds = ff::StorageProviders();
  ASSERT_EQ(kinds.size(), 2u);
  EXPECT_EQ(kinds[0]->Extension(), ".ffdb");
  EXPECT_EQ(kinds[1]->Extension(), ".ff2");
}

TEST(StandardBackends, TcpIpReachesServersAndNothingServesIpxSpx) {
  EXPECT_NE(ff::FindServerConnector(ff::Protocol::TcpIp), nullptr);
  EXPECT_EQ(ff::FindServerConnector(ff::Protocol::IpxSpx), nullptr);
}

TEST(StandardBackends, ScratchTablesHoldTheRowsTheyAreFilledWith) {
  auto table = ff::MakeScratchTable({{"NR", ff::FieldType::Integer}}, {}, [](const ff::RowSink& sink) {
    sink(7, {ff::Value{std::int64_t{70}}});
    sink(9, {ff::Value{std::int64_t{90}}});
  });
  EXPECT_TRUE(table->ReadOnly());
  EXPECT_EQ(table->Count({}), 2);
  ff::Row row;
  ASSERT_TRUE(table->Read(9, row));
  EXPECT_EQ(ff::valueToInt(row.values.at(0)), 90);
}

TEST(StandardBackends, TablesOfAnAliasFolderAreSqliteTables) {
  TempAlias alias;
  ff::TffSession& session = ff::TffSession::DefaultSession();
  session.CreateTable(alias.alias(), "KUNDE", {{"NR", ff::FieldType::Integer}}, {});
  std::vector<std::string> names;
  session.GetTableNames(alias.alias(), "*", true, false, names);
  EXPECT_EQ(names, std::vector<std::string>{"KUNDE.ffdb"});
}

}  // namespace
