// Looks up the FlashFiler server's address in the hosts file.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A hosts file exists but cannot be read.
class HostsFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns the hosts files to look in, in order: the two Windows paths, then "/etc/hosts".
std::vector<std::string> DefaultHostsFiles();

// Reads the first of hostsFiles that exists. Returns "ff_server@" followed by the address of
// the last line holding "ff_server" (exact case, anywhere in the line; lines count up to 255
// characters): the text before the line's first tab, or when it has none before its first
// blank, or empty when it has neither. Returns nullopt when no file exists or no line matches.
// Throws HostsFileError when the file exists but cannot be read.
std::optional<std::string> LookUpFfServer(const std::vector<std::string>& hostsFiles);
