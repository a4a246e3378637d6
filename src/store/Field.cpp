#include "store/Field.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>

#include "store/Clock.h"
#include "store/DataSetValue.h"
#include "store/Errors.h"
#include "store/Table.h"
#include "text/Cp1252.h"
#include "text/Utf8Text.h"

namespace ff {

namespace {

constexpr int kDefaultStringSize = 20;

// Howard Hinnant's days-from-civil, shifted to the 30 December 1899 epoch.
long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;
}

void civilFromDays(long z, int& y, int& m, int& d) {
  z += 719468 - 25569;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool parseNumber(std::string text, double& out) {
  for (char& c : text) {
    if (c == ',') c = '.';
  }
  const auto b = text.find_first_not_of(' ');
  if (b == std::string::npos) return false;
  const char* start = text.c_str() + b;
  char* end = nullptr;
  out = std::strtod(start, &end);
  while (end && *end == ' ') ++end;
  return end != start && end && *end == '\0' && std::isfinite(out);
}

std::pair<std::string, std::string> splitDisplayValues(const std::string& dv) {
  const auto semi = dv.find(';');
  if (semi == std::string::npos) return {dv, ""};
  return {dv.substr(0, semi), dv.substr(semi + 1)};
}

// Appends v (0 to 99) as two digits. Grids format dates by the screenful: no printf here.
void appendTwoDigits(std::string& out, long v) {
  out += static_cast<char>('0' + v / 10);
  out += static_cast<char>('0' + v % 10);
}

std::string formatTime(long secs) {
  std::string time;
  time.reserve(8);
  appendTwoDigits(time, secs / 3600);
  time += ':';
  appendTwoDigits(time, secs / 60 % 60);
  time += ':';
  appendTwoDigits(time, secs % 60);
  return time;
}

std::string groupThousands(const std::string& digits) {
  std::string out;
  const int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ' ';
    out += digits[i];
  }
  return out;
}

bool isIntegerType(FieldType t) {
  switch (t) {
    case FieldType::Smallint:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::LongWord:
    case FieldType::Largeint:
    case FieldType::AutoInc:
      return true;
    default:
      return false;
  }
}

// The whole numbers a field of an integer type takes. An AutoInc takes the signed values the
// store has always handed out and the unsigned counters of .ff2 tables.
std::pair<double, double> integerRange(FieldType t) {
  constexpr double kInt32Min = std::numeric_limits<std::int32_t>::min();
  constexpr double kInt32Max = std::numeric_limits<std::int32_t>::max();
  constexpr double kUint32Max = std::numeric_limits<std::uint32_t>::max();
  switch (t) {
    case FieldType::Smallint: return {-32768.0, 32767.0};
    case FieldType::Word: return {0.0, 65535.0};
    case FieldType::LongWord: return {0.0, kUint32Max};
    case FieldType::AutoInc: return {kInt32Min, kUint32Max};
    // The last double below 2^63: every whole double up to it converts to 64 bits.
    case FieldType::Largeint: return {-0x1p63, 0x1.fffffffffffffp62};
    default: return {kInt32Min, kInt32Max};
  }
}

bool isDateType(FieldType t) {
  return t == FieldType::Date || t == FieldType::Time || t == FieldType::DateTime;
}

}  // namespace

double encodeDate(int year, int month, int day) {
  return static_cast<double>(daysFromCivil(year, month, day));
}

void decodeDate(double v, int& year, int& month, int& day) {
  civilFromDays(static_cast<long>(std::floor(v)), year, month, day);
}

std::string formatDateTime(double v, FieldType t) {
  const double whole = std::floor(v);
  long secs = std::lround((v - whole) * 86400.0);
  long days = static_cast<long>(whole);
  if (secs >= 86400) {
    secs -= 86400;
    ++days;
  }
  if (t == FieldType::Time) return formatTime(secs);
  int y, m, d;
  civilFromDays(days, y, m, d);
  std::string date;
  date.reserve(20);
  appendTwoDigits(date, d);
  date += '.';
  appendTwoDigits(date, m);
  date += '.';
  date += std::to_string(y);
  if (t == FieldType::DateTime && secs != 0) date += " " + formatTime(secs);
  return date;
}

bool parseDateTime(const std::string& text, double& out) {
  int d = 0, m = 0, used = 0;
  if (std::sscanf(text.c_str(), " %d.%d.%n", &d, &m, &used) != 2 || used == 0) return false;
  std::size_t pos = static_cast<std::size_t>(used);
  const std::size_t yearStart = pos;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
  const std::size_t yearDigits = pos - yearStart;
  if (yearDigits == 0 || yearDigits > 4 || m < 1 || m > 12 || d < 1 || d > 31) return false;
  int y = std::atoi(text.substr(yearStart, yearDigits).c_str());
  if (yearDigits <= 2) {
    int cy, cm, cd;
    decodeDate(Date(), cy, cm, cd);
    const int pivot = cy - 50;
    y += pivot / 100 * 100;
    if (y < pivot) y += 100;
  }
  double value = encodeDate(y, m, d);
  int cy, cm, cd;
  decodeDate(value, cy, cm, cd);
  if (cd != d || cm != m) return false;
  const std::string rest = text.substr(pos);
  if (rest.find_first_not_of(' ') != std::string::npos) {
    int hh = 0, mi = 0, ss = 0, tail = 0;
    const int n = std::sscanf(rest.c_str(), " %d:%d%n:%d%n", &hh, &mi, &tail, &ss, &tail);
    if (n < 2 || hh < 0 || hh > 23 || mi < 0 || mi > 59 || ss < 0 || ss > 59) return false;
    if (rest.find_first_not_of(' ', static_cast<std::size_t>(tail)) != std::string::npos) return false;
    value += (hh * 3600 + mi * 60 + ss) / 86400.0;
  }
  out = value;
  return true;
}

std::string formatNumber(double v, const std::string& mask) {
  std::string section = mask.substr(0, mask.find(';'));
  if (section.empty()) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s = buf;
    for (char& c : s) {
      if (c == '.') c = ',';
    }
    return s;
  }
  const auto dot = section.find('.');
  const std::string fraction = dot == std::string::npos ? "" : section.substr(dot + 1);
  int minDecimals = 0, maxDecimals = 0;
  for (char c : fraction) {
    if (c == '0') ++minDecimals, ++maxDecimals;
    if (c == '#') ++maxDecimals;
  }
  const bool thousands = section.substr(0, dot).find(',') != std::string::npos;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", maxDecimals, std::fabs(v));
  std::string s = buf;
  std::string intPart = s.substr(0, s.find('.'));
  std::string frac = s.find('.') == std::string::npos ? "" : s.substr(s.find('.') + 1);
  while (static_cast<int>(frac.size()) > minDecimals && frac.back() == '0') frac.pop_back();
  const bool negative = v < 0 && (std::stod(s) != 0.0);
  if (thousands) intPart = groupThousands(intPart);
  return (negative ? "-" : "") + intPart + (frac.empty() ? "" : "," + frac);
}

TField::TField(TffTable& table, FieldDecl decl, int index)
    : table_(table), decl_(std::move(decl)), index_(index) {
  if (decl_.type == FieldType::String && decl_.size <= 0) decl_.size = kDefaultStringSize;
}

void TField::SetVisible(bool v) {
  decl_.visible = v;
  table_.notify(&DataLink::DataSetChanged);
}

bool TField::IsNull() const { return isNull(table_.CurrentValue(index_)); }

Value TField::AsValue() const { return asDataSetValue(table_.CurrentValue(index_)); }

// Read in place: a currency gives the same double either way, and sums read this in loops.
double TField::AsFloat() const { return valueToDouble(table_.CurrentValue(index_)); }

std::int64_t TField::AsInteger() const { return valueToInt(AsValue()); }

bool TField::AsBoolean() const { return valueToInt(AsValue()) != 0; }

std::string TField::AsString() const {
  const Value v = AsValue();
  if (isNull(v)) return {};
  if (decl_.type == FieldType::Boolean) return AsBoolean() ? "True" : "False";
  if (isDateType(decl_.type)) return formatDateTime(valueToDouble(v), decl_.type);
  if (storageClassOf(decl_.type) == StorageClass::Real) return formatNumber(valueToDouble(v), "");
  return valueToString(v);
}

void TField::SetValue(const Value& v) { table_.WriteValue(*this, coerce(v)); }

void TField::SetAsInteger(std::int64_t v) { SetValue(Value{v}); }

void TField::SetAsString(const std::string& s) {
  switch (storageClassOf(decl_.type)) {
    case StorageClass::Text:
    case StorageClass::Bytes:
      SetValue(Value{s});
      break;
    default:
      SetEditText(s);
  }
}

Value TField::coerce(const Value& v) const {
  if (isNull(v)) return v;
  switch (storageClassOf(decl_.type)) {
    case StorageClass::Integer: {
      if (decl_.type == FieldType::Boolean) return Value{std::int64_t{valueToDouble(v) != 0.0}};
      // A 64-bit whole number is taken as it is, not through a double that would round it.
      if (decl_.type == FieldType::Largeint && std::holds_alternative<std::int64_t>(v)) return v;
      const double r = std::nearbyint(finiteNumber(v));
      const auto [lo, hi] = integerRange(decl_.type);
      if (r < lo || r > hi) {
        throw Error("Verdien " + valueToString(v) + " er utenfor området for feltet " + decl_.name);
      }
      return Value{static_cast<std::int64_t>(r)};
    }
    case StorageClass::Real:
      return Value{finiteNumber(v)};
    case StorageClass::Text: {
      // Text is stored as UTF-8 only: legacy bytes handed in unconverted are read as
      // Windows-1252, so the size limit counts the characters that are kept.
      std::string s = RepairUtf8(valueToString(v));
      if (decl_.type == FieldType::String && decl_.size > 0) s = Utf8Left(s, static_cast<std::size_t>(decl_.size));
      return Value{s};
    }
    case StorageClass::Bytes:
      return Value{valueToString(v)};
  }
  return v;
}

double TField::finiteNumber(const Value& v) const {
  const double d = valueToDouble(v);
  if (!std::isfinite(d)) {
    throw Error("Feltet " + decl_.name + " kan bare ha endelige tall, ikke uendelig eller NaN (" + valueToString(v) +
                ")");
  }
  return d;
}

std::string TField::DisplayTextOf(const Value& v) const {
  if (isNull(v)) return {};
  if (decl_.type == FieldType::Boolean) {
    const bool yes = valueToInt(v) != 0;
    if (decl_.displayValues.empty()) return yes ? "True" : "False";
    const auto [yesText, noText] = splitDisplayValues(decl_.displayValues);
    return yes ? yesText : noText;
  }
  if (isDateType(decl_.type)) return formatDateTime(valueToDouble(v), decl_.type);
  if (storageClassOf(decl_.type) == StorageClass::Bytes) return "(" + std::string(fieldTypeName(decl_.type)) + ")";
  if (isIntegerType(decl_.type) || storageClassOf(decl_.type) == StorageClass::Real) {
    if (decl_.displayFormat.empty() && isIntegerType(decl_.type)) return valueToString(v);
    return formatNumber(valueToDouble(v), decl_.displayFormat);
  }
  return valueToString(v);
}

std::string TField::EditText() const {
  if (IsNull()) return {};
  if ((isIntegerType(decl_.type) || storageClassOf(decl_.type) == StorageClass::Real) &&
      !isDateType(decl_.type) && decl_.type != FieldType::Boolean) {
    return formatNumber(AsFloat(), decl_.editFormat);
  }
  return DisplayText();
}

void TField::SetEditText(const std::string& text) {
  if (storageClassOf(decl_.type) == StorageClass::Text || storageClassOf(decl_.type) == StorageClass::Bytes) {
    SetValue(Value{text});
    return;
  }
  if (text.find_first_not_of(' ') == std::string::npos) {
    Clear();
    return;
  }
  if (decl_.type == FieldType::Boolean) {
    const auto [yes, no] = splitDisplayValues(decl_.displayValues);
    const std::string t = lower(text);
    if (t == lower(yes) || t == "true" || (yes.empty() && t == "ja")) return SetAsBoolean(true);
    if (t == lower(no) || t == "false" || (no.empty() && t == "nei")) return SetAsBoolean(false);
    throw Error("'" + text + "' er ikke en gyldig verdi for feltet " + decl_.name);
  }
  double d = 0;
  if (isDateType(decl_.type)) {
    if (decl_.type == FieldType::Time) {
      if (parseDateTime("30.12.1899 " + text, d)) return SetValue(Value{d});
    } else if (parseDateTime(text, d)) {
      return SetValue(Value{d});
    }
    throw Error("'" + text + "' er ikke en gyldig dato for feltet " + decl_.name);
  }
  std::string digits;
  for (char c : text) {
    if (c != ' ' && static_cast<unsigned char>(c) != 0xA0 && c != '\xC2') digits += c;
  }
  if (!parseNumber(digits, d)) {
    throw Error("'" + text + "' er ikke et gyldig tall for feltet " + decl_.name);
  }
  SetValue(Value{d});
}

}  // namespace ff
