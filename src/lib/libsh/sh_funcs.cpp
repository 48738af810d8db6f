// The library's own `call` functions: end the process, provoke a fatal signal, and write one
// line at every log level. Each answers with its end of reply before acting, since the first
// two never return to the shell.
#include <cstdint>
#include <cstdlib>

#include "pal_log.h"
#include "sh_state.h"

static const char kLogTag[] = "mish2";

namespace {

// Read through a volatile word, so the compiler cannot see the null pointer and turn the
// access into a trap instruction: the kernel must deliver a real SIGSEGV.
volatile uintptr_t g_null_address = 0;

int fvar_kill_func(sh_ctx *ctx, int, char **) {
  ZLOG(LOG2_WARN, "user req exit!!\n");
  ctx->end_reply(ctx->channel);
  exit(0);
}

int fvar_null_func(sh_ctx *ctx, int, char **) {
  ZLOG(LOG2_WARN, "user req null=0 !!\n");
  ctx->end_reply(ctx->channel);
  *reinterpret_cast<volatile int *>(g_null_address) = 0;
  return 0;
}

// The critical line does not end the process: this is a test of the sinks, not a failure.
int fvar_tlog_func(sh_ctx *ctx, int, char **) {
  ZLOG(LOG2_VERB, "log_verb\n");
  ZLOG(LOG2_DBG, "log_debug\n");
  ZLOG(LOG2_INFO, "log_info\n");
  ZLOG(LOG2_NOTI, "log_notice\n");
  ZLOG(LOG2_WARN, "log_warn\n");
  ZLOG(LOG2_ERR, "log_error\n");
  ZLOG(LOG2_CRIT | LOG2_NOEXIT, "log_crit2\n");
  ctx->end_reply(ctx->channel);
  return 0;
}

}  // namespace

int sh_funcs_register() {
  int failed = 0;
  failed |= fvar_mgr_add("kill", "Execute exit() to exit the process", fvar_kill_func);
  failed |= fvar_mgr_add("null", "null memory access exception", fvar_null_func);
  failed |= fvar_mgr_add("tlog", "Test All log level output", fvar_tlog_func);
  return failed ? -1 : 0;
}
