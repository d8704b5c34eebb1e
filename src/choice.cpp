#include "choice.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "bits.hpp"
#include "elements.hpp"
#include "halves.hpp"
#include "rows.hpp"
#include "steps.hpp"
#include "table.hpp"

// While the whole table fits in the budget and comfortably in memory, it is filled: its cost is
// known and small. Beyond it only the best value matters, so the instance is first reduced, and
// often the reduction's bounds meet. Otherwise the methods' costs decide:
//
// - The step lists usually find and prove the best value in a tiny part of the time and memory of
//   any other method, but on some instances grow without end. The halves (few open elements) and
//   the rows cost what their size says. So the lists go first, with a quarter of the other
//   method's time, and where they have not finished by then the other method answers: never much
//   more than that method alone, and the lists' time wherever they are quick.
// - Rows that take a tenth of a second or more do not wait for the lists to give up: the lists
//   that are still going at that point often finish in a fraction of the rows' time, so the rows
//   start beside them, on all processors but the lists' own, once the lists have had a tenth of
//   the rows' time, and the first to finish answers. On one processor the two would only share
//   it, and shorter rows lose their caches beside the lists. Where no thread can be had for the
//   rows after all, the lists go on to their quarter, and the rows follow them.
// - A subset sum the lists have not met in a moment they seldom meet, and beside a row of bits
//   they slow it down more than they help: the row follows them after a hundredth of its time,
//   on every processor.
// - Where single elements take a large share of the capacity (a published class of hard
//   instances is built so), the lists from the greedy selection take about as long as the rows
//   as often as not. Where the rows take less than a tenth of a second, they race those lists
//   from 2 ms on, on two processors or more. Where the rows take longer, lists over every
//   element, the heaviest first, mostly find the answer sooner (heavy.cpp): they start beside the
//   lists from the greedy selection after 2 ms (after them on one processor), and where neither
//   has answered within the rows' time, both stop and the rows follow on every processor. Heavy
//   or not, the two ways of filling rows on two threads are costed apart: each thread fills a row
//   over half of the elements, and cuts off fewer columns than one row over all of them.
// - Where the rows would not fit in the memory left, the lists run alone, however long (for heavy
//   elements both kinds, sharing it). Before rows, the lists hold no more than the rows would on
//   two threads, and in a race both fit in half the usable memory; before the halves, which take
//   little, they may fill that half.
//
// A plan names what follows where its method gives up or its memory is refused: the rows after
// the lists from the heaviest element, or nothing, and then the answer is that memory ran short.
// The reduction follows a whole table whose memory is refused.
//
// Costs are in nanoseconds, measured on this project's machine (2 cores of a server processor)
// over the literature's families: only their ratios matter, and they hold within a factor of two
// from instance to instance.

namespace {

constexpr double step_ns = 5;           // a step of the lists written
constexpr double cached_cell_ns = 0.2;  // a column of a pass over two elements, rows in cache
constexpr double cell_ns = 0.4;         // the same, rows in memory
constexpr std::size_t cached_bytes = std::size_t{8} << 20;
constexpr double bit_word_ns = 1.1;        // a word of a pass of the bit rows
constexpr double selection_ns = 16;        // a selection of the halves
constexpr double lists_share = 0.25;       // of the other method's time, given to the lists first
constexpr double raced_share = 0.1;        // the same, where the other method starts beside them
constexpr double subset_sum_share = 0.01;  // the same, before a row of bits
constexpr double threaded_ns = 2e6;        // rows shorter than this are not worth threads
constexpr double raced_ns = 1e8;           // rows longer than this race the lists
// Where the heaviest element takes a 64th of the capacity or more, step lists from the heaviest
// element join those from the greedy selection once these have had 2 ms: about what a thread
// costs to start, so that no thread starts where the greedy lists answer at once.
constexpr std::int64_t heavy_share = 64;
constexpr double heavy_after_ns = 2e6;
// Of the rows' time, the work the lists may do where elements are heavy: there the lists from the
// greedy selection are quick more often, and the rows no quicker than elsewhere.
constexpr double heavy_share_of_rows = 1.0;
// Rows shorter than this answer before the lists from the heaviest element would have started.
constexpr double heavy_rows_ns = 2 * heavy_after_ns;

std::uint64_t head_start(double other_ns, double share = lists_share) {
  return static_cast<std::uint64_t>(share * other_ns / step_ns) + 1;
}

// The rows of an instance's shape: bytes and time on a given number of threads.
struct rows_estimate {
  const shape& s;
  open_method how;

  std::size_t bytes(unsigned threads) const {
    if (how == open_method::bit_rows) return s.bit_bytes;
    const unsigned used = rows_threads(s.open_capacity, threads);
    return used == 1   ? s.row_bytes
           : used == 2 ? s.row_bytes_halved
                       : shared_rows_bytes(s.open_capacity);
  }
  double ns(unsigned threads) const {
    // Threads share a pass of bits only where its shifts are long: rarely.
    if (how == open_method::bit_rows) return static_cast<double>(s.bit_words) * bit_word_ns;
    // Two threads each fill a row over half of the elements, and cut off fewer columns than one
    // row over all of them; three or more share the columns of each pass, 0.9 times as fast each.
    const double cell = bytes(1) <= cached_bytes ? cached_cell_ns : cell_ns;
    const unsigned used = rows_threads(s.open_capacity, threads);
    if (used == 1) return static_cast<double>(s.row_cells) * cell;
    if (used == 2) return static_cast<double>(s.row_cells_halved) * cell;
    return static_cast<double>(s.row_cells) * cell / (0.9 * used);
  }
};

// The forced method, where it applies to the open elements: alone, with all the memory.
std::optional<plan> forced_plan(open_method forced, const solver_limits& limits, bool halves_fit,
                                const rows_estimate& rows) {
  const unsigned threads = std::max(1U, limits.threads);
  const std::size_t steps = limits.memory / 2 / step_bytes;  // all the room, however long
  switch (forced) {
    case open_method::lists:
    case open_method::heavy_lists:
      return plan{.how = forced, .list_steps = steps};
    case open_method::halves:
      if (!halves_fit) return std::nullopt;
      return plan{.how = forced};
    case open_method::rows:
      return plan{.how = forced, .threads = threads};
    case open_method::bit_rows:
      if (rows.how != open_method::bit_rows) return std::nullopt;
      return plan{.how = forced, .threads = threads};
  }
  return std::nullopt;
}

// Heavy elements, where the rows fit and take less than a tenth of a second: the lists from the
// greedy selection are there as often as not about as quick as the rows, so on two processors or
// more the rows race them, from 2 ms on, on a thread of their own. Nothing where the rows are
// shorter than that, or on one processor: then they are planned as anywhere else.
std::optional<plan> quick_heavy_plan(const rows_estimate& rows, std::size_t room,
                                     unsigned processors) {
  if (processors < 2 || rows.ns(1) < heavy_rows_ns || rows.bytes(1) > room / 2) return {};
  const std::uint64_t after = head_start(heavy_after_ns, 1.0);
  return plan{.how = open_method::rows,
              .mode = run_mode::raced,
              .head_start = after,
              .head_start_unraced = head_start(rows.ns(1), heavy_share_of_rows),
              .list_steps = std::min(rows.bytes(2), room / 2) / step_bytes};
}

// Heavy elements, where the rows take longer or do not fit: the lists from the greedy selection,
// and the lists from the heaviest element beside them after 2 ms (after them on one processor);
// where neither answers within the rows' time, the rows on every processor, where they fit. The
// two lists run at once and are gone before the rows start: each holds no more than a row, and
// both fit in the room.
plan slow_heavy_plan(const rows_estimate& rows, std::size_t room, unsigned processors) {
  const bool share = rows.bytes(processors) <= room && rows.ns(processors) < rows.ns(1);
  const unsigned threads = share ? processors : 1;
  const bool row_fits = rows.bytes(threads) <= room;
  const std::uint64_t after = head_start(heavy_after_ns, 1.0);
  return {.how = open_method::heavy_lists,
          .mode = processors >= 2 ? run_mode::raced : run_mode::lists_first,
          .head_start = after,
          .head_start_unraced = after,
          .list_work = row_fits ? std::optional(head_start(rows.ns(threads), heavy_share_of_rows))
                                : std::nullopt,
          .threads = threads,
          .list_steps = (row_fits ? std::min(rows.bytes(1), room / 2) : room / 2) / step_bytes,
          .fallback = row_fits ? std::optional(rows.how) : std::nullopt};
}

}  // namespace

solver_limits with_machine(const solver_limits& limits) {
  if (limits.machine == nullptr) return limits;
  solver_limits read = limits;
  const machine_limits machine = limits.machine();
  read.memory = machine.memory;
  read.threads = machine.threads;
  read.machine = nullptr;
  return read;
}

bool needs_machine(const given_shape& s, const solver_limits& limits,
                   std::optional<given_method> forced) {
  if (forced == given_method::whole_table) return true;
  if (forced) return false;
  // Only a table between the small ones and the budget may or may not fit in the memory.
  const std::size_t table = whole_table_bytes(s.elements, static_cast<int>(s.capacity));
  return table > small_table && table <= limits.table;
}

given_method choose(const given_shape& s, const solver_limits& limits,
                    std::optional<given_method> forced) {
  if (forced && forced != given_method::whole_table) return *forced;
  const std::size_t table = whole_table_bytes(s.elements, static_cast<int>(s.capacity));
  const bool small = table <= std::min(limits.table, small_table);
  const bool fits = table <= limits.memory / 2 && (table <= limits.table || forced);
  return small || fits ? given_method::whole_table : given_method::reduction;
}

shape shape_of(const reduced& r) {
  shape s{.open = r.sorted.size(), .open_capacity = r.capacity};
  s.subset_sum = subset_sum(r);
  s.heaviest = std::ranges::max(r.sorted, {}, &element::weight).weight;
  if (s.subset_sum) {
    const bits_cost bits = bits_cost_of(r);
    s.bit_words = bits.words;
    s.bit_bytes = bits.bytes;
  } else {
    const rows_cost rows = rows_cost_of(r);
    s.row_cells = rows.cells;
    s.row_cells_halved = rows.cells_halved;
    s.row_bytes = rows.bytes;
    s.row_bytes_halved = rows.bytes_halved;
  }
  return s;
}

plan choose(const shape& s, const solver_limits& limits, std::optional<open_method> forced) {
  const std::size_t room = limits.memory / 2;
  const bool halves_fit = s.open <= halves_most_elements && halves_bytes(s.open) <= room;
  const rows_estimate rows{s, s.subset_sum ? open_method::bit_rows : open_method::rows};
  if (forced) {
    if (const auto plan = forced_plan(*forced, limits, halves_fit, rows)) return *plan;
  }
  if (halves_fit) {
    const double halves_ns = static_cast<double>(halves_selections(s.open)) * selection_ns;
    return {.how = open_method::halves,
            .mode = run_mode::lists_first,
            .head_start = head_start(halves_ns),
            .list_steps = room / step_bytes};
  }

  const unsigned processors = std::max(1U, limits.threads);
  const bool heavy = !s.subset_sum && s.heaviest * heavy_share >= s.open_capacity;
  if (heavy && (rows.bytes(1) > room || rows.ns(processors) >= raced_ns)) {
    return slow_heavy_plan(rows, room, processors);
  }
  if (heavy) {
    if (const auto quick = quick_heavy_plan(rows, room, processors)) return *quick;
  }
  unsigned threads = processors;
  if (rows.bytes(threads) > room || rows.ns(1) < threaded_ns || rows.ns(threads) >= rows.ns(1)) {
    threads = 1;
  }
  const double share = heavy ? heavy_share_of_rows : lists_share;
  // The lists hold no more than the rows would on two threads: so both together never take more
  // than twice that, whoever answers.
  const std::size_t list_bytes = std::min(rows.bytes(2), room);
  if (rows.bytes(threads) > room)
    return {.how = open_method::lists, .list_steps = list_bytes / step_bytes};
  // A subset sum the lists have not met in a moment they seldom meet, and lists beside a row of
  // bits slow it down more than they help: the row follows them, on every thread, early.
  if (rows.how == open_method::bit_rows) {
    return {.how = open_method::bit_rows,
            .mode = run_mode::lists_first,
            .head_start = head_start(rows.ns(processors), subset_sum_share),
            .threads = processors,
            .list_steps = list_bytes / step_bytes};
  }
  const unsigned beside = std::max(1U, std::min(threads, processors - 1));
  if (processors >= 2 && rows.ns(beside) >= raced_ns && rows.bytes(beside) < room) {
    return {.how = open_method::rows,
            .mode = run_mode::raced,
            .head_start = head_start(rows.ns(beside), raced_share),
            .head_start_unraced = head_start(rows.ns(beside)),
            .threads = beside,
            .list_steps = std::min(list_bytes, room - rows.bytes(beside)) / step_bytes};
  }
  return {.how = open_method::rows,
          .mode = run_mode::lists_first,
          .head_start = head_start(rows.ns(threads), share),
          .threads = threads,
          .list_steps = list_bytes / step_bytes};
}
