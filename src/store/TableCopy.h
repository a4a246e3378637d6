// Copies a table, with its field and index definitions and its rows, from one alias into the
// SQLite storage of another (for example a firm's .ff2 files into a store the suite can write).
#pragma once

#include <cstdint>
#include <string>

namespace ff {

class TffSession;

// Creates `table` in toAlias with the source's fields and indexes and copies every row in
// one durable unit. Returns the rows copied. Throws ECannotOpen when the source cannot be
// read and Error when the target table exists or cannot be written; a failed copy leaves
// no target table behind.
std::int64_t CopyTable(TffSession& session, const std::string& fromAlias, const std::string& table,
                       const std::string& toAlias);

}  // namespace ff
