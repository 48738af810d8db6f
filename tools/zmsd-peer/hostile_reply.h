// Hostile answers on purpose: from a seed, a share of the peer's replies is replaced by a broken
// or misleading one, so that tests can show a client survives whatever a server sends. Every
// choice follows from the seed and the reply's number alone, never from timing or thread order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "payload_codec.h"

namespace peer {

enum class Corruption : uint8_t {
  none,
  truncated,        // a prefix of the frame, the link stays open: the rest never comes
  bad_magic,        // one of the two magic bytes changed
  length_beyond,    // the container claims more bytes than are sent
  length_huge,      // a container header near 2^32 (24-bit length near its maximum)
  bad_attribute,    // one attribute broken: its type, length, name or value
  binary_overflow,  // a "data" field that unpacks to more than the request's room
  stale_reply,      // the connection's previous reply instead of this one
  doubled_reply,    // this reply twice: every later answer belongs to the request before
  close_mid_frame,  // a prefix of the frame, then the link is cut
  count,
};

const char *corruption_name(Corruption kind);

struct HostilePlan {
  uint64_t seed = 0;
  int percent = 0;  // share of replies corrupted, 0 to 100
};

// The corruption of reply `number` (counted from 1 over the process): none for the untouched
// share, otherwise one of the kinds, spread evenly.
Corruption pick_corruption(const HostilePlan &plan, uint64_t number);

// What one reply is about to become, and what it needs to know about its request.
struct ReplyToTamper {
  const std::vector<uint8_t> *frame = nullptr;     // the sound reply
  const std::vector<uint8_t> *previous = nullptr;  // the connection's previous reply; may be empty
  size_t room = 0;                                 // bytes the request asked for ("len" or "olen")
  Codec codec = Codec::none;                       // of the "data" fields of the context
};

struct Tampered {
  Corruption kind = Corruption::none;  // what was done (may differ from what was asked, below)
  std::vector<uint8_t> bytes;          // to send
  bool cut_link = false;               // cut the link once they are sent
};

// Applies `kind`, with `noise` (from the seed) choosing its details. A kind that does not fit
// the reply (no "data" field, no previous reply) falls back to a broken attribute.
Tampered tamper_reply(Corruption kind, const ReplyToTamper &reply, uint64_t noise);

// The noise of reply `number`, as tamper_reply gets it in the peer.
uint64_t reply_noise(const HostilePlan &plan, uint64_t number);

// "SEED" or "SEED,PERCENT" (default share 20); false for anything else.
[[nodiscard]] bool parse_hostile(const std::string &text, HostilePlan &out);

}  // namespace peer
