// Session profiles: the client profile file (named connections under "session/<name>" and the
// client-wide "conf" section), the proxy file and the cache directory, and the resolution of
// mount URLs that name a saved session ("///office/docs?pack=1"). Every call opens the profile
// file afresh and closes it again, so changes by other programs are seen at the next call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Environment variables read or exported here.
inline constexpr char ZM_ENV_CONF_DIR[] = "ZM_ENV_CONF_DIR";  // replaces the configuration directory
inline constexpr char ZM_PROXY_FILE[] = "ZM_PROXY_FILE";      // the proxy INI file (exported)
inline constexpr char ZM_CACHE[] = "ZM_CACHE";                // the cache directory (exported)

// Kinds of session ("prot" key).
enum : uint32_t {
  CONF_CLIENT_LOC = 2,  // "loc": the local machine
  CONF_CLIENT_NET = 3,  // "net": the network neighbourhood
  CONF_CLIENT_ZMP = 4,  // "zmp": a remote file-service daemon
};

struct conf_client_info {
  uint32_t kind;
  char name[256];
  uint8_t use_ssl;
  char ip[256];  // "_" stands for ":" (IPv6 addresses in an INI file)
  char port[32];  // number, or "ZMP_DEF_PORT" / "ZMPS_DEF_PORT"
  char user[256];
  char pwd[256];
  char bs[8];    // block size text, "2M"
  char fmod[4];  // octal mode text for new files, "644"
  char dmod[4];  // octal mode text for new directories, "755"
  char proxy[256];
};

// --- file locations and client-wide settings --------------------------------------------------
// Chooses the profile, proxy and cache locations from dir (or ZM_ENV_CONF_DIR when set and not
// empty) and exports ZM_PROXY_FILE and ZM_CACHE.
void zm_conf_set_path(const char *dir);
std::string zm_conf_client_file();  // empty before zm_conf_set_path
std::string zm_conf_proxy_file();

// A path from section "conf" ("cache_dir" defaults to ZM_CACHE), normalised; 0, or -1 when the
// result is empty.
int zm_conf_get_path(const char *key, char *out, size_t size);
// "connect_timeout", "read_timeout", "write_timeout" (defaults 6, 15, 8); 0 for any other key.
int zm_conf_get_int(const char *key);
[[nodiscard]] int zm_conf_set_int(const char *key, int value);
[[nodiscard]] int zm_conf_set_str(const char *key, const char *value);
// Adds the three time-outs to a URL_TEXT_SIZE URL buffer; keys already in the URL win.
int zm_conf_apply_timeouts(char *url);

// --- sessions -----------------------------------------------------------------------------------
int conf_client_get_info(const char *name, conf_client_info *info);  // 0 / -1
int conf_client_set_info(const char *ignored, const conf_client_info *info);  // 0 / -1
// The real URL of a session into a URL_TEXT_SIZE buffer; an empty name gives "" and 0.
int conf_client_get_url(const char *name, char *out);
using conf_walk_fn = void (*)(void *arg, const char *name, uint32_t kind);
int conf_walk_item(conf_walk_fn callback, void *arg);  // each usable session; 0 / -1
int conf_client_is_exist(const char *name);             // 1 / 0, -1 without a profile file
int conf_client_del(const char *name);                  // 0 / -1
int conf_client_copy_move(const char *from, const char *to);  // renames the session; 0 / -1

// A mount URL with any "///session" prefix replaced by the session's URL, into a URL_TEXT_SIZE
// buffer; -1 only when a named session cannot be resolved (or the result does not fit).
int url_conf_2_real(const char *url, char *out);
int url_conf_2_real_inplace(char *url);  // rewrites a URL_TEXT_SIZE buffer; unchanged on -1
