// The text each value is loaded and verified as: exact numbers, dates with milliseconds, and
// refusals of what a MySQL column cannot hold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "convert/ColumnText.h"
#include "store/Field.h"

namespace {

using ff::ScaledCurrency;
using ff::Value;

// The column text, "NULL", "MADE NULL" or "refused: <why>".
std::string text(ColumnKind kind, const Value& v, bool nullForBadDates = false) {
  std::string out = "<";
  try {
    switch (AppendColumnText(out, kind, v, nullForBadDates)) {
      case CellState::Null: return out == "<" ? "NULL" : "NULL with text " + out;
      case CellState::MadeNull: return out == "<" ? "MADE NULL" : "MADE NULL with text " + out;
      case CellState::Value: return out.substr(1);
    }
  } catch (const EValueRefused& e) {
    return std::string("refused: ") + e.what();
  }
  return "?";
}

double at(int y, int m, int d, double seconds = 0) { return ff::encodeDate(y, m, d) + seconds / 86400; }

TEST(ColumnText, NumbersStayExact) {
  EXPECT_EQ(text(ColumnKind::Double, 1234567.89), "1234567.89");
  EXPECT_EQ(text(ColumnKind::Double, 0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(text(ColumnKind::Double, std::int64_t{5}), "5");
  EXPECT_EQ(text(ColumnKind::Double, std::nan("")), "refused: verdien nan er ikke et endelig tall");
  EXPECT_EQ(text(ColumnKind::Currency, 1234567.89), "1234567.8900");
  EXPECT_EQ(text(ColumnKind::Currency, -0.5), "-0.5000");
  EXPECT_EQ(text(ColumnKind::Currency, -0.00004), "0.0000");
  EXPECT_EQ(text(ColumnKind::Currency, 0.99999), "1.0000");
  // A double tells amounts of four decimals apart only below 2^39; beyond that it is refused,
  // never bent (the largest .ff2 amount once became ...477.6250).
  EXPECT_EQ(text(ColumnKind::Currency, 549755813887.9999), "549755813887.9999");
  EXPECT_EQ(text(ColumnKind::Currency, -549755813887.9999), "-549755813887.9999");
  EXPECT_EQ(text(ColumnKind::Currency, 549755813888.0),
            "refused: verdien 549755813888 er for stor til at et flyttall holder den nøyaktig på fire desimaler "
            "(grensen er 549755813888)");
  EXPECT_EQ(text(ColumnKind::Currency, 900719925474.0993).rfind("refused: verdien 900719925474.09", 0), 0u);
  EXPECT_EQ(text(ColumnKind::Currency, -922337203685477.5807).rfind("refused: verdien -922337203685477.", 0), 0u);
  // The exact amounts of a .ff2 file travel as their integer, the whole 64-bit range.
  EXPECT_EQ(text(ColumnKind::Currency, ScaledCurrency{9007199254740993}), "900719925474.0993");
  EXPECT_EQ(text(ColumnKind::Currency, ScaledCurrency{INT64_MAX}), "922337203685477.5807");
  EXPECT_EQ(text(ColumnKind::Currency, ScaledCurrency{INT64_MIN}), "-922337203685477.5808");
  EXPECT_EQ(text(ColumnKind::Currency, ScaledCurrency{-1}), "-0.0001");
  EXPECT_EQ(text(ColumnKind::Currency, ScaledCurrency{0}), "0.0000");
  EXPECT_EQ(text(ColumnKind::Integer, std::int64_t{-9223372036854775807 - 1}), "-9223372036854775808");
  EXPECT_EQ(text(ColumnKind::Integer, 3.0), "3");
  EXPECT_EQ(text(ColumnKind::Integer, 3.5), "refused: verdien 3.5 er ikke et helt tall");
  EXPECT_EQ(text(ColumnKind::Integer, std::string("12")), "refused: verdien 12 er ikke et tall");
  EXPECT_EQ(text(ColumnKind::Boolean, std::int64_t{7}), "1");
  EXPECT_EQ(text(ColumnKind::Boolean, std::int64_t{0}), "0");
  EXPECT_EQ(text(ColumnKind::Text, std::string("a\tb")), "a\tb");
}

// Every double's text must read back as that very double; strtod, which rounds as the server
// does, is the judge. Short decimals, their neighbours, signs, edges of the plain form and
// random bit patterns.
TEST(ColumnText, EveryDoubleReadsBackExactly) {
  EXPECT_EQ(text(ColumnKind::Double, 7.5), "7.5");
  EXPECT_EQ(text(ColumnKind::Double, -7.25), "-7.25");
  EXPECT_EQ(text(ColumnKind::Double, -0.0001), "-0.0001");
  EXPECT_EQ(text(ColumnKind::Double, -0.0), "-0");
  EXPECT_EQ(text(ColumnKind::Double, 0.0), "0");
  std::vector<double> samples{99999999999.9999, 1e11, -1e11, 0.00005, 4503599627370495.5, 1e-300, 1.7976931348623157e308};
  for (double d : {0.1, 7.5, 1001.0, 12345.6789, 99999999999.9999, 0.0003}) {
    samples.push_back(std::nextafter(d, 0.0));
    samples.push_back(std::nextafter(d, 1e300));
  }
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    samples.push_back(static_cast<double>(static_cast<std::int64_t>(random() % 2000000000000000) - 1000000000000000) /
                      std::pow(10.0, static_cast<double>(random() % 6)));
    std::uint64_t bits = random();
    double any = 0;
    std::memcpy(&any, &bits, sizeof any);
    if (std::isfinite(any)) samples.push_back(any);
  }
  for (double d : samples) {
    const std::string shown = text(ColumnKind::Double, d);
    const double back = std::strtod(shown.c_str(), nullptr);
    ASSERT_TRUE(back == d && std::signbit(back) == std::signbit(d)) << std::hexfloat << d << " as " << shown;
  }
}

TEST(ColumnText, NullIsNullForEveryKind) {
  for (auto kind : {ColumnKind::Integer, ColumnKind::Double, ColumnKind::Currency, ColumnKind::DateTime,
                    ColumnKind::Text, ColumnKind::Binary}) {
    EXPECT_EQ(text(kind, Value{}), "NULL");
  }
}

TEST(ColumnText, DatesAndTimesKeepTheirMilliseconds) {
  EXPECT_EQ(text(ColumnKind::DateTime, at(2024, 3, 5, 45296.789)), "2024-03-05 12:34:56.789");
  EXPECT_EQ(text(ColumnKind::DateTime, at(2024, 12, 31, 86399.9996)), "2025-01-01 00:00:00.000");
  EXPECT_EQ(text(ColumnKind::DateTime, at(1850, 1, 1, 21600)), "1850-01-01 06:00:00.000");
  EXPECT_EQ(text(ColumnKind::DateTime, at(1000, 1, 1)), "1000-01-01 00:00:00.000");
  EXPECT_EQ(text(ColumnKind::Date, at(1899, 12, 30)), "1899-12-30");
  EXPECT_EQ(text(ColumnKind::Date, at(9999, 12, 31)), "9999-12-31");
  // A date field holding a time of day is still its date; the time is dropped, never refused.
  EXPECT_EQ(text(ColumnKind::Date, at(2000, 1, 1, 60)), "2000-01-01");
  EXPECT_EQ(text(ColumnKind::Date, at(2000, 1, 1, 60), true), "2000-01-01");
  EXPECT_EQ(text(ColumnKind::Date, at(2024, 3, 5, 86399.999)), "2024-03-05");
  EXPECT_EQ(text(ColumnKind::Date, at(1850, 1, 1, 21600)), "1850-01-01");
  EXPECT_EQ(text(ColumnKind::Date, at(1000, 1, 1, 43200)), "1000-01-01");
  EXPECT_EQ(text(ColumnKind::Date, at(999, 12, 31, 86399)).rfind("refused:", 0), 0u);
  EXPECT_EQ(text(ColumnKind::Time, 0.5 + 0.001 / 86400), "12:00:00.001");
  EXPECT_EQ(text(ColumnKind::Time, -0.5), "-12:00:00.000");
  EXPECT_EQ(text(ColumnKind::Time, 1.5), "36:00:00.000");
  EXPECT_EQ(text(ColumnKind::Time, -(838 * 3600 + 59 * 60 + 59.999) / 86400), "-838:59:59.999");
}

TEST(ColumnText, DatesTheColumnCannotHoldAreRefusedOrMadeNull) {
  EXPECT_EQ(text(ColumnKind::DateTime, at(999, 12, 31, 3600.5)),
            "refused: verdien 31.12.999 01:00:00.500 (-328716.95832754631 dager) er ingen dato mellom år 1000 og 9999");
  EXPECT_EQ(text(ColumnKind::Date, at(10000, 1, 1)).rfind("refused:", 0), 0u);
  EXPECT_EQ(text(ColumnKind::Time, 35.0).rfind("refused:", 0), 0u);                // 840 hours
  EXPECT_EQ(text(ColumnKind::DateTime, HUGE_VAL).rfind("refused:", 0), 0u);
  EXPECT_EQ(text(ColumnKind::Date, at(999, 12, 31), true), "MADE NULL");
  EXPECT_EQ(text(ColumnKind::Time, 35.0, true), "MADE NULL");
  EXPECT_EQ(text(ColumnKind::Double, std::nan(""), true).rfind("refused:", 0), 0u);  // only dates
}

}  // namespace
