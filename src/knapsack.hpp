#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

/// Table size in bytes up to which the solver keeps every row, memory permitting.
inline constexpr std::size_t table_budget = std::size_t{1} << 30;

/// How an instance whose whole table is not kept is answered.
enum class beyond_budget {
  automatic,      ///< step lists, handing over to two rows when they grow dense
  steps,          ///< step lists alone, however large they grow
  two_rows,       ///< two rows, only the columns that can still lead to the answer
  two_rows_full,  ///< two rows, every column
};

/// The greatest total value of elements, each taken at most once, whose weights sum to at most
/// `capacity`. Element k has value values[k] and weight weights[k]; n is weights.size().
/// Throws std::invalid_argument for a negative capacity or weight or fewer values than weights,
/// std::overflow_error when the best value exceeds INT_MAX, and std::bad_alloc.
int knapsack(std::vector<int> values, std::vector<int> weights, int capacity);

/// What the solver may take, and how it answers beyond the whole table.
struct solver_limits {
  std::size_t table = table_budget;  ///< bytes up to which the whole table is kept
  std::size_t memory = SIZE_MAX;     ///< bytes the process may use, of which it takes half
  beyond_budget how = beyond_budget::automatic;
};

/// As knapsack(), within `limits`.
int knapsack_within(std::span<const int> values, std::span<const int> weights, int capacity,
                    const solver_limits& limits);
