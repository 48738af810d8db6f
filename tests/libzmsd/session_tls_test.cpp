// "zmps" sessions: TLS from a server that is not ours (socat's OpenSSL listener in front of the
// plain reference peer) with the default suites and with the one suite that ssl-cipher=aes_256_ecb
// forces; a server without that suite fails the forced handshake. A reconnect of a TLS session
// (against the peer's own TLS port, which takes many connections) runs TLS again with the same
// forced suite.
#include <string>

#include "sd_session.h"
#include "session_fixture.h"
#include "ssl_cli.h"
#include "tls_peers.h"

namespace {

constexpr char kForcedSuite[] = "TLS-RSA-WITH-AES-256-CBC-SHA";

class SessionTlsTest : public SessionTest {
 protected:
  void SetUp() override { ASSERT_TRUE(cert.ok()) << "openssl could not make a certificate"; }
  static const ssl_cli_conn *tls_of(const zmsd_session *s) {
    return static_cast<const ssl_cli_conn *>(s->link.chan.ssl);
  }
  test_cert cert;
};

TEST_F(SessionTlsTest, DefaultSuitesThroughAnOpenSslServer) {
  start_peer({"-u", "alice:pw"});
  socat_tls_server tls(cert, port(), "");
  ASSERT_TRUE(tls.ok()) << tls.log_text();
  session_ptr s(zmsd_cli_connect(url_for(tls.port(), "alice:pw", "", "zmps").c_str(), &err));
  ASSERT_TRUE(s) << err.code << " " << err.text << "\n" << tls.log_text();
  ASSERT_NE(tls_of(s.get()), nullptr);
  EXPECT_STREQ(ssl_cli_get_version(tls_of(s.get())), "TLSv1.2");
  EXPECT_STREQ(zmsd_cli_srv_ver(s.get()), "1.6.8") << "the server information came through TLS";
}

TEST_F(SessionTlsTest, ForcedSuiteIsNegotiatedWithAServerOfferingIt) {
  start_peer({});
  socat_tls_server tls(cert, port(), "AES256-SHA");
  ASSERT_TRUE(tls.ok()) << tls.log_text();
  session_ptr s(
      zmsd_cli_connect(url_for(tls.port(), "", "ssl-cipher=AES_256_ECB", "ZMPS").c_str(), &err));
  ASSERT_TRUE(s) << err.code << " " << err.text << "\n" << tls.log_text();
  EXPECT_STREQ(ssl_cli_get_ciphersuite(tls_of(s.get())), kForcedSuite);
}

TEST_F(SessionTlsTest, ForcedSuiteFailsAgainstAServerWithoutIt) {
  start_peer({});
  socat_tls_server tls(cert, port(), "ECDHE-RSA-AES128-GCM-SHA256");
  ASSERT_TRUE(tls.ok()) << tls.log_text();
  session_ptr s(
      zmsd_cli_connect(url_for(tls.port(), "", "ssl-cipher=aes_256_ecb", "zmps").c_str(), &err));
  EXPECT_FALSE(s);
  EXPECT_EQ(err.code, VERR_GENERAL_FAILURE);
  EXPECT_STREQ(err.text, "ssl_cli_connect failed");
  EXPECT_TRUE(commands().empty()) << "nothing reached the server";
}

TEST_F(SessionTlsTest, TlsToAPlainServerFailsTheHandshake) {
  start_peer({});
  session_ptr s(zmsd_cli_connect(url("", "read_timeout=2", "zmps").c_str(), &err));
  EXPECT_FALSE(s);
  EXPECT_STREQ(err.text, "ssl_cli_connect failed");
}

TEST_F(SessionTlsTest, ReconnectRunsTlsAgainWithTheSameSuite) {
  start_peer({"--tls-cert", cert.dir() + "/cert.pem", "--tls-key", cert.dir() + "/key.pem", "-u",
              "alice:pw"});
  session_ptr s(zmsd_cli_connect(url("alice:pw", "ssl-cipher=aes_256_ecb", "zmps").c_str(), &err));
  ASSERT_TRUE(s) << err.code << " " << err.text;
  const ssl_cli_conn *first = tls_of(s.get());
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(zmsd_cli_reconnect(s.get()), 0) << zmsd_cli_last_error(s.get());
  ASSERT_NE(tls_of(s.get()), nullptr);
  EXPECT_STREQ(ssl_cli_get_ciphersuite(tls_of(s.get())), kForcedSuite);
  EXPECT_EQ(zmsd_cli_ver_info(s.get()), 0) << "the new TLS link carries requests";
}

}  // namespace
