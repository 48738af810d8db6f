// The response side of every command: the presence rule of the parse (errno first, the other
// fields only for a success) and keeping the server's error number and text.
#include <cstdio>

#include "pal_log.h"
#include "sd_comm.h"

static const char kLogTag[] = "sdcli";

int cli_blobmsg_parse(const blobmsg_policy *policy, int count, const blob_attr **table,
                      const void *data, int length) {
  if (count < 2 || blobmsg_parse(policy, count, table, data, length) != 0) return -1;
  if (!table[0] || !table[1]) {
    ZLOG(LOG2_ERR, "ba[%d]=NULL error\n", table[0] ? 1 : 0);
    return -1;
  }
  if (blobmsg_get_u32(table[0]) != 0) return 0;
  for (int i = 2; i < count; ++i) {
    if (!table[i]) {
      ZLOG(LOG2_ERR, "ba[%d]=NULL error\n", i);
      return -1;
    }
  }
  return 0;
}

int zmsd_take_server_status(sd_link *link, const blob_attr *const *table) {
  const int32_t srv_errno = int32_t(blobmsg_get_u32(table[0]));
  if (srv_errno == 0) {
    link->srv_errno = 0;
    return SD_OK;
  }
  link->srv_errno = srv_errno;
  snprintf(link->srv_error, sizeof link->srv_error, "%s",
           table[1] ? blobmsg_get_string(table[1]) : "");
  return SD_SRV_ERROR;
}
