#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "reduce.hpp"

// The best value as a list of steps: the (weight, value) pairs where the best value rises with
// the capacity, over an instance as reduce() leaves it.

/// Bytes a step takes.
inline constexpr std::size_t step_bytes = 24;

/// How much the step lists may take before they give up.
struct step_limits {
  std::size_t max_steps;   ///< steps held at once, over both lists
  std::uint64_t max_work;  ///< steps written, over the whole run
  /// Asked before each widening with the work so far; false makes the lists give up.
  std::function<bool(std::uint64_t)> keep_going = {};
};

/// The best value of the open elements of `r`, exact in 64 bits (at least r.lower - r.fixed), or
/// nothing once the lists would pass a limit.
std::optional<std::int64_t> best_by_steps(const reduced& r, const step_limits& limits);
