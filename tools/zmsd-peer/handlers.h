// The command handlers and the records they work on: one decoded request, the reply being
// built, and the connection it arrived on. Each handler fills the reply; errors become the
// reply's "errno" (a status code, OS failures mapped from errno) and "errno_str".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "context_registry.h"
#include "peer_server.h"
#include "wire_message.h"

namespace peer {

struct Request {
  uint8_t command = 0;
  std::vector<uint8_t> body;  // the message's children; `fields` points into it
  MessageFields fields;
  std::string malformed;  // why the message was refused; empty for a good one
};

class Reply {
 public:
  Reply() { fail(0, ""); }
  // The fields after "errno" and "errno_str"; only meaningful while code() is 0.
  MessageWriter &fields() { return msg_; }
  void fail(int32_t code, const std::string &text);
  void fail_os(int err);  // positive errno of a failed system call
  int32_t code() const { return code_; }
  const MessageWriter &message() const { return msg_; }
  bool silent = false;  // no response at all (goodbye, attach with reply)

 private:
  MessageWriter msg_;
  int32_t code_ = 0;
};

struct Connection {
  Connection(PeerServer &s, Link *l, std::shared_ptr<Context> c) : server(s), link(l), ctx(std::move(c)) {}
  PeerServer &server;
  Link *link;
  std::shared_ptr<Context> ctx;
  bool logged_in = false;
  std::string key_user;   // user of a key login in progress (command 90 seen)
  std::string challenge;  // what command 90 sent; empty until then
  bool goodbye = false;
  // Set by attach-with-reply: the stored reply to send instead of a reply of its own.
  std::shared_ptr<const std::vector<uint8_t>> replay;
  std::vector<uint8_t> sent_last;  // the last sound reply sent; hostile mode may send it again
};

// Reading required request fields; a missing one fails the reply and returns false.
[[nodiscard]] bool need_text(const Request &rq, Reply &rp, const char *name, std::string &out);
[[nodiscard]] bool need_i64(const Request &rq, Reply &rp, const char *name, int64_t &out);
[[nodiscard]] bool need_i32(const Request &rq, Reply &rp, const char *name, int32_t &out);
// A client path made relative to the share; fails the reply for a path leaving it.
[[nodiscard]] bool need_path(const Request &rq, Reply &rp, const char *name, std::string &rel);
// Refuses a change on a read-only share.
[[nodiscard]] bool writable(const Connection &c, Reply &rp);

void handle_login(Connection &c, const Request &rq, Reply &rp);      // 1
void handle_key_login1(Connection &c, const Request &rq, Reply &rp); // 90
void handle_key_login2(Connection &c, const Request &rq, Reply &rp); // 91
void handle_info(Connection &c, const Request &rq, Reply &rp);       // 4
void handle_volume(Connection &c, const Request &rq, Reply &rp);     // 5
void handle_stat(Connection &c, const Request &rq, Reply &rp);       // 6, 7, 28
void handle_set_xattr(Connection &c, const Request &rq, Reply &rp);  // 9
void handle_open(Connection &c, const Request &rq, Reply &rp);       // 10, 24, 25
void handle_file(Connection &c, const Request &rq, Reply &rp);       // 11-16, 21-23, 26, 27, 29, 30
void handle_dir(Connection &c, const Request &rq, Reply &rp);        // 41-44
// Positions listing `number` at `entry` (server control 10050); -1 for an unknown listing.
int seek_dir(Connection &c, uint64_t number, uint64_t entry);
void handle_file_control(Connection &c, const Request &rq, Reply &rp);    // 20
void handle_server_control(Connection &c, const Request &rq, Reply &rp);  // 8
void handle_context_control(Connection &c, int32_t code, const std::string &input, Reply &rp,
                            std::string &output);  // 101-107, from 8

// Dispatches one request: login gate, then the handler of its command.
void dispatch(Connection &c, const Request &rq, Reply &rp);

}  // namespace peer
