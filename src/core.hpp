#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "elements.hpp"

// A first pass over a large instance, in time and memory linear in its size, decides most of its
// elements; those it cannot decide, the core, go on to the reduction proper.

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
/// 1, 2, 4, ... of them (add_pieces()).
core core_of(std::span<int> values, std::span<int> weights, int capacity,
             std::size_t kinds_from = count_kinds_from);

/// Appends `count` elements alike to `e` (one element) as pieces of 1, 2, 4, ... of them and the
/// rest, which add up to any count from 0 to `count`: the same selections in far fewer elements.
/// No piece is heavier than `capacity` or worth more than INT_MAX, so that a piece is as plain
/// an element as any; each stands for the elements it holds in every bound by count.
void add_pieces(std::vector<element>& to, const element& e, std::int64_t count,
                std::int64_t capacity);
