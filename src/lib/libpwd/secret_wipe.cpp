// Secret wiping through a volatile pointer: the stores are observable, so they stay in the
// program even when the memory is freed right after.
#include "secret_wipe.h"

void secret_wipe(void *p, size_t n) {
  volatile unsigned char *q = static_cast<volatile unsigned char *>(p);
  while (n-- > 0) *q++ = 0;
}
