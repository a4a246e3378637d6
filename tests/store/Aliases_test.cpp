// The alias registry: folders of this machine and databases on a server side by side.
#include "store/Aliases.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "store/Errors.h"
#include "store/Session.h"
#include "support/TempAlias.h"

using namespace ff;

namespace {

TEST(AliasesTest, ServerAliasesSitBesideFolderAliases) {
  TempAlias folder("LOKAL");
  AddServerAlias("Firma", {"ff_server@10.0.0.5:3307", "firma_db"});
  EXPECT_EQ(AliasNames(), (std::vector<std::string>{"LOKAL", "Firma"}));
  EXPECT_EQ(AliasFolder("FIRMA"), std::nullopt);
  const auto server = AliasServer("firma");
  ASSERT_TRUE(server.has_value());
  EXPECT_EQ(server->serverName, "ff_server@10.0.0.5:3307");
  EXPECT_EQ(server->database, "firma_db");
  EXPECT_EQ(AliasServer("LOKAL"), std::nullopt);
  EXPECT_TRUE(TffSession::DefaultSession().IsAlias("Firma"));
  AddAlias("Firma", folder.folder() + "firma/");
  EXPECT_EQ(AliasServer("Firma"), std::nullopt) << "replaced by a folder";
  EXPECT_TRUE(AliasFolder("Firma").has_value());
}

// An open looks its alias up once: the one answer must say what the two questions say.
TEST(AliasesTest, OneLookUpTellsAFolderFromAServerDatabase) {
  TempAlias folder("LOKAL");
  AddServerAlias("Firma", {"ff_server@10.0.0.5:3307", "firma_db"});
  const AliasTarget local = LookUpAlias("lokal");
  EXPECT_EQ(local.folder, AliasFolder("LOKAL"));
  EXPECT_FALSE(local.server.has_value());
  const AliasTarget firm = LookUpAlias("FIRMA");
  EXPECT_FALSE(firm.folder.has_value());
  ASSERT_TRUE(firm.server.has_value());
  EXPECT_EQ(firm.server->database, "firma_db");
  const AliasTarget unknown = LookUpAlias("UKJENT");
  EXPECT_FALSE(unknown.folder.has_value());
  EXPECT_FALSE(unknown.server.has_value());
}

TEST(AliasesTest, BadServerNamesAndDatabaseNamesAreRefusedAndLeaveTheRegistry) {
  TempAlias folder("LOKAL");
  for (const char* server : {"10.0.0.5", "ff_server@", "ff@host/x"}) {
    EXPECT_THROW(AddServerAlias("X", {server, "db"}), Error) << server;
  }
  for (const char* database : {"", "a/b", "a.b", "a`b", "x y"}) {
    EXPECT_THROW(AddServerAlias("X", {"ff@host", database}), Error) << database;
  }
  EXPECT_THROW(AddServerAlias("X", {"ff@host", std::string(65, 'd')}), Error);
  EXPECT_EQ(AliasNames(), std::vector<std::string>{"LOKAL"});
}

// The registry as a person edits it: written over in place, the same size each time, faster
// than the file system's clock moves.
TEST(AliasesTest, ARegistryWrittenOverInPlaceIsReadAnew) {
  TempAlias folder("LOKAL");
  for (const char* letter : {"A", "B", "C"}) {
    std::ofstream(ConfigFolder() + "aliases.cfg", std::ios::trunc) << "LOKAL=/data/" << letter << "/\n";
    EXPECT_EQ(AliasFolder("LOKAL"), "/data/" + std::string(letter) + "/");
  }
}

// Saying again what the registry holds writes nothing; a changed folder or a name spelled
// otherwise is written.
TEST(AliasesTest, AnUnchangedAliasIsNotWrittenAgain) {
  TempAlias folder("LOKAL");
  const std::string path = ConfigFolder() + "aliases.cfg";
  const auto inode = [&] {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : ino_t{0};
  };
  const ino_t written = inode();
  AddAlias("LOKAL", folder.folder());
  EXPECT_EQ(inode(), written) << "the same entry";
  AddAlias("Lokal", folder.folder());
  EXPECT_NE(inode(), written) << "the name spelled otherwise";
  EXPECT_EQ(AliasNames(), std::vector<std::string>{"Lokal"});
  const ino_t respelled = inode();
  AddAlias("Lokal", folder.folder() + "annen/");
  EXPECT_NE(inode(), respelled) << "another folder";
  EXPECT_EQ(AliasFolder("LOKAL"), folder.folder() + "annen/");
}

}  // namespace
