#include "settings/Felles.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "text/Utf8Text.h"
#include "SettingsTestSupport.h"

using settings_test::EnvVar;
using settings_test::ReadBytes;
using settings_test::TempDir;
using settings_test::WorkingFolder;
using settings_test::WriteBytes;

namespace fs = std::filesystem;

namespace {

class FellesTest : public ::testing::Test {
 protected:
  // Starts a run from the working folder root/work; with an etc folder there unless told not.
  void Start(bool withEtc = true) {
    if (withEtc) etc_ = root_.MakeFolder("work/etc");
    cwd_.emplace(work_);
    InitSettingsStore();
  }
  void StartWithFile(const std::string& bytes) {
    etc_ = root_.MakeFolder("work/etc");
    WriteBytes(etc_ + "VELTRINO.INI", bytes);
    Start();
  }
  std::string FoldersLine() const { return "[FOLDERS]\netc_folder=" + etc_ + "\n"; }

  TempDir root_;
  std::string work_ = root_.MakeFolder("work");
  std::string etc_;
  EnvVar username_{"USERNAME", std::nullopt};
  EnvVar user_{"USER", "tester"};
  EnvVar logname_{"LOGNAME", std::nullopt};
  std::optional<WorkingFolder> cwd_;
};

// ---- Start-up -----------------------------------------------------------------------------

TEST_F(FellesTest, ParentEtcComesBeforeLocalEtc) {
  const std::string parentEtc = root_.MakeFolder("etc");
  Start();
  EXPECT_EQ(SettingsFolder(), parentEtc);
  EXPECT_EQ(SettingsFileName(), parentEtc + "VELTRINO.INI");
}

TEST_F(FellesTest, LocalEtcIsRecordedUnderFolders) {
  Start();
  EXPECT_EQ(SettingsFolder(), etc_);
  EXPECT_EQ(SettingsFileName(), etc_ + "VELTRINO.INI");
  EXPECT_EQ(SettingsSection(), "STANDARD");
  EXPECT_FALSE(fs::exists(etc_ + "VELTRINO.INI"));  // memory only until written back
  FlushSettings();
  EXPECT_EQ(ReadBytes(etc_ + "VELTRINO.INI"), FoldersLine());
}

TEST_F(FellesTest, WorkingFolderWhenNoCandidateExists) {
  if (fs::is_directory("/veltrino/etc")) GTEST_SKIP() << "this machine has /veltrino/etc";
  Start(false);
  EXPECT_EQ(SettingsFolder(), work_);
}

TEST_F(FellesTest, FirstExistingCandidateWins) {
  const std::string third = root_.MakeFolder("veltrino/etc");
  root_.MakeFolder("work/etc");
  InitSettingsStore({root_.Path() + "mangler/", root_.Path() + "ikke/", third, "./"});
  EXPECT_EQ(SettingsFolder(), third);
}

TEST_F(FellesTest, EachStartIsANewRun) {
  StartWithFile("[STANDARD]\r\nNet_Alias=FIRMA1\r\n");
  SetUserName("ola");
  InitSettingsStore();
  EXPECT_EQ(GetUserName(), "TESTER");
  EXPECT_EQ(ReadSetting("Net_Alias"), "FIRMA1");
  EXPECT_EQ(ReadStoredUserName(), "");  // "ola" was never written back
}

// ---- Encoding and file shape ---------------------------------------------------------------

TEST_F(FellesTest, SuiteFileInWindows1252IsReadAndWrittenBackAsItWas) {
  etc_ = root_.MakeFolder("work/etc");
  const std::string file =
      "[STANDARD]\r\nDatabase_Personal_\xC5pnes=1\r\nFirma_PostSted=Troms\xF8\r\n"
      "ikke en innstilling\r\n[FOLDERS]\r\netc_folder=" + etc_ + "\r\n";
  StartWithFile(file);
  EXPECT_EQ(ReadSettingInt("database_personal_åpnes"), 1);
  EXPECT_EQ(ReadSetting("FIRMA_POSTSTED"), "Tromsø");
  CloseSettings();
  EXPECT_EQ(ReadBytes(etc_ + "VELTRINO.INI"), file);
  WriteSetting("Firma_Navn", "Blåbær AS");
  FlushSettings();
  EXPECT_NE(ReadBytes(etc_ + "VELTRINO.INI").find("Firma_Navn=Bl\xE5" "b\xE6r AS\r\n"),
            std::string::npos);
}

TEST_F(FellesTest, FileThatIsNotIniKeepsItsBytesAndStillWorks) {
  static constexpr char kGarbage[] = "\x89PNG\r\n\x1A\n\x00\x00[\xFF\xFE=";
  const std::string garbage(kGarbage, sizeof kGarbage - 1);
  StartWithFile(garbage);
  EXPECT_EQ(ReadSetting("Net_Alias"), "");
  WriteSetting("Net_Alias", "FIRMA1");
  FlushSettings();
  const std::string disk = ReadBytes(etc_ + "VELTRINO.INI");
  EXPECT_EQ(disk.substr(0, garbage.size()), garbage);
  InitSettingsStore();
  EXPECT_EQ(GetNetAlias(), "FIRMA1");
}

// ---- Typed reads and writes -----------------------------------------------------------------

TEST_F(FellesTest, NumbersAcceptCommaAndPointAndFallBackToZero) {
  StartWithFile(
      "[STANDARD]\nI1=12\nI2= -7 \nI3=1,5\nI4=99999999999\nI5=abc\n"
      "F1=1,5\nF2=2.25\nF3=-0,125\nF4=1,2,3\nF5=12 km\nF6=\n");
  EXPECT_EQ(ReadSettingInt("I1"), 12);
  EXPECT_EQ(ReadSettingInt("I2"), -7);
  for (const char* key : {"I3", "I4", "I5", "Mangler"}) EXPECT_EQ(ReadSettingInt(key), 0) << key;
  EXPECT_EQ(ReadSettingFloat("F1"), 1.5L);
  EXPECT_EQ(ReadSettingFloat("F2"), 2.25L);
  EXPECT_EQ(ReadSettingFloat("F3"), -0.125L);
  for (const char* key : {"F4", "F5", "F6", "Mangler"}) {
    EXPECT_EQ(ReadSettingFloat(key), 0.0L) << key;
  }
}

TEST_F(FellesTest, NumbersAreWrittenWithDecimalComma) {
  Start();
  WriteSettingFloat("Arbeid_KmSumBil", 1024);
  WriteSettingFloat("Arbeid_KmSumHenger", 12.5L);
  WriteSettingFloat("Arbeid_KmSumUtstyr", -0.0L);
  WriteSettingInt("DataBase_AutoTimerSekund", -30);
  EXPECT_EQ(ReadSetting("Arbeid_KmSumBil"), "1024");
  EXPECT_EQ(ReadSetting("Arbeid_KmSumHenger"), "12,5");
  EXPECT_EQ(ReadSetting("Arbeid_KmSumUtstyr"), "0");
  EXPECT_EQ(ReadSetting("DataBase_AutoTimerSekund"), "-30");
  WriteSettingFloat("PosteringKontoBank", 0.1L);
  EXPECT_NEAR(static_cast<double>(ReadSettingFloat("PosteringKontoBank")), 0.1, 1e-15);
}

TEST_F(FellesTest, TextIsCutAt255Characters) {
  std::string longText;
  for (int i = 0; i < 300; ++i) longText += "ø";
  StartWithFile("[STANDARD]\nFirma_Navn=" + longText + "\n");
  EXPECT_EQ(ReadSetting("Firma_Navn"), Utf8Left(longText, 255));
  WriteSetting("Firma_GateAdresse", longText);
  FlushSettings();
  EXPECT_NE(ReadBytes(etc_ + "VELTRINO.INI")
                .find("Firma_GateAdresse=" + Utf8Left(longText, 255) + "\n"),
            std::string::npos);
  EXPECT_EQ(ReadSetting("Firma_GateAdresse").size(), 2u * 255u);
}

TEST_F(FellesTest, WriteFolderSettingAddsTheSlashAndRestoresTheSection) {
  Start();
  WriteFolderSetting("data", "/srv/veltrino/data");
  WriteFolderSetting("tom", "");
  EXPECT_THROW(WriteFolderSetting("a=b", "/x"), SettingsError);
  EXPECT_EQ(SettingsSection(), "STANDARD");
  EXPECT_EQ(ReadSetting("data_folder"), "");  // not in STANDARD
  FlushSettings();
  EXPECT_EQ(ReadBytes(etc_ + "VELTRINO.INI"),
            "[FOLDERS]\netc_folder=" + etc_ + "\ndata_folder=/srv/veltrino/data/\ntom_folder=\n");
}

// ---- File switches --------------------------------------------------------------------------

TEST_F(FellesTest, UserFileHoldsTheUsersOwnSettings) {
  Start();
  SetUserName("ola");
  WriteSetting("Net_Alias", "FELLES");
  UseCommonSettingsFile();  // re-opening the same file keeps what was not yet on disk
  EXPECT_EQ(GetNetAlias(), "FELLES");
  UseUserSettingsFile();
  EXPECT_EQ(CurrentSettingsFile(), etc_ + "OLA.INI");
  EXPECT_EQ(GetNetAlias(), "KvistMerket");
  WriteSetting("Net_Alias", "EGEN");
  UseCommonSettingsFile();
  EXPECT_EQ(CurrentSettingsFile(), etc_ + "VELTRINO.INI");
  EXPECT_EQ(GetNetAlias(), "FELLES");
  EXPECT_EQ(ReadBytes(etc_ + "OLA.INI"), "[STANDARD]\nNet_Alias=EGEN\n");
  EXPECT_EQ(ReadBytes(etc_ + "VELTRINO.INI"),
            FoldersLine() + "[STANDARD]\nBrukernavn=ola\nNet_Alias=FELLES\n");
}

TEST_F(FellesTest, DatabaseFileBecomesTheCommonFile) {
  Start();
  WriteSetting("INI_ALIAS", "1");
  UseDatabaseSettingsFile("FIRMA1");
  EXPECT_EQ(SettingsFileName(), etc_ + "FIRMA1.ini");
  EXPECT_NE(ReadBytes(etc_ + "VELTRINO.INI").find("INI_ALIAS=1"), std::string::npos);
  WriteSetting("Net_Alias", "FIRMA1");
  UseUserSettingsFile();
  UseCommonSettingsFile();
  EXPECT_EQ(CurrentSettingsFile(), etc_ + "FIRMA1.ini");
  EXPECT_EQ(GetNetAlias(), "FIRMA1");
}

TEST_F(FellesTest, NamesTypedByPeopleStayInsideTheSettingsFolder) {
  Start();
  SetUserName("../ola");
  UseUserSettingsFile();
  EXPECT_EQ(CurrentSettingsFile(), etc_ + ".._OLA.INI");
  UseDatabaseSettingsFile("../../FIRMA1");
  EXPECT_EQ(SettingsFileName(), etc_ + ".._.._FIRMA1.ini");
}

// ---- Files that cannot be written or read ----------------------------------------------------

TEST_F(FellesTest, FailedFlushLosesNothing) {
  Start();
  WriteSetting("Net_Alias", "FIRMA1");
  fs::remove_all(etc_);  // the folder is gone (or has become read-only)
  EXPECT_THROW(FlushSettings(), SettingsError);
  EXPECT_THROW(CloseSettings(), SettingsError);
  EXPECT_EQ(GetNetAlias(), "FIRMA1");
  fs::create_directory(etc_);
  FlushSettings();
  EXPECT_EQ(ReadBytes(etc_ + "VELTRINO.INI"), FoldersLine() + "[STANDARD]\nNet_Alias=FIRMA1\n");
}

TEST_F(FellesTest, FailedSwitchKeepsTheCurrentFile) {
  Start();
  SetUserName("ola");
  fs::remove_all(etc_);
  EXPECT_THROW(UseUserSettingsFile(), SettingsError);
  EXPECT_THROW(UseDatabaseSettingsFile("FIRMA1"), SettingsError);
  EXPECT_EQ(CurrentSettingsFile(), etc_ + "VELTRINO.INI");
  EXPECT_EQ(SettingsFileName(), etc_ + "VELTRINO.INI");
  EXPECT_EQ(ReadStoredUserName(), "ola");
}

TEST_F(FellesTest, UnreadableFileIsNeverOverwritten) {
  Start();
  fs::create_directory(etc_ + "OLA.INI");
  SetUserName("ola");
  EXPECT_THROW(UseUserSettingsFile(), SettingsError);
  EXPECT_EQ(CurrentSettingsFile(), etc_ + "VELTRINO.INI");
  fs::remove(etc_ + "VELTRINO.INI");
  fs::create_directory(etc_ + "VELTRINO.INI");
  EXPECT_THROW(InitSettingsStore(), SettingsError);
  WriteSetting("Net_Alias", "FIRMA1");
  EXPECT_THROW(FlushSettings(), SettingsError);
  EXPECT_TRUE(fs::is_directory(etc_ + "VELTRINO.INI"));
}

// ---- User name, alias and account counters ----------------------------------------------------

TEST_F(FellesTest, UserNameIsUpperCasedButStoredAsGiven) {
  Start();
  SetUserName("åse");
  EXPECT_EQ(GetUserName(), "ÅSE");
  EXPECT_EQ(ReadStoredUserName(), "åse");
  EXPECT_EQ(ReadSetting("BRUKERNAVN"), "åse");
}

TEST_F(FellesTest, UserNameFallsBackToTheLoggedOnUserOnceAndNotToTheStoredName) {
  StartWithFile("[STANDARD]\nBrukernavn=kari\n");
  EXPECT_EQ(GetUserName(), "TESTER");
  EnvVar other("USER", "per");
  EXPECT_EQ(GetUserName(), "TESTER");
  EXPECT_EQ(ReadStoredUserName(), "kari");
}

TEST_F(FellesTest, LoggedOnUserComesFromTheEnvironmentInOrder) {
  EXPECT_EQ(GetWindowsUserName(), "tester");
  {
    EnvVar name("USERNAME", "kari");
    EXPECT_EQ(GetWindowsUserName(), "kari");
  }
  EnvVar emptyName("USERNAME", "");
  EnvVar noUser("USER", std::nullopt);
  EXPECT_EQ(GetWindowsUserName(), "");
  EnvVar logName("LOGNAME", "lars");
  EXPECT_EQ(GetWindowsUserName(), "lars");
}

TEST_F(FellesTest, NetAliasDefaultsToKvistMerket) {
  StartWithFile("[STANDARD]\nNet_Alias=\n");
  EXPECT_EQ(GetNetAlias(), "KvistMerket");
  WriteSetting("Net_Alias", "FIRMA1");
  EXPECT_EQ(GetNetAlias(), "FIRMA1");
}

TEST_F(FellesTest, AccountCountersSkipZeroAndRefuseText) {
  Start();
  EXPECT_EQ(ReadLastAccountIn(), 0);
  WriteLastAccountIn(1920);
  WriteLastAccountIn(0);
  WriteLastAccountOut(3000);
  WriteLastAccountOut(0);
  EXPECT_EQ(ReadLastAccountIn(), 1920);
  EXPECT_EQ(ReadSetting("Konto_Sistekontoinn"), "1920");
  EXPECT_EQ(ReadSetting("Konto_Sistekontout"), "3000");
  WriteSetting("Konto_Sistekontoinn", "0000000019205");  // only 12 characters count
  EXPECT_EQ(ReadLastAccountIn(), 1920);
  WriteSetting("Konto_Sistekontoinn", "19x");
  EXPECT_THROW(ReadLastAccountIn(), SettingsValueError);
}

// ---- Clock times ------------------------------------------------------------------------------

TEST(NormalizeTimeText, TurnsTypedTimesIntoHoursAndMinutes) {
  const std::pair<const char*, const char*> cases[] = {
      {"7", "07:00"},    {"0", "0"},         {"12", "12:00"},   {"99", "99:00"},
      {"7.30", "07:30"}, {"12.30", "12:30"}, {"123", "01:23"},  {"073", "073"},
      {"7:30", "7:30"},  {"12:30", "12:30"}, {"abc", ""},       {"7..30", "07:30"},
      {" 8", "08:00"},   {"0730", "07:30"},  {"1245", "12:45"}, {"12345", "12345"},
      {"kl 9", "09:00"}, {"", ""}};
  for (const auto& [typed, expected] : cases) {
    EXPECT_EQ(NormalizeTimeText(typed), expected) << '"' << typed << '"';
  }
}

}  // namespace
