// The registries behind `show`, `call` and `set`: named views, functions and options in the
// order of registration. They belong to the platform's dynamic-variable service, hence the tag.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pal_log.h"
#include "sh_state.h"

static const char kLogTag[] = "pal";

namespace {

std::vector<rvar_item> g_rvars;
std::vector<fvar_item> g_fvars;
std::vector<dvar_item> g_dvars;

template <typename Item>
const Item *find_item(const std::vector<Item> &items, const char *name) {
  if (name == nullptr) return nullptr;
  for (const Item &item : items) {
    if (item.name == name) return &item;
  }
  return nullptr;
}

template <typename Item>
bool name_is_free(const std::vector<Item> &items, const char *name) {
  if (find_item(items, name) == nullptr) return true;
  ZLOG(LOG2_ERR, "error: var=%s already exists\n", name);
  return false;
}

// True when value is one of the "|"-separated words of range.
bool range_has(const std::string &range, const char *value) {
  size_t start = 0;
  while (start <= range.size()) {
    size_t end = range.find('|', start);
    if (end == std::string::npos) end = range.size();
    if (range.compare(start, end - start, value) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

// Views and functions are both a name, a description and a function.
template <typename Item, typename Fn>
int add_named(std::vector<Item> &items, const char *name, const char *desc, Fn fn) {
  if (name == nullptr || fn == nullptr) {
    ZLOG(LOG2_ERR, "var=%s init error\n", name ? name : "");
    return -1;
  }
  if (!name_is_free(items, name)) return -1;
  items.push_back({name, desc ? desc : "", fn});
  return 0;
}

int rvar_mgr_add(const char *name, const char *desc, rvar_fn fn) {
  return add_named(g_rvars, name, desc, fn);
}

int fvar_mgr_add(const char *name, const char *desc, fvar_fn fn) {
  return add_named(g_fvars, name, desc, fn);
}

int dvar_mgr_add(const dvar_entry &e) {
  if (e.name == nullptr || (e.set == nullptr && (e.value == nullptr || e.value_size == 0))) {
    ZLOG(LOG2_ERR, "var=%s set error\n", e.name ? e.name : "");
    return -1;
  }
  if (!name_is_free(g_dvars, e.name)) return -1;
  g_dvars.push_back({e.name, e.type, e.range ? e.range : "", e.desc ? e.desc : "", e.set, e.get,
                     e.value, e.value_size});
  return 0;
}

void sh_registry_free() {
  std::vector<rvar_item>().swap(g_rvars);
  std::vector<fvar_item>().swap(g_fvars);
  std::vector<dvar_item>().swap(g_dvars);
}

const std::vector<rvar_item> &rvar_items() { return g_rvars; }
const std::vector<fvar_item> &fvar_items() { return g_fvars; }
const std::vector<dvar_item> &dvar_items() { return g_dvars; }
const rvar_item *rvar_find(const char *name) { return find_item(g_rvars, name); }
const fvar_item *fvar_find(const char *name) { return find_item(g_fvars, name); }
const dvar_item *dvar_find(const char *name) { return find_item(g_dvars, name); }

const char *dvar_value(const dvar_item &item) {
  if (item.get != nullptr) return item.get();
  return item.value != nullptr ? item.value : "";
}

int dvar_set_value(const dvar_item &item, const char *value, char *msg, size_t size) {
  msg[0] = '\0';
  if (item.set != nullptr) {
    if (item.set(value, msg, size) == 0) return 0;
    size_t len = strlen(msg);
    while (len > 0 && (msg[len - 1] == '\n' || msg[len - 1] == '\r')) msg[--len] = '\0';
    return -1;
  }
  if (item.type == DVAR_TYPE_ENUM && !range_has(item.range, value)) {
    snprintf(msg, size, "invalid param [%s]", value);
    return -1;
  }
  snprintf(item.value, item.value_size, "%s", value);
  return 0;
}
