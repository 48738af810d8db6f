// Our SHA-1 against the system's sha1sum for every length around the block and padding
// boundaries, and for a large input fed in uneven pieces (the streaming path).
#include "sha1.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string hex(const uint8_t *d, size_t n) {
  std::string s;
  char b[3];
  for (size_t i = 0; i < n; ++i) {
    snprintf(b, sizeof b, "%02x", d[i]);
    s += b;
  }
  return s;
}

// The reference digest: the bytes go to a file and sha1sum reads it.
std::string system_sha1(const std::vector<uint8_t> &data) {
  char path[] = "/tmp/zm_sha1_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return "mkstemp failed";
  FILE *f = fdopen(fd, "wb");
  const bool written = data.empty() || fwrite(data.data(), 1, data.size(), f) == data.size();
  if (fclose(f) != 0 || !written) return "write failed";
  std::string cmd = std::string("sha1sum ") + path;
  FILE *p = popen(cmd.c_str(), "r");
  char out[64] = {};
  const bool got = p && fgets(out, sizeof out, p) != nullptr;
  if (p) pclose(p);
  remove(path);
  return got ? std::string(out, 40) : "sha1sum failed";
}

std::string our_sha1(const std::vector<uint8_t> &data, size_t piece) {
  sha1_ctx ctx;
  sha1_init(&ctx);
  for (size_t off = 0; off < data.size(); off += piece)
    sha1_update(&ctx, data.data() + off, std::min(piece, data.size() - off));
  uint8_t d[SHA1_DIGEST_SIZE];
  sha1_final(&ctx, d);
  return hex(d, sizeof d);
}

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t x = 2463534242u;
  for (auto &b : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = uint8_t(x);
  }
  return v;
}

TEST(Sha1, MatchesSha1sumAcrossBlockBoundaries) {
  for (size_t n = 0; n <= 130; ++n) {
    const auto data = pattern(n);
    EXPECT_EQ(our_sha1(data, n ? n : 1), system_sha1(data)) << "length " << n;
  }
}

TEST(Sha1, StreamingInUnevenPiecesMatchesSha1sum) {
  const auto data = pattern(1 << 20);
  const std::string want = system_sha1(data);
  for (size_t piece : {1u, 7u, 63u, 64u, 65u, 4096u})
    EXPECT_EQ(our_sha1(data, piece), want) << "piece " << piece;
}

}  // namespace
