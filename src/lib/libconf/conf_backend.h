// The table of operations one file format offers the front end, and the front-end handle that
// pairs a back-end handle with its table. Private to the store.
#pragma once

#include <string>
#include <vector>

struct conf_backend {
  int (*match)(const char *path);  // 0 when this back end handles the name
  void *(*load)(const char *path, bool create);
  void (*free)(void *h);
  const char *(*get_string)(void *h, const char *section, const char *key, const char *def);
  int (*set_string)(void *h, const char *section, const char *key, const char *value);
  std::vector<std::string> (*sections)(void *h);
  std::vector<std::string> (*keys)(void *h, const char *section);
  void (*del_section)(void *h, const char *section);
  void (*del_key)(void *h, const char *section, const char *key);
  int (*rename_section)(void *h, const char *from, const char *to);
  int (*rename_key)(void *h, const char *section, const char *from, const char *to);
  void (*dump)(void *h);
  int (*save)(void *h);
};

struct conf_handle {
  void *impl;
  const conf_backend *backend;
};
