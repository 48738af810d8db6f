// zmue against a hostile server: for several seeds the reference peer corrupts a share of its
// replies (truncated frames, bad magic, wrong lengths, broken attributes, overflowing data,
// replies to the wrong request, links cut mid-frame) while an application stats, lists, reads,
// writes, creates, renames and unlinks through the kernel mount. zmue may fail operations, but
// each failure reaches the application as an errno, no operation blocks beyond the time-out
// bound, memory stays bounded, and zmue ends cleanly (by the heartbeat or our SIGTERM), never
// by a signal of its own.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>

#include "hostile_env.h"
#include "peer_process.h"

namespace {

constexpr int kPercent = 5;         // share of corrupted replies
constexpr int kOpsPerSeed = 42;     // operations on each seed's peer, over as many mounts as needed
constexpr int kMountAttempts = 8;   // a refused or broken mount is followed by a new one
constexpr int kBrokenInARow = 3;    // failures in a row that show a broken mount: mount again
constexpr long kRssLimitKb = 96 * 1024;
const uint64_t kSeeds[] = {11, 23, 37, 41, 59};

struct tally {
  int ops = 0, failed = 0, mounts = 0, refused_mounts = 0;
  long longest_ms = 0;
  std::string longest_op;
  long rss_min = -1, rss_max = -1;
  std::map<int, int> errnos;
  void rss(long kb) {
    if (kb <= 0) return;
    rss_min = rss_min < 0 ? kb : std::min(rss_min, kb);
    rss_max = std::max(rss_max, kb);
  }
};

int list_dir(const std::string &path) {
  DIR *d = opendir(path.c_str());
  if (!d) return -1;
  int n = 0;
  errno = 0;
  while (readdir(d)) ++n;
  const int eno = errno;
  closedir(d);
  errno = eno;
  return eno ? -1 : n;
}

int read_file(const std::string &path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return -1;
  char buf[65536];
  const ssize_t n = read(fd, buf, sizeof buf);
  const int eno = errno;
  close(fd);
  errno = eno;
  return n < 0 ? -1 : int(n);
}

// close(2) reports the write-back's result, so it counts as part of the write.
int write_file(const std::string &path, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return -1;
  const std::string data(size, 'w');
  const ssize_t n = write(fd, data.data(), data.size());
  int eno = errno;
  const int closed = close(fd);
  if (closed != 0 && n >= 0) eno = errno;
  errno = eno;
  return n < 0 || closed != 0 ? -1 : int(n);
}

int create_file(const std::string &path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0) return -1;
  return close(fd);
}

struct operation {
  const char *name;
  std::function<int(const std::string &mnt, int round)> run;  // round names its files
};

const operation kOperations[] = {
    {"stat", [](const std::string &m, int r) {
       struct stat st{};
       return stat((m + "/f" + std::to_string(r % 4)).c_str(), &st);
     }},
    {"list", [](const std::string &m, int) { return list_dir(m + "/dir"); }},
    {"read", [](const std::string &m, int r) { return read_file(m + "/f" + std::to_string(r % 4)); }},
    {"write", [](const std::string &m, int r) { return write_file(m + "/w" + std::to_string(r), 20000); }},
    {"create", [](const std::string &m, int r) { return create_file(m + "/c" + std::to_string(r)); }},
    {"rename", [](const std::string &m, int r) {
       return rename((m + "/c" + std::to_string(r)).c_str(), (m + "/r" + std::to_string(r)).c_str());
     }},
    {"unlink", [](const std::string &m, int r) { return unlink((m + "/r" + std::to_string(r)).c_str()); }},
};

void fill_share(const std::string &dir) {
  for (int i = 0; i < 4; ++i) std::ofstream(dir + "/f" + std::to_string(i)) << std::string(3000 + i * 20000, 'a' + i);
  std::filesystem::create_directory(dir + "/dir");
  for (int i = 0; i < 30; ++i) std::ofstream(dir + "/dir/e" + std::to_string(i)) << i;
}

// One mount of the hostile peer and operations on it until `budget` is spent, the mount is gone
// or broken (every call fails at once with ECONNABORTED). A refused mount must end zmue by
// itself with its failure status. Returns the operations run.
int run_mount(PeerProcess &peer, int budget, tally &t) {
  auto tree = hostile::make_tree("zmp://127.0.0.1:" + std::to_string(peer.port()) + "/", peer.dir());
  const int op_bound = hostile::operation_bound_ms();
  if (!tree->mount(hostile::zmp_query())) {
    const int status = tree->process.wait_exit(op_bound);
    EXPECT_EQ(status, 255) << "a refused mount ends zmue with its failure status, got "
                           << hostile::describe_status(status) << "\n" << tree->process.log();
    ++t.refused_mounts;
    return 0;
  }
  ++t.mounts;
  const pid_t pid = tree->process.pid();
  t.rss(hostile::resident_kb(pid));
  int done = 0, aborted_in_a_row = 0;
  while (done < budget && aborted_in_a_row < kBrokenInARow && e2e::fuse_mounted(tree->mnt)) {
    // Operation n of the seed: the list in order, so each round creates, renames, unlinks its own.
    const size_t n = size_t(t.ops);
    const operation &op = kOperations[n % std::size(kOperations)];
    const int round = int(n / std::size(kOperations));
    const hostile::timed_result r = hostile::timed([&] { return op.run(tree->mnt, round); });
    ++t.ops;
    ++done;
    aborted_in_a_row = r.eno == ECONNABORTED ? aborted_in_a_row + 1 : 0;
    if (r.ms > t.longest_ms) {
      t.longest_ms = r.ms;
      t.longest_op = op.name;
    }
    EXPECT_LE(r.ms, op_bound) << op.name << " blocked too long";
    if (r.result < 0) {
      ++t.failed;
      ++t.errnos[r.eno];
      EXPECT_GT(r.eno, 0) << op.name << " failed without an errno";
    }
    t.rss(hostile::resident_kb(pid));
  }
  // Whatever state it is in, zmue ends with a status: by the heartbeat's unmount on its own, or
  // by our SIGTERM while it still serves.
  int status = tree->process.wait_exit(0);
  if (status == -1 && e2e::fuse_mounted(tree->mnt)) {
    tree->process.signal(SIGTERM);
    status = tree->process.wait_exit(op_bound + 5000);
  } else if (status == -1) {
    status = tree->process.wait_exit(op_bound + 5000);
  }
  EXPECT_EQ(status, 0) << hostile::describe_status(status) << "\n" << tree->process.log();
  EXPECT_FALSE(e2e::fuse_mounted(tree->mnt));
  return std::max(done, 1);
}

class HostileServer : public testing::Test {
 protected:
  void SetUp() override {
    const std::string why = e2e::missing_prerequisite();
    if (!why.empty()) GTEST_SKIP() << why;
  }
};

TEST_F(HostileServer, OperationsFailWithAnErrnoInBoundedTimeAndZmueEndsCleanly) {
  tally t;
  for (uint64_t seed : kSeeds) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    PeerProcess peer;
    ASSERT_TRUE(peer.start({"--hostile", std::to_string(seed) + "," + std::to_string(kPercent)}))
        << peer.stderr_text();
    fill_share(peer.dir());
    for (int attempt = 0, left = kOpsPerSeed; attempt < kMountAttempts && left > 0; ++attempt)
      left -= run_mount(peer, left, t);
    const std::string log = peer.stderr_text();
    EXPECT_NE(log.find("hostile reply="), std::string::npos) << "the peer corrupted nothing";
  }
  EXPECT_GT(t.mounts, 0);
  EXPECT_LT(t.rss_max, kRssLimitKb) << "resident memory grew without bound";
  std::string errnos;
  for (const auto &[eno, n] : t.errnos) errnos += " " + std::string(strerrorname_np(eno) ? strerrorname_np(eno) : "?") + "x" + std::to_string(n);
  std::cout << "hostile: seeds " << std::size(kSeeds) << " at " << kPercent << "%, mounts " << t.mounts
            << " (refused " << t.refused_mounts << "), operations " << t.ops << ", failed " << t.failed
            << " (" << errnos << " ), longest " << t.longest_ms << " ms (" << t.longest_op << ", bound "
            << hostile::operation_bound_ms() << " ms), RSS " << t.rss_min << ".." << t.rss_max << " kB\n";
}

}  // namespace
