// The settings store (one INI file held in memory, section "STANDARD") and the small common
// helpers of the suite: user name, database alias, last account numbers, clock-time normaliser.
// Process-wide state, used from the GUI thread only. All texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/SettingsError.h"

// ---- Store life cycle -------------------------------------------------------------------------

// Finds the settings folder ("../etc/", "etc/", "/veltrino/etc/", else "./", relative to the
// working folder), opens VELTRINO.INI there (missing: empty store) and records the folder as
// "etc_folder" in section "FOLDERS". Starts a new run: the user-name cache is emptied and the
// section is "STANDARD". Anything held in memory before is dropped without writing.
// Throws SettingsError when the settings file exists but cannot be read; the store is then
// empty and refuses to write back until a file has been opened.
void InitSettingsStore();

// As above, with the candidate folders given (tried in order; each ends in "/").
// REQUIRES: candidates is not empty.
void InitSettingsStore(const std::vector<std::string>& candidates);

// Writes the current file back (program end). The store stays usable.
// Throws SettingsError when the file cannot be written; memory keeps every value.
void CloseSettings();

// Full path of the settings folder, ending in "/" after start-up.
std::string SettingsFolder();
// Full path of the common (or per-database) settings file.
std::string SettingsFileName();
// Full path of the file all reads and writes go to now.
std::string CurrentSettingsFile();
// Section of every read and write: "STANDARD" (only "FOLDERS" inside WriteFolderSetting).
std::string SettingsSection();

// ---- Typed reads and writes in SettingsSection() ---------------------------------------------
// Keys and sections match without regard to case (Norwegian letters included).
// Values are cut to 255 characters on reading and on writing.

// Returns the key's value; empty when missing.
std::string ReadSetting(std::string_view key);

// Returns the value as a decimal integer; 0 when missing, not a number or out of range.
int32_t ReadSettingInt(std::string_view key);

// Returns the value as a number, decimal comma or point; 0 when missing or not a number.
long double ReadSettingFloat(std::string_view key);

// Sets the key in memory; the disk file changes at the next write-back. Line breaks in the
// value become blanks. Throws SettingsError for a key that an INI line cannot hold (empty,
// holding "=" or a line break, starting with "[" or ";").
void WriteSetting(std::string_view key, std::string_view value);

// Writes the number as decimal text ("1024").
void WriteSettingInt(std::string_view key, int32_t value);

// Writes the number with a decimal comma; whole numbers without decimals ("1024", "12,5").
void WriteSettingFloat(std::string_view key, long double value);

// Writes the current file back to disk now.
// Throws SettingsError when it cannot be written; memory keeps every value.
void FlushSettings();

// ---- File switches ------------------------------------------------------------------------------
// Each writes the current file back first. When that or reading the new file fails, they throw
// SettingsError and the current file stays as it was.

// Opens SettingsFolder() + GetUserName() + ".INI" as the current file.
void UseUserSettingsFile();
// Opens SettingsFileName() as the current file.
void UseCommonSettingsFile();
// Makes SettingsFolder() + alias + ".ini" the common file and opens it.
void UseDatabaseSettingsFile(std::string_view alias);

// Stores path (with "/" appended when missing) under name + "_folder" in section "FOLDERS".
// Leaves SettingsSection() as it was. Throws as WriteSetting.
void WriteFolderSetting(std::string_view name, std::string_view path);

// ---- Common helpers ---------------------------------------------------------------------------

// Returns the user name of this run upper-cased; the first call with an empty cache fills the
// cache from GetWindowsUserName().
std::string GetUserName();

// Writes name under "Brukernavn" and makes it the user name of this run, in the case given.
void SetUserName(std::string_view name);

// Returns "Brukernavn" as stored, without fall-back and without upper-casing.
std::string ReadStoredUserName();

// Returns the logged-on user: $USERNAME, else $USER, else $LOGNAME; empty when none is set.
std::string GetWindowsUserName();

// Returns "Net_Alias", or "KvistMerket" when that is empty.
std::string GetNetAlias();

// Returns "Konto_Sistekontoinn" (its first 12 characters; empty counts as 0) as a number.
// Throws SettingsValueError when the stored text is not a 32-bit whole number.
int32_t ReadLastAccountIn();

// Stores number under "Konto_Sistekontoinn"; 0 stores nothing.
void WriteLastAccountIn(int32_t number);

// Stores number under "Konto_Sistekontout"; 0 stores nothing.
void WriteLastAccountOut(int32_t number);

// Turns a typed clock time into hh:mm ("7" -> "07:00", "7.30" -> "07:30", "1245" -> "12:45");
// text it cannot read is returned with everything but digits and colons removed.
std::string NormalizeTimeText(std::string_view text);
