// Link recovery: a response that fails to arrive on a session with auto-reconnect is repaired in
// place. The client reconnects, stops its old server context, checks that it is idle, compares the
// context's count of executed commands with its own count of commands sent, and then either has
// the stored reply sent again (the command ran) or sends the command again (it never arrived), so
// that no command is lost or executed twice. A failed recovery is final for the session.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "pal_log.h"
#include "sd_handles.h"

static const char kLogTag[] = "sdcli";

namespace {

constexpr int kReconnectTries = 3;
constexpr int kRecoveryFailed = 1;
constexpr int kCtxText = 4096;
constexpr auto kStopSettle = std::chrono::seconds(1);

// A context control with the text input ctx whose text output lands in out. A status code.
int ctx_control(zmsd_session *s, int code, const char *ctx, char *out) {
  int n = 0;
  const int status = sd_server_control(s, 0, code, ctx, int(strlen(ctx)) + 1, out, kCtxText, &n);
  if (out) out[status == SD_OK && n < kCtxText ? n : 0] = '\0';
  return status;
}

int reconnect(zmsd_session *s) {
  for (int attempt = 1;; ++attempt) {
    if (zmsd_cli_reconnect(s) == 0) return SD_OK;
    const int code = zmsd_cli_last_errno(s);
    ZLOG(LOG2_ERR, "zmsd_cli_reconnect eno=%d erorr: %s\n", code, zmsd_cli_last_error(s));
    if (code != VERR_TIMEOUT || attempt == kReconnectTries) return kRecoveryFailed;
  }
}

// Everything between the broken read and the response to the interrupted command.
int client_fix_last_error_imp(zmsd_session *s, const std::vector<uint8_t> &request, int command,
                              int *length) {
  int status = reconnect(s);
  if (status != SD_OK) return status;
  ZLOG(LOG2_INFO, "zmsd_cli_reconnect ok\n");
  char ctx[24];
  snprintf(ctx, sizeof ctx, "%" PRIu64, s->srv_ctx);
  std::vector<char> out(kCtxText + 1);

  status = ctx_control(s, ZMSD_IOCTL2_CTX_REQ_STOP, ctx, nullptr);
  if (status != SD_OK) {
    ZLOG(LOG2_ERR, "ZMSD_IOCTL2_CTX_REQ_STOP addr=%s ret=%d error:%s\n", ctx, status,
         sd_status_name(status));
    return status;
  }
  std::this_thread::sleep_for(kStopSettle);

  status = ctx_control(s, ZMSD_IOCTL2_CTX_RUN_STATUS, ctx, out.data());
  if (status != SD_OK) {
    ZLOG(LOG2_ERR, "ZMSD_IOCTL2_CTX_RUN_STATUS addr=%s ret=%d failed\n", ctx, status);
    return status;
  }
  ZLOG(LOG2_INFO, "run status=[%s]\n", out.data());
  if (atoi(out.data()) == 1) {
    ZLOG(LOG2_ERR, "ctx thread now is runing\n");
    return kRecoveryFailed;
  }

  status = ctx_control(s, ZMSD_IOCTL2_GET_LAST_CMD_IDX, ctx, out.data());
  if (status != SD_OK) {
    ZLOG(LOG2_ERR, "ZMSD_IOCTL2_GET_LAST_CMD_IDX addr=%s ret=%d failed\n", ctx, status);
    return status;
  }
  const uint64_t last = strtoull(out.data(), nullptr, 10);
  sd_link *l = &s->link;
  if (last == l->cmd_count) {
    ZLOG(LOG2_INFO, "ZMSD_IOCTL2_ATTACH_CTX_REPLY\n");
    // The stored reply takes the place of this request's own answer: nothing else is read.
    status = sd_server_control_build(s, 0, ZMSD_IOCTL2_ATTACH_CTX_REPLY, ctx, int(strlen(ctx)) + 1, 0);
    if (status == SD_OK) status = sd_send(s, SD_CMD_SERVER_CONTROL);
    if (status != SD_OK) {
      ZLOG(LOG2_ERR, "ZMSD_IOCTL2_ATTACH_CTX_REPLY addr=%s ret=%d failed\n", ctx, status);
      return status;
    }
    return client_recv_response_imp(l, length);
  }
  if (last + 1 == l->cmd_count) {
    ZLOG(LOG2_INFO, "ZMSD_IOCTL2_ATTACH_CTX\n");
    status = ctx_control(s, ZMSD_IOCTL2_ATTACH_CTX, ctx, nullptr);
    if (status != SD_OK) {
      ZLOG(LOG2_ERR, "ZMSD_IOCTL2_ATTACH_CTX addr=%s ret=%d failed\n", ctx, status);
      return status;
    }
    status = zmsd_send_request(l, command, request.data(), int(request.size()));
    return status != SD_OK ? status : client_recv_response_imp(l, length);
  }
  ZLOG(LOG2_ERR, "cmd_send_count=%llu srv_last_idx=%llu [%s]\n", (unsigned long long)l->cmd_count,
       (unsigned long long)last, out.data());
  return kRecoveryFailed;
}

// After a recovery the count follows the context's own: it may have counted the recovery's
// requests differently. The recovered response is kept aside meanwhile.
int resync_count(zmsd_session *s, int *length) {
  sd_link *l = &s->link;
  const uint32_t raw = blob_raw_len(reinterpret_cast<const blob_attr *>(l->rbuf));
  std::vector<uint8_t> kept(l->rbuf, l->rbuf + raw);
  char out[kCtxText + 1];
  const int status = ctx_control(s, ZMSD_IOCTL2_GET_LAST_CMD_IDX, "0", out);
  if (status != SD_OK) {
    ZLOG(LOG2_ERR, "ZMSD_IOCTL2_GET_LAST_CMD_IDX addr=[%s] ret=%d failed\n", "0", status);
    return status;
  }
  l->cmd_count = strtoull(out, nullptr, 10) + 1;
  // The receive buffer never shrinks, so the kept response fits where it was.
  memcpy(l->rbuf, kept.data(), kept.size());
  *length = int(raw) - 4;
  ZLOG(LOG2_INFO, "last_cmd_len=%d cmd_send_count=%llu fix ok\n", *length,
       (unsigned long long)l->cmd_count);
  return SD_OK;
}

int client_fix_last_error(zmsd_session *s, int *length) {
  ZLOG(LOG2_DBG, "==>\n");
  sd_link *l = &s->link;
  const auto *head = reinterpret_cast<const uint8_t *>(l->build.head);
  const std::vector<uint8_t> request(head, head + blob_buf_len(&l->build));
  l->recovering = 1;
  int status = client_fix_last_error_imp(s, request, l->last_cmd, length);
  l->recovering = 0;
  if (status == SD_OK) status = resync_count(s, length);
  ZLOG(LOG2_DBG, "<==\n");
  return status;
}

}  // namespace

int client_recv_response(zmsd_session *s, int *length) {
  sd_link *l = &s->link;
  if (l->recovery_failed) {
    ZLOG(LOG2_ERR, "have_fix_error_fail return\n");
    return SD_TIMEOUT_ERROR;
  }
  int status = client_recv_response_imp(l, length);
  if (status == SD_OK || status == SD_MEMORY_ERROR) return status;
  ZLOG(LOG2_ERR, "ret=%d error:[%s]\n", status, sd_status_name(status));
  if (!l->auto_reconnect) {
    ZLOG(LOG2_ERR, "!net_error_reconnect return\n");
    return status;
  }
  if (l->recovering) {
    ZLOG(LOG2_ERR, "now_fix_last_error return\n");
    return status;
  }
  ZLOG(LOG2_WARN, "start fix..\n");
  status = client_fix_last_error(s, length);
  if (status == SD_OK) return SD_OK;
  ZLOG(LOG2_ERR, "ret=%d fix failed need reopen...\n", status);
  l->recovery_failed = 1;
  return SD_TIMEOUT_ERROR;
}

int zmsd_cli_set_auto_reconnect(zmsd_session *s) {
  if (!sd_handle_session(s)) return -1;
  int status = sd_server_control(s, 0, ZMSD_IOCTL2_CTX_RETAIN, "0", 2, nullptr, 0, nullptr);
  char out[kCtxText + 1] = {};
  int n = 0;
  if (status == SD_OK)
    status = sd_server_control(s, 0, ZMSD_IOCTL2_CTX_NUMBER, nullptr, 0, out, kCtxText, &n);
  if (sd_report(s, status) != 0) return -status;
  out[n < kCtxText ? n : kCtxText] = '\0';
  s->srv_ctx = strtoull(out, nullptr, 10);
  s->link.auto_reconnect = 1;
  return 0;
}
