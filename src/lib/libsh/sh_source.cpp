// `source`: runs the lines of files through the executor. Blank lines are skipped, since the
// executor would take them for "repeat the last line"; nesting is bounded so that a file that
// sources itself ends with an error instead of exhausting the stack.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "sh_builtins.h"
#include "sh_text.h"

namespace {

constexpr int kMaxDepth = 8;
int g_depth = 0;  // files being sourced right now (loop thread only)

struct file_closer {
  void operator()(FILE *f) const { fclose(f); }
};

int source_file(sh_ctx *ctx, const char *name) {
  std::unique_ptr<FILE, file_closer> file(fopen(name, "r"));
  if (!file) {
    ctx->print(ctx->channel, "open:[%s] error:%s\n", name, strerror(errno));
    return -1;
  }
  char *raw = nullptr;
  size_t cap = 0;
  ssize_t len;
  while (!ctx->exit_flag && (len = getline(&raw, &cap, file.get())) >= 0) {
    std::string line(raw, static_cast<size_t>(len));
    if (line.size() >= SH_LINE_SIZE) line.resize(SH_LINE_SIZE - 1);
    if (sh_text::trim(line).empty()) continue;
    // A failing line has shown its error; the file goes on, as a typed script would.
    exec_commands(ctx, line.c_str());
  }
  free(raw);
  return 0;
}

}  // namespace

int cmd_source(sh_ctx *ctx, int argc, char **argv) {
  bool usage = sh_getopt(ctx, argc, argv, "h") != -1;
  int first = ctx->opt.optind;
  if (usage || first >= argc) {
    ctx->print(ctx->channel, "source [opt] [file]...\n%s\n-h: Display this help\n",
               libsh_cmd_help(argv[0]));
    return usage ? 0 : SH_RES_USAGE;
  }
  if (g_depth >= kMaxDepth) {
    ctx->print(ctx->channel, "source: [%s] nested too deep\n", argv[first]);
    return -1;
  }
  ++g_depth;
  int result = 0;
  for (int i = first; i < argc && result >= 0 && !ctx->exit_flag; ++i) {
    result = source_file(ctx, argv[i]);
  }
  --g_depth;
  return result;
}
