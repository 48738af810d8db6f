// Helpers of the datagram and capture tests: an independent bitwise CRC-8, a UDP receiver on
// 127.0.0.1, RC4 through openssl, and capture files read back by tcpdump.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using bytes = std::vector<uint8_t>;

// Bit by bit, straight from the polynomial, to check the table-driven routine against.
uint8_t crc8_reference(const uint8_t *data, size_t len);

// A UDP socket bound to 127.0.0.1 on a free port.
class udp_receiver {
 public:
  udp_receiver();
  ~udp_receiver();
  udp_receiver(const udp_receiver &) = delete;
  udp_receiver &operator=(const udp_receiver &) = delete;
  uint16_t port() const { return port_; }
  std::string url(const char *scheme) const;
  // The next datagram, or empty after timeout_ms.
  bytes receive(int timeout_ms = 3000);

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// data run through "openssl enc -rc4" with the given key (an independent RC4).
bytes openssl_rc4(const uint8_t *key, size_t key_len, const bytes &data);

struct captured_packet {
  uint64_t usec;  // packet time in microseconds since the epoch
  bytes data;
};
struct capture_read {
  int status = -1;  // tcpdump's exit status
  std::string link_type;  // from "link-type N"
  std::vector<captured_packet> packets;
};
// "tcpdump -r path -tt -nn": every packet with its time and bytes.
capture_read tcpdump_read(const std::string &path);

// The texts of a type-1 record's packet (the record without sec and usec): tag .. msg.
std::vector<std::string> packet_texts(const bytes &data);
