#include "settings/IcmpPing.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kEchoReplyType = 0;
constexpr std::uint8_t kUnreachableType = 3;
constexpr std::uint8_t kEchoRequestType = 8;
constexpr std::uint8_t kTimeExceededType = 11;
constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::size_t kPayloadSize = 32;
constexpr std::size_t kMinIpHeaderSize = 20;

std::string systemMessage(int error) { return std::system_category().message(error); }

int millisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::max<decltype(left)>(left, 0));
}

// ---- Name look-up -----------------------------------------------------------------------------

struct Lookup {
  std::mutex mutex;
  std::condition_variable finishedSignal;
  bool finished = false;
  bool found = false;
  in_addr address{};
};

void runLookup(const std::shared_ptr<Lookup>& lookup, const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* result = nullptr;
  const bool found = ::getaddrinfo(host.c_str(), nullptr, &hints, &result) == 0 && result;
  const std::lock_guard lock(lookup->mutex);
  if (found) lookup->address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
  if (result) ::freeaddrinfo(result);
  lookup->found = found;
  lookup->finished = true;
  lookup->finishedSignal.notify_all();
}

// getaddrinfo has no time-out and may hang on an unreachable name server, so it runs on a
// helper thread that is left to finish on its own when the deadline passes first.
in_addr resolve(const std::string& host, Clock::time_point deadline) {
  in_addr address{};
  if (::inet_pton(AF_INET, host.c_str(), &address) == 1) return address;
  if (host.empty()) throw IcmpSendError("Ingen vert å pinge");
  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread(runLookup, lookup, host).detach();
  } catch (const std::system_error& e) {
    throw IcmpSendError("Kan ikke slå opp " + host + ": " + e.what());
  }
  std::unique_lock lock(lookup->mutex);
  if (!lookup->finishedSignal.wait_until(lock, deadline, [&] { return lookup->finished; })) {
    throw IcmpSendError("Fant ikke " + host + " innen tidsfristen");
  }
  if (!lookup->found) throw IcmpSendError("Ukjent vert: " + host);
  return lookup->address;
}

// ---- Socket -------------------------------------------------------------------------------------

class IcmpSocket {
 public:
  // Datagram sockets need no privilege where the system allows them (ping_group_range);
  // raw sockets need CAP_NET_RAW.
  IcmpSocket() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd_ >= 0) return;
    const int datagramError = errno;
    fd_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd_ >= 0) {
      raw_ = true;
      return;
    }
    throw IcmpSendError("Systemet tillater ikke ICMP: " + systemMessage(datagramError) + "; " +
                        systemMessage(errno));
  }
  ~IcmpSocket() { ::close(fd_); }
  IcmpSocket(const IcmpSocket&) = delete;
  IcmpSocket& operator=(const IcmpSocket&) = delete;

  int fd() const { return fd_; }
  // Raw sockets see every ICMP message of the host, IP header included; datagram sockets only
  // their own, without it, and with the identifier chosen by the kernel.
  bool raw() const { return raw_; }

 private:
  int fd_ = -1;
  bool raw_ = false;
};

// ---- Packets ------------------------------------------------------------------------------------

std::uint16_t readU16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void writeU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value >> 8);
  bytes[at + 1] = static_cast<std::uint8_t>(value & 0xff);
}

std::uint16_t internetChecksum(std::span<const std::uint8_t> bytes) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) sum += readU16(bytes, i);
  if (bytes.size() % 2) sum += static_cast<std::uint32_t>(bytes.back()) << 8;
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::vector<std::uint8_t> echoRequest(std::uint16_t id, std::uint16_t sequence) {
  std::vector<std::uint8_t> packet(kIcmpHeaderSize + kPayloadSize);
  packet[0] = kEchoRequestType;
  writeU16(packet, 4, id);
  writeU16(packet, 6, sequence);
  for (std::size_t i = 0; i < kPayloadSize; ++i) {
    packet[kIcmpHeaderSize + i] = static_cast<std::uint8_t>('a' + i % 23);
  }
  writeU16(packet, 2, internetChecksum(packet));
  return packet;
}

std::span<const std::uint8_t> afterIpHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMinIpHeaderSize) return {};
  const std::size_t headerSize = (bytes[0] & 0x0fu) * 4u;
  return bytes.size() < headerSize ? std::span<const std::uint8_t>() : bytes.subspan(headerSize);
}

struct EchoId {
  std::uint16_t id;
  std::uint16_t sequence;
  bool checkId;

  // True iff header (an ICMP echo header) carries this request's numbers.
  bool matches(std::span<const std::uint8_t> header) const {
    return readU16(header, 6) == sequence && (!checkId || readU16(header, 4) == id);
  }
};

enum class Answer { Unrelated, Reply, Error };

// An error message quotes the IP header and the first 8 bytes of the packet it answers.
Answer classify(std::span<const std::uint8_t> icmp, const EchoId& echo) {
  if (icmp.size() < kIcmpHeaderSize) return Answer::Unrelated;
  if (icmp[0] == kEchoReplyType) return echo.matches(icmp) ? Answer::Reply : Answer::Unrelated;
  if (icmp[0] != kUnreachableType && icmp[0] != kTimeExceededType) return Answer::Unrelated;
  const auto quoted = afterIpHeader(icmp.subspan(kIcmpHeaderSize));
  const bool ours = quoted.size() >= kIcmpHeaderSize && quoted[0] == kEchoRequestType &&
                    echo.matches(quoted);
  return ours ? Answer::Error : Answer::Unrelated;
}

void send(const IcmpSocket& socket, in_addr address, const std::vector<std::uint8_t>& packet,
          const std::string& host) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr = address;
  const auto sent = ::sendto(socket.fd(), packet.data(), packet.size(), 0,
                             reinterpret_cast<const sockaddr*>(&target), sizeof target);
  if (sent != static_cast<ssize_t>(packet.size())) {
    throw IcmpSendError("Kan ikke sende ping til " + host + ": " + systemMessage(errno));
  }
}

EchoReply awaitReply(const IcmpSocket& socket, const EchoId& echo, Clock::time_point deadline) {
  std::array<std::uint8_t, 2048> buffer{};
  for (;;) {
    pollfd ready{socket.fd(), POLLIN, 0};
    const int events = ::poll(&ready, 1, millisecondsLeft(deadline));
    if (events < 0 && errno == EINTR) continue;
    if (events <= 0) return {EchoStatus::TimedOut, 0};
    const auto received = ::recv(socket.fd(), buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (received < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return {EchoStatus::ErrorReply, 0};  // an ICMP error reported on the socket
    }
    std::span<const std::uint8_t> icmp(buffer.data(), static_cast<std::size_t>(received));
    if (socket.raw()) icmp = afterIpHeader(icmp);
    switch (classify(icmp, echo)) {
      case Answer::Reply:
        return {EchoStatus::Reply, icmp.size()};
      case Answer::Error:
        return {EchoStatus::ErrorReply, 0};
      case Answer::Unrelated:
        break;
    }
  }
}

std::uint16_t nextSequence() {
  static std::uint16_t sequence = 0;
  return ++sequence;
}

}  // namespace

void IcmpClient::Ping() {
  const auto deadline = Clock::now() + std::chrono::milliseconds(receiveTimeout_);
  const in_addr address = resolve(host_, deadline);
  const IcmpSocket socket;
  const EchoId echo{static_cast<std::uint16_t>(::getpid()), nextSequence(), socket.raw()};
  send(socket, address, echoRequest(echo.id, echo.sequence), host_);
  const EchoReply reply = awaitReply(socket, echo, deadline);
  if (onReply_) onReply_(reply);
}
