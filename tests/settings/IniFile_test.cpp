#include "settings/IniFile.h"

#include <sys/stat.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "settings/SettingsError.h"
#include "SettingsTestSupport.h"

using settings_test::ReadBytes;
using settings_test::TempDir;
using settings_test::WriteBytes;

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  std::string FileWith(const std::string& bytes) {
    WriteBytes(path_, bytes);
    return path_;
  }
  // Loads bytes, lets change() work on the store, saves it and returns the bytes written.
  template <typename Change>
  std::string Rewrite(const std::string& bytes, Change change) {
    IniFile file = IniFile::Load(FileWith(bytes));
    change(file);
    file.Save();
    return ReadBytes(path_);
  }
  std::string Untouched(const std::string& bytes) {
    return Rewrite(bytes, [](IniFile&) {});
  }

  TempDir dir_;
  std::string path_ = dir_.Path() + "TEST.INI";
};

TEST_F(IniFileTest, UntouchedFilesAreWrittenBackByteForByte) {
  const std::string cp1252 =
      "; Veltrino\r\n[STANDARD]\r\nDatabase_Personal_\xC5pnes=1\r\n\r\n"
      "Firma_Navn=Bl\xE5" "b\xE6r AS\r\nlinje uten likhetstegn\r\n[\xD8" "DELAGT\r\n=bare verdi\r\n"
      "Siste=uten linjeskift";
  EXPECT_EQ(Untouched(cp1252), cp1252);
  const std::string utf8WithMark = "\xEF\xBB\xBF[STANDARD]\nFirma_Navn=Blåbær AS\n";
  EXPECT_EQ(Untouched(utf8WithMark), utf8WithMark);
  static constexpr char kBinary[] = "\x00\x01\xFF\xFE[\r\r\n\x81\x8D=\x90";
  const std::string binary(kBinary, sizeof kBinary - 1);
  EXPECT_EQ(Untouched(binary), binary);
}

TEST_F(IniFileTest, KeysAndSectionsMatchWithoutRegardToCase) {
  const IniFile file = IniFile::Load(
      FileWith("[Standard]\n  Database_Personal_\xC5pnes =  1  \nNet_Alias=A\nnet_alias=B\n"));
  EXPECT_EQ(file.FileEncoding(), IniFile::Encoding::Windows1252);
  EXPECT_EQ(file.Read("STANDARD", "DATABASE_PERSONAL_åPNES"), "1");
  EXPECT_EQ(file.Read("standard", "NET_ALIAS"), "A");  // the first of repeated keys counts
  EXPECT_EQ(file.Read("FOLDERS", "Net_Alias"), std::nullopt);
}

TEST_F(IniFileTest, MalformedLinesAreKeptAndDoNotHideLaterKeys) {
  const std::string written = Rewrite(
      "[STANDARD]\nsøppel uten likhetstegn\n[ÅPEN\nNet_Alias=FIRMA1\n", [](IniFile& file) {
        EXPECT_EQ(file.Read("STANDARD", "Net_Alias"), "FIRMA1");
        file.Write("STANDARD", "Net_Alias", "FIRMA2");
      });
  EXPECT_EQ(written, "[STANDARD]\nsøppel uten likhetstegn\n[ÅPEN\nNet_Alias=FIRMA2\n");
}

TEST_F(IniFileTest, WritesUpdateInPlaceOrJoinTheirSection) {
  const std::string written =
      Rewrite("[A]\r\nNet_Alias=X\r\n\r\n[B]\r\nz=1", [](IniFile& file) {
        file.Write("a", "NET_ALIAS", "Y");  // keeps the key as the file spells it
        file.Write("A", "Ny", "2");
        file.Write("C", "k", "3");
      });
  EXPECT_EQ(written, "[A]\r\nNet_Alias=Y\r\nNy=2\r\n\r\n[B]\r\nz=1\r\n[C]\r\nk=3\r\n");
  EXPECT_EQ(Rewrite("[A]\nx=1\n[B]\n[a]\ny=2\n",
                    [](IniFile& file) {
                      file.Write("A", "y", "3");  // found in the repeated section
                      file.Write("A", "z", "4");  // new keys join the first one
                    }),
            "[A]\nx=1\nz=4\n[B]\n[a]\ny=3\n");
}

TEST_F(IniFileTest, FileIsWrittenInTheEncodingItWasReadIn) {
  EXPECT_EQ(Rewrite("[S]\nk=\xE6\n", [](IniFile& f) { f.Write("S", "Varenavn", "Kjøp € Ł"); }),
            "[S]\nk=\xE6\nVarenavn=Kj\xF8p \x80 ?\n");
  EXPECT_EQ(Rewrite("[S]\nk=æ\n", [](IniFile& f) { f.Write("S", "Varenavn", "Kjøp"); }),
            "[S]\nk=æ\nVarenavn=Kjøp\n");
  std::filesystem::remove(path_);
  IniFile fresh = IniFile::Load(path_);
  fresh.Write("STANDARD", "Database_Timer_Åpnes", "1");
  fresh.Save();
  EXPECT_EQ(ReadBytes(path_), "[STANDARD]\nDatabase_Timer_Åpnes=1\n");
}

TEST_F(IniFileTest, AWriteNeverChangesWhatOtherKeysReadBack) {
  // Names with stray bytes are converted as values are, so a UTF-8 file stays UTF-8.
  IniFile utf8 = IniFile::Load(FileWith("[S]\nby=Tromsø\n"));
  utf8.Write("S\xD8R", "N\xC5R", "v");
  utf8.Save();
  EXPECT_EQ(ReadBytes(path_), "[S]\nby=Tromsø\n[SØR]\nNÅR=v\n");
  const IniFile utf8Back = IniFile::Load(path_);
  EXPECT_EQ(utf8Back.Read("S", "by"), "Tromsø");
  EXPECT_EQ(utf8Back.Read("S\xD8R", "n\xE5r"), "v") << "read with the same bytes finds it";

  // A Windows-1252 file whose only non-UTF-8 byte is overwritten still reads as Windows-1252.
  IniFile legacy = IniFile::Load(FileWith("[S]\nA=\xF8\nB=\xC3\xB8\n"));
  ASSERT_EQ(legacy.Read("S", "B"), "Ã¸");
  legacy.Write("S", "A", "x");
  legacy.Save();
  const IniFile legacyBack = IniFile::Load(path_);
  EXPECT_EQ(legacyBack.FileEncoding(), IniFile::Encoding::Windows1252);
  EXPECT_EQ(legacyBack.Read("S", "B"), "Ã¸");
  EXPECT_EQ(legacyBack.Read("S", "A"), "x");
  const std::string saved = ReadBytes(path_);
  EXPECT_EQ(saved.substr(0, 13), "[S]\nA=x\nB=\xC3\xB8\n") << "the lines stay as they were";
  legacyBack.Save();
  EXPECT_EQ(ReadBytes(path_), saved) << "and the mark is written once";

  // A name Windows-1252 cannot hold would be saved as another ("?"): refused, nothing changed.
  legacy.Write("S", "?", "spørsmål");
  EXPECT_THROW(legacy.Write("S", "Ł", "v"), SettingsError);
  EXPECT_THROW(legacy.Write("Ł", "k", "v"), SettingsError);
  EXPECT_EQ(legacy.Read("S", "?"), "spørsmål");

  // A carriage return ending the last line is no part of its value, before or after a write.
  IniFile lastLine = IniFile::Load(FileWith("[S]\nA=v\r"));
  EXPECT_EQ(lastLine.Read("S", "A"), "v");
  lastLine.Write("S", "B", "w");
  lastLine.Save();
  EXPECT_EQ(IniFile::Load(path_).Read("S", "A"), "v");

  // Plain ASCII reads the same either way and needs no mark.
  EXPECT_EQ(Rewrite("[S]\nA=\xF8", [](IniFile& f) { f.Write("S", "A", "x"); }), "[S]\nA=x");
}

TEST_F(IniFileTest, ValuesCannotBreakTheFileApart) {
  IniFile file = IniFile::Load(FileWith("[STANDARD]\n"));
  file.Write("STANDARD", "Firma_Navn", "x\r\n[FOLDERS]\netc_folder=/tmp/");
  file.Write("STANDARD", "Firma_PostSted", "Troms\xF8");  // unconverted legacy text
  file.Save();
  const IniFile back = IniFile::Load(path_);
  EXPECT_EQ(back.Read("STANDARD", "Firma_Navn"), "x  [FOLDERS] etc_folder=/tmp/");
  EXPECT_EQ(back.Read("FOLDERS", "etc_folder"), std::nullopt);
  EXPECT_EQ(back.Read("STANDARD", "Firma_PostSted"), "Tromsø");
  for (const char* key : {"", " ", "a=b", "[x", ";x", "a\nb"}) {
    EXPECT_THROW(file.Write("STANDARD", key, "v"), SettingsError) << key;
  }
  EXPECT_THROW(file.Write("A]B", "k", "v"), SettingsError);
}

TEST_F(IniFileTest, FailedSaveLeavesNoTraceAndReportsTheFile) {
  IniFile file = IniFile::Load(path_);
  file.Write("STANDARD", "k", "v");
  std::filesystem::create_directory(path_);  // something in the way of the file
  try {
    file.Save();
    FAIL() << "Save into a directory succeeded";
  } catch (const SettingsError& e) {
    EXPECT_NE(std::string(e.what()).find(path_), std::string::npos) << e.what();
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}), 1);
  EXPECT_EQ(file.Read("STANDARD", "k"), "v");
  EXPECT_THROW(IniFile::Load(path_), SettingsError);  // a directory is not an empty file
  EXPECT_THROW(IniFile().Save(), SettingsError);
}

TEST_F(IniFileTest, SaveKeepsTheFilesModeAndWritesThroughALink) {
  const std::string real = dir_.Path() + "real.ini";
  WriteBytes(real, "[S]\nk=1\n");
  ::chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, path_);
  IniFile file = IniFile::Load(path_);
  file.Write("S", "k", "2");
  file.Save();
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  EXPECT_EQ(ReadBytes(real), "[S]\nk=2\n");
  struct stat st {};
  ::stat(real.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
