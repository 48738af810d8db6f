// One TLS session over a connected socket channel: the handshake, the channel's read and write
// hooks, and close-notify. Records travel over the channel's plain socket path (net_sock_read/
// net_sock_write), so every transfer keeps the channel's time-out, abort and stop behaviour.
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <strings.h>

#include <mbedtls/net_sockets.h>

#include "pal_env.h"
#include "pal_log.h"
#include "ssl_mbed.h"

static const char kLogTag[] = "sslcli";

namespace {

int clamp_len(size_t len) { return len > size_t(INT_MAX) ? INT_MAX : int(len); }

// The transport under TLS. The plain path returns a short count on time-out or close; a count
// of 0 tells them apart by the channel's disconnected flag.
int bio_send(void *arg, const unsigned char *buf, size_t len) {
  net_sock *chan = static_cast<ssl_cli_conn *>(arg)->chan;
  const int sent = net_sock_write(chan, buf, clamp_len(len));
  if (sent > 0) return sent;
  if (sent < 0) return MBEDTLS_ERR_NET_SEND_FAILED;
  return chan->disconnected ? MBEDTLS_ERR_NET_CONN_RESET : MBEDTLS_ERR_SSL_TIMEOUT;
}

int recv_result(const net_sock *chan, int got) {
  if (got > 0) return got;
  if (got < 0) return MBEDTLS_ERR_NET_RECV_FAILED;
  return chan->disconnected ? 0 : MBEDTLS_ERR_SSL_TIMEOUT;  // 0 is end of stream to the library
}

// Served from the read-ahead buffer, which one receive refills with whatever has arrived.
int bio_recv(void *arg, unsigned char *buf, size_t len) {
  auto *conn = static_cast<ssl_cli_conn *>(arg);
  net_sock *chan = conn->chan;
  if (conn->ahead_len == 0) {
    if (len >= sizeof conn->ahead) return recv_result(chan, net_sock_read(chan, buf, clamp_len(len)));
    const int got = net_sock_read_some(chan, conn->ahead, int(sizeof conn->ahead));
    if (got <= 0) return recv_result(chan, got);
    conn->ahead_pos = 0;
    conn->ahead_len = size_t(got);
  }
  const size_t n = std::min(len, conn->ahead_len - conn->ahead_pos);
  memcpy(buf, conn->ahead + conn->ahead_pos, n);
  conn->ahead_pos += n;
  if (conn->ahead_pos == conn->ahead_len) conn->ahead_pos = conn->ahead_len = 0;
  return int(n);
}

// No progress within the channel's time-out (the transport waited it out).
bool is_stalled(int ret) {
  return ret == MBEDTLS_ERR_SSL_TIMEOUT || ret == MBEDTLS_ERR_SSL_WANT_READ ||
         ret == MBEDTLS_ERR_SSL_WANT_WRITE;
}

bool timed_out(const net_sock *chan, uint64_t start_ms) {
  return int64_t(os_get_ms() - start_ms) >= int64_t(chan->timeout);
}

ssl_cli_conn *connection_of(net_sock *chan) {
  auto *conn = chan ? static_cast<ssl_cli_conn *>(chan->ssl) : nullptr;
  ZASSERT(conn != nullptr);
  return conn;
}

}  // namespace

ssl_cli_conn *ssl_cli_connect(ssl_cli_conf *conf, net_sock *chan, const char *cipher, verr_info *err) {
  if (!conf || !chan || chan->type > 1 || chan->handle == 0) {
    ZLOG(LOG2_ERR, "no configuration or no connected socket channel");
    VERR_SET(err, VERR_INVALID_PARAMETER, "no configuration or no connected socket channel");
    return nullptr;
  }
  const bool forced = cipher && strcasecmp(cipher, "aes_256_ecb") == 0;
  if (forced) ZLOG(LOG2_INFO, "force_ciphersuite=%d", SSL_FORCED_SUITE);

  std::unique_ptr<ssl_cli_conn> conn(new (std::nothrow) ssl_cli_conn);
  if (!conn) {
    ZLOG(LOG2_ERR, "out of memory");
    VERR_SET(err, VERR_NO_MEMORY, "out of memory");
    return nullptr;
  }
  conn->chan = chan;
  mbedtls_ssl_context *ssl = conn->ssl.get();
  const int setup = mbedtls_ssl_setup(ssl, forced ? conf->forced_suite.get() : conf->default_suites.get());
  if (setup != 0) {
    ZLOG(LOG2_ERR, "mbedtls_ssl_setup failed");
    VERR_SET(err, ssl_status_of(setup), "mbedtls_ssl_setup failed");
    return nullptr;
  }
  mbedtls_ssl_set_bio(ssl, conn.get(), bio_send, bio_recv, nullptr);

  // Every transfer of the handshake is bounded by the channel's time-out, so one call suffices.
  const int ret = mbedtls_ssl_handshake(ssl);
  if (ret != 0) {
    char text[SSL_ERROR_TEXT_SIZE];
    ssl_error_text(ret, text);
    ZLOG(LOG2_ERR, "mbedtls_ssl_handshake eno=%d err=[%s]", ret, text);
    VERR_SET(err, ssl_status_of(ret), "mbedtls_ssl_handshake eno=%d err=[%s]", ret, text);
    return nullptr;
  }
  ZLOG(LOG2_INFO, "Proto=[%s] Cipher=[%s]", mbedtls_ssl_get_version(ssl), mbedtls_ssl_get_ciphersuite(ssl));
  chan->ssl = conn.get();
  chan->read_proc = ssl_recv_proc;
  chan->write_proc = ssl_send_proc;
  return conn.release();
}

void ssl_cli_close(ssl_cli_conn *conn) {
  if (!conn) return;
  net_sock *chan = conn->chan;
  if (chan->handle != 0 && !chan->disconnected) {
    const int ret = mbedtls_ssl_close_notify(conn->ssl.get());
    if (ret != 0) ZLOG(LOG2_VERB, "mbedtls_ssl_close_notify = %d\n", ret);
  }
  if (chan->ssl == conn) {
    chan->ssl = nullptr;
    chan->read_proc = nullptr;
    chan->write_proc = nullptr;
  }
  delete conn;
}

const char *ssl_cli_get_version(const ssl_cli_conn *conn) { return mbedtls_ssl_get_version(conn->ssl.get()); }

const char *ssl_cli_get_ciphersuite(const ssl_cli_conn *conn) {
  return mbedtls_ssl_get_ciphersuite(conn->ssl.get());
}

int ssl_send_proc(net_sock *chan, const void *buf, int n) {
  ssl_cli_conn *conn = connection_of(chan);
  if (!conn) return -1;
  if (conn->write_stalled) {
    // An earlier time-out left a record half sent; the library would take the next bytes for
    // the rest of it, so this stream cannot go on.
    ZLOG(LOG2_VERB, "mbedtls_ssl_write = %d\n", MBEDTLS_ERR_SSL_TIMEOUT);
    return -1;
  }
  if (n <= 0) return 0;
  const auto *bytes = static_cast<const unsigned char *>(buf);
  const uint64_t start = os_get_ms();
  int count = 0;
  for (;;) {
    const int ret = mbedtls_ssl_write(conn->ssl.get(), bytes + count, size_t(n - count));
    if (ret > 0) {
      count += ret;
      if (count >= n) return count;
    } else if (!is_stalled(ret)) {
      ZLOG(LOG2_VERB, "mbedtls_ssl_write = %d\n", ret);
      return -1;
    }
    if (timed_out(chan, start)) {
      conn->write_stalled = ret <= 0;
      return count;
    }
  }
}

int ssl_recv_proc(net_sock *chan, void *buf, int n) {
  ssl_cli_conn *conn = connection_of(chan);
  if (!conn) return -1;
  if (n <= 0) return 0;
  auto *bytes = static_cast<unsigned char *>(buf);
  const uint64_t start = os_get_ms();
  int count = 0;
  for (;;) {
    const int ret = mbedtls_ssl_read(conn->ssl.get(), bytes + count, size_t(n - count));
    if (ret > 0) {
      count += ret;
      if (count >= n) return count;
    } else if (ret == 0 || ret == MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY) {
      chan->disconnected = 1;  // an orderly close, with or without close-notify
      return count;
    } else if (!is_stalled(ret)) {
      ZLOG(LOG2_VERB, "mbedtls_ssl_read = %d\n", ret);
      return -1;
    }
    if (timed_out(chan, start)) return count;
  }
}
