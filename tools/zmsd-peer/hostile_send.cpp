// Reply sending with the hostile plan applied, and the stall gate. Each corrupted reply is
// logged with its number and kind, so a failing test can tell what the client was given.
#include "hostile_send.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "hostile_reply.h"
#include "pal_log.h"

static const char kLogTag[] = "peer";

namespace peer {
namespace {

// The byte count the request asked for: "len" of reads and listings, "olen" of controls.
size_t requested_room(const Request &rq) {
  std::optional<int32_t> n = rq.fields.i32("len");
  if (!n) n = rq.fields.i32("olen");
  return n && *n > 0 ? size_t(*n) : 0;
}

std::atomic<bool> g_stall_signalled{false};
std::atomic<bool> g_stall_logged{false};

void on_stall_signal(int) {
  g_stall_signalled = true;
  static const char kSaid[] = "stall requested by signal\n";
  const ssize_t ignored = write(STDERR_FILENO, kSaid, sizeof kSaid - 1);  // nothing to do if it fails
  (void)ignored;
}

}  // namespace

bool send_reply(Connection &c, const Request &rq, const std::vector<uint8_t> &frame) {
  const HostilePlan &plan = c.server.options.hostile;
  if (plan.percent == 0) return c.link->write_all(frame.data(), frame.size());
  const uint64_t number = ++c.server.replies;
  const Corruption kind = pick_corruption(plan, number);
  ReplyToTamper reply{&frame, &c.sent_last, requested_room(rq), c.ctx->codec};
  const Tampered t = tamper_reply(kind, reply, reply_noise(plan, number));
  c.sent_last = frame;
  if (t.kind != Corruption::none)
    ZLOG(LOG2_INFO, "hostile reply=%llu command=%u: %s (%zu of %zu bytes)%s\n", (unsigned long long)number,
         unsigned(rq.command), corruption_name(t.kind), t.bytes.size(), frame.size(), t.cut_link ? ", link cut" : "");
  if (!c.link->write_all(t.bytes.data(), t.bytes.size())) return false;
  return !t.cut_link;
}

bool stalled(PeerServer &server, uint64_t number) {
  const uint64_t after = server.options.stall_after;
  if ((after == 0 || number <= after) && !g_stall_signalled.load()) return false;
  if (!g_stall_logged.exchange(true))
    ZLOG(LOG2_INFO, "stalled: request %llu and later get no answer\n", (unsigned long long)number);
  return true;
}

void install_stall_signal() {
  struct sigaction sa {};
  sa.sa_handler = on_stall_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  (void)sigaction(SIGUSR1, &sa, nullptr);
}

}  // namespace peer
