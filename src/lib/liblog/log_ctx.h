// The log context record shared by the core, the commands and the configuration reader.
// Level and tag mask are read on every call without the lock; everything a sink touches is
// guarded by `lock`.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "log2.h"
#include "log_file.h"
#include "log_last_lines.h"
#include "log_syslog.h"

struct log2_ctx {
  std::atomic<uint32_t> flags{LOG2_DEFAULT_FLAGS};
  std::atomic<int> level{LOG2_DEFAULT_LEVEL};

  std::mutex lock;
  bool console_on = true;   // guarded by lock
  bool file_on = false;     // guarded by lock
  bool syslog_on = false;   // guarded by lock
  log2_line_hook hook_low = nullptr;   // levels below 5; guarded by lock
  log2_line_hook hook_high = nullptr;  // levels 5 and above; guarded by lock
  log_last_lines last_lines;           // guarded by lock
  log_file_writer file;                // guarded by lock
  log_syslog_client syslog;            // guarded by lock
  bool opened_collector = false;       // command 23 succeeded here; guarded by lock
};

// The process's default context, created on first use and never destroyed (threads may log
// until the very end, including from exit handlers).
log2_ctx *log_default_ctx();
inline log2_ctx *log_ctx_or_default(log2_ctx *ctx) { return ctx ? ctx : log_default_ctx(); }
