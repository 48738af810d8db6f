// Request framing of the zmp client: the 8-byte frame head, one request and one response per
// turn, the reusable receive buffer, the client status codes and how a status lands in the
// session's error record. Frame layout: doc/frame.md.
#pragma once

#include <cstdint>

#include "blob_msg.h"
#include "net.h"
#include "pal_verr.h"

// Client status codes of every transport and message step.
enum : int {
  SD_OK = 0,
  SD_NET_ERROR = 1,       // a socket read failed
  SD_NET_DATA_ERROR = 2,  // bad magic or length in a response head; a response the parse refused
  SD_TIMEOUT_ERROR = 3,   // no byte of a response head in time; recovery failed earlier
  SD_SRV_ERROR = 4,       // the server answered with a non-zero "errno"
  SD_MEMORY_ERROR = 5,    // the receive buffer or a request field could not be allocated
  SD_USER_STOP_ERROR = 6,
  SD_UNPACK_ERROR = 7,    // compressing or decompressing a payload failed
  SD_DATA_LEN_ERROR = 8,  // a response head or body arrived short
};

// Name of a status for log lines; "unkown error" for any other value.
const char *sd_status_name(int status);

inline constexpr uint8_t SD_FRAME_MAGIC0 = 0x5a;  // 'Z'
inline constexpr uint8_t SD_FRAME_MAGIC1 = 0x4d;  // 'M'
inline constexpr uint8_t SD_FRAME_VERSION = 0x01;
inline constexpr int SD_FRAME_HEAD_SIZE = 8;
inline constexpr int SD_SRV_ERROR_SIZE = 4096;

// What the framing layer keeps of a session. The session record embeds one and owns it; one
// thread at a time uses it (the remote driver serialises the calls), so nothing here locks.
struct sd_link {
  net_sock chan;          // the connection; its time-out bounds every read and write
  uint8_t srv_frame_ver;  // byte 2 of the first response, 0 until then
  blob_buf build;         // reused for every request
  uint8_t *rbuf;          // the last response: container header, then its children
  int32_t rbuf_cap;
  int32_t srv_errno;  // last server error number and text
  char srv_error[SD_SRV_ERROR_SIZE];
  uint8_t recovering;       // set while link recovery re-sends; sends are then not counted
  uint8_t recovery_failed;  // once set, every send and receive returns SD_TIMEOUT_ERROR
  uint8_t auto_reconnect;
  uint8_t last_cmd;
  uint64_t cmd_count;
  verr_info *err;  // where zmsd_cli_set_last_error reports; may be null
};

// Frees the build and receive buffers (the session's close does this once).
void sd_link_release(sd_link *link);

// Frames and writes one message of length bytes (its padded length). A failed write is logged
// and returns SD_OK: it surfaces when the response read fails, which starts recovery.
[[nodiscard]] int zmsd_send_request(sd_link *link, int command, const void *message, int length);

// Reads and checks the frame head; gives the container header word and the padded length.
[[nodiscard]] int zmsd_recv_request_len(sd_link *link, uint32_t *container, int *padded_len);
// Reads one response into the receive buffer and gives its padded length. No recovery.
[[nodiscard]] int client_recv_response_imp(sd_link *link, int *length);

// The children of the last response and their byte count, for the parse.
const void *sd_response_data(const sd_link *link);
int sd_response_data_len(const sd_link *link);

// The response parse: "errno" and "errno_str" must be entries 0 and 1 and be present; the other
// entries must be present too unless "errno" is non-zero. 0 or -1.
[[nodiscard]] int cli_blobmsg_parse(const blobmsg_policy *policy, int count,
                                    const blob_attr **table, const void *data, int length);
// Keeps the server's error number and text of a parsed response: SD_SRV_ERROR when "errno" is
// non-zero, else SD_OK with the last server error number reset to 0.
[[nodiscard]] int zmsd_take_server_status(sd_link *link, const blob_attr *const *table);

// Stores the outcome of a call, as code and text, in the link's error record.
void zmsd_cli_set_last_error(sd_link *link, int status);
