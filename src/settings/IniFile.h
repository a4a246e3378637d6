// An INI file held whole in memory. Every line is kept, so a file written back untouched is
// byte for byte the file read: comments, blank lines, lines that are not INI at all, the line
// ends and the encoding (UTF-8, with or without a byte-order mark, or Windows-1252) all stay.
// Section and key names match without regard to case; text inside is UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class IniFile {
 public:
  enum class Encoding { Utf8, Windows1252 };

  // An empty store bound to no file; Save() refuses it.
  IniFile() = default;

  // Reads the file at path: valid UTF-8 is read as UTF-8, anything else as Windows-1252.
  // A missing file gives an empty store bound to path (written as UTF-8).
  // Throws SettingsError when the file exists but cannot be read.
  static IniFile Load(const std::string& path);

  // The file this store is bound to; empty for none.
  const std::string& Path() const { return path_; }
  Encoding FileEncoding() const { return encoding_; }

  // Returns the value of key in section (blanks around it removed); nullopt when missing.
  // Of repeated keys the first counts.
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;

  // The section and key name of every key line, in file order, as written (so a name may
  // come twice). Key lines before the first section header belong to no section and are left out.
  std::vector<std::pair<std::string, std::string>> Names() const;

  // Sets key in section, adding the key (after the section's last key) or the section (at the
  // end) when missing. Stray bytes in section, key and value are read as Windows-1252 and line
  // breaks in value become blanks, so the file always stays valid and no other key reads back
  // differently. Throws SettingsError for a section or key that an INI line or the file's
  // encoding cannot hold.
  void Write(std::string_view section, std::string_view key, std::string_view value);

  // Rewrites the whole file (creating it when missing) in the encoding it was read in; a
  // character that Windows-1252 lacks is written as "?". A Windows-1252 file whose bytes would
  // read as UTF-8 gets a comment line naming its encoding in letters UTF-8 cannot hold. The old file is replaced only once
  // the new one is completely on disk. Throws SettingsError when it cannot be written, or when
  // the store is bound to no file; the store itself is unchanged either way. The file keeps
  // its access rights, or with ownerOnly becomes readable by its owner only (it holds a
  // password).
  void Save(bool ownerOnly = false) const;

 private:
  enum class LineKind { Section, Key, Other };

  struct Line {
    std::string text;  // as read, without the line end
    std::string eol;   // "\n", "\r\n", or empty for a last line without one
    LineKind kind = LineKind::Other;
    std::string name;  // section or key name as written
    std::string folded;  // name upper-cased, for matching
    std::string value;   // value of a key line
  };

  static Line ParseLine(std::string text, std::string eol);
  static Line KeyLine(std::string_view key, std::string_view value, std::string eol);
  static Line SectionLine(std::string_view section, std::string eol);
  // Where a key is: its line, and the line after which a new key of its section belongs
  // (the section's last key, else its header); either missing when there is none.
  struct Place {
    std::optional<std::size_t> keyLine;
    std::optional<std::size_t> lastLineOfSection;
  };

  void ParseText(std::string_view text);
  Place Locate(std::string_view section, std::string_view key) const;
  void InsertLine(std::size_t at, Line line);
  std::string NewLineEnd() const;
  void CheckEncodable(const std::string& name) const;
  std::string Serialize() const;

  std::string path_;
  Encoding encoding_ = Encoding::Utf8;
  bool byteOrderMark_ = false;
  std::vector<Line> lines_;
};
