// libFuzzer target for the settings file: a file loaded and saved is byte for byte the file
// read, and a write followed by a save changes what no other key reads back. The input is the
// file, then after a NUL byte the section, key and value of the write, NUL-separated.
// Built by scripts/fuzz.sh.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzContract.h"
#include "settings/IniFile.h"
#include "settings/SettingsError.h"
#include "text/Cp1252.h"
#include "text/Utf8Text.h"

namespace {

// On tmpfs where there is one: the settings file is synced at every save.
const std::string& scratchFile() {
  static const std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  static const std::string path = folder + "/kv-fuzz-ini-" + std::to_string(getpid()) + ".ini";
  return path;
}

std::string fileBytes() {
  std::ifstream in(scratchFile(), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> splitAtNul(const std::string& input) {
  std::vector<std::string> parts(1);
  for (const char c : input) {
    if (c == '\0' && parts.size() < 4) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  parts.resize(4);
  return parts;
}

// Names match as the store matches them: blanks around them ignored, without regard to case.
std::string matchable(const std::string& name) {
  const std::string repaired = RepairUtf8(name);
  const auto first = repaired.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return Utf8Upper(repaired.substr(first, repaired.find_last_not_of(" \t\r") - first + 1));
}

bool sameName(const std::string& a, const std::string& b) { return matchable(a) == matchable(b); }

void checkOtherKeysKept(const IniFile& before, const IniFile& after, const std::string& section,
                        const std::string& key) {
  for (const auto& [s, k] : before.Names()) {
    if (sameName(s, section) && sameName(k, key)) continue;
    Require(before.Read(s, k) == after.Read(s, k), "a write leaves other keys unchanged",
            "[" + s + "] " + k + ": " + before.Read(s, k).value_or("(none)") + " -> " + after.Read(s, k).value_or("(none)"));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = splitAtNul(std::string(reinterpret_cast<const char*>(data), size));
  const std::string& original = parts[0];
  std::ofstream(scratchFile(), std::ios::binary | std::ios::trunc) << original;
  IniFile file = IniFile::Load(scratchFile());
  file.Save();
  Require(fileBytes() == original, "a loaded and saved file is byte-identical");

  const IniFile before = IniFile::Load(scratchFile());
  try {
    file.Write(parts[1], parts[2], parts[3]);
  } catch (const SettingsError&) {
    return 0;
  }
  Require(file.Read(parts[1], parts[2]).has_value(), "a written key reads back");
  file.Save();
  const IniFile after = IniFile::Load(scratchFile());
  Require(after.Read(parts[1], parts[2]).has_value(), "a written key reads back after a save");
  checkOtherKeysKept(before, after, parts[1], parts[2]);
  const std::string saved = fileBytes();
  after.Save();
  Require(fileBytes() == saved, "a saved file loads and saves byte-identical");
  return 0;
}
