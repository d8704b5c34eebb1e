#pragma once

// What the program must do, written down apart from it: the texts of the dialogue, a
// try-every-subset answer and a one-row answer. Shared by the tests and the fuzz target.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

inline const std::string prompts[] = {
    "\n\t Enter number of elements : ",
    "\n\t Enter the capacity of knapsack : ",
    "\n\t Enter the value/cost of all elements : ",
    "\n\t Enter the weight of all elements : ",
};
inline const std::string result_text = "\n\t Maximum total value in the knapsack : ";

/// An instance for tests.
struct test_instance {
  std::vector<int> values;
  std::vector<int> weights;
  int capacity;
};

/// A subset sum that no common divisor helps and whose capacity no selection meets exactly, so
/// that no bound ends the lists early: the weight `first` + 1 (`first` a multiple of 3), then
/// n - 1 multiples of 3 up to 3 * `spread` from a fixed sequence, each worth its weight, at
/// `capacity` (2 more than a multiple of 3).
inline test_instance unreachable_subset_sum(std::size_t n, int spread, int first, int capacity) {
  test_instance made{{}, {first + 1}, capacity};
  for (std::size_t k = 1; k < n; ++k) {
    made.weights.push_back(3 * (static_cast<int>(k) * 7919 % spread + 1));
  }
  made.values = made.weights;
  return made;
}

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

/// The best value from the list of every selection that no other beats with less or equal
/// weight, built one element at a time: for large capacities with few such selections. Nothing
/// once the list would hold more than `most` of them.
template <typename number>
std::optional<std::int64_t> pareto(const std::vector<number>& values,
                                   const std::vector<number>& weights, std::int64_t capacity,
                                   std::size_t most) {
  using selection = std::pair<std::int64_t, std::int64_t>;  // weight, value
  // By weight, the more valuable first among equal weights.
  const auto before = [](const selection& a, const selection& b) {
    return a.first != b.first ? a.first < b.first : a.second > b.second;
  };
  std::vector<selection> list{{0, 0}};
  std::vector<selection> shifted;
  std::vector<selection> all;
  for (std::size_t k = 0; k < weights.size(); ++k) {
    shifted.clear();
    for (const auto& [weight, value] : list) {
      if (weight + weights[k] <= capacity)
        shifted.emplace_back(weight + weights[k], value + values[k]);
    }
    all.resize(list.size() + shifted.size());
    std::merge(list.begin(), list.end(), shifted.begin(), shifted.end(), all.begin(), before);
    // Each selection that beats every lighter one.
    list.clear();
    for (const selection& s : all) {
      if (list.empty() || s.second > list.back().second) list.push_back(s);
    }
    if (list.size() > most) return std::nullopt;
  }
  return list.back().second;
}
