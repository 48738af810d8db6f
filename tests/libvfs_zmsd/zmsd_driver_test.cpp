// The remote service driver through the VFS against the reference peer: mounting with the version
// gates, read-only and rooted paths, files and listings end to end, a lost link repaired by a
// reconnect when nothing is open, and a broken mount when files are open.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "peer_process.h"
#include "vfs.h"

namespace {

enum : int { CMD_LOGIN = 1, CMD_INFO = 4, CMD_VOLINFO = 5, CMD_SERVER_CONTROL = 8, CMD_OPEN = 10,
             CMD_READ = 12, CMD_FCTL = 20, CMD_OPENDIR = 41 };

// Requests of a mount: probe, compressor, information (connect), information (driver).
constexpr int kMountRequests = 4;

struct mount_closer {
  void operator()(VfsMount *m) const { (void)vfs_umount(m); }
};
using mount_ptr = std::unique_ptr<VfsMount, mount_closer>;

class ZmsdDriverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { unsetenv("http_proxy"); }
  void start_peer(std::vector<std::string> args) {
    peer_ = std::make_unique<PeerProcess>();
    log_ = "/tmp/zmsd-driver-requests-" + std::to_string(getpid());
    std::remove(log_.c_str());
    args.insert(args.end(), {"--request-log", log_});
    ASSERT_TRUE(peer_->start(args)) << peer_->stderr_text();
  }
  void TearDown() override {
    peer_.reset();
    std::remove(log_.c_str());
  }
  std::string url(const std::string &path = "/", const std::string &query = "") const {
    const std::string u = "zmp://127.0.0.1:" + std::to_string(peer_->port()) + path;
    return query.empty() ? u : u + "?" + query;
  }
  mount_ptr mount(const std::string &path = "/", const std::string &query = "") {
    mount_ptr m(vfs_mount(url(path, query).c_str(), &err));
    return m;
  }
  std::vector<int> commands() const {
    std::ifstream in(log_);
    std::vector<int> out;
    for (std::string line; std::getline(in, line);) {
      const size_t at = line.find(" command=");
      if (at != std::string::npos) out.push_back(atoi(line.c_str() + at + 9));
    }
    return out;
  }
  std::string local(const std::string &name) const { return peer_->dir() + "/" + name; }
  void put_file(const std::string &name, const std::string &bytes) const {
    std::ofstream(local(name), std::ios::binary) << bytes;
  }
  std::string get_file(const std::string &name) const {
    std::ifstream in(local(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  verr_info err{};

 private:
  std::unique_ptr<PeerProcess> peer_;
  std::string log_;
};

struct gate_case {
  const char *ver;
  bool mounts;
  bool recovery;  // context controls sent at mount time
};

TEST_F(ZmsdDriverTest, VersionGatesAtMount) {
  const std::vector<gate_case> cases = {
      {"1.5.1", false, false}, {"1.5.2", true, false}, {"1.5.3", true, false},
      {"1.5.4", true, true},   {"1.6.8", true, true}};
  for (const gate_case &c : cases) {
    SCOPED_TRACE(c.ver);
    start_peer({"--ver", c.ver});
    err = {};
    mount_ptr m = mount();
    EXPECT_EQ(m != nullptr, c.mounts) << err.text;
    if (!c.mounts) {
      EXPECT_EQ(err.code, -1);
      EXPECT_STREQ(err.text, "not supported, please upgrade zmsd to the latest version");
    }
    const std::vector<int> sent = commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), CMD_SERVER_CONTROL), c.recovery ? 2 : 0);
  }
}

TEST_F(ZmsdDriverTest, ReadOnlyComesFromTheServerInformation) {
  for (const bool readonly : {true, false}) {
    SCOPED_TRACE(readonly);
    start_peer(readonly ? std::vector<std::string>{"--readonly"} : std::vector<std::string>{});
    mount_ptr m = mount();
    ASSERT_TRUE(m) << err.text;
    uint32_t ro = 7;
    EXPECT_EQ(vfs_get_readonly(m.get(), &ro), 0);
    EXPECT_EQ(ro, readonly ? 1u : 0u);
  }
}

TEST_F(ZmsdDriverTest, FilesListingsAndPathsUnderTheRoot) {
  start_peer({});
  std::filesystem::create_directories(local("top/sub"));
  put_file("top/sub/old", "old");
  put_file("outside", "not listed");
  mount_ptr m = mount("/top");
  ASSERT_TRUE(m) << err.text;

  VfsHandle *w = vfs_open2(m.get(), "/new", VFS_PL_O_WRONLY | VFS_PL_O_CREAT, 0644);
  ASSERT_NE(w, nullptr) << vfs_get_error(m.get());
  const std::string data(3 << 20, 'q');
  EXPECT_EQ(vfs_write(w, data.data(), uint32_t(data.size()), 0), int(data.size()));
  EXPECT_EQ(vfs_close(w), 0);
  EXPECT_EQ(get_file("top/new"), data);

  VfsHandle *r = vfs_open(m.get(), "/sub/old", VFS_O_RDONLY);
  ASSERT_NE(r, nullptr);
  char buf[8] = {};
  EXPECT_EQ(vfs_read(r, buf, sizeof buf, 0), 3);
  EXPECT_STREQ(buf, "old");
  VfsFileInfo fi{};
  EXPECT_EQ(vfs_fstat(r, &fi), 0);
  EXPECT_EQ(fi.size, 3);
  EXPECT_EQ(vfs_close(r), 0);

  VfsHandle *d = vfs_opendir(m.get(), "/", nullptr);
  ASSERT_NE(d, nullptr);
  std::set<std::string> names;
  while (VfsDirEntry *e = vfs_readdir(d)) names.insert(e->name);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "new", "sub"}));
  EXPECT_EQ(vfs_closedir(d), 0);

  EXPECT_EQ(vfs_mkdir(m.get(), "/made", 0755), 0);
  EXPECT_EQ(vfs_rename(m.get(), "/new", "/made/moved", 1), 0);
  EXPECT_EQ(vfs_lstat(m.get(), "/made/moved", &fi), 0);
  EXPECT_EQ(fi.size, int64_t(data.size()));
  EXPECT_EQ(vfs_unlink(m.get(), "/made/moved"), 0);
  EXPECT_EQ(vfs_rmdir(m.get(), "/made"), 0);
  EXPECT_FALSE(std::filesystem::exists(local("top/made")));
  EXPECT_EQ(vfs_stat(m.get(), "/missing", &fi), -1);
  EXPECT_EQ(vfs_get_errno(m.get()), VERR_FILE_NOT_FOUND);
  EXPECT_EQ(vfs_need_exit(m.get()), 0u);
  VfsVolInfo vol{};
  EXPECT_EQ(vfs_statvol(m.get(), &vol), 0);
  EXPECT_GT(vol.total_bytes, 0u);
  EXPECT_NE(vfs_get_active_time(m.get()), 0u);
}

// A server without recovery (1.5.3): the link is cut when the listing is asked for.
TEST_F(ZmsdDriverTest, LostLinkWithNothingOpenReconnectsAndRepeatsOnce) {
  start_peer({"--ver", "1.5.3", "--drop-before", std::to_string(kMountRequests + 1)});
  mount_ptr m = mount();
  ASSERT_TRUE(m) << err.text;
  VfsHandle *d = vfs_opendir(m.get(), "/", nullptr);
  ASSERT_NE(d, nullptr) << vfs_get_error(m.get());
  EXPECT_EQ(vfs_closedir(d), 0);
  const std::vector<int> sent = commands();
  ASSERT_GE(sent.size(), size_t(kMountRequests + 5));
  EXPECT_EQ(sent[kMountRequests], CMD_OPENDIR);
  EXPECT_EQ(sent[kMountRequests + 1], CMD_LOGIN);
  EXPECT_EQ(sent[kMountRequests + 4], CMD_OPENDIR);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), CMD_OPENDIR), 2);
  EXPECT_EQ(vfs_need_exit(m.get()), 0u);
}

// A path call that loses the link with nothing open is not repeated, but the next one runs on a
// new session; before, every stat failed on the dead link until an open came, and lookups come
// before every open, so the mount stayed dead while the server was fine.
TEST_F(ZmsdDriverTest, PathCallAfterALostLinkWithNothingOpenRunsOnANewSession) {
  start_peer({"--ver", "1.5.3", "--drop-before", std::to_string(kMountRequests + 1)});
  put_file("f", "data");
  mount_ptr m = mount();
  ASSERT_TRUE(m) << err.text;
  VfsFileInfo info{};
  EXPECT_EQ(vfs_lstat(m.get(), "/f", &info), -1) << "the cut call fails";
  EXPECT_EQ(vfs_lstat(m.get(), "/f", &info), 0) << vfs_get_error(m.get());
  EXPECT_EQ(info.size, 4);
  EXPECT_EQ(vfs_lstat(m.get(), "/f", &info), 0) << "no further session";
  const std::vector<int> sent = commands();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), CMD_LOGIN), 2);
  EXPECT_EQ(vfs_need_exit(m.get()), 0u);
}

TEST_F(ZmsdDriverTest, IdleLinkIsRepairedByTheVolumeProbe) {
  start_peer({"--ver", "1.5.3", "--drop-before", std::to_string(kMountRequests + 1)});
  mount_ptr m = mount();
  ASSERT_TRUE(m) << err.text;
  VfsVolInfo vol{};
  EXPECT_EQ(vfs_statvol(m.get(), &vol), 0) << vfs_get_error(m.get());
  const std::vector<int> sent = commands();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), CMD_VOLINFO), 2);
}

TEST_F(ZmsdDriverTest, LostLinkWithAFileOpenBreaksTheMount) {
  // Request 5 opens, 6 is the first read.
  start_peer({"--ver", "1.5.3", "--drop-before", std::to_string(kMountRequests + 2)});
  put_file("f", "data");
  mount_ptr m = mount("/", "rcache_size=0");
  ASSERT_TRUE(m) << err.text;
  VfsHandle *f = vfs_open(m.get(), "/f", VFS_O_RDONLY);
  ASSERT_NE(f, nullptr);
  char buf[8];
  EXPECT_EQ(vfs_read(f, buf, 4, 0), -1);
  EXPECT_EQ(vfs_need_exit(m.get()), 1u);
  const size_t seen = commands().size();
  EXPECT_EQ(vfs_read(f, buf, 4, 0), -1);
  EXPECT_EQ(vfs_open(m.get(), "/f", VFS_O_RDONLY), nullptr);
  VfsVolInfo vol{};
  EXPECT_EQ(vfs_statvol(m.get(), &vol), -1);
  EXPECT_EQ(commands().size(), seen);
  vfs_close(f);
}

TEST_F(ZmsdDriverTest, NotFoundNeverReconnects) {
  start_peer({"--ver", "1.5.3"});
  mount_ptr m = mount();
  ASSERT_TRUE(m) << err.text;
  EXPECT_EQ(vfs_open(m.get(), "/none", VFS_O_RDONLY), nullptr);
  EXPECT_EQ(vfs_get_errno(m.get()), VERR_FILE_NOT_FOUND);
  const std::vector<int> sent = commands();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), CMD_LOGIN), 1);
  EXPECT_EQ(vfs_need_exit(m.get()), 0u);
}

}  // namespace
