// Context controls 101-107 (server control codes): retention, context number, executed-command
// count, attach (then the client re-sends), attach with replay of the stored reply, run status
// and stop. The input names a context by number; "0" is the connection's own.
#include <cerrno>
#include <cstdlib>

#include "handlers.h"
#include "pal_verr.h"

namespace peer {
namespace {

std::shared_ptr<Context> target_of(Connection &c, const std::string &input, Reply &rp) {
  char *end = nullptr;
  errno = 0;
  const unsigned long long n = strtoull(input.c_str(), &end, 10);
  if (input.empty() || errno || *end) {
    rp.fail(VERR_INVALID_PARAMETER, "bad context number [" + input + "]");
    return nullptr;
  }
  if (n == 0 || n == c.ctx->number) return c.ctx;
  std::shared_ptr<Context> ctx = c.server.contexts.find(n);
  if (!ctx) rp.fail(VERR_NOT_FOUND, "no context " + input);
  return ctx;
}

// The connection leaves its own fresh context (dropped) for context `to`.
bool attach(Connection &c, const std::shared_ptr<Context> &to, Reply &rp) {
  if (to == c.ctx) return true;
  std::string error;
  std::shared_ptr<Context> got = c.server.contexts.attach(to->number, c.link, error);
  if (!got) {
    rp.fail(VERR_RESOURCE_BUSY, error);
    return false;
  }
  c.server.contexts.detach(c.ctx, true);
  c.ctx = got;
  return true;
}

}  // namespace

void handle_context_control(Connection &c, int32_t code, const std::string &input, Reply &rp,
                            std::string &output) {
  if (code == 102) {
    output = std::to_string(c.ctx->number) + '\0';
    return;
  }
  std::shared_ptr<Context> ctx = target_of(c, input, rp);
  if (!ctx) return;
  switch (code) {
    case 101: {
      std::lock_guard<std::mutex> hold(ctx->mu);
      ctx->retained = true;
      return;
    }
    case 103: {
      std::lock_guard<std::mutex> hold(ctx->mu);
      output = std::to_string(ctx->executed) + '\0';  // the command asking is not yet counted
      return;
    }
    case 104:
      (void)attach(c, ctx, rp);
      return;
    case 105:
      if (!attach(c, ctx, rp)) return;  // an error reply instead of the replay
      c.replay = ctx->last_reply;  // none when the context has run nothing: no answer at all
      rp.silent = true;
      return;
    case 106: {
      std::lock_guard<std::mutex> hold(ctx->mu);
      output = std::string(ctx->running && ctx != c.ctx ? "1" : "0") + '\0';
      return;
    }
    case 107:
      if (ctx != c.ctx && !c.server.options.ignore_stop) c.server.contexts.request_stop(ctx);
      return;
    default:
      rp.fail(VERR_NOT_SUPPORTED, "unknown context control " + std::to_string(code));
  }
}

}  // namespace peer
