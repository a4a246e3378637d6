// Values sent to and read from the server by prepared statements.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace sql {

// Bytes sent and read as such (BLOB), not as text in the connection's character set.
struct SqlBytes {
  std::string bytes;
  bool operator==(const SqlBytes&) const = default;
};

// NULL, a whole number, an unsigned one (BIGINT UNSIGNED), a double, UTF-8 text or bytes.
using SqlValue = std::variant<std::monostate, std::int64_t, std::uint64_t, double, std::string, SqlBytes>;
using SqlRow = std::vector<SqlValue>;

inline bool IsNull(const SqlValue& v) { return std::holds_alternative<std::monostate>(v); }

}  // namespace sql
