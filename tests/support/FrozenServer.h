// The private MariaDB's process stopped (SIGSTOP) for the life of the object, as a server whose
// machine hangs: its kernel still takes connections and acknowledges bytes.
#pragma once

#include <signal.h>

#include <fstream>

#include "support/TcpServer.h"

namespace server_test {

class FrozenServer {
 public:
  FrozenServer() {
    std::ifstream in(privateServerFolder() + "/mysqld.pid");
    in >> pid_;
    if (pid_ > 0 && ::kill(pid_, SIGSTOP) != 0) pid_ = 0;
  }
  ~FrozenServer() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
  }
  FrozenServer(const FrozenServer&) = delete;
  FrozenServer& operator=(const FrozenServer&) = delete;
  bool stopped() const { return pid_ > 0; }

 private:
  pid_t pid_ = 0;
};

}  // namespace server_test
