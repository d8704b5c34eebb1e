#pragma once

// What the program must do, written down apart from it: the texts of the dialogue, a
// try-every-subset answer and a one-row answer, and which method forced on an instance must
// answer it itself. Shared by the tests and the fuzz targets.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "method.hpp"

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

/// The elements of `i` worth taking that weigh something, as (weight, value): those a reduction
/// that decides nothing leaves open, one each, or fewer where alike ones become pieces.
inline std::vector<std::pair<std::int64_t, std::int64_t>> worth_taking(const test_instance& i) {
  std::vector<std::pair<std::int64_t, std::int64_t>> open;
  for (std::size_t k = 0; k < i.weights.size(); ++k) {
    if (i.values[k] > 0 && i.weights[k] > 0 && i.weights[k] <= i.capacity) {
      open.emplace_back(i.weights[k], i.values[k]);
    }
  }
  return open;
}

/// Whether `m`, forced on the open elements of `i`, answers them itself: wherever an element is
/// open, but the halves only few elements and the rows of bits only a subset sum.
inline bool applies(open_method m, const test_instance& i) {
  const auto open = worth_taking(i);
  if (open.empty()) return false;
  if (m == open_method::halves) return open.size() <= 44;
  if (m != open_method::bit_rows) return true;
  return std::ranges::all_of(
      open, [&](const auto& e) { return e.second * open[0].first == open[0].second * e.first; });
}

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
__attribute__((no_sanitize("address", "undefined"))) std::int64_t one_row(
    const std::vector<number>& values, const std::vector<number>& weights, std::int64_t capacity) {
  std::vector<std::int64_t> best(static_cast<std::size_t>(capacity) + 1, 0);
  // Through a pointer and unchecked by the sanitizers, whose every index stays within the row:
  // checked, this oracle would be the slowest part of a debug or fuzzing run.
  std::int64_t* const row = best.data();
  for (std::size_t k = 0; k < weights.size(); ++k) {
    if (weights[k] < 0 || weights[k] > capacity) continue;
    const auto weight = static_cast<std::size_t>(weights[k]);
    const std::int64_t value = values[k];
    for (auto at = static_cast<std::size_t>(capacity); at >= weight && at != SIZE_MAX; --at) {
      row[at] = std::max(row[at], row[at - weight] + value);
    }
  }
  return best.back();
}

/// The best value from the list of every selection that no other beats with less or equal
/// weight, built one element at a time: for large capacities with few such selections. Nothing
/// once the list would hold more than `most` of them. Unchecked by the sanitizers, as one_row()
/// is.
template <typename number>
__attribute__((no_sanitize("address", "undefined"))) std::optional<std::int64_t> pareto(
    const std::vector<number>& values, const std::vector<number>& weights, std::int64_t capacity,
    std::size_t most) {
  using selection = std::pair<std::int64_t, std::int64_t>;  // weight, value
  std::vector<selection> list{{0, 0}};
  std::vector<selection> next;
  for (std::size_t k = 0; k < weights.size(); ++k) {
    const std::int64_t weight = weights[k];
    const std::int64_t value = values[k];
    // The list and the list with element k taken, merged by weight, each selection kept where it
    // is worth more than every lighter one.
    next.clear();
    const auto offer = [&](std::int64_t w, std::int64_t v) {
      if (!next.empty() && v <= next.back().second) return;
      if (!next.empty() && next.back().first == w) next.pop_back();
      next.emplace_back(w, v);
    };
    std::size_t kept = 0;
    std::size_t taken = 0;
    const auto fits = [&] { return taken < list.size() && list[taken].first + weight <= capacity; };
    while (kept < list.size() || fits()) {
      if (kept < list.size() && (!fits() || list[kept].first <= list[taken].first + weight)) {
        offer(list[kept].first, list[kept].second);
        ++kept;
      } else {
        offer(list[taken].first + weight, list[taken].second + value);
        ++taken;
      }
    }
    std::swap(list, next);
    if (list.size() > most) return std::nullopt;
  }
  return list.back().second;
}
