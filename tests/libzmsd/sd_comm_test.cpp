// Framing over a scripted loopback socket pair: the bytes of a request frame, response heads
// that are bad or short, the receive buffer's growth, the presence rule of the response parse
// and the mapping of client statuses into the error record.
#include "sd_comm.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net.h"

namespace {

using bytes = std::vector<uint8_t>;

// The client's link on one end of a connected local socket pair; the test plays the server on the
// other end through the same channel layer.
struct LoopLink {
  LoopLink() {
    ok = os_socket_pair(socks);
    link.chan.handle = socks[0];
    link.chan.timeout = 200;
    peer.handle = socks[1];
    peer.timeout = 200;
  }
  ~LoopLink() {
    sd_link_release(&link);
    (void)net_close(&link.chan);
    (void)net_close(&peer);
  }
  bool ok = false;
  uint32_t socks[2] = {0, 0};
  sd_link link{};
  net_sock peer;
};

class Framing : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void reset() {
    loop_.reset();
    loop_ = std::make_unique<LoopLink>();
    ASSERT_TRUE(loop_->ok);
    link_ = &loop_->link;
    link_->err = &err_;
  }
  void peer_send(const bytes &b) {
    ASSERT_EQ(net_write(&loop_->peer, b.data(), int(b.size())), int(b.size()));
  }
  void peer_close() { (void)net_close(&loop_->peer); }
  // What the client has sent so far (the peer reads with a short time-out).
  bytes peer_take() {
    bytes got(65536);
    loop_->peer.timeout = 50;
    const int n = net_read(&loop_->peer, got.data(), int(got.size()));
    got.resize(n > 0 ? size_t(n) : 0);
    return got;
  }
  bytes peer_take(size_t n) {
    bytes got(n);
    const int r = net_read(&loop_->peer, got.data(), int(n));
    got.resize(r > 0 ? size_t(r) : 0);
    return got;
  }
  // A response frame around a built message.
  bytes frame(uint8_t version, const blob_buf &msg) {
    const auto *m = reinterpret_cast<const uint8_t *>(msg.head);
    bytes f = {SD_FRAME_MAGIC0, SD_FRAME_MAGIC1, version, 0x11};
    f.insert(f.end(), m, m + blob_buf_len(&msg));
    return f;
  }
  bytes response(uint8_t version, int value_len) {
    blob_buf b{};
    EXPECT_EQ(blob_buf_init(&b, BLOB_MSG_ID), 0);
    const std::string v(size_t(value_len), 'v');
    EXPECT_EQ(blobmsg_add_field(&b, BLOBMSG_TYPE_BINARY, "data", v.data(), value_len), 0);
    bytes f = frame(version, b);
    blob_buf_free(&b);
    return f;
  }
  int receive(int *len) { return client_recv_response_imp(link_, len); }

  std::unique_ptr<LoopLink> loop_;
  sd_link *link_ = nullptr;
  verr_info err_{};
};

TEST_F(Framing, RequestFrameIsHeadThenMessage) {
  ASSERT_EQ(blob_buf_init(&link_->build, BLOB_MSG_ID), 0);
  ASSERT_EQ(blobmsg_add_u64(&link_->build, "fd", 5), 0);
  ASSERT_EQ(zmsd_send_request(link_, 12, link_->build.head, int(blob_buf_len(&link_->build))),
            SD_OK);
  const bytes want = {
      0x5a, 0x4d, 0x01, 0x0c,                          // magic, version, command 12
      0x02, 0x00, 0x00, 0x18,                          // container header
      0x85, 0x00, 0x00, 0x14,                          // INT64, raw 20
      0x00, 0x02, 'f',  'd',  0x00, 0x00, 0x00, 0x00,  // "fd"
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05,  // 5
  };
  EXPECT_EQ(peer_take(), want);
  EXPECT_EQ(link_->cmd_count, 1u);
  EXPECT_EQ(link_->last_cmd, 12);
}

TEST_F(Framing, SendCountingAndRefusals) {
  ASSERT_EQ(blob_buf_init(&link_->build, BLOB_MSG_ID), 0);
  const void *msg = link_->build.head;
  link_->recovering = 1;
  ASSERT_EQ(zmsd_send_request(link_, 4, msg, 4), SD_OK);
  EXPECT_EQ(link_->cmd_count, 0u) << "a re-send while recovering is not a new command";
  EXPECT_EQ(peer_take().size(), 8u);
  link_->recovering = 0;
  EXPECT_EQ(zmsd_send_request(link_, 4, msg, 3), SD_OK);
  EXPECT_TRUE(peer_take().empty()) << "a message shorter than its header is not sent";
  link_->recovery_failed = 1;
  EXPECT_EQ(zmsd_send_request(link_, 4, msg, 4), SD_TIMEOUT_ERROR);
  EXPECT_TRUE(peer_take().empty());
  EXPECT_EQ(link_->cmd_count, 1u);
  int len = 0;
  EXPECT_EQ(receive(&len), SD_TIMEOUT_ERROR);
}

TEST_F(Framing, FailedWriteStillReturnsOk) {
  peer_close();
  ASSERT_EQ(blob_buf_init(&link_->build, BLOB_MSG_ID), 0);
  EXPECT_EQ(zmsd_send_request(link_, 4, link_->build.head, 4), SD_OK);
}

struct HeadCase {
  const char *what;
  bytes peer;
  bool close_after;
  int want;
};

const HeadCase kHeads[] = {
    {"magic 5a 00", {0x5a, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x04}, false, SD_NET_DATA_ERROR},
    {"magic 00 4d", {0x00, 0x4d, 0x01, 0x00, 0x02, 0x00, 0x00, 0x04}, false, SD_NET_DATA_ERROR},
    {"closed before anything", {}, true, SD_TIMEOUT_ERROR},
    {"nothing within the time-out", {}, false, SD_TIMEOUT_ERROR},
    {"closed after 5 bytes", {0x5a, 0x4d, 0x01, 0x00, 0x02}, true, SD_DATA_LEN_ERROR},
    {"body short",
     {0x5a, 0x4d, 0x01, 0x00, 0x02, 0x00, 0x00, 0x10, 1, 2, 3},
     true,
     SD_DATA_LEN_ERROR},
    {"container shorter than its header",
     {0x5a, 0x4d, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00},
     false,
     SD_NET_DATA_ERROR},
    {"empty message", {0x5a, 0x4d, 0x01, 0x00, 0x02, 0x00, 0x00, 0x04}, false, SD_OK},
};

TEST_F(Framing, ResponseHeads) {
  for (const auto &c : kHeads) {
    reset();
    if (!c.peer.empty()) peer_send(c.peer);
    if (c.close_after) peer_close();
    int len = -1;
    EXPECT_EQ(receive(&len), c.want) << c.what;
  }
}

TEST_F(Framing, AbortedReadIsANetError) {
  link_->chan.abort = 1;
  int len = 0;
  EXPECT_EQ(receive(&len), SD_NET_ERROR);
}

TEST_F(Framing, RawLengthSixReadsEightAndHoldsNoField) {
  peer_send({0x5a, 0x4d, 0x01, 0x00, 0x02, 0x00, 0x00, 0x06, 0x85, 0x00, 0x00, 0x00});
  int len = 0;
  ASSERT_EQ(receive(&len), SD_OK);
  EXPECT_EQ(len, 8);
  EXPECT_EQ(sd_response_data_len(link_), 2);
  const blobmsg_policy policy[] = {{"errno", BLOBMSG_TYPE_INT32},
                                   {"errno_str", BLOBMSG_TYPE_STRING}};
  const blob_attr *tb[2];
  EXPECT_EQ(cli_blobmsg_parse(policy, 2, tb, sd_response_data(link_), sd_response_data_len(link_)),
            -1);
}

// A peer that answers a request in dribbles: the reader must gather the pieces of head and body.
TEST_F(Framing, ExchangeWithAPeerThatAnswersInPieces) {
  const bytes answer = response(2, 50);
  std::thread peer([&] {
    const bytes req = peer_take(8);
    if (req.size() != 8 || req[3] != 4) return;
    const size_t cuts[] = {0, 3, 8, 20, answer.size()};
    for (size_t i = 0; i + 1 < sizeof cuts / sizeof cuts[0]; ++i) {
      if (net_write(&loop_->peer, answer.data() + cuts[i], int(cuts[i + 1] - cuts[i])) < 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  ASSERT_EQ(blob_buf_init(&link_->build, BLOB_MSG_ID), 0);
  ASSERT_EQ(zmsd_send_request(link_, 4, link_->build.head, 4), SD_OK);
  int len = 0;
  EXPECT_EQ(receive(&len), SD_OK);
  peer.join();
  EXPECT_EQ(len, int(answer.size()) - 4);
  EXPECT_EQ(memcmp(link_->rbuf, answer.data() + 4, answer.size() - 4), 0);
  EXPECT_EQ(link_->srv_frame_ver, 2);
}

TEST_F(Framing, ServerFrameVersionIsKeptFromTheFirstResponse) {
  int len = 0;
  peer_send(response(1, 3));
  ASSERT_EQ(receive(&len), SD_OK);
  peer_send(response(7, 3));
  ASSERT_EQ(receive(&len), SD_OK);
  EXPECT_EQ(link_->srv_frame_ver, 1);
}

TEST_F(Framing, ReceiveBufferGrowsOnceAndIsReused) {
  int len = 0;
  peer_send(response(1, 84));  // 100 bytes of message
  ASSERT_EQ(receive(&len), SD_OK);
  ASSERT_EQ(len, 100);
  const uint8_t *small = link_->rbuf;
  ASSERT_NE(small, nullptr);

  const bytes big = response(1, 3984);  // 4000 bytes of message
  peer_send(big);
  ASSERT_EQ(receive(&len), SD_OK);
  ASSERT_EQ(len, 4000);
  EXPECT_EQ(memcmp(link_->rbuf, big.data() + 4, 4000), 0);
  const uint8_t *large = link_->rbuf;
  EXPECT_EQ(link_->rbuf_cap, 4004);

  peer_send(response(1, 84));
  ASSERT_EQ(receive(&len), SD_OK);
  EXPECT_EQ(link_->rbuf, large) << "a smaller response reuses the large buffer";
  EXPECT_EQ(link_->rbuf_cap, 4004);
}

// Responses to parse: built with the library's own builder, whose bytes are checked elsewhere.
class ResponseParse : public Framing {
 protected:
  void SetUp() override {
    Framing::SetUp();
    ASSERT_EQ(blob_buf_init(&msg_, BLOB_MSG_ID), 0);
  }
  void TearDown() override {
    blob_buf_free(&msg_);
    Framing::TearDown();
  }
  int parse() {
    int len = 0;
    peer_send(frame(1, msg_));
    const int status = receive(&len);
    if (status != SD_OK) return 100 + status;
    return cli_blobmsg_parse(kPolicy, 3, tb_, sd_response_data(link_), sd_response_data_len(link_));
  }
  static constexpr blobmsg_policy kPolicy[] = {{"errno", BLOBMSG_TYPE_INT32},
                                               {"errno_str", BLOBMSG_TYPE_STRING},
                                               {"fd", BLOBMSG_TYPE_INT64}};
  blob_buf msg_{};
  const blob_attr *tb_[3];
};

TEST_F(ResponseParse, SuccessNeedsEveryField) {
  link_->srv_errno = 77;
  ASSERT_EQ(blobmsg_add_u32(&msg_, "errno", 0), 0);
  ASSERT_EQ(blobmsg_add_string(&msg_, "errno_str", ""), 0);
  EXPECT_EQ(parse(), -1);
  EXPECT_EQ(link_->srv_errno, 77) << "a refused parse leaves the last server error";
  ASSERT_EQ(blobmsg_add_u64(&msg_, "fd", 9), 0);
  ASSERT_EQ(parse(), 0);
  EXPECT_EQ(zmsd_take_server_status(link_, tb_), SD_OK);
  EXPECT_EQ(link_->srv_errno, 0);
}

TEST_F(ResponseParse, ErrorAnswerNeedsNoOtherField) {
  const std::string text(5000, 'e');
  ASSERT_EQ(blobmsg_add_u32(&msg_, "errno", uint32_t(-2)), 0);
  ASSERT_EQ(blobmsg_add_string(&msg_, "errno_str", text.c_str()), 0);
  ASSERT_EQ(parse(), 0);
  ASSERT_EQ(zmsd_take_server_status(link_, tb_), SD_SRV_ERROR);
  EXPECT_EQ(link_->srv_errno, -2);
  EXPECT_EQ(strlen(link_->srv_error), size_t(SD_SRV_ERROR_SIZE - 1));
  zmsd_cli_set_last_error(link_, SD_SRV_ERROR);
  EXPECT_EQ(err_.code, -2);
  EXPECT_EQ(std::string(err_.text), std::string(strlen(err_.text), 'e'));
}

TEST_F(ResponseParse, MissingErrnoOrTextFails) {
  ASSERT_EQ(blobmsg_add_u32(&msg_, "errno", 5), 0);
  EXPECT_EQ(parse(), -1);
  ASSERT_EQ(blob_buf_init(&msg_, BLOB_MSG_ID), 0);
  ASSERT_EQ(blobmsg_add_string(&msg_, "errno_str", "x"), 0);
  EXPECT_EQ(parse(), -1);
}

struct ErrorCase {
  int status;
  int eno;
  int32_t code;
  const char *text;
};

TEST_F(Framing, StatusToErrorRecord) {
  const ErrorCase cases[] = {
      {SD_OK, 0, 0, ""},
      {SD_NET_ERROR, 0, VERR_NET_IO_ERROR, "read data net error"},
      {SD_NET_ERROR, ECONNRESET, os_verr_get(ECONNRESET), strerror(ECONNRESET)},
      {SD_NET_DATA_ERROR, 0, -466, "read data content error"},
      {SD_TIMEOUT_ERROR, 0, -40, "read data timeout"},
      {SD_DATA_LEN_ERROR, 0, -40, "read data timeout"},
      {SD_MEMORY_ERROR, 0, -8, "memory allocation failed"},
      {SD_USER_STOP_ERROR, 0, -1, "unkown error=6"},
      {42, 0, -1, "unkown error=42"},
  };
  for (const auto &c : cases) {
    errno = c.eno;
    zmsd_cli_set_last_error(link_, c.status);
    EXPECT_EQ(err_.code, c.code) << c.status;
    EXPECT_STREQ(err_.text, c.text) << c.status;
    EXPECT_EQ(errno, c.eno) << "the caller's errno survives";
  }
  link_->err = nullptr;
  zmsd_cli_set_last_error(link_, SD_NET_ERROR);
}

TEST(SdStatus, Names) {
  const char *const want[] = {
      "ok",           "net error",       "net data error",    "timeout error", "zmsd srv error",
      "memory error", "user stop error", "unpack data error", "data len error"};
  for (int i = 0; i < 9; ++i) EXPECT_STREQ(sd_status_name(i), want[i]);
  EXPECT_STREQ(sd_status_name(9), "unkown error");
  EXPECT_STREQ(sd_status_name(-1), "unkown error");
}

}  // namespace
