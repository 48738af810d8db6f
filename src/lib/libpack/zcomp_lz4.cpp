// The "lz4" compressor: one LZ4 block per payload, no frame. The stream state is made once per
// context and reused as the external state of every block; acceleration 17 favours speed.
#include <lz4.h>

#include "zcomp_codecs.h"

namespace {

constexpr int kAcceleration = 17;

void *lz4_create(void *) { return LZ4_createStream(); }
void lz4_destroy(void *state) { LZ4_freeStream(static_cast<LZ4_stream_t *>(state)); }

int lz4_compress(void *state, const void *src, int src_len, void *dst, int room) {
  if (src_len < 0 || room < 0) return -1;
  const int n = LZ4_compress_fast_extState(state, static_cast<const char *>(src),
                                           static_cast<char *>(dst), src_len, room, kAcceleration);
  return n > 0 ? n : -1;
}

int lz4_decompress(void *, const void *src, int src_len, void *dst, int room) {
  if (src_len < 0 || room < 0) return -1;
  const int n =
      LZ4_decompress_safe(static_cast<const char *>(src), static_cast<char *>(dst), src_len, room);
  return n >= 0 ? n : -1;
}

}  // namespace

const zcomp_desc zcomp_lz4_desc = {"lz4", 1, lz4_create, lz4_destroy, lz4_compress, lz4_decompress};
