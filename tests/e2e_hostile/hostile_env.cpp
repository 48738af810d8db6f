// Helpers of the hostile and stall tests (see hostile_env.h).
#include "hostile_env.h"

#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <fstream>

namespace hostile {

std::string zmp_query() {
  return "options=rw&read_timeout=" + std::to_string(kReadTimeoutMs / 1000) +
         "&connect_timeout=" + std::to_string(kConnectTimeoutMs / 1000);
}

int call_bound_ms() {
  const int t = kReadTimeoutMs, c = kConnectTimeoutMs;
  return t + 3 * (c + t) + 1000 + t;
}

int operation_bound_ms() { return 2 * call_bound_ms() + kConnectTimeoutMs + kReadTimeoutMs + 2000; }

timed_result timed(const std::function<int()> &call) {
  const auto start = std::chrono::steady_clock::now();
  errno = 0;
  const int r = call();
  const int eno = r < 0 ? errno : 0;
  const long ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count());
  return {r, eno, ms};
}

long resident_kb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return atol(line.c_str() + 6);
  return -1;
}

std::unique_ptr<e2e::mounted_tree> make_tree(const std::string &url, const std::string &backing) {
  setenv("ZM_E2E_URL", url.c_str(), 1);
  setenv("ZM_E2E_BACKING", backing.c_str(), 1);
  return std::make_unique<e2e::mounted_tree>();
}

bool ended_by_signal(int status) { return status > 128 && status <= 128 + 64; }

std::string describe_status(int status) {
  if (status < 0) return "running";
  if (ended_by_signal(status)) return "signal " + std::to_string(status - 128);
  return "exit " + std::to_string(status);
}

}  // namespace hostile
