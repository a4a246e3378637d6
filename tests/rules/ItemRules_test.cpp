// The item rules run by the data module on real tables: looking items up, the binary search
// over item use, prices and stock, shop rows and calculation elements with their lines.
#include <QLineEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "store/Aliases.h"
#include "store/DataSource.h"
#include "store/Errors.h"
#include "settings/windows/winfuncs.h"
#include "rules/RulesFixture.h"

namespace {

using ff::TffTable;

// Counts what a data source's controls are told.
struct ControlsSpy : ff::DataLink {
  int scrolled = 0;
  int changed = 0;
  void DataSetScrolled() override { ++scrolled; }
  void DataSetChanged() override { ++changed; }
};

class ItemRulesTest : public RulesFixture {
 protected:
  void SetUp() override {
    SuiteFixture::SetUp();
    SetToday(2024, 3, 15);
  }

  static double Number(const TffTable& t, const char* field) { return t.FieldByName(field).AsFloat(); }
  static std::string Text(const TffTable& t, const char* field) { return t.FieldByName(field).AsString(); }

  // Appends and posts an item-use row with this item number, price and quantity.
  void UseItem(const std::string& itemNo, double price = 0, double quantity = 0) {
    TffTable& use = module->VareTable;
    use.Append();
    use.FieldByName("VARENR").SetAsString(itemNo);
    use.FieldByName("SUM").SetAsFloat(price);
    use.FieldByName("ANTALL").SetAsFloat(quantity);
    use.Post();
  }

  // Appends and posts an item of the register.
  void RegisterItem(const std::string& itemNo, double cost, double price, double stock) {
    TffTable& items = module->VareRegister;
    items.Append();
    items.FieldByName("Varenr").SetAsString(itemNo);
    items.FieldByName("Kostpris").SetAsFloat(cost);
    items.FieldByName("Utpris").SetAsFloat(price);
    items.FieldByName("PaaLager").SetAsFloat(stock);
    items.Post();
  }

  // Answers the start-number prompt of an empty numbered table with `typed`.
  void AnswerPromptWith(const std::string& typed) {
    AnswerModals([this, typed](QDialog& dialog) {
      auto& form = dynamic_cast<TMsgForm&>(dialog);
      ++prompts;
      form.LetStr->setText(QString::fromStdString(typed));
      return int(QDialog::Accepted);
    });
  }

  int prompts = 0;
};

// --- The binary search over item use ---

TEST_F(ItemRulesTest, FinnVareFindsExactItemNumbersOnly) {
  UseItem("B");
  UseItem("A");
  TffTable& use = module->VareTable;
  EXPECT_TRUE(module->FinnVare("A"));
  EXPECT_EQ(Text(use, "VARENR"), "A");
  EXPECT_EQ(use.IndexName(), "VARENR");
  EXPECT_TRUE(module->FinnVare("B"));
  EXPECT_EQ(Text(use, "VARENR"), "B");
  for (const char* missing : {"AB", "a", "b", "", "C", "0"}) {
    SCOPED_TRACE(missing);
    EXPECT_FALSE(module->FinnVare(missing));
  }
  EXPECT_FALSE(use.ControlsDisabled());
}

TEST_F(ItemRulesTest, FinnVareOnOneRowAndOnNoRow) {
  EXPECT_FALSE(module->FinnVare(""));
  EXPECT_FALSE(module->FinnVare("X"));
  UseItem("X");
  EXPECT_TRUE(module->FinnVare("X"));
  for (const char* missing : {"W", "Y", "x", "", "XX"}) {
    SCOPED_TRACE(missing);
    EXPECT_FALSE(module->FinnVare(missing));
  }
}

TEST_F(ItemRulesTest, FinnVareFindsEveryItemOfALongListAndNothingBetween) {
  std::vector<std::string> numbers;
  for (int i = 0; i < 37; ++i) numbers.push_back("V" + std::to_string(100 + 2 * i));
  std::vector<std::string> shuffled = numbers;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  for (const std::string& n : shuffled) UseItem(n);
  ControlsSpy display;
  module->Source("VareSource")->AddLink(&display);
  ASSERT_TRUE(module->FinnVare(numbers[3]));
  EXPECT_EQ(display.scrolled, 0);  // the grid is not walked through the search
  EXPECT_EQ(display.changed, 1);   // but told once at the end
  module->Source("VareSource")->RemoveLink(&display);

  for (const std::string& n : numbers) {
    SCOPED_TRACE(n);
    ASSERT_TRUE(module->FinnVare(n));
    EXPECT_EQ(Text(module->VareTable, "VARENR"), n);
    EXPECT_FALSE(module->FinnVare("V" + std::to_string(std::stoi(n.substr(1)) + 1)));
  }
  EXPECT_FALSE(module->FinnVare("V099"));
  EXPECT_FALSE(module->FinnVare("V999"));
}

TEST_F(ItemRulesTest, FinnVareWithoutTheIndexFailsAndRestartsTheDisplay) {
  // An item-use table made without any index: the search must not create one.
  const std::string folder = db.root() + "/utenindeks/";
  std::filesystem::create_directories(folder);
  ff::AddAlias("UTENINDEKS", folder);
  const auto& schema = BusinessSchema();
  const auto declared = std::find_if(schema.begin(), schema.end(), [](const TableSpec& t) { return t.component == "VareTable"; });
  module->Serversession.CreateTable("UTENINDEKS", "VAREUTAK", SuiteTableFields(*declared), {});
  TffTable& use = module->VareTable;
  use.Close();
  use.SetDatabaseName("UTENINDEKS");
  use.Open();
  UseItem("A");

  EXPECT_THROW(module->FinnVare("A"), ff::ENotFound);
  EXPECT_FALSE(use.ControlsDisabled());
  EXPECT_TRUE(use.IndexDefs().empty());
}

// --- Looking items up in the register ---

TEST_F(ItemRulesTest, RegisterLookupsFindTheItemOrGiveFalseAndZero) {
  RegisterItem("P2", 60, 99, 1);
  RegisterItem("P1", 80, 149.5, 1);
  TffTable& items = module->VareRegister;
  items.First();

  EXPECT_EQ(module->FinnVareUtPris("P1"), 149.5);
  EXPECT_EQ(Text(items, "Varenr"), "P1");
  EXPECT_EQ(items.IndexName(), "VARENR");
  EXPECT_EQ(module->FinnVareUtPris("NOPE"), 0);
  EXPECT_EQ(Text(items, "Varenr"), "P1");
  EXPECT_FALSE(module->FinnVareNr("p2"));
  EXPECT_TRUE(module->FinnVareNr("P2"));
  EXPECT_EQ(Text(items, "Varenr"), "P2");

  items.Close();
  EXPECT_FALSE(module->FinnVareNr("P1"));
  EXPECT_EQ(module->FinnVareUtPris("P1"), 0);
}

// --- Item use, prices and stock ---

TEST_F(ItemRulesTest, AnItemUseRowTotalsItsLineAndHandsItsValuesToTheNext) {
  module->CurrentEquipmentPart = 9;
  TffTable& use = module->VareTable;
  use.Append();
  EXPECT_EQ(Number(use, "DATO"), ff::encodeDate(2024, 3, 15));
  EXPECT_FALSE(use.FieldByName("AVLEST").AsBoolean());
  EXPECT_FALSE(use.FieldByName("TILLEGG").AsBoolean());
  EXPECT_EQ(Number(use, "UTSTYRDEL"), 9);
  use.FieldByName("SUM").SetAsFloat(12.5);
  use.FieldByName("ANTALL").SetAsFloat(4);
  use.FieldByName("PROSJEKTNR").SetAsFloat(12);
  use.FieldByName("SYSTEMNR").SetAsFloat(3);
  use.FieldByName("UTSTYRNR").SetAsFloat(7);
  use.FieldByName("UTSTYRDEL").SetAsFloat(2);
  use.FieldByName("TIMETYPE2").SetAsInteger(4);
  use.Post();
  EXPECT_EQ(Number(use, "TOTAL"), 50);

  use.Append();
  EXPECT_EQ(Number(use, "PROSJEKTNR"), 12);
  EXPECT_EQ(Number(use, "SYSTEMNR"), 3);
  EXPECT_EQ(Number(use, "UTSTYRNR"), 7);
  EXPECT_EQ(Number(use, "TIMETYPE2"), 4);
  EXPECT_EQ(Number(use, "UTSTYRDEL"), 9);  // posting does not hand the part on
  use.FieldByName("SUM").SetAsFloat(0.1);
  use.FieldByName("ANTALL").SetAsFloat(3);
  use.Post();
  EXPECT_EQ(Number(use, "TOTAL"), 0.1 * 3);  // not rounded
}

TEST_F(ItemRulesTest, OppdaterKostPrisTakesTheRegistersCostPriceWhenTheItemIsThere) {
  RegisterItem("K80", 80, 120, 0);
  TffTable& use = module->VareTable;
  UseItem("K80", 10, 3);
  module->OppdaterKostPris();
  EXPECT_EQ(Number(use, "SUM"), 80);
  EXPECT_EQ(Number(use, "TOTAL"), 240);
  EXPECT_EQ(use.State(), ff::DataSetState::Browse);

  UseItem("MANGLER", 10, 3);
  module->OppdaterKostPris();
  EXPECT_EQ(Number(use, "SUM"), 10);
  EXPECT_EQ(Number(use, "TOTAL"), 30);
  EXPECT_EQ(use.State(), ff::DataSetState::Browse);
}

TEST_F(ItemRulesTest, OppdaterKostPrisOnAnEmptyItemUseTableAddsNoRow) {
  RegisterItem("", 80, 120, 0);  // an item whose number an empty row would match
  module->OppdaterKostPris();
  EXPECT_EQ(module->VareTable.RecordCount(), 0);
}

TEST_F(ItemRulesTest, TrekkFraLagerDrawsFromTheCurrentItemEvenBelowZero) {
  RegisterItem("S1", 0, 0, 10);
  RegisterItem("S2", 0, 0, 3);
  TffTable& items = module->VareRegister;
  ASSERT_TRUE(module->FinnVareNr("S2"));
  module->TrekkFraLager(5);
  EXPECT_EQ(Number(items, "PaaLager"), -2);
  EXPECT_EQ(Number(items, "SistUt"), ff::encodeDate(2024, 3, 15));
  EXPECT_EQ(items.State(), ff::DataSetState::Browse);
  ASSERT_TRUE(module->FinnVareNr("S1"));
  EXPECT_EQ(Number(items, "PaaLager"), 10);
  EXPECT_TRUE(items.FieldByName("SistUt").IsNull());
}

TEST_F(ItemRulesTest, TrekkFraLagerOnAnEmptyRegisterAddsNoItem) {
  module->TrekkFraLager(5);
  EXPECT_EQ(module->VareRegister.RecordCount(), 0);
}

TEST_F(ItemRulesTest, ANewItemStartsWithItsFlagsOffAndAPercentageMarkUp) {
  TffTable& items = module->VareRegister;
  items.Append();
  for (const char* flag : {"Arbeid", "IBestilling", "ToEnheter", "Egenproduksjon"}) {
    SCOPED_TRACE(flag);
    EXPECT_FALSE(items.FieldByName(flag).IsNull());
    EXPECT_FALSE(items.FieldByName(flag).AsBoolean());
  }
  EXPECT_TRUE(items.FieldByName("PaaslagProsent").AsBoolean());
  EXPECT_EQ(Number(items, "Variabel"), 0);
  EXPECT_EQ(Number(items, "Flagg"), 0);
  EXPECT_FALSE(items.FieldByName("Flagg").IsNull());
}

// --- Shop sales ---

TEST_F(ItemRulesTest, AShopRowCarriesTheTransactionAndTotalsItsSale) {
  module->CurrentShopTransNo = 77;
  TffTable& shop = module->ButikkTable;
  shop.Append();
  EXPECT_EQ(Number(shop, "Transnr"), 77);
  EXPECT_EQ(Number(shop, "Dato"), ff::encodeDate(2024, 3, 15) + 0.5);
  EXPECT_EQ(Number(shop, "Antall"), 1);
  shop.FieldByName("Pris").SetAsFloat(20);
  shop.Post();
  EXPECT_EQ(Number(shop, "Sum"), 20);

  shop.Append();
  shop.FieldByName("Pris").SetAsFloat(19.99);
  shop.FieldByName("Antall").SetAsFloat(3);
  shop.Post();
  EXPECT_EQ(Number(shop, "Sum"), 19.99 * 3);
}

// --- Calculation elements ---

TEST_F(ItemRulesTest, ElementsAreNumberedFromThePromptThenFromTheHighestNumber) {
  TffTable& elements = module->KalkulerTable;
  AnswerPromptWith("500");
  elements.Append();
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(Number(elements, "Nummer"), 500);
  EXPECT_EQ(Number(elements, "Metode"), 1);
  EXPECT_EQ(Number(elements, "Antall"), 1);
  EXPECT_EQ(Number(elements, "Exporttype"), 0);
  EXPECT_EQ(Number(elements, "MomsType"), 0);
  elements.Post();
  elements.Append();
  EXPECT_EQ(Number(elements, "Nummer"), 501);
  elements.Post();
  EXPECT_EQ(prompts, 1);
}

TEST_F(ItemRulesTest, AFilterOnTheElementsHidesNoNumberAndStaysOn) {
  TffTable& elements = module->KalkulerTable;
  AnswerPromptWith("500");
  for (int i = 0; i < 3; ++i) {
    elements.Append();
    elements.Post();
  }
  elements.SetFilter("Nummer<502");
  elements.SetFiltered(true);
  elements.Append();
  EXPECT_EQ(Number(elements, "Nummer"), 503);
  elements.Cancel();
  EXPECT_TRUE(elements.Filtered());
  EXPECT_EQ(elements.Filter(), "Nummer<502");
  EXPECT_EQ(elements.RecordCount(), 2);
}

TEST_F(ItemRulesTest, CalculationLinesComputeTheirTotalsUnlessHeldBack) {
  AnswerPromptWith("1");
  module->KalkulerTable.Append();
  module->KalkulerTable.Post();
  TffTable& line = module->KalkulerVaretable;
  line.Append();
  EXPECT_FALSE(line.FieldByName("Levert").IsNull());
  EXPECT_FALSE(line.FieldByName("Levert").AsBoolean());
  line.FieldByName("Pris").SetAsFloat(200);
  line.FieldByName("Antall").SetAsFloat(3);
  line.FieldByName("Rabatt").SetAsFloat(10);
  line.FieldByName("Kostpris").SetAsFloat(120);
  EXPECT_EQ(Number(line, "TotalKostpris"), 324);
  EXPECT_EQ(Number(line, "Totalpris"), 600);
  EXPECT_EQ(Number(line, "Fortjeneste"), 276);

  line.FieldByName("Kostpris").SetAsFloat(0.1);
  const double cost = 0.1 * 3;
  EXPECT_EQ(Number(line, "TotalKostpris"), cost - cost * 10 / 100);  // not rounded
  EXPECT_EQ(Number(line, "Fortjeneste"), 600 - (cost - cost * 10 / 100));

  line.SetTag(1);
  line.FieldByName("Antall").SetAsFloat(5);
  EXPECT_EQ(Number(line, "Totalpris"), 600);
  line.SetTag(0);
  line.FieldByName("Rabatt").SetAsFloat(0);
  EXPECT_EQ(Number(line, "Totalpris"), 1000);
  EXPECT_EQ(Number(line, "TotalKostpris"), 0.1 * 5);
}

}  // namespace
