// Fuzz target: directory listing lines of the zmp client, in both formats (the first input byte
// chooses the extended one of newer servers). The rest is one unpacked chunk of listing text, as
// the directory handle holds it; entries are read until the chunk is used up.
#include "fuzz_common.h"
#include "sd_handles.h"
#include "sd_session.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  static zmsd_session session;
  session.flag_a = data[0] & 1;
  session.rdir_size = int32_t(size);
  zmsd_dir dir;
  dir.head.session = &session;
  // Exactly the handle's buffer: the chunk and its terminating NUL.
  dir.listing.assign(data + 1, data + size);
  dir.listing.push_back('\0');
  dir.pos = 0;
  // Stop before a fetch of the next chunk: there is no link behind this session.
  for (uint64_t n = 0; n <= size && dir.pos != -1; ++n) {
    const zmsd_dirent *e = zmsd_cli_readdir(&dir);
    if (!e) break;
    if (memchr(e->name, '\0', sizeof e->name) == nullptr) abort();
    if (memchr(e->text, '\0', sizeof e->text) == nullptr) abort();
  }
  return 0;
}
