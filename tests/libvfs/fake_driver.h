// A counting in-memory driver for the VFS tests: registered once through the real driver table,
// it claims "fake://" URLs, keeps files as byte vectors and logs every driver call, so tests see
// exactly which calls the caches and the core made. Failures and short transfers are switchable.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vfs.h"

struct FakeCall {
  std::string op;  // "read", "write", "close", "fsync", ...
  uint32_t size;
  int64_t offset;
};

struct FakeState {
  std::map<std::string, std::vector<uint8_t>> files;
  std::vector<FakeCall> calls;
  int open_handles = 0;
  VfsTimes last_times{};     // block of the last utime/lutime call
  int write_fail_code = 0;   // non-zero: writes fail with this status code
  int write_fail_after = 0;  // writes that still succeed before the failures start
  uint32_t write_max = 0;    // non-zero: a write takes at most this many bytes
  uint32_t read_max = 0;     // non-zero: a read returns at most this many bytes
  bool read_fails = false;
  bool write_zero = false;  // writes take no byte and report no error

  size_t count(const std::string &op) const;
  std::vector<FakeCall> only(const std::string &op) const;
  void reset();
};

FakeState &fake_state();
// The driver record (writable, so a test can empty a slot for a while).
VfsDriver &fake_driver();
// Registers the fake once per process; true when it is available.
bool fake_register();
