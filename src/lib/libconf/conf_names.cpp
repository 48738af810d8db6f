// Combined names for callers that keep "section:key" (or "section<TAB>key") in one text, and the
// one-shot read of such a name from a file.
#include <cstdio>
#include <string>

#include "conf.h"

namespace {

// Splits at the first TAB, else at the first ":"; false when the name has neither.
bool split_name(const char *name, std::string &section, std::string &key) {
  if (!name) return false;
  const std::string text = name;
  size_t at = text.find('\t');
  if (at == std::string::npos) at = text.find(':');
  if (at == std::string::npos) return false;
  section = text.substr(0, at);
  key = text.substr(at + 1);
  return true;
}

}  // namespace

const char *conf_get_by_name(conf_handle *h, const char *name, const char *def) {
  std::string section, key;
  if (!split_name(name, section, key)) return def;
  return conf_get_string(h, section.c_str(), key.c_str(), def);
}

int conf_get_int_by_name(conf_handle *h, const char *name, int def) {
  std::string section, key;
  if (!split_name(name, section, key)) return def;
  return conf_get_int(h, section.c_str(), key.c_str(), def);
}

int conf_set_by_name(conf_handle *h, const char *name, const char *value) {
  std::string section, key;
  if (!split_name(name, section, key)) return -1;
  return conf_set_string(h, section.c_str(), key.c_str(), value);
}

int conf_set_int_by_name(conf_handle *h, const char *name, int value) {
  std::string section, key;
  if (!split_name(name, section, key)) return -1;
  return conf_set_int(h, section.c_str(), key.c_str(), value);
}

int conf_get_from_file(const char *path, const char *name, const char *def, char *out, size_t size) {
  if (!out || size == 0) return -1;
  conf_ptr conf(conf_load(path));
  const char *value = conf ? conf_get_by_name(conf.get(), name, def) : def;
  snprintf(out, size, "%s", value ? value : "");
  return conf ? 0 : -1;
}
