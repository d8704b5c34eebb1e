#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Beyond the whole table only the best value matters, so before any method runs the instance is
// narrowed down to the elements whose choice is still open, with bounds on the answer. Arguments
// are as knapsack() checked them.

/// An element whose choice is open: weight and value both positive, the weight within capacity.
struct element {
  std::int64_t weight;
  std::int64_t value;
};

/// An instance narrowed down: the best total value is `fixed` plus the best value of `sorted`
/// within `capacity`, or `lower` if that is more.
struct reduced {
  std::vector<element> sorted;     ///< the open elements, by value per weight, best first
  std::int64_t capacity = 0;       ///< the room they share, weights divided by their common divisor
  std::int64_t value_divisor = 1;  ///< of every open value, so of every selection's value
  std::int64_t fixed = 0;  ///< value of the elements decided in, and of those weighing nothing
  std::int64_t lower = 0;  ///< a total value, `fixed` included, that some selection reaches
  std::int64_t upper = 0;  ///< a total value no selection exceeds
};

/// The instance with the weights' common divisor divided out, every element decided whose other
/// choice cannot beat `lower`, and elements alike in weight and value merged into pieces of 1, 2,
/// 4, ... of them. Exact in 64 bits.
reduced reduce(std::span<const int> values, std::span<const int> weights, int capacity);
