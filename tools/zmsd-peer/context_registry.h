// Server-side client contexts: open files and directories, the chosen codec, the stored reply
// of the last command and the count of executed commands. A context outlives a lost link when
// retention was switched on (control 101), so a reconnected client can attach to it again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "payload_codec.h"
#include "peer_link.h"
#include "served_root.h"

namespace peer {

struct OpenDir {
  std::string rel;                 // the directory below the root
  std::vector<std::string> names;  // snapshot taken at open, already filtered by the pattern
  size_t next = 0;                 // index of the next entry to list
};

struct Context {
  explicit Context(uint64_t n) : number(n) {}
  const uint64_t number;

  // Owned by the connection thread that is attached; nobody else touches these.
  Codec codec = Codec::none;
  std::map<uint64_t, Fd> files;
  std::map<uint64_t, OpenDir> dirs;
  uint64_t next_handle = 1;
  // Whole response frame of the last executed command; shared with the send so that large
  // replies are not copied.
  std::shared_ptr<const std::vector<uint8_t>> last_reply;

  // Shared with other connections' controls (run status, stop, index, attach); guarded by mu.
  std::mutex mu;
  std::condition_variable changed;
  uint64_t executed = 0;
  bool running = false;
  bool stop = false;
  bool retained = false;
  bool dropped = false;      // removed from the registry; nobody may attach any more
  Link *attached = nullptr;  // the live link using this context, null when detached
  std::chrono::steady_clock::time_point detached_at{};
};

class ContextRegistry {
 public:
  explicit ContextRegistry(int keep_seconds) : keep_(keep_seconds) {}
  // A fresh context attached to `link`; also forgets contexts kept longer than allowed.
  std::shared_ptr<Context> create(Link *link);
  std::shared_ptr<Context> find(uint64_t number);
  // Moves `link` onto context `number`, waiting up to 3 s for its old link to let go. Null
  // with `error` when it does not exist or stays busy.
  std::shared_ptr<Context> attach(uint64_t number, Link *link, std::string &error);
  // The link is going away: the context stays only when retained and the client did not say goodbye.
  void detach(const std::shared_ptr<Context> &ctx, bool goodbye);
  // Control 107: wake a waiting reply and cut the link that holds the context.
  void request_stop(const std::shared_ptr<Context> &ctx);

 private:
  void sweep_locked();
  std::mutex mu_;  // guards all_ and next_
  std::map<uint64_t, std::shared_ptr<Context>> all_;
  uint64_t next_ = 1;
  const int keep_;
};

}  // namespace peer
