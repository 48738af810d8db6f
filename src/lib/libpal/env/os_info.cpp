// System description texts of the start-up line and the shell's info view: the uname fields and
// the first network interface's hardware address. Both are read from the running kernel.
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/utsname.h>

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "pal_env.h"
#include "pal_log.h"

static const char kLogTag[] = "pal";

namespace {

constexpr size_t kInfoSize = 256;

// The hardware address as one number, first byte most significant, so the hex text reads like
// the address itself; 0 when no interface has a non-zero one (loopback's is all zeros).
uint64_t first_hw_address() {
  ifaddrs *list = nullptr;
  if (getifaddrs(&list) != 0) return 0;
  uint64_t value = 0;
  for (const ifaddrs *ifa = list; ifa && value == 0; ifa = ifa->ifa_next) {
    if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_PACKET) continue;
    const auto *ll = reinterpret_cast<const sockaddr_ll *>(ifa->ifa_addr);
    const int len = ll->sll_halen < 8 ? ll->sll_halen : 8;
    for (int i = 0; i < len; ++i) value = (value << 8) | ll->sll_addr[i];
  }
  freeifaddrs(list);
  return value;
}

}  // namespace

const char *os_get_info() {
  static char info[kInfoSize];
  static std::once_flag once;
  std::call_once(once, [] {
    utsname u{};
    if (uname(&u) != 0) {
      ZLOG(LOG2_DBG | LOG2_ERRNO, "uname error: ");
      return;
    }
    // Five fields and an empty sixth, so the text ends in a blank.
    const std::string text = std::string(u.sysname) + " " + u.nodename + " " + u.release + " " +
                             u.version + " " + u.machine + " ";
    snprintf(info, sizeof info, "%s", text.c_str());
  });
  return info;
}

char *os_get_hw_info(char *buf, size_t size) {
  if (!buf || size == 0) return buf;
  snprintf(buf, size < kInfoSize ? size : kInfoSize, "%llx",
           static_cast<unsigned long long>(first_hw_address()));
  return buf;
}
