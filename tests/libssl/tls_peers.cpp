// Real peers for the TLS channel tests: certificate via openssl, socat as the TLS server, plain
// TCP peers on threads. Every wait is bounded; child processes are stopped by their PID.
#include "tls_peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

extern char **environ;

namespace {

using clock_type = std::chrono::steady_clock;

int ms_since(clock_type::time_point start) {
  return int(std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - start).count());
}

// Starts argv[0] from PATH with stdout and stderr going to log_path; -1 when it cannot start.
pid_t spawn_logged(const std::vector<std::string> &args, const std::string &log_path) {
  std::vector<char *> argv;
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Waits up to timeout_ms for the child; kills it when it overstays. Its exit status, or -1.
int reap(pid_t pid, int timeout_ms) {
  const auto start = clock_type::now();
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (ms_since(start) >= timeout_ms) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    usleep(10 * 1000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool has_exited(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

int free_loopback_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

// Whether something listens on 127.0.0.1:port, read from the kernel's table so that checking
// does not use up the server's single connection.
bool loopback_listening(int port) {
  std::ifstream table("/proc/net/tcp");
  char wanted[32];
  snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local == wanted && state == "0A") return true;
  }
  return false;
}

}  // namespace

test_cert::test_cert() {
  char tmpl[] = "/tmp/zmssl-test-XXXXXX";
  if (!mkdtemp(tmpl)) return;
  dir_ = tmpl;
  const std::string key = dir_ + "/key.pem", cert = dir_ + "/cert.pem";
  const pid_t pid = spawn_logged({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                                  "-out", cert, "-days", "2", "-subj", "/CN=localhost"},
                                 dir_ + "/openssl.log");
  if (pid < 0 || reap(pid, 60 * 1000) != 0) return;
  std::ifstream key_in(key), cert_in(cert);
  std::ofstream pem_out(pem());
  pem_out << key_in.rdbuf() << cert_in.rdbuf();
  pem_out.close();
  ok_ = pem_out.good();
}

test_cert::~test_cert() {
  std::error_code ignored;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

tcp_peer::tcp_peer(handler on_connection) : on_connection_(std::move(on_connection)) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM, 0);
  if (listen_fd_ < 0) return;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(listen_fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(listen_fd_, 4) != 0 ||
      getsockname(listen_fd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
    return;
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { serve(); });
}

tcp_peer::~tcp_peer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listen_fd_ >= 0) close(listen_fd_);
}

void tcp_peer::serve() {
  while (!stop_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const int fd = accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) continue;
    on_connection_(fd, stop_);
    close(fd);
  }
}

socat_tls_server::socat_tls_server(const test_cert &cert, int backend_port, const std::string &cipher) {
  log_path_ = cert.dir() + "/socat.log";
  for (int attempt = 0; attempt < 3 && port_ == 0; ++attempt) {
    const int port = free_loopback_port();
    std::string listen = "OPENSSL-LISTEN:" + std::to_string(port) +
                         ",bind=127.0.0.1,reuseaddr,cert=" + cert.pem() + ",verify=0";
    if (!cipher.empty()) listen += ",cipher=" + cipher;
    pid_ = spawn_logged({"socat", "-d", "-d", listen, "TCP:127.0.0.1:" + std::to_string(backend_port)}, log_path_);
    if (pid_ < 0) return;
    const auto start = clock_type::now();
    while (ms_since(start) < 5000 && !has_exited(pid_)) {
      if (loopback_listening(port)) {
        port_ = port;
        break;
      }
      usleep(20 * 1000);
    }
    if (port_ == 0) stop();  // the port was taken meanwhile, or socat refused the options
  }
}

socat_tls_server::~socat_tls_server() { stop(); }

void socat_tls_server::stop() {
  if (pid_ <= 0) return;
  if (kill(pid_, SIGTERM) == 0) reap(pid_, 3000);
  pid_ = -1;
}

std::string socat_tls_server::log_text() const {
  std::ifstream in(log_path_);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool peer_read_exact(int fd, void *buf, size_t n, int timeout_ms) {
  auto *bytes = static_cast<char *>(buf);
  const auto start = clock_type::now();
  size_t got = 0;
  while (got < n) {
    const int left = timeout_ms - ms_since(start);
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, left) <= 0) return false;
    const ssize_t r = read(fd, bytes + got, n - got);
    if (r <= 0) return false;
    got += size_t(r);
  }
  return true;
}

bool peer_write_all(int fd, const void *buf, size_t n) {
  const auto *bytes = static_cast<const char *>(buf);
  size_t sent = 0;
  while (sent < n) {
    const ssize_t w = send(fd, bytes + sent, n - sent, MSG_NOSIGNAL);
    if (w <= 0) return false;
    sent += size_t(w);
  }
  return true;
}

bool peer_wait_eof(int fd, int timeout_ms) {
  const auto start = clock_type::now();
  char sink[4096];
  for (;;) {
    const int left = timeout_ms - ms_since(start);
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, left) <= 0) return false;
    const ssize_t r = read(fd, sink, sizeof sink);
    if (r == 0) return true;
    if (r < 0) return false;
  }
}
