// Settings files that hold a server password must be private to their owner.
#pragma once

#include <string>

namespace sql {

// Whether others than the owner may read the file (its group or anyone).
bool OthersCanRead(const std::string& path);

// Why a file holding a password that others can read is refused, and how to fix it.
std::string OthersCanReadMessage(const std::string& path);

}  // namespace sql
