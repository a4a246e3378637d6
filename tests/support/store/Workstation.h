// Another workstation as the server sees it: an engine and session of their own over TCP/IP,
// signing on with the client configuration as it is when made.
#pragma once

#include <string>

#include "store/Engine.h"
#include "store/Session.h"

class Workstation {
 public:
  explicit Workstation(const std::string& serverName) : session_("Arbeidsstasjon") {
    engine_.SetProtocol(ff::Protocol::TcpIp);
    engine_.SetServerName(serverName);
    engine_.SetActive(true);
    session_.SetEngine(&engine_);
    session_.SetActive(true);
  }
  ff::TffSession& session() { return session_; }
  const std::string& sessionName() const { return session_.SessionName(); }

 private:
  ff::TffCommsEngine engine_{"Arbeidsstasjonsmotor"};
  ff::TffSession session_;
};
