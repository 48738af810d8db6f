// Shared helpers of the log tests.
#include "log_test_util.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "pal_env.h"

log_ctx_ptr quiet_ctx(const char *tags) {
  log_ctx_ptr ctx(log2_create());
  if (log2_ioctl(ctx.get(), LOG2_IOCTL_CONSOLE_ON, log2_arg(0), 0) != 0 ||
      log2_ioctl(ctx.get(), LOG2_IOCTL_SET_FLAGS_TEXT, const_cast<char *>(tags), 0) != 0)
    throw std::runtime_error("quiet_ctx");
  return ctx;
}

std::string last_lines(log2_ctx *ctx) {
  char *text = log2_last_lines_dup(ctx);
  std::string copy = text ? text : "";
  os_free(text);
  return copy;
}

temp_dir::temp_dir() {
  std::string pattern = std::string(ZM_TEST_BINARY_DIR) + "/log_test_XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("write_file " + path);
}
