#include "store/Value.h"

#include <cmath>
#include <cstdlib>

#include "store/Errors.h"

namespace ff {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

std::string shortestDouble(double d) {
  if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
    return std::to_string(static_cast<long long>(d));
  }
  char buf[32];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, d);
    if (std::strtod(buf, nullptr) == d) break;
  }
  return buf;
}

constexpr std::int64_t kCurrencyScale = 10000;

double currencyToDouble(ScaledCurrency c) {
  // Whole and fraction apart, so that the whole part is not rounded twice.
  return static_cast<double>(c.tenThousandths / kCurrencyScale) +
         static_cast<double>(c.tenThousandths % kCurrencyScale) / static_cast<double>(kCurrencyScale);
}

// The exact text without the trailing zeros of the fraction: "12.34", "5".
std::string shortestCurrency(ScaledCurrency c) {
  std::string text = currencyText(c.tenThousandths);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

// Beyond 2^39 neighbouring doubles lie more than 1/10000 apart: such an amount would be bent.
void refuseInexactCurrency(ScaledCurrency c) {
  constexpr std::int64_t kLargestExact = std::int64_t{1} << 39;
  if (c.tenThousandths / kCurrencyScale < kLargestExact && c.tenThousandths / kCurrencyScale > -kLargestExact) return;
  throw Error("Beløpet " + currencyText(c.tenThousandths) +
              " kan ikke lagres nøyaktig: tabellene holder beløp som flyttall, nøyaktige på fire desimaler bare "
              "mellom -549755813888 og 549755813888");
}

}  // namespace

std::string currencyText(std::int64_t tenThousandths) {
  // Unsigned magnitude: the smallest int64 has no positive counterpart.
  const bool negative = tenThousandths < 0;
  const std::uint64_t magnitude =
      negative ? std::uint64_t{0} - static_cast<std::uint64_t>(tenThousandths) : static_cast<std::uint64_t>(tenThousandths);
  const auto scale = static_cast<std::uint64_t>(kCurrencyScale);
  std::string fraction = std::to_string(magnitude % scale);
  fraction.insert(0, 4 - fraction.size(), '0');
  return (negative ? "-" : "") + std::to_string(magnitude / scale) + "." + fraction;
}

double valueToDouble(const Value& v) {
  return std::visit(Overloaded{[](std::monostate) { return 0.0; },
                               [](std::int64_t i) { return static_cast<double>(i); },
                               [](double d) { return d; },
                               [](const std::string& s) { return std::strtod(s.c_str(), nullptr); },
                               [](ScaledCurrency c) { return currencyToDouble(c); }},
                    v);
}

std::int64_t valueToInt(const Value& v) {
  return std::visit(Overloaded{[](std::monostate) { return std::int64_t{0}; },
                               [](std::int64_t i) { return i; },
                               [](double d) { return static_cast<std::int64_t>(std::llround(d)); },
                               [](const std::string& s) {
                                 return static_cast<std::int64_t>(std::strtoll(s.c_str(), nullptr, 10));
                               },
                               [](ScaledCurrency c) { return static_cast<std::int64_t>(std::llround(currencyToDouble(c))); }},
                    v);
}

std::string valueToString(const Value& v) {
  return std::visit(Overloaded{[](std::monostate) { return std::string(); },
                               [](std::int64_t i) { return std::to_string(i); },
                               [](double d) { return shortestDouble(d); },
                               [](const std::string& s) { return s; },
                               [](ScaledCurrency c) { return shortestCurrency(c); }},
                    v);
}

int compareValues(const Value& a, const Value& b) {
  const bool an = isNull(a), bn = isNull(b);
  if (an || bn) return an == bn ? 0 : (an ? -1 : 1);
  const bool at = std::holds_alternative<std::string>(a);
  const bool bt = std::holds_alternative<std::string>(b);
  if (at && bt) {
    const int c = std::get<std::string>(a).compare(std::get<std::string>(b));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  if (at != bt) return at ? 1 : -1;  // numbers before text, as SQLite orders them
  const auto* ac = std::get_if<ScaledCurrency>(&a);
  const auto* bc = std::get_if<ScaledCurrency>(&b);
  if (ac && bc) return ac->tenThousandths < bc->tenThousandths ? -1 : (ac->tenThousandths > bc->tenThousandths ? 1 : 0);
  const double x = valueToDouble(a), y = valueToDouble(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

Value valueAsStored(const Value& v, FieldType t) {
  if (isNull(v)) return v;
  switch (storageClassOf(t)) {
    case StorageClass::Integer:
      return Value{valueToInt(v)};
    case StorageClass::Real:
      if (const auto* c = std::get_if<ScaledCurrency>(&v)) refuseInexactCurrency(*c);
      return Value{valueToDouble(v)};
    case StorageClass::Text:
    case StorageClass::Bytes:
      break;
  }
  return Value{valueToString(v)};
}

}  // namespace ff
