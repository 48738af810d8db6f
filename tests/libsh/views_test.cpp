// The library's own views: the info lines in their order, the duration text, the memory
// counters and the newest log lines.
#include <string>
#include <vector>

#include "pal_log.h"
#include "sh_fixture.h"
#include "sh_views.h"

static const char kLogTag[] = "test";

namespace {

std::vector<std::string> keys_of(const std::string &text) {
  std::vector<std::string> keys;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) break;
    std::string line = text.substr(start, end - start);
    keys.push_back(line.substr(0, line.find('=')));
    start = end + 1;
  }
  return keys;
}

TEST_F(ShellTest, InfoLinesInOrder) {
  std::string text = run("show info");
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\0');
  EXPECT_EQ(keys_of(text), (std::vector<std::string>{"ver", "ver_date", "start_time", "is_root",
                                                     "log_level", "bsv_pipe_name", "cpu_endian",
                                                     "os_info", "hw_info", "os_start_time"}));
  EXPECT_NE(text.find("\nbsv_pipe_name=\n"), std::string::npos);
  EXPECT_NE(text.find("\ncpu_endian=little\n"), std::string::npos);
  EXPECT_NE(text.find(std::string("\nis_root=") + (geteuid() == 0 ? "1" : "0") + "\n"),
            std::string::npos);
}

TEST(ShellDuration, DaysThenTimeOfDay) {
  struct duration_case {
    uint64_t ms;
    const char *text;
  };
  const duration_case cases[] = {
      {0, "00:00:00"},
      {999, "00:00:00"},
      {61000, "00:01:01"},
      {86399000, "23:59:59"},
      {86400000, "1 day 00:00:00"},
      {2 * 86400000ull + 3723000, "2 days 01:02:03"},
      {400 * 86400000ull, "400 days 00:00:00"},
  };
  for (const duration_case &c : cases) {
    EXPECT_EQ(sh_duration_text(c.ms), c.text) << c.ms;
  }
}

TEST_F(ShellTest, MemoryShowsTheFiveCounters) {
  EXPECT_EQ(keys_of(run("show memory")),
            (std::vector<std::string>{"malloc_count", "malloc_bytes", "malloc_max_size",
                                      "malloc_max_count", "malloc_max_bytes"}));
}

TEST_F(ShellTest, LlogShowsTheNewestLines) {
  ZLOG(LOG2_ERR, "marker line for llog\n");
  EXPECT_NE(run("sl").find("marker line for llog\n"), std::string::npos);
}

}  // namespace
