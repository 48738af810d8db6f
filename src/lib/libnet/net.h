// The only way the system opens a network connection: non-blocking OS sockets, the client connect
// (direct or through an HTTP, SOCKS4 or SOCKS5 proxy) with a time-out and a stop control, proxy
// settings, and the channel every upper layer (proxy handshakes, TLS, framing, FTP, shell) reads and
// writes through. Blocking calls wake at least every 200 (connect), 300 (read) or 500 ms (write).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "pal_verr.h"

// --- OS socket layer ----------------------------------------------------------------------------
// A socket handle is the descriptor plus one; 0 means no socket. Every socket is non-blocking.

// Socket kinds: type in the high byte, protocol in the low byte.
enum : uint16_t {
  OS_SOCKET_TCP = 0x101,
  OS_SOCKET_UDP = 0x202,
  OS_SOCKET_RAW_ICMP = 0x303,
};

enum : uint16_t {
  OS_AF_UNSPEC = 0,  // resolution: either family; text form: the empty address
  OS_AF_INET = 1,
  OS_AF_INET6 = 2,
  OS_AF_LOCAL = 3,
};

inline constexpr int OS_IPADDR_TEXT_SIZE = 80;

struct os_ipaddr {
  uint16_t family;
  uint16_t port;
  uint8_t ip[16];  // network byte order: 4 bytes for IPv4, 16 for IPv6
  char path[108];  // local sockets
};

// "%s%s%s:%u" with brackets around IPv6; "0.0.0.0:0" / "0.0.0.0:%u" without a family. Returns out,
// which needs OS_IPADDR_TEXT_SIZE bytes (a local socket prints its path, cut to fit).
char *os_ipaddr_cstr(const os_ipaddr *addr, char *out);
// Resolves name into addr (stream sockets, addr->family chooses the family, addr->port if set is
// passed as the service); the first answer wins. True on success.
[[nodiscard]] bool os_addrinfo_addr(const char *name, os_ipaddr *addr);

enum : uint32_t {
  OS_SOCKET_CTRL_SET_BLOCKING = 0,
  OS_SOCKET_CTRL_GET_BLOCKING = 1,
  OS_SOCKET_CTRL_SET_RECV_BUFF_SIZE = 2,
  OS_SOCKET_CTRL_GET_RECV_BUFF_SIZE = 3,
  OS_SOCKET_CTRL_SET_SEND_BUFF_SIZE = 4,
  OS_SOCKET_CTRL_GET_SEND_BUFF_SIZE = 5,
  OS_SOCKET_CTRL_SET_TCP_NODELAY = 6,
  OS_SOCKET_CTRL_GET_TCP_NODELAY = 7,
  OS_SOCKET_CTRL_SET_KEEPALIVE_INTERVAL = 8,
  OS_SOCKET_CTRL_SET_KEEPALIVE = 9,
  OS_SOCKET_CTRL_SET_OPTION_4000 = 10,
  OS_SOCKET_CTRL_SET_KEEPALIVE_IDLE = 11,
  OS_SOCKET_CTRL_SET_KEEPALIVE_COUNT = 12,
  OS_SOCKET_CTRL_JOIN_MULTICAST = 13,
};

enum : int {
  OS_SOCKET_READABLE = 1,
  OS_SOCKET_WRITABLE = 2,
};

[[nodiscard]] uint32_t os_socket_init(uint16_t kind, uint16_t family);
// True on success. arg is a value, or for the getters a pointer (to int), for 13 a text.
[[nodiscard]] bool os_socket_ctrl(uint32_t sock, uint32_t cmd, uintptr_t arg);
// 1 connected (or already connected), 0 in progress / interrupted / would block, -1 error (errno).
[[nodiscard]] int os_socket_connect(uint32_t sock, const os_ipaddr *addr);
// Byte count; 0 for n = 0, an interrupted call, a call that would block and (receive) a closed peer:
// errno tells them apart (0 only for the closed peer). -1 on error.
[[nodiscard]] int os_socket_recv(uint32_t sock, void *buf, int n);
[[nodiscard]] int os_socket_send(uint32_t sock, const void *buf, int n);
[[nodiscard]] int os_socket_urecv(uint32_t sock, os_ipaddr *from, void *buf, int n);
[[nodiscard]] int os_socket_usend(uint32_t sock, const os_ipaddr *to, const void *buf, int n);

struct os_iovec {
  void *base;
  size_t len;
};
[[nodiscard]] int os_socket_recvv(uint32_t sock, const os_iovec *iov, int count);
[[nodiscard]] int os_socket_sendv(uint32_t sock, const os_iovec *iov, int count);
[[nodiscard]] int os_socket_urecvv(uint32_t sock, os_ipaddr *from, const os_iovec *iov, int count);
[[nodiscard]] int os_socket_usendv(uint32_t sock, const os_ipaddr *to, const os_iovec *iov, int count);

// events: OS_SOCKET_READABLE | OS_SOCKET_WRITABLE. timeout_ms > 0 waits that long, 0 polls, < 0
// without limit. 0 on time-out or interruption, -1 when the socket carries a pending error (errno
// holds it), else the ready bits.
[[nodiscard]] int os_socket_wait(uint32_t sock, int events, int timeout_ms);

int os_socket_kill(uint32_t sock, int how);  // shut down reading (0), writing (1) or both (2)
void os_socket_exit(uint32_t sock);          // closes; a failure is logged
// Sets address reuse (and port reuse with a port, IPv6-only on IPv6) before binding. True on success.
[[nodiscard]] bool os_socket_bind(uint32_t sock, const os_ipaddr *addr);
[[nodiscard]] bool os_socket_listen(uint32_t sock, int backlog);
// The accepted socket is non-blocking with TCP no-delay; peer may be null. 0 when none is waiting.
[[nodiscard]] uint32_t os_socket_accept(uint32_t sock, os_ipaddr *peer);
[[nodiscard]] bool os_socket_local(uint32_t sock, os_ipaddr *addr);  // the bound address
[[nodiscard]] bool os_socket_pair(uint32_t out[2]);                   // connected local stream pair

// --- stop control and proxy settings --------------------------------------------------------------

// Owned by the caller, shared with the thread that may cancel; polled on every wake-up.
struct stop_ctl {
  std::atomic<int32_t> stop{0};                  // non-zero: stop
  int (*check)(void *arg, int timeout_ms) = nullptr;  // non-zero result: stop
  void *arg = nullptr;
};

enum : int32_t {
  PROXY_NONE = 0,
  PROXY_HTTP = 1,
  PROXY_SOCKS4 = 2,
  PROXY_SOCKS5 = 3,
};

inline constexpr int PROXY_PROTO_SIZE = 32;
inline constexpr int PROXY_IP_SIZE = 1024;
inline constexpr int PROXY_TEXT_SIZE = 4096;

// Plain record so that a session can keep a copy and rebuild the same link on reconnect. pwd is the
// decoded password: log lines show "***", and proxy_conf_clear wipes it.
struct proxy_conf {
  int32_t type;
  char proto[PROXY_PROTO_SIZE];
  char ip[PROXY_IP_SIZE];
  int32_t port;
  char user[PROXY_TEXT_SIZE];  // empty: no authentication
  char pwd[PROXY_TEXT_SIZE];
};

void proxy_conf_clear(proxy_conf *proxy);  // wipes every byte, type 0 (direct)

// Everything sock_connect needs besides host and port; a session keeps it for its reconnects.
struct sock_param {
  int32_t connect_timeout;  // ms; also the read/write time-out of the proxy exchange
  int32_t buf_size;         // 0: system defaults, else receive and send buffer size
  uint32_t no_wait;         // start the connect and return at once (direct only)
  proxy_conf proxy;         // type 0: direct
  stop_ctl *stop;           // may be null
};

// A connected socket, or 0 with the reason in err (may be null).
[[nodiscard]] uint32_t sock_connect(const char *host, int port, const sock_param *param, verr_info *err);
// A UDP socket connected to host:port, or 0.
[[nodiscard]] uint32_t sock_udp_open(const char *host, int port, verr_info *err);

// Proxy from url ("proto://[user:pwd@]host:port"), else with an empty name from http_proxy, else the
// entry name of the INI file named by ZM_PROXY_FILE. 0 proxy in out, 1 no proxy applies (out is
// cleared: direct), -1 failure.
[[nodiscard]] int conf_proxy_get(const char *url, const char *name, proxy_conf *out, verr_info *err);
// Entry name of a proxy INI file (keys proto, ip, port, user, pwd as hexadecimal text). urlbuf (may
// be null, PROXY_TEXT_SIZE bytes) receives the entry as a URL for log lines, password as "***".
[[nodiscard]] int conf_proxy_load(const char *file, const char *name, proxy_conf *out, char *urlbuf,
                                  verr_info *err);
// "http" 1, "socks4" 2, "socks5" 3 (any letter case); else -1 with the reason in err.
[[nodiscard]] int conf_proxy_2_id(const char *proto, verr_info *err);

// --- channel -----------------------------------------------------------------------------------------

enum : uint32_t {
  NET_SOCK_SOCKET = 0,  // 1 is a socket too
  NET_SOCK_STDIO = 2,
  NET_SOCK_PIPE = 3,    // named pipe, serial line and memory buffer have their place in the
  NET_SOCK_SERIAL = 4,  // dispatch but are not built into this program: their calls fail
  NET_SOCK_MEMORY = 5,
};

struct net_sock;
using net_read_fn = int (*)(net_sock *chan, void *buf, int n);
using net_write_fn = int (*)(net_sock *chan, const void *buf, int n);

// Belongs to one thread at a time; only abort (and the stop control) are touched by others.
struct net_sock {
  uint32_t type = NET_SOCK_SOCKET;
  uint32_t handle = 0;                // socket handle
  void *ssl = nullptr;                // the TLS connection; non-null: reads and writes go through TLS
  int32_t timeout = 0;                // ms, for every read and write
  std::atomic<int32_t> abort{0};      // set by another thread: a pending read or write returns -1
  stop_ctl *stop = nullptr;           // polled by reads
  net_read_fn read_proc = nullptr;    // TLS hooks, installed by the TLS layer
  net_write_fn write_proc = nullptr;
  int32_t disconnected = 0;           // the peer closed: later reads and writes fail at once
};

// n bytes, waiting up to the time-out: the count (short on time-out or orderly close), -1 on failure.
[[nodiscard]] int net_read(net_sock *chan, void *buf, int n);
[[nodiscard]] int net_write(net_sock *chan, const void *buf, int n);
// The plain socket path, below any TLS hook (TLS binds its transport to these).
[[nodiscard]] int net_sock_read(net_sock *chan, void *buf, int n);
[[nodiscard]] int net_sock_write(net_sock *chan, const void *buf, int n);
// As net_sock_read, but returns as soon as some bytes (at most n) have arrived: for callers that
// keep their own read-ahead buffer.
[[nodiscard]] int net_sock_read_some(net_sock *chan, void *buf, int n);
// One line up to LF or NUL, CRs removed: its length, 1 for an empty line, 0 without data, -1 on
// failure or a line longer than size - 1. net_read_str ends only at NUL.
[[nodiscard]] int net_read_line(net_sock *chan, char *buf, int size);
[[nodiscard]] int net_read_str(net_sock *chan, char *buf, int size);
int net_printf(net_sock *chan, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
// Clears abort and disconnected and closes a socket (handle 0 afterwards). -1 for types it cannot close.
int net_close(net_sock *chan);

// The process-wide TLS path for channels with ssl set and no hooks of their own; set once before any
// TLS channel is used.
void net_ssl_set_procs(net_read_fn read, net_write_fn write);
[[nodiscard]] int net_ssl_read_proc(net_sock *chan, void *buf, int n);
[[nodiscard]] int net_ssl_write_proc(net_sock *chan, const void *buf, int n);

// --- fault seam ----------------------------------------------------------------------------------------
// Tests make a link misbehave deterministically under every layer above. The bytes of the chosen
// direction pass untouched until `after` have gone through; then the fault fires. One fault at a time.

enum : int {
  SOCK_FAULT_DROP = 1,        // both directions shut down, once: reads see a closed peer
  SOCK_FAULT_DELAY = 2,       // the direction stalls for delay_ms, once: waits time out, calls block
  SOCK_FAULT_SHORT_READ = 3,  // every receive returns at most max_bytes
};

enum : int {
  SOCK_FAULT_RECV = 1,
  SOCK_FAULT_SEND = 2,
};

struct sock_fault {
  int kind;
  int dir;        // SOCK_FAULT_RECV or SOCK_FAULT_SEND (SHORT_READ: receive only)
  uint32_t sock;  // 0: every socket
  int64_t after;  // bytes that pass first
  int delay_ms;
  int max_bytes;
};

void sock_fault_set(const sock_fault *fault);  // null clears
[[nodiscard]] bool sock_fault_fired();           // the fault has taken effect
