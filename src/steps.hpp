#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// The best value as a list of steps: the (weight, value) pairs where the best value rises with
// the capacity. Arguments are as knapsack() checked them.

/// How much the step lists may take before they give up.
struct step_limits {
  std::size_t max_steps;   ///< steps held at once, over both lists
  std::uint64_t max_work;  ///< steps written, over the whole run
};

/// The best total value, exact in 64 bits, or nothing once the lists would pass a limit.
std::optional<std::int64_t> best_by_steps(std::span<const int> values, std::span<const int> weights,
                                          int capacity, step_limits limits);
