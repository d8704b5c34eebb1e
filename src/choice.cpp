#include "choice.hpp"

#include <algorithm>
#include <cstdint>

#include "halves.hpp"
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
// - Where the rows would not fit in the memory left, the lists run alone, however long.
// - With three processors or more the rows need not wait for the lists to give up: they start
//   beside them, on all processors but the lists' own, and the first to finish answers. With two,
//   the rows would run on one processor instead of two and lose more than the lists might save.
//
// Costs are in nanoseconds, measured on this project's machine (bench/, `choice_costs`): only
// their ratios matter, and they hold within a factor of two from instance to instance.

namespace {

constexpr double step_ns = 4;         // a step of the lists written
constexpr double row_cell_ns = 0.25;  // a column of a pass over two elements, one thread
constexpr double bit_word_ns = 0.4;   // a word of a pass of the bit rows, one thread
constexpr double selection_ns = 3;    // a selection of the halves
constexpr double lists_share = 0.25;  // of the other method's time, given to the lists first

// How much faster `threads` threads fill rows than one.
double speedup(unsigned threads) {
  return threads <= 1 ? 1.0 : threads == 2 ? 1.7 : 0.85 * threads;
}

std::uint64_t head_start(double other_ns) {
  return static_cast<std::uint64_t>(lists_share * other_ns / step_ns) + 1;
}

// The method forced by `limits` where it applies.
bool forced_plan(const shape& s, const solver_limits& limits, bool halves_fit, plan& chosen) {
  const method rows = s.subset_sum ? method::bit_rows : method::rows;
  const unsigned threads = s.subset_sum ? limits.threads : s.rows_threads;
  switch (limits.force) {
    case forced::lists:
      chosen = {method::lists, UINT64_MAX, false, 1, SIZE_MAX};
      return true;
    case forced::halves:
      if (!halves_fit) return false;
      chosen = {method::halves, 0, false, 1, 0};
      return true;
    case forced::rows:
      chosen = {rows, 0, false, threads, 0};
      return true;
    case forced::none:
    case forced::two_rows_full:
      return false;
  }
  return false;
}

}  // namespace

plan choose(const shape& s, const solver_limits& limits) {
  const std::size_t room = limits.memory / 2;
  if (!s.reduced) {
    const std::size_t table = whole_table_bytes(s.elements, static_cast<int>(s.capacity));
    if (table <= std::min(limits.table, room)) return {method::whole_table};
    if (limits.force == forced::two_rows_full) return {method::two_rows_full};
    return {method::reduce};
  }
  if (s.open == 0) return {method::bounds};
  const bool halves_fit = s.open <= halves_most_elements && halves_bytes(s.open) <= room;
  if (plan chosen; forced_plan(s, limits, halves_fit, chosen)) return chosen;
  if (halves_fit) {
    const double halves_ns = static_cast<double>(halves_selections(s.open)) * selection_ns;
    return {method::halves, head_start(halves_ns), false, 1, room / step_bytes};
  }

  const method rows = s.subset_sum ? method::bit_rows : method::rows;
  const std::size_t rows_bytes = s.subset_sum ? s.bits_bytes : s.rows_bytes;
  // The lists never hold more than half the rows' bytes: both together fit in the room.
  const std::size_t list_room = std::min(rows_bytes / 2, room);
  if (rows_bytes > room) return {method::lists, UINT64_MAX, false, 1, list_room / step_bytes};
  const unsigned threads = s.subset_sum ? std::max(1U, limits.threads) : s.rows_threads;
  const double one_thread_ns = s.subset_sum ? static_cast<double>(s.bit_words) * bit_word_ns
                                            : static_cast<double>(s.row_cells) * row_cell_ns;
  if (threads >= 3) {
    const double raced_ns = one_thread_ns / speedup(threads - 1);
    return {rows, head_start(raced_ns), true, threads - 1,
            std::min(list_room, room - rows_bytes) / step_bytes};
  }
  return {rows, head_start(one_thread_ns / speedup(threads)), false, threads,
          list_room / step_bytes};
}
