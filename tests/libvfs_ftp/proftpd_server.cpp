// proftpd for the tests: a free port found by binding port 0, a passive port range above it,
// the server in its own process group so that stopping it also ends the session processes.
#include "proftpd_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr char kProftpd[] = "/usr/sbin/proftpd";
constexpr int kPassiveSpan = 40;

int free_port() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  if (fd >= 0) close(fd);
  return port;
}

bool accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
  if (fd >= 0) close(fd);
  return ok;
}

int run(const std::string &command) { return system(command.c_str()); }

}  // namespace

std::string ProftpdServer::missing_prerequisite() {
  if (geteuid() != 0) return "needs root (a local user is created for the run)";
  if (access(kProftpd, X_OK) != 0) return "proftpd is not installed (scripts/install-deps.sh)";
  return "";
}

ProftpdServer::~ProftpdServer() {
  stop();
  // -f: a root alias shares its uid with every root process, which plain userdel refuses.
  if (user_made_) run("userdel -f " + user_ + " 2>/dev/null");
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

std::string ProftpdServer::user_url(const std::string &path) const {
  return "ftp://" + user_ + ":" + password_ + "@127.0.0.1:" + std::to_string(port_) + path;
}

std::string ProftpdServer::url_with_password(const std::string &password) const {
  return "ftp://" + user_ + ":" + password + "@127.0.0.1:" + std::to_string(port_) + "/";
}

std::string ProftpdServer::anonymous_url() const {
  return "ftp://127.0.0.1:" + std::to_string(port_) + "/";
}

std::string ProftpdServer::log() const {
  std::ifstream in(log_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ProftpdServer::write_config() const {
  std::ofstream out(conf_);
  out << "ServerName \"zmue test\"\nServerType standalone\nPort " << port_
      << "\nDefaultAddress 127.0.0.1\nSocketBindTight on\nUseIPv6 off\n"
         "User nobody\nGroup nogroup\nPidFile "
      << dir_ << "/proftpd.pid\nScoreboardFile " << dir_
      << "/scoreboard\nDelayTable none\nWtmpLog off\nUseReverseDNS off\n"
         "RequireValidShell off\nUseFtpUsers off\nAuthOrder mod_auth_unix.c\nDefaultRoot ~\n"
      << (root_alias_ ? "RootLogin on\n" : "")
      << "AllowOverwrite on\nAllowStoreRestart on\nPassivePorts "
      << port_ + 1 << " " << port_ + kPassiveSpan
      << "\nMasqueradeAddress 127.0.0.1\nTransferLog none\nMaxInstances 40\nSystemLog " << log_
      // Uploads into "small" are refused once past 1000 bytes: the server reports it only at
      // the end of the transfer.
      << "\n<Directory " << home_ << "/small>\n  MaxStoreFileSize 1000 B\n</Directory>"
      << "\n<Anonymous " << anon_
      << ">\n  User nobody\n  Group nogroup\n  UserAlias anonymous nobody\n"
         "  RequireValidShell off\n  <Limit WRITE>\n    DenyAll\n  </Limit>\n</Anonymous>\n";
  return static_cast<bool>(out);
}

bool ProftpdServer::start(bool root_alias) {
  root_alias_ = root_alias;
  char tmpl[] = "/tmp/zmftp.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return why_ = "mkdtemp failed", false;
  dir_ = tmpl;
  home_ = dir_ + "/home";
  anon_ = dir_ + "/anon";
  conf_ = dir_ + "/proftpd.conf";
  log_ = dir_ + "/proftpd.log";
  std::filesystem::create_directories(home_);
  std::filesystem::create_directories(anon_);
  chmod(dir_.c_str(), 0755);
  user_ = "zmftp" + std::to_string(getpid() % 100000);
  run("userdel -f " + user_ + " >/dev/null 2>&1");  // left over by a run that was killed
  const std::string uid = root_alias_ ? " -o -u 0 -g 0" : "";
  if (run("useradd -M -d " + home_ + " -s /bin/false" + uid + " " + user_) != 0)
    return why_ = "useradd " + user_ + " failed", false;
  user_made_ = true;
  if (run("echo '" + user_ + ":" + password_ + "' | chpasswd") != 0 ||
      run("chown " + user_ + " " + home_) != 0)
    return why_ = "password or home of " + user_ + " not set", false;
  port_ = free_port();
  if (port_ == 0 || port_ + kPassiveSpan > 65535 || !write_config())
    return why_ = "no port or configuration", false;
  pid_ = fork();
  if (pid_ == 0) {
    setsid();
    const int fd = open(log_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
    }
    execl(kProftpd, kProftpd, "-n", "-c", conf_.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 100; ++i) {
    if (accepts(port_)) return true;
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return why_ = "proftpd ended at start:\n" + log(), false;
    }
    usleep(50000);
  }
  return why_ = "proftpd does not accept on port " + std::to_string(port_), false;
}

void ProftpdServer::signal_all(int sig) const {
  if (pid_ > 0) kill(-pid_, sig);
}

void ProftpdServer::stop() {
  if (pid_ <= 0) return;
  // A stopped server would hold the termination signal pending.
  kill(-pid_, SIGCONT);
  kill(-pid_, SIGTERM);
  for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) != pid_; ++i) usleep(20000);
  // Session processes that outlived the listener, and a listener that ignored SIGTERM.
  kill(-pid_, SIGKILL);
  waitpid(pid_, nullptr, WNOHANG);
  pid_ = -1;
}
