// The log file sink: one text file, re-created when deleted, retried once after a write error
// and trimmed in place to its newest half (at a line boundary) when it reaches its maximum size.
// A name ending in ".pcap" makes it a capture file of log records instead, which takes no text.
// Not thread-safe: the context lock guards every call.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "bsvf.h"
#include "log2.h"

class log_file_writer {
 public:
  log_file_writer() = default;
  log_file_writer(const log_file_writer &) = delete;
  log_file_writer &operator=(const log_file_writer &) = delete;
  ~log_file_writer() { close(); }

  // Opens name (joined to the directory unless absolute); 0 or -1 (traced).
  int open(const char *name);
  // Sets the directory for relative names, creating it when missing; 0, or -1 when too long.
  int set_dir(const char *dir);
  void set_max_size(long size) { max_size_ = size < LOG2_FILE_SIZE_MIN ? LOG2_FILE_SIZE_MIN : size; }
  long max_size() const { return max_size_; }
  // Only "a" and "w" are taken; anything else is traced and ignored.
  void set_mode(const char *mode);
  // Writes the dated prefix and func_line; 0, or -1 (then no stream until the next open).
  // A capture file takes records only (see capture()), so lines are skipped.
  int write(int level, const char *tag, const char *func_line, size_t len);
  // The open capture file, shared so that a record can be written outside the context lock
  // while another thread closes the writer; empty for a text file.
  std::shared_ptr<bsvf_pcap> capture() const { return capture_; }
  void close();
  const std::string &path() const { return path_; }

 private:
  bool reopen(const char *mode);
  bool write_parts(const char *prefix, const char *func_line, size_t len);
  void trim_when_full();

  std::string dir_;
  std::string path_;  // full path of the open (or last opened) file
  const char *mode_ = "w";
  long max_size_ = LOG2_FILE_SIZE_DEFAULT;
  FILE *stream_ = nullptr;
  std::shared_ptr<bsvf_pcap> capture_;
};

// A name counts as absolute when it begins with "~", "/", "\" or a drive letter and ":", or
// names a URL ("://") or a network share (":\\").
bool log_path_is_absolute(const char *name);
