// The scripted FTP server: plain blocking POSIX sockets, one thread per control connection,
// bounded waits (poll with time-outs) so that a test never hangs on it.
#include "scripted_ftp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr int kWaitMs = 3000;

int listen_loopback(int *port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
      listen(fd, 8) != 0 || getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

bool wait_readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) == 1;
}

bool write_all(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t w = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (w <= 0) return false;
    done += static_cast<size_t>(w);
  }
  return true;
}

// One command line without CR LF; false at the end of the stream or once stop is set.
bool read_line(int fd, std::string *line, const std::atomic<bool> &stop) {
  line->clear();
  for (;;) {
    while (!wait_readable(fd, 50))
      if (stop) return false;
    char c = 0;
    if (recv(fd, &c, 1, 0) != 1) return false;
    if (c == '\n') return true;
    if (c != '\r') line->push_back(c);
  }
}

}  // namespace

void ScriptedFtp::Session::reply(const std::string &lines) const { write_all(fd, lines + "\r\n"); }

int ScriptedFtp::Session::accept_data() {
  if (data_listen < 0 || !wait_readable(data_listen, kWaitMs)) return -1;
  const int fd = accept(data_listen, nullptr, nullptr);
  close(data_listen);
  data_listen = -1;
  return fd;
}

void ScriptedFtp::send_data(Session &s, const std::string &body) {
  const int fd = s.accept_data();
  if (fd < 0) return;
  s.reply("150 Opening BINARY mode data connection");
  write_all(fd, body);
  close(fd);
  s.reply("226 Transfer complete");
}

std::string ScriptedFtp::receive_data(Session &s) {
  const int fd = s.accept_data();
  std::string body;
  if (fd < 0) return body;
  s.reply("150 Ok to send data");
  char buf[65536];
  while (wait_readable(fd, kWaitMs)) {
    const ssize_t r = recv(fd, buf, sizeof buf, 0);
    if (r <= 0) break;
    body.append(buf, static_cast<size_t>(r));
  }
  close(fd);
  s.reply("226 Transfer complete");
  return body;
}

ScriptedFtp::ScriptedFtp() {
  listen_fd_ = listen_loopback(&port_);
  if (listen_fd_ >= 0) acceptor_ = std::thread([this] { accept_loop(); });
}

ScriptedFtp::~ScriptedFtp() {
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> sessions;
  {
    std::lock_guard<std::mutex> guard(lock_);
    sessions.swap(sessions_);
  }
  for (std::thread &t : sessions) t.join();
  if (listen_fd_ >= 0) close(listen_fd_);
}

std::string ScriptedFtp::url(const std::string &userinfo, const std::string &path) const {
  return "ftp://" + (userinfo.empty() ? "" : userinfo + "@") +
         "127.0.0.1:" + std::to_string(port_) + path;
}

void ScriptedFtp::on(const std::string &verb, Handler handler) {
  std::lock_guard<std::mutex> guard(lock_);
  handlers_[verb] = std::move(handler);
}

std::vector<std::string> ScriptedFtp::commands() const {
  std::lock_guard<std::mutex> guard(lock_);
  return commands_;
}

void ScriptedFtp::accept_loop() {
  while (!stop_) {
    if (!wait_readable(listen_fd_, 50)) continue;
    const int fd = accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> guard(lock_);
    sessions_.emplace_back([this, fd] { serve(fd); });
  }
}

void ScriptedFtp::serve(int fd) {
  Session s;
  s.fd = fd;
  s.reply("220 scripted server ready");
  std::string line;
  while (read_line(fd, &line, stop_)) {
    const size_t blank = line.find(' ');
    const std::string verb = line.substr(0, blank);
    const std::string arg = blank == std::string::npos ? "" : line.substr(blank + 1);
    Handler handler;
    {
      std::lock_guard<std::mutex> guard(lock_);
      commands_.push_back(line);
      auto it = handlers_.find(verb);
      if (it != handlers_.end()) handler = it->second;
    }
    if (handler) {
      handler(s, arg);
    } else if (verb == "USER") {
      s.reply("331 Password required");
    } else if (verb == "PASS") {
      if (!bad_password_.empty() && arg == bad_password_) {
        s.reply("530 Login incorrect.");
      } else {
        ++logins_;
        s.reply("230 Logged in");
      }
    } else if (verb == "SYST") {
      s.reply("215 UNIX Type: L8");
    } else if (verb == "FEAT") {
      s.reply(features_);
    } else if (verb == "TYPE" || verb == "NOOP") {
      s.reply("200 Ok");
    } else if (verb == "PWD") {
      s.reply("257 \"/home/user\" is the current directory");
    } else if (verb == "PASV") {
      int port = 0;
      if (s.data_listen >= 0) close(s.data_listen);
      s.data_listen = listen_loopback(&port);
      s.reply("227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
              std::to_string(port % 256) + ").");
    } else if (verb == "QUIT") {
      s.reply("221 Goodbye");
      break;
    } else {
      s.reply("502 Command not implemented");
    }
  }
  if (s.data_listen >= 0) close(s.data_listen);
  close(fd);
}
