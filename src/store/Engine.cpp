#include "store/Engine.h"

#include <strings.h>

#include <vector>

#include "store/Backends.h"
#include "store/Errors.h"
#include "store/ServerCatalog.h"
#include "text/Utf8Text.h"

namespace ff {

namespace {

std::vector<TffCommsEngine*>& engines() {
  static std::vector<TffCommsEngine*> list;
  return list;
}

class DefaultTransport : public EngineTransport {
 public:
  void Connect(Protocol protocol, const std::string& serverName) override {
    if (protocol == Protocol::SingleUser) return;
    if (const ServerConnector* connector = FindServerConnector(protocol)) {
      server_ = connector->connect(serverName);
      return;
    }
    const std::string server = serverName.empty() ? std::string("(ingen server oppgitt)") : serverName;
    throw EConnection("Finner ikke server " + server + " over " + ProtocolName(protocol) +
                      ": ingen tjener for denne protokollen er tilgjengelig");
  }
  void Disconnect() override { server_.reset(); }
  void StartSession(const std::string&) override {}
  ServerCatalog* Server() override { return server_.get(); }

 private:
  std::unique_ptr<ServerCatalog> server_;
};

}  // namespace

const char* ProtocolName(Protocol p) {
  switch (p) {
    case Protocol::TcpIp:
      return "TCP/IP";
    case Protocol::IpxSpx:
      return "IPX/SPX";
    case Protocol::SingleUser:
      break;
  }
  return "Single User";
}

Protocol ProtocolFromName(const std::string& name) {
  for (Protocol p : {Protocol::SingleUser, Protocol::TcpIp, Protocol::IpxSpx}) {
    if (strcasecmp(ProtocolName(p), name.c_str()) == 0) return p;
  }
  return Protocol::SingleUser;
}

TffCommsEngine::TffCommsEngine(std::string name)
    : name_(std::move(name)), transport_(std::make_shared<DefaultTransport>()) {
  engines().push_back(this);
}

TffCommsEngine::~TffCommsEngine() { std::erase(engines(), this); }

void TffCommsEngine::SetIsDefault(bool d) {
  if (d) {
    for (TffCommsEngine* e : engines()) e->isDefault_ = false;
  }
  isDefault_ = d;
}

void TffCommsEngine::SetProtocol(Protocol p) {
  if (active_) throw Error("Protokollen kan ikke endres mens motoren er tilkoblet");
  protocol_ = p;
}

void TffCommsEngine::SetServerName(const std::string& s) {
  if (active_) throw Error("Servernavnet kan ikke endres mens motoren er tilkoblet");
  serverName_ = Utf8Left(s, 63);
}

void TffCommsEngine::SetUserName(const std::string& s) {
  if (active_) throw Error("Brukernavnet kan ikke endres mens motoren er tilkoblet");
  userName_ = Utf8Left(s, 31);
}

void TffCommsEngine::SetActive(bool active) {
  if (active == active_) return;
  if (active) {
    transport_->Connect(protocol_, serverName_);
  } else {
    transport_->Disconnect();
  }
  active_ = active;
}

void TffCommsEngine::SetTransport(std::shared_ptr<EngineTransport> transport) {
  if (active_) throw Error("Transporten kan ikke byttes mens motoren er tilkoblet");
  transport_ = std::move(transport);
}

TffCommsEngine* TffCommsEngine::DefaultEngine() {
  for (TffCommsEngine* e : engines()) {
    if (e->isDefault_) return e;
  }
  return nullptr;
}

}  // namespace ff
