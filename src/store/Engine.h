// The comms engine: how the client reaches its tables (in-process or through a server).
#pragma once

#include <memory>
#include <string>

namespace ff {

enum class Protocol { SingleUser, TcpIp, IpxSpx };

class ServerCatalog;

// How an engine reaches its tables. The built-in one opens alias folders in-process for
// "Single User", connects through the server connector registered for the protocol (see
// Backends.h; the standard back ends serve "TCP/IP" with a MariaDB server, the server name
// being "name@address[:port]" and the login coming from the client configuration) and fails
// for a protocol nothing serves ("IPX/SPX") as an unreachable server does. Another transport
// (one that fails on demand in tests) can be put in its place.
class EngineTransport {
 public:
  virtual ~EngineTransport() = default;
  // Throws EConnection when the server cannot be reached.
  virtual void Connect(Protocol protocol, const std::string& serverName) = 0;
  // Throws EConnection when the connection cannot be closed.
  virtual void Disconnect() = 0;
  // Throws EConnection when the server refuses the session.
  virtual void StartSession(const std::string& sessionName) = 0;
  // The server the aliases live on while connected, or nullptr for folders of this machine.
  virtual ServerCatalog* Server() { return nullptr; }
};

// "Single User", "TCP/IP", "IPX/SPX".
const char* ProtocolName(Protocol p);
// Inverse of ProtocolName (case-insensitive); SingleUser for an unknown name.
Protocol ProtocolFromName(const std::string& name);

class TffCommsEngine {
 public:
  explicit TffCommsEngine(std::string name = "Engine");
  ~TffCommsEngine();
  TffCommsEngine(const TffCommsEngine&) = delete;
  TffCommsEngine& operator=(const TffCommsEngine&) = delete;

  const std::string& CommsEngineName() const { return name_; }
  bool IsDefault() const { return isDefault_; }
  // The default engine is the one sessions use when they name no engine.
  void SetIsDefault(bool d);

  Protocol GetProtocol() const { return protocol_; }
  // REQUIRES: inactive.
  void SetProtocol(Protocol p);
  const std::string& ServerName() const { return serverName_; }
  // "name@address", cut to 63 characters. REQUIRES: inactive.
  void SetServerName(const std::string& s);
  const std::string& UserName() const { return userName_; }
  // Cut to 31 characters. REQUIRES: inactive.
  void SetUserName(const std::string& s);

  bool Active() const { return active_; }
  // true connects: Single User succeeds in-process; TCP/IP connects to the server and throws
  // EConnection with the server's message when it cannot be reached; IPX/SPX throws
  // EConnection as an unreachable server does. false disconnects.
  void SetActive(bool active);

  // Replaces how the engine connects. REQUIRES: inactive; transport is not null.
  void SetTransport(std::shared_ptr<EngineTransport> transport);
  EngineTransport& Transport() const { return *transport_; }

  // The engine marked default, or nullptr.
  static TffCommsEngine* DefaultEngine();

 private:
  std::string name_;
  bool isDefault_ = false;
  Protocol protocol_ = Protocol::SingleUser;
  std::string serverName_;
  std::string userName_;
  bool active_ = false;
  std::shared_ptr<EngineTransport> transport_;
};

}  // namespace ff
