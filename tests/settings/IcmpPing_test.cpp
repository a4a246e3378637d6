// Pings go to 127.0.0.1 only; names that cannot resolve use the reserved ".invalid" domain.
#include "settings/IcmpPing.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <vector>

namespace {

bool systemAllowsIcmpSockets() {
  for (int type : {SOCK_DGRAM, SOCK_RAW}) {
    const int fd = ::socket(AF_INET, type, IPPROTO_ICMP);
    if (fd >= 0) {
      ::close(fd);
      return true;
    }
  }
  return false;
}

// Pings host once; returns the replies handed to the handler.
std::vector<EchoReply> ping(const std::string& host) {
  std::vector<EchoReply> replies;
  IcmpClient client;
  client.SetHost(host);
  client.SetOnReply([&](const EchoReply& reply) { replies.push_back(reply); });
  client.Ping();
  return replies;
}

TEST(IcmpPing, LoopbackAnswersWithData) {
  if (!systemAllowsIcmpSockets()) {
    EXPECT_THROW(ping("127.0.0.1"), IcmpSendError);
    GTEST_SKIP() << "the system refuses ICMP sockets to this user";
  }
  for (int round = 0; round < 2; ++round) {  // each request is matched to its own reply
    const std::vector<EchoReply> replies = ping("127.0.0.1");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].Status, EchoStatus::Reply);
    EXPECT_EQ(replies[0].BytesReceived, 40u);  // 8 bytes of header, 32 of data
  }
}

TEST(IcmpPing, LoopbackByNameIsResolved) {
  if (!systemAllowsIcmpSockets()) GTEST_SKIP() << "the system refuses ICMP sockets to this user";
  const std::vector<EchoReply> replies = ping("localhost");
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_GT(replies[0].BytesReceived, 0u);
}

TEST(IcmpPing, HostThatCannotBeResolvedIsNotSent) {
  for (const std::string host : {"finnes-ikke.invalid", "", "127.0.0.1.2.invalid"}) {
    SCOPED_TRACE(host);
    EXPECT_THROW(
        {
          const auto replies = ping(host);
          EXPECT_TRUE(replies.empty());
        },
        IcmpSendError);
  }
}

}  // namespace
