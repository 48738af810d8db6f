// For fuzz targets of parsers that read a named file: a private temporary folder that lives for
// the whole run, and a file in it rewritten with each input. In memory (/dev/shm) where there is
// one, so that a run measures the parser and not the disk; else TMPDIR or /tmp.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

inline const std::string &temp_dir() {
  static const std::string dir = [] {
    const char *base = getenv("TMPDIR");
    if (access("/dev/shm", W_OK) == 0) base = "/dev/shm";
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zm-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) abort();
    return pattern;
  }();
  return dir;
}

inline void write_file(const std::string &path, const uint8_t *data, size_t size) {
  FILE *f = fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, f) != size) abort();
  if (fclose(f) != 0) abort();
}

}  // namespace fuzz
