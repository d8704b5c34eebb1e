#include "rows.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "cells.hpp"
#include "threads.hpp"

// The dense rows: best[j], the greatest value within weight j of the elements so far, for every
// column j up to the capacity. Their cost is the bytes moved, once the rows outgrow the caches, so
// a pass over the row takes in two elements at once:
//   new[j] = max(old[j], old[j-a] + A, old[j-b] + B, old[j-a-b] + A + B),
// reading the row once and writing it once for both. Only the columns that can still lead to the
// answer are computed: none below the capacity less the weight still to come, and none past the
// total weight so far, where every column holds the same `top` (written out just ahead of the
// pass that reads it).
//
// On one thread the row is updated in place, from the top down: a chunk of columns reads all it
// needs before it writes, and it needs only columns below, not yet written. One row, and no
// second stream of writes to allocate.
//
// Two threads each fill a row over half of the elements, in place, and share nothing until the
// end: the answer is the best pair of columns, one from each row, that add up to the capacity.
// Sharing the columns of one row instead made each thread read, every pass, what the other had
// just written, which crossing between cores cost as much as the work saved.
//
// Three threads or more share the columns of each pass of two rows, the old and the new: each
// reads only the old row, so a pass needs no lock, and one barrier between passes.
//
// Where fewer threads start than were wanted, those that did share the work in the same ways: one
// alone fills the one row in place.

namespace {

// Which of a pass's elements fit among some columns: the lighter, a, alone; either; or also both.
enum class fitting { a, either, both };

// The best of taking nothing, or of taking what fits, from the row `at` below column i.
// (std::max over a list of four would not vectorise.)
template <bool saturating, fitting choices>
[[gnu::always_inline]] inline cell raised(const cell* at, std::size_t i, std::size_t a,
                                          cell value_a, std::size_t b, cell value_b) {
  cell best = std::max(at[i], add<saturating>(at[i - a], value_a));
  if constexpr (choices != fitting::a) best = std::max(best, add<saturating>(at[i - b], value_b));
  if constexpr (choices == fitting::both) {
    best = std::max(best, add<saturating>(at[i - a - b], add<saturating>(value_a, value_b)));
  }
  return best;
}

// From one row into another: columns [from, to) of `out`.
template <bool saturating, fitting choices>
[[gnu::always_inline]] inline void take_loop(cell* __restrict out, const cell* __restrict in,
                                             std::size_t from, std::size_t to, std::size_t a,
                                             cell value_a, std::size_t b, cell value_b) {
  for (std::size_t j = from; j < to; ++j) {
    out[j] = raised<saturating, choices>(in, j, a, value_a, b, value_b);
  }
}

template <bool saturating>
[[gnu::always_inline]] inline void take_loop(cell* out, const cell* in, std::size_t from,
                                             std::size_t to, std::size_t a, cell value_a,
                                             std::size_t b, cell value_b, fitting choices) {
  switch (choices) {
    case fitting::a:
      return take_loop<saturating, fitting::a>(out, in, from, to, a, value_a, b, value_b);
    case fitting::either:
      return take_loop<saturating, fitting::either>(out, in, from, to, a, value_a, b, value_b);
    case fitting::both:
      return take_loop<saturating, fitting::both>(out, in, from, to, a, value_a, b, value_b);
  }
}

// The cloned entry point; clones cannot be templates, so saturation and the choices are chosen
// once per call.
VECTOR_CLONES void take(cell* out, const cell* in, std::size_t from, std::size_t to, std::size_t a,
                        cell value_a, std::size_t b, cell value_b, fitting choices,
                        bool saturating) {
  if (saturating) {
    take_loop<true>(out, in, from, to, a, value_a, b, value_b, choices);
  } else {
    take_loop<false>(out, in, from, to, a, value_a, b, value_b, choices);
  }
}

// Where the choices of pass p start to fit among columns [from, to): a, the lighter element,
// from fit_a on; b from fit_b; both from fit_both (for one element, b is 0 and both fit_b and
// fit_both are `to`), so that every piece is a loop without branches.
struct cuts {
  std::size_t a;
  cell value_a;
  std::size_t b;
  cell value_b;
  std::size_t fit_a;
  std::size_t fit_b;
  std::size_t fit_both;
};

cuts cuts_of(const pass& p, std::size_t from, std::size_t to) {
  const bool first_lighter = p.second.weight == 0 || p.first.weight <= p.second.weight;
  const element& lighter = first_lighter ? p.first : p.second;
  const element& heavier = first_lighter ? p.second : p.first;
  cuts c{static_cast<std::size_t>(lighter.weight),
         static_cast<cell>(lighter.value),
         static_cast<std::size_t>(heavier.weight),
         static_cast<cell>(heavier.value),
         0,
         to,
         to};
  c.fit_a = std::clamp(c.a, from, to);
  if (c.b != 0) {
    c.fit_b = std::clamp(c.b, from, to);
    c.fit_both = std::clamp(c.a + c.b, from, to);
  }
  return c;
}

// Writes columns [from, to) of `out` for pass p from the row `in`.
void write_columns(cell* out, const cell* in, std::size_t from, std::size_t to, const pass& p,
                   bool saturating) {
  const cuts c = cuts_of(p, from, to);
  std::copy(in + from, in + c.fit_a, out + from);
  const auto piece = [&](std::size_t begin, std::size_t end, fitting choices) {
    if (begin < end) take(out, in, begin, end, c.a, c.value_a, c.b, c.value_b, choices, saturating);
  };
  piece(c.fit_a, c.fit_b, fitting::a);
  piece(c.fit_b, c.fit_both, fitting::either);
  piece(c.fit_both, to, fitting::both);
}

// In place: columns [from, to) of `row` for the pass, from the top down. Each chunk of columns
// reads all it needs before it writes, so it reads only columns not yet written, whatever the
// weights; the chunk sits in registers, and its loop vectorises.
template <bool saturating, fitting choices>
[[gnu::always_inline]] inline void raise_loop(cell* row, std::size_t from, std::size_t to,
                                              std::size_t a, cell value_a, std::size_t b,
                                              cell value_b) {
  constexpr std::size_t chunk = 64;
  std::size_t end = to;
  for (; end >= from + chunk; end -= chunk) {
    // Columns counted from the row's start, which the choices' columns never pass below.
    const std::size_t first = end - chunk;
    std::array<cell, chunk> next;
    for (std::size_t i = 0; i < chunk; ++i) {
      next[i] = raised<saturating, choices>(row, first + i, a, value_a, b, value_b);
    }
    std::copy(next.begin(), next.end(), row + first);
  }
  for (std::size_t j = end; j-- > from;) {
    row[j] = raised<saturating, choices>(row, j, a, value_a, b, value_b);
  }
}

template <bool saturating>
[[gnu::always_inline]] inline void raise_loop(cell* row, std::size_t from, std::size_t to,
                                              std::size_t a, cell value_a, std::size_t b,
                                              cell value_b, fitting choices) {
  switch (choices) {
    case fitting::a:
      return raise_loop<saturating, fitting::a>(row, from, to, a, value_a, b, value_b);
    case fitting::either:
      return raise_loop<saturating, fitting::either>(row, from, to, a, value_a, b, value_b);
    case fitting::both:
      return raise_loop<saturating, fitting::both>(row, from, to, a, value_a, b, value_b);
  }
}

// The cloned entry point.
VECTOR_CLONES void raise(cell* row, std::size_t from, std::size_t to, std::size_t a, cell value_a,
                         std::size_t b, cell value_b, fitting choices, bool saturating) {
  if (saturating) {
    raise_loop<true>(row, from, to, a, value_a, b, value_b, choices);
  } else {
    raise_loop<false>(row, from, to, a, value_a, b, value_b, choices);
  }
}

// Columns [from, to) of `row` for pass p, in place: the columns below the lighter weight left as
// they are, and the pieces from the top down.
// `row` holds the columns from `base` on.
void raise_columns(cell* row, std::size_t base, std::size_t from, std::size_t to, const pass& p,
                   bool saturating) {
  const cuts c = cuts_of(p, from, to);
  const auto piece = [&](std::size_t begin, std::size_t end, fitting choices) {
    if (begin < end) {
      raise(row, begin - base, end - base, c.a, c.value_a, c.b, c.value_b, choices, saturating);
    }
  };
  piece(c.fit_both, to, fitting::both);
  piece(c.fit_b, c.fit_both, fitting::either);
  piece(c.fit_a, c.fit_b, fitting::a);
}

// Columns a row filled in place over `passes` holds: twice the most a pass reads and writes, from
// the first column its previous pass wrote to its own last, and no more than the capacity's.
std::size_t held_columns(const std::vector<pass>& passes, std::size_t capacity) {
  std::size_t span = 1;
  std::size_t from = 0;
  for (const pass& p : passes) {
    span = std::max(span, p.to - std::min(from, p.to));
    from = std::min(p.from, p.to);
  }
  return std::min(capacity + 1, 2 * span);
}

// One row over `elements`, updated in place: its columns [from, to) are stored, from column
// `base` on, and every column from `to` on holds `top`.
struct filled_row {
  block<cell> storage;
  std::size_t base = 0;
  std::size_t from = 0;
  std::size_t to = 1;
  cell top = 0;

  /// Column j, for j at least `from`.
  cell at(std::size_t j) const { return j < to ? storage[j - base] : top; }
};

// What filling rows took: cells computed and bytes allocated.
struct tally {
  std::uint64_t cells = 0;
  std::size_t bytes = 0;
};

// Whether a method told to stop by `params` stops, after `done`.
bool stopped(const method_params& params, const tally& done) {
  return params.keep_going && !params.keep_going(done.cells);
}

// Fills a row over `elements` in place, for the columns that a selection of other elements of
// total weight `partner` may still complete, adding what it takes to `done`. Nothing once
// `params` say stop; it stops early once the answer cell reaches `target`.
//
// A pass reads no column below the first its previous pass wrote, and writes none past its own
// last: where the capacity is much more than the weight left out of the answer, that span is
// much less than the capacity, and the row holds twice it and slides up the capacity as the
// passes go, its live columns moved down to its start when the next pass would pass its end.
std::optional<filled_row> fill_in_place(std::span<const element> elements, std::size_t capacity,
                                        std::uint64_t partner, bool saturating, cell target,
                                        const method_params& params, tally& done) {
  const std::vector<pass> passes = passes_of(elements, capacity, capacity, partner);
  const std::size_t held = held_columns(passes, capacity);
  filled_row filled{allocate<cell>(held)};
  if (!filled.storage) throw std::bad_alloc();
  done.bytes += held * sizeof(cell);
  cell* const row = filled.storage.get();
  row[0] = 0;
  for (const pass& p : passes) {
    if (stopped(params, done)) return std::nullopt;
    if (p.to - filled.base > held) {
      std::copy(row + (filled.from - filled.base), row + (filled.to - filled.base), row);
      filled.base = filled.from;
    }
    if (filled.to < p.to) {
      std::fill(row + (filled.to - filled.base), row + (p.to - filled.base), filled.top);
    }
    if (p.from < p.to) {
      raise_columns(row, filled.base, p.from, p.to, p, saturating);
      done.cells += p.to - p.from;
    }
    filled.from = std::min(p.from, p.to);
    filled.to = std::max(filled.to, p.to);
    filled.top = add<true>(
        filled.top, add<true>(static_cast<cell>(p.first.value), static_cast<cell>(p.second.value)));
    if (capacity >= p.from && capacity < p.to && row[capacity - filled.base] >= target) break;
  }
  return filled;
}

// What every way of filling the rows needs to know of the instance.
struct row_task {
  std::span<const element> elements;
  std::size_t capacity;
  bool saturating;  // the values may sum past UINT32_MAX
  cell target;      // no selection is worth more: the answer once a cell reaches it
};

std::optional<cell> by_one_row(const row_task& task, const method_params& params, tally& done) {
  const auto row =
      fill_in_place(task.elements, task.capacity, 0, task.saturating, task.target, params, done);
  if (!row) return std::nullopt;
  return row->at(task.capacity);
}

// The elements dealt alternately into two halves, and each half's total weight.
struct halved {
  std::array<std::vector<element>, 2> halves;
  std::array<std::uint64_t, 2> weights{};
};

halved halves_of(std::span<const element> elements) {
  halved made;
  for (std::size_t k = 0; k < elements.size(); ++k) {
    made.halves[k % 2].push_back(elements[k]);
    made.weights[k % 2] += static_cast<std::uint64_t>(elements[k].weight);
  }
  return made;
}

// Two rows, each over half of the elements on a thread of its own: they share nothing until the
// end, where the best pair of columns that add up to the capacity is the answer. Where the second
// thread cannot be had, one row over every element.
std::optional<cell> by_halves_of_rows(const row_task& task, const method_params& params,
                                      tally& done) {
  const std::size_t capacity = task.capacity;
  // Not a structured binding: clang 14, which lints this code, cannot capture one in a lambda.
  const halved split = halves_of(task.elements);
  const auto& halves = split.halves;
  const auto& weights = split.weights;
  std::optional<filled_row> rows[2];
  std::optional<cell> alone;
  std::array<tally, 2> by_thread{};
  on_threads(
      2, params.start,
      [&](unsigned t, unsigned threads) {
        if (threads == 1) {
          alone = by_one_row(task, params, by_thread[0]);
          return;
        }
        rows[t] = fill_in_place(halves[t], capacity, weights[1 - t], task.saturating, saturated,
                                params, by_thread[t]);
      },
      [](unsigned) {});
  done.cells += by_thread[0].cells + by_thread[1].cells;
  done.bytes += by_thread[0].bytes + by_thread[1].bytes;
  if (alone || !rows[0] || !rows[1]) return alone;
  const filled_row& low = *rows[0];
  const filled_row& high = *rows[1];
  cell best = 0;
  for (std::size_t j = low.from; j <= capacity && capacity - j >= high.from; ++j) {
    best = std::max(best, add<true>(low.at(j), high.at(capacity - j)));
  }
  return best;
}

// Three threads or more share the columns of each pass over two rows, the old and the new.
std::optional<cell> by_shared_columns(const row_task& task, const method_params& params,
                                      unsigned wanted, tally& done) {
  const std::size_t capacity = task.capacity;
  const std::vector<pass> passes = passes_of(task.elements, capacity, capacity);
  const block<cell> storage = allocate<cell>(2 * (capacity + 1));
  if (!storage) throw std::bad_alloc();
  done.bytes += 2 * (capacity + 1) * sizeof(cell);
  cell* const rows[2] = {storage.get(), storage.get() + capacity + 1};
  // Before the first pass: the empty selection, worth 0 within every weight.
  const std::size_t first_to = passes.empty() ? 1 : passes.front().to;
  std::fill(rows[0], rows[0] + first_to, cell{0});
  std::vector<cell> tops(passes.size() + 1, 0);
  for (std::size_t k = 0; k < passes.size(); ++k) {
    tops[k + 1] = add<true>(tops[k], add<true>(static_cast<cell>(passes[k].first.value),
                                               static_cast<cell>(passes[k].second.value)));
  }

  spin_barrier barrier;
  // The pass after which every thread stops, once one is asked to: a flag would let a thread that
  // leaves the barrier late see a stop meant for the next pass, and leave the others waiting.
  std::atomic<std::size_t> halt_after{SIZE_MAX};
  std::size_t completed = 0;  // passes completed, as the caller's thread saw them
  const auto work = [&](unsigned t, unsigned threads) {
    for (std::size_t k = 0; k < passes.size(); ++k) {
      const pass& p = passes[k];
      const cell* in = rows[k % 2];
      cell* out = rows[(k + 1) % 2];
      if (p.from < p.to) {
        const auto [from, to] = share(p.from, p.to, t, threads, 16);
        if (from < to) write_columns(out, in, from, to, p, task.saturating);
      }
      // Every column past the weight so far holds the same value; the next pass reads some.
      if (k + 1 < passes.size()) {
        const auto [from, to] = share(p.to, passes[k + 1].to, t, threads, 16);
        std::fill(out + from, out + to, tops[k + 1]);
      }
      if (t == 0) {
        done.cells += p.to - std::min(p.from, p.to);
        if (stopped(params, done)) halt_after.store(k, std::memory_order_relaxed);
      }
      barrier.arrive_and_wait();
      if (halt_after.load(std::memory_order_relaxed) <= k) return;
      if (t == 0) completed = k + 1;
      // Every thread reads the same cell after the barrier, so all agree when to stop.
      if (capacity >= p.from && capacity < p.to && out[capacity] >= task.target) return;
    }
  };
  on_threads(wanted, params.start, work, [&](unsigned threads) { barrier.expect(threads); });
  if (halt_after.load() != SIZE_MAX) return std::nullopt;
  const pass* last = completed == 0 ? nullptr : &passes[completed - 1];
  return last != nullptr && capacity < last->to && capacity >= last->from
             ? rows[completed % 2][capacity]
             : tops[completed];
}

// Threads worth sharing rows up to `capacity`: a share of fewer than 4096 columns costs more at
// the barrier than it saves.
unsigned worth_threads(std::int64_t capacity, unsigned threads) {
  return std::clamp<unsigned>(static_cast<unsigned>(std::min<std::uint64_t>(
                                  threads, static_cast<std::uint64_t>(capacity) / 4096)),
                              1, 64);
}

}  // namespace

std::vector<pass> passes_of(std::span<const element> elements, std::size_t capacity,
                            std::size_t floor, std::uint64_t partner) {
  std::uint64_t to_come = partner;
  for (const element& e : elements) to_come += static_cast<std::uint64_t>(e.weight);
  std::vector<pass> passes;
  std::size_t to = 1;
  for (std::size_t k = 0; k < elements.size(); k += 2) {
    pass p{elements[k], k + 1 < elements.size() ? elements[k + 1] : element{0, 0}, 0, 0};
    const auto weight = static_cast<std::uint64_t>(p.first.weight + p.second.weight);
    to_come -= weight;
    p.from = floor - static_cast<std::size_t>(std::min<std::uint64_t>(floor, to_come));
    p.to = to = static_cast<std::size_t>(std::min<std::uint64_t>(capacity + 1, to + weight));
    passes.push_back(p);
  }
  return passes;
}

namespace {

std::uint64_t cells_of(const std::vector<pass>& passes) {
  std::uint64_t cells = 0;
  for (const pass& p : passes) cells += p.to - std::min(p.from, p.to);
  return cells;
}

}  // namespace

rows_cost rows_cost_of(const reduced& r) {
  const auto capacity = static_cast<std::size_t>(r.capacity);
  const std::vector<pass> whole = passes_of(r.sorted, capacity, capacity);
  const auto [halves, weights] = halves_of(r.sorted);
  const std::vector<pass> low = passes_of(halves[0], capacity, capacity, weights[1]);
  const std::vector<pass> high = passes_of(halves[1], capacity, capacity, weights[0]);
  return {
      .cells = cells_of(whole),
      .cells_halved = std::max(cells_of(low), cells_of(high)),
      .bytes = held_columns(whole, capacity) * sizeof(cell),
      .bytes_halved = (held_columns(low, capacity) + held_columns(high, capacity)) * sizeof(cell)};
}

std::size_t shared_rows_bytes(std::int64_t capacity) {
  return 2 * (static_cast<std::size_t>(capacity) + 1) * sizeof(cell);
}

unsigned rows_threads(std::int64_t capacity, unsigned wanted) {
  return worth_threads(capacity, wanted);
}

method_result best_by_rows(const reduced& r, const method_params& params) {
  const std::int64_t upper = r.upper - r.fixed;
  if (r.sorted.empty()) return {0, 0};
  std::uint64_t value_total = 0;
  for (const element& e : r.sorted) value_total += static_cast<std::uint64_t>(e.value);
  const row_task task{r.sorted, static_cast<std::size_t>(r.capacity), value_total > saturated,
                      static_cast<cell>(std::clamp<std::int64_t>(upper, 0, saturated))};
  const unsigned threads = worth_threads(r.capacity, params.threads);
  tally done;
  const std::optional<cell> best = threads == 1   ? by_one_row(task, params, done)
                                   : threads == 2 ? by_halves_of_rows(task, params, done)
                                                  : by_shared_columns(task, params, threads, done);
  method_result result{std::nullopt, upper, done.cells, done.bytes};
  if (best) result.best = result.upper = *best;
  return result;
}
