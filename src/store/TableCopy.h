// Copies a table, with its field and index definitions and its rows, from one alias into the
// SQLite storage of another (for example a firm's .ff2 files into a store the suite can write).
#pragma once

#include <cstdint>
#include <string>

namespace ff {

class TffSession;

// Creates `table` in toAlias with the source's fields and indexes and copies every row as a
// bulk load (rows first, indexes after). Returns the rows copied. Throws ECannotOpen when the
// source cannot be read and Error when the target table exists or cannot be written. The copy
// appears whole or not at all: a failure, or the process killed midway, leaves no target table.
std::int64_t CopyTable(TffSession& session, const std::string& fromAlias, const std::string& table,
                       const std::string& toAlias);

}  // namespace ff
