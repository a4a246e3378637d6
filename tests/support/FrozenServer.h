// The private MariaDB's process stopped (SIGSTOP) for the life of the object, as a server whose
// machine hangs: its kernel still takes connections and acknowledges bytes.
#pragma once

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/TcpServer.h"

namespace server_test {

class FrozenServer {
 public:
  FrozenServer() {
    std::ifstream in(privateServerFolder() + "/mysqld.pid");
    in >> pid_;
    if (pid_ > 0 && ::kill(pid_, SIGSTOP) != 0) pid_ = 0;
    stopped_ = pid_ > 0 && waitUntilEveryThreadStopped();
  }
  ~FrozenServer() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
  }
  FrozenServer(const FrozenServer&) = delete;
  FrozenServer& operator=(const FrozenServer&) = delete;
  bool stopped() const { return stopped_; }

 private:
  // kill() returns before the stop reaches every thread; a thread still running may answer.
  bool waitUntilEveryThreadStopped() const {
    for (int i = 0; i < 500; ++i) {
      if (everyThreadStopped()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
  bool everyThreadStopped() const {
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid_) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
      std::ifstream stat(task.path() / "stat");
      std::string line;
      std::getline(stat, line);
      const auto close = line.rfind(')');
      if (close == std::string::npos || close + 2 >= line.size()) return false;
      const char state = line[close + 2];
      if (state != 'T' && state != 't') return false;
    }
    return !error;
  }

  pid_t pid_ = 0;
  bool stopped_ = false;
};

}  // namespace server_test
