// Filter texts in the FlashFiler syntax: comparisons of fields with constants, joined by
// AND / OR / NOT and parentheses, e.g. "PROSJEKTNR=12 AND SYSTEMNR=3", "NAVN='Ås*'".
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/FieldType.h"
#include "store/Value.h"

namespace ff {

struct FilterNode;

// The SQL the filter is written in: prefix matches differ between SQLite and MariaDB.
enum class SqlDialect { Sqlite, MariaDb };

// What a back end knows of a field named in a filter.
struct FilterColumn {
  std::string sql;  // the column as the SQL text must name it (quoted)
  FieldType type;
};

class FilterExpression {
 public:
  FilterExpression();
  ~FilterExpression();
  FilterExpression(FilterExpression&&) noexcept;
  FilterExpression& operator=(FilterExpression&&) noexcept;

  // Parses a filter text. Throws EBadFilter naming what is wrong for an empty or malformed
  // text ("PROSJEKTNR=" with nothing after it, unbalanced quotes or parentheses, ...).
  static FilterExpression Parse(const std::string& text);

  // Writes the expression as an SQLite condition with "?" placeholders appended to params.
  // resolve maps a field name to its column, or nullopt for an unknown field, which throws
  // EBadFilter. Constants are converted to the field's type: numbers for numeric fields,
  // dates from "dd.mm.yyyy" for date fields, "True"/"False" for booleans. A string constant
  // ending in "*" is a prefix match. Also throws EBadFilter for a constant the field's type
  // cannot take and for an expression not made by Parse; params is then left as it was.
  // With SqlDialect::MariaDb the prefix match is a LIKE with "!" as its escape character.
  std::string ToSql(const std::function<std::optional<FilterColumn>(const std::string&)>& resolve,
                    std::vector<Value>& params, SqlDialect dialect = SqlDialect::Sqlite) const;

 private:
  std::string text_;  // as given to Parse, for error messages
  std::unique_ptr<FilterNode> root_;
};

}  // namespace ff
