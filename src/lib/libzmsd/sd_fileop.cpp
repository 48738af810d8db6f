// The smaller operations on an open file: seek (15), truncate (16), flush (14), set times (22,
// 27 with nanoseconds for servers from 1.5.3) and range locks (23).
#include <cstdio>

#include "pal_log.h"
#include "sd_handles.h"

static const char kLogTag[] = "sdcli";

namespace {

enum : int {
  CMD_FLUSH = 14,
  CMD_SEEK = 15,
  CMD_FTRUNCATE = 16,
  CMD_FUTIME = 22,
  CMD_FUTIME_EXT = 27,
  CMD_LOCK = 23,
};

const blobmsg_policy kStatusPolicy[] = {{"errno", BLOBMSG_TYPE_INT32},
                                        {"errno_str", BLOBMSG_TYPE_STRING}};
const blobmsg_policy kSeekPolicy[] = {{"errno", BLOBMSG_TYPE_INT32},
                                      {"errno_str", BLOBMSG_TYPE_STRING},
                                      {"offset", BLOBMSG_TYPE_INT64}};

// A command whose request is already built and whose answer is the status alone. 0 or -1.
int status_call(zmsd_session *s, int command) {
  const blob_attr *table[2] = {};
  return sd_report(s, sd_call(s, command, kStatusPolicy, 2, table));
}

}  // namespace

int64_t zmsd_cli_seek(zmsd_file *f, int64_t offset, int whence) {
  if (!sd_file_handle(f)) return -1;
  zmsd_session *s = f->head.session;
  blob_buf *b = &s->link.build;
  if (sd_begin_fd(s, f->fd) != SD_OK || blobmsg_add_u64(b, "offset", uint64_t(offset)) != 0 ||
      blobmsg_add_u64(b, "mode", uint64_t(int64_t(whence))) != 0)
    return sd_report(s, SD_MEMORY_ERROR);
  const blob_attr *table[3] = {};
  if (sd_report(s, sd_call(s, CMD_SEEK, kSeekPolicy, 3, table)) != 0) return -1;
  f->offset = blobmsg_get_u64(table[2]);
  return int64_t(f->offset);
}

int zmsd_cli_ftruncate(zmsd_file *f, int64_t len) {
  if (!sd_file_handle(f)) return -1;
  zmsd_session *s = f->head.session;
  if (sd_begin_fd(s, f->fd) != SD_OK || blobmsg_add_u64(&s->link.build, "len", uint64_t(len)) != 0)
    return sd_report(s, SD_MEMORY_ERROR);
  if (status_call(s, CMD_FTRUNCATE) != 0) return -1;
  return zmsd_cli_seek(f, 0, SEEK_CUR) < 0 ? -1 : 0;
}

int zmsd_cli_fsync(zmsd_file *f) {
  if (!sd_file_handle(f)) return -1;
  zmsd_session *s = f->head.session;
  if (sd_begin_fd(s, f->fd) != SD_OK) return sd_report(s, SD_MEMORY_ERROR);
  return status_call(s, CMD_FLUSH);
}

int zmsd_cli_futime(zmsd_file *f, const zmsd_ftimes *t) {
  if (!sd_file_handle(f) || !t) return -1;
  zmsd_session *s = f->head.session;
  blob_buf *b = &s->link.build;
  bool built = sd_begin_fd(s, f->fd) == SD_OK &&
               blobmsg_add_u64(b, "time_access", t->time_access) == 0 &&
               blobmsg_add_u64(b, "time_write", t->time_write) == 0 &&
               blobmsg_add_u64(b, "time_create", t->time_create) == 0;
  if (built && s->flag_a)
    built = blobmsg_add_u32(b, "time_access_ns", t->time_access_ns) == 0 &&
            blobmsg_add_u32(b, "time_write_ns", t->time_write_ns) == 0 &&
            blobmsg_add_u32(b, "time_create_ns", t->time_create_ns) == 0;
  if (!built) return sd_report(s, SD_MEMORY_ERROR);
  return status_call(s, s->flag_a ? CMD_FUTIME_EXT : CMD_FUTIME);
}

int zmsd_cli_lock(zmsd_file *f, int type, uint64_t offset, uint64_t len) {
  if (!sd_file_handle(f)) return -1;
  zmsd_session *s = f->head.session;
  blob_buf *b = &s->link.build;
  if (sd_begin_fd(s, f->fd) != SD_OK || blobmsg_add_u32(b, "type", uint32_t(type)) != 0 ||
      blobmsg_add_u64(b, "offset", offset) != 0 || blobmsg_add_u64(b, "len", len) != 0)
    return sd_report(s, SD_MEMORY_ERROR);
  return status_call(s, CMD_LOCK);
}
