// The program's back ends: SQLite tables, legacy .ff2 files and MariaDB servers over TCP/IP.
#pragma once

namespace ff {

// Registers the standard back ends with the store (see store/Backends.h). Every program that
// opens tables calls it once at start-up; later calls do nothing.
void RegisterStandardBackends();

}  // namespace ff
