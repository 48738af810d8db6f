// The server loop: prompt, one line, the executor, until the input ends or exit/quit ran.
// A loop owns its context and channel and runs in the thread that called it; commands run
// there one at a time (a `mount` blocks the loop for the life of the mount).
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "dbg_output.h"
#include "debug_shell.h"
#include "pal_log.h"

static const char kLogTag[] = "dbg";

namespace {

// Set once at start-up, before any loop runs.
char g_prompt[DBGSH_PROMPT_SIZE] = ">";

constexpr char kHint[] = "\nType `help` to learn how to use prompt\n";

std::string_view trim(std::string_view text) {
  constexpr std::string_view blanks = " \t\n\v\f\r";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// One line into out: from standard input in STDIO mode (at most size - 1 characters; the rest of
// a longer line is dropped rather than run as a line of its own), else from the channel. The
// length, 0 when nothing came, -1 at the end of input or on failure.
int read_line(sh_ctx *ctx, char *out, int size) {
  if (ctx->mode != SH_MODE_STDIO) {
    return net_read_line(static_cast<net_sock *>(ctx->channel), out, size - 1);
  }
  if (fgets(out, size, stdin) == nullptr) return -1;
  size_t len = strlen(out);
  if (len == static_cast<size_t>(size) - 1 && out[len - 1] != '\n') {
    for (int c = getc(stdin); c != EOF && c != '\n'; c = getc(stdin)) {
    }
  }
  return static_cast<int>(len);
}

const char *mode_name(uint32_t mode) {
  if (mode == SH_MODE_NET) return "NET_MODE";
  if (mode == SH_MODE_PIPE) return "PIPE_MODE";
  return "STDIO_MODE";
}

}  // namespace

int debug_shell_init(const debug_shell_param *param) {
  const char *prompt = ">";
  if (param == nullptr) {
    ZLOG(LOG2_ERR, "expr[%s]: assert failed\n", "param!=NULL");
  } else if (param->prompt != nullptr) {
    prompt = param->prompt;
  }
  snprintf(g_prompt, sizeof(g_prompt), "%s", prompt);
  return 0;
}

const char *debug_shell_prompt() { return g_prompt; }

int dbgsh_srv_ctx_init(sh_ctx *ctx, net_sock *channel, uint32_t mode, uint32_t handle) {
  uint32_t type;
  if (mode == SH_MODE_STDIO) {
    type = NET_SOCK_STDIO;
  } else if (mode == SH_MODE_NET) {
    type = NET_SOCK_SOCKET;
  } else if (mode == SH_MODE_PIPE) {
    type = NET_SOCK_PIPE;
  } else {
    ZLOG(LOG2_ERR, "mode=%d invalid\n", static_cast<int>(mode));
    return -1;
  }
  *ctx = sh_ctx{};
  ctx->mode = mode;
  ctx->channel = channel;
  ctx->print = dbgout_print;
  ctx->write = dbgout_write_imp;
  ctx->end_reply = dbgout_end_reply;
  channel->type = type;
  channel->timeout = DBG_CHANNEL_TIMEOUT_MS;
  channel->handle = handle;
  if (mode == SH_MODE_STDIO) {
    usleep(300 * 1000);
    if (fputs(kHint, stdout) < 0 || fflush(stdout) != 0) ZLOG(LOG2_DBG | LOG2_ERRNO, "hint: ");
  }
  return 0;
}

int dbgsh_srv_imp(sh_ctx *ctx) {
  net_sock *channel = static_cast<net_sock *>(ctx->channel);
  ZLOG(LOG2_VERB, "%s ==>\n", mode_name(ctx->mode));
  for (;;) {
    if (ctx->mode == SH_MODE_STDIO) ctx->print(channel, "%s", g_prompt);
    char line[SH_LINE_SIZE] = {};
    int len = read_line(ctx, line, sizeof(line));
    ZLOG(LOG2_VERB, "ret=%d cmd=[%s]\n", len, line);
    if (len < 0) {
      ZLOG(LOG2_VERB, "gets return failed break\n");
      net_close(channel);
      return 0;
    }
    if (len == 0) continue;
    exec_commands(ctx, std::string(trim(line)).c_str());
    if (ctx->exit_flag) {
      ZLOG(LOG2_VERB, "ctx.exit_flag break\n");
      net_close(channel);
      return 0;
    }
  }
}

int debug_shell_stdio_loop() {
  sh_ctx ctx;
  net_sock channel;
  int res = dbgsh_srv_ctx_init(&ctx, &channel, SH_MODE_STDIO, 0);
  if (res == 0) res = dbgsh_srv_imp(&ctx);
  ZLOG(LOG2_DBG, "<==\n");
  return res;
}
