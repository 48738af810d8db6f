// Faults on purpose: one process-wide plan, armed by a test, that drops, stalls or starves one
// direction of a socket after a given number of bytes. Guarded by one mutex; transfers check an
// atomic flag first so that production traffic never takes the lock.
#include "sock_fault.h"

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "net.h"
#include "os_sockaddr.h"
#include "pal_env.h"

namespace {

struct fault_state {
  std::mutex mu;
  sock_fault plan{};         // guarded by mu
  int64_t passed = 0;        // guarded by mu: bytes of plan.dir so far
  uint64_t hold_until = 0;   // guarded by mu: DELAY end, 0 before it fired
  uint32_t dropped = 0;      // guarded by mu: the socket a DROP shut down
  std::atomic<bool> armed{false};
  std::atomic<bool> fired{false};
};

fault_state &state() {
  static fault_state s;
  return s;
}

bool applies(const fault_state &s, uint32_t sock) { return s.plan.sock == 0 || s.plan.sock == sock; }

}  // namespace

void sock_fault_set(const sock_fault *fault) {
  fault_state &s = state();
  std::lock_guard<std::mutex> lock(s.mu);
  s.plan = fault ? *fault : sock_fault{};
  s.passed = 0;
  s.hold_until = 0;
  s.dropped = 0;
  s.fired = false;
  s.armed = fault != nullptr;
}

bool sock_fault_fired() { return state().fired; }

namespace net_fault {

int gate(uint32_t sock, int dir, int n) {
  fault_state &s = state();
  if (!s.armed.load(std::memory_order_relaxed)) return n;
  std::lock_guard<std::mutex> lock(s.mu);
  if (s.dropped != 0 && s.dropped == sock) return kDropped;
  if (!s.armed || !applies(s, sock) || dir != s.plan.dir || s.dropped != 0) return n;
  if (s.passed < s.plan.after) return int(std::min<int64_t>(n, s.plan.after - s.passed));
  s.fired = true;
  switch (s.plan.kind) {
    case SOCK_FAULT_DROP:
      // Queued bytes would still be readable after a shutdown: the seam answers for the socket
      // from now on, and the peer sees the close.
      shutdown(net_os::fd_of(sock), SHUT_RDWR);
      s.dropped = sock;
      return kDropped;
    case SOCK_FAULT_DELAY: {
      const uint64_t now = os_get_ms();
      if (s.hold_until == 0) s.hold_until = now + uint64_t(std::max(s.plan.delay_ms, 0));
      if (now < s.hold_until) return kHeld;
      s.armed = false;
      return n;
    }
    case SOCK_FAULT_SHORT_READ:
      return dir == SOCK_FAULT_RECV ? std::min(n, std::max(s.plan.max_bytes, 1)) : n;
    default: return n;
  }
}

void passed(uint32_t sock, int dir, int bytes) {
  fault_state &s = state();
  if (!s.armed.load(std::memory_order_relaxed) || bytes <= 0) return;
  std::lock_guard<std::mutex> lock(s.mu);
  if (s.armed && applies(s, sock) && dir == s.plan.dir) s.passed += bytes;
}

int held_ms(uint32_t sock, int events) {
  fault_state &s = state();
  if (!s.armed.load(std::memory_order_relaxed)) return 0;
  std::lock_guard<std::mutex> lock(s.mu);
  const int want = s.plan.dir == SOCK_FAULT_RECV ? OS_SOCKET_READABLE : OS_SOCKET_WRITABLE;
  if (!s.armed || s.plan.kind != SOCK_FAULT_DELAY || s.hold_until == 0 || !applies(s, sock) ||
      !(events & want))
    return 0;
  const uint64_t now = os_get_ms();
  return now < s.hold_until ? int(s.hold_until - now) : 0;
}

void closed(uint32_t sock) {
  fault_state &s = state();
  if (!s.armed.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(s.mu);
  if (s.dropped == sock) s.dropped = 0;
}

}  // namespace net_fault
