// Hostile mode of the peer: the choice of corrupted replies follows the seed alone, each kind of
// damage is really in the bytes it produces (checked against the peer's own strict reader and
// plain LZ4), and the running peer sends what the plan says and goes silent when stalled.
#include <lz4.h>
#include <poll.h>
#include <sys/socket.h>

#include <functional>
#include <map>

#include "hostile_reply.h"
#include "peer_fixture.h"
#include "wire_message.h"

using peer::Codec;
using peer::Corruption;
using peer::HostilePlan;
using peer::MessageFields;
using peer::MessageWriter;
using peer::ReplyToTamper;
using peer::Tampered;

namespace {

constexpr size_t kRoom = 64;  // the byte count the sample read asked for

std::vector<uint8_t> frame_of(const MessageWriter &msg) {
  std::vector<uint8_t> f = {0x5A, 0x4D, 0x02, 29};
  f.insert(f.end(), msg.bytes().begin(), msg.bytes().end());
  return f;
}

// A sound answer to a read of kRoom bytes: five bytes of "hello" in the codec's form.
std::vector<uint8_t> read_reply(Codec codec) {
  MessageWriter m;
  m.add_i32("errno", 0);
  m.add_string("errno_str", "");
  m.add_i32("len", 5);
  m.add_i32("flags", 0);
  if (codec == Codec::none) {
    m.add_binary("data", "hello", 5);
  } else {
    char packed[64];
    const int n = LZ4_compress_default("hello", packed, 5, sizeof packed);
    m.add_binary("data", packed, size_t(n));
  }
  return frame_of(m);
}

std::vector<uint8_t> stat_reply() {
  MessageWriter m;
  m.add_i32("errno", 0);
  m.add_string("errno_str", "");
  m.add_i64("size", 12345);
  m.add_string("name", "file.txt");
  return frame_of(m);
}

uint32_t container_of(const std::vector<uint8_t> &f) { return peer::get_be32(f.data() + 4); }

// The peer's strict reader over the attributes that the container header claims.
bool parses(const std::vector<uint8_t> &f, MessageFields &fields) {
  const size_t raw = container_of(f) & 0xffffff;
  std::string error;
  return raw >= 4 && 4 + raw <= f.size() && fields.parse(f.data() + 8, raw - 4, error);
}

bool is_strict_prefix(const std::vector<uint8_t> &part, const std::vector<uint8_t> &whole) {
  return !part.empty() && part.size() < whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

Tampered tamper(Corruption kind, const std::vector<uint8_t> &frame, const std::vector<uint8_t> &previous,
                Codec codec, uint64_t noise) {
  return peer::tamper_reply(kind, ReplyToTamper{&frame, &previous, kRoom, codec}, noise);
}

TEST(HostilePlan, ChoiceFollowsTheSeedAloneAndSpreadsOverEveryKind) {
  const HostilePlan all{7, 100}, same{7, 100}, other{8, 100}, third{7, 30}, off{7, 0};
  std::map<Corruption, int> seen;
  int differs = 0, share = 0;
  for (uint64_t n = 1; n <= 3000; ++n) {
    const Corruption k = peer::pick_corruption(all, n);
    ++seen[k];
    EXPECT_EQ(k, peer::pick_corruption(same, n));
    EXPECT_EQ(peer::reply_noise(all, n), peer::reply_noise(same, n));
    differs += k != peer::pick_corruption(other, n);
    share += peer::pick_corruption(third, n) != Corruption::none;
    EXPECT_EQ(peer::pick_corruption(off, n), Corruption::none);
  }
  EXPECT_EQ(seen.count(Corruption::none), 0u) << "percent 100 corrupts every reply";
  for (int k = 1; k < int(Corruption::count); ++k)
    EXPECT_GT(seen[Corruption(k)], 200) << peer::corruption_name(Corruption(k));
  EXPECT_GT(differs, 2000) << "another seed, another plan";
  EXPECT_NEAR(share, 900, 150) << "30 percent of 3000";
}

TEST(HostilePlan, OptionTextIsSeedAndOptionalPercent) {
  const struct {
    const char *text;
    bool ok;
    uint64_t seed;
    int percent;
  } cases[] = {{"7", true, 7, 20},       {"7,33", true, 7, 33},    {"0,100", true, 0, 100},
               {"18446744073709551615", true, UINT64_MAX, 20},       {"7,101", false, 0, 0},
               {"7,", false, 0, 0},     {",5", false, 0, 0},      {"-1", false, 0, 0},
               {"x", false, 0, 0},      {"7,33,1", false, 0, 0},  {"7,-3", false, 0, 0},
               {"", false, 0, 0}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    HostilePlan plan{99, 99};
    EXPECT_EQ(peer::parse_hostile(c.text, plan), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(plan.seed, c.seed);
    EXPECT_EQ(plan.percent, c.percent);
  }
}

// Each kind, over many noise words: what must be true of the bytes it sends.
TEST(HostileReply, EveryKindPutsItsDamageIntoTheBytes) {
  const std::vector<uint8_t> sound = read_reply(Codec::lz4);
  const std::vector<uint8_t> previous = stat_reply();
  using Check = std::function<void(const Tampered &)>;
  const std::map<Corruption, Check> checks = {
      {Corruption::truncated,
       [&](const Tampered &t) {
         EXPECT_TRUE(is_strict_prefix(t.bytes, sound));
         EXPECT_FALSE(t.cut_link);
       }},
      {Corruption::close_mid_frame,
       [&](const Tampered &t) {
         EXPECT_TRUE(is_strict_prefix(t.bytes, sound));
         EXPECT_TRUE(t.cut_link);
       }},
      {Corruption::bad_magic,
       [&](const Tampered &t) {
         ASSERT_EQ(t.bytes.size(), sound.size());
         EXPECT_TRUE(t.bytes[0] != 0x5A || t.bytes[1] != 0x4D);
         EXPECT_TRUE(std::equal(t.bytes.begin() + 2, t.bytes.end(), sound.begin() + 2));
       }},
      {Corruption::length_beyond,
       [&](const Tampered &t) {
         ASSERT_EQ(t.bytes.size(), sound.size());
         EXPECT_GT(4 + (container_of(t.bytes) & 0xffffff), t.bytes.size()) << "claims more than is sent";
         EXPECT_EQ(container_of(t.bytes) >> 24, 2u);
       }},
      {Corruption::length_huge,
       [&](const Tampered &t) {
         ASSERT_EQ(t.bytes.size(), sound.size());
         EXPECT_GE(container_of(t.bytes) & 0xffffff, 0xfffff0u);
       }},
      {Corruption::bad_attribute,
       [&](const Tampered &t) {
         ASSERT_EQ(t.bytes.size(), sound.size());
         MessageFields f;
         EXPECT_FALSE(parses(t.bytes, f)) << "an attribute no reader may accept";
       }},
      {Corruption::binary_overflow,
       [&](const Tampered &t) {
         MessageFields f;
         ASSERT_TRUE(parses(t.bytes, f)) << "a sound message around the bad data";
         const peer::Field *data = f.binary("data");
         ASSERT_NE(data, nullptr);
         std::vector<char> out(kRoom + 8192);
         const int n = LZ4_decompress_safe(reinterpret_cast<const char *>(data->data), out.data(),
                                           int(data->len), int(out.size()));
         EXPECT_GT(n, int(kRoom)) << "unpacks past the room the request asked for";
         EXPECT_EQ(*f.i32("len"), 5) << "the other fields stay";
       }},
      {Corruption::stale_reply, [&](const Tampered &t) { EXPECT_EQ(t.bytes, previous); }},
      {Corruption::doubled_reply,
       [&](const Tampered &t) {
         std::vector<uint8_t> twice = sound;
         twice.insert(twice.end(), sound.begin(), sound.end());
         EXPECT_EQ(t.bytes, twice);
       }},
  };
  ASSERT_EQ(checks.size(), size_t(Corruption::count) - 1) << "a check for every kind";
  for (const auto &[kind, check] : checks) {
    for (uint64_t noise = 0; noise < 200; ++noise) {
      SCOPED_TRACE(std::string(peer::corruption_name(kind)) + " noise " + std::to_string(noise));
      const uint64_t spread = noise * 0x9e3779b97f4a7c15ull;
      const Tampered t = tamper(kind, sound, previous, Codec::lz4, spread);
      EXPECT_EQ(t.kind, kind);
      check(t);
    }
  }
}

TEST(HostileReply, OverflowWithoutCompressionSendsMoreBytesThanAsked) {
  const std::vector<uint8_t> sound = read_reply(Codec::none);
  const Tampered t = tamper(Corruption::binary_overflow, sound, {}, Codec::none, 12345);
  MessageFields f;
  ASSERT_TRUE(parses(t.bytes, f));
  ASSERT_NE(f.binary("data"), nullptr);
  EXPECT_GT(f.binary("data")->len, kRoom);
}

// Kinds that need something the reply lacks break an attribute instead, never send it sound.
TEST(HostileReply, KindsThatDoNotFitBreakAnAttributeInstead) {
  const std::vector<uint8_t> no_data = stat_reply();
  for (Corruption kind : {Corruption::binary_overflow, Corruption::stale_reply}) {
    SCOPED_TRACE(peer::corruption_name(kind));
    const Tampered t = tamper(kind, no_data, {}, Codec::lz4, 77);
    EXPECT_EQ(t.kind, Corruption::bad_attribute);
    MessageFields f;
    EXPECT_FALSE(parses(t.bytes, f));
  }
}

// The first seed whose replies 1.. start with `kinds`.
uint64_t seed_starting_with(const std::vector<Corruption> &kinds, int percent) {
  for (uint64_t seed = 1;; ++seed) {
    bool fits = true;
    for (size_t i = 0; i < kinds.size() && fits; ++i)
      fits = peer::pick_corruption(HostilePlan{seed, percent}, i + 1) == kinds[i];
    if (fits) return seed;
  }
}

// Up to n bytes that arrive within the time-out.
Bytes read_some(int fd, size_t n, int timeout_ms) {
  Bytes out(n);
  size_t got = 0;
  while (got < n) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1) break;
    const ssize_t r = recv(fd, out.data() + got, n - got, 0);
    if (r <= 0) break;
    got += size_t(r);
  }
  out.resize(got);
  return out;
}

TEST_F(PeerTest, HostilePeerSendsWhatThePlanSays) {
  const uint64_t seed = seed_starting_with({Corruption::bad_magic}, 50);
  start({"--hostile", std::to_string(seed) + ",50"});
  ASSERT_TRUE(client->send(request(1, {str("user", ":"), str("passwd", "")})));
  const Bytes head = read_some(client->fd(), 8, 2000);
  ASSERT_EQ(head.size(), 8u);
  EXPECT_TRUE(head[0] != 0x5A || head[1] != 0x4D) << "reply 1 has a broken magic";
  EXPECT_NE(peer.stderr_text().find("hostile reply=1 command=1: bad_magic"), std::string::npos)
      << peer.stderr_text();
}

TEST_F(PeerTest, HostilePeerRepeatsTheConnectionsPreviousReply) {
  const uint64_t seed = seed_starting_with({Corruption::none, Corruption::stale_reply}, 50);
  start({"--hostile", std::to_string(seed) + ",50"});
  const Response login = probe(*client);
  ASSERT_EQ(login.err(), 0);
  const Response info = client->call(4, {str("param", "")});
  EXPECT_EQ(info.frame, login.frame) << "the answer to the information request is the login's";
  EXPECT_FALSE(info.has("info"));
}

TEST_F(PeerTest, StalledPeerReadsOnButAnswersNothing) {
  start({"--stall-after", "1"});
  ASSERT_EQ(probe(*client).err(), 0);
  ASSERT_TRUE(client->send(request(4, {str("param", "")})));
  EXPECT_TRUE(read_some(client->fd(), 1, 500).empty()) << "no answer after the first request";
  EXPECT_FALSE(client->closed_by_peer(0)) << "the link stays open";
  auto again = connect_client();
  ASSERT_TRUE(again->send(request(1, {str("user", ":"), str("passwd", "")})));
  EXPECT_TRUE(read_some(again->fd(), 1, 500).empty()) << "a new connection gets no answer either";
  EXPECT_NE(peer.stderr_text().find("stalled: request 2"), std::string::npos) << peer.stderr_text();
}

}  // namespace
