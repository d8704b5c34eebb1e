#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "reduce.hpp"

// A first pass over a large instance, in time and memory linear in its size: the elements whose
// choice it cannot decide, the core, go on to reduce(); the others are decided here.

/// What the first pass leaves: the best total value is `fixed` plus the best value of `open`
/// within `capacity`, or `lower` if that is more; none is more than `upper`.
struct core {
  std::vector<element> open;  ///< in no particular order
  std::int64_t capacity = 0;  ///< the room they share
  std::int64_t fixed = 0;     ///< value of the elements decided in, and of those weighing nothing
  std::int64_t lower = 0;     ///< a total value, `fixed` included, that some selection reaches
  std::int64_t upper = 0;     ///< a total value no selection exceeds
};

/// Cores of more elements than this have their alike elements counted, and become pieces.
inline constexpr std::size_t count_kinds_from = std::size_t{1} << 16;

/// The core of an instance whose arguments knapsack() checked, whose lists it reorders. It
/// holds nothing per element beyond them but the core. Where the core holds more than
/// `kinds_from` elements (tests lower it), elements alike in weight and value become pieces of
/// 1, 2, 4, ... of them, each counting as one element in the bounds by count that follow.
core core_of(std::span<int> values, std::span<int> weights, int capacity,
             std::size_t kinds_from = count_kinds_from);
