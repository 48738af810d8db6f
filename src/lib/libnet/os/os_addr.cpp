// Addresses: the text form used in log lines and error records, conversions to and from the
// system's socket addresses, and name resolution with the system resolver.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/un.h>

#include <cstdio>
#include <cstring>

#include "os_sockaddr.h"

namespace net_os {

int af_of(uint16_t family) {
  switch (family) {
    case OS_AF_INET: return AF_INET;
    case OS_AF_INET6: return AF_INET6;
    case OS_AF_LOCAL: return AF_UNIX;
    default: return AF_UNSPEC;
  }
}

socklen_t to_sockaddr(const os_ipaddr *addr, sockaddr_storage *out) {
  memset(out, 0, sizeof *out);
  switch (addr->family) {
    case OS_AF_INET: {
      auto *in = reinterpret_cast<sockaddr_in *>(out);
      in->sin_family = AF_INET;
      in->sin_port = htons(addr->port);
      memcpy(&in->sin_addr, addr->ip, 4);
      return sizeof *in;
    }
    case OS_AF_INET6: {
      auto *in6 = reinterpret_cast<sockaddr_in6 *>(out);
      in6->sin6_family = AF_INET6;
      in6->sin6_port = htons(addr->port);
      memcpy(&in6->sin6_addr, addr->ip, 16);
      return sizeof *in6;
    }
    case OS_AF_LOCAL: {
      auto *un = reinterpret_cast<sockaddr_un *>(out);
      un->sun_family = AF_UNIX;
      snprintf(un->sun_path, sizeof un->sun_path, "%s", addr->path);
      return sizeof *un;
    }
    default: return 0;
  }
}

void from_sockaddr(const sockaddr *sa, socklen_t len, os_ipaddr *out) {
  *out = os_ipaddr{};
  if (sa->sa_family == AF_INET && len >= sizeof(sockaddr_in)) {
    const auto *in = reinterpret_cast<const sockaddr_in *>(sa);
    out->family = OS_AF_INET;
    out->port = ntohs(in->sin_port);
    memcpy(out->ip, &in->sin_addr, 4);
  } else if (sa->sa_family == AF_INET6 && len >= sizeof(sockaddr_in6)) {
    const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(sa);
    out->family = OS_AF_INET6;
    out->port = ntohs(in6->sin6_port);
    memcpy(out->ip, &in6->sin6_addr, 16);
  } else if (sa->sa_family == AF_UNIX) {
    const auto *un = reinterpret_cast<const sockaddr_un *>(sa);
    out->family = OS_AF_LOCAL;
    const size_t room = len > offsetof(sockaddr_un, sun_path) ? len - offsetof(sockaddr_un, sun_path) : 0;
    snprintf(out->path, sizeof out->path, "%.*s", int(strnlen(un->sun_path, room)), un->sun_path);
  }
}

}  // namespace net_os

char *os_ipaddr_cstr(const os_ipaddr *addr, char *out) {
  char ip[INET6_ADDRSTRLEN] = "0.0.0.0";
  const bool v6 = addr->family == OS_AF_INET6;
  switch (addr->family) {
    case OS_AF_INET: inet_ntop(AF_INET, addr->ip, ip, sizeof ip); break;
    case OS_AF_INET6: inet_ntop(AF_INET6, addr->ip, ip, sizeof ip); break;
    case OS_AF_LOCAL: snprintf(out, OS_IPADDR_TEXT_SIZE, "%.*s", OS_IPADDR_TEXT_SIZE - 1, addr->path); return out;
    default: break;
  }
  snprintf(out, OS_IPADDR_TEXT_SIZE, "%s%s%s:%u", v6 ? "[" : "", ip, v6 ? "]" : "", unsigned(addr->port));
  return out;
}

bool os_addrinfo_addr(const char *name, os_ipaddr *addr) {
  if (!name || !addr) return false;
  addrinfo hints{};
  hints.ai_family = net_os::af_of(addr->family);
  hints.ai_socktype = SOCK_STREAM;
  char service[8];
  snprintf(service, sizeof service, "%u", unsigned(addr->port));
  addrinfo *found = nullptr;
  if (getaddrinfo(name, addr->port ? service : nullptr, &hints, &found) != 0 || !found) return false;
  const uint16_t port = addr->port;
  net_os::from_sockaddr(found->ai_addr, found->ai_addrlen, addr);
  freeaddrinfo(found);
  if (port) addr->port = port;
  return addr->family == OS_AF_INET || addr->family == OS_AF_INET6;
}
