#include "machine.hpp"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#if __has_include(<sched.h>)
#include <sched.h>
#endif

// A process's control group is named in /proc/self/cgroup, one line per hierarchy:
// "0::/path" for cgroup v2, "N:memory:/path" or "N:cpu,cpuacct:/path" for v1. Inside a container
// with its own cgroup namespace the path is "/" and the limits sit at the root of the mount; on a
// host they may sit on any group between the process's own and the root, so every group on that
// path is read and the least limit holds. A limit of "max", or no file, limits nothing.
//
// The processors are those of the affinity mask, fewer where a CPU quota allows less time per
// period than that many would use.

namespace {

namespace fs = std::filesystem;

// The first number in a file (after `key`, when one is given); nothing where there is no such
// file, no number there, or a negative one, as v1's quota of -1 for none.
std::optional<std::uint64_t> read_number(const fs::path& path, std::string_view key = "") {
  std::ifstream file(path);
  if (!key.empty()) {
    for (std::string word; file >> word && word != key;) {
    }
  }
  std::int64_t number = 0;
  if (!(file >> number) || number < 0) return std::nullopt;
  return static_cast<std::uint64_t>(number);
}

// The groups on the path from the mount point `mount` down to `group`.
std::vector<fs::path> groups_down_to(const fs::path& mount, const std::string& group) {
  std::vector<fs::path> groups{mount};
  for (const fs::path& part : fs::path(group).relative_path()) {
    if (!part.empty()) groups.push_back(groups.back() / part);
  }
  return groups;
}

// Where this process's group sits in each hierarchy that matters here.
struct groups {
  std::optional<std::string> unified;     // cgroup v2
  std::optional<std::string> memory;      // v1 memory controller
  std::optional<std::string> cpu;         // v1 cpu controller
  std::string cpu_mount = "cpu,cpuacct";  // its mount's name
};

groups groups_of(const fs::path& root) {
  groups found;
  std::ifstream file(root / "proc/self/cgroup");
  for (std::string line; std::getline(file, line);) {
    const auto first = line.find(':');
    const auto second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    if (controllers.empty()) found.unified = path;
    std::istringstream names(controllers);
    for (std::string name; std::getline(names, name, ',');) {
      if (name == "memory") found.memory = path;
      if (name == "cpu") {
        found.cpu = path;
        found.cpu_mount = controllers;
      }
    }
  }
  return found;
}

std::size_t memory_limit(const fs::path& root, const groups& in) {
  const auto available = read_number(root / "proc/meminfo", "MemAvailable:");  // in KiB
  std::uint64_t least =
      available && *available <= UINT64_MAX / 1024 ? *available * 1024 : UINT64_MAX;
  const auto take = [&](const fs::path& mount, const std::optional<std::string>& group,
                        const char* name) {
    if (!group) return;
    for (const fs::path& at : groups_down_to(mount, *group)) {
      least = std::min(least, read_number(at / name).value_or(UINT64_MAX));
    }
  };
  take(root / "sys/fs/cgroup", in.unified, "memory.max");
  take(root / "sys/fs/cgroup/memory", in.memory, "memory.limit_in_bytes");
  return least <= SIZE_MAX ? static_cast<std::size_t>(least) : SIZE_MAX;
}

// Processors' worth of time per period: quota / period, rounded up; nothing where unlimited.
std::optional<unsigned> quota_threads(std::optional<std::uint64_t> quota,
                                      std::optional<std::uint64_t> period) {
  if (!quota || !period || *period == 0) return std::nullopt;
  const std::uint64_t threads = *quota / *period + (*quota % *period != 0 ? 1 : 0);
  return static_cast<unsigned>(std::clamp<std::uint64_t>(threads, 1, UINT32_MAX));
}

unsigned cpu_quota(const fs::path& root, const groups& in) {
  unsigned least = UINT32_MAX;
  if (in.unified) {
    for (const fs::path& at : groups_down_to(root / "sys/fs/cgroup", *in.unified)) {
      // "max 100000" reads as no number: unlimited.
      std::ifstream file(at / "cpu.max");
      std::int64_t quota = 0;
      std::int64_t period = 0;
      if (file >> quota >> period && quota > 0 && period > 0) {
        least = std::min(least, *quota_threads(static_cast<std::uint64_t>(quota),
                                               static_cast<std::uint64_t>(period)));
      }
    }
  }
  if (in.cpu) {
    const fs::path mount = root / "sys/fs/cgroup" / in.cpu_mount;
    for (const fs::path& at : groups_down_to(mount, *in.cpu)) {
      const auto threads = quota_threads(read_number(at / "cpu.cfs_quota_us"),
                                         read_number(at / "cpu.cfs_period_us"));
      if (threads) least = std::min(least, *threads);
    }
  }
  return least;
}

unsigned affinity_threads() {
#if __has_include(<sched.h>) && defined(CPU_COUNT)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
  }
#endif
  return std::max(1U, std::thread::hardware_concurrency());
}

}  // namespace

machine_limits read_machine_limits(const fs::path& root, std::optional<unsigned> processors) {
  const groups in = groups_of(root);
  return {memory_limit(root, in),
          std::min(processors.value_or(affinity_threads()), cpu_quota(root, in))};
}
