// TLS channel against peers that are not ours: socat's OpenSSL server with a self-signed
// certificate relaying to a scripted backend, and raw TCP peers that break the handshake.
// Every wait is bounded; the channel's time-outs keep each failure within a few seconds.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "net.h"
#include "ssl_cli.h"
#include "tls_peers.h"

namespace {

using clock_type = std::chrono::steady_clock;

int ms_since(clock_type::time_point start) {
  return int(std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - start).count());
}

const char kForcedSuiteName[] = "TLS-RSA-WITH-AES-256-CBC-SHA";

// --- backends behind socat ---------------------------------------------------------------------

void echo_backend(int fd, const std::atomic<bool> &stop) {
  char buf[16384];
  while (!stop) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const ssize_t r = read(fd, buf, sizeof buf);
    if (r <= 0 || !peer_write_all(fd, buf, size_t(r))) return;
  }
}

void ten_bytes_then_close(int fd, const std::atomic<bool> &) { (void)peer_write_all(fd, "0123456789", 10); }

void ten_bytes_then_hold(int fd, const std::atomic<bool> &stop) {
  if (!peer_write_all(fd, "0123456789", 10)) return;
  while (!stop && !peer_wait_eof(fd, 100)) {
  }
}

// --- raw peers that break the handshake --------------------------------------------------------

// Reads the client's first record whole, so that closing afterwards is an orderly end of stream.
bool read_client_hello(int fd) {
  unsigned char head[5];
  if (!peer_read_exact(fd, head, sizeof head, 3000)) return false;
  std::vector<unsigned char> body(size_t(head[3]) << 8 | head[4]);
  return peer_read_exact(fd, body.data(), body.size(), 3000);
}

void close_after_hello(int fd, const std::atomic<bool> &) { (void)read_client_hello(fd); }

void answer_plain_text(int fd, const std::atomic<bool> &stop) {
  if (!read_client_hello(fd)) return;
  const char reply[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
  if (!peer_write_all(fd, reply, sizeof reply - 1)) return;
  while (!stop && !peer_wait_eof(fd, 100)) {
  }
}

void never_answer(int fd, const std::atomic<bool> &stop) {
  while (!stop && !peer_wait_eof(fd, 100)) {
  }
}

std::vector<char> pattern(size_t n) {
  std::vector<char> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = char(i * 7 + i / 251);
  return bytes;
}

// --- fixture -------------------------------------------------------------------------------------

class SslCliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    cert_ = new test_cert;
    conf_ = ssl_cli_conf_new();
  }
  static void TearDownTestSuite() {
    ssl_cli_conf_free(conf_);
    conf_ = nullptr;
    delete cert_;
    cert_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(cert_->ok()) << "openssl could not make the test certificate";
    ASSERT_NE(conf_, nullptr);
  }

  void TearDown() override {
    sock_fault_set(nullptr);
    ssl_cli_close(conn_);
    (void)net_close(&chan_);
  }

  // A connected socket channel to 127.0.0.1:port with the given time-out.
  void open_channel(int port, int timeout_ms) {
    sock_param param{};
    param.connect_timeout = 3000;
    verr_info connect_err{};
    chan_.handle = sock_connect("127.0.0.1", port, &param, &connect_err);
    ASSERT_NE(chan_.handle, 0u) << connect_err.text;
    chan_.timeout = timeout_ms;
  }

  // Channel plus handshake through a socat server relaying to backend.
  void connect_through_socat(const tcp_peer &backend, const std::string &server_cipher, const char *client_cipher) {
    server_ = std::make_unique<socat_tls_server>(*cert_, backend.port(), server_cipher);
    ASSERT_TRUE(server_->ok()) << server_->log_text();
    open_channel(server_->port(), 3000);
    conn_ = ssl_cli_connect(conf_, &chan_, client_cipher, &err_);
  }

  // Writes the bytes through the channel and reads the echo back.
  void expect_echo(const std::vector<char> &out) {
    ASSERT_EQ(net_write(&chan_, out.data(), int(out.size())), int(out.size()));
    std::vector<char> in(out.size());
    ASSERT_EQ(net_read(&chan_, in.data(), int(in.size())), int(in.size()));
    EXPECT_EQ(in, out);
  }

  static test_cert *cert_;
  static ssl_cli_conf *conf_;
  std::unique_ptr<socat_tls_server> server_;
  net_sock chan_;
  ssl_cli_conn *conn_ = nullptr;
  verr_info err_{};
};

test_cert *SslCliTest::cert_ = nullptr;
ssl_cli_conf *SslCliTest::conf_ = nullptr;

// --- handshake with an OpenSSL server ---------------------------------------------------------------

struct socat_case {
  const char *name;
  const char *server_cipher;  // OpenSSL cipher list of the server; empty: its default
  const char *client_cipher;  // the session's cipher option
  const char *suite;          // expected suite; null: any, empty: the handshake must fail
};

const socat_case kSocatCases[] = {
    {"DefaultSuites", "", "", nullptr},
    {"NoCipherOptionAtAll", "", nullptr, nullptr},
    {"ForcedSuiteOffered", "AES256-SHA", "aes_256_ecb", kForcedSuiteName},
    {"ForcedSuiteInCapitals", "AES256-SHA", "AES_256_ECB", kForcedSuiteName},
    {"OtherOptionOffersDefaults", "ECDHE-RSA-AES128-GCM-SHA256", "aes_256_cbc",
     "TLS-ECDHE-RSA-WITH-AES-128-GCM-SHA256"},
    {"ForcedSuiteMissingOnServer", "ECDHE-RSA-AES128-GCM-SHA256", "aes_256_ecb", ""},
};

class SslCliSocatTest : public SslCliTest, public ::testing::WithParamInterface<socat_case> {};

TEST_P(SslCliSocatTest, HandshakeThenEchoBothWays) {
  const socat_case &c = GetParam();
  tcp_peer backend(echo_backend);
  ASSERT_NE(backend.port(), 0);
  ASSERT_NO_FATAL_FAILURE(connect_through_socat(backend, c.server_cipher, c.client_cipher));

  if (c.suite && !*c.suite) {
    EXPECT_EQ(conn_, nullptr);
    EXPECT_EQ(err_.code, VERR_NET_PROTOCOL_ERROR);
    EXPECT_NE(strstr(err_.text, "mbedtls_ssl_handshake eno="), nullptr) << err_.text;
    EXPECT_NE(strstr(err_.text, "fatal alert"), nullptr) << err_.text;
    EXPECT_EQ(chan_.ssl, nullptr);
    EXPECT_EQ(chan_.read_proc, nullptr);
    EXPECT_EQ(chan_.write_proc, nullptr);
    return;
  }
  ASSERT_NE(conn_, nullptr) << err_.text << "\n" << server_->log_text();
  EXPECT_STREQ(ssl_cli_get_version(conn_), "TLSv1.2");
  if (c.suite) {
    EXPECT_STREQ(ssl_cli_get_ciphersuite(conn_), c.suite);
  }
  EXPECT_EQ(chan_.ssl, conn_);

  const std::string ping = "ping over tls";
  expect_echo(std::vector<char>(ping.begin(), ping.end()));
}

INSTANTIATE_TEST_SUITE_P(Socat, SslCliSocatTest, ::testing::ValuesIn(kSocatCases),
                         [](const auto &info) { return std::string(info.param.name); });

// --- handshake with peers that are no TLS servers -------------------------------------------------

struct broken_peer_case {
  const char *name;
  tcp_peer::handler behaviour;
  verrno status;
  const char *text;  // part of the library's description
  int timeout_ms;    // the channel's
};

const broken_peer_case kBrokenPeers[] = {
    {"ClosesAfterClientHello", close_after_hello, VERR_NET_SHUTDOWN, "EOF", 3000},
    {"AnswersPlainText", answer_plain_text, VERR_NET_PROTOCOL_ERROR, "SSL - ", 3000},
    {"NeverAnswers", never_answer, VERR_TIMEOUT, "timed out", 500},
};

class SslCliBrokenPeerTest : public SslCliTest, public ::testing::WithParamInterface<broken_peer_case> {};

TEST_P(SslCliBrokenPeerTest, HandshakeFailsWithinTheTimeOut) {
  const broken_peer_case &c = GetParam();
  tcp_peer peer(c.behaviour);
  ASSERT_NE(peer.port(), 0);
  ASSERT_NO_FATAL_FAILURE(open_channel(peer.port(), c.timeout_ms));

  const auto start = clock_type::now();
  conn_ = ssl_cli_connect(conf_, &chan_, "", &err_);
  const int elapsed = ms_since(start);

  EXPECT_EQ(conn_, nullptr);
  EXPECT_EQ(err_.code, c.status) << err_.text;
  EXPECT_NE(strstr(err_.text, "mbedtls_ssl_handshake eno="), nullptr) << err_.text;
  EXPECT_NE(strstr(err_.text, c.text), nullptr) << err_.text;
  EXPECT_EQ(chan_.ssl, nullptr);
  EXPECT_LT(elapsed, c.timeout_ms + 2000);
}

INSTANTIATE_TEST_SUITE_P(Raw, SslCliBrokenPeerTest, ::testing::ValuesIn(kBrokenPeers),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(SslCliTest, ConnectRefusesAChannelWithoutSocket) {
  EXPECT_EQ(ssl_cli_connect(conf_, &chan_, "", &err_), nullptr);
  EXPECT_EQ(err_.code, VERR_INVALID_PARAMETER);
  EXPECT_EQ(ssl_cli_connect(nullptr, &chan_, "", nullptr), nullptr);
}

// --- the data phase ----------------------------------------------------------------------------------

struct echo_case {
  const char *name;
  size_t size;
  bool one_byte_reads;  // the transport hands over one byte per receive
};

const echo_case kEchoCases[] = {
    {"SpansRecords", 70000, false},  // more than four records each way: both hooks loop
    {"OneByteTransportReads", 3000, true},  // records are put together from the pieces
};

class SslCliEchoTest : public SslCliTest, public ::testing::WithParamInterface<echo_case> {};

TEST_P(SslCliEchoTest, BytesComeBackUnchanged) {
  const echo_case &c = GetParam();
  tcp_peer backend(echo_backend);
  const sock_fault trickle{SOCK_FAULT_SHORT_READ, SOCK_FAULT_RECV, 0, 0, 0, 1};
  if (c.one_byte_reads) sock_fault_set(&trickle);
  ASSERT_NO_FATAL_FAILURE(connect_through_socat(backend, "", ""));
  ASSERT_NE(conn_, nullptr) << err_.text;
  expect_echo(pattern(c.size));
}

INSTANTIATE_TEST_SUITE_P(Data, SslCliEchoTest, ::testing::ValuesIn(kEchoCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Ten bytes arrive, then the backend closes or goes quiet: the read returns the ten either way,
// at once on the close, after the channel's time-out when quiet.
struct short_read_case {
  const char *name;
  tcp_peer::handler backend;
  bool closes;
  int timeout_ms;  // the channel's, for the read
  int min_ms, max_ms;
};

const short_read_case kShortReads[] = {
    {"PeerClosesMidResponse", ten_bytes_then_close, true, 5000, 0, 4000},
    {"PeerGoesQuiet", ten_bytes_then_hold, false, 400, 350, 3000},
};

class SslCliShortReadTest : public SslCliTest, public ::testing::WithParamInterface<short_read_case> {};

TEST_P(SslCliShortReadTest, ReadKeepsTheBytesThatArrived) {
  const short_read_case &c = GetParam();
  tcp_peer backend(c.backend);
  ASSERT_NO_FATAL_FAILURE(connect_through_socat(backend, "", ""));
  ASSERT_NE(conn_, nullptr) << err_.text;
  chan_.timeout = c.timeout_ms;

  char in[100] = {};
  const auto start = clock_type::now();
  EXPECT_EQ(net_read(&chan_, in, sizeof in), 10);
  const int elapsed = ms_since(start);
  EXPECT_GE(elapsed, c.min_ms);
  EXPECT_LT(elapsed, c.max_ms);
  EXPECT_EQ(std::string(in, 10), "0123456789");
  if (c.closes) {
    EXPECT_LE(net_read(&chan_, in, sizeof in), 0) << "nothing more after the close";
  }
}

INSTANTIATE_TEST_SUITE_P(Data, SslCliShortReadTest, ::testing::ValuesIn(kShortReads),
                         [](const auto &info) { return std::string(info.param.name); });

// A write that times out leaves part of a record unsent; going on would splice the next bytes
// into it, so the channel refuses further writes instead.
TEST_F(SslCliTest, WriteTimeOutGivesShortCountThenRefusesWrites) {
  tcp_peer backend(echo_backend);
  ASSERT_NO_FATAL_FAILURE(connect_through_socat(backend, "", ""));
  ASSERT_NE(conn_, nullptr) << err_.text;
  chan_.timeout = 300;

  const sock_fault stall{SOCK_FAULT_DELAY, SOCK_FAULT_SEND, 0, 0, 2000, 0};
  sock_fault_set(&stall);
  const std::vector<char> out = pattern(1000);
  const auto start = clock_type::now();
  EXPECT_LT(net_write(&chan_, out.data(), int(out.size())), int(out.size()));
  EXPECT_LT(ms_since(start), 1900);
  EXPECT_TRUE(sock_fault_fired());
  EXPECT_EQ(net_write(&chan_, out.data(), int(out.size())), -1);
}

// The close-notify alone must end the server's side: the socket is still open when it arrives.
TEST_F(SslCliTest, CloseSendsCloseNotifyAndDetachesTheHooks) {
  std::atomic<bool> backend_saw_end{false};
  tcp_peer backend([&](int fd, const std::atomic<bool> &) { backend_saw_end = peer_wait_eof(fd, 5000); });
  ASSERT_NO_FATAL_FAILURE(connect_through_socat(backend, "", ""));
  ASSERT_NE(conn_, nullptr) << err_.text;

  ssl_cli_close(conn_);
  conn_ = nullptr;
  EXPECT_EQ(chan_.ssl, nullptr);
  EXPECT_EQ(chan_.read_proc, nullptr);
  EXPECT_EQ(chan_.write_proc, nullptr);
  const auto start = clock_type::now();
  while (!backend_saw_end && ms_since(start) < 5000) usleep(20 * 1000);
  EXPECT_TRUE(backend_saw_end);
}

}  // namespace
