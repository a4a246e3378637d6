// Real FlashFiler 2 files through the store: listed, opened read-only, ordered, filtered, copied.
#include "store/ff2/Ff2Storage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/TableCopy.h"
#include "support/TempAlias.h"

using namespace ff;

namespace {

class Ff2StorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path samples = KV_SOURCE_DIR "/tests/store/ff2/samples";
    for (const char* name : {"customer.ff2", "orders.ff2", "Simulated1.ff2", "post_detail.FF2"}) {
      std::filesystem::copy_file(samples / name, legacy.folder() + name);
    }
    AddAlias("KOPI", target.folder());
    AddAlias(legacy.alias(), legacy.folder());
  }

  void open(TffTable& t, const std::string& alias, const std::string& name) {
    t.SetDatabaseName(alias);
    t.SetTableName(name);
    t.Open();
  }

  TempAlias target{"KOPI"};
  TempAlias legacy{"GAMMEL"};
};

TEST_F(Ff2StorageTest, Ff2FilesAreListedAsTablesWithoutTheirExtension) {
  std::vector<std::string> names;
  TffSession::DefaultSession().GetTableNames("GAMMEL", "*.*", false, false, names);
  EXPECT_EQ(names, (std::vector<std::string>{"customer", "orders", "post_detail", "Simulated1"}));
  TffSession::DefaultSession().GetTableNames("GAMMEL", "*.*", true, false, names);
  EXPECT_EQ(names[2], "post_detail.FF2");
}

TEST_F(Ff2StorageTest, OpensReadOnlyWithTheClientTypesAndWorksAsAnyTable) {
  TffTable t;
  open(t, "GAMMEL", "CUSTOMER");
  EXPECT_EQ(t.RecordCount(), 55);
  EXPECT_EQ(t.FieldByName("ID").DataType(), FieldType::AutoInc);
  EXPECT_EQ(t.FieldByName("Company").DataType(), FieldType::String);
  EXPECT_EQ(t.FieldByName("Company").Size(), 30);
  EXPECT_EQ(t.FieldByName("Company").AsString(), "Kauai Dive Shoppe");
  EXPECT_THROW(t.Edit(), EReadOnly);
  EXPECT_THROW(t.Append(), EReadOnly);
  EXPECT_THROW(t.Delete(), EReadOnly);

  t.SetIndexFieldNames("Company");
  t.First();
  const std::string first = t.FieldByName("Company").AsString();
  t.Next();
  EXPECT_LE(first, t.FieldByName("Company").AsString());
  t.SetFilter("Country='Bahamas'");
  t.SetFiltered(true);
  EXPECT_GT(t.RecordCount(), 0);
  for (t.First(); !t.Eof(); t.Next()) EXPECT_EQ(t.FieldByName("Country").AsString(), "Bahamas");
}

TEST_F(Ff2StorageTest, DamagedFileIsRefusedNamingIt) {
  TffTable t;
  try {
    open(t, "GAMMEL", "Simulated1");
    FAIL() << "the damaged sample must be refused";
  } catch (const ECannotOpen& e) {
    EXPECT_NE(std::string(e.what()).find("Simulated1"), std::string::npos);
  }
  EXPECT_FALSE(t.Active());
}

TEST_F(Ff2StorageTest, ImportedCopyEqualsItsSourceRowForRow) {
  EXPECT_EQ(CopyTable(TffSession::DefaultSession(), "GAMMEL", "orders", "KOPI"), 17);
  TffTable from, to;
  open(from, "GAMMEL", "orders");
  open(to, "KOPI", "orders");
  ASSERT_EQ(from.FieldCount(), to.FieldCount());
  for (int i = 0; i < from.FieldCount(); ++i) {
    EXPECT_EQ(from.Fields(i).FieldName(), to.Fields(i).FieldName());
    EXPECT_EQ(from.Fields(i).DataType(), to.Fields(i).DataType());
    EXPECT_EQ(from.Fields(i).Size(), to.Fields(i).Size());
  }
  EXPECT_EQ(from.RecordCount(), to.RecordCount());
  for (from.First(), to.First(); !from.Eof(); from.Next(), to.Next()) {
    for (int i = 0; i < from.FieldCount(); ++i) ASSERT_EQ(from.Fields(i).AsValue(), to.Fields(i).AsValue());
  }
  EXPECT_TRUE(to.Eof());
  to.Edit();
  EXPECT_NO_THROW(to.Post()) << "the copy is writable";
  EXPECT_THROW(CopyTable(TffSession::DefaultSession(), "GAMMEL", "orders", "KOPI"), Error) << "never overwrites";
  EXPECT_THROW(CopyTable(TffSession::DefaultSession(), "GAMMEL", "Simulated1", "KOPI"), ECannotOpen);
  std::vector<std::string> names;
  TffSession::DefaultSession().GetTableNames("KOPI", "*.*", false, false, names);
  EXPECT_EQ(names, (std::vector<std::string>{"orders"})) << "a failed copy leaves nothing behind";
}

}  // namespace
