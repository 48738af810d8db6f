// Helpers shared by the log tests: a private context that writes nowhere but its last-lines
// buffer, temporary directories, and whole-file reads.
#pragma once

#include <memory>
#include <string>

#include "log2.h"

struct log_ctx_closer {
  void operator()(log2_ctx *ctx) const { log2_exit(ctx); }
};
using log_ctx_ptr = std::unique_ptr<log2_ctx, log_ctx_closer>;

// A new context with the console off and the given tag words.
log_ctx_ptr quiet_ctx(const char *tags);
std::string last_lines(log2_ctx *ctx);

// A fresh directory under the build tree, removed with its contents on destruction.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  const std::string &path() const { return path_; }
  std::string file(const char *name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &text);
