#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>

// What this process may use of the machine it runs on: memory and processors, from its control
// group, its affinity mask and the kernel's own figures, large blocks of memory on huge pages, and
// the vector width of its processors.

// On x86-64 the loops over a row get one clone per vector width, picked when the program loads;
// the build can leave them out to test the portable code alone. Other targets get the portable
// code, vectorised for their baseline.
#if defined(__x86_64__) && !defined(KNAPSACK_NO_CLONES)
#define VECTOR_CLONES [[gnu::target_clones("avx512f", "avx2", "default")]]
#else
#define VECTOR_CLONES
#endif

/// Memory and processors this process may use.
struct machine_limits {
  std::size_t memory = SIZE_MAX;  ///< bytes; SIZE_MAX where nothing limits them
  unsigned threads = 1;           ///< processors it may run on at once
};

/// Reads the limits under `root` (a directory holding proc/ and sys/; "/" but in tests): the
/// least memory limit on the path from the process's control group up to the root (cgroup v2,
/// or v1's memory controller) and the memory available; the processors in the affinity mask,
/// at most the CPU quota on that path, rounded up.
machine_limits read_machine_limits(const std::filesystem::path& root = "/");

struct free_block {
  void operator()(void* block) const;
};

/// A block of `bytes` aligned to 2 MiB and backed by huge pages where the system offers them,
/// which halves the cost of first touching it; empty when memory for it cannot be had.
std::unique_ptr<void, free_block> allocate_huge(std::size_t bytes);
