// Compressors for the BINARY payloads of remote-service messages, chosen per session by name.
// The compressed form has no header: the receiver's room bounds decompression, and a block that
// would not fit fails without writing beyond the room.
#pragma once

#include <cstdint>

// One compressor. compress and decompress return the output length, or a negative value.
struct zcomp_desc {
  const char *name;
  uint32_t id;
  void *(*create)(void *arg);
  void (*destroy)(void *state);
  int (*compress)(void *state, const void *src, int src_len, void *dst, int room);
  int (*decompress)(void *state, const void *src, int src_len, void *dst, int room);
};

// A compressor with its state, made by zcomp_find / zcomp_find_id, released by zcomp_free.
struct zcomp {
  const zcomp_desc *desc;
  void *state;
};

inline constexpr int SDCOMP_NAME_SIZE = 16;  // up to 15 characters and a NUL

// The compression context of one session. Empty (all zero) until sdcomp_init succeeds.
struct sdcomp_ctx {
  zcomp *comp;
  char name[SDCOMP_NAME_SIZE];
  uint32_t id;
};

// The first compressor whose name equals name exactly, or the one with that id; nullptr when
// none matches or its state cannot be created. arg is passed to create.
[[nodiscard]] zcomp *zcomp_find(const char *name, void *arg);
[[nodiscard]] zcomp *zcomp_find_id(uint32_t id, void *arg);
void zcomp_free(zcomp *comp);

// Rebuilds the context's compressor from its name, or from its id when the name is empty.
[[nodiscard]] int sdcomp_init(sdcomp_ctx *ctx);
// -1 without a compressor, else the compressor's result.
[[nodiscard]] int sdcomp_pack(sdcomp_ctx *ctx, const void *src, int len, void *dst, int room);
[[nodiscard]] int sdcomp_unpack(sdcomp_ctx *ctx, const void *src, int len, void *dst, int room);
void sdcomp_free(sdcomp_ctx *ctx);

inline constexpr int SDCOMP_INPUT_MAX = 0x7e000000;
// Room that compressing n bytes may need; 0 when n is negative or above SDCOMP_INPUT_MAX.
[[nodiscard]] int sdcomp_bound(int n);
