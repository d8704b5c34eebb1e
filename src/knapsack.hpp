#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "threads.hpp"

/// Bytes up to which the solver keeps the whole table, memory permitting. Touching fresh memory
/// sets the table's pace: about half a millisecond a MiB on plain pages of a virtual machine, so
/// that a table of this size is answered within some 20 ms, process start included. Beyond it
/// other methods answer in far less, and in a few MiB.
inline constexpr std::size_t table_budget = std::size_t{16} << 20;

/// A method that answers every instance beyond the whole table, in place of the cheapest: for
/// tests and benchmarks, which compare them.
enum class forced {
  none,           ///< the cheapest, as choose() finds it
  lists,          ///< step lists alone, however much they take
  heavy_lists,    ///< step lists over every element, the heaviest first, then rows if need be
  halves,         ///< both halves' selections paired, where few enough elements are open
  rows,           ///< rows (of bits, for a subset sum) alone
  two_rows_full,  ///< two rows, every column, without reducing the instance first
};

/// What the solver may take.
struct solver_limits {
  std::size_t table = table_budget;  ///< bytes up to which the whole table is kept
  std::size_t memory = SIZE_MAX;     ///< bytes the process may use, of which it takes half
  unsigned threads = 1;              ///< processors it may use beyond the whole table
  thread_starter start = start_jthread;
  forced force = forced::none;
};

/// The greatest total value of elements, each taken at most once, whose weights sum to at most
/// `capacity`. Element k has value values[k] and weight weights[k]; n is weights.size().
/// Throws std::invalid_argument for a negative capacity or weight or fewer values than weights,
/// std::overflow_error when the best value exceeds INT_MAX, and std::bad_alloc when `limits`
/// leave too little memory for any method.
int knapsack(std::vector<int> values, std::vector<int> weights, int capacity,
             const solver_limits& limits = {});
