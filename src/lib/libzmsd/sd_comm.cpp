// Send and receive of one zmp frame. A small request goes out in one write (head and message
// together), a large one in two; a response costs two reads (head, body). The receive buffer
// only grows, so a steady exchange allocates nothing.
#include "sd_comm.h"

#include <cstring>

#include "pal_env.h"
#include "pal_log.h"
#include "sd_be.h"

static const char kLogTag[] = "sdcli";

static_assert(SD_FRAME_HEAD_SIZE == 4 + sizeof(blob_attr),
              "frame head = magic, version, command, container");

namespace {

constexpr int kFrameTagSize = SD_FRAME_HEAD_SIZE - int(sizeof(blob_attr));  // magic, version, command
constexpr int kCoalesceMax = 4096;  // largest message written in one piece with its frame head

}  // namespace

void sd_link_release(sd_link *link) {
  blob_buf_free(&link->build);
  os_free(link->rbuf);
  link->rbuf = nullptr;
  link->rbuf_cap = 0;
}

int zmsd_send_request(sd_link *link, int command, const void *message, int length) {
  if (link->recovery_failed) return SD_TIMEOUT_ERROR;
  if (!link->recovering) {
    ++link->cmd_count;
    link->last_cmd = uint8_t(command);
  }
  if (length < int(sizeof(blob_attr))) {
    ZLOG(LOG2_ERR, "reqest need len >= 4 [len=%d]\n", length);
    return SD_OK;
  }
  // A frame head sent apart from its message is a segment of its own: the server wakes for it,
  // then again for the rest. Small messages (every command but bulk writes) are copied behind
  // the head and written at once; for a large one the extra write costs nothing measurable.
  const int whole = length <= kCoalesceMax ? length : int(sizeof(blob_attr));
  uint8_t frame[kFrameTagSize + kCoalesceMax];
  frame[0] = SD_FRAME_MAGIC0;
  frame[1] = SD_FRAME_MAGIC1;
  frame[2] = SD_FRAME_VERSION;
  frame[3] = uint8_t(command);
  memcpy(frame + kFrameTagSize, message, size_t(whole));
  if (net_write(&link->chan, frame, kFrameTagSize + whole) < 0) {
    ZLOG(LOG2_ERR, "net_write head len=%d error\n", kFrameTagSize + whole);
  } else if (length > whole &&
             net_write(&link->chan, static_cast<const uint8_t *>(message) + whole, length - whole) < 0) {
    ZLOG(LOG2_ERR, "net_write data len=%d error\n", length - whole);
  }
  return SD_OK;
}

int zmsd_recv_request_len(sd_link *link, uint32_t *container, int *padded_len) {
  uint8_t head[SD_FRAME_HEAD_SIZE];
  const int n = net_read(&link->chan, head, sizeof head);
  if (n < 0) return SD_NET_ERROR;
  if (n == 0) return SD_TIMEOUT_ERROR;
  if (n != int(sizeof head)) {
    ZLOG(LOG2_ERR, "net_read head len=%d need=%d\n", n, int(sizeof head));
    return SD_DATA_LEN_ERROR;
  }
  if (head[0] != SD_FRAME_MAGIC0 || head[1] != SD_FRAME_MAGIC1) {
    ZLOG(LOG2_ERR, "magic error %02x %02x\n", head[0], head[1]);
    return SD_NET_DATA_ERROR;
  }
  if (link->srv_frame_ver == 0) link->srv_frame_ver = head[2];
  *container = sd_get_be32(head + 4);
  const auto *attr = reinterpret_cast<const blob_attr *>(head + 4);
  // A container shorter than its own header cannot be framed: there is no body length to read.
  if (blob_raw_len(attr) < sizeof(blob_attr)) {
    ZLOG(LOG2_ERR, "container len=%u error\n", blob_raw_len(attr));
    return SD_NET_DATA_ERROR;
  }
  *padded_len = int(blob_pad_len(attr));
  return SD_OK;
}

int client_recv_response_imp(sd_link *link, int *length) {
  if (link->recovery_failed) return SD_TIMEOUT_ERROR;
  uint32_t container = 0;
  int padded = 0;
  const int status = zmsd_recv_request_len(link, &container, &padded);
  if (status != SD_OK) return status;

  if (padded + 3 >= link->rbuf_cap) {
    auto *grown = static_cast<uint8_t *>(os_malloc(size_t(padded) + 4));
    os_free(link->rbuf);
    link->rbuf = grown;
    link->rbuf_cap = grown ? padded + 4 : 0;
    if (!grown) {
      ZLOG(LOG2_ERR, "malloc [%d] erorr\n", padded);
      return SD_MEMORY_ERROR;
    }
  }
  const int body = padded - int(sizeof(blob_attr));
  if (body > 0) {
    const int n = net_read(&link->chan, link->rbuf + sizeof(blob_attr), body);
    if (n < 0) return SD_NET_ERROR;
    if (n < body) {
      ZLOG(LOG2_ERR, "net_read len=%d need=%d\n", n, body);
      return SD_DATA_LEN_ERROR;
    }
  }
  sd_put_be32(link->rbuf, container);
  *length = padded;
  return SD_OK;
}

const void *sd_response_data(const sd_link *link) { return link->rbuf + sizeof(blob_attr); }

int sd_response_data_len(const sd_link *link) {
  return link->rbuf ? blob_len(reinterpret_cast<const blob_attr *>(link->rbuf)) : 0;
}
