// The per-context option parser of the shell commands: single-letter flags grouped after one
// "-", ending at the first other word or at "--". State lives in the context, so commands of
// different shell loops never share it.
#include <cstring>

#include "libsh.h"

int sh_getopt(sh_ctx *ctx, int argc, char **argv, const char *optstring) {
  sh_opt_state &st = ctx->opt;
  if (st.sp == 1) {
    if (st.optind >= argc || argv[st.optind][0] != '-' || argv[st.optind][1] == '\0') return -1;
    if (strcmp(argv[st.optind], "--") == 0) {
      ++st.optind;
      return -1;
    }
  }
  char letter = argv[st.optind][st.sp];
  st.optopt = letter;
  if (argv[st.optind][++st.sp] == '\0') {
    ++st.optind;
    st.sp = 1;
  }
  if (letter == ':' || strchr(optstring, letter) == nullptr) return '?';
  return letter;
}
