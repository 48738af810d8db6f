// Fuzz target: the client profile file with its saved sessions. The input is the profile's text;
// every session it lists is read, turned into a URL and resolved from a "///name/path" mount URL.
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "fuzz_temp_file.h"
#include "pal_url.h"
#include "zmcli.h"

namespace {

void collect(void *arg, const char *name, uint32_t) {
  static_cast<std::vector<std::string> *>(arg)->push_back(name);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  unsetenv(ZM_ENV_CONF_DIR);
  zm_conf_set_path(fuzz::temp_dir().c_str());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::write_file(zm_conf_client_file(), data, size);
  std::vector<std::string> names;
  (void)conf_walk_item(collect, &names);
  names.push_back("office");
  for (const std::string &name : names) {
    conf_client_info info{};
    (void)conf_client_get_info(name.c_str(), &info);
    std::vector<char> url(URL_TEXT_SIZE);
    (void)conf_client_get_url(name.c_str(), url.data());
    const std::string mount = "///" + name + "/docs?pack=1";
    if (mount.size() < size_t(URL_TEXT_SIZE)) {
      std::vector<char> real(URL_TEXT_SIZE);
      (void)url_conf_2_real(mount.c_str(), real.data());
      mount.copy(real.data(), mount.size());
      real[mount.size()] = '\0';
      (void)url_conf_2_real_inplace(real.data());
    }
  }
  for (const char *key : {"connect_timeout", "read_timeout", "cache_dir"}) {
    (void)zm_conf_get_int(key);
    char out[4096];
    (void)zm_conf_get_path(key, out, sizeof out);
  }
  return 0;
}
