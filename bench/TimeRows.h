// The time-sheet rows the conversion benchmarks load: TIMER's real field types, text with æøå
// and a memo on every tenth row.
#pragma once

#include <string>
#include <vector>

#include "store/Field.h"
#include "store/Session.h"

namespace bench {

// A value for row i of a field, by its type.
inline ff::Value timeRowValue(const ff::FieldDef& f, int i) {
  switch (f.type) {
    case ff::FieldType::String: {
      const std::string text = "Rad " + std::to_string(i) + " på prosjekt " + std::to_string(i % 500) + " æøå";
      return ff::Value{text.substr(0, static_cast<std::size_t>(f.size))};
    }
    case ff::FieldType::Memo:
      return i % 10 ? ff::Value{} : ff::Value{"Notat for rad " + std::to_string(i) + ": arbeid utført på stedet."};
    case ff::FieldType::Float: return ff::Value{i % 1000 * 0.25 + 0.1};
    case ff::FieldType::DateTime:
    case ff::FieldType::Date: return ff::Value{ff::encodeDate(2000, 1, 3) + i % 7000};
    case ff::FieldType::Boolean: return ff::Value{std::int64_t{i % 2}};
    case ff::FieldType::Smallint: return ff::Value{std::int64_t{i % 100}};
    default: return ff::Value{std::int64_t{i}};
  }
}

// Adds rows to the alias's TIMER until it holds `rows`, in one bulk load.
inline void fillTimeTable(ff::TffSession& session, const std::string& alias, int rows) {
  auto hours = session.OpenTable(alias, "TIMER", {});
  std::vector<ff::Value> row(hours->Fields().size());
  hours->BeginBulk();
  for (int i = static_cast<int>(hours->Count({})); i < rows; ++i) {
    for (std::size_t f = 0; f < row.size(); ++f) row[f] = timeRowValue(hours->Fields()[f], i);
    hours->Insert(row);
  }
  hours->EndBulk();
}

}  // namespace bench
