// The cursor that reads another one on a thread of its own: every row once, in order, the
// source's failure after the rows before it, and a clean stop midway.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "store/PrefetchCursor.h"

using namespace ff;

namespace {

// Hands out rows 1..count (id n, one value "rad n"); throws after failAfter rows when set.
class CountingCursor : public RowCursor {
 public:
  CountingCursor(int count, int failAfter = -1, std::atomic<int>* handedOut = nullptr)
      : count_(count), failAfter_(failAfter), handedOut_(handedOut) {}
  bool Next(Row& row) override {
    if (next_ == failAfter_) throw std::runtime_error("skadet blokk etter rad " + std::to_string(next_));
    if (next_ == count_) return false;
    ++next_;
    row.id = next_;
    row.values = {Value{"rad " + std::to_string(next_)}};
    if (handedOut_) ++*handedOut_;
    return true;
  }

 private:
  int count_;
  int failAfter_;
  std::atomic<int>* handedOut_;
  int next_ = 0;
};

// Reads the cursor to its end; returns the ids, checking each row's value against its id.
std::vector<RowId> readAll(RowCursor& cursor) {
  std::vector<RowId> ids;
  Row row;
  while (cursor.Next(row)) {
    EXPECT_EQ(std::get<std::string>(row.values.at(0)), "rad " + std::to_string(row.id));
    ids.push_back(row.id);
  }
  return ids;
}

std::vector<RowId> oneTo(int n) {
  std::vector<RowId> ids;
  for (int i = 1; i <= n; ++i) ids.push_back(i);
  return ids;
}

TEST(PrefetchCursorTest, HandsOutEveryRowOnceInOrderAcrossBatchEdges) {
  for (int count : {0, 1, 6, 7, 8, 13, 14, 15, 1000}) {
    PrefetchCursor cursor(std::make_unique<CountingCursor>(count), 7, 2);
    EXPECT_EQ(readAll(cursor), oneTo(count)) << count << " rows";
    Row row;
    EXPECT_FALSE(cursor.Next(row)) << "stays at its end";
  }
}

TEST(PrefetchCursorTest, TheSourcesFailureComesAfterTheRowsBeforeIt) {
  for (int failAfter : {0, 5, 7, 20}) {
    PrefetchCursor cursor(std::make_unique<CountingCursor>(100, failAfter), 7, 2);
    std::vector<RowId> ids;
    Row row;
    try {
      while (cursor.Next(row)) ids.push_back(row.id);
      ADD_FAILURE() << "no failure after " << failAfter;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "skadet blokk etter rad " + std::to_string(failAfter));
    }
    EXPECT_EQ(ids, oneTo(failAfter));
  }
}

TEST(PrefetchCursorTest, StopsMidwayWithoutReadingTheWholeSource) {
  std::atomic<int> handedOut{0};
  {
    PrefetchCursor cursor(std::make_unique<CountingCursor>(1000000, -1, &handedOut), 10, 3);
    Row row;
    for (int i = 0; i < 25; ++i) ASSERT_TRUE(cursor.Next(row));
  }
  // What was read ahead is bounded by the batches it may hold.
  EXPECT_LE(handedOut.load(), 25 + 10 * 5);
  // A cursor never stepped leaves its source untouched.
  const int before = handedOut.load();
  { PrefetchCursor unused(std::make_unique<CountingCursor>(1000000, -1, &handedOut)); }
  EXPECT_EQ(handedOut.load(), before);
}

}  // namespace
