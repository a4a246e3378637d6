#include "settings/HostsFile.h"

#include <filesystem>
#include <fstream>

#include "text/Utf8Text.h"

namespace {

constexpr std::size_t kMaxLineLength = 255;
constexpr std::string_view kServerMark = "ff_server";

std::optional<std::string> firstExistingFile(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec)) return file;
  }
  return std::nullopt;
}

std::string addressOfLine(const std::string& line) {
  auto end = line.find('\t');
  if (end == std::string::npos) end = line.find(' ');
  return end == std::string::npos ? std::string() : line.substr(0, end);
}

}  // namespace

std::vector<std::string> DefaultHostsFiles() {
  return {"C:\\WINDOWS\\HOSTS", "C:\\WINNT\\SYSTEM32\\DRIVERS\\ETC\\HOSTS", "/etc/hosts"};
}

std::optional<std::string> LookUpFfServer(const std::vector<std::string>& hostsFiles) {
  const std::optional<std::string> path = firstExistingFile(hostsFiles);
  if (!path) return std::nullopt;
  std::ifstream in(*path, std::ios::binary);
  if (!in) throw HostsFileError("Kan ikke lese " + *path);
  std::optional<std::string> server;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = Utf8Left(line, kMaxLineLength);
    if (line.find(kServerMark) != std::string::npos) {
      server = std::string(kServerMark) + "@" + addressOfLine(line);
    }
  }
  if (in.bad()) throw HostsFileError("Kan ikke lese " + *path);
  return server;
}
