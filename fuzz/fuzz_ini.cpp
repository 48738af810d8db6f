// Fuzz target: the INI back end of the configuration store. The input is a file's text; every
// section, key and list is read, then the file is saved and loaded again, and every value read
// before must read the same after (a save that loses or changes a value is a finding).
#include <map>
#include <string>
#include <vector>

#include "conf.h"
#include "fuzz_common.h"
#include "fuzz_temp_file.h"

namespace {

using Values = std::map<std::pair<std::string, std::string>, std::string>;

Values read_all(conf_handle *h) {
  Values values;
  for (const std::string &section : conf_sections(h, nullptr)) {
    for (const std::string &key : conf_keys(h, section.c_str())) {
      const char *v = conf_get_string(h, section.c_str(), key.c_str(), nullptr);
      if (v) values[{section, key}] = v;
      (void)conf_get_int(h, section.c_str(), key.c_str(), 0);
    }
    (void)conf_list_get(h, section.c_str());
    (void)conf_section_map(h, section.c_str());
  }
  (void)conf_sections(h, "*a?");
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string path = fuzz::temp_dir() + "/input.ini";
  fuzz::write_file(path, data, size);
  Values before;
  {
    conf_ptr conf(conf_load(path.c_str()));
    if (!conf) return 0;
    before = read_all(conf.get());
    (void)conf_get_by_name(conf.get(), "a/b", nullptr);
    if (conf_save(conf.get()) != 0) return 0;
  }
  conf_ptr again(conf_load(path.c_str()));
  if (!again) abort();
  if (read_all(again.get()) != before) abort();
  return 0;
}
