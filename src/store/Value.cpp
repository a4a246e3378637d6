#include "store/Value.h"

#include <cmath>
#include <cstdlib>

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

}  // namespace

double valueToDouble(const Value& v) {
  return std::visit(Overloaded{[](std::monostate) { return 0.0; },
                               [](std::int64_t i) { return static_cast<double>(i); },
                               [](double d) { return d; },
                               [](const std::string& s) { return std::strtod(s.c_str(), nullptr); }},
                    v);
}

std::int64_t valueToInt(const Value& v) {
  return std::visit(Overloaded{[](std::monostate) { return std::int64_t{0}; },
                               [](std::int64_t i) { return i; },
                               [](double d) { return static_cast<std::int64_t>(std::llround(d)); },
                               [](const std::string& s) {
                                 return static_cast<std::int64_t>(std::strtoll(s.c_str(), nullptr, 10));
                               }},
                    v);
}

std::string valueToString(const Value& v) {
  return std::visit(Overloaded{[](std::monostate) { return std::string(); },
                               [](std::int64_t i) { return std::to_string(i); },
                               [](double d) { return shortestDouble(d); },
                               [](const std::string& s) { return s; }},
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
  const double x = valueToDouble(a), y = valueToDouble(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

Value valueAsStored(const Value& v, FieldType t) {
  if (isNull(v)) return v;
  switch (storageClassOf(t)) {
    case StorageClass::Integer:
      return Value{valueToInt(v)};
    case StorageClass::Real:
      return Value{valueToDouble(v)};
    case StorageClass::Text:
    case StorageClass::Bytes:
      break;
  }
  return Value{valueToString(v)};
}

}  // namespace ff
