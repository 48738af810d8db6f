// Fuzz target: MLSD and MLST listing lines ("fact=value;...; name") and the "modify" time, one
// line per input line, each in an exact-size copy so that a read past its end shows.
#include <cstring>
#include <string>

#include "ftp/ftp_ctx.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *p = reinterpret_cast<const char *>(data);
  const char *end = p + size;
  while (p < end) {
    const char *nl = static_cast<const char *>(memchr(p, '\n', size_t(end - p)));
    const char *stop = nl ? nl : end;
    if (stop - p < FTP_LINE_SIZE) {
      const std::string line(p, size_t(stop - p));
      char *copy = new char[line.size() + 1];
      memcpy(copy, line.c_str(), line.size() + 1);
      VfsDirEntry entry{};
      if (ftp_parse_facts(copy, &entry)) {
        if (memchr(entry.name, '\0', sizeof entry.name) == nullptr) abort();
        if (memchr(entry.link, '\0', sizeof entry.link) == nullptr) abort();
      }
      VfsTime when{};
      (void)ftp_parse_time(copy, &when);
      delete[] copy;
    }
    p = stop + 1;
  }
  return 0;
}
