#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "elements.hpp"
#include "knapsack.hpp"
#include "method.hpp"

// Which method answers which instance, and what follows where it gives up: pure functions of the
// instance's shape and the limits, so that a test can name a shape and the whole plan it must
// get. knapsack.cpp asks them; run.hpp carries the plans out.

/// Bytes up to which the whole table is filled whatever the memory: any process that runs at all
/// can spare them, and the machine's limits need not be read for it.
inline constexpr std::size_t small_table = std::size_t{1} << 20;

/// What the choice sees of an instance as given.
struct given_shape {
  std::size_t elements = 0;
  std::int64_t capacity = 0;
};

/// `limits` with what the machine allows read in, where it names a reader and has not yet.
solver_limits with_machine(const solver_limits& limits);

/// Whether the choice for an instance of shape `s` depends on the memory: only where a whole
/// table past small_table bytes may or may not fit in it.
bool needs_machine(const given_shape& s, const solver_limits& limits,
                   std::optional<given_method> forced);

/// How to answer an instance of shape `s` within `limits`: the whole table while it is cheap and
/// fits in half the memory, else the reduction, which also follows a table whose memory is
/// refused. A forced method is taken; the whole table forced is filled past the budget too.
given_method choose(const given_shape& s, const solver_limits& limits,
                    std::optional<given_method> forced);

/// What the choice sees of the elements a reduction leaves open: how many, and what each method
/// would cost.
struct shape {
  std::size_t open = 0;                ///< elements left open, one at least
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

/// What the choice sees of the open elements of `r` (one at least).
shape shape_of(const reduced& r);

/// How the step lists run beside a plan's method.
enum class run_mode {
  alone,        ///< the method alone, however long it takes
  lists_first,  ///< the step lists until their head start, then the method
  raced,        ///< the step lists, and the method beside them once they have had their head start
};

/// How to answer the open elements: `how`, with the step lists beside it as `mode` says, then
/// `fallback`, where there is one, where `how` gives up or cannot have its memory.
struct plan {
  open_method how = open_method::lists;
  run_mode mode = run_mode::alone;
  std::uint64_t head_start = 0;  ///< work of the lists before `how` starts, but alone
  /// Where `how` races the lists and no thread can be had for it: the head start instead.
  std::uint64_t head_start_unraced = 0;
  /// Work after which the lists, each kind, give up, where they race and `fallback` follows;
  /// none: they go on until they answer or pass their memory.
  std::optional<std::uint64_t> list_work = std::nullopt;
  unsigned threads = 1;        ///< threads of `how`, and of `fallback`
  std::size_t list_steps = 0;  ///< steps each kind of list may hold at once
  std::optional<open_method> fallback = std::nullopt;

  bool operator==(const plan&) const = default;
};

/// The plan for open elements of shape `s` within `limits`, which name the memory and processors:
/// the method that costs least, the lists first wherever the other method takes long, given a
/// quarter of its time, since they usually finish far sooner. A forced method answers alone
/// wherever it applies (the halves to few elements, the rows of bits to a subset sum), with all
/// the memory and no fallback.
plan choose(const shape& s, const solver_limits& limits, std::optional<open_method> forced);
