// Shell variables: "NAME=value" texts, started from the process environment. They live in the
// shell only; the process environment is not changed.
#include <string>
#include <vector>

#include "pal_log.h"
#include "sh_state.h"

extern char **environ;

static const char kLogTag[] = "mish2";

namespace {

std::vector<std::string> g_vars;

std::vector<std::string>::iterator var_find(const std::string &name) {
  for (auto it = g_vars.begin(); it != g_vars.end(); ++it) {
    if (it->size() > name.size() && it->compare(0, name.size(), name) == 0 &&
        (*it)[name.size()] == '=')
      return it;
  }
  return g_vars.end();
}

}  // namespace

int init_envv() {
  g_vars.clear();
  for (char **env = environ; env && *env; ++env) {
    try {
      g_vars.emplace_back(*env);
    } catch (const std::bad_alloc &) {
      ZLOG(LOG2_ERR, "strdup error\n");
      return -1;
    }
  }
  return 0;
}

void sh_vars_free() { std::vector<std::string>().swap(g_vars); }

void sh_var_set(const std::string &name, const std::string &value) {
  auto it = var_find(name);
  if (it != g_vars.end()) {
    *it = name + "=" + value;
  } else {
    g_vars.push_back(name + "=" + value);
  }
}

bool sh_var_unset(const std::string &name) {
  auto it = var_find(name);
  if (it == g_vars.end()) return false;
  g_vars.erase(it);
  return true;
}

const std::vector<std::string> &sh_vars() { return g_vars; }
