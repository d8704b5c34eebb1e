#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

/// Table size in bytes up to which the solver keeps every row, memory permitting.
inline constexpr std::size_t table_budget = std::size_t{1} << 30;

/// How an instance whose whole table is not kept is answered.
enum class beyond_budget {
  automatic,      ///< halves, step lists and rows, each where it costs least
  steps,          ///< step lists alone, however large they grow
  halves,         ///< both halves' selections paired, up to halves_most_elements open elements
  two_rows,       ///< rows, only the columns that can still lead to the answer
  two_rows_full,  ///< two rows, every column, without reducing the instance first
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
  unsigned threads = 1;              ///< processors it may use beyond the whole table
  /// Rows of fewer cells take a tenth of a second or less, and are not raced against the step
  /// lists: beside the lists they lose the caches they fit in and run at a third of their speed,
  /// so the lists give up after a head start instead, and the rows run alone.
  std::uint64_t raced_cells = std::uint64_t{1} << 30;
  beyond_budget how = beyond_budget::automatic;
};

/// As knapsack(), within `limits`.
int knapsack_within(std::span<const int> values, std::span<const int> weights, int capacity,
                    const solver_limits& limits);
