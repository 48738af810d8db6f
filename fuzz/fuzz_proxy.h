// Shared by the proxy fuzz targets: one handshake against a proxy whose replies are the input.
// The first input byte chooses whether the proxy entry has a user (and so authenticates) and
// whether the target host is the second one given.
#pragma once

#include <cstdio>

#include "fuzz_feed.h"
#include "proxy/proxy_steps.h"

namespace fuzz {

using proxy_init_fn = int (*)(net_sock *chan, const char *host, int port, const proxy_conf *proxy,
                              verr_info *err);

inline void proxy_handshake(const uint8_t *data, size_t size, int32_t type, proxy_init_fn init,
                            const char *host, const char *other_host) {
  if (size < 1) return;
  static proxy_conf proxy;
  proxy_conf_clear(&proxy);
  proxy.type = type;
  snprintf(proxy.ip, sizeof proxy.ip, "127.0.0.1");
  proxy.port = 1080;
  if (data[0] & 1) {
    snprintf(proxy.user, sizeof proxy.user, "user");
    snprintf(proxy.pwd, sizeof proxy.pwd, "secret");
  }
  Feed feed(data + 1, size - 1);
  verr_info err{};
  (void)init(&feed.chan, (data[0] & 2) ? other_host : host, 7000, &proxy, &err);
}

}  // namespace fuzz
