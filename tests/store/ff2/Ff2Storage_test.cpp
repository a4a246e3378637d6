// Real FlashFiler 2 files through the store: listed, opened read-only, ordered, filtered, copied.
#include "store/ff2/Ff2Storage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "store/DataSource.h"
#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/TableCopy.h"
#include "store/ff2/TimeTableFf2.h"
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

// --- A .ff2 table served from its file behaves as its copy in the store ---

class Ff2StreamingTest : public Ff2StorageTest {
 protected:
  void SetUp() override {
    Ff2StorageTest::SetUp();
    ff2test::Ff2TableBuilder builder = ff2test::TimeTableBuilder(2500, 3);  // deleted slots between
    builder.reverseDataChain();
    std::ofstream(legacy.folder() + "TID.ff2", std::ios::binary) << builder.build();
    ASSERT_EQ(CopyTable(TffSession::DefaultSession(), "GAMMEL", "TID", "KOPI"), 2500);
  }

  // Both tables set up alike by `prepare`, then opened.
  void openBoth(const std::function<void(TffTable&)>& prepare) {
    for (TffTable* t : {&file, &copy}) {
      t->Close();
      prepare(*t);
    }
    open(file, "GAMMEL", "TID");
    open(copy, "KOPI", "TID");
  }

  static std::string current(TffTable& t) {
    std::string out = "(";
    for (int i = 0; i < t.FieldCount(); ++i) out += (i ? " " : "") + t.Fields(i).DisplayText();
    return out + ")";
  }

  // Every row walked forward, then backward, as one string.
  static std::string walked(TffTable& t) {
    std::string out;
    for (t.First(); !t.Eof(); t.Next()) out += current(t);
    out += " | ";
    for (t.Last(); !t.Bof(); t.Prior()) out += current(t);
    return out;
  }

  // The two agree on every row both ways, the count, positions and jumps to positions.
  void expectAlike(const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(file.RecordCount(), copy.RecordCount());
    EXPECT_EQ(walked(file), walked(copy));
    const std::int64_t n = file.RecordCount();
    for (std::int64_t at : {std::int64_t{0}, n / 3, n - 1}) {
      if (n == 0) break;
      ASSERT_TRUE(file.MoveToRecNo(at));
      ASSERT_TRUE(copy.MoveToRecNo(at));
      EXPECT_EQ(current(file), current(copy)) << at;
      EXPECT_EQ(file.RecNo(), at);
      EXPECT_EQ(file.MoveBy(-2), copy.MoveBy(-2));
      EXPECT_EQ(current(file), current(copy)) << at;
    }
    EXPECT_EQ(file.ReadRows(n / 2, 40).rows, copy.ReadRows(n / 2, 40).rows);
  }

  TffTable file, copy;
};

TEST_F(Ff2StreamingTest, OrdersAndFiltersGiveTheRowsOfTheCopy) {
  openBoth([](TffTable&) {});
  expectAlike("physical order");
  openBoth([](TffTable& t) { t.SetIndexName("PROSJEKT"); });
  expectAlike("index PROSJEKT");
  openBoth([](TffTable& t) { t.SetIndexFieldNames("TEKST"); });
  expectAlike("by TEKST, with NULLs and ties");
  openBoth([](TffTable& t) {
    t.SetIndexName("DATO");
    t.SetFilter("PROSJEKTNR=7 OR TEKST='Arbeid nr 19*'");
    t.SetFiltered(true);
  });
  expectAlike("filtered on fields outside the order");
  openBoth([](TffTable& t) {
    t.SetFilter("TIMER>7 AND NOT PROSJEKTNR<50");
    t.SetFiltered(true);
  });
  expectAlike("filtered in physical order");
}

TEST_F(Ff2StreamingTest, FindKeyAndMasterDetailAsOnTheCopy) {
  openBoth([](TffTable& t) { t.SetIndexName("PROSJEKT"); });
  const std::vector<Value> key{Value{std::int64_t{42}}};
  ASSERT_TRUE(file.FindKey(key));
  ASSERT_TRUE(copy.FindKey(key));
  EXPECT_EQ(current(file), current(copy));
  EXPECT_FALSE(file.FindKey({Value{std::int64_t{4242}}}));
  EXPECT_EQ(current(file), current(copy)) << "a key not found leaves the row";

  TffTable master;
  TDataSource masterSource;
  masterSource.SetDataSet(&master);
  open(master, "GAMMEL", "TID");
  for (TffTable* t : {&file, &copy}) {
    t->SetMasterSource(&masterSource);
    t->SetMasterFields("PROSJEKTNR");
  }
  master.MoveToRecNo(95);
  for (int i = 0; i < 5; ++i, master.Next()) {
    expectAlike("the details of project " + master.FieldByName("PROSJEKTNR").DisplayText());
  }
}

TEST_F(Ff2StreamingTest, WhatWasLearntOfAFileIsKeptOnlyWhileItIsUnchanged) {
  openBoth([](TffTable& t) { t.SetIndexName("PROSJEKT"); });
  ASSERT_EQ(file.RecordCount(), 2500);
  const std::string path = legacy.folder() + "TID.ff2";
  const auto before = std::filesystem::last_write_time(path);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << ff2test::BuildTimeTableFf2(10);
  std::filesystem::last_write_time(path, before + std::chrono::seconds(2));
  try {
    file.Last();
    FAIL() << "read a file that changed under it";
  } catch (const ECannotOpen& e) {
    EXPECT_NE(std::string(e.what()).find("TID.ff2: filen er endret"), std::string::npos) << e.what();
  }
  file.Close();
  file.Open();
  EXPECT_EQ(file.RecordCount(), 10) << "opened again, it reads the file as it is now";
}

}  // namespace
