// Server names as the client configuration gives them: "name@address[:port]".
#include "sql/SqlEndpoint.h"

#include <gtest/gtest.h>

#include "sql/SqlError.h"

using namespace sql;

namespace {

SqlErrorKind kindOfBadName(const std::string& serverName) {
  try {
    ParseServerName(serverName);
  } catch (const SqlError& e) {
    return e.Kind();
  }
  return SqlErrorKind::Other;
}

TEST(SqlEndpointTest, NameAtAddressWithAndWithoutPort) {
  EXPECT_EQ(ParseServerName("ff_server@127.0.0.1:3307").host, "127.0.0.1");
  EXPECT_EQ(ParseServerName("ff_server@127.0.0.1:3307").port, 3307u);
  EXPECT_EQ(ParseServerName("ff_server@127.0.0.1:3307").name, "ff_server@127.0.0.1:3307");
  EXPECT_EQ(ParseServerName("ff_server@db.firma.no").port, 3306u);
  EXPECT_EQ(ParseServerName("ff_server").host, "ff_server");
  EXPECT_EQ(ParseServerName("x@[::1]:4000").host, "::1");
  EXPECT_EQ(ParseServerName("x@[::1]:4000").port, 4000u);
  EXPECT_EQ(kindOfBadName("ff_server@"), SqlErrorKind::Refused);
  EXPECT_EQ(kindOfBadName("ff_server@host:0"), SqlErrorKind::Refused);
  EXPECT_EQ(kindOfBadName("ff_server@host:70000"), SqlErrorKind::Refused);
  EXPECT_EQ(kindOfBadName("ff_server@host:33a"), SqlErrorKind::Refused);
}

TEST(SqlEndpointTest, ABadNameSaysWhatIsWrong) {
  try {
    ParseServerName("ff_server@host:0");
    FAIL() << "port 0 accepted";
  } catch (const SqlError& e) {
    EXPECT_EQ(e.Described(), "Ugyldig servernavn 'ff_server@host:0': porten må være et tall fra 1 til 65535");
  }
}

TEST(SqlEndpointTest, TlsIsRequiredOverTcpAndTheNameCheckedWhenACaIsGiven) {
  SqlEndpoint tcp = ParseServerName("ff_server@10.0.0.1");
  EXPECT_TRUE(tcp.TlsRequired());
  EXPECT_FALSE(tcp.VerifiesServerName()) << "without a CA there is nothing to check the name against";
  tcp.tls.ca = "/ca.pem";
  EXPECT_TRUE(tcp.VerifiesServerName());
  tcp.tls.verifyServer = false;
  tcp.tls.required = false;
  EXPECT_FALSE(tcp.VerifiesServerName());
  EXPECT_FALSE(tcp.TlsRequired());
  SqlEndpoint socket;
  socket.socket = "/run/mysqld.sock";
  EXPECT_FALSE(socket.TlsRequired()) << "a local socket needs no TLS";
}

TEST(SqlEndpointTest, TlsSwitchesAreYesOrNo) {
  EXPECT_EQ(ParseTlsSwitch("TlsRequired", "1"), std::optional<bool>(true));
  EXPECT_EQ(ParseTlsSwitch("TlsRequired", "Ja"), std::optional<bool>(true));
  EXPECT_EQ(ParseTlsSwitch("TlsRequired", "false"), std::optional<bool>(false));
  EXPECT_EQ(ParseTlsSwitch("TlsRequired", "NEI"), std::optional<bool>(false));
  EXPECT_EQ(ParseTlsSwitch("TlsRequired", ""), std::nullopt);
  try {
    ParseTlsSwitch("TlsVerifyServer", "2");
    FAIL() << "2 was taken as a switch";
  } catch (const SqlError& e) {
    EXPECT_EQ(e.Described(), "Ugyldig verdi for TlsVerifyServer: '2' (bruk 1 eller 0)");
  }
}

}  // namespace
