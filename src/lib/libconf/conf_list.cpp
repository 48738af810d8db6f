// List sections (values under the keys 0, 1, 2, ...) and the whole-section map. A list is always
// rewritten as the keys 0 to n-1 in place, and any other numeric key is removed, so a list never
// keeps a stale copy of a value.
#include <algorithm>
#include <string>

#include "conf.h"

namespace {

bool is_index(const std::string &key) {
  return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int write_list(conf_handle *h, const char *section, const std::vector<std::string> &values) {
  std::vector<std::string> names;
  for (size_t i = 0; i < values.size(); ++i) {
    names.push_back(std::to_string(i));
    if (conf_set_string(h, section, names.back().c_str(), values[i].c_str()) != 0) return -1;
  }
  for (const std::string &key : conf_keys(h, section))
    if (is_index(key) && std::find(names.begin(), names.end(), key) == names.end())
      conf_del_key(h, section, key.c_str());
  return 0;
}

}  // namespace

std::vector<std::string> conf_list_get(conf_handle *h, const char *section) {
  std::vector<std::string> values;
  for (const std::string &key : conf_keys(h, section)) {
    if (!is_index(key)) continue;
    if (const char *v = conf_get_string(h, section, key.c_str(), nullptr)) values.push_back(v);
  }
  return values;
}

int conf_list_add(conf_handle *h, const char *section, const char *value) {
  if (!h || !section || !value) return -1;
  std::vector<std::string> values = conf_list_get(h, section);
  if (std::find(values.begin(), values.end(), value) != values.end()) return 0;
  values.push_back(value);
  return write_list(h, section, values);
}

int conf_list_del(conf_handle *h, const char *section, const char *value) {
  if (!h || !section || !value) return -1;
  std::vector<std::string> values = conf_list_get(h, section);
  std::erase(values, value);
  return write_list(h, section, values);
}

int conf_list_clear(conf_handle *h, const char *section) {
  if (!h || !section) return -1;
  return write_list(h, section, {});
}

std::unique_ptr<str_map> conf_section_map(conf_handle *h, const char *section) {
  if (!h || !section) return nullptr;
  auto map = std::make_unique<str_map>();
  for (const std::string &key : conf_keys(h, section))
    (*map)[key] = conf_get_string(h, section, key.c_str(), CONF_MAP_NO_VALUE);
  return map;
}
