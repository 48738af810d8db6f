// Proxy settings from a proxy URL, the http_proxy environment variable or a named entry of the
// proxy INI file (ZM_PROXY_FILE; passwords stored as hexadecimal text). Every source ends in the
// same checks. Passwords never reach a log line or an error text: those show "***".
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "conf.h"
#include "libpwd.h"
#include "net.h"
#include "pal_log.h"
#include "pal_url.h"
#include "secret_wipe.h"

static const char kLogTag[] = "net";

namespace {

constexpr char kProxyFileEnv[] = "ZM_PROXY_FILE";
constexpr char kHttpProxyEnv[] = "http_proxy";

struct proto_row {
  const char *name;
  int32_t type;
};

constexpr proto_row kProtocols[] = {
    {"http", PROXY_HTTP},
    {"socks4", PROXY_SOCKS4},
    {"socks5", PROXY_SOCKS5},
};

// A text buffer that holds a password for the length of one call and is wiped on every exit.
struct wiped_text {
  char text[PROXY_TEXT_SIZE] = "";
  ~wiped_text() { secret_wipe(text, sizeof text); }
};

// The URL with the password between "user:" and "@" replaced by the log mask.
void mask_url(const char *url, char *out, size_t size) {
  const char *scheme = strstr(url, "://");
  const char *auth = scheme ? scheme + 3 : url;
  const char *at = strchr(auth, '@');
  const char *colon = at ? static_cast<const char *>(memchr(auth, ':', size_t(at - auth))) : nullptr;
  if (!colon) {
    snprintf(out, size, "%s", url);
    return;
  }
  snprintf(out, size, "%.*s:%s%s", int(colon - url), url, PWD_LOG_MASK, at);
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Two digits per byte, either case; false for an odd length, a foreign digit, a NUL byte or a
// text that does not fit.
bool hex_decode(const char *hex, char *out, size_t size) {
  const size_t len = strlen(hex);
  if (len % 2 != 0 || len / 2 >= size) return false;
  for (size_t i = 0; i < len; i += 2) {
    const int hi = hex_digit(hex[i]);
    const int lo = hex_digit(hex[i + 1]);
    if (hi < 0 || lo < 0 || (hi | lo) == 0) return false;
    out[i / 2] = char(hi << 4 | lo);
  }
  out[len / 2] = '\0';
  return true;
}

int proxy_fill(const char *proto, const char *host, int port, const char *user, const char *pwd, proxy_conf *out,
               verr_info *err) {
  const int type = conf_proxy_2_id(proto, err);
  if (type < 0) return -1;
  if (!*host) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "proxy ip is empty");
    return -1;
  }
  if (port == 0) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "proxy port is empty");
    return -1;
  }
  if (port < 0 || port > 0xffff) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "proxy port [%d] invalid", port);
    return -1;
  }
  proxy_conf_clear(out);
  out->type = type;
  out->port = port;
  snprintf(out->proto, sizeof out->proto, "%s", proto);
  snprintf(out->ip, sizeof out->ip, "%s", host);
  snprintf(out->user, sizeof out->user, "%s", user);
  snprintf(out->pwd, sizeof out->pwd, "%s", pwd);
  return 0;
}

// source names the text in the error record ("proxy url", "env url").
int proxy_from_url(const char *url, const char *source, proxy_conf *out, verr_info *err) {
  if (!url_has_scheme(url)) {
    char shown[URL_TEXT_SIZE];
    mask_url(url, shown, sizeof shown);
    VERR_SET(err, VERR_INVALID_PARAMETER, "%s [%s] invalid", source, shown);
    return -1;
  }
  UrlRecord rec;
  char storage[URL_TEXT_SIZE];
  const int r = url_parser(&rec, storage, url) == 0
                    ? proxy_fill(rec.protocol, rec.host, rec.port, rec.user, rec.passwd, out, err)
                    : -1;
  secret_wipe(storage, sizeof storage);
  return r;
}

}  // namespace

void proxy_conf_clear(proxy_conf *proxy) {
  if (proxy) secret_wipe(proxy, sizeof *proxy);
}

int conf_proxy_2_id(const char *proto, verr_info *err) {
  for (const proto_row &row : kProtocols)
    if (proto && strcasecmp(proto, row.name) == 0) return row.type;
  VERR_SET(err, VERR_INVALID_PARAMETER, "proxy protocol [%s] Unsupported\n", proto ? proto : "");
  return -1;
}

int conf_proxy_load(const char *file, const char *name, proxy_conf *out, char *urlbuf, verr_info *err) {
  conf_ptr conf(conf_load(file));
  if (!conf) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "conf_load [%s] failed", file);
    return -1;
  }
  if (!conf_has_section(conf.get(), name)) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "proxy name [%s] does not exist", name);
    return -1;
  }
  const char *proto = conf_get_string(conf.get(), name, "proto", "");
  const char *ip = conf_get_string(conf.get(), name, "ip", "");
  const int port = conf_get_int(conf.get(), name, "port", 0);
  const char *user = conf_get_string(conf.get(), name, "user", "");
  wiped_text pwd;
  if (!hex_decode(conf_get_string(conf.get(), name, "pwd", ""), pwd.text, sizeof pwd.text)) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "proxy pwd [%s] invalid", PWD_LOG_MASK);
    return -1;
  }
  if (proxy_fill(proto, ip, port, user, pwd.text, out, err) != 0) return -1;
  if (urlbuf) {
    if (*user && *pwd.text)
      snprintf(urlbuf, PROXY_TEXT_SIZE, "%s://%s:%s@%s:%d", proto, user, PWD_LOG_MASK, ip, port);
    else
      snprintf(urlbuf, PROXY_TEXT_SIZE, "%s://%s:%d", proto, ip, port);
  }
  return 0;
}

int conf_proxy_get(const char *url, const char *name, proxy_conf *out, verr_info *err) {
  if (url && *url) return proxy_from_url(url, "proxy url", out, err);
  if (!name || !*name) {
    const char *env = getenv(kHttpProxyEnv);
    if (!env || !*env) {
      proxy_conf_clear(out);  // type 0: the caller can hand out to the connect as it is
      return 1;
    }
    if (proxy_from_url(env, "env url", out, err) != 0) return -1;
    char shown[URL_TEXT_SIZE];
    mask_url(env, shown, sizeof shown);
    ZLOG(LOG2_DBG, "use http_proxy=%s\n", shown);
    return 0;
  }
  const char *file = getenv(kProxyFileEnv);
  if (!file || !*file) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "%%ZM_ENV_PROXY_FILE%% Is NULL");
    return -1;
  }
  char shown[PROXY_TEXT_SIZE];
  if (conf_proxy_load(file, name, out, shown, err) != 0) return -1;
  ZLOG(LOG2_DBG, "use proxy=%s [%s]\n", name, shown);
  return 0;
}
