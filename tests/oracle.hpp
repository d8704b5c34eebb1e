#pragma once

// What the program must do, written down apart from it: the texts of the dialogue, a
// try-every-subset answer and a one-row answer. Shared by the tests and the fuzz target.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline const std::string prompts[] = {
    "\n\t Enter number of elements : ",
    "\n\t Enter the capacity of knapsack : ",
    "\n\t Enter the value/cost of all elements : ",
    "\n\t Enter the weight of all elements : ",
};
inline const std::string result_text = "\n\t Maximum total value in the knapsack : ";

/// The first `count` prompts, as a run that stopped after them leaves them.
inline std::string prompts_up_to(int count) {
  std::string text;
  for (int k = 0; k < count; ++k) text += prompts[k];
  return text;
}

/// The best value over every subset (of at most 31 elements), in 64 bits so that a value beyond
/// the 32-bit range is seen, not suffered.
template <typename number>
std::int64_t brute_force(const std::vector<number>& values, const std::vector<number>& weights,
                         std::int64_t capacity) {
  std::int64_t best = 0;
  for (std::uint32_t subset = 0; subset < (1U << weights.size()); ++subset) {
    std::int64_t value = 0;
    std::int64_t weight = 0;
    for (std::size_t k = 0; k < weights.size(); ++k) {
      if ((subset >> k) & 1U) {
        value += values[k];
        weight += weights[k];
      }
    }
    if (weight <= capacity && value > best) best = value;
  }
  return best;
}

/// The best value by one row over every capacity up to `capacity`, updated from the top down, in
/// 64 bits: for more elements than every subset allows.
template <typename number>
std::int64_t one_row(const std::vector<number>& values, const std::vector<number>& weights,
                     std::int64_t capacity) {
  std::vector<std::int64_t> best(static_cast<std::size_t>(capacity) + 1, 0);
  for (std::size_t k = 0; k < weights.size(); ++k) {
    for (std::int64_t j = capacity; j >= weights[k]; --j) {
      const auto at = static_cast<std::size_t>(j);
      best[at] = std::max(best[at], best[at - static_cast<std::size_t>(weights[k])] + values[k]);
    }
  }
  return best.back();
}
