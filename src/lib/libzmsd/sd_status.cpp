// The client status codes: their names for log lines, and the one mapping from a status onto
// the code and text of the session's error record.
#include <cerrno>

#include "pal_verr.h"
#include "sd_comm.h"

const char *sd_status_name(int status) {
  static const char *const kNames[] = {
      "ok",           "net error",       "net data error",    "timeout error", "zmsd srv error",
      "memory error", "user stop error", "unpack data error", "data len error"};
  if (status < 0 || status >= int(sizeof kNames / sizeof kNames[0])) return "unkown error";
  return kNames[status];
}

void zmsd_cli_set_last_error(sd_link *link, int status) {
  const int eno = errno;
  verr_info *err = link->err;
  if (!err) return;
  switch (status) {
    case SD_OK:
      VERR_SET(err, 0, "%s", "");
      break;
    case SD_NET_ERROR:
      if (eno == 0)
        VERR_SET(err, VERR_NET_IO_ERROR, "read data net error");
      else
        VERR_SET(err, os_verr_get(eno), "%s", os_errno_str(eno));
      break;
    case SD_NET_DATA_ERROR:
      VERR_SET(err, VERR_NET_PROTOCOL_ERROR, "read data content error");
      break;
    case SD_TIMEOUT_ERROR:
    case SD_DATA_LEN_ERROR:
      VERR_SET(err, VERR_TIMEOUT, "read data timeout");
      break;
    case SD_SRV_ERROR:
      VERR_SET(err, link->srv_errno, "%s", link->srv_error);
      break;
    case SD_MEMORY_ERROR:
      VERR_SET(err, VERR_NO_MEMORY, "memory allocation failed");
      break;
    default:
      VERR_SET(err, VERR_GENERAL_FAILURE, "unkown error=%d", status);
      break;
  }
  errno = eno;
}
