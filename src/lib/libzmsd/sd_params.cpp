// Connection parameters from the session URL: scheme and default ports, user information,
// time-outs in seconds, size texts, compressor, cipher and proxy. Values outside a key's rule
// take its default, so a bad option never breaks the connect by itself; a bad proxy setting does.
#include <strings.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "sd_session.h"
#include "secret_wipe.h"
#include "pal_url.h"

namespace {

constexpr int kConnectTimeoutMs = 4000;
constexpr int kReadTimeoutMs = 10000;
constexpr int kWriteTimeoutMs = 8000;
constexpr int kWriteBelowReadMs = 1000;
constexpr int kBlockSize = 0xa00000;
constexpr int kRdirSize = 0x100000;
constexpr int kSockBufsize = 0x40000;
constexpr char kDefaultPack[] = "lz4";
constexpr int kSecondsText = 16;  // up to 15 characters
constexpr int kSizeText = 32;     // up to 31 characters
constexpr int kProxyNameSize = 256;

// A time-out key in seconds, as milliseconds; def when absent, not a number or below 1 ms. Large
// values stop at the largest whole second that fits the millisecond field.
int32_t timeout_ms(const char *url, const char *key, int32_t def) {
  char text[kSecondsText];
  url_get_query(url, key, "", text, sizeof text);
  const long long seconds = strtoll(text, nullptr, 10);
  if (seconds < 1) return def;
  return int32_t(seconds > INT32_MAX / 1000 ? INT32_MAX / 1000 : seconds) * 1000;
}

// A size-text key in bytes; def when absent, outside the rule, 0, or too large for the field.
int32_t size_bytes(const char *url, const char *key, int32_t def) {
  char text[kSizeText];
  url_get_query(url, key, "", text, sizeof text);
  const uint64_t bytes = str_size_text_bytes(text);
  return bytes == 0 || bytes > INT32_MAX ? def : int32_t(bytes);
}

// "proxy_url" is the base64 text of a proxy URL; "proxy" names an entry of the proxy file.
int read_proxy(const char *url, proxy_conf *out, verr_info *err) {
  char encoded[URL_PART_SIZE];
  char proxy_url[URL_PART_SIZE] = "";
  char name[kProxyNameSize];
  url_get_query(url, "proxy_url", "", encoded, sizeof encoded);
  url_get_query(url, "proxy", "", name, sizeof name);
  if (encoded[0] && str_base64_decode(encoded, proxy_url, sizeof proxy_url) < 0) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "proxy_url is not base64");
    return -1;
  }
  const int r = conf_proxy_get(proxy_url, name, out, err);
  secret_wipe(proxy_url, sizeof proxy_url);
  secret_wipe(encoded, sizeof encoded);
  return r < 0 ? -1 : 0;
}

}  // namespace

int sd_conn_params_read(const char *url, stop_ctl *stop, sd_conn_params *out, verr_info *err) {
  char storage[URL_TEXT_SIZE];
  UrlRecord rec;
  if (url_parser(&rec, storage, url) != 0) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "%s", "");
    return -1;
  }
  out->tls = strcasecmp(rec.protocol, "zmps") == 0 ? 1 : 0;
  snprintf(out->host, sizeof out->host, "%s", rec.host);
  out->port = rec.port != 0 ? rec.port : out->tls ? ZMPS_DEF_PORT : ZMP_DEF_PORT;
  snprintf(out->user, sizeof out->user, "%s", rec.user);
  const bool kept = out->password.assign(rec.passwd);
  secret_wipe(storage, sizeof storage);
  if (!kept) {
    VERR_SET(err, VERR_NO_MEMORY, "memory allocation failed");
    return -1;
  }

  out->connect_timeout = timeout_ms(url, "connect_timeout", kConnectTimeoutMs);
  out->read_timeout = timeout_ms(url, "read_timeout", kReadTimeoutMs);
  out->write_timeout = timeout_ms(url, "write_timeout", kWriteTimeoutMs);
  if (out->write_timeout > out->read_timeout - kWriteBelowReadMs)
    out->write_timeout = out->read_timeout - kWriteBelowReadMs;
  out->block_size = size_bytes(url, "mblock-size", kBlockSize);
  out->rdir_size = size_bytes(url, "rdir-size", kRdirSize);
  out->sock_bufsize = size_bytes(url, "sock-bufsize", kSockBufsize);
  url_get_query(url, "pack", kDefaultPack, out->pack, sizeof out->pack);
  url_get_query(url, "ssl-cipher", "", out->cipher, sizeof out->cipher);

  out->sock.connect_timeout = out->connect_timeout;
  out->sock.buf_size = out->sock_bufsize;
  out->sock.stop = stop;
  return read_proxy(url, &out->sock.proxy, err);
}

void sd_conn_params_clear(sd_conn_params *params) {
  params->password.clear();
  proxy_conf_clear(&params->sock.proxy);
}
