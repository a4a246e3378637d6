// The comms engine: how the client reaches its tables (in-process or through a server).
#pragma once

#include <string>

namespace ff {

enum class Protocol { SingleUser, TcpIp, IpxSpx };

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
  // true connects: Single User succeeds in-process; TCP/IP and IPX/SPX throw EConnection
  // as an unreachable server does (no server back end exists). false disconnects.
  void SetActive(bool active);

  // The engine marked default, or nullptr.
  static TffCommsEngine* DefaultEngine();

 private:
  std::string name_;
  bool isDefault_ = false;
  Protocol protocol_ = Protocol::SingleUser;
  std::string serverName_;
  std::string userName_;
  bool active_ = false;
};

}  // namespace ff
