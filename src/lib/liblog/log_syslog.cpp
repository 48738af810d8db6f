// Syslog client. Messages read "<pri>Mmm dd hh:mm:ss host tag[pid]: text" and travel with their
// terminating NUL; the facility is always user. TCP sends use MSG_NOSIGNAL and a send time-out so
// that a vanished or stalled receiver can neither kill the process nor stall every logging thread.
#include "log_syslog.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "log2.h"
#include "log_level.h"
#include "log_trace.h"
#include "pal_url.h"

namespace {

constexpr int kFacilityUser = 8;
constexpr size_t kMessageMax = 1535;
constexpr int kSendTimeoutSec = 2;

const char *host_name() {
  static const std::string name = [] {
    char buf[256] = {};
    if (gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0' || strcmp(buf, "(none)") == 0)
      return std::string("unknown");
    return std::string(buf);
  }();
  return name.c_str();
}

size_t time_prefix_length(uint32_t flags) {
  if (flags & LOG2_TAG_TIME) return 9;      // "hh:mm:ss "
  if (flags & LOG2_TAG_TIME_MS) return 13;  // "hh:mm:ss.mmm "
  return 0;
}

}  // namespace

int log_syslog_parse(const char *url, log_syslog_target *out) {
  out->url = url ? url : "";
  UrlRecord record{};
  std::string storage(URL_TEXT_SIZE, '\0');
  if (url_parser(&record, storage.data(), out->url.c_str()) != 0) return -1;
  out->tcp = strcmp(record.protocol, "tcp") == 0;
  out->host = record.host;
  out->port = record.port;
  return 0;
}

void log_syslog_client::configure(const log_syslog_target &target) {
  target_ = target;
  close();
  state_ = kConfigured;
}

void log_syslog_client::close() {
  if (fd_ >= 0 && ::close(fd_) != 0) log_trace("syslog close %s err\n", target_.url.c_str());
  fd_ = -1;
}

void log_syslog_client::open() {
  const std::string port = target_.port ? std::to_string(target_.port) : (target_.tcp ? "syslog-conn" : "syslog");
  log_trace("syslog_open [%s:%s]==>\n", target_.host.c_str(), port.c_str());
  close();
  state_ = kOpen;
  addrinfo hints{};
  hints.ai_socktype = target_.tcp ? SOCK_STREAM : SOCK_DGRAM;
  addrinfo *found = nullptr;
  const int rc = getaddrinfo(target_.host.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) {
    fprintf(stderr, "getaddrinfo: %s\n", gai_strerror(rc));
    fprintf(stderr, "failed to resolve name %s port %s\n", target_.host.c_str(), port.c_str());
    return;
  }
  for (const addrinfo *ai = found; ai && fd_ < 0; ai = ai->ai_next) {
    const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) continue;
    const timeval timeout{kSendTimeoutSec, 0};
    if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) == 0 &&
        connect(fd, ai->ai_addr, ai->ai_addrlen) == 0) {
      fd_ = fd;
    } else {
      ::close(fd);
    }
  }
  freeaddrinfo(found);
  if (fd_ < 0) fprintf(stderr, "failed to connect to %s port %s\n", target_.host.c_str(), port.c_str());
}

bool log_syslog_client::send_all(const char *data, size_t len) {
  if (fd_ < 0) return false;
  size_t done = 0;
  while (done < len) {
    const ssize_t n = send(fd_, data + done, len - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void log_syslog_client::write(int level, const char *tag, const char *line, size_t len,
                              uint32_t flags) {
  if (state_ == kOff) return;
  if (state_ == kConfigured) open();

  const size_t skip = time_prefix_length(flags);
  const std::string body = len >= skip ? std::string(line + skip, len - skip) : std::string(line, len);
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
  const std::string pid = "[" + std::to_string(getpid()) + "]";
  const int priority = log_level_syslog_priority(level);
  char message[kMessageMax + 1];
  const int n = snprintf(message, sizeof message, "<%d>%.15s %.32s %.64s%s: %.800s",
                         kFacilityUser + (priority < 0 ? 7 : priority), stamp, host_name(),
                         tag && *tag ? tag : "<someone>", pid.c_str(), body.c_str());
  if (n < 0) return;
  const size_t size = (static_cast<size_t>(n) < kMessageMax ? static_cast<size_t>(n) : kMessageMax) + 1;

  if (send_all(message, size)) return;
  open();
  if (!send_all(message, size)) fprintf(stderr, "syslog_write %s err\n", target_.url.c_str());
}
