// libFuzzer target for the filter parser: any text is parsed or refused with EBadFilter, and
// every filter that parses (and names known fields with fitting constants) prepares as exactly
// one SQLite statement and runs to its end. Built by scripts/fuzz.sh.
#include <sqlite3.h>
#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzContract.h"
#include "store/Errors.h"
#include "store/Filter.h"

namespace {

struct Column {
  const char* name;
  ff::FieldType type;
};

constexpr Column kColumns[] = {
    {"NR", ff::FieldType::Integer}, {"NAVN", ff::FieldType::String}, {"BELOP", ff::FieldType::Float},
    {"DATO", ff::FieldType::Date},  {"TID", ff::FieldType::Time},    {"AKTIV", ff::FieldType::Boolean},
    {"NOTAT", ff::FieldType::Memo}, {"BILDE", ff::FieldType::Blob},  {"E-mail", ff::FieldType::String},
};

std::optional<ff::FilterColumn> resolve(const std::string& name) {
  for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
    if (strcasecmp(kColumns[i].name, name.c_str()) == 0) return ff::FilterColumn{"c" + std::to_string(i), kColumns[i].type};
  }
  return std::nullopt;
}

sqlite3* database() {
  static sqlite3* db = [] {
    sqlite3* d = nullptr;
    sqlite3_open(":memory:", &d);
    sqlite3_exec(d,
                 "CREATE TABLE rows (c0 INTEGER, c1 TEXT, c2 REAL, c3 REAL, c4 REAL, c5 INTEGER, c6 TEXT, c7 BLOB, c8 TEXT);"
                 "INSERT INTO rows VALUES (1, 'Åse', 12.5, 45000, 0.5, 1, 'notat', x'00ff', 'a@b.no'),"
                 " (2, NULL, -3, NULL, NULL, 0, NULL, NULL, NULL), (3, 'x*y', 0, 1, 0, NULL, '', x'', '');",
                 nullptr, nullptr, nullptr);
    return d;
  }();
  return db;
}

void bind(sqlite3_stmt* stmt, int index, const ff::Value& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) {
    sqlite3_bind_int64(stmt, index, *i);
  } else if (const auto* d = std::get_if<double>(&v)) {
    sqlite3_bind_double(stmt, index, *d);
  } else if (const auto* s = std::get_if<std::string>(&v)) {
    sqlite3_bind_text64(stmt, index, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  } else {
    sqlite3_bind_null(stmt, index);
  }
}

// The scan's own conditions stand beside the filter, as the store writes them.
void runs(const std::string& where, const std::vector<ff::Value>& params) {
  const std::string sql = "SELECT c0 FROM rows WHERE " + where + " AND c5 IS NOT NULL AND (c0 > ? OR (c0 = ? AND (c1 > ?))) ORDER BY c0";
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  const int prepared = sqlite3_prepare_v2(database(), sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail);
  Require(prepared == SQLITE_OK, "an accepted filter prepares", sqlite3_errmsg(database()));
  Require(tail != nullptr && *tail == '\0', "an accepted filter is exactly one statement", sql);
  Require(sqlite3_bind_parameter_count(stmt) == static_cast<int>(params.size()) + 3, "one parameter per constant");
  for (std::size_t i = 0; i < params.size(); ++i) bind(stmt, static_cast<int>(i + 1), params[i]);
  const int n = static_cast<int>(params.size());
  sqlite3_bind_int64(stmt, n + 1, 0);
  sqlite3_bind_int64(stmt, n + 2, 0);
  sqlite3_bind_text(stmt, n + 3, "", 0, SQLITE_STATIC);
  int rc = SQLITE_ROW;
  while (rc == SQLITE_ROW) rc = sqlite3_step(stmt);
  const std::string error = sqlite3_errmsg(database());
  sqlite3_finalize(stmt);
  Require(rc == SQLITE_DONE, "an accepted filter runs", error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::optional<ff::FilterExpression> filter;
  try {
    filter = ff::FilterExpression::Parse(text);
  } catch (const ff::EBadFilter&) {
    return 0;
  }
  std::vector<ff::Value> params{ff::Value{std::string("kept")}};
  std::string where;
  try {
    where = filter->ToSql(resolve, params);
  } catch (const ff::EBadFilter&) {
    Require(params.size() == 1, "a failed translation leaves the parameters as they were");
    return 0;
  }
  params.erase(params.begin());
  runs(where, params);
  return 0;
}
