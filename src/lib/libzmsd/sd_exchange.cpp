// One request and its response on a session, in the shape every command shares, and the way
// back from any handle to its session's error record.
#include "pal_log.h"
#include "sd_handles.h"

static const char kLogTag[] = "sdcli";

const blobmsg_policy kSdStatusPolicy[2] = {{"errno", BLOBMSG_TYPE_INT32},
                                           {"errno_str", BLOBMSG_TYPE_STRING}};

zmsd_session *sd_handle_session(const void *handle) {
  if (!handle) return nullptr;
  auto *s = static_cast<zmsd_session *>(const_cast<void *>(handle));
  return s->handle_type == ZMSD_HANDLE_SESSION ? s : nullptr;
}

int zmsd_cli_last_errno(const void *handle) {
  const zmsd_session *s = sd_owner_session(handle);
  return s ? s->link.err->code : -1;
}

const char *zmsd_cli_last_error(const void *handle) {
  const zmsd_session *s = sd_owner_session(handle);
  return s ? s->link.err->text : "invalid handle";
}

int sd_send(zmsd_session *s, int command) {
  return zmsd_send_request(&s->link, command, s->link.build.head,
                           int(blob_buf_len(&s->link.build)));
}

int sd_parse(zmsd_session *s, const blobmsg_policy *policy, int count, const blob_attr **table) {
  const int r = cli_blobmsg_parse(policy, count, table, sd_response_data(&s->link),
                                  sd_response_data_len(&s->link));
  return r == 0 ? SD_OK : SD_NET_DATA_ERROR;
}

int sd_call(zmsd_session *s, int command, const blobmsg_policy *policy, int count,
            const blob_attr **table) {
  int status = sd_send(s, command);
  if (status != SD_OK) return status;
  int length = 0;
  status = client_recv_response(s, &length);
  if (status != SD_OK) {
    ZLOG(LOG2_ERR, "client_recv_response ret=%d error: %s\n", status, sd_status_name(status));
    return status;
  }
  status = sd_parse(s, policy, count, table);
  if (status != SD_OK) {
    ZLOG(LOG2_ERR, "parse data error\n");
    return status;
  }
  return zmsd_take_server_status(&s->link, table);
}
