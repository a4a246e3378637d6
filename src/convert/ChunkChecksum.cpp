#include "convert/ChunkChecksum.h"

#include <cfloat>
#include <charconv>
#include <cmath>

#include "convert/Md5.h"
#include "sql/SqlStatement.h"
#include "convert/TableSql.h"

namespace {

// Only text may hold the comma that ends every other value, so only text needs its length
// before it; the server then shows each number or date once, not twice.
bool lengthFirst(const TargetColumn& column) {
  return !column.byDigest && (column.kind == ColumnKind::Text || column.kind == ColumnKind::Binary);
}

// The part of one value in a row's text, as the server's SQL builds it: "length:text" or
// "value,", NULL as "-" or "-,".
std::string serverPart(const std::string& expression, bool withLength) {
  if (withLength) return "IFNULL(CONCAT(LENGTH(" + expression + "), ':', " + expression + "), '-')";
  return "IFNULL(" + expression + ", '-'), ','";
}

std::uint64_t first64Bits(const std::string& hex) {
  std::uint64_t bits = 0;
  std::from_chars(hex.data(), hex.data() + 16, bits, 16);
  return bits;
}

std::uint64_t parseUnsigned(const std::optional<std::string>& text) {
  std::uint64_t n = 0;
  if (text) std::from_chars(text->data(), text->data() + text->size(), n);
  return n;
}

// " WHERE" the keys of the chunks from `from` on and before `to`; empty for all.
std::string keyRange(const std::string& key, std::optional<std::int64_t> from, std::optional<std::int64_t> to) {
  std::vector<std::string> bounds;
  const auto firstKey = [](std::int64_t chunk) { return std::to_string(chunk * ChunkChecksum::kChunkRows + 1); };
  if (from) bounds.push_back(key + " >= " + firstKey(*from));
  if (to) bounds.push_back(key + " < " + firstKey(*to));
  std::string where;
  for (const auto& b : bounds) where += (where.empty() ? " WHERE " : " AND ") + b;
  return where;
}

}  // namespace

void AppendServerDouble(std::string& out, double d) {
  // A whole number below 10^15 shows as its digits; most doubles of a firm's tables are such.
  if (std::trunc(d) == d && std::fabs(d) < 1e15) {
    char whole[24];
    out.append(whole, std::to_chars(whole, whole + sizeof whole, static_cast<std::int64_t>(d)).ptr);
    return;
  }
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::scientific).ptr;
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  if (text.front() == '-') {
    out += '-';
    text.remove_prefix(1);
  }
  const std::size_t e = text.find('e');
  char digitBuffer[32];
  std::size_t count = 0;
  for (char c : text.substr(0, e)) {
    if (c != '.') digitBuffer[count++] = c;
  }
  const std::string_view digits(digitBuffer, count);
  std::string_view exponentText = text.substr(e + 1);
  if (exponentText.front() == '+') exponentText.remove_prefix(1);
  int exponent = 0;
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
  const int point = exponent + 1;  // digits before the decimal point
  const int length = static_cast<int>(digits.size());
  if (point >= -14 && (point <= DBL_DIG || length > point)) {
    if (point <= 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-point), '0');
      out += digits;
    } else if (point < length) {
      out += digits.substr(0, static_cast<std::size_t>(point));
      out += '.';
      out += digits.substr(static_cast<std::size_t>(point));
    } else {
      out += digits;
      out.append(static_cast<std::size_t>(point - length), '0');
    }
    return;
  }
  out += digits[0];
  if (length > 1) {
    out += '.';
    out += digits.substr(1);
  }
  out += 'e';
  out += std::to_string(exponent);
}

ChunkChecksum::ChunkChecksum(const SqlTablePlan& plan, bool nullForBadDates)
    : plan_(plan), nullForBadDates_(nullForBadDates) {}

std::vector<std::pair<std::int64_t, ChunkSum>> ChunkChecksum::ServerSums(sql::SqlConnection& db,
                                                                         const std::string& table,
                                                                         std::optional<std::int64_t> from,
                                                                         std::optional<std::int64_t> to) const {
  const std::string key = MySqlName(plan_.KeyName());
  std::string row = serverPart(key, false);
  for (const auto& column : plan_.Columns()) {
    const std::string name = MySqlName(column.name);
    row += ", " + serverPart(column.byDigest ? "MD5(" + name + ")" : name, lengthFirst(column));
  }
  const std::string sql = "SELECT (" + key + " - 1) DIV " + std::to_string(kChunkRows) +
                          ", COUNT(*), BIT_XOR(CAST(CONV(LEFT(MD5(CONCAT(" + row +
                          ")), 16), 16, 10) AS UNSIGNED)) FROM " + MySqlName(table) + keyRange(key, from, to) +
                          " GROUP BY 1 ORDER BY 1";
  std::vector<std::pair<std::int64_t, ChunkSum>> chunks;
  const auto result = db.FirstResultSet(sql);
  for (const auto& values : result->rows) {
    const auto chunk = static_cast<std::int64_t>(std::stoll(values[0].value_or("0")));
    chunks.push_back({chunk, {static_cast<std::int64_t>(parseUnsigned(values[1])), parseUnsigned(values[2])}});
  }
  return chunks;
}

void ChunkChecksum::appendPart(std::string_view text, bool withLength) {
  if (withLength) {
    row_ += std::to_string(text.size());
    row_ += ':';
    row_ += text;
  } else {
    row_ += text;
    row_ += ',';
  }
}

void ChunkChecksum::AddRow(ChunkSum& sum, std::int64_t key, const ff::Row& row) {
  row_.clear();
  appendPart(std::to_string(key), false);
  const auto& columns = plan_.Columns();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const ff::Value& v = i < row.values.size() ? row.values[i] : ff::Value{};
    scratch_.clear();
    if (AppendColumnText(scratch_, columns[i].kind, v, nullForBadDates_) != CellState::Value) {
      row_ += lengthFirst(columns[i]) ? "-" : "-,";
      continue;
    }
    if (columns[i].kind == ColumnKind::Double) {
      scratch_.clear();
      AppendServerDouble(scratch_, ff::valueToDouble(v));
    }
    appendPart(columns[i].byDigest ? Md5Hex(scratch_) : scratch_, lengthFirst(columns[i]));
  }
  ++sum.rows;
  sum.sum ^= first64Bits(Md5Hex(row_));
}

void ChunkChecksum::AddToChunks(Chunks& chunks, std::int64_t key, const ff::Row& row) {
  const std::int64_t chunk = (key - 1) / kChunkRows;
  if (chunks.empty() || chunks.back().first != chunk) chunks.push_back({chunk, {}});
  AddRow(chunks.back().second, key, row);
}

bool ChunkChecksum::ServerShowsDoublesAlike(sql::SqlConnection& db) {
  static const double kProbes[] = {0.1, 0.30000000000000004, 4.35, -123.456, 1e14, 1e15, 1234567890123456.8,
                                   123456789012345678.0, 1e-5, 1.5e-5, 1e-15, 1e-16, 2.5e-14, 0.000123456789012345,
                                   DBL_MAX, -DBL_MIN, 5e-324, std::nextafter(1.0, 2.0), 9007199254740993.0, 1e300};
  std::string sql = "SELECT ";
  std::vector<sql::SqlValue> params;
  for (double probe : kProbes) {
    sql += std::string(params.empty() ? "" : ", ") + "CONCAT(CAST(? AS DOUBLE))";
    params.emplace_back(probe);
  }
  const auto rows = db.Prepare(sql).Query(params);
  for (std::size_t i = 0; i < params.size(); ++i) {
    std::string expected;
    AppendServerDouble(expected, kProbes[i]);
    const auto* shown = std::get_if<std::string>(&rows.at(0).at(i));
    if (!shown || *shown != expected) return false;
  }
  return true;
}
