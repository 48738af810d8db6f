// The listening socket on 127.0.0.1 only, the port announcement, and one thread per client.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "pal_log.h"
#include "peer_server.h"
#include "wire_frame.h"

static const char kLogTag[] = "peer";

namespace peer {
namespace {

// Written to a temporary name and renamed, so a test polling the file never reads half a number.
bool write_port_file(const std::string &path, int port) {
  const std::string tmp = path + ".tmp";
  FILE *f = fopen(tmp.c_str(), "w");
  if (!f) return false;
  const bool wrote = fprintf(f, "%d\n", port) > 0;
  const bool closed = fclose(f) == 0;
  return wrote && closed && rename(tmp.c_str(), path.c_str()) == 0;
}

int listen_loopback(int port, int &bound_port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1;
  (void)setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
    (void)close(fd);
    return -1;
  }
  bound_port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

int run_listener(PeerServer &server) {
  int port = 0;
  const int lfd = listen_loopback(server.options.port, port);
  if (lfd < 0) {
    ZLOG(LOG2_ERR, "cannot listen on 127.0.0.1:%d: %s\n", server.options.port, strerror(errno));
    return 1;
  }
  SocketOwner listening(lfd);
  printf("%d\n", port);
  fflush(stdout);
  if (!server.options.port_file.empty() && !write_port_file(server.options.port_file, port)) {
    ZLOG(LOG2_ERR, "cannot write %s: %s\n", server.options.port_file.c_str(), strerror(errno));
    return 1;
  }
  ZLOG(LOG2_INFO, "serving %s on 127.0.0.1:%d%s\n", server.options.dir.c_str(), port, server.tls ? " (tls)" : "");
  for (;;) {
    const int fd = accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::thread([&server, fd] {
      const int one = 1;
      (void)setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      std::unique_ptr<Link> link = server.tls ? server.tls->accept(fd) : make_plain_link(fd);
      if (link) serve_connection(server, std::move(link));
    }).detach();
  }
}

}  // namespace peer
