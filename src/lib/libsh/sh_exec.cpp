// The executor: one command line becomes ";" pieces, each piece has its first word expanded by
// one alias, then either sets a shell variable or runs a command. An empty line runs the last
// line again; every command run is followed by the context's end of reply.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pal_log.h"
#include "sh_state.h"
#include "sh_text.h"

static const char kLogTag[] = "mish2";

namespace {

// The last non-empty line that split into pieces; written by the loop's thread only.
char g_last_line[SH_LINE_SIZE];

std::string_view cut(std::string_view text, size_t size) {
  return text.size() < size ? text : text.substr(0, size - 1);
}

// One level: the value of an alias replaces the first word; the value is not looked up again.
std::string expand_alias(std::string_view piece) {
  sh_text::first_word fw = sh_text::split_first_word(piece);
  if (fw.word.size() >= SH_WORD_SIZE) return std::string(piece);
  const char *value = alias_get(std::string(fw.word).c_str());
  if (value == nullptr) return std::string(piece);
  std::string expanded = std::string(value) + std::string(fw.rest);
  return std::string(cut(expanded, SH_LINE_SIZE));
}

// NAME=value with a name free of blanks and tabs, both parts non-empty and short, one "=".
bool assign_variable(const std::string &piece) {
  size_t eq = piece.find('=');
  if (eq == std::string::npos || eq == 0 || eq + 1 == piece.size()) return false;
  if (piece.find('=', eq + 1) != std::string::npos) return false;
  std::string name = piece.substr(0, eq);
  std::string value = piece.substr(eq + 1);
  if (name.find_first_of(" \t") != std::string::npos) return false;
  if (name.size() >= SH_WORD_SIZE || value.size() >= SH_WORD_SIZE) return false;
  sh_var_set(name, value);
  return true;
}

int not_found(sh_ctx *ctx, const std::string &name) {
  ctx->print(ctx->channel, "command not found: [%s]\n", name.c_str());
  ctx->print(ctx->channel, "Type `help` to learn how to use prompt\n");
  sh_last_line_clear();
  return SH_RES_NOT_FOUND;
}

int run_piece(sh_ctx *ctx, std::vector<std::string> &words) {
  const sh_cmd *cmd = sh_find_cmd(words[0].c_str());
  if (cmd == nullptr) return not_found(ctx, words[0]);
  return sh_run_cmd(ctx, *cmd, words);
}

}  // namespace

void sh_last_line_clear() { g_last_line[0] = '\0'; }

int exec_commands(sh_ctx *ctx, const char *line) {
  std::string text(sh_text::trim(cut(line ? line : "", SH_LINE_SIZE)));
  if (text.empty()) {
    if (g_last_line[0] == '\0') {
      ctx->end_reply(ctx->channel);
      return 0;
    }
    text = g_last_line;
  }
  std::vector<std::string> pieces;
  if (!sh_text::split_pieces(text, pieces)) {
    sh_last_line_clear();
    return -1;
  }
  memcpy(g_last_line, text.c_str(), text.size() + 1);

  int result = 0;
  for (const std::string &raw : pieces) {
    std::string_view piece = sh_text::trim(raw);
    if (piece.empty() || piece[0] == '#') continue;
    std::string expanded = expand_alias(piece);
    if (assign_variable(expanded)) continue;
    std::vector<std::string> words = sh_text::split_words(expanded);
    if (words.empty()) continue;
    ZLOG(LOG2_VERB, "cmd=[%s] func=[%s]\n", expanded.c_str(), words[0].c_str());
    result = run_piece(ctx, words);
    ctx->end_reply(ctx->channel);
    if (result < 0) break;
  }
  return result;
}

int sh_run_cmd(sh_ctx *ctx, const sh_cmd &cmd, std::vector<std::string> &words) {
  std::vector<char *> argv;
  argv.reserve(words.size() + 1);
  for (std::string &w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  ctx->opt = sh_opt_state{};
  return cmd.handler(ctx, static_cast<int>(words.size()), argv.data());
}
