// The connect step against loopback: success with the requested socket options, a refused port,
// a peer that never answers (a listener whose accept queue is full), the zero time-out, the stop
// control from the same and from another thread, and the address texts in error records.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net.h"
#include "net_peer.h"
#include "pal_env.h"

namespace {

int64_t ms_since(uint64_t start) { return int64_t(os_get_ms() - start); }

sock_param direct(int timeout_ms) {
  sock_param p{};
  p.connect_timeout = timeout_ms;
  return p;
}

// A listener that takes one connection into its queue and then lets new SYNs go unanswered.
class stalled_peer {
 public:
  stalled_peer() : listener_(0) {
    sock_param p = direct(0);
    p.no_wait = 1;
    for (int i = 0; i < 2; ++i) fillers_.push_back(sock_connect("127.0.0.1", listener_.port(), &p, nullptr));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~stalled_peer() {
    for (uint32_t s : fillers_) os_socket_exit(s);
  }
  int port() const { return listener_.port(); }
  std::string where() const { return "127.0.0.1:" + std::to_string(port()); }

 private:
  loopback_listener listener_;
  std::vector<uint32_t> fillers_;
};

TEST(Connect, SucceedsWithNoDelayAndTheRequestedBuffers) {
  loopback_listener l;
  sock_param p = direct(2000);
  p.buf_size = 256 * 1024;
  verr_info err{};
  const uint32_t sock = sock_connect("127.0.0.1", l.port(), &p, &err);
  ASSERT_NE(sock, 0u) << err.text;
  int nodelay = 0, rcv = 0, snd = 0, blocking = 1;
  EXPECT_TRUE(os_socket_ctrl(sock, OS_SOCKET_CTRL_GET_TCP_NODELAY, uintptr_t(&nodelay)));
  EXPECT_TRUE(os_socket_ctrl(sock, OS_SOCKET_CTRL_GET_RECV_BUFF_SIZE, uintptr_t(&rcv)));
  EXPECT_TRUE(os_socket_ctrl(sock, OS_SOCKET_CTRL_GET_SEND_BUFF_SIZE, uintptr_t(&snd)));
  EXPECT_TRUE(os_socket_ctrl(sock, OS_SOCKET_CTRL_GET_BLOCKING, uintptr_t(&blocking)));
  EXPECT_NE(nodelay, 0);
  EXPECT_GE(rcv, p.buf_size);
  EXPECT_GE(snd, p.buf_size);
  EXPECT_EQ(blocking, 0) << "every socket is non-blocking";
  os_socket_exit(sock);
}

TEST(Connect, RefusedPortFailsAtOnceWithTheAddressAndTheSystemText) {
  const int port = unused_port();
  sock_param p = direct(3000);
  verr_info err{};
  const uint64_t start = os_get_ms();
  EXPECT_EQ(sock_connect("127.0.0.1", port, &p, &err), 0u);
  EXPECT_LT(ms_since(start), 1000);
  EXPECT_EQ(err.code, VERR_NET_CONNECTION_REFUSED);
  const std::string expect = "connect 127.0.0.1:" + std::to_string(port) + " : " + os_errno_str(ECONNREFUSED);
  EXPECT_EQ(std::string(err.text), expect);
  EXPECT_STREQ(err.file, "src/lib/libnet/sock_cli.cpp");
}

TEST(Connect, UnansweredPeerTimesOut) {
  stalled_peer peer;
  sock_param p = direct(400);
  verr_info err{};
  const uint64_t start = os_get_ms();
  EXPECT_EQ(sock_connect("127.0.0.1", peer.port(), &p, &err), 0u);
  EXPECT_GE(ms_since(start), 390);
  EXPECT_LT(ms_since(start), 1500);
  EXPECT_EQ(err.code, VERR_GENERAL_FAILURE);
  EXPECT_EQ(std::string(err.text), "connect " + peer.where() + " timeout");
}

TEST(Connect, ZeroTimeOutFailsWithoutWaiting) {
  stalled_peer peer;
  sock_param p = direct(0);
  verr_info err{};
  const uint64_t start = os_get_ms();
  EXPECT_EQ(sock_connect("127.0.0.1", peer.port(), &p, &err), 0u);
  EXPECT_LT(ms_since(start), 190) << "one wait step would take 200 ms";
  EXPECT_EQ(std::string(err.text), "connect " + peer.where() + " timeout");
}

TEST(Connect, StopControlCancelsTheWait) {
  stalled_peer peer;
  struct seen_t {
    int timeout = 0;
  } seen;
  stop_ctl by_check;
  by_check.arg = &seen;
  by_check.check = [](void *arg, int timeout_ms) {
    static_cast<seen_t *>(arg)->timeout = timeout_ms;
    return 1;
  };
  stop_ctl by_thread;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    by_thread.stop = 1;
  });
  for (stop_ctl *stop : {&by_check, &by_thread}) {
    sock_param p = direct(5000);
    p.stop = stop;
    verr_info err{};
    const uint64_t start = os_get_ms();
    EXPECT_EQ(sock_connect("127.0.0.1", peer.port(), &p, &err), 0u);
    EXPECT_LT(ms_since(start), 1000) << "the wait wakes every 200 ms to look at the stop control";
    EXPECT_EQ(err.code, VERR_GENERAL_FAILURE);
    EXPECT_STREQ(err.text, "User request stop");
  }
  canceller.join();
  EXPECT_EQ(seen.timeout, 5000);
}

TEST(Connect, NoWaitReturnsTheSocketBeforeTheConnectCompletes) {
  stalled_peer peer;
  sock_param p = direct(5000);
  p.no_wait = 1;
  const uint64_t start = os_get_ms();
  const uint32_t sock = sock_connect("127.0.0.1", peer.port(), &p, nullptr);
  EXPECT_NE(sock, 0u);
  EXPECT_LT(ms_since(start), 1000) << "the connect time-out is 5000 ms";
  os_socket_exit(sock);
}

TEST(Connect, UnresolvableHostAndUnknownProxyType) {
  sock_param p = direct(1000);
  verr_info err{};
  EXPECT_EQ(sock_connect("", 80, &p, &err), 0u);
  EXPECT_EQ(err.code, VERR_INVALID_PARAMETER);
  EXPECT_STREQ(err.text, "addrinfo_addr  failed");
  p.proxy.type = 9;
  EXPECT_EQ(sock_connect("127.0.0.1", 80, &p, &err), 0u);
  EXPECT_EQ(err.code, VERR_GENERAL_FAILURE);
  EXPECT_STREQ(err.text, "Unsupported proxy type=9");
}

TEST(Connect, UdpSocketReachesItsPeer) {
  const uint32_t rx = os_socket_init(OS_SOCKET_UDP, OS_AF_INET);
  os_ipaddr addr{};
  addr.family = OS_AF_INET;
  addr.ip[0] = 127;
  addr.ip[3] = 1;
  ASSERT_TRUE(os_socket_bind(rx, &addr));
  ASSERT_TRUE(os_socket_local(rx, &addr));
  const uint32_t tx = sock_udp_open("127.0.0.1", addr.port, nullptr);
  ASSERT_NE(tx, 0u);
  EXPECT_EQ(os_socket_send(tx, "ping", 4), 4);
  ASSERT_GT(os_socket_wait(rx, OS_SOCKET_READABLE, 1000), 0);
  char buf[8];
  os_ipaddr from{};
  EXPECT_EQ(os_socket_urecv(rx, &from, buf, sizeof buf), 4);
  EXPECT_EQ(from.family, OS_AF_INET);
  EXPECT_EQ(from.ip[0], 127);
  os_socket_exit(tx);
  os_socket_exit(rx);
}

struct addr_case {
  os_ipaddr addr;
  const char *text;
};

TEST(OsSocket, AddressTexts) {
  const addr_case cases[] = {
      {{OS_AF_INET, 6688, {10, 1, 2, 3}, ""}, "10.1.2.3:6688"},
      {{OS_AF_INET6, 443, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, ""}, "[::1]:443"},
      {{OS_AF_UNSPEC, 0, {}, ""}, "0.0.0.0:0"},
      {{OS_AF_UNSPEC, 21, {}, ""}, "0.0.0.0:21"},
  };
  for (const addr_case &c : cases) {
    char text[OS_IPADDR_TEXT_SIZE];
    EXPECT_STREQ(os_ipaddr_cstr(&c.addr, text), c.text);
  }
}

TEST(OsSocket, UnknownControlCommandFails) {
  const uint32_t sock = os_socket_init(OS_SOCKET_TCP, OS_AF_INET);
  ASSERT_NE(sock, 0u);
  EXPECT_FALSE(os_socket_ctrl(sock, 99, 0));
  EXPECT_TRUE(os_socket_ctrl(sock, OS_SOCKET_CTRL_SET_KEEPALIVE, 1));
  os_socket_exit(sock);
}

TEST(OsSocket, WaitReportsAPendingErrorAsNegative) {
  const int port = unused_port();
  const uint32_t sock = os_socket_init(OS_SOCKET_TCP, OS_AF_INET);
  os_ipaddr addr{};
  addr.family = OS_AF_INET;
  addr.ip[0] = 127;
  addr.ip[3] = 1;
  addr.port = uint16_t(port);
  const int first = os_socket_connect(sock, &addr);
  if (first == 0) {
    errno = 0;
    EXPECT_EQ(os_socket_wait(sock, OS_SOCKET_WRITABLE, 1000), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
  } else {
    EXPECT_EQ(first, -1);
  }
  os_socket_exit(sock);
}

}  // namespace
