// Conversions between the system's socket addresses and os_ipaddr, and between handles and
// descriptors, shared by the OS socket files only.
#pragma once

#include <sys/socket.h>

#include "net.h"

namespace net_os {

inline int fd_of(uint32_t sock) { return int(sock) - 1; }
inline uint32_t handle_of(int fd) { return fd < 0 ? 0 : uint32_t(fd) + 1; }

int af_of(uint16_t family);  // AF_* of an os_ipaddr family, AF_UNSPEC for none
// The system form of addr; its length, 0 for an address without a family.
socklen_t to_sockaddr(const os_ipaddr *addr, sockaddr_storage *out);
void from_sockaddr(const sockaddr *sa, socklen_t len, os_ipaddr *out);

}  // namespace net_os
