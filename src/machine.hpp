#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

// What this process may use of the machine it runs on: memory and processors, from its control
// group, its affinity mask and the kernel's own figures. The entry point hands the solver a reader
// of them, which the solver calls at most once, where a choice depends on them.

/// Memory and processors this process may use.
struct machine_limits {
  std::size_t memory = SIZE_MAX;  ///< bytes; SIZE_MAX where nothing limits them
  unsigned threads = 1;           ///< processors it may run on at once
};

/// Reads the limits under `root` (a directory holding proc/ and sys/; "/" but in tests): the
/// least memory limit on the path from the process's control group up to the root (cgroup v2,
/// or v1's memory controller) and the memory available; the processors in the affinity mask
/// (or `processors`, where given), at most the CPU quota on that path, rounded up.
machine_limits read_machine_limits(const std::filesystem::path& root = "/",
                                   std::optional<unsigned> processors = std::nullopt);
