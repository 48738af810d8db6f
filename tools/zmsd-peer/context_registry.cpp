// Context bookkeeping. Lock order: registry mutex before a context's mutex, never the reverse.
#include "context_registry.h"

namespace peer {

std::shared_ptr<Context> ContextRegistry::create(Link *link) {
  std::lock_guard<std::mutex> hold(mu_);
  sweep_locked();
  auto ctx = std::make_shared<Context>(next_++);
  ctx->attached = link;
  all_[ctx->number] = ctx;
  return ctx;
}

std::shared_ptr<Context> ContextRegistry::find(uint64_t number) {
  std::lock_guard<std::mutex> hold(mu_);
  auto it = all_.find(number);
  return it == all_.end() ? nullptr : it->second;
}

std::shared_ptr<Context> ContextRegistry::attach(uint64_t number, Link *link, std::string &error) {
  std::shared_ptr<Context> ctx = find(number);
  if (!ctx) {
    error = "no context " + std::to_string(number);
    return nullptr;
  }
  std::unique_lock<std::mutex> lock(ctx->mu);
  if (ctx->attached == link) return ctx;
  const bool free = ctx->changed.wait_for(lock, std::chrono::seconds(3),
                                          [&] { return ctx->attached == nullptr || ctx->dropped; });
  if (ctx->dropped) {
    error = "no context " + std::to_string(number);
    return nullptr;
  }
  if (!free) {
    error = "context " + std::to_string(number) + " is still in use";
    return nullptr;
  }
  ctx->attached = link;
  ctx->stop = false;
  return ctx;
}

void ContextRegistry::detach(const std::shared_ptr<Context> &ctx, bool goodbye) {
  std::lock_guard<std::mutex> hold(mu_);
  bool keep = false;
  {
    std::lock_guard<std::mutex> c(ctx->mu);
    ctx->attached = nullptr;
    ctx->running = false;
    ctx->detached_at = std::chrono::steady_clock::now();
    keep = ctx->retained && !goodbye;
    ctx->dropped = !keep;
    ctx->changed.notify_all();
  }
  if (!keep) all_.erase(ctx->number);
}

void ContextRegistry::request_stop(const std::shared_ptr<Context> &ctx) {
  std::lock_guard<std::mutex> c(ctx->mu);
  ctx->stop = true;
  if (ctx->attached) ctx->attached->abort();
  ctx->changed.notify_all();
}

void ContextRegistry::sweep_locked() {
  const auto now = std::chrono::steady_clock::now();
  for (auto it = all_.begin(); it != all_.end();) {
    std::unique_lock<std::mutex> c(it->second->mu);
    const bool stale = !it->second->attached && now - it->second->detached_at > std::chrono::seconds(keep_);
    if (stale) it->second->dropped = true;
    c.unlock();
    it = stale ? all_.erase(it) : std::next(it);
  }
}

}  // namespace peer
