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

/// The least value that beats `best`, where every value is a multiple of `divisor`.
inline std::int64_t to_beat(std::int64_t best, std::int64_t divisor) {
  const std::int64_t below = best / divisor - (best % divisor < 0 ? 1 : 0);
  return (below + 1) * divisor;
}

/// A bound tested in floating point: 1 where `slack`, the bound less what it must reach, is
/// surely at least 0, -1 where it surely is not, 0 where rounding leaves it open. The slack was
/// summed from terms of total size `size`, and floating point errs by far less than 2^-50 of
/// that (and a unit).
inline int surely(double slack, double size) {
  const double error = size * 0x1p-50 + 1;
  return slack > error ? 1 : slack < -error ? -1 : 0;
}

/// Offers, in order of weight, each step of the list [first, end), which a sentinel heavier than
/// any step follows, and each of them changed by `shift`: the merge by which a list of steps takes
/// in an element. Which of the two gives the next step cannot be predicted, so it is chosen
/// without a branch.
template <typename entry, typename shift_by, typename offer_to>
void merge_shifted(const entry* first, const entry* end, shift_by shift, offer_to offer) {
  const entry* kept = first;
  const entry* moved = first;
  while (moved != end) {
    const entry shifted = shift(*moved);
    const bool keep_first = kept->weight <= shifted.weight;  // the sentinel never is
    offer(keep_first ? *kept : shifted);
    kept += keep_first ? 1 : 0;
    moved += keep_first ? 0 : 1;
  }
  for (; kept != end; ++kept) offer(*kept);
}

/// The best value of the open elements of `r`, exact in 64 bits (at least r.lower - r.fixed), or
/// nothing once the lists would pass a limit.
std::optional<std::int64_t> best_by_steps(const reduced& r, const step_limits& limits);
