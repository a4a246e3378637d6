// A store whose program registered no back ends fails with typed errors, never a crash.
#include "store/Backends.h"

#include <gtest/gtest.h>

#include "store/Engine.h"
#include "store/Errors.h"
#include "store/Session.h"
#include "support/TempAlias.h"

namespace {

TEST(Backends, NoFileKindIsANoBackendError) { EXPECT_THROW(ff::StorageProviders(), ff::ENoBackend); }

TEST(Backends, CreatingAndOpeningTablesOfAFolderAreNoBackendErrors) {
  TempAlias alias;
  ff::TffSession& session = ff::TffSession::DefaultSession();
  EXPECT_THROW(session.CreateTable(alias.alias(), "KUNDE", {{"NR", ff::FieldType::Integer}}, {}), ff::ENoBackend);
  EXPECT_THROW(session.OpenTable(alias.alias(), "KUNDE", {}), ff::ENoBackend);
}

TEST(Backends, NoScratchTableMakerIsANoBackendError) {
  EXPECT_THROW(ff::MakeScratchTable({{"NR", ff::FieldType::Integer}}, {}, [](const ff::RowSink&) {}), ff::ENoBackend);
}

TEST(Backends, NoServerConnectorIsANoBackendError) {
  EXPECT_EQ(ff::FindServerConnector(ff::Protocol::TcpIp), nullptr);
  EXPECT_THROW(ff::ServerConnectorOf(ff::Protocol::TcpIp), ff::ENoBackend);
}

TEST(Backends, TcpIpEngineWithoutServerConnectorFailsAsAnUnreachableServer) {
  ff::TffCommsEngine engine;
  engine.SetProtocol(ff::Protocol::TcpIp);
  engine.SetServerName("kvist@127.0.0.1");
  EXPECT_THROW(engine.SetActive(true), ff::EConnection);
  EXPECT_FALSE(engine.Active());
}

TEST(Backends, RegisteredProvidersKeepTheirOrder) {
  class Kind : public ff::StorageProvider {
   public:
    explicit Kind(std::string ext) : ext_(std::move(ext)) {}
    std::string Extension() const override { return ext_; }
    std::unique_ptr<ff::TableStorage> Open(const std::string&, const ff::OpenMode&) override { return nullptr; }
    void Create(const std::string&, const std::vector<ff::FieldDef>&, const std::vector<ff::IndexDef>&) override {}

   private:
    std::string ext_;
  };
  ff::RegisterStorageProvider(std::make_unique<Kind>(".a"));
  ff::RegisterStorageProvider(std::make_unique<Kind>(".b"));
  ASSERT_EQ(ff::StorageProviders().size(), 2u);
  EXPECT_EQ(ff::StorageProviders()[0]->Extension(), ".a");
  EXPECT_EQ(ff::StorageProviders()[1]->Extension(), ".b");
}

}  // namespace
