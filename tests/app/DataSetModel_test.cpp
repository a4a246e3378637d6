// The grid model over tables of the store: rows on demand, the current row, edits, and the
// navigator that drives it.
#include "app/DataSetModel.h"

#include <QAbstractItemModelTester>
#include <QStandardItemModel>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "app/DBGrid.h"
#include "app/DBNavigator.h"
#include "support/SqlTestSupport.h"
#include "store/DataSource.h"
#include "store/Errors.h"
#include "store/Session.h"
#include "store/Storage.h"
#include "store/Table.h"
#include "settings/Felles.h"
#include "settings/windows/ModalSeam.h"
#include "support/QtPrint.h"
#include "support/TempAlias.h"

using namespace ff;

namespace {

class DataSetModelTest : public ::testing::Test {
 protected:
  // A table NR (Integer), NAVN (String 20), BELOP (Float), DATO (Date), AKTIV (Boolean) with
  // `rows` rows numbered from 0.
  void makeTable(int rows, const std::string& name = "RADER") {
    auto& session = TffSession::DefaultSession();
    session.CreateTable(db.alias(), name,
                        {{"NR", FieldType::Integer},
                         {"NAVN", FieldType::String, 20},
                         {"BELOP", FieldType::Float},
                         {"DATO", FieldType::Date},
                         {"AKTIV", FieldType::Boolean}},
                        {{"NR", {"NR"}, 0}});
    auto storage = session.OpenTable(db.alias(), name, {});
    storage->BeginBulk();
    for (int i = 0; i < rows; ++i) {
      storage->Insert({Value{std::int64_t{i}}, Value{"Rad " + std::to_string(i)}, Value{i + 0.5},
                       Value{encodeDate(2003, 1, 1) + i}, Value{std::int64_t{i % 2}}});
    }
    storage->EndBulk();
  }

  void open(const std::string& name = "RADER") {
    table.SetDatabaseName(db.alias());
    table.SetTableName(name);
    table.Open();
  }

  // The model's text of a row, cells separated by "|".
  std::string rowText(const QAbstractItemModel& m, int row) {
    std::string out;
    for (int c = 0; c < m.columnCount(); ++c) {
      out += (c ? "|" : "") + m.data(m.index(row, c)).toString().toStdString();
    }
    return out;
  }

  TempAlias db;
  TffTable table{"RaderTable"};
  TDataSource source{"RaderSource"};
  std::unique_ptr<DataSetModel> model;

  void SetUp() override {
    source.SetDataSet(&table);
    model = std::make_unique<DataSetModel>(source);
  }
};

TEST_F(DataSetModelTest, FollowsOpenAndCloseUnderTheModelTester) {
  QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  EXPECT_EQ(model->rowCount(), 0);
  EXPECT_FALSE(model->isActive());
  makeTable(300);
  open();
  EXPECT_EQ(model->rowCount(), 300);
  EXPECT_EQ(model->columnCount(), 5);
  EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "NAVN");
  EXPECT_EQ(rowText(*model, 299), "299|Rad 299|299,5|27.10.2003|True");
  EXPECT_EQ(model->data(model->index(0, 2), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
            Qt::AlignRight);
  for (const auto& [row, column] : {std::pair{300, 0}, {0, 5}, {-1, 0}, {0, -1}}) {
    EXPECT_FALSE(model->index(row, column).isValid()) << row << ", " << column;
  }
  QStandardItemModel other(400, 6);
  EXPECT_FALSE(model->data(other.index(0, 0)).isValid()) << "another model's index shows nothing here";
  table.Close();
  EXPECT_FALSE(model->index(0, 0).isValid());
  EXPECT_EQ(model->rowCount(), 0);
  EXPECT_EQ(model->columnCount(), 0);
}

struct WindowCase {
  int rows;
  int probe;  // row read first
};

class DataSetModelWindows : public DataSetModelTest, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(DataSetModelWindows, RowsAreReadInWindowsAroundWhatIsAsked) {
  const WindowCase c = GetParam();
  makeTable(c.rows);
  open();
  QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  ASSERT_EQ(model->rowCount(), c.rows);
  if (c.rows == 0) {
    EXPECT_EQ(model->currentRow(), -1);
    return;
  }
  EXPECT_EQ(model->data(model->index(c.probe, 0)).toInt(), c.probe);
  EXPECT_EQ(model->data(model->index(c.rows - 1, 1)).toString().toStdString(), "Rad " + std::to_string(c.rows - 1));
  EXPECT_LE(model->cachedWindows(), 2) << "only the windows asked for are read";
}

INSTANTIATE_TEST_SUITE_P(Sizes, DataSetModelWindows,
                         ::testing::Values(WindowCase{0, 0}, WindowCase{1, 0},
                                           WindowCase{DataSetModel::kWindowRows, DataSetModel::kWindowRows - 1},
                                           WindowCase{DataSetModel::kWindowRows + 1, DataSetModel::kWindowRows},
                                           WindowCase{5000, 2500}));

TEST_F(DataSetModelTest, ReadingEveryRowKeepsABoundedCache) {
  const int rows = DataSetModel::kWindowRows * (DataSetModel::kMaxWindows + 5) + 7;
  makeTable(rows);
  open();
  for (int r = 0; r < rows; ++r) ASSERT_EQ(model->data(model->index(r, 0)).toInt(), r);
  EXPECT_EQ(model->cachedWindows(), DataSetModel::kMaxWindows);
  EXPECT_EQ(model->data(model->index(0, 1)).toString(), "Rad 0") << "an evicted window is read again";
}

TEST_F(DataSetModelTest, OtherRowsShowWhatTheFieldShowsWhenCurrent) {
  makeTable(4);
  open();
  table.FieldByName("AKTIV").SetDisplayValues("Ja;Nei");
  table.FieldByName("BELOP").SetDisplayFormat("0.00");
  table.Refresh();
  for (int r = 0; r < 4; ++r) {
    table.MoveToRecNo(r);
    std::string fieldText;
    for (int c = 0; c < table.FieldCount(); ++c) fieldText += (c ? "|" : "") + table.Fields(c).DisplayText();
    table.MoveToRecNo((r + 1) % 4);
    EXPECT_EQ(rowText(*model, r), fieldText) << "row " << r;
  }
}

TEST_F(DataSetModelTest, CurrentRowFollowsTheTableAndTheTableFollowsTheModel) {
  makeTable(1000);
  open();
  QSignalSpy state(model.get(), &NavigableModel::stateChanged);
  EXPECT_EQ(model->currentRow(), 0);
  EXPECT_TRUE(model->isBof());
  table.Last();
  EXPECT_EQ(model->currentRow(), 999);
  EXPECT_TRUE(model->isEof());
  table.MoveToRecNo(500);
  EXPECT_EQ(model->currentRow(), 500);
  table.Next();
  EXPECT_EQ(model->currentRow(), 501);
  model->data(model->index(640, 0));
  model->moveToRow(640);
  EXPECT_EQ(table.FieldByName("NR").AsInteger(), 640);
  EXPECT_EQ(table.RecNo(), 640);
  model->prior();
  EXPECT_EQ(model->currentRow(), 639);
  EXPECT_GE(state.count(), 6);
}

TEST_F(DataSetModelTest, EditsShowOnTheCurrentRowAndPostOrCancel) {
  makeTable(3);
  open();
  QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  EXPECT_TRUE(model->flags(model->index(1, 1)) & Qt::ItemIsEditable);
  ASSERT_TRUE(model->setData(model->index(1, 1), "Endret"));
  EXPECT_TRUE(model->isEditing());
  EXPECT_EQ(model->currentRow(), 1);
  EXPECT_EQ(rowText(*model, 1), "1|Endret|1,5|02.01.2003|True");
  model->cancel();
  EXPECT_EQ(rowText(*model, 1), "1|Rad 1|1,5|02.01.2003|True");

  ASSERT_TRUE(model->setData(model->index(2, 2), "7,25"));
  model->post();
  EXPECT_FALSE(model->isEditing());
  EXPECT_EQ(model->data(model->index(2, 2)).toString(), "7,25");
  table.MoveToRecNo(0);
  EXPECT_EQ(model->data(model->index(2, 2)).toString(), "7,25") << "stored, not only in the buffer";
}

TEST_F(DataSetModelTest, InsertedRowAppearsAtTheEndUntilPostedOrCancelled) {
  makeTable(2);
  open();
  QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  model->insertRecord();
  EXPECT_EQ(model->rowCount(), 3);
  EXPECT_EQ(model->currentRow(), 2);
  ASSERT_TRUE(model->setData(model->index(2, 0), "9"));
  EXPECT_EQ(model->data(model->index(2, 0)).toString(), "9");
  model->cancel();
  EXPECT_EQ(model->rowCount(), 2);

  model->insertRecord();
  ASSERT_TRUE(model->setData(model->index(2, 0), "9"));
  ASSERT_TRUE(model->setData(model->index(2, 1), "Ny"));
  model->post();
  EXPECT_EQ(model->rowCount(), 3);
  EXPECT_EQ(rowText(*model, 2), "9|Ny|||");
  model->deleteRecord();
  EXPECT_EQ(model->rowCount(), 2);
}

TEST_F(DataSetModelTest, BadTextIsShownInTheErrorBoxAndChangesNothing) {
  makeTable(2);
  open();
  std::string shown;
  ScopedModalHandler answer([&](QDialog& dlg) {
    if (auto* box = qobject_cast<QMessageBox*>(&dlg)) shown = box->text().toStdString();
    return int(QMessageBox::Ok);
  });
  EXPECT_FALSE(model->setData(model->index(0, 3), "32.13.2003"));
  EXPECT_NE(shown.find("32.13.2003"), std::string::npos) << shown;
  EXPECT_EQ(model->data(model->index(0, 3)).toString(), "01.01.2003");

  table.BeforeEdit = [](TffTable&) { Abort(); };
  shown.clear();
  EXPECT_FALSE(model->setData(model->index(1, 1), "x"));
  EXPECT_EQ(shown, "") << "the silent abort shows nothing";
  EXPECT_FALSE(model->isEditing());
}

TEST_F(DataSetModelTest, ChangesThroughTheTableAndFiltersResetTheRows) {
  makeTable(10);
  open();
  QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  table.SetFilter("NR>=7");
  table.SetFiltered(true);
  EXPECT_EQ(model->rowCount(), 3);
  EXPECT_EQ(model->data(model->index(0, 0)).toString(), "7");
  table.Delete();
  EXPECT_EQ(model->rowCount(), 2);
  table.DisableControls();
  table.SetFiltered(false);
  EXPECT_EQ(model->rowCount(), 2) << "no news while controls are disabled";
  table.EnableControls();
  EXPECT_EQ(model->rowCount(), 9);
}

TEST_F(DataSetModelTest, ReadOnlyTableOffersNoEditing) {
  makeTable(2);
  table.SetReadOnly(true);
  open();
  EXPECT_FALSE(model->canModify());
  EXPECT_FALSE(model->flags(model->index(0, 0)) & Qt::ItemIsEditable);
  EXPECT_FALSE(model->setData(model->index(0, 1), "x"));
}

TEST_F(DataSetModelTest, SourceGoingFirstLeavesAnEmptyModel) {
  makeTable(2);
  auto other = std::make_unique<TDataSource>("Kortlivet");
  other->SetDataSet(&table);
  DataSetModel follower(*other);
  open();
  EXPECT_EQ(follower.rowCount(), 2);
  other.reset();
  EXPECT_EQ(follower.rowCount(), 0);
  EXPECT_EQ(follower.dataSet(), nullptr);
  follower.next();
  EXPECT_EQ(follower.currentRow(), -1);
}

// --- Windows read by key: exactly the rows a read by position gives ---

class DataSetModelKeyWindows : public DataSetModelTest {
 protected:
  static constexpr int kRows = 1400;  // windows on both sides of several sampled keys
  static constexpr int kScreen = 30;  // not a whole window, so screens straddle windows

  // NR of the rows a plain cursor walks with the table's order and filter: what a read by
  // position gives.
  std::vector<int> walk(const std::string& name = "RADER") {
    TffTable plain;
    plain.SetDatabaseName(db.alias());
    plain.SetTableName(name);
    plain.SetIndexFieldNames(table.IndexFieldNames());
    plain.SetFilter(table.Filter());
    plain.SetFiltered(table.Filtered());
    plain.Open();
    std::vector<int> nrs;
    for (plain.First(); !plain.Eof(); plain.Next()) nrs.push_back(static_cast<int>(plain.FieldByName("NR").AsInteger()));
    return nrs;
  }

  // NR of the model's rows [first, first + kScreen), as a grid showing that screen asks.
  std::vector<int> screen(int first) {
    std::vector<int> nrs;
    for (int r = std::max(first, 0); r < std::min(first + kScreen, model->rowCount()); ++r) {
      nrs.push_back(model->data(model->index(r, 0)).toInt());
    }
    return nrs;
  }

  static std::vector<int> slice(const std::vector<int>& all, int first) {
    const int size = static_cast<int>(all.size());
    return {all.begin() + std::clamp(first, 0, size), all.begin() + std::clamp(first + kScreen, 0, size)};
  }

  // Pages down from the top, up from the bottom, then both ways from a far jump, each screen
  // checked against `expected`.
  void expectEveryScreen(const std::vector<int>& expected) {
    ASSERT_EQ(model->rowCount(), static_cast<int>(expected.size()));
    const int rows = static_cast<int>(expected.size());
    for (int first = 0; first < rows; first += kScreen) {
      ASSERT_EQ(screen(first), slice(expected, first)) << "down at " << first;
    }
    model->refresh();
    for (int first = rows - kScreen; first > -kScreen; first -= kScreen) {
      ASSERT_EQ(screen(first), slice(expected, first)) << "up at " << first;
    }
    model->refresh();
    const int jump = rows * 2 / 3;
    for (int step : {0, kScreen, 2 * kScreen, -kScreen, -2 * kScreen, -3 * kScreen}) {
      ASSERT_EQ(screen(jump + step), slice(expected, jump + step)) << "from the jump, at " << jump + step;
    }
  }
};

TEST_F(DataSetModelKeyWindows, PagingBothWaysGivesTheRowsOfTheOrderWithTiesAndFilters) {
  makeTable(kRows);
  table.SetIndexFieldNames("AKTIV");  // two values: every row ties with half the table
  open();
  expectEveryScreen(walk());

  table.SetFilter("NR<1300 AND NAVN<>'Rad 17'");
  table.SetFiltered(true);
  expectEveryScreen(walk());

  table.SetIndexFieldNames("NAVN");  // text order: "Rad 10" before "Rad 2"
  expectEveryScreen(walk());
}

TEST_F(DataSetModelKeyWindows, DetailRowsOfEachMasterRow) {
  makeTable(kRows);
  makeTable(2, "GRUPPER");  // AKTIV 0 and 1
  TffTable master;
  TDataSource masterSource;
  masterSource.SetDataSet(&master);
  master.SetDatabaseName(db.alias());
  master.SetTableName("GRUPPER");
  master.Open();
  table.SetIndexFieldNames("AKTIV;NAVN");
  table.SetMasterSource(&masterSource);
  table.SetMasterFields("AKTIV");
  open();
  for (master.First(); !master.Eof(); master.Next()) {
    std::vector<int> expected;
    for (int nr : walk()) {
      if (nr % 2 == master.FieldByName("AKTIV").AsInteger()) expected.push_back(nr);
    }
    expectEveryScreen(expected);
  }
}

TEST_F(DataSetModelKeyWindows, RowsWrittenBetweenTwoScreensShowAsAReadByPositionShowsThem) {
  makeTable(kRows);
  table.SetIndexFieldNames("BELOP");
  open();
  ASSERT_EQ(screen(900), slice(walk(), 900));
  ASSERT_EQ(screen(930), slice(walk(), 930));

  TffTable other;  // another handle on the same table: the model hears nothing of its writes
  other.SetDatabaseName(db.alias());
  other.SetTableName("RADER");
  other.SetIndexFieldNames("BELOP");
  other.Open();
  for (int i = 0; i < 5; ++i) {  // rows that sort before the screens
    other.Append();
    other.FieldByName("NR").SetAsInteger(5000 + i);
    other.FieldByName("BELOP").SetAsFloat(100.25 + i);
    other.Post();
  }
  EXPECT_EQ(screen(960), slice(walk(), 960)) << "after inserts, down";
  EXPECT_EQ(screen(870), slice(walk(), 870)) << "after inserts, up";

  ASSERT_TRUE(other.FindKey({Value{950.5}}));
  for (int i = 0; i < 40; ++i) other.Delete();  // rows of the screens read
  EXPECT_EQ(screen(990), slice(walk(), 990)) << "after deletes, down";
  EXPECT_EQ(screen(840), slice(walk(), 840)) << "after deletes, up";
  EXPECT_EQ(screen(930), slice(walk(), 930)) << "after deletes, the screen itself";
}

// --- Grid and navigator on the model ---

class NavigatorTest : public DataSetModelTest {
 protected:
  std::string enabledButtons() {
    std::string out;
    for (int b = 0; b < TDBNavigator::ButtonCount; ++b) {
      out += navigator.button(static_cast<TDBNavigator::Button>(b))->isEnabled() ? '1' : '0';
    }
    return out;
  }

  sql_test::TempSettings settings;
  TDBNavigator navigator;
};

TEST_F(NavigatorTest, ButtonsFollowTheDataSetsState) {
  navigator.setDataSource(model.get());
  EXPECT_EQ(enabledButtons(), "0000000000") << "closed";
  makeTable(3);
  open();
  //                         F P N L I D E P C R
  EXPECT_EQ(enabledButtons(), "0011111001") << "first row";
  navigator.click(TDBNavigator::Next);
  EXPECT_EQ(enabledButtons(), "1111111001") << "middle row";
  navigator.click(TDBNavigator::Last);
  EXPECT_EQ(enabledButtons(), "1100111001") << "last row";
  navigator.click(TDBNavigator::Edit);
  EXPECT_EQ(enabledButtons(), "1100110110") << "editing";
  navigator.click(TDBNavigator::Cancel);
  navigator.click(TDBNavigator::First);
  EXPECT_EQ(model->currentRow(), 0);
  table.Close();
  makeTable(0, "TOM");
  open("TOM");
  EXPECT_EQ(enabledButtons(), "0000101001") << "empty table: edit appends";
}

TEST_F(NavigatorTest, DeleteAsksFirstAndInsertPostAddARow) {
  makeTable(3);
  open();
  navigator.setDataSource(model.get());
  navigator.setFlat(true);
  EXPECT_TRUE(navigator.button(TDBNavigator::First)->autoRaise());
  int asked = 0;
  {
    ScopedModalHandler no([&](QDialog&) {
      ++asked;
      return int(QDialog::Rejected);
    });
    navigator.click(TDBNavigator::Delete);
  }
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(model->rowCount(), 3) << "not confirmed, not deleted";
  WriteSetting("Bekreft_Slett", "Nei");
  navigator.click(TDBNavigator::Delete);
  EXPECT_EQ(model->rowCount(), 2);

  navigator.click(TDBNavigator::Insert);
  table.FieldByName("NR").SetAsInteger(77);
  navigator.click(TDBNavigator::Post);
  EXPECT_EQ(model->rowCount(), 3);
  navigator.click(TDBNavigator::Refresh);
  EXPECT_EQ(table.FieldByName("NR").AsInteger(), 77);
}

TEST_F(NavigatorTest, GridSelectionIsTheCurrentRow) {
  makeTable(500);
  open();
  TDBGrid grid;
  grid.setDataSource(model.get());
  grid.resize(400, 300);
  grid.show();
  EXPECT_EQ(grid.currentIndex().row(), 0);
  table.MoveToRecNo(300);
  EXPECT_EQ(grid.currentIndex().row(), 300) << "the grid follows the table";
  grid.setCurrentIndex(model->index(42, 1));
  EXPECT_EQ(table.FieldByName("NR").AsInteger(), 42) << "the table follows the grid";
  table.Last();
  EXPECT_EQ(grid.currentIndex().row(), 499);
  grid.setDataSource(nullptr);
  EXPECT_EQ(grid.model(), nullptr);
}

}  // namespace
