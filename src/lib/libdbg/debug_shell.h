// The debug shell server: reads command lines from a channel, hands each to the shell library's
// executor and writes the output back with "\r\n" line ends and a NUL after every reply.
// This program serves standard input and output (STDIO); a context can also be set up on a
// connected socket (NET), whose listening side lies outside this program.
#pragma once

#include <cstddef>
#include <cstdint>

#include "libsh.h"
#include "net.h"

inline constexpr size_t DBGSH_PROMPT_SIZE = 32;  // at most 31 characters
inline constexpr int DBG_CHANNEL_TIMEOUT_MS = 1000;

struct debug_shell_param {
  const char *prompt;  // null: ">"
};

// Sets the prompt (cut to 31 characters). 0.
int debug_shell_init(const debug_shell_param *param);
// The prompt that STDIO loops print before every line.
const char *debug_shell_prompt();

// Fills ctx and the channel for mode (channel type 2 for STDIO, 0 for NET, 3 for PIPE; time-out
// 1000 ms; handle as given). STDIO prints the "Type `help`" hint after 300 ms.
// 0, or -1 for an unknown mode.
int dbgsh_srv_ctx_init(sh_ctx *ctx, net_sock *channel, uint32_t mode, uint32_t handle);
// Serves lines until the input ends, a read fails or exit/quit ran; 0.
int dbgsh_srv_imp(sh_ctx *ctx);
// The STDIO loop on the calling thread; 0.
int debug_shell_stdio_loop();

// The output path: "\n" becomes "\r\n", trailing blanks of a reply without a final line feed
// are dropped. The count written, or -1.
int dbgout_write_imp(void *channel, const char *text);
