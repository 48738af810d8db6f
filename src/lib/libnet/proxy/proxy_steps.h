// The steps of a connect that the library's files share: the direct connect, the stop test, the
// three proxy handshakes over a temporary channel and the table that turns proxy replies into
// status codes and texts. Not part of the public interface.
#pragma once

#include "net.h"

[[nodiscard]] uint32_t sock_connect_imp(const char *host, int port, const sock_param *param, verr_info *err);
[[nodiscard]] uint32_t proxy_tcp_connect(const char *host, int port, const sock_param *param, verr_info *err);
// True when the stop flag is set or the check callback asks to stop.
[[nodiscard]] bool stop_requested(stop_ctl *stop, int timeout_ms);

// Each handshake runs towards host:port on a connected channel: 0, or -1 with err filled.
[[nodiscard]] int proxy_http_init(net_sock *chan, const char *host, int port, const proxy_conf *proxy, verr_info *err);
[[nodiscard]] int proxy_sock4_init(net_sock *chan, const char *host, int port, const proxy_conf *proxy, verr_info *err);
[[nodiscard]] int proxy_sock5_init(net_sock *chan, const char *host, int port, const proxy_conf *proxy, verr_info *err);

// What a proxy answered at one step of its handshake.
enum proxy_reply_step : int {
  PROXY_REPLY_HTTP,           // first digit of the status code
  PROXY_REPLY_SOCKS4,         // reply byte
  PROXY_REPLY_SOCKS5_METHOD,  // chosen method (0xFF: none acceptable)
  PROXY_REPLY_SOCKS5_AUTH,    // user/password status
  PROXY_REPLY_SOCKS5,         // connect reply code
};

// 0 when the reply grants the step, else -1 with its code and text in err at the caller's place.
[[nodiscard]] int proxy_reply_check(proxy_reply_step step, int reply, verr_info *err, const char *file, int line,
                                    const char *func);
#define PROXY_REPLY_CHECK(step, reply, err) proxy_reply_check((step), (reply), (err), __FILE__, __LINE__, __func__)

// An IPv6 literal holds at least two ':' characters.
[[nodiscard]] bool proxy_is_ipv6_literal(const char *host);
