// The fault seam as the socket transfer and wait calls see it. Without a fault set, every call
// is one relaxed atomic load.
#pragma once

#include <cstdint>

namespace net_fault {

// Bytes that a transfer of n in dir may move now: n without a fault, fewer up to the fault's
// boundary, -1 while the direction is held (the caller reports "would block").
int gate(uint32_t sock, int dir, int n);
void passed(uint32_t sock, int dir, int bytes);
// Milliseconds that the direction of events is still held on sock, 0 when it is not.
int held_ms(uint32_t sock, int events);

}  // namespace net_fault
