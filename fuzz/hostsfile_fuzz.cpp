// libFuzzer target for the hosts file look-up: any file is read without failing, and the
// server found is "ff_server@" and the start of the last line (cut to 255 characters) that
// holds "ff_server", up to its first tab, else its first blank (empty with neither).
// Built by scripts/fuzz.sh.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "FuzzContract.h"
#include "settings/HostsFile.h"
#include "text/Utf8Text.h"

namespace {

// On tmpfs where there is one: the settings file is synced at every save.
const std::string& scratchFile() {
  static const std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  static const std::string path = folder + "/kv-fuzz-hosts-" + std::to_string(getpid());
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(scratchFile(), std::ios::binary | std::ios::trunc) << bytes;
  const std::optional<std::string> server = LookUpFfServer({"/nonexistent/HOSTS", scratchFile()});
  std::optional<std::string> lastLine;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = Utf8Left(line, 255);
    if (line.find("ff_server") != std::string::npos) lastLine = line;
    start = end + 1;
  }
  Require(server.has_value() == lastLine.has_value(), "a server is found iff a line names ff_server");
  if (!server) return 0;
  std::size_t end = lastLine->find('\t');
  if (end == std::string::npos) end = lastLine->find(' ');
  const std::string address = end == std::string::npos ? std::string() : lastLine->substr(0, end);
  Require(*server == "ff_server@" + address, "the address is the line's start up to its first tab, else blank", *server);
  return 0;
}
