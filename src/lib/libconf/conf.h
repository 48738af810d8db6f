// Configuration files through one small store: open a file by name (the back end is chosen by the
// file's extension; INI for ".ini" and ".zmi"), read or write typed section/key values, save, free.
// A handle is used by one thread within one call; nothing is cached between opens.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "pal_url.h"  // str_map

struct conf_handle;

// Null when no back end handles the name or the file cannot be read (or created) and parsed.
[[nodiscard]] conf_handle *conf_load(const char *path);
[[nodiscard]] conf_handle *conf_create_load(const char *path);  // creates an empty file when missing
void conf_free(conf_handle *h);

// Owner for scoped use: conf_ptr conf(conf_load(path));
struct conf_closer {
  void operator()(conf_handle *h) const { conf_free(h); }
};
using conf_ptr = std::unique_ptr<conf_handle, conf_closer>;

// The text is owned by the handle and stays valid until that key changes or the handle is freed.
const char *conf_get_string(conf_handle *h, const char *section, const char *key, const char *def);
// The decimal value of the text ("abc" gives 0); def when the key is missing.
int conf_get_int(conf_handle *h, const char *section, const char *key, int def);
// 0, or -1 (no handle, or a text that could not be written back as one line).
int conf_set_string(conf_handle *h, const char *section, const char *key, const char *value);
int conf_set_int(conf_handle *h, const char *section, const char *key, int value);

// Combined names: "section<TAB>key", or "section:key" when there is no TAB.
const char *conf_get_by_name(conf_handle *h, const char *name, const char *def);
int conf_get_int_by_name(conf_handle *h, const char *name, int def);
int conf_set_by_name(conf_handle *h, const char *name, const char *value);
int conf_set_int_by_name(conf_handle *h, const char *name, int value);

// Section names in file order; with a pattern ("*" and "?"), only those that match it.
std::vector<std::string> conf_sections(conf_handle *h, const char *pattern);
std::vector<std::string> conf_keys(conf_handle *h, const char *section);
int conf_has_section(conf_handle *h, const char *section);          // 1 / 0
int conf_has_key(conf_handle *h, const char *section, const char *key);  // 1 / 0

void conf_del_section(conf_handle *h, const char *section);  // with all its keys
void conf_del_key(conf_handle *h, const char *section, const char *key);
int conf_rename_section(conf_handle *h, const char *from, const char *to);  // 0 / -1
int conf_rename_key(conf_handle *h, const char *section, const char *from, const char *to);
void conf_dump(conf_handle *h);             // the file's text on standard output
[[nodiscard]] int conf_save(conf_handle *h);  // 0 / -1

// List sections keep their values under the keys 0, 1, 2, ... in file order.
std::vector<std::string> conf_list_get(conf_handle *h, const char *section);
int conf_list_add(conf_handle *h, const char *section, const char *value);  // appends when absent
int conf_list_del(conf_handle *h, const char *section, const char *value);
int conf_list_clear(conf_handle *h, const char *section);

inline constexpr char CONF_MAP_NO_VALUE[] = "ERROR VAL!!!";
// All keys of the section with their values; null only without a handle or section.
std::unique_ptr<str_map> conf_section_map(conf_handle *h, const char *section);

// Reads one combined name from a file; out receives def when the file cannot be opened (result
// -1) or the name is missing (result 0).
int conf_get_from_file(const char *path, const char *name, const char *def, char *out, size_t size);
