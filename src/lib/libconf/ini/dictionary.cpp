// Entry storage of the INI back end: a plain ordered list, searched linearly (configuration
// files are small), whose order is the file's order on load and on save.
#include "dictionary.h"

#include <algorithm>
#include <utility>

#include "pal_log.h"

static const char kLogTag[] = "conf";

namespace {

std::string_view cut(std::string_view name) { return name.substr(0, DICT_NAME_MAX); }

}  // namespace

bool dict_in_section(std::string_view name, std::string_view section) {
  return name.size() > section.size() && name.compare(0, section.size(), section) == 0 &&
         name[section.size()] == DICT_SEP;
}

std::string dictionary::key_name(std::string_view section, std::string_view key) {
  std::string name;
  name.reserve(section.size() + 1 + key.size());
  name.append(section).push_back(DICT_SEP);
  name.append(key);
  return std::string(cut(name));
}

const dict_entry *dictionary::find(std::string_view name) const {
  name = cut(name);
  for (const auto &e : entries_)
    if (e->name == name) return e.get();
  return nullptr;
}

dict_entry *dictionary::find_mutable(std::string_view name) {
  return const_cast<dict_entry *>(std::as_const(*this).find(name));
}

void dictionary::set(std::string_view name, std::optional<std::string_view> value,
                     std::string_view comment) {
  dict_entry *e = find_mutable(name);
  if (!e) {
    entries_.push_back(std::make_unique<dict_entry>());
    e = entries_.back().get();
    e->name = cut(name);
  }
  if (value)
    e->value.emplace(*value);
  else
    e->value.reset();
  if (!comment.empty()) e->comment = comment;
}

void dictionary::unset(std::string_view name) {
  name = cut(name);
  std::erase_if(entries_, [&](const auto &e) { return e->name == name; });
}

void dictionary::unset_section(std::string_view section) {
  section = cut(section);
  std::erase_if(entries_, [&](const auto &e) {
    return e->name == section || dict_in_section(e->name, section);
  });
}

int dictionary::rename_section(std::string_view from, std::string_view to) {
  from = cut(from);
  to = cut(to);
  const bool taken = std::any_of(entries_.begin(), entries_.end(), [&](const auto &e) {
    return e->name == to || dict_in_section(e->name, to);
  });
  if (taken) {
    ZLOG(LOG2_ERR, "nsec=%.*s exist error\n", static_cast<int>(to.size()), to.data());
    return -1;
  }
  bool found = false;
  for (auto &e : entries_) {
    if (e->name == from) {
      e->name = to;
      found = true;
    } else if (dict_in_section(e->name, from)) {
      e->name = cut(std::string(to) + e->name.substr(from.size()));
      found = true;
    }
  }
  return found ? 0 : -1;
}

std::vector<std::string> dictionary::sections() const {
  std::vector<std::string> out;
  for (const auto &e : entries_)
    if (e->name.find(DICT_SEP) == std::string::npos) out.push_back(e->name);
  return out;
}

std::vector<std::string> dictionary::keys(std::string_view section) const {
  section = cut(section);
  std::vector<std::string> out;
  for (const auto &e : entries_)
    if (dict_in_section(e->name, section)) out.push_back(e->name.substr(section.size() + 1));
  return out;
}
