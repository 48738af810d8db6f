// Thread-name registry: maps the kernel id of each registered thread to a stored name, which the
// log prefix "tid_name" shows. Threads that never registered are shown by their id alone.
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <string>

#include "pal_env.h"

namespace {

constexpr size_t kStoredNameMax = 63;

struct name_registry {
  std::mutex lock;
  bool ready = false;                      // guarded by lock
  std::map<uint64_t, std::string> names;   // kernel thread id -> stored name; guarded by lock
};

// Never destroyed: detached threads may still log while the process runs its exit handlers.
name_registry &registry() {
  static name_registry *r = new name_registry;
  return *r;
}

constexpr std::array<uint16_t, 256> make_crc16_table() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrc16 = make_crc16_table();

uint16_t crc16(const void *data, size_t len) {
  const auto *p = static_cast<const unsigned char *>(data);
  uint16_t crc = 0xffff;
  for (size_t i = 0; i < len; ++i) {
    crc = static_cast<uint16_t>((crc << 8) ^ kCrc16[((crc >> 8) ^ p[i]) & 0xff]);
  }
  return crc;
}

// Four hex digits from the registration time tell apart threads that were given the same name.
uint16_t registration_stamp() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  const uint64_t parts[2] = {static_cast<uint64_t>(ts.tv_sec), static_cast<uint64_t>(ts.tv_nsec)};
  return crc16(parts, sizeof parts);
}

}  // namespace

uint64_t os_gettid() { return static_cast<uint64_t>(syscall(SYS_gettid)); }

int os_thread_name_init() {
  name_registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.ready = true;
  return 0;
}

int os_thread_name_set(const char *name) {
  char stored[kStoredNameMax + 1];
  snprintf(stored, sizeof stored, "%s_%04x", name ? name : "", registration_stamp());
  name_registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.ready = true;
  r.names.insert_or_assign(os_gettid(), stored);
  return 0;
}

void os_thread_name_remove() {
  name_registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.names.erase(os_gettid());
}

void os_thread_name_exit() {
  name_registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.names.clear();
  r.ready = false;
}

char *os_thread_name_get(char *buf, size_t size) {
  if (!buf || size == 0) return buf;
  const uint64_t tid = os_gettid();
  const auto id = static_cast<unsigned long long>(tid);
  name_registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  const auto it = r.ready ? r.names.find(tid) : r.names.end();
  if (it != r.names.end()) {
    snprintf(buf, size, "%s_%llu", it->second.c_str(), id);
  } else {
    snprintf(buf, size, "%llu", id);
  }
  return buf;
}
