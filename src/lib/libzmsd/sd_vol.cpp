// Volume and server queries: volume information (5), server information (4), file-system
// statistics, link targets and named attributes (server controls 10001 to 10005, command 9),
// and the shadow copy of a Windows volume (10111, 10112).
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pal_log.h"
#include "sd_handles.h"

static const char kLogTag[] = "sdcli";

namespace {

enum : int {
  CMD_VOLINFO = 5,
  CMD_SETXATTR = 9,
};

constexpr int kTextOutput = 4096;

const blobmsg_policy kVolPolicy[] = {
    {"errno", BLOBMSG_TYPE_INT32},       {"errno_str", BLOBMSG_TYPE_STRING},
    {"flags", BLOBMSG_TYPE_INT32},       {"name_len", BLOBMSG_TYPE_INT32},
    {"avail_bytes", BLOBMSG_TYPE_INT64}, {"free_bytes", BLOBMSG_TYPE_INT64},
    {"total_bytes", BLOBMSG_TYPE_INT64}, {"fs_name", BLOBMSG_TYPE_STRING},
    {"vol_name", BLOBMSG_TYPE_STRING}};
const blobmsg_policy kLenPolicy[] = {
    {"errno", BLOBMSG_TYPE_INT32}, {"errno_str", BLOBMSG_TYPE_STRING}, {"len", BLOBMSG_TYPE_INT32}};

// Server control on the session with a text input; the output (cut to room) in out, its whole
// size in *n. 0 or -1.
int text_control(zmsd_session *s, int code, const std::string &in, void *out, int room, int *n) {
  return sd_report(s, sd_server_control(s, 0, code, in.c_str(), int(in.size()) + 1, out, room, n));
}

// An output that does not fit the caller's room is an error, as for the system calls; a room of
// 0 asks for the size.
int sized_result(zmsd_session *s, int n, int room) {
  if (room > 0 && n > room) {
    VERR_SET(s->link.err, os_verr_get(ERANGE), "%s", os_errno_str(ERANGE));
    return -1;
  }
  return n;
}

}  // namespace

int zmsd_cli_volinfo(zmsd_session *s, const char *path, zmsd_volinfo *out) {
  if (!sd_handle_session(s) || !path || !out) return -1;
  blob_buf *b = &s->link.build;
  if (blob_buf_init(b, BLOB_MSG_ID) != 0 || blobmsg_add_string(b, "path", path) != 0)
    return sd_report(s, SD_MEMORY_ERROR);
  const blob_attr *t[9] = {};
  if (sd_report(s, sd_call(s, CMD_VOLINFO, kVolPolicy, 9, t)) != 0) return -1;
  out->flags = blobmsg_get_u32(t[2]);
  out->name_len = blobmsg_get_u32(t[3]);
  out->avail_bytes = blobmsg_get_u64(t[4]);
  out->free_bytes = blobmsg_get_u64(t[5]);
  out->total_bytes = blobmsg_get_u64(t[6]);
  snprintf(out->fs_name, sizeof out->fs_name, "%s", blobmsg_get_string(t[7]));
  snprintf(out->vol_name, sizeof out->vol_name, "%s", blobmsg_get_string(t[8]));
  return 0;
}

int zmsd_cli_info(zmsd_session *s, char *buf, size_t size) {
  if (!sd_handle_session(s)) return -1;
  return sd_report(s, cli_info(s, buf, size));
}

int zmsd_cli_os_type(zmsd_session *s) { return sd_handle_session(s) ? s->os_type : -1; }

int zmsd_cli_statfs(zmsd_session *s, const char *path, zmsd_statfs *out) {
  if (!sd_handle_session(s) || !path || !out) return -1;
  char text[kTextOutput + 1] = {};
  int n = 0;
  if (text_control(s, ZMSD_IOCTL2_STATFS, path, text, kTextOutput, &n) != 0) return -1;
  const char *p = text;
  for (uint64_t &v : out->v) {
    char *end = nullptr;
    v = strtoull(p, &end, 10);
    if (end == p) {
      ZLOG(LOG2_ERR, "statfs info=[%s] error\n", text);
      return sd_report(s, SD_NET_DATA_ERROR);
    }
    p = *end == '\t' ? end + 1 : end;
  }
  return 0;
}

int zmsd_cli_readlink(zmsd_session *s, const char *path, char *buf, size_t size) {
  if (!sd_handle_session(s) || !path || !buf || size == 0) return -1;
  int n = 0;
  if (text_control(s, ZMSD_IOCTL2_READLINK, path, buf, int(size) - 1, &n) != 0) return -1;
  const int kept = n < int(size) - 1 ? n : int(size) - 1;
  buf[kept] = '\0';
  return int(strlen(buf));
}

int zmsd_cli_lgetxattr(zmsd_session *s, const char *path, const char *name, void *buf, int size) {
  if (!sd_handle_session(s) || !path || !name || size < 0 || (size > 0 && !buf)) return -1;
  int n = 0;
  if (text_control(s, ZMSD_IOCTL2_GETXATTR, std::string(path) + "\t" + name, buf, size, &n) != 0)
    return -1;
  return sized_result(s, n, size);
}

int zmsd_cli_llistxattr(zmsd_session *s, const char *path, char *buf, int size) {
  if (!sd_handle_session(s) || !path || size < 0 || (size > 0 && !buf)) return -1;
  int n = 0;
  if (text_control(s, ZMSD_IOCTL2_LISTXATTR, path, buf, size, &n) != 0) return -1;
  return sized_result(s, n, size);
}

int zmsd_cli_lremovexattr(zmsd_session *s, const char *path, const char *name) {
  if (!sd_handle_session(s) || !path || !name) return -1;
  return text_control(s, ZMSD_IOCTL2_REMOVEXATTR, std::string(path) + "\t" + name, nullptr, 0,
                      nullptr);
}

int zmsd_cli_lsetxattr(zmsd_session *s, const char *path, const char *name, const void *value,
                       int size, int flags) {
  if (!sd_handle_session(s) || !path || !name || size < 0 || (size > 0 && !value)) return -1;
  blob_buf *b = &s->link.build;
  const int room = sdcomp_bound(size);
  blob_attr *field = nullptr;
  void *data = nullptr;
  if (blob_buf_init(b, BLOB_MSG_ID) != 0 || blobmsg_add_string(b, "path", path) != 0 ||
      blobmsg_add_string(b, "name", name) != 0 || blobmsg_add_u32(b, "flags", uint32_t(flags)) != 0 ||
      blobmsg_add_u32(b, "len", uint32_t(size)) != 0 ||
      !(data = blobmsg_reserve_field(b, "data", room, &field)))
    return sd_report(s, SD_MEMORY_ERROR);
  const int packed = sdcomp_pack(&s->comp, value, size, data, room);
  if (packed < 0 || blobmsg_trim_field(b, field, packed) != 0) return sd_report(s, SD_UNPACK_ERROR);
  const blob_attr *t[3] = {};
  return sd_report(s, sd_call(s, CMD_SETXATTR, kLenPolicy, 3, t));
}

int zmsd_cli_vss_mount(zmsd_session *s, const char *root, char *out) {
  if (!sd_handle_session(s) || !root || !out) return -1;
  if (!zmsd_ver_at_least(s->srv_ver, "1.6.7")) return sd_report_upgrade(s);
  std::vector<char> text(kTextOutput + 1, '\0');
  int n = 0;
  if (text_control(s, ZMSD_IOCTL2_VSS_MOUNT, root, text.data(), kTextOutput, &n) != 0) return -1;
  snprintf(out, kTextOutput, "%s", text.data());
  return 0;
}

int zmsd_cli_vss_umount(zmsd_session *s) {
  if (!sd_handle_session(s)) return -1;
  return sd_report(s, sd_server_control(s, 0, ZMSD_IOCTL2_VSS_UMOUNT, nullptr, 0, nullptr, 0,
                                        nullptr));
}
