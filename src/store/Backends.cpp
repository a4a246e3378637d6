#include "store/Backends.h"

#include <map>

#include "store/Errors.h"

namespace ff {

namespace {

struct Registry {
  std::vector<std::unique_ptr<StorageProvider>> owned;
  std::vector<StorageProvider*> providers;
  std::map<Protocol, ServerConnector> servers;
  ScratchTableMaker scratch;
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

const std::vector<StorageProvider*>& StorageProviders() {
  const auto& providers = registry().providers;
  if (providers.empty()) throw ENoBackend("Ingen lagring for tabellfiler er satt opp");
  return providers;
}

void RegisterStorageProvider(std::unique_ptr<StorageProvider> provider) {
  registry().providers.push_back(provider.get());
  registry().owned.push_back(std::move(provider));
}

void RegisterServerConnector(Protocol protocol, ServerConnector connector) {
  registry().servers[protocol] = std::move(connector);
}

const ServerConnector* FindServerConnector(Protocol protocol) {
  const auto& servers = registry().servers;
  const auto it = servers.find(protocol);
  return it == servers.end() ? nullptr : &it->second;
}

const ServerConnector& ServerConnectorOf(Protocol protocol) {
  if (const ServerConnector* connector = FindServerConnector(protocol)) return *connector;
  throw ENoBackend(std::string("Ingen tjenerforbindelse over ") + ProtocolName(protocol) + " er satt opp");
}

void RegisterScratchTableMaker(ScratchTableMaker maker) { registry().scratch = std::move(maker); }

std::unique_ptr<TableStorage> MakeScratchTable(const std::vector<FieldDef>& fields,
                                               const std::vector<IndexDef>& indexes, const RowFill& fill) {
  const auto& maker = registry().scratch;
  if (!maker) throw ENoBackend("Ingen lagring for midlertidige tabeller er satt opp");
  return maker(fields, indexes, fill);
}

}  // namespace ff
