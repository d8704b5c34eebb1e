#pragma once

#include <vector>

#include "choice.hpp"

/// The greatest total value of elements, each taken at most once, whose weights sum to at most
/// `capacity`. Element k has value values[k] and weight weights[k]; n is weights.size().
/// Throws std::invalid_argument for a negative capacity or weight or fewer values than weights,
/// std::overflow_error when the best value exceeds INT_MAX, and std::bad_alloc when `limits`
/// leave too little memory for any method.
int knapsack(std::vector<int> values, std::vector<int> weights, int capacity,
             const solver_limits& limits = {});
