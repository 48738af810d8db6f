// Common ground of the session tests: the reference peer started on 127.0.0.1 with a request log,
// session URLs for it, an owner that says goodbye, and a capture of every log line the client
// writes (to prove what the lines show and what they never show).
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "pal_log.h"
#include "peer_process.h"
#include "zmsd.h"

struct session_closer {
  void operator()(zmsd_session *s) const { (void)zmsd_cli_exit(s); }
};
using session_ptr = std::unique_ptr<zmsd_session, session_closer>;

// Every client log line while it lives, formatted, with the level and function in front.
class log_capture {
 public:
  log_capture() {
    instance() = this;
    pal_log_set_sink(&sink);
  }
  ~log_capture() {
    pal_log_set_sink(nullptr);
    instance() = nullptr;
  }
  log_capture(const log_capture &) = delete;
  log_capture &operator=(const log_capture &) = delete;

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> hold(mu_);
    return lines_;
  }
  bool any_contains(const std::string &text) const {
    for (const std::string &line : lines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

 private:
  static log_capture *&instance() {
    static log_capture *current = nullptr;
    return current;
  }
  static int sink(uint32_t level, const char *tag, const char *, int, const char *func,
                  const char *fmt, va_list ap) {
    char text[8192];
    const int n = vsnprintf(text, sizeof text, fmt, ap);
    if (log_capture *self = instance()) {
      std::lock_guard<std::mutex> hold(self->mu_);
      self->lines_.push_back(std::to_string(level & 0xff) + " " + tag + " " + func + ": " + text);
    }
    return n;
  }
  mutable std::mutex mu_;
  std::vector<std::string> lines_;
};

class SessionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    zmsd_cli_init();
    // A proxy from the environment would route every session of these tests through it.
    unsetenv("http_proxy");
  }

  // Starts a peer with a request log and the given options, stopping the one before.
  void start_peer(const std::vector<std::string> &args) {
    stop_peer();
    std::vector<std::string> all = args;
    request_log_ = "/tmp/zmsd-session-requests-" + std::to_string(getpid());
    all.insert(all.end(), {"--request-log", request_log_});
    peer_ = std::make_unique<PeerProcess>();
    ASSERT_TRUE(peer_->start(all)) << "peer did not start: " << peer_->stderr_text();
  }
  void stop_peer() {
    peer_.reset();
    if (!request_log_.empty()) std::remove(request_log_.c_str());
  }
  void TearDown() override { stop_peer(); }
  int port() const { return peer_->port(); }

  // "zmp://[credentials@]127.0.0.1:<peer port>/" with an optional query.
  std::string url(const std::string &credentials = "", const std::string &query = "",
                  const std::string &scheme = "zmp") const {
    return url_for(port(), credentials, query, scheme);
  }
  static std::string url_for(int port, const std::string &credentials, const std::string &query,
                             const std::string &scheme = "zmp") {
    std::string u = scheme + "://" + (credentials.empty() ? "" : credentials + "@") + "127.0.0.1:" +
                    std::to_string(port) + "/";
    return query.empty() ? u : u + "?" + query;
  }

  // The lines of the peer's request log so far.
  std::vector<std::string> requests() const {
    std::ifstream in(request_log_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The command numbers of the request log, in order.
  std::vector<int> commands() const {
    std::vector<int> numbers;
    for (const std::string &line : requests()) {
      const size_t at = line.find(" command=");
      if (at != std::string::npos) numbers.push_back(atoi(line.c_str() + at + 9));
    }
    return numbers;
  }

  // Whether the last request the peer logged becomes command within a second (a request that
  // has no answer, such as goodbye, may still be on its way when the client returns).
  bool wait_for_last_command(int command) const {
    for (int i = 0; i < 100; ++i) {
      const std::vector<int> seen = commands();
      if (!seen.empty() && seen.back() == command) return true;
      usleep(10 * 1000);
    }
    return false;
  }

  verr_info err{};

 private:
  std::unique_ptr<PeerProcess> peer_;
  std::string request_log_;
};
