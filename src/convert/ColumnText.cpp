#include "convert/ColumnText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "store/Field.h"

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kLongestTimeMs = ((838LL * 60 + 59) * 60 + 59) * 1000 + 999;
constexpr std::int64_t kCurrencyScale = 10000;
// Beyond 2^39 neighbouring doubles lie more than 1/10000 apart.
constexpr double kLargestExactCurrency = 549755813888.0;

std::string describe(const ff::Value& v) {
  if (std::holds_alternative<double>(v)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", std::get<double>(v));
    return text;
  }
  return ff::valueToString(v);
}

[[noreturn]] void refuse(const ff::Value& v, const char* why) {
  throw EValueRefused(describe(v), why);
}

template <typename Number>
void appendNumber(std::string& out, Number n) {
  char text[40];
  const auto end = std::to_chars(text, text + sizeof text, n).ptr;
  out.append(text, end);
}

// n with zeros before it to `width` characters, as "%0*lld" writes it; dates and times are
// made of these for every row, so without printf.
void appendDigits(std::string& out, std::int64_t n, int width) {
  if (n < 0) {
    out += '-';
    appendDigits(out, -n, width - 1);
    return;
  }
  if (n < 10 && width <= 1) {  // most numbers of a firm's rows are flags and small counts
    out += static_cast<char>('0' + n);
    return;
  }
  char text[24];
  const std::size_t length = static_cast<std::size_t>(std::to_chars(text, text + sizeof text, n).ptr - text);
  if (length < static_cast<std::size_t>(width)) out.append(static_cast<std::size_t>(width) - length, '0');
  out.append(text, length);
}

std::int64_t wholeNumber(const ff::Value& v) {
  if (const auto* d = std::get_if<double>(&v)) {
    if (std::trunc(*d) != *d || std::fabs(*d) >= 9.2e18) refuse(v, "er ikke et helt tall");
    return static_cast<std::int64_t>(*d);
  }
  if (std::holds_alternative<std::string>(v)) refuse(v, "er ikke et tall");
  return ff::valueToInt(v);
}

// A double that is a whole number of ten-thousandths or coarser (hours, amounts, numbers: most
// doubles of a firm) is written from that integer, far cheaper than the general shortest form.
// The decimal n/10^k reads back as the nearest double to n/10^k, which is d when the correctly
// rounded division gives d. Negative zero keeps its sign through the general form.
bool appendShortDecimal(std::string& out, double d) {
  static constexpr double kPowers[] = {1, 10, 100, 1000, 10000};
  if (!(std::fabs(d) < 1e11) || (d == 0 && std::signbit(d))) return false;
  for (int k = 0; k < 5; ++k) {
    const double n = std::nearbyint(d * kPowers[k]);
    if (n / kPowers[k] != d) continue;
    if (n < 0) out += '-';
    const auto digits = static_cast<std::int64_t>(std::fabs(n));
    const auto scale = static_cast<std::int64_t>(kPowers[k]);
    appendDigits(out, digits / scale, 1);
    if (k > 0) {
      out += '.';
      appendDigits(out, digits % scale, k);
    }
    return true;
  }
  return false;
}

void appendDouble(std::string& out, double d) {
  if (!appendShortDecimal(out, d)) appendNumber(out, d);
}

double finiteNumber(const ff::Value& v) {
  if (std::holds_alternative<std::string>(v)) refuse(v, "er ikke et tall");
  const double d = ff::valueToDouble(v);
  if (!std::isfinite(d)) refuse(v, "er ikke et endelig tall");
  return d;
}

// DECIMAL(19,4) text. Exact amounts from .ff2 files travel as their integer; a double (the
// store's own tables) only where it tells every amount of four decimals apart.
void appendCurrency(std::string& out, const ff::Value& v) {
  if (const auto* exact = std::get_if<ff::ScaledCurrency>(&v)) {
    out += ff::currencyText(exact->tenThousandths);
    return;
  }
  const double d = finiteNumber(v);
  if (std::fabs(d) >= kLargestExactCurrency) {
    refuse(v, "er for stor til at et flyttall holder den nøyaktig på fire desimaler (grensen er 549755813888)");
  }
  // Whole and fraction apart: the product of the whole amount and 10000 would be rounded.
  const double whole = std::trunc(d);
  out += ff::currencyText(static_cast<std::int64_t>(whole) * kCurrencyScale +
                          std::llround((d - whole) * static_cast<double>(kCurrencyScale)));
}

// Milliseconds since 30 December 1899, rounded as the classic date-time keeps them.
std::int64_t milliseconds(double days) { return std::llround(days * static_cast<double>(kMsPerDay)); }

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

void appendTimeOfDay(std::string& out, std::int64_t ms) {
  appendDigits(out, ms / 3'600'000, 2);
  out += ':';
  appendDigits(out, ms / 60'000 % 60, 2);
  out += ':';
  appendDigits(out, ms / 1000 % 60, 2);
  out += '.';
  appendDigits(out, ms % 1000, 3);
}

// False when the day lies outside the years 1000 to 9999 that DATE and DATETIME hold.
bool appendDay(std::string& out, std::int64_t day) {
  int y = 0, m = 0, d = 0;
  ff::decodeDate(static_cast<double>(day), y, m, d);
  if (y < 1000 || y > 9999) return false;
  appendDigits(out, y, 4);
  out += '-';
  appendDigits(out, m, 2);
  out += '-';
  appendDigits(out, d, 2);
  return true;
}

// Appends a date-type value; false when the column cannot hold it.
bool appendDateType(std::string& out, ColumnKind kind, double days) {
  if (!std::isfinite(days) || std::fabs(days) > 1e7) return false;
  const std::int64_t ms = milliseconds(days);
  if (kind == ColumnKind::Time) {
    if (ms > kLongestTimeMs || ms < -kLongestTimeMs) return false;
    if (ms < 0) out += '-';
    appendTimeOfDay(out, ms < 0 ? -ms : ms);
    return true;
  }
  const std::int64_t day = floorDiv(ms, kMsPerDay);
  const std::int64_t msOfDay = ms - day * kMsPerDay;
  // A date field may hold a time of day too (the classic date field kept it): its date is the value.
  if (kind == ColumnKind::Date) return appendDay(out, day);
  if (!appendDay(out, day)) return false;
  out += ' ';
  appendTimeOfDay(out, msOfDay);
  return true;
}

// "31.12.999 01:00:00.000" for a message (no range limits).
std::string describeDate(double days) {
  if (std::fabs(days) > 1e9) return describe(ff::Value{days});
  const std::int64_t ms = milliseconds(days);
  const std::int64_t day = floorDiv(ms, kMsPerDay);
  int y = 0, m = 0, d = 0;
  ff::decodeDate(static_cast<double>(day), y, m, d);
  std::string text;
  appendDigits(text, d, 2);
  text += '.';
  appendDigits(text, m, 2);
  text += '.' + std::to_string(y) + ' ';
  appendTimeOfDay(text, ms - day * kMsPerDay);
  return text;
}

CellState appendDateValue(std::string& out, ColumnKind kind, const ff::Value& v, bool nullForBadDates) {
  const std::size_t start = out.size();
  if (appendDateType(out, kind, finiteNumber(v))) return CellState::Value;
  out.resize(start);
  if (nullForBadDates) return CellState::MadeNull;
  const char* why = kind == ColumnKind::Time ? "er utenfor -838:59:59 til 838:59:59"
                                             : "er ingen dato mellom år 1000 og 9999";
  throw EValueRefused(describeDate(finiteNumber(v)) + " (" + describe(v) + " dager)", why);
}

}  // namespace

CellState AppendColumnText(std::string& out, ColumnKind kind, const ff::Value& v, bool nullForBadDates) {
  if (ff::isNull(v)) return CellState::Null;
  switch (kind) {
    case ColumnKind::Integer: appendNumber(out, wholeNumber(v)); break;
    case ColumnKind::Boolean: out += wholeNumber(v) != 0 ? '1' : '0'; break;
    case ColumnKind::Double: appendDouble(out, finiteNumber(v)); break;
    case ColumnKind::Currency: appendCurrency(out, v); break;
    case ColumnKind::Date:
    case ColumnKind::Time:
    case ColumnKind::DateTime: return appendDateValue(out, kind, v, nullForBadDates);
    case ColumnKind::Text:
    case ColumnKind::Binary:
      if (const auto* s = std::get_if<std::string>(&v)) {
        out += *s;
      } else {
        out += ff::valueToString(v);
      }
      break;
  }
  return CellState::Value;
}
