// Test-side zmp bytes, written out by hand from the wire grammar (independent of both the
// client library and the peer): 4-byte headers, 2-byte name length, name, NUL, zero padding.
#include "raw_wire.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void put32(Bytes &b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

uint32_t get32(const uint8_t *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

}  // namespace

Bytes field(uint8_t type, const std::string &name, const Bytes &value) {
  const size_t h = (2 + name.size() + 1 + 3) / 4 * 4;
  const size_t raw = 4 + h + value.size();
  Bytes b;
  put32(b, 0x80000000u | uint32_t(type) << 24 | uint32_t(raw));
  b.push_back(uint8_t(name.size() >> 8));
  b.push_back(uint8_t(name.size()));
  b.insert(b.end(), name.begin(), name.end());
  while (b.size() < 4 + h) b.push_back(0);
  b.insert(b.end(), value.begin(), value.end());
  while (b.size() % 4) b.push_back(0);
  return b;
}

Bytes text_bytes(const std::string &text, bool with_nul) {
  Bytes b(text.begin(), text.end());
  if (with_nul) b.push_back(0);
  return b;
}

Bytes str(const std::string &name, const std::string &text) { return field(4, name, text_bytes(text)); }

Bytes i32(const std::string &name, int32_t v) {
  Bytes b;
  put32(b, uint32_t(v));
  return field(6, name, b);
}

Bytes i64(const std::string &name, int64_t v) {
  Bytes b;
  put32(b, uint32_t(uint64_t(v) >> 32));
  put32(b, uint32_t(v));
  return field(5, name, b);
}

Bytes bin(const std::string &name, const Bytes &value) { return field(3, name, value); }

Bytes request(uint8_t command, const std::vector<Bytes> &fields) {
  Bytes body;
  for (const Bytes &f : fields) body.insert(body.end(), f.begin(), f.end());
  Bytes frame = {0x5A, 0x4D, 0x01, command};
  put32(frame, 2u << 24 | uint32_t(4 + body.size()));
  frame.insert(frame.end(), body.begin(), body.end());
  return frame;
}

int32_t Response::err() const { return int32_t(num("errno")); }

std::string Response::text(const std::string &name) const {
  auto it = fields.find(name);
  if (it == fields.end() || it->second.first != 4 || it->second.second.empty()) return "<missing>";
  return std::string(it->second.second.begin(), it->second.second.end() - 1);
}

int64_t Response::num(const std::string &name) const {
  auto it = fields.find(name);
  if (it == fields.end()) return INT64_MIN;
  const Bytes &v = it->second.second;
  if (it->second.first == 6 && v.size() == 4) return int32_t(get32(v.data()));
  if (it->second.first == 5 && v.size() == 8) return int64_t(uint64_t(get32(v.data())) << 32 | get32(v.data() + 4));
  return INT64_MIN;
}

Bytes Response::data(const std::string &name) const {
  auto it = fields.find(name);
  return it == fields.end() ? Bytes{} : it->second.second;
}

bool RawClient::connect(int port) {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval tv{5, 0};  // no test waits longer for a reply
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
}

RawClient::~RawClient() {
  if (fd_ >= 0) close(fd_);
}

bool RawClient::send(const Bytes &frame) {
  if (write_hook) return write_hook(frame.data(), frame.size()) == long(frame.size());
  return ::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL) == ssize_t(frame.size());
}

bool RawClient::read_full(uint8_t *buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    const long r = read_hook ? read_hook(buf + got, n - got) : long(::recv(fd_, buf + got, n - got, 0));
    if (r <= 0) return false;
    got += size_t(r);
  }
  return true;
}

bool RawClient::receive(Response &out) {
  out = Response();
  Bytes head(8);
  if (!read_full(head.data(), 8) || head[0] != 0x5A || head[1] != 0x4D) return false;
  const size_t raw = get32(head.data() + 4) & 0xffffff;
  if (raw < 4) return false;
  Bytes body((raw + 3) / 4 * 4 - 4);
  if (!body.empty() && !read_full(body.data(), body.size())) return false;
  out.version = head[2];
  out.frame = head;
  out.frame.insert(out.frame.end(), body.begin(), body.end());
  for (size_t at = 0; at + 4 <= raw - 4;) {
    const uint32_t h = get32(body.data() + at);
    const size_t len = h & 0xffffff;
    const size_t n = size_t(body[at + 4]) << 8 | body[at + 5];
    const size_t value_at = at + 4 + (2 + n + 1 + 3) / 4 * 4;
    if (len < 8 || at + len > body.size() || value_at > at + len) return false;
    out.fields.emplace(std::string(body.begin() + at + 6, body.begin() + at + 6 + n),
                       std::make_pair(uint8_t(h >> 24 & 0x7f), Bytes(body.begin() + value_at, body.begin() + at + len)));
    at += (len + 3) / 4 * 4;
  }
  return true;
}

Response RawClient::call(uint8_t command, const std::vector<Bytes> &fields) {
  Response r;
  if (!send(request(command, fields)) || !receive(r)) r.fields.clear();
  return r;
}

Response RawClient::control(int32_t code, const std::string &input) {
  return call(8, {i64("fd", 0), i32("cmd", code), bin("data", text_bytes(input)), i32("olen", 4096)});
}

bool RawClient::closed_by_peer(int timeout_ms) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) != 1) return false;
  uint8_t byte = 0;
  return ::recv(fd_, &byte, 1, 0) == 0;
}
