#pragma once

#include <cstddef>
#include <cstdint>

#include "knapsack.hpp"

// Which method answers which instance: a pure function of the instance's shape and the limits,
// so that a test can name a shape and the method it must get.

/// The ways of answering.
enum class method {
  whole_table,    ///< the whole best-value table
  two_rows_full,  ///< two rows, every column, of the instance as given
  reduce,         ///< nothing yet: reduce the instance, then choose again
  bounds,         ///< the reduction's bounds met: its lower bound is the answer
  lists,          ///< step lists alone
  halves,         ///< both halves' selections paired
  rows,           ///< rows of best values
  bit_rows,       ///< rows of bits, for a subset sum
};

/// What the choice sees of an instance: its size as given and, once reduced, what is left open
/// and what each method would cost.
struct shape {
  std::size_t elements = 0;
  std::int64_t capacity = 0;
  bool reduced = false;         ///< the fields below hold
  std::size_t open = 0;         ///< elements left open
  bool subset_sum = false;      ///< every open value the same multiple of its weight
  std::size_t rows_bytes = 0;   ///< of rows of best values on the threads allowed
  unsigned rows_threads = 1;    ///< threads those rows are worth
  std::size_t bits_bytes = 0;   ///< of a row of bits
  std::uint64_t row_cells = 0;  ///< cells the rows of best values compute
  std::uint64_t bit_words = 0;  ///< words the row of bits computes
};

/// How to answer: the step lists first, then `then` where they give up, or `then` alone.
struct plan {
  method then = method::lists;  ///< what answers where the lists do not, or alone
  /// Work the lists may do before `then` starts: 0 for `then` alone, UINT64_MAX for the lists
  /// alone, however long they take.
  std::uint64_t head_start = 0;
  bool raced = false;          ///< `then` starts beside the lists, which go on, on other threads
  unsigned threads = 1;        ///< threads of `then`
  std::size_t list_steps = 0;  ///< steps the lists may hold at once
};

/// The plan for an instance of shape `s` within `limits`: the whole table while it is cheap, and
/// beyond it, once reduced, the method that costs least: the lists first wherever the other
/// method takes long, given a quarter of its time, since they usually finish far sooner.
plan choose(const shape& s, const solver_limits& limits);
