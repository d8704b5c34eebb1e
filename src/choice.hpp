#pragma once

#include <cstddef>
#include <cstdint>

#include "knapsack.hpp"
#include "reduce.hpp"

// Which method answers which instance: a pure function of the instance's shape and the limits,
// so that a test can name a shape and the method it must get.

/// The ways of answering.
enum class method {
  whole_table,    ///< the whole best-value table
  two_rows_full,  ///< two rows, every column, of the instance as given
  reduce,         ///< nothing yet: reduce the instance, then choose again
  bounds,         ///< the reduction's bounds met: its lower bound is the answer
  lists,          ///< step lists alone
  heavy_lists,    ///< step lists over every element, the heaviest first, then the rows
  halves,         ///< both halves' selections paired
  rows,           ///< rows of best values
  bit_rows,       ///< rows of bits, for a subset sum
};

/// What the choice sees of an instance: its size as given and, once reduced, what is left open
/// and what each method would cost.
struct shape {
  std::size_t elements = 0;
  std::int64_t capacity = 0;
  bool reduced = false;            ///< the fields below hold
  std::size_t open = 0;            ///< elements left open
  std::int64_t open_capacity = 0;  ///< the room they share
  bool subset_sum = false;         ///< every open value the same multiple of its weight
  std::int64_t heaviest = 0;       ///< weight of the heaviest open element
  std::uint64_t row_cells = 0;     ///< cells the rows of best values compute on one thread
  std::uint64_t bit_words = 0;     ///< words the row of bits computes
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
  /// In a race, the work after which the lists give up where no thread can be had for `then`.
  std::uint64_t alone_head_start = 0;
  /// Whether the rows answer where the lists from the heaviest element give up: not where no
  /// row fits in the memory.
  bool rows_last = true;
};

/// The plan for an instance of shape `s` within `limits`: the whole table while it is cheap, and
/// beyond it, once reduced, the method that costs least: the lists first wherever the other
/// method takes long, given a quarter of its time, since they usually finish far sooner.
plan choose(const shape& s, const solver_limits& limits);

/// The best total value of `r` as plan `p` says, for a plan of the reduced instance: the lists
/// and the method after them answer for the open elements, to which the decided elements' value
/// is added, or the reduction's lower bound where that is more. Throws std::bad_alloc where the
/// plan's methods cannot have their memory.
std::int64_t best_by_plan(const reduced& r, const plan& p, const solver_limits& limits);
