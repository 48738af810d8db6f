// The entries of one INI file in file order. A section entry is named by the section (no value);
// a key entry by the section, a TAB and the key. Names compare exactly and are cut to
// DICT_NAME_MAX characters. Entries live behind pointers so a value handed out stays put while
// other entries come and go.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t DICT_NAME_MAX = 1024;
inline constexpr char DICT_SEP = '\t';

struct dict_entry {
  std::string name;
  std::optional<std::string> value;
  std::string comment;  // comment lines kept in front of the entry, each ending in "\n"
};

class dictionary {
 public:
  static std::string key_name(std::string_view section, std::string_view key);

  const dict_entry *find(std::string_view name) const;
  // Appends a new entry at the end, or updates the value in place; a non-empty comment replaces
  // the entry's comment.
  void set(std::string_view name, std::optional<std::string_view> value,
           std::string_view comment = {});
  void unset(std::string_view name);
  void unset_section(std::string_view section);  // the section entry and all its keys
  // 0, or -1 when `to` is taken ("nsec=%s exist error\n") or `from` does not exist.
  int rename_section(std::string_view from, std::string_view to);

  std::vector<std::string> sections() const;
  std::vector<std::string> keys(std::string_view section) const;
  const std::vector<std::unique_ptr<dict_entry>> &entries() const { return entries_; }

  std::string trailing_comment;  // comment lines after the last entry of the file

 private:
  dict_entry *find_mutable(std::string_view name);
  std::vector<std::unique_ptr<dict_entry>> entries_;
};

// True when name is "<section><TAB>..." .
bool dict_in_section(std::string_view name, std::string_view section);
