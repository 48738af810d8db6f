// Fuzz target: one response read off the connection (frame head, then the body into the
// receive buffer) and the response parse with the server status, as every zmp call does it.
#include <cstring>

#include "fuzz_common.h"
#include "fuzz_feed.h"
#include "sd_comm.h"

namespace {

const blobmsg_policy kPolicy[] = {
    {"errno", BLOBMSG_TYPE_INT32},
    {"errno_str", BLOBMSG_TYPE_STRING},
    {"data", BLOBMSG_TYPE_BINARY},
    {"size", BLOBMSG_TYPE_INT64},
};
constexpr int kCount = int(sizeof kPolicy / sizeof kPolicy[0]);

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::Feed feed(data, size);
  static sd_link link;  // reused like a session's link: the receive buffer only grows
  link.chan.handle = feed.chan.handle;
  link.chan.timeout = feed.chan.timeout;
  link.chan.disconnected = 0;
  link.srv_frame_ver = 0;
  // Two responses in a row, as a turn after a short one would read them.
  for (int turn = 0; turn < 2; ++turn) {
    int length = 0;
    if (client_recv_response_imp(&link, &length) != SD_OK) break;
    const blob_attr *table[kCount] = {};
    if (cli_blobmsg_parse(kPolicy, kCount, table, sd_response_data(&link),
                          sd_response_data_len(&link)) != 0)
      continue;
    const int status = zmsd_take_server_status(&link, table);
    zmsd_cli_set_last_error(&link, status);
  }
  link.chan.handle = 0;  // the feed closes its own descriptor
  return 0;
}
