// Copies through a zmp:// mount while the peer cuts the link, alternately before it executes a
// request and after it executed it: both copies (one into the mount, one out of it) complete with
// the sources' checksums, every cut is repaired by link recovery, and zmue holds as many
// descriptors and about as much memory afterwards as before. ZM_RECOVERY_MIB (default 64) sets
// the size of each copy and ZM_RECOVERY_CUTS (default 5) the number of cuts; make soak runs
// 1024 and 50.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "peer_mount.h"

namespace {

using recovery::peer_mount;

constexpr int kServerControl = 8;
constexpr uint64_t kWarmUpBytes = 4 << 20;
constexpr uint64_t kCalibrationMib = 16;
constexpr int kMinRequestsBetweenCuts = 40;  // a recovery takes about ten requests of its own
// Long copies take a little fewer requests per MiB than the short calibration (its fixed costs
// weigh more): the cuts go into this share of the predicted requests.
constexpr double kCutShare = 0.8;
constexpr long kResidentMarginKb = 8 << 10;
constexpr int kCopySeconds = 1800;

struct copy_plan {
  uint64_t mib;
  int cuts;
};

copy_plan plan_from_environment() {
  const char *mib = getenv("ZM_RECOVERY_MIB");
  const char *cuts = getenv("ZM_RECOVERY_CUTS");
  return {mib && atoll(mib) > 0 ? uint64_t(atoll(mib)) : 64, cuts && atoi(cuts) > 0 ? atoi(cuts) : 5};
}

bool make_random_file(const std::string &path, uint64_t bytes) {
  return e2e::shell("head -c " + std::to_string(bytes) + " /dev/urandom > " + path, 600) == 0;
}

// cp into the mount and cp out of it at the same time; true when both succeeded.
bool copy_both_ways(const peer_mount &m, const std::string &name, std::string *why) {
  int in_status = -1, out_status = -1;
  const std::string in_cmd = "cp " + m.scratch() + "/" + name + ".in " + m.mnt() + "/" + name + ".copied-in";
  const std::string out_cmd = "cp " + m.mnt() + "/" + name + ".out " + m.scratch() + "/" + name + ".copied-out";
  std::thread in([&] { in_status = e2e::shell(in_cmd + " 2>&1", kCopySeconds); });
  out_status = e2e::shell(out_cmd + " 2>&1", kCopySeconds);
  in.join();
  *why = "cp in: " + std::to_string(in_status) + ", cp out: " + std::to_string(out_status);
  return in_status == 0 && out_status == 0;
}

// The sources of one round: NAME.in outside the mount, NAME.out in the served directory.
bool make_sources(const peer_mount &m, const std::string &name, uint64_t bytes) {
  return make_random_file(m.scratch() + "/" + name + ".in", bytes) &&
         make_random_file(m.backing() + "/" + name + ".out", bytes);
}

int recoveries_seen(const std::vector<recovery::peer_request> &requests) {
  int n = 0;
  for (const auto &r : requests)
    if (r.command == kServerControl && r.text.find(" cmd=107 ") != std::string::npos) ++n;
  return n;
}

// Requests the mount's start and the warm-up round take, and how many one MiB copied each way
// adds: learnt on a peer without faults, so that the cuts can be placed inside the copies.
struct request_rate {
  uint64_t warm_up;
  double per_mib;
};

class CopyCuts : public testing::Test {
 protected:
  void SetUp() override {
    const std::string why = e2e::missing_prerequisite();
    if (!why.empty()) GTEST_SKIP() << why;
  }

  // Mount, warm-up round; true when it worked.
  static bool warm_up(peer_mount &m, const std::vector<std::string> &faults) {
    if (!m.start(faults, "options=rw")) return false;
    std::string why;
    return make_sources(m, "warm", kWarmUpBytes) && copy_both_ways(m, "warm", &why);
  }

  static request_rate calibrate() {
    peer_mount m;
    if (!warm_up(m, {})) {
      ADD_FAILURE() << "calibration warm-up failed: " << m.why();
      return {};
    }
    const uint64_t before = m.requests().size();
    std::string why;
    if (!make_sources(m, "calibration", kCalibrationMib << 20) || !copy_both_ways(m, "calibration", &why)) {
      ADD_FAILURE() << "calibration copy failed: " << why << "\n" << m.why();
      return {};
    }
    return {before, double(m.requests().size() - before) / double(kCalibrationMib)};
  }
};

TEST_F(CopyCuts, CopiesInAndOutSurviveAlternatingCuts) {
  const copy_plan plan = plan_from_environment();
  const request_rate rate = calibrate();
  ASSERT_GT(rate.per_mib, 0.0);
  const double span = rate.per_mib * double(plan.mib) * kCutShare;
  ASSERT_GE(span / plan.cuts, kMinRequestsBetweenCuts) << "too many cuts for the size";

  // Cut k sits in the middle of the k-th of as many equal stretches of that span;
  // even ones before the request runs, odd ones after.
  std::string before_list, after_list;
  std::vector<uint64_t> cuts;
  for (int k = 0; k < plan.cuts; ++k) {
    cuts.push_back(rate.warm_up + 1 + uint64_t(span * (2 * k + 1) / (2 * plan.cuts)));
    std::string &list = k % 2 == 0 ? before_list : after_list;
    list += (list.empty() ? "" : ",") + std::to_string(cuts.back());
  }
  std::vector<std::string> faults;
  if (!before_list.empty()) faults.insert(faults.end(), {"--drop-before", before_list});
  if (!after_list.empty()) faults.insert(faults.end(), {"--drop-after", after_list});

  peer_mount m;
  ASSERT_TRUE(warm_up(m, faults)) << m.why();
  ASSERT_EQ(recoveries_seen(m.requests()), 0) << "a cut came during the warm-up";
  const pid_t pid = m.zmue().pid();
  const int fds_before = recovery::open_fd_count(pid);
  const long rss_before = recovery::resident_kb(pid);

  const uint64_t bytes = plan.mib << 20;
  ASSERT_TRUE(make_sources(m, "main", bytes));
  std::string why;
  EXPECT_TRUE(copy_both_ways(m, "main", &why)) << why << "\n" << m.zmue().log();
  const auto seen = m.requests();
  const int survived = recoveries_seen(seen);
  EXPECT_EQ(survived, plan.cuts) << "last cut at request " << cuts.back() << ", the copies ended at "
                                 << seen.size();

  const std::string in_src = e2e::sha256_of(m.scratch() + "/main.in");
  const std::string in_copy = e2e::sha256_of(m.backing() + "/main.copied-in");
  const std::string out_src = e2e::sha256_of(m.backing() + "/main.out");
  const std::string out_copy = e2e::sha256_of(m.scratch() + "/main.copied-out");
  EXPECT_EQ(in_copy, in_src);
  EXPECT_EQ(out_copy, out_src);

  const int fds_after = recovery::open_fd_count(pid);
  const long rss_after = recovery::resident_kb(pid);
  EXPECT_EQ(fds_after, fds_before) << "descriptors leaked across the recoveries";
  EXPECT_LE(rss_after, rss_before + kResidentMarginKb) << "memory grew across the recoveries";

  printf("bytes copied: %llu in, %llu out\n", (unsigned long long)bytes, (unsigned long long)bytes);
  printf("cuts survived: %d of %d (at requests", survived, plan.cuts);
  for (uint64_t c : cuts) printf(" %llu", (unsigned long long)c);
  printf(")\n");
  printf("sha256 in:  source %s copy %s\n", in_src.c_str(), in_copy.c_str());
  printf("sha256 out: source %s copy %s\n", out_src.c_str(), out_copy.c_str());
  printf("zmue descriptors: before %d after %d; VmRSS: before %ld kB after %ld kB\n", fds_before,
         fds_after, rss_before, rss_after);
}

}  // namespace
