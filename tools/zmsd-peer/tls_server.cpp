// mbed TLS server side: entropy, CTR-DRBG, own certificate; handshake over a blocking socket.
// Builds against mbed TLS 2.28 and 3.x (the key parser gained RNG arguments in 3.0).
#include "tls_server.h"

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/error.h>
#include <mbedtls/pk.h>
#include <mbedtls/ssl.h>
#include <mbedtls/version.h>
#include <mbedtls/x509_crt.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "pal_log.h"

static const char kLogTag[] = "peer";

namespace peer {

struct TlsServer::State {
  mbedtls_entropy_context entropy;
  mbedtls_ctr_drbg_context drbg;
  mbedtls_x509_crt cert;
  mbedtls_pk_context key;
  mbedtls_ssl_config conf;
  std::mutex drbg_lock;  // guards drbg: every connection thread draws from it (record IVs, handshakes)
  State() {
    mbedtls_entropy_init(&entropy);
    mbedtls_ctr_drbg_init(&drbg);
    mbedtls_x509_crt_init(&cert);
    mbedtls_pk_init(&key);
    mbedtls_ssl_config_init(&conf);
  }
  ~State() {
    mbedtls_ssl_config_free(&conf);
    mbedtls_pk_free(&key);
    mbedtls_x509_crt_free(&cert);
    mbedtls_ctr_drbg_free(&drbg);
    mbedtls_entropy_free(&entropy);
  }
};

namespace {

int locked_random(void *arg, unsigned char *out, size_t n) {
  auto *s = static_cast<TlsServer::State *>(arg);
  std::lock_guard<std::mutex> hold(s->drbg_lock);
  return mbedtls_ctr_drbg_random(&s->drbg, out, n);
}

std::string tls_text(int code) {
  char text[256];
  mbedtls_strerror(code, text, sizeof text);
  return text;
}

// What has arrived on the socket but mbed TLS has not asked for yet: it asks for each record's
// header and body apart, and one receive into here usually holds both and the next header.
struct ReadAhead {
  int fd;
  unsigned char bytes[32768];
  size_t pos = 0;
  size_t len = 0;
};

int send_cb(void *ctx, const unsigned char *buf, size_t n) {
  const int fd = static_cast<ReadAhead *>(ctx)->fd;
  for (;;) {
    const ssize_t r = ::send(fd, buf, n, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    return r < 0 ? MBEDTLS_ERR_SSL_INTERNAL_ERROR : int(r);
  }
}

int recv_cb(void *ctx, unsigned char *buf, size_t n) {
  auto *a = static_cast<ReadAhead *>(ctx);
  while (a->len == 0) {
    const ssize_t r = ::recv(a->fd, a->bytes, sizeof a->bytes, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return r < 0 ? MBEDTLS_ERR_SSL_INTERNAL_ERROR : 0;
    a->pos = 0;
    a->len = size_t(r);
  }
  const size_t k = std::min(n, a->len - a->pos);
  memcpy(buf, a->bytes + a->pos, k);
  a->pos += k;
  if (a->pos == a->len) a->pos = a->len = 0;
  return int(k);
}

class TlsLink final : public Link {
 public:
  TlsLink(int fd, const mbedtls_ssl_config *conf) : sock_(fd) {
    ahead_.fd = fd;
    mbedtls_ssl_init(&ssl_);
    ok_ = mbedtls_ssl_setup(&ssl_, conf) == 0;
    mbedtls_ssl_set_bio(&ssl_, &ahead_, send_cb, recv_cb, nullptr);
  }
  ~TlsLink() override { mbedtls_ssl_free(&ssl_); }

  bool handshake() {
    if (!ok_) return false;
    const int r = mbedtls_ssl_handshake(&ssl_);
    if (r != 0) {
      ZLOG(LOG2_WARN, "tls handshake failed: %d %s\n", r, tls_text(r).c_str());
      return false;
    }
    ZLOG(LOG2_INFO, "tls %s %s\n", mbedtls_ssl_get_version(&ssl_), mbedtls_ssl_get_ciphersuite(&ssl_));
    return true;
  }

  long read_full(void *buf, size_t n) override {
    size_t got = 0;
    while (got < n) {
      const int r = mbedtls_ssl_read(&ssl_, static_cast<unsigned char *>(buf) + got, n - got);
      if (r == MBEDTLS_ERR_SSL_WANT_READ || r == MBEDTLS_ERR_SSL_WANT_WRITE) continue;
      if (r == 0 || r == MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY) return got == 0 ? 0 : -1;
      if (r < 0) return -1;
      got += size_t(r);
    }
    return long(got);
  }

  bool write_all(const void *buf, size_t n) override {
    size_t put = 0;
    while (put < n) {
      const int r = mbedtls_ssl_write(&ssl_, static_cast<const unsigned char *>(buf) + put, n - put);
      if (r == MBEDTLS_ERR_SSL_WANT_READ || r == MBEDTLS_ERR_SSL_WANT_WRITE) continue;
      if (r <= 0) return false;
      put += size_t(r);
    }
    return true;
  }

  void abort() override { sock_.shutdown_both(); }

 private:
  SocketOwner sock_;
  ReadAhead ahead_;
  mbedtls_ssl_context ssl_;
  bool ok_ = false;
};

}  // namespace

TlsServer::TlsServer() : state_(std::make_unique<State>()) {}
TlsServer::~TlsServer() = default;

std::unique_ptr<TlsServer> TlsServer::create(const std::string &cert_file, const std::string &key_file,
                                             std::string &error) {
  std::unique_ptr<TlsServer> server(new TlsServer());
  State &s = *server->state_;
  static const char kPers[] = "zmsd_peer";
  int r = mbedtls_ctr_drbg_seed(&s.drbg, mbedtls_entropy_func, &s.entropy,
                                reinterpret_cast<const unsigned char *>(kPers), sizeof kPers - 1);
  if (r == 0 && (r = mbedtls_x509_crt_parse_file(&s.cert, cert_file.c_str())) != 0)
    error = "certificate " + cert_file + ": ";
#if MBEDTLS_VERSION_NUMBER >= 0x03000000
  if (r == 0 && (r = mbedtls_pk_parse_keyfile(&s.key, key_file.c_str(), nullptr,
                                              mbedtls_ctr_drbg_random, &s.drbg)) != 0)
#else
  if (r == 0 && (r = mbedtls_pk_parse_keyfile(&s.key, key_file.c_str(), nullptr)) != 0)
#endif
    error = "key " + key_file + ": ";
  if (r == 0) r = mbedtls_ssl_config_defaults(&s.conf, MBEDTLS_SSL_IS_SERVER, MBEDTLS_SSL_TRANSPORT_STREAM,
                                              MBEDTLS_SSL_PRESET_DEFAULT);
  if (r == 0) {
    mbedtls_ssl_conf_rng(&s.conf, locked_random, &s);
    r = mbedtls_ssl_conf_own_cert(&s.conf, &s.cert, &s.key);
  }
  if (r != 0) {
    error += tls_text(r);
    return nullptr;
  }
  return server;
}

std::unique_ptr<Link> TlsServer::accept(int fd) {
  auto link = std::make_unique<TlsLink>(fd, &state_->conf);
  if (!link->handshake()) return nullptr;
  return link;
}

}  // namespace peer
