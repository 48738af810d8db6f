// A VFS driver for "fake://" URLs whose answers the tests set: activity time, broken flag,
// probe results and counts, a failure code for path operations, a directory of numbered
// entries, and a file whose writes fail. One mount at a time.
#pragma once

#include "vfs.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct fake_state {
  std::atomic<uint64_t> active_time{0};
  std::atomic<uint32_t> need_exit{0};
  std::atomic<int> probes{0};
  std::atomic<int> probe_result{0};
  uint32_t readonly = 0;
  verrno fail_code = 0;         // path operations and writes fail with it when non-zero
  bool fail_without_code = false;  // fail, but leave the error record's code at 0
  int entries = 0;              // directory "/dir" holds entries "e0".."e<n-1>"
  std::vector<int64_t> seeks;   // positions asked for by seekdir
  std::vector<uint32_t> codes;  // ioctl codes in call order
  uint32_t last_open_flags = 0;
  uint32_t last_readlink_size = 0;
  int closes = 0;
  int writes = 0;  // driver writes that succeeded
  verr_info *err = nullptr;
};

fake_state &fake();
void fake_reset();
// Registers the driver once, resets the state and mounts "fake://host/share"; null on failure.
VfsMount *fake_mount_new();
