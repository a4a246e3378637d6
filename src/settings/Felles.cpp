#include "settings/Felles.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <utility>

#include "text/Cp1252.h"
#include "settings/IniFile.h"
#include "text/Utf8Text.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxTextLength = 255;
constexpr std::string_view kCommonFileName = "VELTRINO.INI";
constexpr std::string_view kDefaultSection = "STANDARD";

struct SettingsStore {
  std::string folder = "../etc/";
  std::string fileName = std::string(kCommonFileName);
  std::string section = std::string(kDefaultSection);
  IniFile current;
  std::string userName;  // this run's user, in the case given
};

SettingsStore& Store() {
  static SettingsStore store;
  return store;
}

std::string ShortText(std::string_view text) { return Utf8Left(RepairUtf8(text), kMaxTextLength); }

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<int32_t> ParseInt(std::string_view text) {
  text = TrimBlanks(text);
  if (text.starts_with("+-")) return std::nullopt;
  if (text.starts_with('+')) text.remove_prefix(1);
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Accepts a decimal comma or point, as the suite's files and its users write either.
std::optional<long double> ParseFloat(std::string_view text) {
  std::string number(TrimBlanks(text));
  if (number.starts_with("+-")) return std::nullopt;
  if (number.starts_with('+')) number.erase(0, 1);
  const auto comma = number.find(',');
  if (comma != std::string::npos) number[comma] = '.';
  long double value = 0;
  const char* last = number.data() + number.size();
  const auto [end, error] = std::from_chars(number.data(), last, value);
  if (number.empty() || error != std::errc() || end != last || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::string FormatFloat(long double value) {
  if (value == 0) value = 0;  // no "-0"
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == '.') c = ',';
  }
  return text;
}

// Names typed by people become file names: keep them inside the settings folder.
std::string SafeFileName(std::string_view name) {
  std::string text = ShortText(name);
  for (char& c : text) {
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  }
  return text;
}

std::string FolderOf(const fs::path& file) {
  std::string folder = file.parent_path().string();
  if (!folder.ends_with('/')) folder += '/';
  return folder;
}

fs::path FullPath(const fs::path& path) {
  std::error_code ec;
  const fs::path full = fs::absolute(path, ec);
  return (ec ? path : full).lexically_normal();
}

std::string FirstExistingFolder(const std::vector<std::string>& candidates) {
  for (const std::string& candidate : candidates) {
    std::error_code ec;
    if (fs::is_directory(candidate, ec)) return candidate;
  }
  return candidates.back();
}

// Writes the current file back, then makes path the current file. On failure the current file
// stays. A store bound to no file (its start-up read failed) has nothing to write back.
void SwitchTo(const std::string& path) {
  SettingsStore& store = Store();
  if (!store.current.Path().empty()) store.current.Save();
  store.current = IniFile::Load(path);
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// Switches SettingsSection for the life of the object.
class SectionScope {
 public:
  explicit SectionScope(std::string section) : remembered_(std::move(Store().section)) {
    Store().section = std::move(section);
  }
  ~SectionScope() { Store().section = std::move(remembered_); }
  SectionScope(const SectionScope&) = delete;
  SectionScope& operator=(const SectionScope&) = delete;

 private:
  std::string remembered_;
};

void WriteAccountNumber(std::string_view key, int32_t number) {
  if (number != 0) WriteSettingInt(key, number);
}

}  // namespace

void InitSettingsStore() { InitSettingsStore({"../etc/", "etc/", "/veltrino/etc/", "./"}); }

void InitSettingsStore(const std::vector<std::string>& candidates) {
  const fs::path file = FullPath(FirstExistingFolder(candidates) + std::string(kCommonFileName));
  SettingsStore& store = Store();
  store = SettingsStore{};
  store.fileName = file.string();
  store.folder = FolderOf(file);
  store.current = IniFile::Load(store.fileName);
  WriteFolderSetting("etc", store.folder);
}

void CloseSettings() { FlushSettings(); }

std::string SettingsFolder() { return Store().folder; }
std::string SettingsFileName() { return Store().fileName; }
std::string CurrentSettingsFile() { return Store().current.Path(); }
std::string SettingsSection() { return Store().section; }

std::string ReadSetting(std::string_view key) {
  const SettingsStore& store = Store();
  return Utf8Left(store.current.Read(store.section, key).value_or(""), kMaxTextLength);
}

int32_t ReadSettingInt(std::string_view key) { return ParseInt(ReadSetting(key)).value_or(0); }

long double ReadSettingFloat(std::string_view key) {
  return ParseFloat(ReadSetting(key)).value_or(0);
}

void WriteSetting(std::string_view key, std::string_view value) {
  SettingsStore& store = Store();
  store.current.Write(store.section, key, ShortText(value));
}

void WriteSettingInt(std::string_view key, int32_t value) {
  WriteSetting(key, std::to_string(value));
}

void WriteSettingFloat(std::string_view key, long double value) {
  WriteSetting(key, FormatFloat(value));
}

void FlushSettings() { Store().current.Save(); }

void UseUserSettingsFile() { SwitchTo(Store().folder + SafeFileName(GetUserName()) + ".INI"); }

void UseCommonSettingsFile() { SwitchTo(Store().fileName); }

void UseDatabaseSettingsFile(std::string_view alias) {
  const std::string path = Store().folder + SafeFileName(alias) + ".ini";
  SwitchTo(path);
  Store().fileName = path;
}

void WriteFolderSetting(std::string_view name, std::string_view path) {
  std::string folder(path);
  if (!folder.empty() && !folder.ends_with('/')) folder += '/';
  const SectionScope folders("FOLDERS");
  WriteSetting(std::string(name) + "_folder", folder);
}

std::string GetUserName() {
  SettingsStore& store = Store();
  if (store.userName.empty()) store.userName = GetWindowsUserName();
  return Utf8Upper(store.userName);
}

void SetUserName(std::string_view name) {
  const std::string text = ShortText(name);
  WriteSetting("Brukernavn", text);
  Store().userName = text;
}

std::string ReadStoredUserName() { return ReadSetting("Brukernavn"); }

std::string GetWindowsUserName() {
  for (const char* variable : {"USERNAME", "USER", "LOGNAME"}) {
    const std::string value = EnvironmentValue(variable);
    if (!value.empty()) return ShortText(value);
  }
  return {};
}

std::string GetNetAlias() {
  const std::string alias = ReadSetting("Net_Alias");
  return alias.empty() ? "KvistMerket" : alias;
}

int32_t ReadLastAccountIn() {
  std::string text = Utf8Left(ReadSetting("Konto_Sistekontoinn"), 12);
  if (text.empty()) text = "0";
  const std::optional<int32_t> number = ParseInt(text);
  if (!number) throw SettingsValueError("'" + text + "' er ikke et gyldig heltall");
  return *number;
}

void WriteLastAccountIn(int32_t number) { WriteAccountNumber("Konto_Sistekontoinn", number); }

void WriteLastAccountOut(int32_t number) { WriteAccountNumber("Konto_Sistekontout", number); }

std::string NormalizeTimeText(std::string_view text) {
  std::string time;
  for (const char c : Utf8Left(text, kMaxTextLength)) {
    if ((c >= '0' && c <= '9') || c == ':') time += c;
  }
  const auto digit = [&](std::size_t i) { return time[i] >= '0' && time[i] <= '9'; };
  const auto digitNotZero = [&](std::size_t i) { return digit(i) && time[i] != '0'; };
  if (time.size() == 1 && digitNotZero(0)) return "0" + time + ":00";
  if (time.size() == 2 && digit(0) && digit(1)) return time + ":00";
  if (time.size() == 3 && digitNotZero(0) && digit(1) && digit(2)) {
    return "0" + time.substr(0, 1) + ":" + time.substr(1);
  }
  if (time.size() == 4 && digit(0) && digit(1) && digit(2) && digit(3)) {
    return time.substr(0, 2) + ":" + time.substr(2);
  }
  return time;
}
