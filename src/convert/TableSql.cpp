#include "convert/TableSql.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "store/Table.h"
#include "text/SqlQuote.h"
#include "text/Utf8Text.h"

namespace {

constexpr std::size_t kLineLimit = 255;

// Reserved words of MySQL 8 and MariaDB 10/11, upper case, sorted.
constexpr std::array<std::string_view, 282> kReserved{
    "ACCESSIBLE", "ADD", "ALL", "ALTER", "ANALYZE", "AND", "AS", "ASC", "ASENSITIVE", "BEFORE", "BETWEEN",
    "BIGINT", "BINARY", "BLOB", "BOTH", "BY", "CALL", "CASCADE", "CASE", "CHANGE", "CHAR", "CHARACTER",
    "CHECK", "COLLATE", "COLUMN", "CONDITION", "CONSTRAINT", "CONTINUE", "CONVERT", "CREATE", "CROSS", "CUBE",
    "CUME_DIST", "CURRENT_DATE", "CURRENT_ROLE", "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_USER",
    "CURSOR", "DATABASE", "DATABASES", "DAY_HOUR", "DAY_MICROSECOND", "DAY_MINUTE", "DAY_SECOND", "DEC",
    "DECIMAL", "DECLARE", "DEFAULT", "DELAYED", "DELETE", "DELETE_DOMAIN_ID", "DENSE_RANK", "DESC",
    "DESCRIBE", "DETERMINISTIC", "DISTINCT", "DISTINCTROW", "DIV", "DOUBLE", "DO_DOMAIN_IDS", "DROP", "DUAL",
    "EACH", "ELSE", "ELSEIF", "EMPTY", "ENCLOSED", "ESCAPED", "EXCEPT", "EXISTS", "EXIT", "EXPLAIN", "FALSE",
    "FETCH", "FIRST_VALUE", "FLOAT", "FLOAT4", "FLOAT8", "FOR", "FORCE", "FOREIGN", "FROM", "FULLTEXT",
    "FUNCTION", "GENERAL", "GENERATED", "GET", "GRANT", "GROUP", "GROUPING", "GROUPS", "HAVING",
    "HIGH_PRIORITY", "HOUR_MICROSECOND", "HOUR_MINUTE", "HOUR_SECOND", "IF", "IGNORE", "IGNORE_DOMAIN_IDS",
    "IGNORE_SERVER_IDS", "IN", "INDEX", "INFILE", "INNER", "INOUT", "INSENSITIVE", "INSERT", "INT", "INT1",
    "INT2", "INT3", "INT4", "INT8", "INTEGER", "INTERSECT", "INTERVAL", "INTO", "IO_AFTER_GTIDS",
    "IO_BEFORE_GTIDS", "IS", "ITERATE", "JOIN", "JSON_TABLE", "KEY", "KEYS", "KILL", "LAG", "LAST_VALUE",
    "LATERAL", "LEAD", "LEADING", "LEAVE", "LEFT", "LIKE", "LIMIT", "LINEAR", "LINES", "LOAD", "LOCALTIME",
    "LOCALTIMESTAMP", "LOCK", "LONG", "LONGBLOB", "LONGTEXT", "LOOP", "LOW_PRIORITY", "MASTER_BIND",
    "MASTER_DEMOTE_TO_REPLICA", "MASTER_DEMOTE_TO_SLAVE", "MASTER_HEARTBEAT_PERIOD", "MASTER_SSL_VERIFY_SERVER_CERT", "MATCH", "MAXVALUE", "MEDIUMBLOB",
    "MEDIUMINT", "MEDIUMTEXT", "MIDDLEINT", "MINUTE_MICROSECOND", "MINUTE_SECOND", "MOD", "MODIFIES",
    "NATURAL", "NOT", "NO_WRITE_TO_BINLOG", "NTH_VALUE", "NTILE", "NULL", "NUMERIC", "OF", "OFFSET", "ON",
    "OPTIMIZE", "OPTIMIZER_COSTS", "OPTION", "OPTIONALLY", "OR", "ORDER", "OUT", "OUTER", "OUTFILE", "OVER",
    "PAGE_CHECKSUM", "PARSE_VCOL_EXPR", "PARTITION", "PERCENT_RANK", "PORTION", "POSITION", "PRECISION", "PRIMARY",
    "PROCEDURE", "PURGE", "RANGE", "RANK", "READ", "READS", "READ_WRITE", "REAL", "RECURSIVE", "REFERENCES",
    "REF_SYSTEM_ID", "REGEXP", "RELEASE", "RENAME", "REPEAT", "REPLACE", "REQUIRE", "RESIGNAL", "RESTRICT",
    "RETURN", "RETURNING", "REVOKE", "RIGHT", "RLIKE", "ROW", "ROWS", "ROW_NUMBER", "SCHEMA", "SCHEMAS",
    "SECOND_MICROSECOND", "SELECT", "SENSITIVE", "SEPARATOR", "SET", "SHOW", "SIGNAL", "SLOW", "SMALLINT",
    "SPATIAL", "SPECIFIC", "SQL", "SQLEXCEPTION", "SQLSTATE", "SQLWARNING", "SQL_BIG_RESULT",
    "SQL_CALC_FOUND_ROWS", "SQL_SMALL_RESULT", "SSL", "STARTING", "STATS_AUTO_RECALC", "STATS_PERSISTENT",
    "STATS_SAMPLE_PAGES", "STORED", "STRAIGHT_JOIN", "SYSTEM", "TABLE", "TERMINATED", "THEN", "TINYBLOB",
    "TINYINT", "TINYTEXT", "TO", "TRAILING", "TRIGGER", "TRUE", "UNDO", "UNION", "UNIQUE", "UNLOCK",
    "UNSIGNED", "UPDATE", "USAGE", "USE", "USING", "UTC_DATE", "UTC_TIME", "UTC_TIMESTAMP", "VALUES",
    "VARBINARY", "VARCHAR", "VARCHARACTER", "VARYING", "VIRTUAL", "WHEN", "WHERE", "WHILE", "WINDOW", "WITH",
    "WRITE", "XOR", "YEAR_MONTH", "ZEROFILL"};

bool isReserved(const std::string& name) {
  std::string upper = name;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  return std::binary_search(kReserved.begin(), kReserved.end(), std::string_view(upper));
}

// A name that starts with a digit can read as a number (123, 1e5, 0x1F, 0b01) and one that
// starts with "_" as a character set introducer (_latin1): both are quoted.
bool isPlainIdentifier(const std::string& name) {
  if (name.empty()) return false;
  const auto first = static_cast<unsigned char>(name.front());
  if (std::isdigit(first) || first == '_') return false;
  return std::all_of(name.begin(), name.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
  });
}

// One of three deliberate maps from field type to MySQL column type. This one is the text of
// "Lag tabell SQL" as the suite has always written it (FLOAT, DOUBLE for money, BLOB for memos):
// operators and their scripts rely on it, so it stays as it is even where it loses precision.
// The lossless map of a conversion is SqlTablePlan's; the server back end's storage is
// store/mariadb/MariaDbSql's.
const char* sqlTypeText(ff::FieldType t) {
  using ff::FieldType;
  switch (t) {
    case FieldType::String:
      return "VARCHAR";
    case FieldType::Smallint:
      return "SMALLINT";
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::AutoInc:
      return "INT";
    case FieldType::LongWord:
      return "INT UNSIGNED";
    case FieldType::Largeint:
      return "BIGINT";
    case FieldType::Boolean:
      return "CHAR(1)";
    case FieldType::Float:
      return "FLOAT";
    case FieldType::Currency:
      return "DOUBLE";
    case FieldType::BCD:
      return "DECIMAL";
    case FieldType::Date:
      return "DATE";
    case FieldType::Time:
      return "TIME";
    case FieldType::DateTime:
      return "DATETIME";
    case FieldType::Bytes:
      return "BINARY";
    case FieldType::VarBytes:
      return "VARBINARY";
    case FieldType::Memo:
    case FieldType::FmtMemo:
      return "BLOB";
    default:
      return "LONGBLOB";
  }
}

void cutToLimit(std::string& s) { s = Utf8Left(s, kLineLimit); }

// The name is cut before it is quoted, so the closing backtick is never cut away.
std::string fieldLine(const ff::TField& field) {
  std::string line = MySqlName(field.FieldName(), kLineLimit) + " " + sqlTypeText(field.DataType());
  cutToLimit(line);
  if (field.Size() > 0 && field.DataType() != ff::FieldType::Float) {
    line += "(" + std::to_string(field.Size()) + ")";
    cutToLimit(line);
  }
  line += " default NULL,";
  cutToLimit(line);
  return line;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// The last character of the line that is not white space; 0 for a blank line.
char lastVisible(const std::string& line) {
  for (auto c = line.rbegin(); c != line.rend(); ++c) {
    if (!isBlank(*c)) return *c;
  }
  return 0;
}

}  // namespace

std::string MySqlName(const std::string& name) {
  if (isPlainIdentifier(name) && !isReserved(name)) return name;
  return SqlQuoted(name, '`');
}

std::string MySqlName(const std::string& name, std::size_t maxChars) {
  std::string cut = Utf8Left(name, maxChars);
  std::string written = MySqlName(cut);
  while (Utf8Length(written) > maxChars && !cut.empty()) {
    cut = Utf8Left(cut, Utf8Length(cut) - 1);
    written = MySqlName(cut);
  }
  return written;
}

void AppendTableSql(std::vector<std::string>& lines, ff::TffTable& table, const std::string& tableName) {
  const std::string name = MySqlName(Utf8Left(tableName, kLineLimit));
  lines.push_back("DROP TABLE IF EXISTS " + name + ";");
  lines.push_back("CREATE TABLE " + name + " ( id INT NOT NULL AUTO_INCREMENT, ");
  for (int i = 0; i < table.FieldCount(); ++i) lines.push_back(fieldLine(table.Fields(i)));
  lines.push_back("PRIMARY KEY (id)");
  lines.push_back(" )");
}

std::vector<std::string> StatementEndAfter(const std::vector<std::string>& lines) {
  for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
    if (const char last = lastVisible(*line)) return last == ';' ? std::vector<std::string>() : std::vector<std::string>{";"};
  }
  return {};
}
