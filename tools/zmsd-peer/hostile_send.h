// The last step of every answer: the reply goes out as built, or, in hostile mode, as the plan
// corrupts it; and the silence of a stalled peer. Called from the connection threads.
#pragma once

#include <cstdint>
#include <vector>

#include "handlers.h"

namespace peer {

// Sends the reply frame to `rq`; false when the link must end (a write failed, or the plan cut it).
[[nodiscard]] bool send_reply(Connection &c, const Request &rq, const std::vector<uint8_t> &frame);

// True from the request after the --stall-after count on, or once SIGUSR1 has arrived: the peer
// reads on and answers nothing.
bool stalled(PeerServer &server, uint64_t number);
// SIGUSR1 stalls a running peer from its next request on; the handler says so on standard error.
void install_stall_signal();

}  // namespace peer
