#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "machine.hpp"

/// Bytes up to which the solver keeps the whole table, memory permitting. Touching fresh memory
/// sets the table's pace: about half a millisecond a MiB on plain pages of a virtual machine, so
/// that a table of this size is answered within some 20 ms, process start included. Beyond it
/// other methods answer in far less, and in a few MiB.
inline constexpr std::size_t table_budget = std::size_t{16} << 20;

/// What the solver may take.
struct solver_limits {
  std::size_t table = table_budget;  ///< bytes up to which the whole table is kept
  std::size_t memory = SIZE_MAX;     ///< bytes the process may use, of which it takes half
  unsigned threads = 1;              ///< processors it may use beyond the whole table
  /// Where set, reads what the machine allows, in place of `memory` and `threads`, once the
  /// solver needs them: reading costs a tenth of a millisecond, as much as a small instance's
  /// answer.
  machine_limits (*machine)() = nullptr;
};

/// The greatest total value of elements, each taken at most once, whose weights sum to at most
/// `capacity`. Element k has value values[k] and weight weights[k]; n is weights.size().
/// Throws std::invalid_argument for a negative capacity or weight or fewer values than weights,
/// std::overflow_error when the best value exceeds INT_MAX, and std::bad_alloc when `limits`
/// leave too little memory for any method.
int knapsack(std::vector<int> values, std::vector<int> weights, int capacity,
             const solver_limits& limits = {});
