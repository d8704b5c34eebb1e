#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

// What the whole table and the rows share: 32-bit cells whose sums saturate at UINT32_MAX instead
// of wrapping, the vector clones of the loops over them, and blocks of memory that may be refused.
//
// Blocks come from malloc on plain pages. Huge pages would halve the cost of touching a block that
// is reused, but on a system that compacts memory to find them, first touching a fresh one stalls
// for milliseconds a page: a table of a gigabyte spent seconds in the kernel. malloc, unlike new,
// calls no new handler, so a block that cannot be had comes back empty and the caller falls back
// to less memory.

// On x86-64 the loops over a row get one clone per vector width, picked when the program loads;
// the build can leave them out to test the portable code alone. Other targets get the portable
// code, vectorised for their baseline.
#if defined(__x86_64__) && !defined(KNAPSACK_NO_CLONES)
#define VECTOR_CLONES [[gnu::target_clones("avx512f", "avx2", "default")]]
#else
#define VECTOR_CLONES
#endif

using cell = std::uint32_t;
inline constexpr cell saturated = UINT32_MAX;

/// rest + value, or UINT32_MAX where that passes it and sums may (`saturating`).
template <bool saturating>
[[gnu::always_inline]] inline cell add(cell rest, cell value) {
  return (saturating ? std::min(rest, saturated - value) : rest) + value;
}

struct free_block {
  void operator()(void* block) const { std::free(block); }
};

template <typename number>
using block = std::unique_ptr<number[], free_block>;

/// `count` numbers, not initialised; empty when memory for them cannot be had.
template <typename number>
block<number> allocate(std::size_t count) {
  if (count > SIZE_MAX / sizeof(number)) return nullptr;
  return block<number>(
      static_cast<number*>(std::malloc(std::max<std::size_t>(1, count) * sizeof(number))));
}
