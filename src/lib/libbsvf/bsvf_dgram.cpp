// Datagrams around one record: header, the sender's type-5 block, the record, the CRC-8 over
// everything after the magic, then the scrambling of everything after the flags; and the
// receiver's check of the same. This side writes little-endian integers (flags bit 0 clear).
#include <cstring>

#include "bsv_bytes.h"
#include "bsvf.h"
#include "pal_log.h"

static const char kLogTag[] = "bsv";

static_assert(BSVF_ORIGIN_SIZE == 8 + 8 + 8 + 4 + 2 + 1 + 1 + 2, "sid bid stime ver app os arch type");

namespace {

constexpr size_t kCrcFrom = 3;       // the flags byte is the first one covered
constexpr size_t kScrambleFrom = 4;  // magic and flags stay readable

void put_origin(uint8_t *at, const bsvf_origin &o, uint16_t type_id) {
  bsv_put_uint(at, o.sid, 8, false);
  bsv_put_uint(at + 8, o.bid, 8, false);
  bsv_put_uint(at + 16, o.stime, 8, false);
  bsv_put_uint(at + 24, o.ver_id, 4, false);
  bsv_put_uint(at + 28, o.app_id, 2, false);
  at[30] = o.os_id;
  at[31] = o.arch_id;
  bsv_put_uint(at + 32, type_id, 2, false);
}

}  // namespace

size_t bsvf_dgram_room() {
  const size_t host = strlen(bsvf_origin_get().hostname) + 1;
  return BSVF_DGRAM_MAX - 1 - BSVF_DGRAM_HEAD_SIZE - BSVF_ORIGIN_SIZE - host;
}

int bsvf_dgram_build(uint8_t *out, size_t size, const void *record, size_t len, uint16_t type_id,
                     bool scramble) {
  const bsvf_origin origin = bsvf_origin_get();
  const size_t host = strlen(origin.hostname) + 1;
  const size_t body = BSVF_DGRAM_HEAD_SIZE + BSVF_ORIGIN_SIZE + host + len;
  if (!out || (len && !record) || body >= BSVF_DGRAM_MAX || body + 1 > size) return -1;

  memcpy(out, "bsv", 3);
  out[3] = static_cast<uint8_t>(BSVF_FLAG_CRC | (scramble ? BSVF_FLAG_SCRAMBLED : 0));
  bsv_put_uint(out + 4, body + 1, 2, false);
  bsv_put_uint(out + 6, BSVF_ORIGIN_TYPE, 2, false);
  put_origin(out + BSVF_DGRAM_HEAD_SIZE, origin, type_id);
  uint8_t *text = out + BSVF_DGRAM_HEAD_SIZE + BSVF_ORIGIN_SIZE;
  memcpy(text, origin.hostname, host);
  if (len) memcpy(text + host, record, len);
  out[body] = bsvf_crc8(out + kCrcFrom, body - kCrcFrom);
  if (scramble)
    bsvf_rc4(BSVF_SCRAMBLE_KEY, sizeof BSVF_SCRAMBLE_KEY, out + kScrambleFrom, body + 1 - kScrambleFrom);
  return static_cast<int>(body + 1);
}

int bsvf_dgram_check(uint8_t *dgram, size_t len) {
  if (!dgram || len < 16) {
    ZLOG(LOG2_ERR, "len=%d error: len<16 \n", static_cast<int>(len));
    return -1;
  }
  if (memcmp(dgram, "bsv", 3) != 0) {
    ZLOG(LOG2_ERR, "magic 0x%x-0x%x-0x%x error\n", dgram[0], dgram[1], dgram[2]);
    return -1;
  }
  const uint8_t flags = dgram[3];
  if (flags > 15) {
    ZLOG(LOG2_ERR, "ver=%d not supportd\n", flags >> 4);
    return -1;
  }
  if (flags & BSVF_FLAG_SCRAMBLED)
    bsvf_rc4(BSVF_SCRAMBLE_KEY, sizeof BSVF_SCRAMBLE_KEY, dgram + kScrambleFrom, len - kScrambleFrom);
  if ((flags & BSVF_FLAG_CRC) && bsvf_crc8(dgram + kCrcFrom, len - 1 - kCrcFrom) != dgram[len - 1]) {
    ZLOG(LOG2_ERR, "crc check failed\n");
    return -1;
  }
  const bool big_endian = flags & BSVF_FLAG_BIG_ENDIAN;
  const size_t field = bsv_get_uint(dgram + 4, 2, big_endian);
  if (field != len) {
    ZLOG(LOG2_ERR, "len=%d dlen=%d endian=%d error: len!=dlen\n", static_cast<int>(field),
         static_cast<int>(len), big_endian ? 1 : 0);
    return -1;
  }
  return static_cast<int>(bsv_get_uint(dgram + 6, 2, big_endian));
}
