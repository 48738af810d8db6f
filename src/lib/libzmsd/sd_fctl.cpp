// File control (command 20): a code and a small payload for an open file or, with file number 0,
// for the session; and the compressor announcement built on it, after which both sides pack the
// "data" fields with the same compressor.
#include <cstdio>
#include <cstring>

#include "pal_log.h"
#include "sd_session.h"

static const char kLogTag[] = "sdcli";

namespace {

constexpr int CMD_FILE_CONTROL = 20;

}  // namespace

int sd_file_control(zmsd_session *s, uint64_t fd, int code, const void *data, int len) {
  blob_buf *b = &s->link.build;
  if (blob_buf_init(b, BLOB_MSG_ID) != 0 || blobmsg_add_u64(b, "fd", fd) != 0 ||
      blobmsg_add_u32(b, "cmd", uint32_t(code)) != 0 ||
      blobmsg_add_u32(b, "len", uint32_t(len)) != 0 ||
      blobmsg_add_field(b, BLOBMSG_TYPE_BINARY, "data", data, len) != 0)
    return SD_MEMORY_ERROR;
  const blob_attr *table[2] = {};
  return sd_call(s, CMD_FILE_CONTROL, kSdStatusPolicy, 2, table);
}

int sd_pack_announce(zmsd_session *s, const char *name) {
  const int status = sd_file_control(s, 0, ZMSD_IOCTL_PACK, name, int(strlen(name)) + 1);
  if (status != SD_OK) {
    zmsd_cli_set_last_error(&s->link, status);
    return -1;
  }
  if (strcmp(s->comp.name, name) != 0) snprintf(s->comp.name, sizeof s->comp.name, "%s", name);
  const int r = sdcomp_init(&s->comp);
  if (r != 0) {
    ZLOG(LOG2_ERR, "cli_ioctl_imp ret=%d\n", r);
    VERR_SET(s->link.err, VERR_NOT_SUPPORTED, "unknown compressor [%s]", s->comp.name);
    return -1;
  }
  return 0;
}
