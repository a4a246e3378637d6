#include "settings/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/Cp1252.h"
#include "settings/SettingsError.h"
#include "text/Utf8Text.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// A carriage return counts as a blank: on a last line without a line feed it would otherwise
// be part of the value until a line is added after it.
constexpr std::string_view kBlanks = " \t\r";
// Ends a Windows-1252 file whose bytes would otherwise read as UTF-8 ("æøå" in Windows-1252
// is not UTF-8), so that every key reads back as it was written.
constexpr std::string_view kWindows1252Mark = "; tegnsett Windows-1252: \xE6\xF8\xE5";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// Names and values pass through the same conversion: stray bytes are read as Windows-1252, so
// the file stays in one encoding whatever is written to it.
std::string SectionName(std::string_view section) {
  std::string name = RepairUtf8(section);
  if (Trim(name).empty() || name.find(']') != std::string::npos || HasLineBreak(name)) {
    throw SettingsError("Ugyldig seksjonsnavn i innstillingsfil: \"" + name + "\"");
  }
  return name;
}

std::string KeyName(std::string_view key) {
  std::string name = RepairUtf8(key);
  const std::string_view trimmed = Trim(name);
  if (trimmed.empty() || trimmed.front() == '[' || trimmed.front() == ';' ||
      name.find('=') != std::string::npos || HasLineBreak(name)) {
    throw SettingsError("Ugyldig nøkkel i innstillingsfil: \"" + name + "\"");
  }
  return name;
}

// A value must stay on its own line and in valid UTF-8, or the file would change meaning.
std::string StorableValue(std::string_view value) {
  std::string text = RepairUtf8(value);
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

bool IsAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string FileError(const char* what, const std::string& path, int error) {
  return std::string(what) + " " + path + ": " + std::strerror(error);
}

std::string ReadWholeFile(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    throw SettingsError(FileError("Kan ikke lese innstillingsfilen", path, EISDIR));
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw SettingsError(FileError("Kan ikke lese innstillingsfilen", path, errno));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw SettingsError(FileError("Kan ikke lese innstillingsfilen", path, EIO));
  return std::move(bytes).str();
}

// A settings file that is a link is written through the link, not over it.
fs::path WriteTarget(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(path, ec)) return path;
  const fs::path target = fs::canonical(path, ec);
  return ec ? fs::path(path) : target;
}

class TempFile {
 public:
  TempFile(const fs::path& target, mode_t mode)
      : path_(target.string() + ".tmp" + std::to_string(getpid())),
        fd_(::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode)),
        openError_(fd_ >= 0 ? 0 : errno) {}
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Each returns errno of the failure, or 0.
  int Open() const { return openError_; }
  int WriteAll(std::string_view bytes) const {
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return errno;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
  }
  int CopyModeOf(const fs::path& original) const {
    struct stat st {};
    if (::stat(original.c_str(), &st) != 0) return 0;  // new file: the umask decides
    return ::fchmod(fd_, st.st_mode & 07777) == 0 ? 0 : errno;
  }
  int OwnerOnly() const { return ::fchmod(fd_, 0600) == 0 ? 0 : errno; }
  int CommitAs(const fs::path& target) {
    const int synced = ::fsync(fd_) == 0 ? 0 : errno;
    const int closed = ::close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    if (synced != 0 || closed != 0) return synced != 0 ? synced : closed;
    if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
    committed_ = true;
    return 0;
  }

 private:
  std::string path_;
  int fd_;
  int openError_;
  bool committed_ = false;
};

// Writes bytes to a temporary file beside path and renames it over path, so a failure half-way
// (disk full, no rights) leaves the old file as it was.
void ReplaceFile(const std::string& path, std::string_view bytes, bool ownerOnly) {
  const fs::path target = WriteTarget(path);
  if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) {
    throw SettingsError(FileError("Kan ikke skrive innstillingsfilen", path, errno));
  }
  TempFile temp(target, ownerOnly ? 0600 : 0666);
  int error = temp.Open();
  if (error == 0) error = ownerOnly ? temp.OwnerOnly() : 0;
  if (error == 0) error = temp.WriteAll(bytes);
  if (error == 0 && !ownerOnly) error = temp.CopyModeOf(target);
  if (error == 0) error = temp.CommitAs(target);
  if (error != 0) throw SettingsError(FileError("Kan ikke skrive innstillingsfilen", path, error));
}

}  // namespace

IniFile IniFile::Load(const std::string& path) {
  IniFile file;
  file.path_ = path;
  std::error_code ec;
  const bool exists = fs::exists(path, ec);
  if (ec) throw SettingsError("Kan ikke lese innstillingsfilen " + path + ": " + ec.message());
  if (!exists) return file;
  const std::string raw = ReadWholeFile(path);
  std::string_view bytes = raw;
  if (bytes.starts_with(kByteOrderMark)) {
    file.byteOrderMark_ = true;
    bytes.remove_prefix(kByteOrderMark.size());
  }
  if (file.byteOrderMark_ || IsValidUtf8(bytes)) {
    file.ParseText(bytes);
  } else {
    file.encoding_ = Encoding::Windows1252;
    file.ParseText(Cp1252ToUtf8(bytes));
  }
  return file;
}

void IniFile::ParseText(std::string_view text) {
  while (!text.empty()) {
    const auto newline = text.find('\n');
    std::string_view content = text.substr(0, newline);
    std::string eol;
    if (newline != std::string_view::npos) {
      eol = "\n";
      if (content.ends_with('\r')) {
        content.remove_suffix(1);
        eol = "\r\n";
      }
    }
    lines_.push_back(ParseLine(std::string(content), std::move(eol)));
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
  }
}

IniFile::Line IniFile::ParseLine(std::string text, std::string eol) {
  Line line;
  const std::string_view trimmed = Trim(text);
  const auto equals = trimmed.find('=');
  if (trimmed.starts_with('[')) {
    const auto close = trimmed.find(']');
    if (close != std::string_view::npos) {
      line.kind = LineKind::Section;
      line.name = Trim(trimmed.substr(1, close - 1));
    }
  } else if (!trimmed.starts_with(';') && equals != std::string_view::npos) {
    line.name = Trim(trimmed.substr(0, equals));
    line.value = Trim(trimmed.substr(equals + 1));
    if (!line.name.empty()) line.kind = LineKind::Key;
  }
  line.folded = Utf8Upper(RepairUtf8(line.name));
  line.text = std::move(text);
  line.eol = std::move(eol);
  return line;
}

IniFile::Line IniFile::KeyLine(std::string_view key, std::string_view value, std::string eol) {
  return ParseLine(std::string(Trim(key)) + "=" + std::string(value), std::move(eol));
}

IniFile::Line IniFile::SectionLine(std::string_view section, std::string eol) {
  return ParseLine("[" + std::string(Trim(section)) + "]", std::move(eol));
}

IniFile::Place IniFile::Locate(std::string_view section, std::string_view key) const {
  const std::string sectionFolded = Utf8Upper(Trim(RepairUtf8(section)));
  const std::string keyFolded = Utf8Upper(Trim(RepairUtf8(key)));
  Place place;
  bool inSection = false;
  bool firstSectionDone = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::Section) {
      if (inSection) firstSectionDone = true;
      inSection = line.folded == sectionFolded;
    }
    if (!inSection || line.kind == LineKind::Other) continue;
    if (line.kind == LineKind::Key && line.folded == keyFolded) {
      place.keyLine = i;
      return place;
    }
    if (!firstSectionDone) place.lastLineOfSection = i;
  }
  return place;
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
  const Place place = Locate(section, key);
  if (!place.keyLine) return std::nullopt;
  return lines_[*place.keyLine].value;
}

std::vector<std::pair<std::string, std::string>> IniFile::Names() const {
  std::vector<std::pair<std::string, std::string>> names;
  const Line* section = nullptr;
  for (const Line& line : lines_) {
    if (line.kind == LineKind::Section) section = &line;
    if (line.kind == LineKind::Key && section) names.emplace_back(section->name, line.name);
  }
  return names;
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  const std::string sectionName = SectionName(section);
  const std::string keyName = KeyName(key);
  CheckEncodable(sectionName);
  CheckEncodable(keyName);
  const std::string text = StorableValue(value);
  const Place place = Locate(sectionName, keyName);
  if (place.keyLine) {
    Line& line = lines_[*place.keyLine];
    line = KeyLine(line.name, text, line.eol);
  } else if (place.lastLineOfSection) {
    InsertLine(*place.lastLineOfSection + 1, KeyLine(keyName, text, NewLineEnd()));
  } else {
    InsertLine(lines_.size(), SectionLine(sectionName, NewLineEnd()));
    InsertLine(lines_.size(), KeyLine(keyName, text, NewLineEnd()));
  }
}

void IniFile::InsertLine(std::size_t at, Line line) {
  if (at > 0 && lines_[at - 1].eol.empty()) lines_[at - 1].eol = NewLineEnd();
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

// New lines follow the file's own line ends.
std::string IniFile::NewLineEnd() const {
  for (const Line& line : lines_) {
    if (!line.eol.empty()) return line.eol;
  }
  return "\n";
}

// A name the file's encoding lacks a letter of would be saved as another name ("?"), which
// could then shadow a key of that name.
void IniFile::CheckEncodable(const std::string& name) const {
  if (encoding_ == Encoding::Windows1252 && Cp1252ToUtf8(Utf8ToCp1252(name)) != name) {
    throw SettingsError("Navnet \"" + name + "\" kan ikke skrives i innstillingsfilens tegnsett (Windows-1252)");
  }
}

std::string IniFile::Serialize() const {
  std::string text;
  for (const Line& line : lines_) text += line.text + line.eol;
  if (encoding_ == Encoding::Utf8) return byteOrderMark_ ? std::string(kByteOrderMark) + text : text;
  std::string bytes = Utf8ToCp1252(text);
  if (IsValidUtf8(bytes) && !IsAscii(bytes)) {
    if (!lines_.empty() && lines_.back().eol.empty()) bytes += NewLineEnd();
    bytes += std::string(kWindows1252Mark) + NewLineEnd();
  }
  return bytes;
}

void IniFile::Save(bool ownerOnly) const {
  if (path_.empty()) throw SettingsError("Ingen innstillingsfil er åpnet");
  ReplaceFile(path_, Serialize(), ownerOnly);
}
