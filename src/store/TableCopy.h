// Copies tables, with their field and index definitions and their rows, from one alias into
// another that can be written: a firm's .ff2 files into a store the suite can write, or a
// whole firm from a folder of this machine onto a database server.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ff {

class TffSession;

// Creates `table` in toAlias with the source's fields and indexes and copies every row as a
// bulk load (rows first, indexes after). Unique indexes become ordinary ones (legacy files may
// hold duplicates the old engine let through). Returns the rows copied. Throws ECannotOpen when
// the source cannot be read and Error when the target table exists or cannot be written. The
// copy appears whole or not at all: a failure, or the process killed midway, leaves no target
// table.
std::int64_t CopyTable(TffSession& session, const std::string& fromAlias, const std::string& table,
                       const std::string& toAlias);

// Copies every table of fromAlias into toAlias, calling copied(table, rows) after each. Unique
// indexes stay unique, but for legacy .ff2 files (as CopyTable). Throws Error, copying nothing,
// when toAlias already holds a table of the same name; a table that fails ends the copy and
// the tables copied before it are removed again. On a server the tables appear all at once
// when the last is copied: a process killed before leaves none, so the copy runs again.
void CopyAlias(TffSession& session, const std::string& fromAlias, const std::string& toAlias,
               const std::function<void(const std::string& table, std::int64_t rows)>& copied);

}  // namespace ff
