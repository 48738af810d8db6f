// The two control channels: file control (command 20) behind zmsd_cli_ioctl, with its first few
// codes answered or routed locally, and server control (command 8) behind zmsd_cli_ioctl2. While
// a context control (100 to 110) waits for its answer, link recovery is off: a failure there
// must not start a recovery inside a recovery.
#include <algorithm>
#include <cstring>

#include "pal_log.h"
#include "sd_handles.h"

static const char kLogTag[] = "sdcli";

namespace {

constexpr int kOsWindows = 1;

const blobmsg_policy kControlPolicy[] = {
    {"errno", BLOBMSG_TYPE_INT32}, {"errno_str", BLOBMSG_TYPE_STRING}, {"data", BLOBMSG_TYPE_BINARY}};

// The class of the last server error number: 0 none, 1 access denied, 2 not found, 3 other.
int error_class(const zmsd_session *s) {
  const int e = s->link.srv_errno;
  if (e == 0) return 0;
  if (s->os_type == kOsWindows) {
    if (e == 55 || e == 1117 || e == 2) return 2;
    return e == 23 ? 1 : 3;
  }
  if (e == 6) return 2;
  return e == 5 ? 1 : 3;
}

}  // namespace

int sd_server_control_build(zmsd_session *s, uint64_t fd, int code, const void *in, int in_len,
                            int out_room) {
  blob_buf *b = &s->link.build;
  return sd_begin_fd(s, fd) == SD_OK && blobmsg_add_u32(b, "cmd", uint32_t(code)) == 0 &&
                 blobmsg_add_field(b, BLOBMSG_TYPE_BINARY, "data", in, in_len) == 0 &&
                 blobmsg_add_u32(b, "olen", uint32_t(std::max(out_room, 0))) == 0
             ? SD_OK
             : SD_MEMORY_ERROR;
}

int sd_server_control(zmsd_session *s, uint64_t fd, int code, const void *in, int in_len,
                      void *out, int out_room, int *out_len) {
  if (sd_server_control_build(s, fd, code, in, in_len, out_room) != SD_OK) return SD_MEMORY_ERROR;
  const bool context_control = code >= 100 && code <= 110;
  const uint8_t auto_reconnect = s->link.auto_reconnect;
  if (context_control) s->link.auto_reconnect = 0;
  const blob_attr *table[3] = {};
  const int status = sd_call(s, SD_CMD_SERVER_CONTROL, kControlPolicy, 3, table);
  if (context_control) s->link.auto_reconnect = auto_reconnect;
  if (status != SD_OK) return status;
  // The server may send more than the room; the count tells the caller the whole size.
  const int n = blobmsg_data_len(table[2]);
  if (out && out_room > 0) memcpy(out, blobmsg_data(table[2]), size_t(std::min(n, out_room)));
  if (out_len) *out_len = n;
  return SD_OK;
}

int zmsd_cli_ioctl2(void *handle, int code, const void *in, int in_len, void *out, int out_room,
                    int *out_len) {
  zmsd_session *s = sd_owner_session(handle);
  if (!s) return -1;
  if (in_len == -1) in_len = in ? int(strlen(static_cast<const char *>(in))) + 1 : 0;
  if (in_len < 0 || (in_len > 0 && !in)) return -1;
  return sd_report(s, sd_server_control(s, sd_handle_fd(handle), code, in, in_len, out, out_room,
                                        out_len));
}

int zmsd_cli_ioctl(void *handle, int code, void *data, int length) {
  zmsd_session *s = sd_owner_session(handle);
  if (!s) {
    ZLOG(LOG2_ERR, "invalid handle\n");
    return -1;
  }
  switch (code) {
    case ZMSD_OP_ERROR_CLASS:
      return error_class(s);
    case ZMSD_OP_FSTAT:
      return zmsd_cli_fstat(sd_file_handle(handle), static_cast<zmsd_stat *>(data));
    case ZMSD_OP_FUTIME:
      return zmsd_cli_futime(sd_file_handle(handle), static_cast<const zmsd_ftimes *>(data));
    case ZMSD_OP_LOCK: {
      const auto *r = static_cast<const zmsd_lock_range *>(data);
      return r ? zmsd_cli_lock(sd_file_handle(handle), r->type, r->offset, r->len) : -1;
    }
    default:
      break;
  }
  if (code < 5 || length < 0 || (length > 0 && !data)) return -1;
  if (code == ZMSD_IOCTL_PACK) {
    char name[SDCOMP_NAME_SIZE] = {};
    memcpy(name, data, size_t(std::min(length, int(sizeof name) - 1)));
    return sd_pack_announce(s, name);
  }
  return sd_report(s, sd_file_control(s, sd_handle_fd(handle), code, data, length));
}
