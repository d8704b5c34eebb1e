#include "machine.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#if __has_include(<sched.h>)
#include <sched.h>
#endif
#if __has_include(<fcntl.h>) && __has_include(<unistd.h>)
#include <fcntl.h>
#include <unistd.h>
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

// A file's text, or nothing where it cannot be read. These files are read on the way to a first
// answer, so in as few calls as the system allows: where POSIX is, one read for a small file.
std::string text_of(const std::string& path) {
  std::string text;
  std::array<char, 4096> chunk{};
#if __has_include(<fcntl.h>) && __has_include(<unistd.h>)
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return text;
  // The kernel hands over a small file in one piece: a read short of the chunk is its end.
  for (ssize_t got = 0; (got = read(file, chunk.data(), chunk.size())) > 0;) {
    text.append(chunk.data(), static_cast<std::size_t>(got));
    if (static_cast<std::size_t>(got) < chunk.size()) break;
  }
  close(file);
#else
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return text;
  for (std::size_t got = 0; (got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) {
    text.append(chunk.data(), got);
  }
  std::fclose(file);
#endif
  return text;
}

// The numbers at the start of `text` (after blanks), as many as it holds; a word stops them.
std::vector<std::int64_t> numbers_in(std::string_view text) {
  std::vector<std::int64_t> numbers;
  for (;;) {
    const auto start = text.find_first_not_of(" \t\n");
    if (start == std::string_view::npos) break;
    text.remove_prefix(start);
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc()) break;
    numbers.push_back(number);
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  }
  return numbers;
}

// The first number in a file (after `key`, when one is given); nothing where there is no such
// file, no number there, or a negative one, as v1's quota of -1 for none.
std::optional<std::uint64_t> read_number(const std::string& path, std::string_view key = "") {
  std::string_view text;
  const std::string whole = text_of(path);
  text = whole;
  if (!key.empty()) {
    const auto at = text.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    text.remove_prefix(at + key.size());
  }
  const std::vector<std::int64_t> numbers = numbers_in(text);
  if (numbers.empty() || numbers.front() < 0) return std::nullopt;
  return static_cast<std::uint64_t>(numbers.front());
}

// The part of `text` before the first `separator` (all of it where there is none), which is
// then dropped from `text` with the separator.
std::string_view take_until(std::string_view& text, char separator) {
  const auto end = std::min(text.find(separator), text.size());
  const std::string_view part = text.substr(0, end);
  text.remove_prefix(std::min(end + 1, text.size()));
  return part;
}

// The groups on the path from the mount point `mount` down to `group`.
std::vector<std::string> groups_down_to(const std::string& mount, std::string_view group) {
  std::vector<std::string> groups{mount};
  while (!group.empty()) {
    const std::string_view part = take_until(group, '/');
    if (!part.empty()) groups.push_back(groups.back() + "/" + std::string(part));
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

groups groups_of(const std::string& root) {
  groups found;
  const std::string text = text_of(root + "/proc/self/cgroup");
  std::string_view lines = text;
  while (!lines.empty()) {
    const std::string_view line = take_until(lines, '\n');
    const auto first = line.find(':');
    const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    const std::string_view controllers = line.substr(first + 1, second - first - 1);
    const std::string path(line.substr(second + 1));
    if (controllers.empty()) found.unified = path;
    for (std::string_view names = controllers; !names.empty();) {
      const std::string_view name = take_until(names, ',');
      if (name == "memory") found.memory = path;
      if (name == "cpu") {
        found.cpu = path;
        found.cpu_mount = std::string(controllers);
      }
    }
  }
  return found;
}

std::size_t memory_limit(const std::string& root, const groups& in) {
  const auto available = read_number(root + "/proc/meminfo", "MemAvailable:");  // in KiB
  std::uint64_t least =
      available && *available <= UINT64_MAX / 1024 ? *available * 1024 : UINT64_MAX;
  const auto take = [&](const std::string& mount, const std::optional<std::string>& group,
                        const char* name) {
    if (!group) return;
    for (const std::string& at : groups_down_to(mount, *group)) {
      least = std::min(least, read_number(at + "/" + name).value_or(UINT64_MAX));
    }
  };
  take(root + "/sys/fs/cgroup", in.unified, "memory.max");
  take(root + "/sys/fs/cgroup/memory", in.memory, "memory.limit_in_bytes");
  return least <= SIZE_MAX ? static_cast<std::size_t>(least) : SIZE_MAX;
}

// Processors' worth of time per period: quota / period, rounded up; nothing where unlimited.
std::optional<unsigned> quota_threads(std::optional<std::uint64_t> quota,
                                      std::optional<std::uint64_t> period) {
  if (!quota || !period || *period == 0) return std::nullopt;
  const std::uint64_t threads = *quota / *period + (*quota % *period != 0 ? 1 : 0);
  return static_cast<unsigned>(std::clamp<std::uint64_t>(threads, 1, UINT32_MAX));
}

unsigned cpu_quota(const std::string& root, const groups& in) {
  unsigned least = UINT32_MAX;
  if (in.unified) {
    for (const std::string& at : groups_down_to(root + "/sys/fs/cgroup", *in.unified)) {
      // "max 100000" reads as no number: unlimited.
      const std::vector<std::int64_t> numbers = numbers_in(text_of(at + "/cpu.max"));
      if (numbers.size() >= 2 && numbers[0] > 0 && numbers[1] > 0) {
        least = std::min(least, *quota_threads(static_cast<std::uint64_t>(numbers[0]),
                                               static_cast<std::uint64_t>(numbers[1])));
      }
    }
  }
  if (in.cpu) {
    const std::string mount = root + "/sys/fs/cgroup/" + in.cpu_mount;
    for (const std::string& at : groups_down_to(mount, *in.cpu)) {
      const auto threads = quota_threads(read_number(at + "/cpu.cfs_quota_us"),
                                         read_number(at + "/cpu.cfs_period_us"));
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

machine_limits read_machine_limits(const std::filesystem::path& root,
                                   std::optional<unsigned> processors) {
  // Paths are joined as strings: "/" and a fake root alike end up with a doubled slash at most.
  const std::string base = root.string() == "/" ? "" : root.string();
  const groups in = groups_of(base);
  return {memory_limit(base, in),
          std::min(processors.value_or(affinity_threads()), cpu_quota(base, in))};
}
