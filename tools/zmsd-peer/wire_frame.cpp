// Frame reading and writing. The request body is held in the Request so that its fields can
// point into it while the command runs.
#include "wire_frame.h"

#include <cstring>

#include "handlers.h"

namespace peer {
namespace {

constexpr size_t kMaxMessage = 0xffffff + 3;

}  // namespace

int read_request(Link &link, Request &rq, std::string &error) {
  uint8_t head[8];
  const long got = link.read_full(head, sizeof head);
  if (got == 0) return 0;
  if (got < 0) return error = "link lost while reading a frame head", -1;
  if (head[0] != 0x5A || head[1] != 0x4D) return error = "bad frame magic", -1;
  if (head[2] != 0x01) return error = "bad request frame version " + std::to_string(head[2]), -1;
  const uint32_t container = get_be32(head + 4);
  const size_t raw = container & 0xffffff;
  if ((container & 0x80000000u) || (container >> 24 & 0x7f) != 2 || raw < 4)
    return error = "bad container header", -1;
  const size_t padded = (raw + 3) & ~size_t{3};
  if (padded > kMaxMessage) return error = "message too long", -1;
  rq.command = head[3];
  rq.body.resize(padded - 4);
  if (!rq.body.empty() && link.read_full(rq.body.data(), rq.body.size()) != long(rq.body.size()))
    return error = "link lost inside a frame", -1;
  // The frame's length is sound, so a bad message inside it is answered, not fatal.
  std::string bad;
  if (!rq.fields.parse(rq.body.data(), raw - 4, bad)) rq.malformed = "bad message: " + bad;
  for (size_t i = raw - 4; i < rq.body.size() && rq.malformed.empty(); ++i)
    if (rq.body[i]) rq.malformed = "bad message: non-zero padding after the message";
  return 1;
}

std::vector<uint8_t> response_frame(uint8_t version, uint8_t command, const MessageWriter &msg) {
  const std::vector<uint8_t> &m = msg.bytes();
  std::vector<uint8_t> frame(4 + m.size());
  frame[0] = 0x5A;
  frame[1] = 0x4D;
  frame[2] = version;
  frame[3] = command;
  memcpy(frame.data() + 4, m.data(), m.size());
  return frame;
}

}  // namespace peer
