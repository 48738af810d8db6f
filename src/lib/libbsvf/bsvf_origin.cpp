// The sender fields of every datagram: machine, boot and process start, program version and
// identity, system and processor. Read once per process (the version when the program sets it).
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "bsvf.h"
#include "pal_env.h"

namespace {

struct name_id {
  const char *name;
  uint16_t id;
};

constexpr name_id kOsIds[] = {
    {"windows", 1}, {"linux", 2}, {"macosx", 3}, {"iphone", 4}, {"freebsd", 5},
};

// The processor names of the id table, with the names the platform library reports beside them.
constexpr name_id kArchIds[] = {
    {"x86", 1},      {"i386", 1},     {"x64", 2},          {"x86_64", 2},         {"arm64", 10},
    {"aarch64", 10}, {"armv4tl", 12}, {"mips", 20},        {"mipsel", 21},        {"loongarch32", 24},
    {"loongarch64", 25},
};

constexpr name_id kAppIds[] = {{"zmue", 7}};

std::atomic<uint32_t> g_ver_id{0};

template <typename Table>
uint16_t lookup(const Table &table, const char *name) {
  for (const name_id &entry : table)
    if (name && strcmp(entry.name, name) == 0) return entry.id;
  return 0;
}

uint64_t hardware_id() {
  char text[64];
  os_get_hw_info(text, sizeof text);
  return strtoull(text, nullptr, 16);
}

uint64_t boot_time() {
  const uint64_t uptime_s = os_uptime_ms() / 1000;
  return uptime_s ? static_cast<uint64_t>(time(nullptr)) - uptime_s : 0;
}

uint64_t start_time() {
  const uint64_t start_ms = pl_start_time_ms();
  return start_ms ? start_ms / 1000 : static_cast<uint64_t>(time(nullptr));
}

bsvf_origin read_origin() {
  bsvf_origin o{};
  o.sid = hardware_id();
  o.bid = boot_time();
  o.stime = start_time();
  o.app_id = bsvf_app_id(program_invocation_short_name);
  o.os_id = bsvf_os_id(pl_os_name());
  o.arch_id = bsvf_arch_id(pl_cpu_name());
  if (gethostname(o.hostname, sizeof o.hostname) != 0) o.hostname[0] = '\0';
  o.hostname[BSVF_HOSTNAME_MAX] = '\0';
  return o;
}

}  // namespace

uint32_t bsvf_version_id(const char *version) {
  uint32_t id = 0;
  const char *p = version ? version : "";
  for (int shift = 24; shift >= 0; shift -= 8) {
    char *end = nullptr;
    const unsigned long part = strtoul(p, &end, 10);
    if (end == p) break;
    id |= static_cast<uint32_t>(part & 0xff) << shift;
    if (*end != '.') break;
    p = end + 1;
  }
  return id;
}

void bsvf_set_app_ver(const char *version) { g_ver_id.store(bsvf_version_id(version)); }

uint16_t bsvf_app_id(const char *program) { return lookup(kAppIds, program); }
uint8_t bsvf_os_id(const char *os) { return static_cast<uint8_t>(lookup(kOsIds, os)); }
uint8_t bsvf_arch_id(const char *cpu) { return static_cast<uint8_t>(lookup(kArchIds, cpu)); }

bsvf_origin bsvf_origin_get() {
  static const bsvf_origin fixed = read_origin();
  bsvf_origin o = fixed;
  o.ver_id = g_ver_id.load();
  return o;
}
