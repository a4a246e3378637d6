// $KV_SQL_TIMEOUT set for the life of the object: a frozen server is reported sooner.
#pragma once

#include <cstdlib>

namespace server_test {

class ShortTimeouts {
 public:
  explicit ShortTimeouts(const char* seconds) { ::setenv("KV_SQL_TIMEOUT", seconds, 1); }
  ~ShortTimeouts() { ::unsetenv("KV_SQL_TIMEOUT"); }
  ShortTimeouts(const ShortTimeouts&) = delete;
  ShortTimeouts& operator=(const ShortTimeouts&) = delete;
};

}  // namespace server_test
