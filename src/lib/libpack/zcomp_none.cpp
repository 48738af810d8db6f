// The "none" compressor: the payload travels as it is. It keeps no state, but create returns a
// non-null token because a null state means "could not create".
#include <cstring>

#include "zcomp_codecs.h"

namespace {

char g_token;

void *none_create(void *) { return &g_token; }
void none_destroy(void *) {}

int none_copy(void *, const void *src, int src_len, void *dst, int room) {
  if (src_len < 0 || src_len > room) return -1;
  if (src_len > 0) memcpy(dst, src, size_t(src_len));
  return src_len;
}

}  // namespace

const zcomp_desc zcomp_none_desc = {"none", 0, none_create, none_destroy, none_copy, none_copy};
