#pragma once

#include <span>

#include "elements.hpp"

// Beyond the whole table only the best value matters, so before any method runs the instance is
// narrowed down to the elements whose choice is still open, with bounds on the answer. Arguments
// are as knapsack() checked them.

/// What the reduction may decide.
enum class decisions {
  every_one,  ///< every element whose other choice cannot beat the lower bound
  none,       ///< none: every element worth taking is left open, for a method to answer
};

/// The instance with the weights' common divisor divided out, every element decided (as
/// `decide` allows) whose other choice cannot beat `lower`, and elements alike in weight and value
/// merged into pieces of 1, 2, 4, ... of them. Exact in 64 bits. Its lists may come back
/// reordered.
reduced reduce(std::span<int> values, std::span<int> weights, int capacity,
               decisions decide = decisions::every_one);
