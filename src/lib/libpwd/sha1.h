// SHA-1 (FIPS 180) for the login transforms. Streaming: init, any number of updates, final.
// Assumes nothing about the host's byte order or alignment; the context is wiped by final.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t SHA1_DIGEST_SIZE = 20;

struct sha1_ctx {
  uint32_t state[5];
  uint64_t total_bytes;
  uint8_t block[64];
  size_t block_fill;
};

void sha1_init(sha1_ctx *ctx);
void sha1_update(sha1_ctx *ctx, const void *data, size_t len);
// Writes the 20 digest bytes and wipes the context so that no trace of the input stays behind.
void sha1_final(sha1_ctx *ctx, uint8_t digest[SHA1_DIGEST_SIZE]);
