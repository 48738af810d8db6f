// Front end of the configuration store: the back-end table (4 slots, the INI back end in the
// first, filled on first use), load and free, typed reads and writes, and the operations that
// pass straight through to the back end.
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "conf.h"
#include "conf_backend.h"
#include "ini/ini_conf.h"
#include "pal_log.h"

static const char kLogTag[] = "conf";

namespace {

inline constexpr int CONF_BACKEND_SLOTS = 4;
inline constexpr char CONF_INT_NOT_FOUND[] = "NOT_FOUND";

const conf_backend *const *backend_table() {
  static const conf_backend *const table[CONF_BACKEND_SLOTS] = {&ini_conf_backend};
  return table;
}

conf_handle *load(const char *path, bool create) {
  if (!path || !*path) return nullptr;
  const conf_backend *const *table = backend_table();
  for (int i = 0; i < CONF_BACKEND_SLOTS; ++i) {
    const conf_backend *be = table[i];
    if (!be || be->match(path) != 0) continue;
    void *impl = be->load(path, create);
    return impl ? new conf_handle{impl, be} : nullptr;
  }
  ZLOG(LOG2_DBG, "no back end for [%s]\n", path);
  return nullptr;
}

}  // namespace

conf_handle *conf_load(const char *path) { return load(path, false); }

conf_handle *conf_create_load(const char *path) { return load(path, true); }

void conf_free(conf_handle *h) {
  if (!h) return;
  h->backend->free(h->impl);
  delete h;
}

const char *conf_get_string(conf_handle *h, const char *section, const char *key, const char *def) {
  if (!h || !section || !key) return def;
  return h->backend->get_string(h->impl, section, key, def);
}

int conf_get_int(conf_handle *h, const char *section, const char *key, int def) {
  const char *text = conf_get_string(h, section, key, CONF_INT_NOT_FOUND);
  if (text == CONF_INT_NOT_FOUND) return def;
  const long value = strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int conf_set_string(conf_handle *h, const char *section, const char *key, const char *value) {
  if (!h || !section || !key) return -1;
  return h->backend->set_string(h->impl, section, key, value);
}

int conf_set_int(conf_handle *h, const char *section, const char *key, int value) {
  char text[16];
  snprintf(text, sizeof text, "%d", value);
  return conf_set_string(h, section, key, text);
}

std::vector<std::string> conf_sections(conf_handle *h, const char *pattern) {
  if (!h) return {};
  std::vector<std::string> all = h->backend->sections(h->impl);
  if (!pattern || !*pattern) return all;
  std::erase_if(all, [&](const std::string &s) { return !str_wildcard_match(pattern, s.c_str()); });
  return all;
}

std::vector<std::string> conf_keys(conf_handle *h, const char *section) {
  if (!h || !section) return {};
  return h->backend->keys(h->impl, section);
}

int conf_has_section(conf_handle *h, const char *section) {
  if (!h || !section) return 0;
  for (const std::string &s : h->backend->sections(h->impl))
    if (s == section) return 1;
  return 0;
}

int conf_has_key(conf_handle *h, const char *section, const char *key) {
  if (!key) return 0;
  for (const std::string &k : conf_keys(h, section))
    if (k == key) return 1;
  return 0;
}

void conf_del_section(conf_handle *h, const char *section) {
  if (h && section) h->backend->del_section(h->impl, section);
}

void conf_del_key(conf_handle *h, const char *section, const char *key) {
  if (h && section && key) h->backend->del_key(h->impl, section, key);
}

int conf_rename_section(conf_handle *h, const char *from, const char *to) {
  if (!h || !from || !to) return -1;
  return h->backend->rename_section(h->impl, from, to);
}

int conf_rename_key(conf_handle *h, const char *section, const char *from, const char *to) {
  if (!h || !section || !from || !to) return -1;
  return h->backend->rename_key(h->impl, section, from, to);
}

void conf_dump(conf_handle *h) {
  if (h) h->backend->dump(h->impl);
}

int conf_save(conf_handle *h) { return h ? h->backend->save(h->impl) : -1; }
