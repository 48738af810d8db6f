// A back end that runs out of space: the test's directory in the backing is a small tmpfs of its
// own (mounted here, so it works under every back end the suite runs on, as long as the server
// reads the same directory tree). Writing more than fits must fail with ENOSPC (FTP: or EIO, as
// a refused upload may only show as a broken data connection) at write, fsync or close, never
// report success, and the files already there must keep their bytes.
#include "e2e_fixture.h"

#include <fcntl.h>
#include <sys/mount.h>

#include <cstdio>
#include <map>

namespace {

constexpr size_t kDiskBytes = 1 << 20;     // the tmpfs
constexpr size_t kPiece = 64 << 10;        // one write(2)
constexpr size_t kBelowCache = 1536 << 10; // more than the disk, less than the 2 MiB write cache
constexpr size_t kAboveCache = 4 << 20;    // the cache must write while the copy goes on

std::string pattern(size_t size, char seed) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(seed + (i * 131) % 251);
  return data;
}

bool acceptable_errno(int eno) {
  return eno == ENOSPC || (e2e::backend() == e2e::backend_kind::ftp && eno == EIO);
}

class FullDisk : public MountedTest {
 protected:
  void SetUp() override {
    MountedTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const std::string options = "size=" + std::to_string(kDiskBytes) + ",mode=0777";
    ASSERT_EQ(mount("tmpfs", b().c_str(), "tmpfs", 0, options.c_str()), 0) << strerror(errno);
    small_ = true;
    // Files that were there before the disk filled up.
    for (const auto &[name, seed] : {std::pair<const char *, char>{"keep1", 'a'}, {"keep2", 'k'}}) {
      ASSERT_TRUE(write_all(b(name), pattern(96 << 10, seed)));
      kept_[name] = e2e::sha256_of(b(name));
    }
  }

  void TearDown() override {
    if (small_) umount2(b().c_str(), MNT_DETACH);
    MountedTest::TearDown();
  }

  // The kept files read the same through the mount and in the backing.
  void expect_kept_files_unchanged() {
    for (const auto &[name, sum] : kept_) {
      EXPECT_EQ(e2e::sha256_of(b(name)), sum) << name << " in the backing";
      EXPECT_EQ(e2e::sha256_of(m(name)), sum) << name << " through the mount";
    }
  }

  bool small_ = false;
  std::map<std::string, std::string> kept_;
};

// How the application finds out: close(2) alone, or fsync(2) and then close(2); with data that
// fits in the write cache (it fails at fsync or close) or that overflows it (it fails at write).
struct FillCase {
  const char *name;
  size_t bytes;
  bool fsync_first;
};

constexpr FillCase kFillCases[] = {
    {"cached, then close", kBelowCache, false},
    {"cached, then fsync", kBelowCache, true},
    {"streamed, then close", kAboveCache, false},
    {"streamed, then fsync", kAboveCache, true},
};

TEST_F(FullDisk, OneStepFailsWithNoSpaceAndNothingElseChanges) {
  for (const FillCase &c : kFillCases) {
    SCOPED_TRACE(c.name);
    const int fd = open(m("big").c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0) << strerror(errno);
    const std::string data = pattern(c.bytes, 'z');
    int failed_errno = 0;
    const char *failed_step = "nothing";
    for (size_t done = 0; done < data.size() && failed_errno == 0; done += kPiece) {
      if (write(fd, data.data() + done, kPiece) != static_cast<ssize_t>(kPiece)) {
        failed_errno = errno;
        failed_step = "write";
      }
    }
    if (c.fsync_first && failed_errno == 0 && fsync(fd) != 0) {
      failed_errno = errno;
      failed_step = "fsync";
    }
    errno = 0;
    const int closed = close(fd);
    if (failed_errno == 0 && closed != 0) {
      failed_errno = errno;
      failed_step = "close";
    }
    EXPECT_NE(failed_errno, 0) << c.bytes << " bytes cannot fit into " << kDiskBytes
                               << ", yet write, fsync and close all succeeded";
    EXPECT_TRUE(acceptable_errno(failed_errno)) << failed_step << ": " << strerror(failed_errno);
    printf("  %s: %s failed with %s\n", c.name, failed_step, strerror(failed_errno));
    expect_kept_files_unchanged();
    // The mount goes on: once the partial file is gone, a small file fits again.
    ASSERT_EQ(unlink(m("big").c_str()), 0) << strerror(errno);
    EXPECT_TRUE(write_all(m("small"), "fits"));
    EXPECT_EQ(read_all(b("small")), "fits");
  }
}

TEST_F(FullDisk, CopyingALargerFileInFails) {
  const std::string source = tree_.work + "/source";
  ASSERT_TRUE(write_all(source, pattern(kAboveCache, 'c')));
  const std::string err = tree_.work + "/cp.err";
  EXPECT_NE(e2e::shell("cp \"" + source + "\" \"" + m("copy") + "\" 2>\"" + err + "\""), 0)
      << "cp reported success for " << kAboveCache << " bytes on a " << kDiskBytes << " disk";
  const std::string message = read_all(err);
  EXPECT_TRUE(message.find("No space left on device") != std::string::npos ||
              (e2e::backend() == e2e::backend_kind::ftp &&
               message.find("Input/output error") != std::string::npos))
      << message;
  expect_kept_files_unchanged();
}

}  // namespace
