#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "elements.hpp"
#include "threads.hpp"

// What every method shares: the ways of answering, what a method is given and what it reports.

/// The ways of answering the instance as given.
enum class given_method {
  whole_table,  ///< the whole best-value table
  two_rows,     ///< two rows, every column: the plain reference
  reduction,    ///< the instance reduced, and the elements it leaves open answered as planned
};

/// The ways of answering the elements the reduction leaves open.
enum class open_method {
  lists,        ///< step lists from the greedy selection
  heavy_lists,  ///< step lists over every open element, the heaviest first
  halves,       ///< both halves' selections paired
  rows,         ///< rows of best values
  bit_rows,     ///< rows of bits, for a subset sum
};

/// Steps in the heavy lists from which coarse rows over the capacity bound them as well: they
/// cost a pass over half a million columns per element, and only long lists need them.
inline constexpr std::size_t coarse_after = std::size_t{1} << 16;

/// What a method may take and when it must stop.
struct method_params {
  std::size_t max_steps = SIZE_MAX;                      ///< lists: steps held at once
  std::optional<std::uint64_t> max_work = std::nullopt;  ///< lists: steps they may write
  /// Asked now and then with the work so far (between merges of the lists, between passes of the
  /// rows); false makes the method give up. None: it goes on.
  std::function<bool(std::uint64_t)> keep_going = {};
  unsigned threads = 1;  ///< rows: threads wanted, the caller's among them
  thread_starter start = start_jthread;
  std::size_t coarse_from = coarse_after;  ///< heavy lists: steps from which coarse rows bound
};

/// What a method found for the open elements of a reduced instance.
struct method_result {
  /// The best value of the open elements, exact in 64 bits, where that beats r.lower - r.fixed,
  /// and otherwise a value no more than that (a method may stop once it knows none beats it);
  /// none where the method gave up or was stopped.
  std::optional<std::int64_t> best = std::nullopt;
  /// No selection of the open elements is worth more than this, or than r.lower - r.fixed.
  std::int64_t upper = 0;
  std::uint64_t work = 0;      ///< in the method's own units: steps, cells, words, selections
  std::size_t peak_bytes = 0;  ///< of what it allocated itself
};

/// The one shape of every method for the open elements.
using method_function = method_result (*)(const reduced&, const method_params&);
