// Listing lines of MLSD and MLST: "fact=value;fact=value; name", fact names in any letter case.
// Sizes are 64-bit, "modify" becomes the modification time; UNIX.mode, UNIX.owner and
// UNIX.group (where the server sends them) give the POSIX mode and owner.
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ftp_ctx.h"

namespace {

bool is_digits(const char *text, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

int digits(const char *text, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) v = v * 10 + (text[i] - '0');
  return v;
}

// Days from 1970-01-01 to a proleptic Gregorian date (month 1..12), in 64 bits: timegm would go
// through time_t, which is 32 bits on the 32-bit targets (libfuse 2 is built that way there).
int64_t days_from_civil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

// A whole unsigned decimal (base 10) or octal (base 8) value; false for anything else.
bool parse_unsigned(const std::string &text, int base, uint64_t *out) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  char *end = nullptr;
  errno = 0;
  const unsigned long long v = strtoull(text.c_str(), &end, base);
  if (errno != 0 || *end != '\0') return false;
  *out = v;
  return true;
}

struct Facts {
  std::string type, size, modify, mode, owner, group;
};

void take_fact(const std::string &name, const std::string &value, Facts *f) {
  const char *n = name.c_str();
  if (strcasecmp(n, "type") == 0)
    f->type = value;
  else if (strcasecmp(n, "size") == 0)
    f->size = value;
  else if (strcasecmp(n, "modify") == 0)
    f->modify = value;
  else if (strcasecmp(n, "unix.mode") == 0)
    f->mode = value;
  else if (strcasecmp(n, "unix.owner") == 0 || strcasecmp(n, "unix.uid") == 0)
    f->owner = value;
  else if (strcasecmp(n, "unix.group") == 0 || strcasecmp(n, "unix.gid") == 0)
    f->group = value;
}

}  // namespace

bool ftp_parse_time(const char *text, VfsTime *out) {
  const size_t len = strlen(text);
  if (len < 14 || !is_digits(text, 14)) return false;
  const int year = digits(text, 4);
  const int month = digits(text + 4, 2);
  const int day = digits(text + 6, 2);
  const int hour = digits(text + 8, 2);
  const int minute = digits(text + 10, 2);
  const int second = digits(text + 12, 2);
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
    return false;
  uint32_t nsec = 0;
  if (len > 14) {
    if (text[14] != '.' || len == 15 || len > 24 || !is_digits(text + 15, len - 15)) return false;
    for (size_t i = 15; i < 24; ++i) nsec = nsec * 10 + (i < len ? text[i] - '0' : 0);
  }
  out->sec = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  out->nsec = nsec;
  return true;
}

bool ftp_parse_facts(const char *line, VfsDirEntry *entry) {
  const char *blank = strchr(line, ' ');
  if (blank == nullptr || blank[1] == '\0' || strlen(blank + 1) >= VFS_NAME_SIZE) return false;
  Facts f;
  std::string facts(line, blank);
  size_t start = 0;
  while (start < facts.size()) {
    size_t end = facts.find(';', start);
    if (end == std::string::npos) end = facts.size();
    const std::string pair = facts.substr(start, end - start);
    const size_t eq = pair.find('=');
    if (eq != std::string::npos) take_fact(pair.substr(0, eq), pair.substr(eq + 1), &f);
    start = end + 1;
  }
  if (f.type.empty()) return false;
  *entry = VfsDirEntry{};
  VfsFileInfo &info = entry->info;
  uint64_t value = 0;
  if (strcasecmp(f.type.c_str(), "file") == 0) {
    info.type = VFS_FTYPE_FILE;
    if (!f.size.empty()) {
      if (!parse_unsigned(f.size, 10, &value) || value > INT64_MAX) return false;
      info.size = static_cast<int64_t>(value);
    }
  } else {
    info.type = VFS_FTYPE_DIR;
  }
  if (!f.modify.empty() && ftp_parse_time(f.modify.c_str(), &info.mtime)) {
    info.atime = info.mtime;
    info.ctime = info.mtime;
  }
  if (parse_unsigned(f.mode, 8, &value) && value <= 07777)
    info.mode = static_cast<uint32_t>(value) | (info.type == VFS_FTYPE_DIR ? S_IFDIR : S_IFREG);
  else
    info.type |= VFS_FTYPE_NO_MODE;
  if (parse_unsigned(f.owner, 10, &value) && value <= UINT32_MAX) info.uid = uint32_t(value);
  if (parse_unsigned(f.group, 10, &value) && value <= UINT32_MAX) info.gid = uint32_t(value);
  info.nlink = 1;
  info.blksize = 4096;
  info.blocks = (static_cast<uint64_t>(info.size) + 511) / 512;  // unsigned: a size near INT64_MAX
  strcpy(entry->name, blank + 1);
  return true;
}
