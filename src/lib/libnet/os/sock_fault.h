// The fault seam as the socket transfer and wait calls see it. Without a fault set, every call
// is one relaxed atomic load.
#pragma once

#include <cstdint>

namespace net_fault {

inline constexpr int kHeld = -1;     // the direction is stalled: report "would block"
inline constexpr int kDropped = -2;  // the link was dropped: receive sees a closed peer, send EPIPE

// Bytes that a transfer of n in dir may move now: n without a fault, fewer up to the fault's
// boundary, or kHeld / kDropped.
int gate(uint32_t sock, int dir, int n);
void passed(uint32_t sock, int dir, int bytes);
// Milliseconds that the direction of events is still held on sock, 0 when it is not.
int held_ms(uint32_t sock, int events);
// The socket is being closed: a later socket with the same descriptor starts clean.
void closed(uint32_t sock);

}  // namespace net_fault
