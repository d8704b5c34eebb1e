#include "machine.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// A root of its own, holding the proc/ and sys/ files a case writes.
class fake_root {
 public:
  explicit fake_root(const std::vector<std::pair<std::string, std::string>>& files)
      : path_(fs::temp_directory_path() /
              ("knapsack-machine-" + std::to_string(std::random_device()()))) {
    for (const auto& [name, text] : files) {
      fs::create_directories((path_ / name).parent_path());
      std::ofstream(path_ / name) << text;
    }
  }
  ~fake_root() { fs::remove_all(path_); }
  fake_root(const fake_root&) = delete;
  fake_root& operator=(const fake_root&) = delete;

  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

struct limits_case {
  const char* guards_against;
  std::vector<std::pair<std::string, std::string>> files;
  std::size_t memory;
  unsigned threads;  // of 64 processors
};

const std::string v2_group = "0::/outer/inner\n";
const std::string v1_groups = "5:memory:/outer/inner\n3:cpu,cpuacct:/outer/inner\n0::/\n";

// guards_against, files, memory, threads
const limits_case limits_cases[] = {
    {"nothing to read taken for a limit", {}, SIZE_MAX, 64},
    {"the memory available missed",
     {{"proc/meminfo", "MemTotal: 900 kB\nMemAvailable: 100 kB\n"}},
     102400,
     64},
    {"a limit on an outer group missed",
     {{"proc/self/cgroup", v2_group},
      {"sys/fs/cgroup/outer/memory.max", "1000000\n"},
      {"sys/fs/cgroup/outer/inner/memory.max", "max\n"}},
     1000000,
     64},
    {"the group's own limit missed",
     {{"proc/self/cgroup", v2_group},
      {"sys/fs/cgroup/memory.max", "max\n"},
      {"sys/fs/cgroup/outer/memory.max", "900000\n"},
      {"sys/fs/cgroup/outer/inner/memory.max", "500000\n"}},
     500000,
     64},
    {"version 1's memory controller missed",
     {{"proc/self/cgroup", v1_groups},
      {"sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"},
      {"sys/fs/cgroup/memory/outer/memory.limit_in_bytes", "300000\n"}},
     300000,
     64},
    {"a quota taken for less than its processors' worth",
     {{"proc/self/cgroup", v2_group}, {"sys/fs/cgroup/outer/cpu.max", "150000 100000\n"}},
     SIZE_MAX,
     2},
    {"no quota taken for one",
     {{"proc/self/cgroup", v2_group}, {"sys/fs/cgroup/cpu.max", "max 100000\n"}},
     SIZE_MAX,
     64},
    {"version 1's quota missed",
     {{"proc/self/cgroup", v1_groups},
      {"sys/fs/cgroup/cpu,cpuacct/outer/inner/cpu.cfs_quota_us", "50000\n"},
      {"sys/fs/cgroup/cpu,cpuacct/outer/inner/cpu.cfs_period_us", "100000\n"}},
     SIZE_MAX,
     1},
    {"version 1's quota of -1 taken for one processor",
     {{"proc/self/cgroup", v1_groups},
      {"sys/fs/cgroup/cpu,cpuacct/outer/cpu.cfs_quota_us", "-1\n"},
      {"sys/fs/cgroup/cpu,cpuacct/outer/cpu.cfs_period_us", "100000\n"}},
     SIZE_MAX,
     64},
};

TEST(Machine, ReadsTheProcessGroupsLimits) {
  for (const auto& c : limits_cases) {
    SCOPED_TRACE(c.guards_against);
    const fake_root root(c.files);
    const machine_limits limits = read_machine_limits(root.path(), 64);
    EXPECT_EQ(limits.memory, c.memory);
    EXPECT_EQ(limits.threads, c.threads);
  }
}

}  // namespace
