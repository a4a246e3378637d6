#include "store/mariadb/ServerValues.h"

namespace ff {

namespace {

sql::SqlValue toSql(const Value& v, bool bytes) {
  if (const auto* n = std::get_if<std::int64_t>(&v)) return *n;
  if (const auto* d = std::get_if<double>(&v)) return *d;
  if (std::holds_alternative<ScaledCurrency>(v)) return valueToDouble(v);  // the store keeps doubles
  if (const auto* s = std::get_if<std::string>(&v)) return bytes ? sql::SqlValue{sql::SqlBytes{*s}} : sql::SqlValue{*s};
  return {};
}

Value fromSql(sql::SqlValue&& v) {
  if (auto* n = std::get_if<std::int64_t>(&v)) return *n;
  if (auto* u = std::get_if<std::uint64_t>(&v)) return static_cast<std::int64_t>(*u);
  if (auto* d = std::get_if<double>(&v)) return *d;
  if (auto* s = std::get_if<std::string>(&v)) return std::move(*s);
  if (auto* b = std::get_if<sql::SqlBytes>(&v)) return std::move(b->bytes);
  return {};
}

}  // namespace

std::vector<sql::SqlValue> ToSqlValues(const std::vector<Value>& values, const std::vector<bool>& binary) {
  std::vector<sql::SqlValue> out;
  out.reserve(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) out.push_back(toSql(values[i], i < binary.size() && binary[i]));
  return out;
}

std::vector<std::vector<Value>> FromSqlRows(std::vector<sql::SqlRow>&& rows) {
  std::vector<std::vector<Value>> out;
  out.reserve(rows.size());
  for (auto& row : rows) {
    auto& values = out.emplace_back();
    values.reserve(row.size());
    for (auto& v : row) values.push_back(fromSql(std::move(v)));
  }
  return out;
}

}  // namespace ff
