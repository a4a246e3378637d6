// Every field type of a .ff2 record at the limits of its range, on files written here, read
// back exactly: integer widths, unsigned 32-bit values, currency, floats and their denormals,
// date and time edges, full-length strings of Windows-1252 text, byte arrays and BLOBs.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "store/Field.h"
#include "store/ff2/Ff2File.h"
#include "store/ff2/Ff2TableBuilder.h"

namespace {

using namespace ff2test;
using ff::ScaledCurrency;
using ff::Value;
using ff::ff2::FfType;
using ff::ff2::Ff2File;

// Delphi's date-time counts days from 31 December of year 0; the store from 30 December 1899.
constexpr double kDateTimeShift = 693594.0;
constexpr std::int32_t kStDateShift = 109571;

struct Limit {
  TestField field;
  std::string raw;  // the stored bytes
  Value expected;
};

// The values of a one-field table holding each raw value in turn, then a NULL.
std::vector<Value> decodeAll(const TestField& f, const std::vector<std::string>& raws) {
  Ff2TableBuilder t({f});
  for (const auto& raw : raws) t.addRecord({raw});
  t.addRecord({std::nullopt});
  Ff2File file = Ff2File::fromBytes("grenser.ff2", t.build());
  std::vector<Value> values;
  file.forEachRecord([&](const ff::ff2::Ff2Record& r) { values.push_back(r.values.at(0)); });
  return values;
}

void expectLimits(const std::vector<Limit>& limits) {
  for (const Limit& l : limits) {
    const auto values = decodeAll(l.field, {l.raw});
    ASSERT_EQ(values.size(), 2u) << l.field.name;
    EXPECT_EQ(values[0], l.expected) << l.field.name;
    EXPECT_EQ(values[1], Value{}) << l.field.name << ": the null bit wins over any bytes";
  }
}

std::string u8(std::uint8_t v) { return std::string(1, static_cast<char>(v)); }
std::string i64(std::int64_t v) { return le64(static_cast<std::uint64_t>(v)); }

// 80-bit extended: 64-bit mantissa with its integer bit, then sign and biased exponent.
std::string extended(std::uint64_t mantissa, std::uint16_t signExponent) {
  return le64(mantissa) + le16(signExponent);
}

TEST(RecordDecoderLimits, EveryIntegerWidthAtItsMinimumAndMaximum) {
  expectLimits({
      {field("Byte", FfType::Byte, 1), u8(0), std::int64_t{0}},
      {field("Byte", FfType::Byte, 1), u8(255), std::int64_t{255}},
      {field("Word16", FfType::Word16, 2), le16(0), std::int64_t{0}},
      {field("Word16", FfType::Word16, 2), le16(65535), std::int64_t{65535}},
      {field("Word32", FfType::Word32, 4), le32(0), std::int64_t{0}},
      {field("Word32", FfType::Word32, 4), le32(2147483648u), std::int64_t{2147483648}},
      {field("Word32", FfType::Word32, 4), le32(4294967280u), std::int64_t{4294967280}},
      {field("Word32", FfType::Word32, 4), le32(4294967295u), std::int64_t{4294967295}},
      {field("Int8", FfType::Int8, 1), u8(0x80), std::int64_t{-128}},
      {field("Int8", FfType::Int8, 1), u8(0x7F), std::int64_t{127}},
      {field("Int16", FfType::Int16, 2), le16(0x8000), std::int64_t{-32768}},
      {field("Int16", FfType::Int16, 2), le16(0x7FFF), std::int64_t{32767}},
      {field("Int32", FfType::Int32, 4), le32(0x80000000u), std::int64_t{std::numeric_limits<std::int32_t>::min()}},
      {field("Int32", FfType::Int32, 4), le32(0x7FFFFFFFu), std::int64_t{std::numeric_limits<std::int32_t>::max()}},
      {field("Int32", FfType::Int32, 4), le32(0xFFFFFFFFu), std::int64_t{-1}},
      {field("AutoInc", FfType::AutoInc, 4), le32(1), std::int64_t{1}},
      {field("AutoInc", FfType::AutoInc, 4), le32(4294967295u), std::int64_t{4294967295}},
      {field("Comp", FfType::Comp, 8), i64(std::numeric_limits<std::int64_t>::min()),
       std::int64_t{std::numeric_limits<std::int64_t>::min()}},
      {field("Comp", FfType::Comp, 8), i64(9007199254740993), std::int64_t{9007199254740993}},
      {field("Comp", FfType::Comp, 8), i64(std::numeric_limits<std::int64_t>::max()),
       std::int64_t{std::numeric_limits<std::int64_t>::max()}},
  });
}

TEST(RecordDecoderLimits, BooleansAreZeroOrOne) {
  expectLimits({
      {field("Bool", FfType::Boolean, 1), u8(0), std::int64_t{0}},
      {field("Bool", FfType::Boolean, 1), u8(1), std::int64_t{1}},
      {field("Bool", FfType::Boolean, 1), u8(0xFF), std::int64_t{1}},
  });
}

TEST(RecordDecoderLimits, CurrencyKeepsEveryStoredIntegerExactly) {
  const TestField money = field("Money", FfType::Currency, 8);
  expectLimits({
      {money, i64(std::numeric_limits<std::int64_t>::min()), ScaledCurrency{std::numeric_limits<std::int64_t>::min()}},
      {money, i64(std::numeric_limits<std::int64_t>::max()), ScaledCurrency{std::numeric_limits<std::int64_t>::max()}},
      {money, i64(9007199254740993), ScaledCurrency{9007199254740993}},
      {money, i64(-1), ScaledCurrency{-1}},
      {money, i64(0), ScaledCurrency{0}},
  });
  EXPECT_EQ(ff::currencyText(std::numeric_limits<std::int64_t>::max()), "922337203685477.5807");
  EXPECT_EQ(ff::currencyText(std::numeric_limits<std::int64_t>::min()), "-922337203685477.5808");
  EXPECT_EQ(ff::valueToString(ScaledCurrency{249500}), "24.95");
  EXPECT_EQ(ff::valueToDouble(ScaledCurrency{249500}), 24.95);
}

TEST(RecordDecoderLimits, FloatsKeepTheirExtremesAndDenormals) {
  const TestField single = field("Single", FfType::Single, 4), dbl = field("Double", FfType::Double, 8);
  const TestField ext = field("Ext", FfType::Extended, 10);
  expectLimits({
      {single, f32(FLT_MAX), static_cast<double>(FLT_MAX)},
      {single, f32(-FLT_MAX), -static_cast<double>(FLT_MAX)},
      {single, f32(FLT_MIN), static_cast<double>(FLT_MIN)},
      {single, f32(std::numeric_limits<float>::denorm_min()), static_cast<double>(std::numeric_limits<float>::denorm_min())},
      {dbl, f64(DBL_MAX), DBL_MAX},
      {dbl, f64(-DBL_MAX), -DBL_MAX},
      {dbl, f64(DBL_MIN), DBL_MIN},
      {dbl, f64(std::numeric_limits<double>::denorm_min()), std::numeric_limits<double>::denorm_min()},
      {dbl, f64(-std::numeric_limits<double>::denorm_min()), -std::numeric_limits<double>::denorm_min()},
      {ext, extended(0x8000000000000000ull, 16383), 1.0},
      {ext, extended(0x8000000000000000ull, 16383 + 1023), 0x1p1023},
      {ext, extended(0xFFFFFFFFFFFFF800ull, 16383 + 1023), DBL_MAX},
      {ext, extended(0x8000000000000000ull, 0x8000 | (16383 - 1074)), -std::numeric_limits<double>::denorm_min()},
  });
}

TEST(RecordDecoderLimits, DatesAndTimesAtTheEdgesOfTheirRange) {
  const TestField stDate = field("StDate", FfType::StDate, 4), stTime = field("StTime", FfType::StTime, 4);
  const TestField stamp = field("Stamp", FfType::DateTime, 8);
  const double lastMoment = ff::encodeDate(9999, 12, 31) + 86399999.0 / 86400000.0 + kDateTimeShift;
  expectLimits({
      {stDate, le32(0), ff::encodeDate(1600, 1, 1)},
      {stDate, le32(876581), ff::encodeDate(3999, 12, 31)},
      {stDate, le32(146097), ff::encodeDate(2000, 1, 1)},
      {stDate, le32(876582), Value{}},
      {stDate, le32(0xFFFFFFFFu), Value{}},
      {stTime, le32(0), 0.0},
      {stTime, le32(86399), 86399.0 / 86400.0},
      {stTime, le32(86400), Value{}},
      {stamp, f64(1.0), 1.0 - kDateTimeShift},
      {stamp, f64(0.999), Value{}},
      {stamp, f64(lastMoment), lastMoment - kDateTimeShift},
      {stamp, f64(kDateTimeShift + 0.375), 0.375},
  });
  EXPECT_EQ(ff::encodeDate(1600, 1, 1), static_cast<double>(-kStDateShift));
  EXPECT_EQ(ff::encodeDate(1, 1, 1), 1.0 - kDateTimeShift);
}

TEST(RecordDecoderLimits, FullLengthStringsOfWindows1252TextBecomeUtf8) {
  expectLimits({
      {field("Char", FfType::Char, 1, 1), u8(0xFF), std::string("ÿ")},
      {field("Char", FfType::Char, 1, 1), u8(0x80), std::string("€")},
      {field("Short", FfType::ShortString, 11, 10), "\x0A\xC6\xD8\xC5\xE6\xF8\xE5\x80\x8A\x9F\xFF",
       std::string("ÆØÅæøå€ŠŸÿ")},
      {field("Ansi", FfType::ShortAnsiStr, 5, 4), "\x04\x81\x8D\x8F\x90", std::string("\u0081\u008D\u008F\u0090")},
      {field("Null", FfType::NullString, 6, 5), std::string("\xE6\xF8\xE5\x80\xFF\0", 6), std::string("æøå€ÿ")},
      {field("NullAnsi", FfType::NullAnsiStr, 4, 3), std::string("\x9D\xA0\xBF\0", 4), std::string("\u009D\u00A0¿")},
      {field("Wide", FfType::WideString, 8, 3), le16(0x00E6) + le16(0x20AC) + le16(0x00F8) + le16(0),
       std::string("æ€ø")},
  });
}

TEST(RecordDecoderLimits, ByteArraysAndBlobsKeepEveryByte) {
  std::string everyByte;
  for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
  expectLimits({{field("Bytes", FfType::ByteArray, 256, 256), everyByte, everyByte}});

  Ff2TableBuilder t({field("Bin", FfType::Blob, 8), field("Memo", FfType::BlobMemo, 8),
                     field("Pic", FfType::BlobGraphic, 8)});
  std::string large;
  for (int i = 0; i < 10000; ++i) large += everyByte[static_cast<std::size_t>(i * 7 % 256)];
  const std::uint64_t bin = t.addBlob(large, 1000, 3);
  const std::uint64_t memo = t.addBlob("\xD8l\r\n\x80 \xE6\xF8\xE5");
  const std::uint64_t empty = t.addBlob("");
  t.addRecord({le64(bin), le64(memo), le64(empty)});
  t.addRecord({std::nullopt, std::nullopt, std::nullopt});
  Ff2File file = Ff2File::fromBytes("blobs.ff2", t.build());
  std::vector<std::vector<Value>> rows;
  file.forEachRecord([&](const ff::ff2::Ff2Record& r) { rows.push_back(r.values); });
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<Value>{large, std::string("Øl\r\n€ æøå"), std::string()}));
  EXPECT_EQ(rows[1], std::vector<Value>(3));
}

}  // namespace
