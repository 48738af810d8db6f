// The one table from proxy replies to status codes: every answer of an HTTP, SOCKS4 or SOCKS5
// proxy that the handshakes judge is looked up here, so that codes and texts live in one place.
#include <cstring>

#include "proxy_steps.h"

namespace {

constexpr int kAnyReply = -1;  // the row that catches every reply the rows before it did not name

struct reply_row {
  proxy_reply_step step;
  int reply;
  int32_t code;      // 0: granted
  const char *text;  // with_reply: the reply number follows the text
  bool with_reply;
};

constexpr reply_row kReplies[] = {
    {PROXY_REPLY_HTTP, '2', VERR_SUCCESS, nullptr, false},
    {PROXY_REPLY_HTTP, '4', VERR_GENERAL_FAILURE, "proxy user or pwd error", false},
    {PROXY_REPLY_HTTP, kAnyReply, VERR_GENERAL_FAILURE, "proxy read return error", false},
    {PROXY_REPLY_SOCKS4, 0x5A, VERR_SUCCESS, nullptr, false},
    {PROXY_REPLY_SOCKS4, kAnyReply, VERR_GENERAL_FAILURE, "proxy read return error", false},
    {PROXY_REPLY_SOCKS5_METHOD, 0, VERR_SUCCESS, nullptr, false},
    {PROXY_REPLY_SOCKS5_METHOD, 2, VERR_SUCCESS, nullptr, false},
    {PROXY_REPLY_SOCKS5_METHOD, kAnyReply, VERR_INVALID_PARAMETER, "Proxy read return error", false},
    {PROXY_REPLY_SOCKS5_AUTH, 0, VERR_SUCCESS, nullptr, false},
    {PROXY_REPLY_SOCKS5_AUTH, kAnyReply, VERR_INVALID_PARAMETER, "Proxy password or user name error", false},
    {PROXY_REPLY_SOCKS5, 0, VERR_SUCCESS, nullptr, false},
    {PROXY_REPLY_SOCKS5, 1, VERR_GENERAL_FAILURE, "General SOCKS server failure!", false},
    {PROXY_REPLY_SOCKS5, 2, VERR_GENERAL_FAILURE, "Connection not allowed by ruleset!", false},
    {PROXY_REPLY_SOCKS5, 3, VERR_GENERAL_FAILURE, "Network unreachable!", false},
    {PROXY_REPLY_SOCKS5, 4, VERR_GENERAL_FAILURE, "Host unreachable!", false},
    {PROXY_REPLY_SOCKS5, 5, VERR_GENERAL_FAILURE, "Connection refused!", false},
    {PROXY_REPLY_SOCKS5, 6, VERR_GENERAL_FAILURE, "TTL (packet time to live) expired!", false},
    {PROXY_REPLY_SOCKS5, 7, VERR_GENERAL_FAILURE, "SOCKS Command not supported!", false},
    {PROXY_REPLY_SOCKS5, 8, VERR_GENERAL_FAILURE, "Address type not supported!", false},
    {PROXY_REPLY_SOCKS5, kAnyReply, VERR_GENERAL_FAILURE, "proxy unkown error: ", true},
};

}  // namespace

int proxy_reply_check(proxy_reply_step step, int reply, verr_info *err, const char *file, int line,
                      const char *func) {
  for (const reply_row &row : kReplies) {
    if (row.step != step || (row.reply != reply && row.reply != kAnyReply)) continue;
    if (row.code == VERR_SUCCESS) return 0;
    if (row.with_reply)
      verr_info_set(err, file, line, func, row.code, "%s%d", row.text, reply);
    else
      verr_info_set(err, file, line, func, row.code, "%s", row.text);
    return -1;
  }
  verr_info_set(err, file, line, func, VERR_INTERNAL_ERROR, "proxy reply step %d without a row", int(step));
  return -1;
}

bool proxy_is_ipv6_literal(const char *host) {
  const char *first = strchr(host, ':');
  return first && strchr(first + 1, ':');
}
