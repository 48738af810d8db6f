// Helpers of the datagram and capture tests (see the header).
#include "bsvf_test_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <iomanip>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "bsv.h"
#include "log_test_util.h"

uint8_t crc8_reference(const uint8_t *data, size_t len) {
  unsigned crc = 0;
  for (size_t i = 0; i < len; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      const unsigned in = (data[i] >> bit) & 1u;
      const unsigned top = (crc >> 7) & 1u;
      crc = (crc << 1) & 0xffu;
      if (top ^ in) crc ^= 0x07;
    }
  }
  return static_cast<uint8_t>(crc);
}

udp_receiver::udp_receiver() {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
    throw std::runtime_error("udp_receiver");
  port_ = ntohs(addr.sin_port);
}

udp_receiver::~udp_receiver() {
  if (fd_ >= 0) close(fd_);
}

std::string udp_receiver::url(const char *scheme) const {
  return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
}

bytes udp_receiver::receive(int timeout_ms) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) != 1) return {};
  bytes data(65536);
  const ssize_t n = recv(fd_, data.data(), data.size(), 0);
  data.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return data;
}

namespace {

std::string hex(const uint8_t *data, size_t len) {
  std::ostringstream text;
  text << std::hex << std::setfill('0');
  for (size_t i = 0; i < len; ++i) text << std::setw(2) << static_cast<unsigned>(data[i]);
  return text.str();
}

// Output of a shell command and its exit status.
std::string run(const std::string &command, int *status) {
  FILE *p = popen(command.c_str(), "r");
  if (!p) throw std::runtime_error("popen " + command);
  std::string out;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

}  // namespace

bytes openssl_rc4(const uint8_t *key, size_t key_len, const bytes &data) {
  temp_dir dir;
  write_file(dir.file("in"), std::string(data.begin(), data.end()));
  int status = -1;
  run("openssl enc -rc4 -provider legacy -provider default -K " + hex(key, key_len) + " -in " +
          dir.file("in") + " -out " + dir.file("out") + " 2>&1",
      &status);
  if (status != 0) throw std::runtime_error("openssl enc -rc4 failed");
  const std::string out = read_file(dir.file("out"));
  return bytes(out.begin(), out.end());
}

capture_read tcpdump_read(const std::string &path) {
  capture_read result;
  const std::string head = run("tcpdump -r " + path + " -tt -nn 2>&1 >/dev/null", &result.status);
  std::smatch m;
  if (std::regex_search(head, m, std::regex("link-type (\\w+)"))) result.link_type = m[1];
  const std::string out = run("tcpdump -r " + path + " -tt -nn 2>/dev/null", &result.status);
  std::istringstream lines(out);
  std::string line;
  const std::regex packet_line("^(\\d+)\\.(\\d{6}) ");
  const std::regex hex_line("^\\s+0x[0-9a-f]+:\\s+(([0-9a-f]{2,4} ?)+)");
  while (std::getline(lines, line)) {
    if (std::regex_search(line, m, packet_line)) {
      result.packets.push_back({std::stoull(m[1]) * 1000000 + std::stoull(m[2]), {}});
    } else if (!result.packets.empty() && std::regex_search(line, m, hex_line)) {
      // Hex groups end at the double blank before the printable column.
      std::string groups = m[1];
      groups = groups.substr(0, groups.find("  "));
      for (size_t i = 0; i + 1 < groups.size(); ++i) {
        if (groups[i] == ' ') continue;
        result.packets.back().data.push_back(static_cast<uint8_t>(std::stoi(groups.substr(i, 2), nullptr, 16)));
        ++i;
      }
    }
  }
  return result;
}

std::vector<std::string> packet_texts(const bytes &data) {
  std::vector<std::string> texts;
  const size_t head = BSV_LOG_HEAD_SIZE - 12;
  std::string current;
  for (size_t i = head; i < data.size(); ++i) {
    if (data[i] == 0) {
      texts.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  return texts;
}
