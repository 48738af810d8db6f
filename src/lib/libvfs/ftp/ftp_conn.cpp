// The mount's control connections: connect and log in, a pool of logged-in connections that
// operations and transfers lease one at a time (a busy connection never carries a second
// command), and the liveness check that finds connections the server has closed.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "ftp_ctx.h"
#include "pal_env.h"
#include "pal_log.h"

static const char kLogTag[] = "vfs";

namespace {

constexpr size_t kIdleMax = 2;  // pooled connections kept beyond that are closed

// One step of the login dialogue: the command must answer exactly `want`.
bool dialogue_step(FtpMount *ctx, FtpConn *conn, int want, const char *what, std::string *text,
                   const char *fmt, const char *arg) {
  text->clear();
  const int ret = fmt == nullptr ? ftp_reply(conn, text) : ftp_cmd(conn, text, fmt, arg);
  if (ret == want) return true;
  if (fmt == nullptr)
    ZLOG(LOG2_ERR, "ftp_reply ret=%d\n error\n", ret);
  else
    ZLOG(LOG2_ERR, "ftp_cmd %s ret=%d\n error\n", what, ret);
  const verrno code = ftp_reply_verr(ret, *text);
  VERR_SET(ctx->err, code, "%s:%d %s ret=%d %s", ctx->host.c_str(), ctx->port, what, ret,
           text->c_str());
  // No answer at all, unlike a refusal, says the server cannot be reached: the liveness check
  // must try again, or a mount whose last connection went this way would never be found broken.
  if (ret <= 0) ctx->link_lost.store(true, std::memory_order_relaxed);
  return false;
}

// True when a pooled connection has nothing to read: an idle control connection that became
// readable holds a closing message (421) or the end of the stream.
bool still_quiet(FtpConn *conn) {
  return os_socket_wait(conn->chan.handle, OS_SOCKET_READABLE, 0) == 0;
}

std::unique_ptr<FtpConn> take_idle(FtpMount *ctx) {
  std::lock_guard<std::mutex> guard(ctx->lock);
  if (ctx->idle.empty()) return nullptr;
  std::unique_ptr<FtpConn> conn = std::move(ctx->idle.back());
  ctx->idle.pop_back();
  return conn;
}

}  // namespace

FtpMount::~FtpMount() { std::fill(password.begin(), password.end(), '\0'); }

FtpLease &FtpLease::operator=(FtpLease &&other) noexcept {
  if (this != &other) {
    release();
    ctx_ = other.ctx_;
    conn_ = std::move(other.conn_);
  }
  return *this;
}

void FtpLease::release() {
  if (conn_ == nullptr) return;
  if (conn_->lost && ctx_ != nullptr) ctx_->link_lost.store(true, std::memory_order_relaxed);
  if (!conn_->lost && ctx_ != nullptr) {
    std::lock_guard<std::mutex> guard(ctx_->lock);
    if (ctx_->idle.size() < kIdleMax) {
      ctx_->idle.push_back(std::move(conn_));
      return;
    }
  }
  conn_.reset();
}

std::unique_ptr<FtpConn> ftp_login(FtpMount *ctx) {
  ZLOG(LOG2_DBG, "==>\n");
  sock_param param{};
  param.connect_timeout = ctx->connect_timeout;
  verr_info why{};
  const uint32_t sock = sock_connect(ctx->host.c_str(), ctx->port, &param, &why);
  if (sock == 0) {
    ZLOG(LOG2_ERR, "connet %s:%d failed\n", ctx->host.c_str(), ctx->port);
    ctx->link_lost.store(true, std::memory_order_relaxed);
    VERR_SET(ctx->err, VERR_NET_CONNECTION_REFUSED, "connect %s:%d: %s", ctx->host.c_str(),
             ctx->port, why.text);
    return nullptr;
  }
  auto conn = std::make_unique<FtpConn>();
  conn->chan.handle = sock;
  conn->chan.timeout = ctx->io_timeout;
  conn->trace = ctx->trace;
  std::string text;
  if (!dialogue_step(ctx, conn.get(), 220, "greeting", &text, nullptr, nullptr) ||
      !dialogue_step(ctx, conn.get(), 331, "USER", &text, "USER %s", ctx->user.c_str()) ||
      !dialogue_step(ctx, conn.get(), 230, "PASS", &text, "PASS %s", ctx->password.c_str()) ||
      !dialogue_step(ctx, conn.get(), 215, "SYST", &text, "SYST", nullptr) ||
      !dialogue_step(ctx, conn.get(), 211, "FEAT", &text, "FEAT", nullptr))
    return nullptr;
  // Feature lines are indented by one blank; "MLST type*;size*;..." names the command.
  ctx->has_mlst = text.find("\n MLST") != std::string::npos;
  conn->active_ms = &ctx->active_ms;
  ctx->active_ms.store(os_get_ms(), std::memory_order_relaxed);
  ZLOG(LOG2_DBG, "<==\n");
  return conn;
}

FtpLease ftp_lease(FtpMount *ctx) {
  while (std::unique_ptr<FtpConn> conn = take_idle(ctx)) {
    if (still_quiet(conn.get())) return FtpLease(ctx, std::move(conn));
    ZLOG(LOG2_INFO, "%s:%d control connection closed by the server\n", ctx->host.c_str(),
         ctx->port);
  }
  std::unique_ptr<FtpConn> conn = ftp_login(ctx);
  if (conn == nullptr) return FtpLease();
  ctx->broken.store(0, std::memory_order_relaxed);
  ctx->link_lost.store(false, std::memory_order_relaxed);
  return FtpLease(ctx, std::move(conn));
}

void ftp_check_link(FtpMount *ctx) {
  bool dropped = false;
  bool kept = false;
  {
    std::lock_guard<std::mutex> guard(ctx->lock);
    for (auto it = ctx->idle.begin(); it != ctx->idle.end();) {
      if (still_quiet(it->get())) {
        kept = true;
        ++it;
      } else {
        dropped = true;
        it = ctx->idle.erase(it);
      }
    }
  }
  const bool lost = ctx->link_lost.load(std::memory_order_relaxed);
  if ((!dropped || kept) && !lost) return;
  ZLOG(LOG2_INFO, "%s:%d control connection lost, logging in again\n", ctx->host.c_str(),
       ctx->port);
  FtpLease lease = ftp_lease(ctx);
  if (!lease) ctx->broken.store(1, std::memory_order_relaxed);
}

int ftp_fail_at(FtpMount *ctx, const char *file, int line, const char *func, verrno code,
                const char *fmt, ...) {
  char text[VERR_TEXT_SIZE];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  verr_info_set(ctx->err, file, line, func, code, "%s", text);
  return -1;
}

verrno ftp_reply_verr(int code, const std::string &reply_text) {
  if (code <= 0) return VERR_DEV_IO_ERROR;
  switch (code) {
    case 421:
      return VERR_DEV_IO_ERROR;
    case 452:
    case 552:
      return VERR_DISK_FULL;
    case 530:
    case 532:
      return VERR_ACCESS_DENIED;
    case 501:
      return VERR_INVALID_PARAMETER;
    case 553:
      return VERR_ACCESS_DENIED;
    case 502:
    case 504:
      return VERR_NOT_SUPPORTED;
    case 550:
      return reply_text.find("ermission denied") != std::string::npos ||
                     reply_text.find("not permitted") != std::string::npos
                 ? VERR_ACCESS_DENIED
                 : VERR_FILE_NOT_FOUND;
    default:
      return VERR_DEV_IO_ERROR;
  }
}
