#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Beyond the whole table only the best value matters, so before any method runs the instance is
// narrowed down to the elements whose choice is still open, with bounds on the answer. Arguments
// are as knapsack() checked them.

__extension__ using wide = __int128;

/// An element whose choice is open: weight and value both positive, the weight within capacity.
/// It may stand for `count` alike elements of the instance taken together.
struct element {
  std::int64_t weight;
  std::int64_t value;
  std::int64_t count = 1;
};

/// Rates of a Lagrangian bound: every selection of the open elements within the capacity that
/// beats the lower bound is worth at most mu * capacity + lambda * count_bound + the sum of its
/// elements' terms, value - mu * weight - lambda * count, where mu = mu_scaled / 2^32 and lambda
/// = lambda_scaled / 2^32 (in units of 1 / 2^32 of a value); count_bound is the most elements
/// such a selection holds where lambda > 0, the fewest where lambda < 0.
struct rates {
  static constexpr std::int64_t scale = std::int64_t{1} << 32;
  std::int64_t mu_scaled = 0;
  wide lambda_scaled = 0;
  std::int64_t count_bound = 0;

  wide term(const element& e) const {
    return wide{e.value} * scale - wide{mu_scaled} * e.weight - lambda_scaled * e.count;
  }
};

/// An instance narrowed down: where the bounds met, `lower` is the best total value, and nothing is
/// left open; otherwise it is `fixed` plus the best value of `sorted` within `capacity`, or
/// `lower` if that is more.
struct reduced {
  std::vector<element> sorted;     ///< the open elements, by value per weight, best first
  std::int64_t capacity = 0;       ///< the room they share, weights divided by their common divisor
  std::int64_t value_divisor = 1;  ///< of every open value, so of every selection's value
  std::int64_t fixed = 0;  ///< value of the elements decided in, and of those weighing nothing
  std::int64_t lower = 0;  ///< a total value, `fixed` included, that some selection reaches
  std::int64_t upper = 0;  ///< a total value no selection exceeds
  rates bound_rates{};     ///< of the bound by count, where a count binds (lambda not 0)
};

/// The greatest multiple of `divisor` (positive) at most `bound`.
inline std::int64_t round_down(std::int64_t bound, std::int64_t divisor) {
  return (bound / divisor - (bound % divisor < 0 ? 1 : 0)) * divisor;
}

/// The least value that beats `best`, where every value is a multiple of `divisor`.
inline std::int64_t to_beat(std::int64_t best, std::int64_t divisor) {
  return round_down(best, divisor) + divisor;
}

/// The value the elements of `by_rate` add where each is taken, in order, wherever it still fits
/// in `room`, passing over those at the places `passed_over` names: a selection completed greedily.
template <typename predicate>
std::int64_t greedy_fill(std::span<const element> by_rate, std::int64_t room,
                         predicate passed_over) {
  std::int64_t value = 0;
  for (std::size_t k = 0; k < by_rate.size() && room > 0; ++k) {
    if (by_rate[k].weight > room || passed_over(k)) continue;
    room -= by_rate[k].weight;
    value += by_rate[k].value;
  }
  return value;
}

/// The places of `elements` from the heaviest to the lightest, ties in their given order.
std::vector<std::size_t> heaviest_first(std::span<const element> elements);

/// The instance with the weights' common divisor divided out, every element decided whose other
/// choice cannot beat `lower`, and elements alike in weight and value merged into pieces of 1, 2,
/// 4, ... of them. Exact in 64 bits. Its lists may come back reordered.
reduced reduce(std::span<int> values, std::span<int> weights, int capacity);

// A first pass over a large instance (core.cpp), in time and memory linear in its size, decides
// most of its elements; those it cannot decide, the core, go on to the reduction proper.

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
