// File locations of the client (profile, proxy file, cache directory), chosen once at start-up,
// and the client-wide settings of the profile's "conf" section. Paths are joined with "\" as
// the profile's other users do and then normalised to "/".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "conf.h"
#include "pal_log.h"
#include "pal_os.h"
#include "pal_url.h"
#include "zmcli.h"

static const char kLogTag[] = "zmcli";

namespace {

inline constexpr char kConfSection[] = "conf";
inline constexpr char kCacheDirKey[] = "cache_dir";

struct timeout_default {
  const char *key;
  int seconds;
};
inline constexpr timeout_default kTimeouts[] = {
    {"connect_timeout", 6}, {"read_timeout", 15}, {"write_timeout", 8}};

struct file_locations {
  std::mutex lock;
  std::string client;  // guarded by lock
  std::string proxy;   // guarded by lock
};

file_locations &locations() {
  static file_locations where;
  return where;
}

// Normalised by the platform path rule and cut to OS_PATH_SIZE - 1 characters.
std::string normalised(const std::string &text) {
  std::string path = text.substr(0, OS_PATH_SIZE - 1);
  os_path_normalize(path.data());
  path.resize(strlen(path.c_str()));
  return path;
}

std::string join_path(const std::string &dir, const char *name) {
  return normalised(dir + "\\" + name);
}

std::string default_cache_dir() {
  char exe_dir[OS_PATH_SIZE] = "";
  if (os_exe_get_dir(exe_dir, sizeof exe_dir) != 0) exe_dir[0] = '\0';
  return join_path(exe_dir, "var\\cache");
}

// Opens the profile for reading, logging the failure the way every reader reports it.
conf_ptr load_for_reading(const std::string &path) {
  conf_ptr conf(conf_load(path.c_str()));
  if (!conf) ZLOG(LOG2_ERR, "conf_load %s failed\n", path.c_str());
  return conf;
}

const timeout_default *find_timeout(const char *key) {
  for (const timeout_default &t : kTimeouts)
    if (key && strcmp(key, t.key) == 0) return &t;
  return nullptr;
}

}  // namespace

std::string zm_conf_client_file() {
  std::lock_guard<std::mutex> hold(locations().lock);
  return locations().client;
}

std::string zm_conf_proxy_file() {
  std::lock_guard<std::mutex> hold(locations().lock);
  return locations().proxy;
}

void zm_conf_set_path(const char *dir) {
  std::string conf_dir = dir ? dir : "";
  const char *env_dir = getenv(ZM_ENV_CONF_DIR);
  if (env_dir && *env_dir) {
    conf_dir = env_dir;
    ZLOG(LOG2_DBG, "use env_conf_dir=[%s]\n", conf_dir.c_str());
  }
  std::string client = join_path(conf_dir, "zmdk-gui-user.ini");
  if (!os_file_exists(client.c_str())) client = join_path(conf_dir, "zm_client.ini");
  const std::string proxy = join_path(conf_dir, "zm_proxy.ini");
  {
    std::lock_guard<std::mutex> hold(locations().lock);
    locations().client = client;
    locations().proxy = proxy;
  }
  setenv(ZM_PROXY_FILE, proxy.c_str(), 1);

  // A missing profile is normal on a first start: the default cache directory serves, unlogged.
  conf_ptr conf(conf_load(client.c_str()));
  const std::string fallback = default_cache_dir();
  setenv(ZM_CACHE, normalised(conf_get_string(conf.get(), kConfSection, kCacheDirKey, fallback.c_str()))
             .c_str(), 1);
  ZLOG(LOG2_VERB, "conf_client=[%s] conf_proxy=[%s]\n", client.c_str(), proxy.c_str());
}

int zm_conf_get_path(const char *key, char *out, size_t size) {
  if (!ZASSERT(key && out && size)) return -1;
  const char *env_cache = getenv(ZM_CACHE);
  const char *def = strcmp(key, kCacheDirKey) == 0 && env_cache ? env_cache : "";
  conf_ptr conf = load_for_reading(zm_conf_client_file());
  snprintf(out, size, "%s", normalised(conf_get_string(conf.get(), kConfSection, key, def)).c_str());
  return *out ? 0 : -1;
}

int zm_conf_get_int(const char *key) {
  const timeout_default *t = find_timeout(key);
  if (!t) return 0;
  conf_ptr conf = load_for_reading(zm_conf_client_file());
  return conf_get_int(conf.get(), kConfSection, t->key, t->seconds);
}

int zm_conf_apply_timeouts(char *url) {
  if (!ZASSERT(url)) return -1;
  conf_ptr conf = load_for_reading(zm_conf_client_file());
  int result = 0;
  for (const timeout_default &t : kTimeouts) {
    char text[16];
    snprintf(text, sizeof text, "%d", conf_get_int(conf.get(), kConfSection, t.key, t.seconds));
    if (url_set_query(url, t.key, text, 0, URL_SET_NOT_EXIST) != 0) result = -1;
  }
  return result;
}

int zm_conf_set_str(const char *key, const char *value) {
  if (!ZASSERT(key && value)) return -1;
  const std::string path = zm_conf_client_file();
  conf_ptr conf(conf_create_load(path.c_str()));
  if (!conf) {
    ZLOG(LOG2_ERR, "conf_create_load [%s] fail\n", path.c_str());
    return -1;
  }
  if (conf_set_string(conf.get(), kConfSection, key, value) != 0) return -1;
  if (conf_save(conf.get()) != 0) return -1;
  if (strcmp(key, kCacheDirKey) == 0) setenv(ZM_CACHE, normalised(value).c_str(), 1);
  return 0;
}

int zm_conf_set_int(const char *key, int value) {
  char text[16];
  snprintf(text, sizeof text, "%d", value);
  return zm_conf_set_str(key, text);
}
