// TLS towards the private MariaDB, which refuses unencrypted logins over TCP/IP: on by
// default, the certificate checked against the CA, and refused where it cannot be had.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "sql/SqlConnection.h"
#include "sql/SqlError.h"
#include "support/SqlClientTestSupport.h"

using namespace sql;

namespace {

class SqlTlsTest : public sql_client_test::ServerTest {
 protected:
  // The error a connection to `target` fails with; fails the test when it connects.
  static SqlError refusal(const SqlEndpoint& target) {
    try {
      SqlConnection connection(target);
    } catch (const SqlError& e) {
      return e;
    }
    ADD_FAILURE() << "connected";
    return SqlError(SqlErrorKind::Other, "");
  }
};

// A listener that greets one client as a MariaDB server without TLS would, takes any login and
// hangs up at the client's next request.
class ServerWithoutTls {
 public:
  ServerWithoutTls() : listener_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { greetOne(); });
  }
  ~ServerWithoutTls() {
    thread_.join();
    ::close(listener_);
  }
  unsigned port() const { return port_; }

 private:
  void greetOne() {
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    // Protocol 10; capabilities: long password, protocol 4.1, secure connection, plugin auth;
    // no SSL.
    std::string payload("\x0a" "5.5.5-10.11.0-uten-tls" "\0", 24);
    payload += std::string("\x01\x00\x00\x00", 4) + "abcdefgh" + std::string(1, '\0');
    payload += std::string("\x01\x82", 2) + "\x21" + std::string("\x02\x00", 2) + std::string("\x08\x00", 2);
    payload += "\x15" + std::string(10, '\0') + "ijklmnopqrst" + std::string(1, '\0') + "mysql_native_password" +
               std::string(1, '\0');
    const std::string header{static_cast<char>(payload.size()), 0, 0, 0};
    const std::string packet = header + payload;
    (void)!::write(client, packet.data(), packet.size());
    char buffer[1024];
    if (::read(client, buffer, sizeof buffer) > 0) {
      const std::string ok("\x07\x00\x00\x02\x00\x00\x00\x02\x00\x00\x00", 11);
      (void)!::write(client, ok.data(), ok.size());
      (void)!::read(client, buffer, sizeof buffer);
    }
    ::close(client);
  }

  int listener_;
  unsigned port_ = 0;
  std::thread thread_;
};

TEST_F(SqlTlsTest, AConnectionOverTcpIsEncryptedByDefaultAndTheCertificateChecked) {
  ASSERT_FALSE(endpoint.tls.ca.empty()) << "tcp.cfg names the CA";
  EXPECT_TRUE(endpoint.VerifiesServerName());
  const auto cipher = db->FirstResultSet("SHOW SESSION STATUS LIKE 'Ssl_cipher'");
  ASSERT_TRUE(cipher && !cipher->rows.empty());
  EXPECT_NE(cipher->rows[0].at(1).value_or(""), "") << "the session is encrypted";
}

TEST_F(SqlTlsTest, TheServerRefusesALoginWithoutTls) {
  SqlEndpoint plain = endpoint;
  plain.tls = {"", false, false};
  const SqlError error = refusal(plain);
  EXPECT_EQ(error.Kind(), SqlErrorKind::Refused);
  EXPECT_NE(error.Doing().find("krever kryptert forbindelse"), std::string::npos) << error.Described();
}

TEST_F(SqlTlsTest, AServerWithoutTlsIsRefusedWhereTlsIsRequired) {
  ServerWithoutTls server;
  SqlEndpoint target = endpoint;
  target.name = "uten-tls";
  target.port = server.port();
  target.tls.ca.clear();
  target.database.clear();  // nothing more to ask the server before the check
  const SqlError error = refusal(target);
  EXPECT_EQ(error.Kind(), SqlErrorKind::Refused);
  EXPECT_NE(error.Described().find("TLS"), std::string::npos) << error.Described();
  EXPECT_NE(error.Described().find("uten-tls"), std::string::npos) << error.Described();
}

TEST_F(SqlTlsTest, ACertificateFromAnotherCaIsRefused) {
  char pattern[] = "/tmp/kvca-XXXXXX";
  const std::string folder = ::mkdtemp(pattern);
  const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=annen -keyout " + folder +
                           "/ca.key -out " + folder + "/ca.pem >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << "openssl makes a CA";
  SqlEndpoint other = endpoint;
  other.tls.ca = folder + "/ca.pem";
  const SqlError error = refusal(other);
  std::filesystem::remove_all(folder);
  EXPECT_EQ(error.Kind(), SqlErrorKind::Refused);
  EXPECT_NE(error.Doing().find("sertifikat ble ikke godtatt"), std::string::npos) << error.Described();
  EXPECT_NE(error.ServerText().find("certificate"), std::string::npos) << error.Described();
}

TEST_F(SqlTlsTest, AWrongPasswordIsNamedAsSuchWithTheServersOwnText) {
  SqlEndpoint wrong = endpoint;
  wrong.password += "x";
  const SqlError error = refusal(wrong);
  EXPECT_EQ(error.Doing(),
            "Serveren " + endpoint.name + " avviste innloggingen til " + endpoint.user + ": feil brukernavn eller passord");
  EXPECT_NE(error.ServerText().find("Access denied"), std::string::npos) << error.Described();
}

TEST_F(SqlTlsTest, NoUserIsRefusedBeforeAnythingIsSent) {
  SqlEndpoint nobody = endpoint;
  nobody.user.clear();
  const SqlError error = refusal(nobody);
  EXPECT_EQ(error.Described(), "Ingen bruker er oppgitt for innlogging til serveren " + endpoint.name);
}

TEST_F(SqlTlsTest, RootCannotSignOnOverTcp) {
  SqlEndpoint root = endpoint;
  root.user = "root";
  root.password.clear();
  EXPECT_EQ(refusal(root).Kind(), SqlErrorKind::Refused);
  root.password = endpoint.password;
  EXPECT_EQ(refusal(root).Kind(), SqlErrorKind::Refused);
}

}  // namespace
