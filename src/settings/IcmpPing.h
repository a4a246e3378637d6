// One ICMP echo request (a ping) to an IPv4 host, waiting a bounded time for the reply.
// Plain POSIX sockets: an unprivileged ICMP datagram socket where the system allows it, else a
// raw socket.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

// What came back for one echo request.
enum class EchoStatus { Reply, ErrorReply, TimedOut };

struct EchoReply {
  EchoStatus Status = EchoStatus::TimedOut;
  // Bytes of the ICMP echo reply (header and data); 0 for an error reply or a time-out.
  std::size_t BytesReceived = 0;
};

// The request could not be sent: the host name cannot be resolved (in time), the system
// refuses ICMP sockets, or the network refuses the packet.
class IcmpSendError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using EchoReplyHandler = std::function<void(const EchoReply&)>;

// An echo client in the manner of the suite's old networking component: set the host and the
// time-out, then Ping; the reply goes to the reply handler.
class IcmpClient {
 public:
  // Milliseconds that Ping may wait in all, name look-up included. 1000 at start.
  int ReceiveTimeout() const { return receiveTimeout_; }
  // REQUIRES: milliseconds > 0.
  void SetReceiveTimeout(int milliseconds) { receiveTimeout_ = milliseconds; }

  // Host name or dotted IPv4 address.
  const std::string& Host() const { return host_; }
  void SetHost(std::string host) { host_ = std::move(host); }

  void SetOnReply(EchoReplyHandler handler) { onReply_ = std::move(handler); }

  // Sends one echo request to Host() and waits at most ReceiveTimeout() for the answer, then
  // hands what came back (a reply, an error reply, or a time-out) to the reply handler, if any.
  // Never blocks longer than ReceiveTimeout().
  // Throws IcmpSendError when the request cannot be sent; the reply handler is not called.
  void Ping();

 private:
  int receiveTimeout_ = 1000;
  std::string host_;
  EchoReplyHandler onReply_;
};
