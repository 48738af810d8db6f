// The channel's rules on both kinds of link the system meets (a local socket pair and TCP over
// loopback): exact counts, short counts on time-out and on an orderly close, the closed channel
// failing at once, abort and stop, line reads, the TLS hook dispatch and the fault seam.
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

enum class link_kind { socket_pair, loopback };

// Two connected ends: `near` is the channel under test, `far` the peer's raw socket.
class link_pair {
 public:
  explicit link_pair(link_kind kind, int timeout_ms = 300) {
    uint32_t near = 0;
    if (kind == link_kind::socket_pair) {
      uint32_t ends[2] = {};
      if (os_socket_pair(ends)) {
        near = ends[0];
        far_ = ends[1];
      }
    } else {
      loopback_listener l;
      sock_param p{};
      p.connect_timeout = 2000;
      near = sock_connect("127.0.0.1", l.port(), &p, nullptr);
      far_ = l.accept_one();
    }
    chan.handle = near;
    chan.timeout = timeout_ms;
  }
  ~link_pair() {
    (void)net_close(&chan);
    os_socket_exit(far_);
  }
  void peer_send(const std::string &bytes) const {
    net_sock c;
    c.handle = far_;
    c.timeout = 1000;
    ASSERT_EQ(net_write(&c, bytes.data(), int(bytes.size())), int(bytes.size()));
  }
  void peer_close() {
    os_socket_exit(far_);
    far_ = 0;
  }
  uint32_t far() const { return far_; }

  net_sock chan;

 private:
  uint32_t far_ = 0;
};

int64_t ms_since(uint64_t start) { return int64_t(os_get_ms() - start); }

class ChanTest : public ::testing::TestWithParam<link_kind> {
 protected:
  void TearDown() override { sock_fault_set(nullptr); }
};

TEST_P(ChanTest, ExactCountArrivesInPieces) {
  link_pair link(GetParam(), 2000);
  ASSERT_NE(link.chan.handle, 0u);
  std::thread sender([&] {
    link.peer_send("hel");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    link.peer_send("lo!");
  });
  char buf[6];
  EXPECT_EQ(net_read(&link.chan, buf, 6), 6);
  sender.join();
  EXPECT_EQ(std::string(buf, 6), "hello!");
}

TEST_P(ChanTest, TimeOutReturnsThePartialCount) {
  link_pair link(GetParam(), 300);
  link.peer_send("abc");
  char buf[10];
  const uint64_t start = os_get_ms();
  EXPECT_EQ(net_read(&link.chan, buf, 10), 3);
  EXPECT_GE(ms_since(start), 280);
  EXPECT_LT(ms_since(start), 1500);
  EXPECT_EQ(link.chan.disconnected, 0) << "a time-out is not a closed peer";
  link.peer_send("d");
  EXPECT_EQ(net_read(&link.chan, buf, 1), 1) << "the channel stays usable after a time-out";
}

TEST_P(ChanTest, OrderlyCloseGivesShortCountAtOnceThenFailsFast) {
  link_pair link(GetParam(), 3000);
  link.peer_send("xy");
  link.peer_close();
  char buf[10];
  const uint64_t start = os_get_ms();
  EXPECT_EQ(net_read(&link.chan, buf, 10), 2);
  EXPECT_LT(ms_since(start), 1000) << "a closed peer must not wait for the time-out";
  EXPECT_EQ(link.chan.disconnected, 1);
  EXPECT_EQ(net_read(&link.chan, buf, 1), -1);
  EXPECT_EQ(net_write(&link.chan, "z", 1), -1);
}

TEST_P(ChanTest, AbortFromAnotherThreadEndsAPendingRead) {
  link_pair link(GetParam(), 5000);
  std::thread aborter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    link.chan.abort = 1;
  });
  char buf[4];
  const uint64_t start = os_get_ms();
  EXPECT_EQ(net_read(&link.chan, buf, 4), -1);
  EXPECT_LT(ms_since(start), 2000);
  aborter.join();
  EXPECT_EQ(net_close(&link.chan), 0);
  EXPECT_EQ(link.chan.abort, 0);
  EXPECT_EQ(link.chan.handle, 0u);
}

TEST_P(ChanTest, StopControlEndsAReadWithTheCancelledErrno) {
  struct counter {
    int calls = 0;
  } seen;
  stop_ctl by_flag;
  by_flag.stop = 1;
  stop_ctl by_check;
  by_check.arg = &seen;
  by_check.check = [](void *arg, int timeout_ms) {
    auto *c = static_cast<counter *>(arg);
    EXPECT_EQ(timeout_ms, 5000);
    return ++c->calls >= 3 ? 1 : 0;
  };
  for (stop_ctl *stop : {&by_flag, &by_check}) {
    link_pair link(GetParam(), 5000);
    link.chan.stop = stop;
    char buf[4];
    errno = 0;
    const uint64_t start = os_get_ms();
    EXPECT_EQ(net_read(&link.chan, buf, 4), -1);
    EXPECT_EQ(errno, verr_2_posix(VERR_CANCELLED));
    EXPECT_LT(ms_since(start), 3000);
  }
  EXPECT_EQ(seen.calls, 3);
}

TEST_P(ChanTest, WriteToAPeerThatDoesNotReadEndsWithAShortCount) {
  link_pair link(GetParam(), 300);
  std::vector<char> big(16 << 20, 'q');
  const uint64_t start = os_get_ms();
  const int sent = net_write(&link.chan, big.data(), int(big.size()));
  EXPECT_GT(sent, 0);
  EXPECT_LT(sent, int(big.size()));
  EXPECT_GE(ms_since(start), 280);
}

TEST_P(ChanTest, WriteToAClosedPeerFails) {
  link_pair link(GetParam(), 1000);
  link.peer_close();
  std::vector<char> data(1 << 20, 'w');
  EXPECT_EQ(net_write(&link.chan, data.data(), int(data.size())), -1);
}

INSTANTIATE_TEST_SUITE_P(Links, ChanTest, ::testing::Values(link_kind::socket_pair, link_kind::loopback),
                         [](const auto &info) {
                           return std::string(info.param == link_kind::socket_pair ? "SocketPair" : "Loopback");
                         });

TEST(ChanDispatch, TypesAndZeroLengths) {
  net_sock unknown;
  unknown.type = 6;
  char c = 0;
  EXPECT_EQ(net_read(&unknown, &c, 1), -1);
  EXPECT_EQ(net_write(&unknown, &c, 1), -1);
  EXPECT_EQ(net_close(&unknown), -1);
  link_pair link(link_kind::socket_pair);
  EXPECT_EQ(net_write(&link.chan, "", 0), 0);
  EXPECT_EQ(net_read(&link.chan, &c, 0), 0);
}

// A TLS stand-in that upper-cases what it reads, to see which path the channel took.
int upper_read(net_sock *chan, void *buf, int n) {
  const int got = net_sock_read(chan, buf, n);
  for (int i = 0; i < got; ++i) static_cast<char *>(buf)[i] = char(toupper(static_cast<char *>(buf)[i]));
  return got;
}
int plain_write(net_sock *chan, const void *buf, int n) { return net_sock_write(chan, buf, n); }

TEST(ChanDispatch, TlsChannelsGoThroughTheirHooksOrTheProcessWidePair) {
  link_pair link(link_kind::socket_pair);
  int tls_state = 0;
  link.chan.ssl = &tls_state;
  char buf[3];
  link.peer_send("abc");
  net_ssl_set_procs(nullptr, nullptr);
  EXPECT_EQ(net_read(&link.chan, buf, 3), -1) << "ssl without any hook is an internal error";
  net_ssl_set_procs(upper_read, plain_write);
  EXPECT_EQ(net_read(&link.chan, buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "ABC");
  net_ssl_set_procs(nullptr, nullptr);
  link.chan.read_proc = upper_read;
  link.chan.write_proc = plain_write;
  link.peer_send("xyz");
  EXPECT_EQ(net_read(&link.chan, buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "XYZ");
}

struct line_case {
  const char *name;
  std::string bytes;  // what the peer sends before closing
  bool str;           // net_read_str instead of net_read_line
  int size;
  std::vector<std::pair<int, std::string>> reads;  // results and texts, in order
};

class LineTest : public ::testing::TestWithParam<line_case> {};

TEST_P(LineTest, ReadsOneLineAtATime) {
  const line_case &c = GetParam();
  link_pair link(link_kind::socket_pair, 200);
  link.peer_send(c.bytes);
  link.peer_close();
  for (const auto &[result, text] : c.reads) {
    std::vector<char> buf(size_t(c.size), 'X');
    const int r = c.str ? net_read_str(&link.chan, buf.data(), c.size) : net_read_line(&link.chan, buf.data(), c.size);
    EXPECT_EQ(r, result);
    if (r >= 0) {
      EXPECT_EQ(std::string(buf.data()), text);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineTest,
    ::testing::Values(line_case{"CrLfRemoved", "abc\r\nde\n", false, 64, {{3, "abc"}, {2, "de"}, {0, ""}}},
                      line_case{"EmptyLinesAreOne", std::string("\n\r\n\0x", 5), false, 64, {{1, ""}, {1, ""}, {1, ""}, {1, "x"}}},
                      line_case{"CloseEndsTheLineThenFails", "tail", false, 64, {{4, "tail"}, {-1, ""}}},
                      line_case{"LineMustFitSizeMinusOne", "abcd\n", false, 4, {{-1, ""}}},
                      line_case{"LineThatFitsExactly", "abc\n", false, 4, {{3, "abc"}}},
                      line_case{"StringKeepsLineFeeds", std::string("x\ny\0z", 5), true, 64, {{3, "x\ny"}, {1, "z"}}}),
    [](const auto &info) { return std::string(info.param.name); });

// --- fault seam ---------------------------------------------------------------------------------

TEST(ChanFault, DropAfterSomeBytesLooksLikeAClosedPeer) {
  link_pair link(link_kind::loopback, 2000);
  sock_fault drop{SOCK_FAULT_DROP, SOCK_FAULT_RECV, link.chan.handle, 5, 0, 0};
  sock_fault_set(&drop);
  link.peer_send("0123456789");
  char buf[10];
  EXPECT_EQ(net_read(&link.chan, buf, 10), 5);
  EXPECT_EQ(std::string(buf, 5), "01234");
  EXPECT_TRUE(sock_fault_fired());
  EXPECT_EQ(link.chan.disconnected, 1);
  sock_fault_set(nullptr);
}

TEST(ChanFault, DroppedSendFailsAfterTheBytesBeforeIt) {
  link_pair link(link_kind::loopback, 1000);
  sock_fault drop{SOCK_FAULT_DROP, SOCK_FAULT_SEND, 0, 3, 0, 0};
  sock_fault_set(&drop);
  EXPECT_EQ(net_write(&link.chan, "abcdef", 6), -1);
  sock_fault_set(nullptr);
  net_sock far;
  far.handle = link.far();
  far.timeout = 1000;
  char buf[6];
  EXPECT_EQ(net_read(&far, buf, 6), 3) << "the peer sees the first bytes, then the close";
  EXPECT_EQ(far.disconnected, 1);
  far.handle = 0;
}

TEST(ChanFault, DelayStallsReadsPastTheTimeOut) {
  link_pair link(link_kind::socket_pair, 200);
  sock_fault delay{SOCK_FAULT_DELAY, SOCK_FAULT_RECV, 0, 2, 500, 0};
  sock_fault_set(&delay);
  link.peer_send("abcd");
  char buf[4];
  EXPECT_EQ(net_read(&link.chan, buf, 4), 2) << "two bytes pass, then the link stalls";
  EXPECT_EQ(net_read(&link.chan, buf, 2), 0) << "still stalled";
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(net_read(&link.chan, buf, 2), 2);
  EXPECT_EQ(std::string(buf, 2), "cd");
  sock_fault_set(nullptr);
}

TEST(ChanFault, ShortReadsStillCompleteTheCount) {
  link_pair link(link_kind::socket_pair, 1000);
  sock_fault dribble{SOCK_FAULT_SHORT_READ, SOCK_FAULT_RECV, 0, 0, 0, 1};
  sock_fault_set(&dribble);
  const std::string text(100, 'k');
  link.peer_send(text);
  std::string got(100, '\0');
  EXPECT_EQ(net_read(&link.chan, got.data(), 100), 100);
  EXPECT_EQ(got, text);
  EXPECT_TRUE(sock_fault_fired());
  sock_fault_set(nullptr);
}

}  // namespace
