// Opening and closing files (commands 10, 24, 25, 11). A session keeps every handle it handed
// out, so that closing the session closes them on the server too.
#include <algorithm>
#include <new>

#include "pal_log.h"
#include "sd_handles.h"

static const char kLogTag[] = "sdcli";

namespace {

enum : int {
  CMD_OPEN = 10,
  CMD_CLOSE = 11,
  CMD_WOPEN = 24,
  CMD_OPEN2 = 25,
  CMD_CLOSEDIR = 43,
};

const blobmsg_policy kOpenPolicy[] = {
    {"errno", BLOBMSG_TYPE_INT32}, {"errno_str", BLOBMSG_TYPE_STRING}, {"fd", BLOBMSG_TYPE_INT64}};
const blobmsg_policy kStatusPolicy[] = {{"errno", BLOBMSG_TYPE_INT32},
                                        {"errno_str", BLOBMSG_TYPE_STRING}};

// The open exchange with the request in the build buffer: the server file number or a status.
int open_call(zmsd_session *s, int command, uint64_t *fd) {
  const blob_attr *table[3] = {};
  int status = sd_send(s, command);
  if (status != SD_OK) return status;
  int length = 0;
  status = client_recv_response(s, &length);
  if (status != SD_OK) return status;
  if (sd_parse(s, kOpenPolicy, 3, table) != SD_OK) {
    ZLOG(LOG2_ERR, "parse data error\n");
    return SD_NET_DATA_ERROR;
  }
  status = zmsd_take_server_status(&s->link, table);
  if (status == SD_OK) *fd = blobmsg_get_u64(table[2]);
  return status;
}

int build_open10(zmsd_session *s, const char *path, uint32_t flags) {
  blob_buf *b = &s->link.build;
  return blob_buf_init(b, BLOB_MSG_ID) == 0 && blobmsg_add_string(b, "path", path) == 0 &&
                 blobmsg_add_u64(b, "mode", uint64_t(int64_t(int32_t(flags)))) == 0
             ? SD_OK
             : SD_MEMORY_ERROR;
}

// Close of one server file number (command 11 or 43) while connected; a status code.
int close_fd(zmsd_session *s, int command, uint64_t fd) {
  if (s->link.chan.handle == 0) return SD_OK;
  if (sd_begin_fd(s, fd) != SD_OK) return SD_MEMORY_ERROR;
  const blob_attr *table[2] = {};
  return sd_call(s, command, kStatusPolicy, 2, table);
}

template <typename T>
void unregister(std::vector<T *> &list, T *h) {
  list.erase(std::remove(list.begin(), list.end(), h), list.end());
}

}  // namespace

zmsd_file *sd_open_finish(zmsd_session *s, int command, const char *path, uint32_t flags) {
  uint64_t fd = 0;
  const int status = open_call(s, command, &fd);
  if (sd_report(s, status) != 0) return nullptr;
  auto *f = new (std::nothrow) zmsd_file;
  if (!f) {
    (void)close_fd(s, CMD_CLOSE, fd);
    (void)sd_report(s, SD_MEMORY_ERROR);
    return nullptr;
  }
  f->head.session = s;
  f->path = path;
  f->flags = flags;
  f->fd = fd;
  f->rd_timeout_pending = f->wr_timeout_pending = s->os_type == 1;
  s->files.push_back(f);
  return f;
}

zmsd_file *zmsd_cli_open(zmsd_session *s, const char *path, uint32_t flags) {
  if (!sd_handle_session(s) || !path) return nullptr;
  if ((flags & ZMSD_O_VSS) && !zmsd_ver_at_least(s->srv_ver, "1.6.7")) {
    (void)sd_report_upgrade(s);
    return nullptr;
  }
  if (build_open10(s, path, flags) != SD_OK) {
    (void)sd_report(s, SD_MEMORY_ERROR);
    return nullptr;
  }
  return sd_open_finish(s, CMD_OPEN, path, flags);
}

zmsd_file *zmsd_cli_open2(zmsd_session *s, const char *path, uint32_t flag, uint32_t mode) {
  if (!sd_handle_session(s) || !path) return nullptr;
  blob_buf *b = &s->link.build;
  if (blob_buf_init(b, BLOB_MSG_ID) != 0 || blobmsg_add_string(b, "path", path) != 0 ||
      blobmsg_add_u32(b, "flag", flag) != 0 || blobmsg_add_u32(b, "mode", mode) != 0) {
    (void)sd_report(s, SD_MEMORY_ERROR);
    return nullptr;
  }
  return sd_open_finish(s, CMD_OPEN2, path, flag);
}

zmsd_file *zmsd_cli_wopen(zmsd_session *s, const char *path, uint32_t desire_access,
                          uint32_t share_mode, const void *, uint32_t creat_disp,
                          uint32_t flag_attrib, uint64_t temp_handle) {
  if (!sd_handle_session(s) || !path) return nullptr;
  blob_buf *b = &s->link.build;
  // The security attributes are this machine's memory: the server gets an empty text.
  if (blob_buf_init(b, BLOB_MSG_ID) != 0 || blobmsg_add_string(b, "path", path) != 0 ||
      blobmsg_add_u32(b, "desire_access", desire_access) != 0 ||
      blobmsg_add_u32(b, "share_mode", share_mode) != 0 ||
      blobmsg_add_string(b, "sec_attrib", "") != 0 ||
      blobmsg_add_u32(b, "creat_disp", creat_disp) != 0 ||
      blobmsg_add_u32(b, "flag_attrib", flag_attrib) != 0 ||
      blobmsg_add_u64(b, "temp_handle", temp_handle) != 0) {
    (void)sd_report(s, SD_MEMORY_ERROR);
    return nullptr;
  }
  return sd_open_finish(s, CMD_WOPEN, path, desire_access);
}

int sd_reopen(zmsd_file *f) {
  zmsd_session *s = f->head.session;
  // The file already holds what was written through this handle: opening it again must not
  // empty it.
  if (build_open10(s, f->path.c_str(), f->flags & ~ZMSD_O_TRUNC) != SD_OK) return SD_MEMORY_ERROR;
  const int status = open_call(s, CMD_OPEN, &f->fd);
  if (status == SD_OK) f->rd_timeout_pending = f->wr_timeout_pending = s->os_type == 1;
  return status;
}

int zmsd_cli_close(zmsd_file *f) {
  if (!sd_file_handle(f)) return -1;
  zmsd_session *s = f->head.session;
  const int status = close_fd(s, CMD_CLOSE, f->fd);
  unregister(s->files, f);
  delete f;
  return sd_report(s, status);
}

int zmsd_cli_closedir(zmsd_dir *d) {
  if (!sd_dir_handle(d)) return -1;
  zmsd_session *s = d->head.session;
  const int status = close_fd(s, CMD_CLOSEDIR, d->fd);
  unregister(s->dirs, d);
  delete d;
  return sd_report(s, status);
}

void sd_close_handles(zmsd_session *s) {
  while (!s->files.empty()) (void)zmsd_cli_close(s->files.back());
  while (!s->dirs.empty()) (void)zmsd_cli_closedir(s->dirs.back());
}
