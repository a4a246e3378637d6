// The process's connections to SQLite table files: one per file, shared by every handle on
// the table, and kept parked for a while after the last handle closes, for the next open.
#pragma once

#include <memory>
#include <string>

#include "store/Storage.h"

struct sqlite3;

namespace ff {

class SqliteFile;

// Opens a handle on a table file through its shared connection. Throws ECannotOpen (missing,
// damaged, in use by this or another program).
std::unique_ptr<TableStorage> OpenSqliteTable(const std::string& path, const OpenMode& mode);
// Keeps the connection of a file whose last handle closed (scratch files are left to go).
void ParkWhenClosed(const std::shared_ptr<SqliteFile>& file);

// A connection of its own to a file. Throws ECannotOpen.
sqlite3* OpenSqliteDb(const std::string& path, int flags);
// The folder of a table file ("." for a bare file name).
std::string FolderOfTable(const std::string& path);
// True when this process may write the file or folder; errno tells why not.
bool CanWrite(const std::string& path);

}  // namespace ff
