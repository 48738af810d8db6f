// Session life: connect (socket directly or through the proxy, TLS for "zmps", login,
// compressor, server information), reconnect over the same link settings, and exit with goodbye.
// The TLS client configuration is process-wide and made once at start-up.
#include <new>

#include "pal_log.h"
#include "sd_handles.h"
#include "ssl_cli.h"

static const char kLogTag[] = "sdcli";

namespace {

constexpr int CMD_GOODBYE = 2;

// Set up by zmsd_cli_init on the main thread before any session exists; read-only afterwards.
bool g_initialised = false;
ssl_cli_conf *g_ssl_conf = nullptr;

enum class link_step { ok, socket_failed, tls_failed };

// Opens the connection with the kept parameters: the socket (through the kept proxy, if any),
// then TLS for "zmps". The reason of a failed socket is in err; a failed TLS closes the socket.
link_step sd_link_open(zmsd_session *s, verr_info *err) {
  const sd_conn_params &p = s->params;
  s->link.chan.handle = sock_connect(p.host, p.port, &p.sock, err);
  if (s->link.chan.handle == 0) {
    ZLOG(LOG2_ERR, "sock_connect ip=%s port=%d connect_timeout=%d buf_size=%d failed\n", p.host,
         p.port, p.sock.connect_timeout, p.sock.buf_size);
    return link_step::socket_failed;
  }
  if (!p.tls) return link_step::ok;
  if (g_ssl_conf && ssl_cli_connect(g_ssl_conf, &s->link.chan, p.cipher)) return link_step::ok;
  (void)net_close(&s->link.chan);
  return link_step::tls_failed;
}

void sd_session_free(zmsd_session *s) {
  sd_link_close(s);
  sd_link_release(&s->link);
  sdcomp_free(&s->comp);
  sd_conn_params_clear(&s->params);
  delete s;
}

void log_params(const zmsd_session *s) {
  const sd_conn_params &p = s->params;
  ZLOG(LOG2_DBG, "ip=%s port=%d sock_bufsize=%d block_size=%d rdir_size=%d\n", p.host, p.port,
       p.sock_bufsize, s->block_size, s->rdir_size);
  ZLOG(LOG2_DBG, "connect_timeout=%d read_timeout=%d write_timeout=%d\n", p.connect_timeout,
       p.read_timeout, p.write_timeout);
  ZLOG(LOG2_DBG, "user=[%s] passwd=[%s] pack=[%s] bssl=[%d] cipher=[%s]\n", p.user, PWD_LOG_MASK,
       p.pack, int(p.tls), p.cipher);
}

zmsd_session *zmsd_cli_connect3_imp(const char *url, stop_ctl *stop, int login, verr_info *err) {
  if (!url) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "%s", "");
    return nullptr;
  }
  auto *s = new (std::nothrow) zmsd_session;
  if (!s) {
    VERR_SET(err, VERR_NO_MEMORY, "memory allocation failed");
    return nullptr;
  }
  s->link.err = err ? err : &s->own_err;
  if (sd_conn_params_read(url, stop, &s->params, s->link.err) != 0) {
    sd_session_free(s);
    return nullptr;
  }
  const sd_conn_params &p = s->params;
  s->block_size = p.block_size;
  s->rdir_size = p.rdir_size;
  s->link.chan.timeout = p.read_timeout;
  s->link.chan.stop = stop;

  switch (sd_link_open(s, s->link.err)) {
    case link_step::ok:
      break;
    case link_step::socket_failed:
      sd_session_free(s);
      return nullptr;
    case link_step::tls_failed:
      VERR_SET(s->link.err, VERR_GENERAL_FAILURE,
               g_ssl_conf ? "ssl_cli_connect failed" : "ssl_cli init failed");
      sd_session_free(s);
      return nullptr;
  }

  if (login) {
    const int status = cli_init(s, p.user, p.password.reveal());
    if (status != SD_OK) {
      ZLOG(LOG2_ERR, "cli_init ret=%d\n", status);
      zmsd_cli_set_last_error(&s->link, status);
      sd_session_free(s);
      return nullptr;
    }
  }
  log_params(s);
  if (sd_pack_announce(s, p.pack) != 0 || zmsd_cli_ver_info(s) != 0) {
    sd_session_free(s);
    return nullptr;
  }
  return s;
}

}  // namespace

void sd_link_close(zmsd_session *s) {
  ssl_cli_close(static_cast<ssl_cli_conn *>(s->link.chan.ssl));
  (void)net_close(&s->link.chan);
}

void zmsd_cli_init() {
  if (g_initialised) return;
  g_initialised = true;
  g_ssl_conf = ssl_cli_conf_new();
  if (!g_ssl_conf) ZLOG(LOG2_ERR, "ssl_cli_conf_new failed\n");
}

void zmsd_cli_uninit() {
  ssl_cli_conf_free(g_ssl_conf);
  g_ssl_conf = nullptr;
  g_initialised = false;
}

zmsd_session *zmsd_cli_connect(const char *url, verr_info *err) {
  return zmsd_cli_connect3_imp(url, nullptr, 1, err);
}

zmsd_session *zmsd_cli_connect2(const char *url, stop_ctl *stop, verr_info *err) {
  return zmsd_cli_connect3_imp(url, stop, 1, err);
}

zmsd_session *zmsd_cli_connect3(const char *url, stop_ctl *stop, int login, verr_info *err) {
  return zmsd_cli_connect3_imp(url, stop, login, err);
}

int zmsd_cli_reconnect(zmsd_session *s) {
  if (!sd_handle_session(s)) return -1;
  sd_link_close(s);
  verr_info why{};
  switch (sd_link_open(s, &why)) {
    case link_step::ok:
      break;
    case link_step::socket_failed:
      VERR_SET(s->link.err, VERR_TIMEOUT, "connect timeout error");
      return -1;
    case link_step::tls_failed:
      VERR_SET(s->link.err, VERR_TIMEOUT, "ssl connect timeout error");
      return -1;
  }
  const int status = cli_init(s, s->params.user, s->params.password.reveal());
  if (status != SD_OK) {
    zmsd_cli_set_last_error(&s->link, status);
    return -1;
  }
  return 0;
}

int zmsd_cli_exit(zmsd_session *s) {
  if (!sd_handle_session(s)) return -1;
  ZLOG(LOG2_DBG, "==>\n");
  sd_close_handles(s);
  if (s->link.chan.handle != 0 && blob_buf_init(&s->link.build, BLOB_MSG_ID) == 0)
    (void)sd_send(s, CMD_GOODBYE);
  sd_session_free(s);
  ZLOG(LOG2_DBG, "<==\n");
  return 0;
}
