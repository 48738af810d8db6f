// The peer's TLS port with a self-signed RSA certificate made by openssl: a client that offers
// only TLS-RSA-WITH-AES-256-CBC-SHA (0x0035) gets through and speaks zmp inside.
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/ssl.h>
#include <sys/socket.h>

#include <cstdlib>

#include "peer_fixture.h"

namespace {

struct TlsClient {
  mbedtls_entropy_context entropy;
  mbedtls_ctr_drbg_context drbg;
  mbedtls_ssl_config conf;
  mbedtls_ssl_context ssl;
  int fd = -1;
  const int suites[2] = {0x0035, 0};
  TlsClient() {
    mbedtls_entropy_init(&entropy);
    mbedtls_ctr_drbg_init(&drbg);
    mbedtls_ssl_config_init(&conf);
    mbedtls_ssl_init(&ssl);
  }
  ~TlsClient() {
    mbedtls_ssl_free(&ssl);
    mbedtls_ssl_config_free(&conf);
    mbedtls_ctr_drbg_free(&drbg);
    mbedtls_entropy_free(&entropy);
  }
  static int send_cb(void *c, const unsigned char *b, size_t n) {
    return int(::send(static_cast<TlsClient *>(c)->fd, b, n, MSG_NOSIGNAL));
  }
  static int recv_cb(void *c, unsigned char *b, size_t n) { return int(::recv(static_cast<TlsClient *>(c)->fd, b, n, 0)); }
  int handshake(int socket_fd) {
    fd = socket_fd;
    int r = mbedtls_ctr_drbg_seed(&drbg, mbedtls_entropy_func, &entropy, nullptr, 0);
    if (r == 0) r = mbedtls_ssl_config_defaults(&conf, MBEDTLS_SSL_IS_CLIENT, MBEDTLS_SSL_TRANSPORT_STREAM,
                                                MBEDTLS_SSL_PRESET_DEFAULT);
    if (r != 0) return r;
    mbedtls_ssl_conf_authmode(&conf, MBEDTLS_SSL_VERIFY_NONE);
    mbedtls_ssl_conf_rng(&conf, mbedtls_ctr_drbg_random, &drbg);
    mbedtls_ssl_conf_ciphersuites(&conf, suites);
    if ((r = mbedtls_ssl_setup(&ssl, &conf)) != 0) return r;
    mbedtls_ssl_set_bio(&ssl, this, send_cb, recv_cb, nullptr);
    return mbedtls_ssl_handshake(&ssl);
  }
};

}  // namespace

TEST_F(PeerTest, TlsPortAcceptsTheAes256ShaSuite) {
  char dir[] = "/tmp/zmsd-peer-cert.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string cert = std::string(dir) + "/cert.pem", key = std::string(dir) + "/key.pem";
  const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout " + key +
                           " -out " + cert + " >/dev/null 2>&1";
  ASSERT_EQ(system(make.c_str()), 0);
  start({"--tls-cert", cert, "--tls-key", key});
  TlsClient tls;
  ASSERT_EQ(tls.handshake(client->fd()), 0);
  EXPECT_EQ(mbedtls_ssl_get_ciphersuite_id(mbedtls_ssl_get_ciphersuite(&tls.ssl)), 0x0035);
  client->write_hook = [&](const uint8_t *b, size_t n) { return long(mbedtls_ssl_write(&tls.ssl, b, n)); };
  client->read_hook = [&](uint8_t *b, size_t n) { return long(mbedtls_ssl_read(&tls.ssl, b, n)); };
  const Response r = probe(*client);
  EXPECT_EQ(r.err(), 0);
  EXPECT_EQ(r.num("os_type"), 2);
  (void)system(("rm -rf " + std::string(dir)).c_str());
}
