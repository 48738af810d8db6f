// Logins of the peer: the probe on both frame versions, the simple login with its password
// digest, the key login with its challenge, and the gate in front of every other command.
#include <mbedtls/base64.h>
#include <mbedtls/sha1.h>
#include <mbedtls/version.h>

#include "peer_fixture.h"

namespace {

Bytes sha1_of(const std::string &s) {
  Bytes d(20);
#if MBEDTLS_VERSION_NUMBER >= 0x03000000
  mbedtls_sha1(reinterpret_cast<const unsigned char *>(s.data()), s.size(), d.data());
#else
  mbedtls_sha1_ret(reinterpret_cast<const unsigned char *>(s.data()), s.size(), d.data());
#endif
  return d;
}

std::string password_digest(const std::string &password) {
  const Bytes d = sha1_of(password);
  unsigned char out[64];
  size_t n = 0;
  mbedtls_base64_encode(out, sizeof out, &n, d.data(), d.size());
  return "{SHA}" + std::string(reinterpret_cast<char *>(out), n);
}

std::string login_key(const std::string &user, const std::string &password, const std::string &cert) {
  std::string hex;
  for (uint8_t b : sha1_of("KOVEL" + user + password + cert)) {
    static const char kHex[] = "0123456789abcdef";
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

}  // namespace

TEST_F(PeerTest, ProbeRequestAndAnswerBytesOnAnOpenShare) {
  start({});
  const Bytes probe_request = {
      0x5A, 0x4D, 0x01, 0x01, 0x02, 0x00, 0x00, 0x28,                          // head, container of 40
      0x84, 0x00, 0x00, 0x0e, 0x00, 0x04, 'u',  's',  'e',  'r',  0x00, 0x00,  // "user"
      ':',  0x00, 0x00, 0x00,                                                  // ":" + pad
      0x84, 0x00, 0x00, 0x11, 0x00, 0x06, 'p',  'a',  's',  's',  'w',  'd',  0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00};  // "passwd" = empty text + pad
  ASSERT_TRUE(client->send(probe_request));
  Response r;
  ASSERT_TRUE(client->receive(r));
  const Bytes expected = {
      0x5A, 0x4D, 0x02, 0x01, 0x02, 0x00, 0x00, 0x3c,
      0x86, 0x00, 0x00, 0x10, 0x00, 0x05, 'e', 'r', 'r', 'n', 'o', 0x00, 0x00, 0x00, 0x00, 0x00,
      0x84, 0x00, 0x00, 0x11, 0x00, 0x09, 'e', 'r', 'r', 'n', 'o', '_', 's', 't', 'r', 0x00, 0x00, 0x00, 0x00, 0x00,
      0x86, 0x00, 0x00, 0x14, 0x00, 0x07, 'o', 's', '_', 't', 'y', 'p', 'e', 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02};
  EXPECT_EQ(r.frame, expected);
}

struct ProbeCase {
  const char *frame_version;
  bool users;
  int32_t err;
};

class ProbeTest : public PeerTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeTest, AnswersWithItsFrameVersionAndWhetherALoginIsNeeded) {
  std::vector<std::string> args = {"--frame-version", GetParam().frame_version};
  if (GetParam().users) args.insert(args.end(), {"--user", "alice:secret"});
  start(args);
  const Response r = probe(*client);
  EXPECT_EQ(r.version, uint8_t(GetParam().frame_version[0] - '0'));
  EXPECT_EQ(r.err(), GetParam().err);
  EXPECT_TRUE(r.has("errno_str"));
}

INSTANTIATE_TEST_SUITE_P(FrameVersions, ProbeTest,
                         ::testing::Values(ProbeCase{"1", false, 0}, ProbeCase{"1", true, 1},
                                           ProbeCase{"2", false, 0}, ProbeCase{"2", true, 1}));

TEST_F(PeerTest, SimpleLoginChecksThePasswordDigest) {
  start({"--frame-version", "1", "--user", "alice:secret"});
  const Response wrong = client->call(1, {str("user", "alice"), str("passwd", password_digest("guess"))});
  EXPECT_EQ(wrong.err(), -89);
  EXPECT_EQ(wrong.text("errno_str"), "user or password error");
  EXPECT_EQ(client->call(90, {str("user", "alice"), i32("ver", 1)}).err(), -37) << "no key login on frame version 1";
  const Response right = client->call(1, {str("user", "alice"), str("passwd", password_digest("secret"))});
  EXPECT_EQ(right.err(), 0);
  EXPECT_EQ(right.num("os_type"), 2);
}

TEST_F(PeerTest, KeyLoginChecksTheKeyOverTheChallenge) {
  start({"--user", "alice:secret"});
  EXPECT_EQ(client->call(91, {str("lkey", login_key("alice", "secret", ""))}).err(), -89) << "no challenge yet";
  EXPECT_EQ(client->call(1, {str("user", "alice"), str("passwd", password_digest("secret"))}).err(), -89)
      << "frame version 2 takes the key login only";

  Response step1 = client->call(90, {str("user", "alice"), i32("ver", 1)});
  ASSERT_EQ(step1.err(), 0);
  EXPECT_EQ(step1.num("ver"), 1);
  EXPECT_EQ(step1.text("cert").size(), 32u);
  EXPECT_EQ(client->call(91, {str("lkey", login_key("alice", "wrong", step1.text("cert")))}).err(), -89);

  step1 = client->call(90, {str("user", "alice"), i32("ver", 1)});
  const Response step2 = client->call(91, {str("lkey", login_key("alice", "secret", step1.text("cert")))});
  EXPECT_EQ(step2.err(), 0);
  EXPECT_EQ(client->call(4, {str("param", "")}).err(), 0);
}

TEST_F(PeerTest, CommandsBeforeTheLoginAreRefused) {
  start({"--user", "alice:secret"});
  const Response r = client->call(4, {str("param", "")});
  EXPECT_EQ(r.err(), 1);
  EXPECT_EQ(r.text("errno_str"), "login required");
  EXPECT_FALSE(r.has("info"));
}
