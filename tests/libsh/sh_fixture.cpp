// The capturing context and the recording commands of sh_fixture.h.
#include "sh_fixture.h"

#include <cstdarg>
#include <cstdio>

namespace {

std::vector<std::string> g_calls;

int capture_write(void *channel, const char *text) {
  static_cast<std::string *>(channel)->append(text);
  return 0;
}

int capture_print(void *channel, const char *fmt, ...) {
  char text[SH_PRINT_SIZE];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(text, sizeof(text), fmt, ap);
  va_end(ap);
  return capture_write(channel, text);
}

int capture_end_reply(void *channel) {
  static_cast<std::string *>(channel)->push_back('\0');
  return 0;
}

int record(int argc, char **argv) {
  std::string call;
  for (int i = 0; i < argc; ++i) call += (i ? "|" : "") + std::string(argv[i]);
  g_calls.push_back(call);
  return 0;
}

int cmd_rec(sh_ctx *, int argc, char **argv) { return record(argc, argv); }
int cmd_fail(sh_ctx *, int argc, char **argv) {
  record(argc, argv);
  return -5;
}

const sh_cmd kTestCmds[] = {
    {"rec", cmd_rec, "Record the call"},
    {"fail", cmd_fail, "Record the call and fail"},
};

}  // namespace

void ShellTest::SetUp() {
  ASSERT_EQ(libsh_init(), 0);
  libsh_set_app_cmds(kTestCmds, 2);
  ctx_ = sh_ctx{};
  ctx_.channel = &out_;
  ctx_.print = capture_print;
  ctx_.write = capture_write;
  ctx_.end_reply = capture_end_reply;
}

void ShellTest::TearDown() {
  libsh_set_app_cmds(nullptr, 0);
  libsh_set_exit_hook(nullptr);
  libsh_exit();
}

std::string ShellTest::run(const std::string &line) {
  out_.clear();
  g_calls.clear();
  result_ = exec_commands(&ctx_, line.c_str());
  return out_;
}

const std::vector<std::string> &ShellTest::calls() const { return g_calls; }

std::string show_nul(const std::string &text) {
  std::string shown;
  for (char c : text) {
    if (c == '\0') {
      shown += "<0>";
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}
