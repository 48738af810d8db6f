// What the remote driver decides after each client call: whether a failure means the link is
// lost, and then either a new session (nothing open, so nothing on the server is lost with the
// old one) or a broken mount (open handles name server files of the old session).
#include <cstdio>
#include <cstring>

#include "pal_env.h"
#include "pal_log.h"
#include "pal_os.h"
#include "zmsd_ctx.h"

static const char kLogTag[] = "vfs";

namespace {

constexpr int kResultNothing = -1;
constexpr int kResultReconnect = -2;

bool link_lost(int code) {
  switch (code) {
    case VERR_TIMEOUT:
    case VERR_NET_IO_ERROR:
    case VERR_NET_CONNECTION_ABORTED:
    case VERR_NET_CONNECTION_RESET:
    case VERR_NET_PROTOCOL_ERROR:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string zmsd_rooted(const ZmsdMount *ctx, const char *path, bool open) {
  std::string joined = ctx->root_dir + "\\" + (path ? path : "");
  if (joined.size() >= OS_PATH_SIZE) joined.resize(OS_PATH_SIZE - 1);
  if (!open) return joined;
  if (joined.rfind("file://", 0) == 0) joined.erase(0, 7);
  os_path_normalize(joined.data());
  joined.resize(strlen(joined.c_str()));
  return joined;
}

int zmsd_check_set_error(ZmsdMount *ctx) {
  const int code = zmsd_cli_last_errno(ctx->cli);
  if (code == 0) return kResultNothing;
  if (code != VERR_FILE_NOT_FOUND && code != VERR_PATH_NOT_FOUND)
    ZLOG(LOG2_DBG, "eno=%d [%s]\n", code, zmsd_cli_last_error(ctx->cli));
  if (!link_lost(code)) return kResultNothing;
  if (ctx->fcount == 0 && ctx->dcount == 0) return kResultReconnect;
  ctx->broken = 1;
  ZLOG(LOG2_ERR, "fcount=%u dcount=%u error: need reopen!!\n", ctx->fcount, ctx->dcount);
  return kResultNothing;
}

zmsd_session *zmsd_open_session(ZmsdMount *ctx, void *stop) {
  zmsd_session *s = zmsd_cli_connect2(ctx->url.c_str(), static_cast<stop_ctl *>(stop), ctx->err);
  if (!s || !zmsd_ver_at_least(ctx->srv_ver.c_str(), "1.5.4")) return s;
  ZLOG(LOG2_DBG, "set_auto_reconnect\n");
  if (zmsd_cli_set_auto_reconnect(s) != 0) {
    (void)zmsd_cli_exit(s);
    return nullptr;
  }
  return s;
}

namespace {

// A new session for the stored URL in place of the old one; a failure marks the mount broken.
int replace_session(ZmsdMount *ctx) {
  (void)zmsd_cli_exit(ctx->cli);
  ctx->cli = zmsd_open_session(ctx, nullptr);
  if (!ctx->cli) {
    ctx->broken = 1;
    ZLOG(LOG2_ERR, "zmsd_cli_connect error:%s\n", verr_info_text(ctx->err));
    return -1;
  }
  ZLOG(LOG2_DBG, "zmsd_cli_reconnect ok\n");
  return 0;
}

}  // namespace

int zmsd_check_and_connect(ZmsdMount *ctx) {
  if (ctx->cli && zmsd_check_set_error(ctx) != kResultReconnect) return -1;
  return replace_session(ctx);
}

void zmsd_after_call(ZmsdMount *ctx) {
  ctx->stale = ctx->cli && zmsd_check_set_error(ctx) == kResultReconnect;
  ctx->active_time = os_get_ms();
}

void zmsd_renew_stale(ZmsdMount *ctx) {
  if (!ctx->stale.exchange(false) || ctx->fcount != 0 || ctx->dcount != 0) return;
  (void)replace_session(ctx);
}

bool zmsd_refuse_broken(ZmsdMount *ctx) {
  if (!ctx->broken && ctx->cli) return false;
  VERR_SET(ctx->err, VERR_NET_CONNECTION_ABORTED, "link lost, the mount needs a reopen");
  return true;
}
