// Test fixture: a temporary configuration directory made current with zm_conf_set_path, with
// the environment variables the profile code reads or exports restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "temp_dir.h"
#include "zmcli.h"

class saved_env {
 public:
  explicit saved_env(const char *name) : name_(name) {
    if (const char *v = getenv(name)) value_ = v;
  }
  ~saved_env() {
    if (value_)
      setenv(name_, value_->c_str(), 1);
    else
      unsetenv(name_);
  }
  saved_env(const saved_env &) = delete;
  saved_env &operator=(const saved_env &) = delete;

 private:
  const char *name_;
  std::optional<std::string> value_;
};

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv(ZM_ENV_CONF_DIR);
    zm_conf_set_path(dir.path().c_str());
  }
  std::string write_profile(const std::string &text) { return dir.write("zm_client.ini", text); }

  saved_env env_dir{ZM_ENV_CONF_DIR};
  saved_env env_cache{ZM_CACHE};
  saved_env env_proxy{ZM_PROXY_FILE};
  temp_dir dir;
};
