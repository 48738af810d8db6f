// Common fixture of the peer tests: one peer process per test and a connected raw client.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "peer_process.h"
#include "raw_wire.h"

class PeerTest : public ::testing::Test {
 public:
  // The probe login, which lets a client in on a peer without users.
  static Response probe(RawClient &c) { return c.call(1, {str("user", ":"), str("passwd", "")}); }
  // A path as the client sends it: the mount root, "\" and the path below it.
  static std::string rooted(const std::string &path) { return "/\\" + path; }

 protected:
  // Starts the peer with `args` and connects `client`.
  void start(const std::vector<std::string> &args) {
    ASSERT_TRUE(peer.start(args)) << "peer did not start: " << peer.stderr_text();
    client = connect_client();
  }
  // A sanitizer build of the peer reports memory faults on its standard error.
  void TearDown() override {
    const std::string log = peer.stderr_text();
    EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
    EXPECT_EQ(log.find("runtime error:"), std::string::npos) << log;
  }
  std::unique_ptr<RawClient> connect_client() {
    auto c = std::make_unique<RawClient>();
    EXPECT_TRUE(c->connect(peer.port()));
    return c;
  }
  PeerProcess peer;
  std::unique_ptr<RawClient> client;
};
