// INI back end: a file path and its dictionary. Saving rewrites the whole file with a UTF-8
// byte-order mark. Texts that could not be read back as the same line (line ends, lines over
// the parser's limit, keys the parser would take for something else, values with both kinds of
// quote and a comment character) are refused when set.
#include "ini_conf.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "iniparser.h"
#include "pal_log.h"
#include "pal_url.h"

static const char kLogTag[] = "conf";

namespace {

struct ini_conf {
  std::string path;
  std::unique_ptr<dictionary> dict;
};

dictionary &dict_of(void *h) { return *static_cast<ini_conf *>(h)->dict; }

struct file_closer {
  void operator()(FILE *f) const { fclose(f); }
};
using file_ptr = std::unique_ptr<FILE, file_closer>;

bool has_line_end(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The parser takes "#", ";" and "[" lines for comments and headers, cuts a key at "=" and trims it.
bool key_reads_back(std::string_view key) {
  return !key.empty() && key.find('=') == std::string_view::npos && key[0] != '#' &&
         key[0] != ';' && key[0] != '[' && !is_blank(key.front()) && !is_blank(key.back());
}

bool pair_writable(std::string_view section, std::string_view key, std::string_view value) {
  const size_t limit = INI_LINE_MAX - 1;  // the line end takes the last place
  const int quote = ini_value_quote(value);
  const size_t line = key.size() + 1 + value.size() + (quote > 0 ? 2 : 0);
  return !has_line_end(section) && section.find(']') == std::string_view::npos &&
         section.size() + 2 <= limit && !has_line_end(key) && key_reads_back(key) &&
         !has_line_end(value) && quote >= 0 && line <= limit;
}

int ini_conf_match(const char *path) {
  return str_has_suffix_nocase(path, ".ini") || str_has_suffix_nocase(path, ".zmi") ? 0 : -1;
}

void *ini_conf_load(const char *path, bool create) {
  file_ptr in(fopen(path, "r"));
  if (!in && create) in.reset(fopen(path, "w+"));
  if (!in) return nullptr;
  auto dict = iniparser_load(in.get(), path);
  if (!dict) return nullptr;
  return new ini_conf{path, std::move(dict)};
}

void ini_conf_free(void *h) { delete static_cast<ini_conf *>(h); }

const char *ini_conf_get_string(void *h, const char *section, const char *key, const char *def) {
  const dict_entry *e = dict_of(h).find(dictionary::key_name(section, key));
  return e && e->value ? e->value->c_str() : def;
}

int ini_conf_set_string(void *h, const char *section, const char *key, const char *value) {
  const std::string_view text = value ? value : "";
  if (!pair_writable(section, key, text)) {
    ZLOG(LOG2_ERR, "[%s][%s] cannot be written as one line\n", section, key);
    return -1;
  }
  dictionary &dict = dict_of(h);
  if (!dict.find(section)) dict.set(section, std::nullopt);
  dict.set(dictionary::key_name(section, key),
           value ? std::optional<std::string_view>(text) : std::nullopt);
  return 0;
}

std::vector<std::string> ini_conf_sections(void *h) { return dict_of(h).sections(); }

std::vector<std::string> ini_conf_keys(void *h, const char *section) {
  return dict_of(h).keys(section);
}

void ini_conf_del_section(void *h, const char *section) { dict_of(h).unset_section(section); }

void ini_conf_del_key(void *h, const char *section, const char *key) {
  dict_of(h).unset(dictionary::key_name(section, key));
}

int ini_conf_rename_section(void *h, const char *from, const char *to) {
  return dict_of(h).rename_section(from, to);
}

int ini_conf_rename_key(void *, const char *, const char *, const char *) {
  ZLOG(LOG2_WARN, "noimpl\n");
  return -1;
}

void ini_conf_dump(void *h) {
  if (iniparser_write(dict_of(h), stdout) != 0 || fflush(stdout) != 0)
    ZLOG(LOG2_DBG | LOG2_ERRNO, "dump [%s] err: ", static_cast<ini_conf *>(h)->path.c_str());
}

int ini_conf_save(void *h) {
  const auto *ini = static_cast<ini_conf *>(h);
  FILE *out = fopen(ini->path.c_str(), "w+");
  if (!out) {
    ZLOG(LOG2_DBG | LOG2_ERRNO, "fopen [%s] err: ", ini->path.c_str());
    return -1;
  }
  bool ok = fwrite(INI_BOM, 1, sizeof INI_BOM, out) == sizeof INI_BOM;
  ok = ok && iniparser_write(*ini->dict, out) == 0;
  ok = fflush(out) == 0 && ok;
  ok = fclose(out) == 0 && ok;
  return ok ? 0 : -1;
}

}  // namespace

const conf_backend ini_conf_backend = {
    ini_conf_match,        ini_conf_load,        ini_conf_free,   ini_conf_get_string,
    ini_conf_set_string,   ini_conf_sections,    ini_conf_keys,   ini_conf_del_section,
    ini_conf_del_key,      ini_conf_rename_section, ini_conf_rename_key, ini_conf_dump,
    ini_conf_save,
};
