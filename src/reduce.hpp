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

/// The instance with every common divisor of the weights divided out and every element decided
/// whose other choice cannot beat `lower`. Exact in 64 bits.
reduced reduce(std::span<const int> values, std::span<const int> weights, int capacity);

/// The most elements and the fewest a selection within `capacity` that beats `lower` (a value of
/// these elements alone) may hold. `least` is past the number of elements when none can.
struct count_range {
  std::size_t least;
  std::size_t most;
};
count_range count_range_of(std::span<const element> sorted, std::int64_t capacity,
                           std::int64_t lower);
