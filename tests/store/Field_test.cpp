// Date and time texts as fields show them: two digits a part, the time only where there is one.
#include <gtest/gtest.h>

#include "store/Field.h"

using namespace ff;

namespace {

TEST(FieldTextTest, DatesAndTimesShowTwoDigitsAPart) {
  const double day = encodeDate(2003, 1, 9);
  const double evening = day + (23 * 3600 + 5 * 60 + 9) / 86400.0;
  EXPECT_EQ(formatDateTime(day, FieldType::Date), "09.01.2003");
  EXPECT_EQ(formatDateTime(encodeDate(1999, 12, 31), FieldType::Date), "31.12.1999");
  EXPECT_EQ(formatDateTime(evening, FieldType::DateTime), "09.01.2003 23:05:09");
  EXPECT_EQ(formatDateTime(day, FieldType::DateTime), "09.01.2003") << "midnight shows no time";
  EXPECT_EQ(formatDateTime(evening, FieldType::Time), "23:05:09");
  EXPECT_EQ(formatDateTime(day, FieldType::Time), "00:00:00");
  // A time that rounds to a whole day moves to the next one.
  EXPECT_EQ(formatDateTime(day + 86399.9 / 86400.0, FieldType::DateTime), "10.01.2003");
  EXPECT_EQ(formatDateTime(encodeDate(12345, 6, 7), FieldType::Date), "07.06.12345");
}

}  // namespace
