// Reading a file in chunks of the session's block size (commands 12 and 29), each chunk's LZ4
// block unpacked straight into the caller's buffer. A large chunk that fails is retried once with
// 204800-byte chunks after a reconnect, a reopen and a seek: a link that cannot carry 10 MiB in
// one read time-out may still carry the smaller pieces.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "pal_log.h"
#include "sd_handles.h"

static const char kLogTag[] = "sdcli";

namespace {

enum : int {
  CMD_READ = 12,
  CMD_PREAD = 29,
};

constexpr int kLargeReadSeen = 2097151;  // a link that served reads above this is not too slow

const blobmsg_policy kReadPolicy[] = {{"errno", BLOBMSG_TYPE_INT32},
                                      {"errno_str", BLOBMSG_TYPE_STRING},
                                      {"len", BLOBMSG_TYPE_INT32},
                                      {"flags", BLOBMSG_TYPE_INT32},
                                      {"data", BLOBMSG_TYPE_BINARY}};

// One chunk into dst: its byte count in *count, or a status.
int read_chunk(zmsd_file *f, char *dst, int chunk, bool positioned, int *count) {
  zmsd_session *s = f->head.session;
  blob_buf *b = &s->link.build;
  if (sd_begin_fd(s, f->fd) != SD_OK || blobmsg_add_u32(b, "len", uint32_t(chunk)) != 0 ||
      (positioned && blobmsg_add_u64(b, "offset", f->offset) != 0))
    return SD_MEMORY_ERROR;
  int status = sd_send(s, positioned ? CMD_PREAD : CMD_READ);
  if (status != SD_OK) return status;
  int length = 0;
  status = client_recv_response(s, &length);
  if (status != SD_OK) {
    ZLOG(LOG2_ERR, "client_recv_response ret=%d\n", status);
    return status;
  }
  const blob_attr *table[5] = {};
  if (sd_parse(s, kReadPolicy, 5, table) != SD_OK) {
    ZLOG(LOG2_ERR, "parse data error\n");
    return SD_NET_DATA_ERROR;
  }
  status = zmsd_take_server_status(&s->link, table);
  if (status != SD_OK) return status;
  const int packed = blobmsg_data_len(table[4]);
  const int n = sdcomp_unpack(&s->comp, blobmsg_data(table[4]), packed, dst, chunk);
  if (n < 0) {
    ZLOG(LOG2_ERR, "sdcomp_unpack pack_len=%d buf_len=%d ret=%d\n", packed, chunk, n);
    return SD_UNPACK_ERROR;
  }
  *count = n;
  return SD_OK;
}

// Reconnect, reopen, seek to the handle's offset, announce the compressor again. 0 or -1.
// The new link has a fresh server context: the count starts again with its first request, and
// recovery, when it was on, is set up again for that context, so that a later recovery attaches
// to the context that holds the reopened file. Until then a failure must not start a recovery
// into the old context.
int zmsd_cli_restart_work(zmsd_file *f) {
  zmsd_session *s = f->head.session;
  sd_link *l = &s->link;
  const bool recovery_was_on = l->auto_reconnect != 0;
  l->auto_reconnect = 0;
  l->cmd_count = 0;
  if (zmsd_cli_reconnect(s) != 0) return -1;
  if (sd_report(s, sd_reopen(f)) != 0) return -1;
  const uint64_t want = f->offset;
  if (zmsd_cli_seek(f, int64_t(want), SEEK_SET) != int64_t(want)) {
    ZLOG(LOG2_ERR, "seek: offset=%llu ctx->offset=%llu error\n", (unsigned long long)want,
         (unsigned long long)f->offset);
    return -1;
  }
  if (sd_pack_announce(s, s->comp.name) != 0) {
    ZLOG(LOG2_ERR, "zmsd_cli_ioctl ZMSD_IOCTL_PACK %s error=%d\n", s->comp.name,
         zmsd_cli_last_errno(s));
    return -1;
  }
  return recovery_was_on ? zmsd_cli_set_auto_reconnect(s) : 0;
}

}  // namespace

int zmsd_cli_set_fd_read_timeout(zmsd_file *f, int ms) {
  if (!sd_file_handle(f)) return -1;
  char text[16];
  snprintf(text, sizeof text, "%d", ms);
  zmsd_session *s = f->head.session;
  const int r = sd_report(s, sd_file_control(s, f->fd, ZMSD_IOCTL_READ_TIMEOUT, text,
                                             int(strlen(text)) + 1));
  if (r != 0) ZLOG(LOG2_WARN, "warn: set_read_timeout %s\n", zmsd_cli_last_error(s));
  return r;
}

int zmsd_cli_read(zmsd_file *f, void *buf, int len, int64_t offset) {
  if (!sd_file_handle(f) || !buf || len < 0) return -1;
  zmsd_session *s = f->head.session;
  if (f->rd_timeout_pending) {
    if (zmsd_cli_set_fd_read_timeout(f, s->params.read_timeout - 1000) != 0) return -1;
    f->rd_timeout_pending = 0;
  }
  if (offset != -1) {
    if (!s->flag_b && zmsd_cli_seek(f, offset, SEEK_SET) < 0) return -1;
    f->offset = uint64_t(offset);
  }
  const bool positioned = s->flag_b && offset != -1;
  auto *dst = static_cast<char *>(buf);
  int total = 0;
  int remaining = len;
  bool restarted = false;
  while (remaining > 0) {
    const int chunk = std::min(remaining, s->block_size);
    int count = 0;
    const int status = read_chunk(f, dst + total, chunk, positioned, &count);
    if (status != SD_OK) {
      (void)sd_report(s, status);
      const int code = zmsd_cli_last_errno(s);
      if (code == VERR_DEV_NOT_FOUND || code == VERR_FILE_NOT_FOUND ||
          chunk <= ZMSD_RESTART_BLOCK || s->largest_read > kLargeReadSeen)
        return -1;
      s->block_size = ZMSD_RESTART_BLOCK;
      ZLOG(LOG2_WARN, "ctx->block_size=%d!!\n", s->block_size);
      if (restarted) {
        ZLOG(LOG2_ERR, "error: count++>=1\n");
        return -1;
      }
      restarted = true;
      if (zmsd_cli_restart_work(f) != 0) return -1;
      continue;
    }
    restarted = false;
    total += count;
    s->largest_read = std::max(s->largest_read, count);
    f->offset += uint64_t(count);
    remaining -= chunk;
    if (count < chunk) break;
  }
  (void)sd_report(s, SD_OK);
  return total;
}
