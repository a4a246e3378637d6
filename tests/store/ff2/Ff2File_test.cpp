#include "store/ff2/Ff2File.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>

#include "store/Errors.h"
#include "store/ff2/Ff2TableBuilder.h"
#include "store/ff2/TimeTableFf2.h"

namespace {

using ff::ECannotOpen;
using ff::FieldType;
using ff::Value;
using ff::ff2::FfType;
using ff::ff2::Ff2File;
using ff::ff2::Ff2Record;
using ff::ff2::FieldLayout;
using namespace ff2test;

std::string samplesDir() {
  if (const char* env = std::getenv("FF2_SAMPLES"); env && *env) return env;
  return KV_SOURCE_DIR "/tests/store/ff2/samples";
}

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("test data missing: " + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string sampleBytes(const std::string& name) { return readBytes(samplesDir() + "/" + name); }

std::string patched(std::string bytes, std::size_t offset, const std::string& with) {
  return bytes.replace(offset, with.size(), with);
}

// The message of the ECannotOpen that opening and walking the bytes throws; "" when none.
std::string refusal(const std::string& name, const std::string& bytes) {
  try {
    Ff2File file = Ff2File::fromBytes(name, bytes);
    file.forEachRecord([](const Ff2Record&) {});
  } catch (const ECannotOpen& e) {
    return e.what();
  }
  return "";
}

std::vector<Ff2Record> allRecords(Ff2File& file) {
  std::vector<Ff2Record> records;
  file.forEachRecord([&](const Ff2Record& r) { records.push_back(r); });
  return records;
}

std::vector<Ff2Record> allRecords(const std::string& bytes) {
  Ff2File file = Ff2File::fromBytes("built.ff2", bytes);
  return allRecords(file);
}

// ---- rendering values the way the expectation files write them ----

struct Civil {
  long long year;
  unsigned month, day;
};

// Days since 1970-01-01 to a proleptic Gregorian date.
Civil civilFromDays(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<long long>(yoe) + era * 400 + (m <= 2), m, d};
}

constexpr long long kUnixDayOfDelphiZero = -25569;  // 1899-12-30

std::string dateText(double dayNumber) {
  const Civil c = civilFromDays(static_cast<long long>(std::floor(dayNumber)) + kUnixDayOfDelphiZero);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", c.year, c.month, c.day);
  return buf;
}

std::string timeText(long long ms, bool withMillis) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
  std::string s = buf;
  if (withMillis && ms % 1000 != 0) {
    std::snprintf(buf, sizeof buf, ".%03lld", ms % 1000);
    s += buf;
  }
  return s;
}

std::string dateTimeText(double v) {
  double day = std::floor(v);
  long long ms = std::llround((v - day) * 86400000.0);
  if (ms == 86400000) {
    day += 1;
    ms = 0;
  }
  return dateText(day) + "T" + timeText(ms, true);
}

std::string number(double d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

std::string hex(const std::string& bytes) {
  std::string s;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", c);
    s += buf;
  }
  return s;
}

bool isBlob(FfType t) { return t >= FfType::Blob && t <= FfType::BlobFile; }
bool isUnsigned32(FfType t) { return t == FfType::Word32 || t == FfType::AutoInc; }

std::string render(const Value& v, const FieldLayout& f) {
  if (std::holds_alternative<std::monostate>(v)) return "null";
  if (const auto* i = std::get_if<std::int64_t>(&v)) {
    if (f.type == FfType::Boolean) return *i ? "true" : "false";
    if (isUnsigned32(f.type)) return std::to_string(static_cast<std::uint32_t>(*i));
    return std::to_string(*i);
  }
  if (std::holds_alternative<ff::ScaledCurrency>(v)) return number(ff::valueToDouble(v));
  if (const auto* d = std::get_if<double>(&v)) {
    if (f.type == FfType::DateTime) return "'" + dateTimeText(*d) + "'";
    if (f.type == FfType::StDate) return "'" + dateText(*d) + "'";
    if (f.type == FfType::StTime) return "'" + timeText(std::llround(*d * 86400000.0), false) + "'";
    if (f.type == FfType::Single) return number(static_cast<float>(*d));
    return number(*d);
  }
  const auto& s = std::get<std::string>(v);
  if (isBlob(f.type)) return "blob:" + std::to_string(s.size());
  if (f.type == FfType::ByteArray) return "hex:" + hex(s);
  return "'" + s + "'";
}

std::string renderExpected(const QJsonValue& v, const FieldLayout& f) {
  if (v.isNull()) return "null";
  if (v.isBool()) return v.toBool() ? "true" : "false";
  if (v.isString()) return "'" + v.toString().toStdString() + "'";
  if (v.isObject()) {
    const QJsonObject o = v.toObject();
    if (o.contains("blob_bytes")) return "blob:" + std::to_string(o["blob_bytes"].toInteger());
    return "hex:" + o["bytes_hex"].toString().toStdString();
  }
  if (f.type == FfType::Single) return number(static_cast<float>(v.toDouble()));
  const bool isFloat = f.type == FfType::Double || f.type == FfType::Extended || f.type == FfType::Currency;
  if (isFloat) return number(v.toDouble());
  return std::to_string(v.toInteger());
}

std::string renderRow(const std::vector<std::string>& cells) {
  std::string s = "(";
  for (std::size_t i = 0; i < cells.size(); ++i) s += (i ? " " : "") + cells[i];
  return s + ")";
}

// What the client shows for the types that occur in the samples.
std::pair<FieldType, int> expectedClientType(const std::string& fftype, int length) {
  static const std::map<std::string, FieldType> types = {
      {"fftBoolean", FieldType::Boolean}, {"fftChar", FieldType::String},
      {"fftWord32", FieldType::LongWord},  {"fftInt8", FieldType::Smallint},
      {"fftInt16", FieldType::Smallint},  {"fftInt32", FieldType::Integer},
      {"fftAutoInc", FieldType::AutoInc}, {"fftDouble", FieldType::Float},
      {"fftCurrency", FieldType::Currency}, {"fftStTime", FieldType::Time},
      {"fftDateTime", FieldType::DateTime}, {"fftBLOB", FieldType::Blob},
      {"fftBLOBMemo", FieldType::Memo},   {"fftBLOBGraphic", FieldType::Graphic},
      {"fftShortString", FieldType::String}, {"fftShortAnsiStr", FieldType::String},
      {"fftNullString", FieldType::String}, {"fftNullAnsiStr", FieldType::String}};
  const FieldType type = types.at(fftype);
  const bool isChar = fftype == "fftChar";
  const int size = type != FieldType::String ? 0 : isChar ? 1 : length - 1;
  return {type, size};
}

QJsonObject expectation(const std::string& sample) {
  const std::string path = samplesDir() + "/" + sample + ".expect.json";
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("test data missing: " + path);
  return QJsonDocument::fromJson(file.readAll()).object();
}

// ---- one test per sample table ----

class SampleTable : public ::testing::TestWithParam<std::string> {};

void expectFieldsMatch(const Ff2File& file, const QJsonArray& fields) {
  ASSERT_EQ(file.layouts().size(), static_cast<std::size_t>(fields.size()));
  for (qsizetype i = 0; i < fields.size(); ++i) {
    const QJsonObject f = fields[i].toObject();
    const FieldLayout& layout = file.layouts()[static_cast<std::size_t>(i)];
    const ff::FieldDef& def = file.fields()[static_cast<std::size_t>(i)];
    const std::string fftype = f["fftype"].toString().toStdString();
    const int length = f["length"].toInt();
    EXPECT_EQ(def.name, f["name"].toString().toStdString());
    EXPECT_EQ(std::string(ff::ff2::ffTypeName(layout.type)), fftype) << def.name;
    EXPECT_EQ(layout.length, length) << def.name;
    EXPECT_EQ(layout.offset, f["offset"].toInt()) << def.name;
    const auto [type, size] = expectedClientType(fftype, length);
    EXPECT_EQ(def.type, type) << def.name;
    EXPECT_EQ(def.size, size) << def.name;
  }
}

TEST_P(SampleTable, MatchesItsExpectation) {
  const std::string sample = GetParam();
  const QJsonObject expected = expectation(sample);
  const std::string path = samplesDir() + "/" + sample;
  if (expected.contains("error")) {
    try {
      Ff2File file(path);
      FAIL() << "opened a file that must be refused";
    } catch (const ECannotOpen& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(expected["error"].toString().toStdString()), std::string::npos)
          << e.what();
    }
    return;
  }
  Ff2File file(path);
  expectFieldsMatch(file, expected["fields"].toArray());
  EXPECT_EQ(file.recordCount(), expected["records"].toInteger());

  const QJsonArray rows = expected["first_rows"].toArray();
  std::int64_t count = 0;
  file.forEachRecord([&](const Ff2Record& record) {
    ASSERT_EQ(record.values.size(), file.layouts().size());
    if (count < rows.size()) {
      const QJsonArray row = rows[count].toArray();
      std::vector<std::string> got, want;
      for (std::size_t i = 0; i < record.values.size(); ++i) {
        got.push_back(render(record.values[i], file.layouts()[i]));
        want.push_back(renderExpected(row[static_cast<qsizetype>(i)], file.layouts()[i]));
      }
      EXPECT_EQ(renderRow(got), renderRow(want)) << "row " << count;
    }
    ++count;
  });
  EXPECT_EQ(count, expected["records"].toInteger());
}

class ReadableSample : public ::testing::TestWithParam<std::string> {};

TEST_P(ReadableSample, ReadsEveryRecordAgainByItsReference) {
  const std::string sample = GetParam();
  Ff2File file(samplesDir() + "/" + sample);
  Ff2File second(samplesDir() + "/" + sample);
  file.forEachRecord([&](const Ff2Record& record) {
    Ff2Record again;
    ASSERT_TRUE(second.readRecord(record.ref, again));
    EXPECT_EQ(again.values, record.values);
    EXPECT_FALSE(second.readRecord(record.ref + 1, again));
  });
}

const std::vector<std::string> kSamples = {
    "RangeTest.ff2",   "SavExBlob.ff2",   "SavExOrders.ff2", "SavTable338.ff2", "SavTestCaseResults.ff2",
    "SavTestRange.ff2", "Simulated1.ff2", "TestBloat.ff2",   "TestTable.ff2",   "customer.ff2",
    "excust.ff2",      "exlines.ff2",     "exorders.ff2",    "exprods.ff2",     "ffsinfo.ff2",
    "invent.ff2",      "orders.ff2",      "orditems.ff2",    "post_detail.FF2", "pre_list.FF2",
    "product.ff2",     "test1.FF2",       "test2.FF2",       "test3.FF2",       "test_blobs.FF2",
    "uom.ff2"};

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

std::vector<std::string> readableSamples() {
  std::vector<std::string> names = kSamples;
  std::erase(names, "Simulated1.ff2");
  return names;
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleTable, ::testing::ValuesIn(kSamples), testName);
INSTANTIATE_TEST_SUITE_P(Samples, ReadableSample, ::testing::ValuesIn(readableSamples()), testName);

// ---- what the samples show beyond their first rows ----

TEST(Ff2Samples, PicturesWrittenByOldAndNewBlobEnginesAreIdentical) {
  Ff2File oldEngine(samplesDir() + "/test_blobs.FF2");
  Ff2File newEngine(samplesDir() + "/SavExBlob.ff2");
  const auto a = allRecords(oldEngine);
  const auto b = allRecords(newEngine);
  ASSERT_EQ(a.size(), 10u);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].values, b[i].values) << "record " << i;
}

TEST(Ff2Samples, ReassembledBitmapsHaveTheSizeTheirHeaderStates) {
  Ff2File file(samplesDir() + "/test_blobs.FF2");
  int bitmaps = 0;
  file.forEachRecord([&](const Ff2Record& r) {
    const std::string& image = std::get<std::string>(r.values[1]);
    // Either a bare picture or Delphi's wrapper: u16 1, u16 0x0100, u32 picture size.
    const bool wrapped = image.compare(0, 4, std::string("\x01\x00\x00\x01", 4)) == 0;
    const std::string picture = wrapped ? image.substr(8) : image;
    if (wrapped) {
      EXPECT_EQ(static_cast<unsigned char>(image[4]) | static_cast<unsigned char>(image[5]) << 8 |
                    static_cast<unsigned char>(image[6]) << 16,
                static_cast<int>(picture.size()));
    }
    if (picture.compare(0, 2, "BM") == 0) {
      ++bitmaps;
      const auto* p = reinterpret_cast<const unsigned char*>(picture.data());
      EXPECT_EQ(p[2] | p[3] << 8 | p[4] << 16 | p[5] << 24, static_cast<int>(picture.size()));
    }
  });
  EXPECT_GT(bitmaps, 0);
}

TEST(Ff2Samples, OneByteMemosAndAnEmptyNonNullMemo) {
  Ff2File bloat(samplesDir() + "/TestBloat.ff2");
  int oneByte = 0;
  bloat.forEachRecord([&](const Ff2Record& r) { oneByte += std::get<std::string>(r.values[1]).size() == 1; });
  EXPECT_EQ(oneByte, 2000);

  Ff2File test3(samplesDir() + "/test3.FF2");
  int emptyMemos = 0;
  test3.forEachRecord([&](const Ff2Record& r) {
    for (std::size_t i = 0; i < r.values.size(); ++i) {
      const auto* s = std::get_if<std::string>(&r.values[i]);
      emptyMemos += test3.layouts()[i].type == FfType::BlobMemo && s && s->empty();
    }
  });
  EXPECT_EQ(emptyMemos, 1);
}

TEST(Ff2Samples, IndexDefinitionsCarryFieldsAndOptions) {
  Ff2File file(samplesDir() + "/exprods.ff2");
  ASSERT_EQ(file.indexes().size(), 2u);
  EXPECT_EQ(file.indexes()[0].name, "ByProduct");
  EXPECT_EQ(file.indexes()[0].fields, std::vector<std::string>{"ProductID"});
  EXPECT_EQ(file.indexes()[0].options, unsigned{ff::ixUnique});
  EXPECT_EQ(file.indexes()[1].name, "ByDescription");
  EXPECT_EQ(file.indexes()[1].fields, std::vector<std::string>{"Description"});
  EXPECT_EQ(file.indexes()[1].options, unsigned{ff::ixCaseInsensitive});
  EXPECT_TRUE(file.fields()[2].required);
  EXPECT_FALSE(file.fields()[0].required);

  Ff2File test3(samplesDir() + "/test3.FF2");
  ASSERT_EQ(test3.indexes().size(), 1u);
  EXPECT_EQ(test3.indexes()[0].fields, (std::vector<std::string>{"Abbrev", "ProblemID", "ProblemTypeID"}));
}

// ---- damaged copies ----

TEST(Ff2Damage, TruncatedCopiesAreRefusedNamingTheFile) {
  for (const std::string sample : {"exprods.ff2", "test3.FF2", "test_blobs.FF2"}) {
    const std::string bytes = sampleBytes(sample);
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{1035}, std::size_t{1036},
                            std::size_t{4096}, std::size_t{8191}, bytes.size() / 2, bytes.size() - 4096,
                            bytes.size() - 1}) {
      const std::string why = refusal(sample, bytes.substr(0, cut));
      EXPECT_EQ(why.rfind(sample + ": ", 0), 0u) << sample << " cut at " << cut << ": " << why;
    }
  }
}

TEST(Ff2Damage, TruncatedFileOnDiskIsRefused) {
  const auto dir = std::filesystem::temp_directory_path() / "ff2-truncated";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "exorders.ff2").string();
  const std::string bytes = sampleBytes("exorders.ff2");
  std::ofstream(path, std::ios::binary) << bytes.substr(0, bytes.size() - 100);
  try {
    Ff2File file(path);
    FAIL() << "opened a truncated file";
  } catch (const ECannotOpen& e) {
    EXPECT_NE(std::string(e.what()).find(path + ": filen er avkortet"), std::string::npos) << e.what();
  }
  std::filesystem::remove_all(dir);
}

TEST(Ff2Damage, MissingFileAndFolderAreRefused) {
  EXPECT_THROW(Ff2File{"/nonexistent/table.ff2"}, ECannotOpen);
  EXPECT_THROW(Ff2File{samplesDir()}, ECannotOpen);
}

// Every byte flip either leaves a readable table or is refused with ECannotOpen.
TEST(Ff2Damage, FlippedBytesAreReadOrRefusedNeverAnythingElse) {
  const std::vector<std::pair<std::string, std::size_t>> cases = {
      {"exprods.ff2", 7}, {"test3.FF2", 211}, {"orders.ff2", 41}, {"TestBloat.ff2", 4999}, {"test_blobs.FF2", 8191}};
  for (const auto& [sample, stride] : cases) {
    const std::string bytes = sampleBytes(sample);
    int refused = 0;
    for (std::size_t at = 0; at < bytes.size(); at += stride) {
      std::string copy = bytes;
      copy[at] = static_cast<char>(copy[at] ^ 0x5A);
      refused += !refusal(sample, copy).empty();
    }
    EXPECT_GT(refused, 0) << sample;
  }
}

TEST(Ff2Damage, HeaderFaultsAreNamed) {
  const std::string exprods = sampleBytes("exprods.ff2");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {patched(exprods, 20, le32(1)), "tabellen er kryptert"},
      {patched(exprods, 0, "FFFH"), "FlashFiler 1-tabell"},
      {patched(exprods, 0, "XXXX"), "ikke en FlashFiler 2-tabell"},
      {patched(exprods, 120, le32(21400)), "nyere enn den nyeste kjente"},
      {patched(exprods, 40, le32(26)), "filhodet teller 26 poster, datablokkene har 25"},
      {patched(exprods, 16, le32(4000)), "blokkstørrelsen 4000"},
      {patched(exprods, 116, le32(0)), "ingen brukbar ordbokblokk"},
      {patched(exprods, 56, le32(40)), "plasslengden"},
      {patched(exprods, 4096 + 8, le32(2)), ""},  // the index header block is never read
      {patched(exprods, 2 * 4096 + 8, le32(5)), "blokk 2 sier den er blokk 5"},
  };
  for (const auto& [bytes, why] : cases) {
    const std::string got = refusal("exprods.ff2", bytes);
    if (why.empty()) {
      EXPECT_EQ(got, "");
    } else {
      EXPECT_NE(got.find(why), std::string::npos) << "want \"" << why << "\", got \"" << got << "\"";
    }
  }
  EXPECT_EQ(refusal("exprods.ff2", patched(exprods, 120, le32(0x46464646))), "");
}

TEST(Ff2Damage, DamagedBlobFailsAtItsRecordAfterTheRecordsBefore) {
  std::string bytes = sampleBytes("test_blobs.FF2");
  std::vector<Ff2Record> records = allRecords(bytes);
  const auto& image = records[2];
  const std::size_t numberAt = image.ref + 1 + 26;
  std::uint64_t number = 0;
  for (int i = 7; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(bytes[numberAt + i]);
  bytes[number] = 'D';

  Ff2File file = Ff2File::fromBytes("test_blobs.FF2", bytes);
  Ff2File::Cursor cursor = file.records();
  Ff2Record r;
  ASSERT_TRUE(cursor.next(r));
  ASSERT_TRUE(cursor.next(r));
  try {
    cursor.next(r);
    FAIL() << "read a deleted BLOB";
  } catch (const ECannotOpen& e) {
    const std::string why = e.what();
    EXPECT_NE(why.find("test_blobs.FF2: posten ved byte " + std::to_string(image.ref)), std::string::npos) << why;
    EXPECT_NE(why.find("feltet \"Image\""), std::string::npos) << why;
    EXPECT_NE(why.find("slettet"), std::string::npos) << why;
  }
  ASSERT_TRUE(cursor.next(r));
  EXPECT_EQ(r.values, records[3].values);
}

// ---- tables built here, for what the samples lack ----

std::string extended(std::uint64_t mantissa, std::uint16_t signExponent) {
  return le64(mantissa) + le16(signExponent);
}

TEST(Ff2Built, EveryFieldTypeDecodes) {
  Ff2TableBuilder t({field("Bool", FfType::Boolean, 1),      field("Char", FfType::Char, 1, 1),
                     field("WChar", FfType::WideChar, 2, 1), field("Byte", FfType::Byte, 1),
                     field("Word16", FfType::Word16, 2),     field("Word32", FfType::Word32, 4),
                     field("Int8", FfType::Int8, 1),         field("Int16", FfType::Int16, 2),
                     field("Int32", FfType::Int32, 4),       field("Auto", FfType::AutoInc, 4),
                     field("Single", FfType::Single, 4),     field("Double", FfType::Double, 8),
                     field("Ext", FfType::Extended, 10),     field("Comp", FfType::Comp, 8),
                     field("Money", FfType::Currency, 8),    field("StDate", FfType::StDate, 4),
                     field("StTime", FfType::StTime, 4),     field("Stamp", FfType::DateTime, 8),
                     field("Bytes", FfType::ByteArray, 3, 3), field("Short", FfType::ShortString, 11, 10),
                     field("Null", FfType::NullAnsiStr, 11, 10), field("Wide", FfType::WideString, 8, 3)});
  t.addRecord({"\x01", "\xE9", le16(0x20AC), "\xC8", le16(65000), le32(0xFFFFFFFF), "\xFB",
               le16(static_cast<std::uint16_t>(-30000)), le32(static_cast<std::uint32_t>(-2000000000)), le32(7),
               f32(1.5f), f64(-2.25), extended(0xE000000000000000ull, 0xC000), le64(123456789012ull),
               le64(249500), le32(146097), le32(45296), f64(730563.5), std::string("\x01\x00\xFF", 3),
               "\x06" "Bl\xE5" "b\xE6r", std::string("\xD8l \x80\0xyz", 8), le16(0xD83D) + le16(0xDE00) + le16(0)});
  t.addRecord(RawRecord(22));
  const auto records = allRecords(t.build());
  ASSERT_EQ(records.size(), 2u);
  const std::vector<Value> want = {std::int64_t{1}, std::string("é"), std::string("€"), std::int64_t{200},
                                   std::int64_t{65000}, std::int64_t{4294967295}, std::int64_t{-5}, std::int64_t{-30000},
                                   std::int64_t{-2000000000}, std::int64_t{7}, 1.5, -2.25, -3.5,
                                   std::int64_t{123456789012}, ff::ScaledCurrency{249500}, 36526.0, 45296.0 / 86400, 36969.5,
                                   std::string("\x01\x00\xFF", 3), std::string("Blåbær"), std::string("Øl €"),
                                   std::string("😀")};
  EXPECT_EQ(records[0].values, want);
  EXPECT_EQ(records[1].values, std::vector<Value>(22));
}

TEST(Ff2Built, ClientTypesOfTheRareTypes) {
  Ff2TableBuilder t({field("Wide", FfType::WideString, 8, 3), field("Long", FfType::NullString, 9000, 8999),
                     field("Bytes", FfType::ByteArray, 3, 3), field("Ext", FfType::Extended, 10),
                     field("Date", FfType::StDate, 4), field("Byte", FfType::Byte, 1),
                     field("Fmt", FfType::BlobFmtMemo, 8), field("File", FfType::BlobFile, 8),
                     field("Ole", FfType::BlobOleObj, 8), field("DbsOle", FfType::BlobDbsOleObj, 8),
                     field("Typed", FfType::BlobTypedBin, 8), field("WChar", FfType::WideChar, 2, 1)},
                    14);
  Ff2File file = Ff2File::fromBytes("built.ff2", t.build());
  const std::vector<std::pair<FieldType, int>> want = {
      {FieldType::String, 3}, {FieldType::Memo, 0},       {FieldType::Bytes, 3},      {FieldType::Float, 0},
      {FieldType::Date, 0},   {FieldType::Word, 0},       {FieldType::FmtMemo, 0},    {FieldType::Blob, 0},
      {FieldType::ParadoxOle, 0}, {FieldType::DBaseOle, 0}, {FieldType::TypedBinary, 0}, {FieldType::String, 1}};
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(file.fields()[i].type, want[i].first) << file.fields()[i].name;
    EXPECT_EQ(file.fields()[i].size, want[i].second) << file.fields()[i].name;
  }
}

TEST(Ff2Built, InvalidDatesAndOverlongCountsAreHandled) {
  Ff2TableBuilder t({field("StDate", FfType::StDate, 4), field("StTime", FfType::StTime, 4),
                     field("Stamp", FfType::DateTime, 8), field("Short", FfType::ShortString, 4, 3),
                     field("Char", FfType::Char, 1, 1)});
  t.addRecord({le32(0xFFFFFFFF), le32(0xFFFFFFFF), f64(0.0), "\xC8" "abc", std::string(1, '\0')});
  const auto records = allRecords(t.build());
  EXPECT_EQ(records[0].values, (std::vector<Value>{{}, {}, {}, std::string("abc"), std::string()}));
}

TEST(Ff2Built, BlobsOfEveryShape) {
  Ff2TableBuilder t({field("Bin", FfType::Blob, 8), field("Memo", FfType::BlobMemo, 8),
                     field("Rtf", FfType::BlobFmtMemo, 8)});
  std::string big;
  for (int i = 0; i < 10000; ++i) big += static_cast<char>(i * 7);
  const auto many = t.addBlob(big, 1000, 3);  // ten content segments in four lookup segments
  const auto memo = t.addBlob("Sm\xF8rbr\xF8" "d\r\n");
  const auto rtf = t.addBlob("{\\rtf1 \xE6}");
  const auto empty = t.addBlob("");
  t.addRecord({le64(many), le64(memo), le64(rtf)});
  t.addRecord({le64(empty), le64(0), le64(0x46464646FFFFFFFFull)});
  const auto records = allRecords(t.build());
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].values, (std::vector<Value>{big, std::string("Smørbrød\r\n"), std::string("{\\rtf1 \xE6}")}));
  EXPECT_EQ(records[1].values, (std::vector<Value>{std::string(), std::string(), std::string()}));
}

TEST(Ff2Built, BlobsWhoseContentLivesElsewhereAreRefusedByName) {
  Ff2TableBuilder files({field("Pic", FfType::BlobFile, 8)});
  files.addRecord({le64(files.addBlob("", 4012, 300, -1, "C:\\bilder\\logo.bmp"))});
  EXPECT_NE(refusal("t.ff2", files.build()).find("eksterne filen \"C:\\bilder\\logo.bmp\""), std::string::npos);

  Ff2TableBuilder links({field("Pic", FfType::Blob, 8)});
  links.addRecord({le64(links.addBlob("", 4012, 300, -2, "KUNDE"))});
  EXPECT_NE(refusal("t.ff2", links.build()).find("BLOB i tabellen \"KUNDE\""), std::string::npos);
}

// A table with one BLOB: header in block 2, one full lookup segment (three entries) in
// block 3, content segments of 2000 bytes in blocks 4, 5 and 6.
std::string tableWithBlob(const std::string& content) {
  Ff2TableBuilder t({field("Bin", FfType::Blob, 8)});
  t.addRecord({le64(t.addBlob(content, 2000))});
  return t.build();
}

TEST(Ff2Built, DamagedBlobChainsAreRefused) {
  const std::string content(6000, 'x');
  const std::string good = tableWithBlob(content);
  ASSERT_EQ(allRecords(good)[0].values[0], Value(content));
  const std::size_t header = 2 * 4096 + 28;
  const std::size_t lookup = 3 * 4096 + 28;
  const std::size_t firstEntry = lookup + 20;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {patched(good, firstEntry, le64(4 * 4096 + 30)), "ligger ikke på en segmentgrense"},
      {patched(good, firstEntry, le64(4 * 4096 + 28 + 64 * 40)), "er av feil slag"},
      {patched(good, firstEntry + 8, le32(3000)), "oppgir 3000 byte"},
      {patched(good, 4 * 4096 + 28 + 4, le64(12345)), "hører til en annen BLOB"},
      {patched(good, lookup + 4, le64(header + 64)), "hører til en annen BLOB"},
      {patched(good, header + 4, le32(7000)), "slutter etter 6000 av 7000 byte"},
      {patched(good, header + 4, le32(0x7FFFFFFF)), "er umulig"},
      {patched(good, header + 12, le64(0xFFFFFFFF)), "slutter etter 0 av 6000 byte"},
      {patched(good, firstEntry, le64(99 * 4096 + 28)), "ligger utenfor filen"},
      {patched(good, 4 * 4096, "FFDH"), "blokk 4 er ikke en BLOB-blokk"},
      {patched(good, 4 * 4096 + 28 + 2, le16(4096)), "har lengden 4096"},
      {patched(good, header, "D"), "BLOB-en er slettet"},
  };
  for (const auto& [bytes, why] : cases) {
    const std::string got = refusal("t.ff2", bytes);
    EXPECT_NE(got.find(why), std::string::npos) << "want \"" << why << "\", got \"" << got << "\"";
  }
}

// Block 0 is the file's header. A BLOB said to begin there, before any other BLOB was read,
// is refused like any block that holds no BLOBs.
TEST(Ff2Built, BlobInTheHeaderBlockIsRefused) {
  Ff2TableBuilder t({field("Bin", FfType::Blob, 8)});
  t.addRecord({le64(28)});
  EXPECT_NE(refusal("t.ff2", t.build()).find("blokk 0 ligger utenfor"), std::string::npos);
}

TEST(Ff2Built, LookupSegmentLoopIsRefused) {
  const std::string good = tableWithBlob(std::string(6000, 'y'));
  const std::size_t header = 2 * 4096 + 28;
  const std::size_t lookup = 3 * 4096 + 28;
  const std::string looped = patched(patched(good, lookup + 12, le64(lookup)), header + 4, le32(7000));
  EXPECT_NE(refusal("t.ff2", looped).find("oppslagssegmentene går i ring"), std::string::npos);
}

TEST(Ff2Built, SeparateBlobFileIsFoundBesideTheTable) {
  Ff2TableBuilder t({field("Name", FfType::ShortString, 11, 10), field("Memo", FfType::BlobMemo, 8)});
  t.useSeparateBlobFile("FFB");
  t.addRecord({"\x03" "Ola", le64(t.addBlob("Hei p\xE5 deg", 4))});
  const std::string table = t.build();
  const auto dir = std::filesystem::temp_directory_path() / "ff2-blobfile";
  std::filesystem::create_directories(dir);
  std::ofstream((dir / "kunde.ff2").string(), std::ios::binary) << table;
  std::ofstream((dir / "KUNDE.ffb").string(), std::ios::binary) << t.buildBlobFile();

  Ff2File file((dir / "kunde.ff2").string());
  const auto records = allRecords(file);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].values[1], Value(std::string("Hei på deg")));

  std::filesystem::remove(dir / "KUNDE.ffb");
  EXPECT_THROW(Ff2File{(dir / "kunde.ff2").string()}, ECannotOpen);
  EXPECT_NE(refusal("kunde.ff2", table).find("egen fil"), std::string::npos);
  std::filesystem::remove_all(dir);
}

TEST(Ff2Built, RecordsComeInChainOrderSkippingFreeSlots) {
  Ff2TableBuilder t({field("Id", FfType::Int32, 4), field("Pad", FfType::ByteArray, 1000, 1000)});
  t.setVersion(20000);
  t.setUnusedFlag(0x46);
  for (int i = 1; i <= 5; ++i) {
    t.addRecord({le32(i)});
    if (i == 2) t.addDeletedSlot();
  }
  t.reverseDataChain();  // four slots per block: blocks hold (1 2 - 3) (4 5 unused unused)
  Ff2File file = Ff2File::fromBytes("t.ff2", t.build());
  std::vector<Value> ids;
  file.forEachRecord([&](const Ff2Record& r) { ids.push_back(r.values[0]); });
  EXPECT_EQ(ids, (std::vector<Value>{std::int64_t{4}, std::int64_t{5}, std::int64_t{1}, std::int64_t{2},
                                     std::int64_t{3}}));
  EXPECT_EQ(file.recordCount(), 5);
  EXPECT_EQ(file.version(), 20000);
}

TEST(Ff2Built, ReadRecordAnswersOnlyForLiveSlots) {
  Ff2TableBuilder t({field("Id", FfType::Int32, 4)});
  t.addRecord({le32(1)});
  t.addDeletedSlot();
  t.addRecord({le32(3)});
  Ff2File file = Ff2File::fromBytes("t.ff2", t.build());
  const auto records = allRecords(file);
  ASSERT_EQ(records.size(), 2u);
  const std::uint64_t slotLength = 4 + 1 + 1 + 4;  // max(L, 8) + bitmap + flag
  Ff2Record r;
  ASSERT_TRUE(file.readRecord(records[1].ref, r));
  EXPECT_EQ(r.values, records[1].values);
  EXPECT_FALSE(file.readRecord(records[0].ref + slotLength, r));  // the deleted slot
  EXPECT_FALSE(file.readRecord(records[0].ref + 1, r));
  EXPECT_FALSE(file.readRecord(0, r));
  EXPECT_FALSE(file.readRecord(3 * 4096 + 32, r));      // the dictionary's stream block
  EXPECT_FALSE(file.readRecord(~std::uint64_t{0}, r));
}

TEST(Ff2Built, DictionaryAcrossBlocksWithEveryStringTag) {
  std::vector<TestField> fields;
  for (int i = 0; i < 80; ++i) {
    TestField f = field("F" + std::to_string(i), FfType::Int32, 4);
    f.description = std::string(60, 'd');
    fields.push_back(f);
  }
  fields[0].name = "Bel\xF8p";
  fields[1].nameTag = 0x0C;
  fields[2].nameTag = 0x12;
  fields[3].name = "Beløp";
  fields[3].nameTag = 0x14;
  fields[4].defaultValue = le32(42);
  Ff2TableBuilder t(fields);
  t.addIndex({"ByF1", {1, 2}, false, false, true, "Helper"});
  t.addIndex({"Custom", {}, true, true, false, ""});
  t.addRecord({le32(1), le32(2)});
  Ff2File file = Ff2File::fromBytes("t.ff2", t.build());
  EXPECT_EQ(file.fields()[0].name, "Beløp");
  EXPECT_EQ(file.fields()[1].name, "F1");
  EXPECT_EQ(file.fields()[2].name, "F2");
  EXPECT_EQ(file.fields()[3].name, "Beløp");
  EXPECT_EQ(file.fields()[79].name, "F79");
  ASSERT_EQ(file.indexes().size(), 2u);
  EXPECT_EQ(file.indexes()[0].fields, (std::vector<std::string>{"F1", "F2"}));
  EXPECT_EQ(file.indexes()[0].options, unsigned{ff::ixUnique | ff::ixDescending | ff::ixCaseInsensitive});
  EXPECT_TRUE(file.indexes()[1].fields.empty());
  EXPECT_EQ(file.indexes()[1].options, 0u);
  EXPECT_EQ(allRecords(file)[0].values[1], Value(std::int64_t{2}));
}

TEST(Ff2Built, StructuralFaultsAreRefused) {
  Ff2TableBuilder t({field("Id", FfType::Int32, 4), field("Pad", FfType::ByteArray, 2000, 2000)});
  for (int i = 0; i < 5; ++i) t.addRecord({le32(i)});
  const std::string good = t.build();  // data blocks 2, 3, 4; dictionary in block 5
  ASSERT_EQ(refusal("t.ff2", good), "");
  EXPECT_NE(refusal("t.ff2", patched(good, 4 * 4096 + 24, le32(2))).find("datablokkene går i ring"),
            std::string::npos);
  EXPECT_NE(refusal("t.ff2", patched(good, 3 * 4096 + 24, le32(70))).find("blokk 70 ligger utenfor"),
            std::string::npos);
  EXPECT_NE(refusal("t.ff2", patched(good, 3 * 4096 + 16, le32(3))).find("annen postoppbygning"),
            std::string::npos);

  std::vector<TestField> wrongType = {field("X", static_cast<FfType>(30), 4)};
  EXPECT_NE(refusal("t.ff2", Ff2TableBuilder(wrongType).build()).find("ukjent typekode 30"), std::string::npos);
  std::vector<TestField> wrongLength = {field("X", FfType::Double, 4)};
  EXPECT_NE(refusal("t.ff2", Ff2TableBuilder(wrongLength).build()).find("har lengden 4 for typen fftDouble"),
            std::string::npos);

  std::vector<TestField> many(80, field("F", FfType::Int32, 4));
  for (auto& f : many) f.description = std::string(60, 'd');
  const std::string twoStreamBlocks = Ff2TableBuilder(many).build();  // stream in blocks 2 and 3
  ASSERT_EQ(refusal("t.ff2", twoStreamBlocks), "");
  EXPECT_NE(refusal("t.ff2", patched(twoStreamBlocks, 2 * 4096 + 16, le32(2))).find("strømblokkene går i ring"),
            std::string::npos);
  const std::string endless = refusal("t.ff2", patched(twoStreamBlocks, 2 * 4096 + 16, le32(0xFFFFFFFF)));
  EXPECT_NE(endless.find("strømmen slutter for tidlig"), std::string::npos) << endless;
  EXPECT_NE(refusal("t.ff2", patched(twoStreamBlocks, 2 * 4096 + 32 + 3, "\x07")).find("uventet merke 0x07"),
            std::string::npos);
}

TEST(Ff2Built, ExceptionsOfTheCallbackPassThroughUnchanged) {
  Ff2TableBuilder t({field("Id", FfType::Int32, 4)});
  t.addRecord({le32(1)});
  Ff2File file = Ff2File::fromBytes("t.ff2", t.build());
  EXPECT_THROW(file.forEachRecord([](const Ff2Record&) { throw std::logic_error("stop"); }), std::logic_error);
}

// ---- cursors that start anywhere and walk either way ----

class Ff2Positions : public ::testing::Test {
 protected:
  void SetUp() override {
    // Several 64 KiB blocks, linked in reverse, with deleted slots between the records.
    Ff2TableBuilder builder = TimeTableBuilder(3000, 5);
    builder.reverseDataChain();
    file = std::make_unique<Ff2File>(Ff2File::fromBytes("tid.ff2", builder.build()));
    forward = allRecords(*file);
  }

  // NR of the records a cursor hands out, at most `limit`.
  static std::vector<std::int64_t> numbers(Ff2File::Cursor cursor, std::size_t limit = 1 << 20) {
    std::vector<std::int64_t> out;
    Ff2Record r;
    while (out.size() < limit && cursor.next(r)) out.push_back(std::get<std::int64_t>(r.values[0]));
    return out;
  }

  std::int64_t nr(std::size_t position) const { return std::get<std::int64_t>(forward.at(position).values[0]); }

  std::unique_ptr<Ff2File> file;
  std::vector<Ff2Record> forward;
};

TEST_F(Ff2Positions, PlacesGrowAlongPhysicalOrderAndBackwardIsItsReverse) {
  ASSERT_EQ(forward.size(), 3000u);
  for (std::size_t i = 1; i < forward.size(); ++i) ASSERT_LT(forward[i - 1].seq, forward[i].seq) << i;
  std::vector<std::int64_t> backward = numbers(file->records(ff::ff2::Ff2Direction::Backward));
  std::vector<std::int64_t> expected = numbers(file->records());
  std::reverse(expected.begin(), expected.end());
  EXPECT_EQ(backward, expected);
}

TEST_F(Ff2Positions, CursorsStartAtAPositionOrBesideAPlace) {
  using ff::ff2::Ff2Direction;
  const std::size_t last = forward.size() - 1;
  for (std::size_t p : {std::size_t{0}, std::size_t{1}, std::size_t{757}, std::size_t{758}, std::size_t{1717}, last}) {
    EXPECT_EQ(numbers(file->recordsAt(static_cast<std::int64_t>(p), Ff2Direction::Forward), 2).front(), nr(p)) << p;
    const auto down = numbers(file->recordsAt(static_cast<std::int64_t>(p), Ff2Direction::Backward), 3);
    EXPECT_EQ(down.front(), nr(p)) << p;
    if (p >= 2) {
      EXPECT_EQ(down, (std::vector<std::int64_t>{nr(p), nr(p - 1), nr(p - 2)})) << p;
    }
    const auto after = numbers(file->recordsAfter(forward[p].seq, Ff2Direction::Forward), 1);
    const auto before = numbers(file->recordsAfter(forward[p].seq, Ff2Direction::Backward), 1);
    EXPECT_EQ(after, p < last ? std::vector<std::int64_t>{nr(p + 1)} : std::vector<std::int64_t>{}) << p;
    EXPECT_EQ(before, p > 0 ? std::vector<std::int64_t>{nr(p - 1)} : std::vector<std::int64_t>{}) << p;
    EXPECT_EQ(file->positionOf(forward[p].seq), static_cast<std::int64_t>(p));
    Ff2Record again;
    ASSERT_TRUE(file->readRecordAt(forward[p].seq, again));
    EXPECT_EQ(again.values, forward[p].values);
    EXPECT_EQ(again.seq, forward[p].seq);
  }
  EXPECT_TRUE(numbers(file->recordsAt(-1, Ff2Direction::Forward)).empty());
  EXPECT_TRUE(numbers(file->recordsAt(3000, Ff2Direction::Backward)).empty());
  Ff2Record r;
  const auto gap = std::adjacent_find(forward.begin(), forward.end(),
                                     [](const Ff2Record& a, const Ff2Record& b) { return b.seq == a.seq + 2; });
  ASSERT_NE(gap, forward.end());
  EXPECT_FALSE(file->readRecordAt(gap->seq + 1, r)) << "a deleted slot";
  EXPECT_FALSE(file->readRecordAt(-1, r));
  EXPECT_FALSE(file->readRecordAt(100 * ff::ff2::kSlotsPerSeq, r));
  EXPECT_FALSE(file->readRecordAt(ff::ff2::kSlotsPerSeq - 1, r)) << "past the slots of a block";
}

}  // namespace
