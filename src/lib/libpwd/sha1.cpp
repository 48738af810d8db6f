// SHA-1 compression function and padding. Words are read from and written to the byte stream
// most significant byte first, byte by byte, so the code is the same on every host.
#include "sha1.h"

#include <cstring>

#include "secret_wipe.h"

namespace {

uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void sha1_block(uint32_t state[5], const uint8_t *p) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i)
    w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 |
           uint32_t(p[4 * i + 3]);
  for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5a827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ed9eba1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8f1bbcdc;
    } else {
      f = b ^ c ^ d;
      k = 0xca62c1d6;
    }
    const uint32_t t = rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = rotl(b, 30);
    b = a;
    a = t;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  secret_wipe(w, sizeof w);
}

}  // namespace

void sha1_init(sha1_ctx *ctx) {
  ctx->state[0] = 0x67452301;
  ctx->state[1] = 0xefcdab89;
  ctx->state[2] = 0x98badcfe;
  ctx->state[3] = 0x10325476;
  ctx->state[4] = 0xc3d2e1f0;
  ctx->total_bytes = 0;
  ctx->block_fill = 0;
}

void sha1_update(sha1_ctx *ctx, const void *data, size_t len) {
  const uint8_t *p = static_cast<const uint8_t *>(data);
  ctx->total_bytes += len;
  while (len > 0) {
    const size_t take = len < 64 - ctx->block_fill ? len : 64 - ctx->block_fill;
    memcpy(ctx->block + ctx->block_fill, p, take);
    ctx->block_fill += take;
    p += take;
    len -= take;
    if (ctx->block_fill == 64) {
      sha1_block(ctx->state, ctx->block);
      ctx->block_fill = 0;
    }
  }
}

void sha1_final(sha1_ctx *ctx, uint8_t digest[SHA1_DIGEST_SIZE]) {
  const uint64_t bits = ctx->total_bytes * 8;
  ctx->block[ctx->block_fill++] = 0x80;
  if (ctx->block_fill > 56) {
    memset(ctx->block + ctx->block_fill, 0, 64 - ctx->block_fill);
    sha1_block(ctx->state, ctx->block);
    ctx->block_fill = 0;
  }
  memset(ctx->block + ctx->block_fill, 0, 56 - ctx->block_fill);
  for (int i = 0; i < 8; ++i) ctx->block[56 + i] = uint8_t(bits >> (56 - 8 * i));
  sha1_block(ctx->state, ctx->block);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = uint8_t(ctx->state[i] >> (24 - 8 * j));
  secret_wipe(ctx, sizeof *ctx);
}
