// The record collector: a UDP peer named by the log's "bsvlog" URL. Name resolution may take
// long, so the "bsvnet" thread opens the socket and sends the one datagram kept meanwhile; after
// that the logging threads send their datagrams themselves, never blocking on the socket.
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "bsvf.h"
#include "pal_env.h"
#include "pal_log.h"
#include "pal_url.h"

static const char kLogTag[] = "bsv";

namespace {

constexpr uint16_t kDefaultPort = 514;
constexpr int kCloseWaitMs = 3000;

enum class link_state { off, opening, open, failed };

// One per process. Everything is guarded by lock; the opening thread works on a copy of host
// and port and hands its socket over only while its generation is still the current one.
struct collector {
  std::mutex lock;
  link_state state = link_state::off;
  unsigned generation = 0;
  std::string host;
  uint16_t port = kDefaultPort;
  bool scramble = false;
  int fd = -1;
  std::vector<uint8_t> held;  // the first datagram sent while opening
  os_thread *opener = nullptr;
};

collector &the_collector() {
  static collector *const c = new collector();  // never destroyed: threads may log until exit
  return *c;
}

int udp_connect(const std::string &host, uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo *list = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) return -1;
  int fd = -1;
  for (const addrinfo *ai = list; ai && fd < 0; ai = ai->ai_next) {
    fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd >= 0 && connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
      (void)close(fd);  // an unconnected UDP socket holds nothing to lose
      fd = -1;
    }
  }
  freeaddrinfo(list);
  return fd;
}

// Datagrams are best effort: a full socket buffer or an unreachable peer drops this one.
void send_now(int fd, const uint8_t *data, size_t len) {
  (void)send(fd, data, len, MSG_DONTWAIT | MSG_NOSIGNAL);
}

int open_link(void *arg) {
  const auto generation = static_cast<unsigned>(reinterpret_cast<uintptr_t>(arg));
  collector &c = the_collector();
  std::string host;
  uint16_t port = 0;
  {
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.generation != generation) return 0;
    host = c.host;
    port = c.port;
  }
  const int fd = udp_connect(host, port);
  {
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.generation != generation) {
      if (fd >= 0) (void)close(fd);  // closed or reconfigured meanwhile
      return 0;
    }
    c.state = fd >= 0 ? link_state::open : link_state::failed;
    c.fd = fd;
    if (fd >= 0 && !c.held.empty()) send_now(fd, c.held.data(), c.held.size());
    c.held.clear();
  }
  if (fd < 0) ZLOG(LOG2_DBG, "os_udp_open %s:%d failed\n", host.c_str(), port);
  return 0;
}

// Resets to unconfigured and hands back the opening thread, to be waited for outside the lock.
os_thread *reset_locked(collector &c) {
  ++c.generation;
  c.state = link_state::off;
  c.held.clear();
  // Logging here is safe: lines under this module's tag never reach the collector.
  if (c.fd >= 0 && close(c.fd) != 0) ZLOG(LOG2_DBG | LOG2_ERRNO, "close collector socket: ");
  c.fd = -1;
  os_thread *opener = c.opener;
  c.opener = nullptr;
  return opener;
}

void finish(os_thread *opener) {
  if (!opener) return;
  (void)os_thread_wait(opener, kCloseWaitMs);  // a thread still resolving is left to end alone
  os_thread_free(opener);
}

}  // namespace

int log_bsv_udp_open(const char *url) {
  UrlRecord record{};
  std::vector<char> storage(URL_TEXT_SIZE);
  if (!url || url_parser(&record, storage.data(), url) != 0 || !*record.host) {
    ZLOG(LOG2_DBG, "url_parser%s failed\n", url ? url : "");
    return -1;
  }
  const std::string host = record.host;
  const uint16_t port = record.port ? record.port : kDefaultPort;
  const bool scramble = strcmp(record.protocol, "udps") == 0;
  collector &c = the_collector();
  os_thread *previous = nullptr;
  unsigned generation = 0;
  {
    std::lock_guard<std::mutex> guard(c.lock);
    previous = reset_locked(c);
    c.host = host;
    c.port = port;
    c.scramble = scramble;
    c.state = link_state::opening;
    generation = c.generation;
  }
  finish(previous);
  os_thread *opener = os_thread_init("bsvnet", &open_link,
                                     reinterpret_cast<void *>(static_cast<uintptr_t>(generation)), 0);
  std::lock_guard<std::mutex> guard(c.lock);
  if (!opener) {
    if (c.generation == generation) c.state = link_state::failed;
    return 0;
  }
  if (c.generation == generation) {
    c.opener = opener;
    return 0;
  }
  // Closed or reconfigured while the thread started: it sees the new generation and ends.
  os_thread_free(opener);
  return 0;
}

void bsvf_net_send(const void *record, size_t len, uint16_t type_id) {
  collector &c = the_collector();
  std::lock_guard<std::mutex> guard(c.lock);
  const bool keep = c.state == link_state::opening && c.held.empty();
  if (!keep && c.state != link_state::open) return;
  uint8_t dgram[BSVF_DGRAM_MAX];
  const int n = bsvf_dgram_build(dgram, sizeof dgram, record, len, type_id, c.scramble);
  if (n < 0) return;
  if (keep && static_cast<size_t>(n) <= BSVF_HELD_MAX)
    c.held.assign(dgram, dgram + n);
  else if (c.state == link_state::open)
    send_now(c.fd, dgram, static_cast<size_t>(n));
}

void bsvf_net_close() {
  collector &c = the_collector();
  os_thread *opener = nullptr;
  {
    std::lock_guard<std::mutex> guard(c.lock);
    opener = reset_locked(c);
  }
  finish(opener);
}
