#include "store/ClientConfig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "store/Errors.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A private configuration folder (not yet created) for each test.
class ClientConfigTest : public ::testing::Test {
 protected:
  ClientConfigTest() {
    char pattern[] = "/tmp/kvclientcfg-XXXXXX";
    root_ = ::mkdtemp(pattern);
    if (const char* old = std::getenv("FF_CONFIG_DIR")) old_ = old;
    UseConfigFolder(root_ + "/flashfiler");
  }
  ~ClientConfigTest() override {
    if (old_) {
      ::setenv("FF_CONFIG_DIR", old_->c_str(), 1);
    } else {
      ::unsetenv("FF_CONFIG_DIR");
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  void UseConfigFolder(const std::string& folder) { ::setenv("FF_CONFIG_DIR", folder.c_str(), 1); }

  std::string root_;
  std::optional<std::string> old_;
};

TEST_F(ClientConfigTest, OffersTheThreeProtocols) {
  EXPECT_EQ(ff::FFClientConfigGetProtocolNames(),
            (std::vector<std::string>{"Single User", "TCP/IP", "IPX/SPX"}));
}

TEST_F(ClientConfigTest, NothingStoredGivesSingleUserAndNoServer) {
  EXPECT_EQ(ff::FFClientConfigReadProtocol(), "Single User");
  EXPECT_EQ(ff::FFClientConfigReadServerName(), "");
  EXPECT_FALSE(fs::exists(ff::FFClientConfigFile()));
}

TEST_F(ClientConfigTest, ServerNameAndProtocolAreKeptApartAndReadBack) {
  ff::FFClientConfigWriteServerName("ff_server@10.0.0.5");
  ff::FFClientConfigWriteProtocolName("TCP/IP");
  EXPECT_EQ(ff::FFClientConfigReadServerName(), "ff_server@10.0.0.5");
  EXPECT_EQ(ff::FFClientConfigReadProtocol(), "TCP/IP");
  EXPECT_EQ(ff::FFClientConfigFile(), root_ + "/flashfiler/client.cfg");

  ff::FFClientConfigWriteServerName("");
  EXPECT_EQ(ff::FFClientConfigReadServerName(), "");
  EXPECT_EQ(ff::FFClientConfigReadProtocol(), "TCP/IP");
}

TEST_F(ClientConfigTest, ProtocolIsStoredAsTyped) {
  ff::FFClientConfigWriteProtocolName("");
  EXPECT_EQ(ff::FFClientConfigReadProtocol(), "");
  ff::FFClientConfigWriteProtocolName("Named Pipes");
  EXPECT_EQ(ff::FFClientConfigReadProtocol(), "Named Pipes");
}

TEST_F(ClientConfigTest, ServerNameOfSixtyThreeCharactersFitsOneMoreDoesNot) {
  const std::string longest = "ff_server@" + std::string(53, 'a');
  ASSERT_EQ(longest.size(), 63u);
  ff::FFClientConfigWriteServerName(longest);
  EXPECT_EQ(ff::FFClientConfigReadServerName(), longest);

  EXPECT_THROW(ff::FFClientConfigWriteServerName(longest + "b"), ff::Error);
  EXPECT_EQ(ff::FFClientConfigReadServerName(), longest);

  // Characters count, not bytes: 63 letters "ø" are 126 bytes and still fit.
  std::string norwegian;
  for (int i = 0; i < 63; ++i) norwegian += "ø";
  ff::FFClientConfigWriteServerName(norwegian);
  EXPECT_EQ(ff::FFClientConfigReadServerName(), norwegian);
}

TEST_F(ClientConfigTest, LineBreaksAreRefusedAndLoseNothing) {
  ff::FFClientConfigWriteServerName("ff_server");
  ff::FFClientConfigWriteProtocolName("TCP/IP");
  const std::string before = readFile(ff::FFClientConfigFile());
  EXPECT_THROW(ff::FFClientConfigWriteServerName("a\nProtocol=IPX/SPX"), ff::Error);
  EXPECT_THROW(ff::FFClientConfigWriteProtocolName("TCP/IP\r\nServerName=x"), ff::Error);
  EXPECT_EQ(readFile(ff::FFClientConfigFile()), before);
}

TEST_F(ClientConfigTest, FolderThatCannotBeWrittenFailsTheWrite) {
  // A plain file where the folder should be: no user, root included, can write there.
  const std::string blocker = root_ + "/not-a-folder";
  std::ofstream(blocker) << "x";
  UseConfigFolder(blocker + "/flashfiler");
  EXPECT_THROW(ff::FFClientConfigWriteServerName("ff_server"), ff::Error);
  EXPECT_THROW(ff::FFClientConfigWriteProtocolName("TCP/IP"), ff::Error);
  EXPECT_EQ(ff::FFClientConfigReadServerName(), "");
}

TEST_F(ClientConfigTest, ServerLoginSurvivesTheOtherWritesAndOnlyTheOwnerReadsIt) {
  EXPECT_EQ(ff::FFClientConfigReadServerUser(), "");
  ff::FFClientConfigWriteServerLogin("kvist", "hemmelig=ord");
  ff::FFClientConfigWriteServerName("ff_server@127.0.0.1:3307");
  ff::FFClientConfigWriteProtocolName("TCP/IP");
  EXPECT_EQ(ff::FFClientConfigReadServerUser(), "kvist");
  EXPECT_EQ(ff::FFClientConfigReadServerPassword(), "hemmelig=ord");
  EXPECT_EQ(ff::FFClientConfigReadServerName(), "ff_server@127.0.0.1:3307");
  const auto perms = fs::status(ff::FFClientConfigFile()).permissions();
  EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
  EXPECT_THROW(ff::FFClientConfigWriteServerLogin("kvist", "a\nProtocol=IPX/SPX"), ff::Error);
  EXPECT_EQ(ff::FFClientConfigReadProtocol(), "TCP/IP");
}

TEST_F(ClientConfigTest, ReadsFilesWithWindowsLineEndsAndStrayLines) {
  fs::create_directories(root_ + "/flashfiler");
  std::ofstream(ff::FFClientConfigFile(), std::ios::binary)
      << "# kommentar\r\nServerName=ff_server@127.0.0.1\r\nProtocol=TCP/IP\r\n";
  EXPECT_EQ(ff::FFClientConfigReadServerName(), "ff_server@127.0.0.1");
  EXPECT_EQ(ff::FFClientConfigReadProtocol(), "TCP/IP");
}

TEST_F(ClientConfigTest, TlsSettingsAreKeptBesideTheLoginAndReadBack) {
  const sql::SqlTls none = ff::FFClientConfigReadServerTls();
  EXPECT_EQ(none.ca, "");
  EXPECT_FALSE(none.required.has_value()) << "unset leaves the SQL client's default";
  EXPECT_FALSE(none.verifyServer.has_value());
  ff::FFClientConfigWriteServerLogin("kvist", "hemmelig");
  ff::FFClientConfigWriteServerTls({"/etc/kvist/ca.pem", true, false});
  ff::FFClientConfigWriteServerName("ff_server@10.1.2.3:3306");
  const sql::SqlTls tls = ff::FFClientConfigReadServerTls();
  EXPECT_EQ(tls.ca, "/etc/kvist/ca.pem");
  EXPECT_EQ(tls.required, std::optional<bool>(true));
  EXPECT_EQ(tls.verifyServer, std::optional<bool>(false));
  EXPECT_EQ(ff::FFClientConfigReadServerPassword(), "hemmelig");
}

TEST_F(ClientConfigTest, HandWrittenTlsSwitchesAreYesOrNoAndNothingElse) {
  fs::create_directories(root_ + "/flashfiler");
  std::ofstream(ff::FFClientConfigFile()) << "TlsCa=/ca.pem\nTlsRequired=Nei\nTlsVerifyServer=ja\n";
  const sql::SqlTls tls = ff::FFClientConfigReadServerTls();
  EXPECT_EQ(tls.required, std::optional<bool>(false));
  EXPECT_EQ(tls.verifyServer, std::optional<bool>(true));
  std::ofstream(ff::FFClientConfigFile()) << "TlsRequired=kanskje\n";
  try {
    ff::FFClientConfigReadServerTls();
    FAIL() << "a switch that is neither yes nor no was taken";
  } catch (const ff::Error& e) {
    EXPECT_NE(std::string(e.what()).find("TlsRequired: 'kanskje'"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(ff::FFClientConfigFile()), std::string::npos) << e.what();
  }
}

TEST_F(ClientConfigTest, APasswordOthersCanReadIsRefusedWithTheWayToFixIt) {
  fs::create_directories(root_ + "/flashfiler");
  std::ofstream(ff::FFClientConfigFile()) << "ServerName=ff_server@127.0.0.1\nUser=kvist\nPassword=hemmelig\n";
  fs::permissions(ff::FFClientConfigFile(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                                fs::perms::others_read);
  try {
    ff::FFClientConfigReadServerPassword();
    FAIL() << "a password that others can read was used";
  } catch (const ff::Error& e) {
    EXPECT_NE(std::string(e.what()).find("chmod 600 " + ff::FFClientConfigFile()), std::string::npos) << e.what();
  }
  fs::permissions(ff::FFClientConfigFile(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ff::FFClientConfigReadServerPassword(), "hemmelig");
  std::ofstream(ff::FFClientConfigFile()) << "ServerName=ff_server@127.0.0.1\n";
  fs::permissions(ff::FFClientConfigFile(), fs::perms::owner_read | fs::perms::others_read);
  EXPECT_EQ(ff::FFClientConfigReadServerName(), "ff_server@127.0.0.1") << "without a password nothing is secret";
}

}  // namespace
