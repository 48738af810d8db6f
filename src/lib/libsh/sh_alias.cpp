// The alias table: 39 buckets of singly linked entries. A permanent entry survives unalias as a
// hidden one, so that defining it again brings it back. Used by the executor for one level of
// expansion of a piece's first word.
#include <cstring>
#include <memory>
#include <string>

#include "sh_state.h"

namespace {

constexpr int kBuckets = 39;
constexpr unsigned kHidden = 0x2;

struct alias_entry {
  std::unique_ptr<alias_entry> next;
  std::string name;
  std::string value;
  unsigned flags;
};

std::unique_ptr<alias_entry> g_buckets[kBuckets];

int alias_bucket(const char *name) {
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(name);
  unsigned sum = bytes[0] * 16u;
  for (const unsigned char *b = bytes; *b != 0; ++b) sum += *b;
  return static_cast<int>(sum % kBuckets);
}

alias_entry *alias_find(const char *name) {
  for (alias_entry *e = g_buckets[alias_bucket(name)].get(); e; e = e->next.get()) {
    if (e->name == name) return e;
  }
  return nullptr;
}

struct default_alias {
  const char *name;
  const char *value;
};

constexpr default_alias kDefaults[] = {
    {"a", "alias"},        {"c", "call"},         {"e", "exit"},
    {"s", "show"},         {"q", "quit"},         {"sc", "show config"},
    {"sd", "show dvar"},   {"si", "show info"},   {"sl", "show llog"},
    {"sm", "show memory"},
};

}  // namespace

int alias_set(const char *name, const char *value, unsigned flags) {
  if (name == nullptr || name[0] == '\0' || value == nullptr) return -1;
  if (strlen(name) >= SH_WORD_SIZE || strlen(value) >= SH_LINE_SIZE) return -1;
  if (alias_entry *e = alias_find(name)) {
    e->value = value;
    e->flags = (e->flags & ~kHidden) | (flags & SH_ALIAS_PERMANENT);
    return 0;
  }
  // Appended at the end of its bucket, so listings keep the order of definition.
  std::unique_ptr<alias_entry> *slot = &g_buckets[alias_bucket(name)];
  while (*slot) slot = &(*slot)->next;
  *slot = std::make_unique<alias_entry>(alias_entry{nullptr, name, value, flags & SH_ALIAS_PERMANENT});
  return 0;
}

const char *alias_get(const char *name) {
  const alias_entry *e = alias_find(name);
  if (e == nullptr || (e->flags & kHidden) != 0) return nullptr;
  return e->value.c_str();
}

int alias_remove(const char *name) {
  std::unique_ptr<alias_entry> *slot = &g_buckets[alias_bucket(name)];
  while (*slot && (*slot)->name != name) slot = &(*slot)->next;
  alias_entry *e = slot->get();
  if (e == nullptr || (e->flags & kHidden) != 0) return -1;
  if ((e->flags & SH_ALIAS_PERMANENT) != 0) {
    e->flags |= kHidden;
    return 0;
  }
  *slot = std::move(e->next);
  return 0;
}

std::string alias_list_text() {
  std::string text;
  for (const std::unique_ptr<alias_entry> &head : g_buckets) {
    for (const alias_entry *e = head.get(); e; e = e->next.get()) {
      if ((e->flags & kHidden) == 0) text += e->name + "=" + e->value + "\n";
    }
  }
  return text;
}

void alias_init() {
  alias_free();
  for (const default_alias &d : kDefaults) alias_set(d.name, d.value, 0);
}

// Unlinked one by one: a long chain freed recursively could exhaust the stack.
void alias_free() {
  for (std::unique_ptr<alias_entry> &head : g_buckets) {
    while (head) head = std::move(head->next);
  }
}
