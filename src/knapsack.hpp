#pragma once

#include <cstddef>
#include <span>
#include <vector>

/// Table size in bytes up to which the solver keeps every row; beyond it, only two rows.
inline constexpr std::size_t table_budget = std::size_t{1} << 30;

/// The greatest total value of elements, each taken at most once, whose weights sum to at most
/// `capacity`. Element k has value values[k] and weight weights[k]; n is weights.size().
/// Throws std::invalid_argument for a negative capacity or weight or fewer values than weights,
/// std::overflow_error when the best value exceeds INT_MAX, and std::bad_alloc.
int knapsack(std::vector<int> values, std::vector<int> weights, int capacity);

/// As knapsack(), keeping the whole table only while it takes at most `budget` bytes. With two
/// rows and `prune`, only the cells that can still lead to the answer are computed.
int knapsack_within(std::span<const int> values, std::span<const int> weights, int capacity,
                    std::size_t budget, bool prune = true);
