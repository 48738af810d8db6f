// Context controls across a cut link, driven by the peer's fault injection: the context keeps
// its files and its count, a command executed before the cut is replayed (105), one that never
// ran is counted as not executed and can be sent again after attaching (104).
#include <chrono>
#include <thread>

#include "peer_fixture.h"

namespace {

// Logs in (request 1), keeps the context (2), learns its number (3), opens a file (4).
std::string set_up_context(RawClient &c, int64_t &fd) {
  EXPECT_EQ(PeerTest::probe(c).err(), 0);
  EXPECT_EQ(c.control(101, "0").err(), 0);
  const Response number = c.control(102, "");
  const Bytes d = number.data("data");
  const Response open = c.call(10, {str("path", PeerTest::rooted("/f")), i64("mode", 0x4 | 0x8)});
  fd = open.num("fd");
  return d.empty() ? std::string() : std::string(d.begin(), d.end() - 1);
}

}  // namespace

TEST_F(PeerTest, CommandExecutedBeforeTheCutIsReplayedAfterAttach) {
  start({"--drop-after", "5"});
  int64_t fd = 0;
  const std::string ctx = set_up_context(*client, fd);
  ASSERT_FALSE(ctx.empty());
  ASSERT_GT(fd, 0);
  Response lost;
  ASSERT_TRUE(client->send(request(15, {i64("fd", fd), i64("offset", 7), i64("mode", 0)})));  // request 5
  EXPECT_FALSE(client->receive(lost)) << "the reply is cut off";

  auto again = connect_client();
  ASSERT_EQ(probe(*again).err(), 0);
  EXPECT_EQ(again->control(107, ctx).err(), 0);
  EXPECT_EQ(again->control(106, ctx).data("data"), text_bytes("0"));
  EXPECT_EQ(again->control(103, ctx).data("data"), text_bytes("5")) << "the seek was executed";
  ASSERT_TRUE(again->send(request(8, {i64("fd", 0), i32("cmd", 105), bin("data", text_bytes(ctx)), i32("olen", 4096)})));
  Response replay;
  ASSERT_TRUE(again->receive(replay));
  EXPECT_EQ(replay.err(), 0);
  EXPECT_EQ(replay.num("offset"), 7) << "the stored seek reply";
  EXPECT_EQ(again->control(103, "0").data("data"), text_bytes("5")) << "own context now, asking is not yet counted";
  EXPECT_EQ(again->call(15, {i64("fd", fd), i64("offset", 0), i64("mode", 1)}).num("offset"), 7)
      << "the file and its position survived";
}

TEST_F(PeerTest, CommandCutBeforeItRanIsNotCountedAndCanBeResent) {
  start({"--drop-before", "5"});
  int64_t fd = 0;
  const std::string ctx = set_up_context(*client, fd);
  ASSERT_TRUE(client->send(request(15, {i64("fd", fd), i64("offset", 7), i64("mode", 0)})));
  Response lost;
  EXPECT_FALSE(client->receive(lost));

  auto again = connect_client();
  ASSERT_EQ(probe(*again).err(), 0);
  EXPECT_EQ(again->control(103, ctx).data("data"), text_bytes("4"));
  EXPECT_EQ(again->control(104, ctx).err(), 0);
  EXPECT_EQ(again->call(15, {i64("fd", fd), i64("offset", 7), i64("mode", 0)}).num("offset"), 7);
  EXPECT_EQ(again->control(103, "0").data("data"), text_bytes("5"));
}

TEST_F(PeerTest, ContextWithoutRetentionIsGoneAfterTheCut) {
  start({"--drop-after", "2"});
  ASSERT_EQ(probe(*client).err(), 0);
  Response lost;
  ASSERT_TRUE(client->send(request(8, {i64("fd", 0), i32("cmd", 102), bin("data", {}), i32("olen", 4096)})));
  EXPECT_FALSE(client->receive(lost));
  auto again = connect_client();
  ASSERT_EQ(probe(*again).err(), 0);
  EXPECT_NE(again->control(104, "1").err(), 0);
}

TEST_F(PeerTest, DelayAtHoldsOnlyTheListedRequestWhileItsContextRuns) {
  start({"--delay", "5000", "--delay-at", "5", "--ignore-stop", "-l", "-"});
  const auto began = std::chrono::steady_clock::now();
  int64_t fd = 0;
  const std::string ctx = set_up_context(*client, fd);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(4)) << "a request before the listed one was held";
  ASSERT_TRUE(client->send(request(15, {i64("fd", fd), i64("offset", 7), i64("mode", 0)})));  // request 5
  // Requests are numbered over all links as they arrive: the second link may speak only once the
  // peer has taken the seek as its fifth request, or its probe would be the one held.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (peer.stderr_text().find("req=5 ") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_NE(peer.stderr_text().find("req=5 "), std::string::npos) << peer.stderr_text();

  auto again = connect_client();
  ASSERT_EQ(probe(*again).err(), 0);
  EXPECT_EQ(again->control(107, ctx).err(), 0);
  EXPECT_EQ(again->control(106, ctx).data("data"), text_bytes("1")) << "stop ignored, still running";
}
