// A throw-away alias: a temporary folder registered in a temporary FlashFiler configuration
// folder, both removed at the end of the test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "store/Aliases.h"

class TempAlias {
 public:
  explicit TempAlias(const std::string& alias = "TESTDB") : alias_(alias) {
    char pattern[] = "/tmp/kvtest-XXXXXX";
    root_ = mkdtemp(pattern);
    setenv("FF_CONFIG_DIR", (root_ + "/config").c_str(), 1);
    folder_ = root_ + "/data/";
    ff::AddAlias(alias_, folder_);
  }
  ~TempAlias() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  TempAlias(const TempAlias&) = delete;
  TempAlias& operator=(const TempAlias&) = delete;

  const std::string& alias() const { return alias_; }
  const std::string& folder() const { return folder_; }
  const std::string& root() const { return root_; }

 private:
  std::string alias_;
  std::string root_;
  std::string folder_;
};
