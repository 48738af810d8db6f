// Writing a file in chunks of the session's block size (commands 13 and 30): each chunk is packed
// straight into a reserved "data" field of the request, which is then trimmed to the packed size.
// A failed chunk is not retried here: link recovery below has already re-sent it if it could.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "pal_log.h"
#include "sd_handles.h"

static const char kLogTag[] = "sdcli";

namespace {

enum : int {
  CMD_WRITE = 13,
  CMD_PWRITE = 30,
};

const blobmsg_policy kWritePolicy[] = {
    {"errno", BLOBMSG_TYPE_INT32}, {"errno_str", BLOBMSG_TYPE_STRING}, {"len", BLOBMSG_TYPE_INT32}};

int build_chunk(zmsd_file *f, const char *src, int chunk, bool positioned) {
  zmsd_session *s = f->head.session;
  blob_buf *b = &s->link.build;
  if (sd_begin_fd(s, f->fd) != SD_OK || blobmsg_add_u32(b, "flags", 0) != 0 ||
      blobmsg_add_u32(b, "len", uint32_t(chunk)) != 0 ||
      (positioned && blobmsg_add_u64(b, "offset", f->offset) != 0))
    return SD_MEMORY_ERROR;
  const int room = sdcomp_bound(chunk);
  blob_attr *field = nullptr;
  void *out = room > 0 ? blobmsg_reserve_field(b, "data", room, &field) : nullptr;
  if (!out) return SD_MEMORY_ERROR;
  const int packed = sdcomp_pack(&s->comp, src, chunk, out, room);
  if (packed < 0 || blobmsg_trim_field(b, field, packed) != 0) return SD_UNPACK_ERROR;
  return SD_OK;
}

// One chunk: the byte count the server wrote in *count, or a status.
int write_chunk(zmsd_file *f, const char *src, int chunk, bool positioned, int *count) {
  zmsd_session *s = f->head.session;
  int status = build_chunk(f, src, chunk, positioned);
  if (status != SD_OK) return status;
  const blob_attr *table[3] = {};
  status = sd_call(s, positioned ? CMD_PWRITE : CMD_WRITE, kWritePolicy, 3, table);
  if (status == SD_OK) *count = int(blobmsg_get_u32(table[2]));
  return status;
}

}  // namespace

int zmsd_cli_set_fd_write_timeout(zmsd_file *f, int ms) {
  if (!sd_file_handle(f)) return -1;
  char text[16];
  snprintf(text, sizeof text, "%d", ms);
  zmsd_session *s = f->head.session;
  const int r = sd_report(s, sd_file_control(s, f->fd, ZMSD_IOCTL_WRITE_TIMEOUT, text,
                                             int(strlen(text)) + 1));
  if (r != 0) ZLOG(LOG2_WARN, "warn: set_write_timeout %s\n", zmsd_cli_last_error(s));
  return r;
}

int zmsd_cli_write(zmsd_file *f, const void *buf, int len, int64_t offset) {
  if (!sd_file_handle(f) || !buf || len < 0) return -1;
  zmsd_session *s = f->head.session;
  if (f->wr_timeout_pending) {
    (void)zmsd_cli_set_fd_write_timeout(f, s->params.write_timeout);
    f->wr_timeout_pending = 0;
  }
  if (offset != -1) {
    if (!s->flag_b && zmsd_cli_seek(f, offset, SEEK_SET) < 0) return -1;
    f->offset = uint64_t(offset);
  }
  const bool positioned = s->flag_b && offset != -1;
  const auto *src = static_cast<const char *>(buf);
  int total = 0;
  int remaining = len;
  while (remaining > 0) {
    const int chunk = std::min(remaining, s->block_size);
    int count = 0;
    const int status = write_chunk(f, src + total, chunk, positioned, &count);
    if (status != SD_OK) return sd_report(s, status);
    // A server that claims more than it was sent would move the offset past the data.
    count = std::clamp(count, 0, chunk);
    total += count;
    f->offset += uint64_t(count);
    remaining -= chunk;
    if (count < chunk) break;
  }
  (void)sd_report(s, SD_OK);
  return total;
}
