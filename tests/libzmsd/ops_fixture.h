// Common ground of the file-operation tests: a reference peer on 127.0.0.1 over a fresh served
// directory with a request log, sessions on it, files made and read back in that directory, and
// the commands the peer saw (to prove which variant went over the wire and how often).
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "peer_process.h"
#include "session_fixture.h"
#include "zmsd_ops.h"

struct request_line {
  int command;
  std::string text;  // the whole log line
};

class OpsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    zmsd_cli_init();
    unsetenv("http_proxy");
  }

  // Starts a peer with these options (a request log added), stopping the one before.
  void start_peer(std::vector<std::string> args) {
    peer_.reset();
    peer_ = std::make_unique<PeerProcess>();
    log_ = "/tmp/zmsd-ops-requests-" + std::to_string(getpid());
    std::remove(log_.c_str());
    args.insert(args.end(), {"--request-log", log_});
    ASSERT_TRUE(peer_->start(args)) << peer_->stderr_text();
  }
  void TearDown() override {
    peer_.reset();
    std::remove(log_.c_str());
  }

  std::string url(const std::string &query = "") const {
    const std::string u = "zmp://127.0.0.1:" + std::to_string(peer_->port()) + "/";
    return query.empty() ? u : u + "?" + query;
  }
  session_ptr connect(const std::string &query = "") {
    session_ptr s(zmsd_cli_connect(url(query).c_str(), &err));
    EXPECT_NE(s, nullptr) << err.text << " / " << peer_->stderr_text();
    return s;
  }

  // A path in the served directory, as the client names it and as this machine sees it.
  static std::string remote(const std::string &name) { return "/" + name; }
  std::string local(const std::string &name) const { return peer_->dir() + "/" + name; }
  void put_file(const std::string &name, const std::string &bytes) const {
    std::ofstream(local(name), std::ios::binary) << bytes;
  }
  std::string get_file(const std::string &name) const {
    std::ifstream in(local(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::vector<request_line> requests() const {
    std::ifstream in(log_);
    std::vector<request_line> out;
    for (std::string line; std::getline(in, line);) {
      const size_t at = line.find(" command=");
      if (at != std::string::npos) out.push_back({atoi(line.c_str() + at + 9), line});
    }
    return out;
  }
  std::vector<int> commands_since(size_t first) const {
    std::vector<int> out;
    const auto all = requests();
    for (size_t i = first; i < all.size(); ++i) out.push_back(all[i].command);
    return out;
  }

  // Bytes that LZ4 cannot squeeze much, from a fixed seed.
  static std::string random_bytes(size_t n, unsigned seed = 7) {
    std::mt19937 gen(seed);
    std::string out(n, '\0');
    for (char &c : out) c = char(gen());
    return out;
  }

  PeerProcess &peer() { return *peer_; }
  verr_info err{};

 private:
  std::unique_ptr<PeerProcess> peer_;
  std::string log_;
};
