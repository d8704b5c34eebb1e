#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <optional>
#include <span>
#include <vector>

// What every part of the solver beyond the whole table speaks of: elements, the selections lists
// hold, and an instance as the reduction leaves it. Sums of fewer than 2^31 numbers below 2^31
// fit in 64 bits; a sum times a number below 2^32 in 128.

__extension__ using wide = __int128;

/// A selection as a list holds it, or an element as the first pass reads it.
struct entry {
  std::int64_t weight;
  std::int64_t value;
};

/// An element whose choice is open: weight and value both positive, the weight within capacity.
/// It may stand for `count` alike elements of the instance taken together.
struct element {
  std::int64_t weight;
  std::int64_t value;
  std::int64_t count = 1;
};

/// What each of the alike elements `e` stands for weighs and is worth.
inline std::int64_t weight_each(const element& e) {
  return e.count == 1 ? e.weight : e.weight / e.count;  // seldom a piece
}
inline std::int64_t value_each(const element& e) {
  return e.count == 1 ? e.value : e.value / e.count;
}

/// Whether an element may ever be worth taking: one of no value adds nothing, and one heavier
/// than the capacity never fits.
inline bool worth_taking(std::int64_t value, std::int64_t weight, std::int64_t capacity) {
  return value > 0 && weight <= capacity;
}

/// What `e` is worth beyond its weight at the value per weight of `rate`, times the weight of
/// `rate`: positive where `e` is worth more per weight. Both products stay below 2^62.
template <typename e_type, typename rate_type>
std::int64_t gain_over(const e_type& e, const rate_type& rate) {
  return e.value * rate.weight - rate.value * e.weight;
}

/// Whether `a` is worth more per weight than `b`: the order of the elements by value per weight,
/// best first.
inline constexpr auto more_efficient = [](const auto& a, const auto& b) {
  return gain_over(a, b) > 0;
};

/// Rates of a Lagrangian bound over the capacity and the count: every selection of the open
/// elements within the capacity that beats the lower bound is worth at most
///   mu * capacity + lambda * count + the sum of its elements' terms, value - mu * weight -
///   lambda * (elements it stands for),
/// in units of 1 / scale of a value, where `count` is the most elements such a selection holds
/// where lambda > 0, and the fewest where lambda < 0. Where `counted_from` is set, only the
/// elements at least that heavy each are counted, and lambda is not in the others' terms.
struct rates {
  static constexpr std::int64_t scale = std::int64_t{1} << 32;
  std::int64_t mu = 0;  ///< per unit of weight
  wide lambda = 0;      ///< per element
  std::int64_t count = 0;
  std::int64_t counted_from = 0;  ///< a weight per element; 0 counts every element

  /// The elements `e` stands for that the count counts.
  std::int64_t counted(const element& e) const {
    return counted_from == 0 || weight_each(e) >= counted_from ? e.count : 0;
  }

  wide term(const element& e) const {
    return wide{e.value} * scale - wide{mu} * e.weight - lambda * counted(e);
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
  /// Of the bound by count, where a count binds (lambda not 0).
  std::optional<rates> by_count = std::nullopt;
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

/// The same, passing over none.
inline std::int64_t greedy_fill(std::span<const element> by_rate, std::int64_t room) {
  return greedy_fill(by_rate, room, [](std::size_t) { return false; });
}

/// Elements from the heaviest to the lightest, ties in their given order, and the place each
/// had.
struct heaviest_first {
  std::vector<std::size_t> places;
  std::vector<element> order;

  explicit heaviest_first(std::span<const element> elements) : places(elements.size()) {
    std::iota(places.begin(), places.end(), std::size_t{0});
    std::ranges::stable_sort(places, std::greater<>(),
                             [&](std::size_t k) { return elements[k].weight; });
    order.reserve(elements.size());
    for (const std::size_t k : places) order.push_back(elements[k]);
  }
};
