// Test helper: a fresh directory under the system's temporary directory, removed with everything
// in it when the owner goes out of scope, plus whole-file read and write.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class temp_dir {
 public:
  temp_dir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zmtest.XXXXXX").string();
    if (mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~temp_dir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  temp_dir(const temp_dir &) = delete;
  temp_dir &operator=(const temp_dir &) = delete;

  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }

  std::string write(const std::string &name, const std::string &text) const {
    const std::string p = file(name);
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }

 private:
  std::string path_;
};

inline std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
