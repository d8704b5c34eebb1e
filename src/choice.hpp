#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "machine.hpp"
#include "threads.hpp"

// Which method answers which instance, and what follows where it gives up: a pure function of the
// instance's shape and the limits, so that a test can name a shape and the whole plan it must get.
// run.hpp carries the plans out and decides nothing.

/// Bytes up to which the solver keeps the whole table, memory permitting. Touching fresh memory
/// sets the table's pace: about half a millisecond a MiB on plain pages of a virtual machine, so
/// that a table of this size is answered within some 20 ms, process start included. Beyond it
/// other methods answer in far less, and in a few MiB.
inline constexpr std::size_t table_budget = std::size_t{16} << 20;

/// The ways of answering.
enum class method {
  none,           ///< none: where nothing follows a method that gave up, memory ran short
  whole_table,    ///< the whole best-value table of the instance as given
  two_rows_full,  ///< two rows, every column, of the instance as given
  reduction,      ///< the instance reduced, and the elements it leaves open answered as planned
  lists,          ///< step lists from the greedy selection
  heavy_lists,    ///< step lists over every open element, the heaviest first
  halves,         ///< both halves' selections paired
  rows,           ///< rows of best values
  bit_rows,       ///< rows of bits, for a subset sum
};

/// How the step lists run beside a plan's method.
enum class run_mode {
  alone,        ///< the method alone, however long it takes
  lists_first,  ///< the step lists until their head start, then the method
  raced,        ///< the step lists, and the method beside them once they have had their head start
};

/// Bytes up to which the whole table is filled whatever the memory: any process that runs at all
/// can spare them, and the machine's limits need not be read for it.
inline constexpr std::size_t small_table = std::size_t{1} << 20;

/// What the solver may take.
struct solver_limits {
  std::size_t table = table_budget;  ///< bytes up to which the whole table is kept
  std::size_t memory = SIZE_MAX;     ///< bytes the process may use, of which it takes half
  unsigned threads = 1;              ///< processors it may use beyond the whole table
  thread_starter start = start_jthread;
  /// A method that answers in place of the cheapest wherever it applies (the whole table, or two
  /// rows, for the instance as given; the others for the elements the reduction leaves open):
  /// for tests and benchmarks, which compare them.
  std::optional<method> force = std::nullopt;
  /// Where set, reads what the machine allows, in place of `memory` and `threads`, once a plan
  /// needs them: reading costs a tenth of a millisecond, as much as a small instance's answer.
  machine_limits (*machine)() = nullptr;
};

/// What the choice sees of an instance: its size as given and, once reduced, what is left open
/// and what each method would cost.
struct shape {
  std::size_t elements = 0;
  std::int64_t capacity = 0;
  bool reduced = false;                ///< the fields below hold
  std::size_t open = 0;                ///< elements left open
  std::int64_t open_capacity = 0;      ///< the room they share
  bool subset_sum = false;             ///< every open value the same multiple of its weight
  std::int64_t heaviest = 0;           ///< weight of the heaviest open element
  std::uint64_t row_cells = 0;         ///< cells the rows of best values compute on one thread
  std::uint64_t row_cells_halved = 0;  ///< the same on two threads, for the busier one
  std::size_t row_bytes = 0;           ///< bytes of the rows of best values on one thread
  std::size_t row_bytes_halved = 0;    ///< the same on two threads
  std::uint64_t bit_words = 0;         ///< words the row of bits computes
  std::size_t bit_bytes = 0;           ///< bytes of the row of bits
};

/// How to answer: `how`, with the step lists beside it as `mode` says, then `fallback` where `how`
/// gives up or cannot have its memory.
struct plan {
  method how = method::none;
  run_mode mode = run_mode::alone;
  std::uint64_t head_start = 0;  ///< work of the lists before `how` starts, but alone
  /// Where `how` races the lists and no thread can be had for it: the head start instead.
  std::uint64_t head_start_unraced = 0;
  /// Work after which the lists, each kind, give up, where they race and `fallback` follows.
  std::uint64_t list_work = UINT64_MAX;
  unsigned threads = 1;        ///< threads of `how`, and of `fallback`
  std::size_t list_steps = 0;  ///< steps each kind of list may hold at once
  method fallback = method::none;

  bool operator==(const plan&) const = default;
};

/// `limits` with what the machine allows read in, where it names a reader and has not yet.
solver_limits with_machine(const solver_limits& limits);

/// Whether the plan for an instance of shape `s` depends on the memory and processors: as given,
/// only where a whole table past small_table bytes may or may not fit in the memory; once
/// reduced, where elements are left open.
bool needs_machine(const shape& s, const solver_limits& limits);

/// The plan for an instance of shape `s` within `limits`. As given: the whole table while it is
/// cheap, the reduction where it is not or where its memory is refused. Once reduced, the method
/// that costs least: the lists first wherever the other method takes long, given a quarter of its
/// time, since they usually finish far sooner.
plan choose(const shape& s, const solver_limits& limits);
