// Argument translation of mount.zmue: mount(8) options become zmue's -r options query, words
// that only mean something to mount(8) or fstab are dropped, and a few helper words select
// zmue's own options. Assumes options arrive as one comma-separated text per -o.
#include "helper_args.h"

#include <cstdlib>
#include <cstring>

const char kHelperUsage[] =
    "Usage: mount.zmue URL DIR [-sfnvh] [-o options]\n"
    "\toptions: FUSE and mount options for zmue (rw, ro, allow_other, noexec, ...),\n"
    "\tdebug, conf=FILE, log=FILE, loglevel=LEVEL, mount_timeout=SECONDS;\n"
    "\tdefaults, auto, noauto, user, users, nouser, owner, group, _netdev, nofail,\n"
    "\tcomment=... and x-... are for mount(8) and fstab and are dropped\n";

namespace {

// Words that steer mount(8) and the boot-time mounting, never the file system itself.
bool for_mount_only(const std::string &word) {
  static const char *const kWords[] = {"defaults", "auto", "noauto", "user",   "users",
                                       "nouser",   "owner", "group", "_netdev", "nofail"};
  for (const char *w : kWords) {
    if (word == w) return true;
  }
  return word.rfind("x-", 0) == 0 || word.rfind("comment=", 0) == 0;
}

std::vector<std::string> split_commas(const std::string &text) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find(',', at);
    if (end == std::string::npos) end = text.size();
    if (end > at) words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

// The value of "key=value" when word starts with key and "=", else nullptr.
const char *value_of(const std::string &word, const char *key) {
  const size_t n = strlen(key);
  return word.compare(0, n, key) == 0 && word.size() > n && word[n] == '='
             ? word.c_str() + n + 1
             : nullptr;
}

struct translation {
  std::vector<std::string> fuse_options;
  std::vector<std::string> program_args;
  bool debug = false;
  bool has_access_mode = false;
};

std::string translate_word(const std::string &word, translation *t, helper_request *out) {
  if (for_mount_only(word)) return "";
  // The options travel inside a URL query, where these characters end the value.
  if (word.find_first_of("&#?") != std::string::npos) return "option [" + word + "] not usable";
  if (word == "debug") {
    t->debug = true;
    return "";
  }
  static const struct {
    const char *key;
    const char *flag;
  } kProgramOptions[] = {{"conf", "-c"}, {"log", "-o"}, {"loglevel", "-l"}};
  for (const auto &o : kProgramOptions) {
    if (const char *v = value_of(word, o.key)) {
      if (*v == '\0') return "option [" + word + "] needs a value";
      t->program_args.insert(t->program_args.end(), {o.flag, v});
      return "";
    }
  }
  if (const char *v = value_of(word, "mount_timeout")) {
    char *end = nullptr;
    long seconds = strtol(v, &end, 10);
    if (*v == '\0' || *end != '\0' || seconds < 1 || seconds > 3600) {
      return "option [" + word + "] needs 1 to 3600 seconds";
    }
    out->timeout_s = static_cast<int>(seconds);
    return "";
  }
  if (word == "rw" || word == "ro") t->has_access_mode = true;
  t->fuse_options.push_back(word);
  return "";
}

}  // namespace

std::string helper_parse(int argc, char *const argv[], helper_request *out) {
  *out = helper_request{};
  translation t;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    for (size_t k = 1; k < arg.size(); ++k) {
      const char letter = arg[k];
      if (letter == 'o' || letter == 't' || letter == 'N') {
        // The value is the rest of this word or the next argument.
        std::string value = k + 1 < arg.size() ? arg.substr(k + 1) : "";
        if (value.empty()) {
          if (i + 1 >= argc) return std::string("option -") + letter + " needs a value";
          value = argv[++i];
        }
        if (letter == 'N') return "mount namespaces (-N) are not supported";
        if (letter == 'o') {
          for (const std::string &word : split_commas(value)) {
            std::string why = translate_word(word, &t, out);
            if (!why.empty()) return why;
          }
        }
        break;
      }
      switch (letter) {
        case 'f':
          out->fake = true;
          break;
        case 'v':
          out->verbose = true;
          break;
        case 's':  // sloppy: unknown options are passed on anyway
        case 'n':  // zmue records the mount in the mount table itself
          break;
        default:
          return std::string("unknown option -") + letter;
      }
    }
  }
  if (positional.size() != 2) return "need a URL and a mount directory";
  out->url = positional[0];
  out->dir = positional[1];
  // mount(8) mounts read-write unless told otherwise; zmue by itself would mount read-only.
  if (!t.has_access_mode) t.fuse_options.insert(t.fuse_options.begin(), "rw");
  std::string query = "options=";
  for (size_t i = 0; i < t.fuse_options.size(); ++i) {
    query += (i ? "," : "") + t.fuse_options[i];
  }
  if (t.debug) query += "&debug=1";
  out->zmue_args = {"-q", "-d"};
  out->zmue_args.insert(out->zmue_args.end(), t.program_args.begin(), t.program_args.end());
  out->zmue_args.insert(out->zmue_args.end(), {"-u", out->url, "-m", out->dir, "-r", query});
  return "";
}
