// One client connection: read a frame, log it, apply the fault plan, run the command inside
// the connection's context, count it there, keep its reply for a later replay, answer.
#include <chrono>
#include <cstdio>
#include <thread>

#include "handlers.h"
#include "hostile_send.h"
#include "pal_log.h"
#include "wire_frame.h"

static const char kLogTag[] = "peer";

namespace peer {
namespace {

std::string describe(uint64_t number, const Context &ctx, const Request &rq) {
  std::string line = "req=" + std::to_string(number) + " ctx=" + std::to_string(ctx.number) +
                     " command=" + std::to_string(rq.command);
  for (const std::string &name : rq.fields.order()) {
    const Field &f = rq.fields.all().at(name);
    line += " " + name + "=";
    if (f.type == FieldType::string)
      line += "\"" + std::string(reinterpret_cast<const char *>(f.data), f.len - 1) + "\"";
    else if (f.type == FieldType::int32)
      line += std::to_string(*rq.fields.i32(name));
    else if (f.type == FieldType::int64)
      line += std::to_string(*rq.fields.i64(name));
    else
      line += "<" + std::to_string(f.len) + " bytes>";
  }
  if (!rq.malformed.empty()) line += " malformed=\"" + rq.malformed + "\"";
  return line;
}

// Runs one command with the context marked busy, then counts it and keeps its reply. The
// delay is spent while still busy, so run status reports it and a stop request ends it early.
void execute(Connection &c, uint64_t number, const Request &rq, Reply &rp,
             std::shared_ptr<const std::vector<uint8_t>> &frame) {
  std::shared_ptr<Context> ctx = c.ctx;  // an attach switches c.ctx; this command counts in the old one
  {
    std::lock_guard<std::mutex> hold(ctx->mu);
    ctx->running = true;
  }
  dispatch(c, rq, rp);
  if (!rp.silent)
    frame = std::make_shared<const std::vector<uint8_t>>(
        response_frame(uint8_t(c.server.options.frame_version), rq.command, rp.message()));
  std::unique_lock<std::mutex> lock(ctx->mu);
  if (!rp.silent) ctx->last_reply = frame;
  ++ctx->executed;
  const PeerOptions &o = c.server.options;
  if (o.delay_ms > 0 && (o.delay_at.empty() || o.delay_at.count(number)))
    ctx->changed.wait_for(lock, std::chrono::milliseconds(o.delay_ms), [&] { return ctx->stop; });
  ctx->running = false;
}

}  // namespace

void serve_connection(PeerServer &server, std::unique_ptr<Link> link) {
  Connection c{server, link.get(), server.contexts.create(link.get())};
  ZLOG(LOG2_INFO, "connection ctx=%llu\n", (unsigned long long)c.ctx->number);
  for (;;) {
    Request rq;
    std::string error;
    const int got = read_request(*link, rq, error);
    if (got <= 0) {
      if (got < 0) ZLOG(LOG2_WARN, "ctx=%llu: %s\n", (unsigned long long)c.ctx->number, error.c_str());
      break;
    }
    const uint64_t number = ++server.requests;
    if (server.log.enabled()) server.log.line(describe(number, *c.ctx, rq));
    if (stalled(server, number)) continue;
    if (server.options.drop_before.count(number)) {
      ZLOG(LOG2_INFO, "drop before request %llu\n", (unsigned long long)number);
      break;
    }
    Reply rp;
    std::shared_ptr<const std::vector<uint8_t>> frame;
    execute(c, number, rq, rp, frame);
    if (c.replay) frame = std::move(c.replay);
    if (server.options.drop_after.count(number)) {
      ZLOG(LOG2_INFO, "drop after request %llu\n", (unsigned long long)number);
      break;
    }
    if (c.goodbye) break;
    if (frame && !send_reply(c, rq, *frame)) break;
  }
  link->abort();
  server.contexts.detach(c.ctx, c.goodbye);
  ZLOG(LOG2_INFO, "connection ctx=%llu closed\n", (unsigned long long)c.ctx->number);
}

}  // namespace peer
