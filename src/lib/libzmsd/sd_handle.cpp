// What every command file needs from a handle: its kind checked, its session and server file
// number, and the outcome of the call written into the session's error record.
#include "pal_log.h"
#include "sd_handles.h"

static const char kLogTag[] = "sdcli";

zmsd_session *sd_owner_session(const void *handle) {
  if (!handle) return nullptr;
  const uint32_t type = *static_cast<const uint32_t *>(handle);
  if (type == ZMSD_HANDLE_FILE || type == ZMSD_HANDLE_DIR)
    return static_cast<const sd_handle_head *>(handle)->session;
  return sd_handle_session(handle);
}

zmsd_file *sd_file_handle(void *handle) {
  if (handle && *static_cast<const uint32_t *>(handle) == ZMSD_HANDLE_FILE)
    return static_cast<zmsd_file *>(handle);
  ZLOG(LOG2_ERR, "invalid handle\n");
  return nullptr;
}

zmsd_dir *sd_dir_handle(void *handle) {
  if (handle && *static_cast<const uint32_t *>(handle) == ZMSD_HANDLE_DIR)
    return static_cast<zmsd_dir *>(handle);
  ZLOG(LOG2_ERR, "invalid handle\n");
  return nullptr;
}

uint64_t sd_handle_fd(const void *handle) {
  switch (*static_cast<const uint32_t *>(handle)) {
    case ZMSD_HANDLE_FILE:
      return static_cast<const zmsd_file *>(handle)->fd;
    case ZMSD_HANDLE_DIR:
      return static_cast<const zmsd_dir *>(handle)->fd;
    default:
      return 0;
  }
}

int sd_report(zmsd_session *s, int status) {
  zmsd_cli_set_last_error(&s->link, status);
  return status == SD_OK ? 0 : -1;
}

int sd_report_upgrade(zmsd_session *s) {
  VERR_SET(s->link.err, VERR_NOT_IMPLEMENTED, "%s", ZMSD_UPGRADE_TEXT);
  return -1;
}

int sd_begin_fd(zmsd_session *s, uint64_t fd) {
  blob_buf *b = &s->link.build;
  return blob_buf_init(b, BLOB_MSG_ID) == 0 && blobmsg_add_u64(b, "fd", fd) == 0 ? SD_OK
                                                                               : SD_MEMORY_ERROR;
}
