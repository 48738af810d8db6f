// Log file writer. Each line is "<date> <time.us> <LABEL> <pid> --- [<thread>] <tag> <line>".
// Trimming reads the newest half through a separate descriptor, so it works in both open modes.
#include "log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <ctime>
#include <vector>

#include "log_trace.h"
#include "pal_env.h"
#include "pal_os.h"
#include "pal_url.h"

namespace {

constexpr size_t kDirMax = 2047;
constexpr size_t kPathMax = OS_PATH_SIZE - 1;

// Reads exactly size bytes at offset; false on a short read or error.
bool read_at(const char *path, off_t offset, char *out, size_t size) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd, out + done, size - done, offset + static_cast<off_t>(done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return done == size;
}

}  // namespace

bool log_path_is_absolute(const char *name) {
  if (name[0] == '~' || name[0] == '/' || name[0] == '\\') return true;
  if (isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') return true;
  return strstr(name, "://") != nullptr || strstr(name, ":\\\\") != nullptr;
}

int log_file_writer::open(const char *name) {
  close();
  if (!name || !*name) return -1;
  std::string full = name;
  if (!log_path_is_absolute(name) && !dir_.empty()) full = dir_ + "/" + name;
  if (full.size() > kPathMax) {
    log_trace("log file path too long: %s\n", full.c_str());
    return -1;
  }
  if (str_has_suffix(full.c_str(), ".pcap")) {
    bsvf_pcap *pcap = bsvf_pcap_open(full.c_str(), strcmp(mode_, "a") == 0);
    if (!pcap) {
      log_trace("fopen %s err\n", full.c_str());
      return -1;
    }
    capture_.reset(pcap, &bsvf_pcap_close);
    path_ = full;
    return 0;
  }
  stream_ = fopen(full.c_str(), mode_);
  if (!stream_) {
    log_trace("fopen %s err\n", full.c_str());
    return -1;
  }
  path_ = full;
  return 0;
}

int log_file_writer::set_dir(const char *dir) {
  if (!dir || strlen(dir) > kDirMax) {
    log_trace("log dir too long\n");
    return -1;
  }
  dir_ = dir;
  if (!os_dir_exists(dir) && os_mkdirs(dir, 0755) != 0) log_trace("os_mkdirs %s failed\n", dir);
  return 0;
}

void log_file_writer::set_mode(const char *mode) {
  if (mode && strcmp(mode, "a") == 0) {
    mode_ = "a";
  } else if (mode && strcmp(mode, "w") == 0) {
    mode_ = "w";
  } else {
    log_trace("mode %s err\n", mode ? mode : "");
  }
}

void log_file_writer::close() {
  capture_.reset();
  if (!stream_) return;
  if (fclose(stream_) != 0) log_trace("fclose %s err\n", path_.c_str());
  stream_ = nullptr;
}

bool log_file_writer::reopen(const char *mode) {
  close();
  stream_ = fopen(path_.c_str(), mode);
  if (!stream_) log_trace("fopen %s err\n", path_.c_str());
  return stream_ != nullptr;
}

bool log_file_writer::write_parts(const char *prefix, const char *func_line, size_t len) {
  if (!stream_) return false;
  const size_t prefix_len = strlen(prefix);
  const bool written = fwrite(prefix, 1, prefix_len, stream_) == prefix_len &&
                       fwrite(func_line, 1, len, stream_) == len;
  return fflush(stream_) == 0 && written && !ferror(stream_);
}

int log_file_writer::write(int level, const char *tag, const char *func_line, size_t len) {
  if (capture_) return 0;
  if (!stream_) return -1;
  if (!os_file_exists(path_.c_str()) && !reopen("a+")) return -1;

  timeval now{};
  gettimeofday(&now, nullptr);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char thread_name[64];
  os_thread_name_get(thread_name, sizeof thread_name);
  char prefix[512];
  snprintf(prefix, sizeof prefix, "%04d-%02d-%02d %02d:%02d:%02d.%06u %-5s %d --- [%s] %s ",
           local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
           local.tm_sec, static_cast<unsigned>(now.tv_usec), log2_level_label(level),
           static_cast<int>(getpid()), thread_name, tag ? tag : "");

  if (!write_parts(prefix, func_line, len)) {
    log_trace("log_file_write: fwrite error\n");
    if (!reopen("a+") || !write_parts(prefix, func_line, len)) {
      close();
      return -1;
    }
  }
  trim_when_full();
  return 0;
}

void log_file_writer::trim_when_full() {
  struct stat st {};
  if (fstat(fileno(stream_), &st) != 0 || st.st_size < max_size_) return;
  const size_t keep = static_cast<size_t>(max_size_ / 2);
  std::vector<char> tail(keep);
  if (!read_at(path_.c_str(), st.st_size - static_cast<off_t>(keep), tail.data(), keep)) {
    log_trace("log file %s: read for trimming failed\n", path_.c_str());
    return;
  }
  const char *feed = static_cast<const char *>(memchr(tail.data(), '\n', keep));
  const char *begin = feed ? feed + 1 : tail.data();
  const size_t count = static_cast<size_t>(tail.data() + keep - begin);
  if (!reopen("w+")) return;
  if (fwrite(begin, 1, count, stream_) != count || fflush(stream_) != 0)
    log_trace("log file %s: write after trimming failed\n", path_.c_str());
}
