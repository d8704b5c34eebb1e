#include "rows.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <climits>
#include <cstdint>
#include <exception>
#include <functional>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "machine.hpp"

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
// Where every value is the same multiple of its weight (a subset sum), the best value follows
// from the greatest reachable weight within the capacity, and a row needs one bit per column:
// new = old | old << a | old << b | old << (a + b). That row is updated in place from the top
// down, since each word then reads only lower words not yet written; threads share a band of
// words no wider than the smallest shift, so that a band reads only words below itself, and meet
// at a barrier after each band. Columns below the lower bound's weight less the weight still to
// come cannot reach a better sum and are not computed.

namespace {

__extension__ using wide = __int128;

// Threads meet here between passes. Passes can be a microsecond apart, so a thread spins a while
// before it sleeps, and the last to arrive wakes sleepers only when there are some: a wake-up
// costs several times a pass over a short row. (Either a sleeper's count is seen, or the sleeper
// sees the new generation and does not sleep: both are sequentially consistent.)
class spin_barrier {
 public:
  explicit spin_barrier(unsigned count) : count_(count) {}

  void arrive_and_wait() {
    const unsigned generation = generation_.load(std::memory_order_acquire);
    if (waiting_.fetch_add(1, std::memory_order_acq_rel) + 1 == count_) {
      waiting_.store(0, std::memory_order_relaxed);
      generation_.store(generation + 1);
      if (sleepers_.load() > 0) generation_.notify_all();
      return;
    }
    for (int spin = 0; spin < spins_before_sleeping; ++spin) {
      if (generation_.load(std::memory_order_acquire) != generation) return;
    }
    sleepers_.fetch_add(1);
    generation_.wait(generation);
    sleepers_.fetch_sub(1);
  }

 private:
  static constexpr int spins_before_sleeping = 1 << 14;
  unsigned count_;
  alignas(64) std::atomic<unsigned> waiting_{0};
  alignas(64) std::atomic<unsigned> generation_{0};
  std::atomic<unsigned> sleepers_{0};
};

// Runs work(t) on `threads` threads, t = 0 on the caller's.
template <typename function>
void on_threads(unsigned threads, const function& work) {
  std::vector<std::jthread> helpers;
  helpers.reserve(threads - 1);
  for (unsigned t = 1; t < threads; ++t) helpers.emplace_back([&work, t] { work(t); });
  work(0);
}

// Thread t's share of [from, to), cut at multiples of `align`.
std::pair<std::size_t, std::size_t> share(std::size_t from, std::size_t to, unsigned t,
                                          unsigned threads, std::size_t align) {
  const std::size_t part = ((to - from) / threads + align - 1) / align * align;
  const std::size_t begin = std::min(to, from + t * part);
  return {begin, t + 1 == threads ? to : std::min(to, begin + part)};
}

// One pass over the row: one element, or two.
struct pass {
  element first;
  element second;  // weight 0 in a pass of one element
  std::size_t from;
  std::size_t to;
};

// The passes, with the columns each computes: none below `floor` less the weight still to come
// (`partner` more where other elements complete the row's selections later), and none past the
// weight so far (or past the capacity).
std::vector<pass> passes_of(std::span<const element> elements, std::size_t capacity,
                            std::size_t floor, std::uint64_t partner = 0) {
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

// ----- Best values, one 32-bit cell per column.

using cell = std::uint32_t;
constexpr cell saturated = UINT32_MAX;

template <bool saturating>
cell add(cell rest, cell value) {
  return (saturating ? std::min(rest, saturated - value) : rest) + value;
}

// The best of taking nothing, a alone, either of a and b, or also both (by `choices`: 1, 2, 3),
// from the row `at` below column i. (std::max over a list of four would not vectorise.)
template <bool saturating, int choices>
[[gnu::always_inline]] inline cell raised(const cell* at, std::size_t i, std::size_t a,
                                          cell value_a, std::size_t b, cell value_b) {
  cell best = std::max(at[i], add<saturating>(at[i - a], value_a));
  if constexpr (choices >= 2) best = std::max(best, add<saturating>(at[i - b], value_b));
  if constexpr (choices >= 3) {
    best = std::max(best, add<saturating>(at[i - a - b], add<saturating>(value_a, value_b)));
  }
  return best;
}

// From one row into another: columns [from, to) of `out`.
template <bool saturating, int choices>
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
                                             std::size_t b, cell value_b, int choices) {
  if (choices == 1) take_loop<saturating, 1>(out, in, from, to, a, value_a, b, value_b);
  if (choices == 2) take_loop<saturating, 2>(out, in, from, to, a, value_a, b, value_b);
  if (choices == 3) take_loop<saturating, 3>(out, in, from, to, a, value_a, b, value_b);
}

// The cloned entry point; clones cannot be templates, so saturation and the choices are chosen
// once per call.
VECTOR_CLONES void take(cell* out, const cell* in, std::size_t from, std::size_t to, std::size_t a,
                        cell value_a, std::size_t b, cell value_b, int choices, bool saturating) {
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
  const auto piece = [&](std::size_t begin, std::size_t end, int choices) {
    if (begin < end) take(out, in, begin, end, c.a, c.value_a, c.b, c.value_b, choices, saturating);
  };
  piece(c.fit_a, c.fit_b, 1);
  piece(c.fit_b, c.fit_both, 2);
  piece(c.fit_both, to, 3);
}

// In place: columns [from, to) of `row` for the pass, from the top down. Each chunk of columns
// reads all it needs before it writes, so it reads only columns not yet written, whatever the
// weights; the chunk sits in registers, and its loop vectorises.
template <bool saturating, int choices>
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
                                              cell value_b, int choices) {
  if (choices == 1) raise_loop<saturating, 1>(row, from, to, a, value_a, b, value_b);
  if (choices == 2) raise_loop<saturating, 2>(row, from, to, a, value_a, b, value_b);
  if (choices == 3) raise_loop<saturating, 3>(row, from, to, a, value_a, b, value_b);
}

// The cloned entry point: `choices` 1 takes a alone, 2 either a or b, 3 also both.
VECTOR_CLONES void raise(cell* row, std::size_t from, std::size_t to, std::size_t a, cell value_a,
                         std::size_t b, cell value_b, int choices, bool saturating) {
  if (saturating) {
    raise_loop<true>(row, from, to, a, value_a, b, value_b, choices);
  } else {
    raise_loop<false>(row, from, to, a, value_a, b, value_b, choices);
  }
}

// Columns [from, to) of `row` for pass p, in place: the columns below the lighter weight left as
// they are, and the pieces from the top down.
void raise_columns(cell* row, std::size_t from, std::size_t to, const pass& p, bool saturating) {
  const cuts c = cuts_of(p, from, to);
  const auto piece = [&](std::size_t begin, std::size_t end, int choices) {
    if (begin < end) raise(row, begin, end, c.a, c.value_a, c.b, c.value_b, choices, saturating);
  };
  piece(c.fit_both, to, 3);
  piece(c.fit_b, c.fit_both, 2);
  piece(c.fit_a, c.fit_b, 1);
}

// One row over `elements`, updated in place: its columns [from, to) are stored, and every column
// from `to` on holds `top`.
struct filled_row {
  std::unique_ptr<void, free_block> storage;
  std::size_t from = 0;
  std::size_t to = 1;
  cell top = 0;

  cell at(std::size_t j) const { return j < to ? static_cast<const cell*>(storage.get())[j] : top; }
};

// Fills a row over `elements` in place, for the columns that a selection of other elements of
// total weight `partner` may still complete. Nothing once a stop is requested, or once the
// answer cell reaches `target`.
std::optional<filled_row> fill_in_place(std::span<const element> elements, std::size_t capacity,
                                        std::uint64_t partner, bool saturating, cell target,
                                        const std::stop_token& stop) {
  filled_row filled{allocate_huge((capacity + 1) * sizeof(cell))};
  if (!filled.storage) throw std::bad_alloc();
  cell* const row = static_cast<cell*>(filled.storage.get());
  row[0] = 0;
  for (const pass& p : passes_of(elements, capacity, capacity, partner)) {
    if (stop.stop_requested()) return std::nullopt;
    std::fill(row + filled.to, row + p.to, filled.top);
    if (p.from < p.to) raise_columns(row, p.from, p.to, p, saturating);
    filled.from = p.from;
    filled.to = p.to;
    filled.top = add<true>(
        filled.top, add<true>(static_cast<cell>(p.first.value), static_cast<cell>(p.second.value)));
    if (capacity >= p.from && capacity < p.to && row[capacity] >= target) break;
  }
  return filled;
}

// Two rows, each over half of the elements on a thread of its own: they share nothing until the
// end, where the best pair of columns that add up to the capacity is the answer.
std::optional<cell> best_by_halves_of_rows(const reduced& r, bool saturating,
                                           const std::stop_token& stop) {
  const auto capacity = static_cast<std::size_t>(r.capacity);
  std::vector<element> halves[2];
  std::uint64_t weights[2] = {0, 0};
  for (std::size_t k = 0; k < r.sorted.size(); ++k) {
    halves[k % 2].push_back(r.sorted[k]);
    weights[k % 2] += static_cast<std::uint64_t>(r.sorted[k].weight);
  }
  std::optional<filled_row> rows[2];
  std::exception_ptr failure;
  {
    const std::jthread other([&] {
      try {
        rows[1] = fill_in_place(halves[1], capacity, weights[0], saturating, saturated, stop);
      } catch (...) {
        failure = std::current_exception();
      }
    });
    rows[0] = fill_in_place(halves[0], capacity, weights[1], saturating, saturated, stop);
  }
  if (failure) std::rethrow_exception(failure);
  if (!rows[0] || !rows[1]) return std::nullopt;
  const filled_row& low = *rows[0];
  const filled_row& high = *rows[1];
  cell best = 0;
  for (std::size_t j = low.from; j <= capacity && capacity - j >= high.from; ++j) {
    best = std::max(best, add<true>(low.at(j), high.at(capacity - j)));
  }
  return best;
}

std::optional<std::int64_t> best_by_cells(const reduced& r, const rows_options& options) {
  const auto capacity = static_cast<std::size_t>(r.capacity);
  std::uint64_t value_total = 0;
  for (const element& e : r.sorted) value_total += static_cast<std::uint64_t>(e.value);
  const bool saturating = value_total > saturated;
  const std::int64_t target = r.upper - r.fixed;
  const auto answer = [&](cell best) {
    return std::max(r.lower, r.fixed + static_cast<std::int64_t>(best));
  };
  const unsigned threads = std::clamp<unsigned>(
      static_cast<unsigned>(std::min<std::size_t>(options.threads, capacity / 4096)), 1, 64);
  if (threads == 1) {
    const auto row = fill_in_place(
        r.sorted, capacity, 0, saturating,
        static_cast<cell>(std::clamp<std::int64_t>(target, 0, saturated)), options.stop);
    if (!row) return std::nullopt;
    return answer(row->at(capacity));
  }
  if (threads == 2) {
    const auto best = best_by_halves_of_rows(r, saturating, options.stop);
    if (!best) return std::nullopt;
    return answer(*best);
  }
  const std::vector<pass> passes = passes_of(r.sorted, capacity, capacity);
  const auto storage = allocate_huge(2 * (capacity + 1) * sizeof(cell));
  if (!storage) throw std::bad_alloc();
  cell* const rows[2] = {static_cast<cell*>(storage.get()),
                         static_cast<cell*>(storage.get()) + capacity + 1};
  // Before the first pass: the empty selection, worth 0 within every weight.
  const std::size_t first_to = passes.empty() ? 1 : passes.front().to;
  std::fill(rows[0], rows[0] + first_to, cell{0});
  std::vector<cell> tops(passes.size() + 1, 0);
  for (std::size_t k = 0; k < passes.size(); ++k) {
    tops[k + 1] = add<true>(tops[k], add<true>(static_cast<cell>(passes[k].first.value),
                                               static_cast<cell>(passes[k].second.value)));
  }

  spin_barrier barrier(threads);
  std::atomic<bool> halt{false};
  std::size_t done = 0;  // passes completed, as the caller's thread saw them
  on_threads(threads, [&](unsigned t) {
    for (std::size_t k = 0; k < passes.size(); ++k) {
      const pass& p = passes[k];
      const cell* in = rows[k % 2];
      cell* out = rows[(k + 1) % 2];
      if (p.from < p.to) {
        const auto [from, to] = share(p.from, p.to, t, threads, 16);
        if (from < to) write_columns(out, in, from, to, p, saturating);
      }
      // Every column past the weight so far holds the same value; the next pass reads some.
      if (k + 1 < passes.size()) {
        const auto [from, to] = share(p.to, passes[k + 1].to, t, threads, 16);
        std::fill(out + from, out + to, tops[k + 1]);
      }
      if (t == 0 && options.stop.stop_requested()) halt.store(true, std::memory_order_relaxed);
      barrier.arrive_and_wait();
      if (halt.load(std::memory_order_relaxed)) return;
      if (t == 0) done = k + 1;
      // Every thread reads the same cell after the barrier, so all agree when to stop.
      if (capacity >= p.from && capacity < p.to && out[capacity] >= target) return;
    }
  });
  if (halt.load()) return std::nullopt;
  const pass* last = done == 0 ? nullptr : &passes[done - 1];
  return answer(last != nullptr && capacity < last->to && capacity >= last->from
                    ? rows[done % 2][capacity]
                    : tops[done]);
}

// ----- Reachable weights, one bit per column, for a subset sum.

using word = std::uint64_t;
constexpr std::size_t word_bits = 64;

// The word k of the row shifted up by `shift` bits.
word shifted(const word* row, std::size_t k, std::size_t shift) {
  const std::size_t words = shift / word_bits;
  const std::size_t bits = shift % word_bits;
  if (k < words) return 0;
  const word high = row[k - words] << bits;
  const word low = bits != 0 && k > words ? row[k - words - 1] >> (word_bits - bits) : 0;
  return high | low;
}

// The same where k > shift / 64, with no branch: shifting right by 1 and then by 63 - bits gives
// 0 where bits is 0, where a shift by 64 would be undefined.
[[gnu::always_inline]] inline word shifted_inside(const word* row, std::size_t k,
                                                  std::size_t shift) {
  const std::size_t words = shift / word_bits;
  const std::size_t bits = shift % word_bits;
  return (row[k - words] << bits) | ((row[k - words - 1] >> 1) >> (word_bits - 1 - bits));
}

// Words [from, to) ORed with the row shifted up by a, b and a + b (by a alone where b is 0), for
// from > (a + b) / 64; `out` is the row from word `from` on, and the caller keeps the words read
// apart from those written.
VECTOR_CLONES void or_shifted_inside(word* __restrict out, const word* __restrict row,
                                     std::size_t from, std::size_t to, std::size_t a,
                                     std::size_t b) {
  if (b == 0) {
    for (std::size_t k = from; k < to; ++k) out[k - from] |= shifted_inside(row, k, a);
    return;
  }
  for (std::size_t k = from; k < to; ++k) {
    out[k - from] |=
        shifted_inside(row, k, a) | shifted_inside(row, k, b) | shifted_inside(row, k, a + b);
  }
}

// Word k ORed with the row shifted up by a, b and a + b (by a alone where b is 0), for any k.
word with_shifts(const word* row, std::size_t k, std::size_t a, std::size_t b) {
  return row[k] | shifted(row, k, a) | (b != 0 ? shifted(row, k, b) | shifted(row, k, a + b) : 0);
}

// As or_shifted_inside, for any words: those near the start of the row word by word.
void or_shifted(word* row, std::size_t from, std::size_t to, std::size_t a, std::size_t b) {
  const std::size_t inside = std::clamp((a + b) / word_bits + 1, from, to);
  for (std::size_t k = from; k < inside; ++k) row[k] = with_shifts(row, k, a, b);
  if (inside < to) or_shifted_inside(row + inside, row, inside, to, a, b);
}

std::optional<std::int64_t> best_by_bits(const reduced& r, const rows_options& options) {
  const auto capacity = static_cast<std::size_t>(r.capacity);
  // Every value is value / weight of the first element times its weight; a sum of weights below
  // `floor` is worth no more than the lower bound.
  const element& unit = r.sorted.front();
  const auto floor = static_cast<std::size_t>(
      std::min<wide>(capacity, wide{r.lower - r.fixed} * unit.weight / unit.value));
  // Heaviest first: the weight still to come falls fastest, which leaves out more words than the
  // weight so far, rising as fast, adds: a third fewer on subset sums. (Rows of best values lose
  // more to shifts far apart, which miss the caches, than they gain.)
  std::vector<element> heaviest_first(r.sorted.begin(), r.sorted.end());
  std::ranges::stable_sort(heaviest_first, std::greater<>(), &element::weight);
  const std::vector<pass> passes = passes_of(heaviest_first, capacity, floor);
  const std::size_t words = capacity / word_bits + 1;
  const auto storage = allocate_huge(words * sizeof(word));
  if (!storage) throw std::bad_alloc();
  word* const row = static_cast<word*>(storage.get());
  std::fill(row, row + words, word{0});
  row[0] = 1;

  constexpr std::size_t least_band = 1 << 14;  // words per thread, or the pass stays on one
  const unsigned threads = std::clamp<unsigned>(options.threads, 1, 64);
  spin_barrier barrier(threads);
  std::atomic<bool> halt{false};
  std::atomic<bool> finished{false};
  const auto reached = [&] { return (row[capacity / word_bits] >> (capacity % word_bits)) & 1; };
  on_threads(threads, [&](unsigned t) {
    for (const pass& p : passes) {
      const auto a = static_cast<std::size_t>(p.first.weight);
      const auto b = static_cast<std::size_t>(p.second.weight);
      const std::size_t from = p.from / word_bits;
      const std::size_t to = p.from < p.to ? (p.to - 1) / word_bits + 1 : from;
      // In place, from the top down, in bands no wider than the smallest shift in words, so that
      // a band reads only lower words, not yet written; threads share a band where it is wide
      // enough, and meet after it. A shift of less than a word is done word by word.
      const std::size_t band = (b == 0 ? a : std::min(a, b)) / word_bits;
      const unsigned sharing = band >= least_band * threads ? threads : 1;
      if (band == 0) {
        if (t == 0) {
          for (std::size_t k = to; k-- > from;) row[k] = with_shifts(row, k, a, b);
        }
      } else {
        for (std::size_t end = to; end > from;) {
          const std::size_t begin = end - std::min(band, end - from);
          if (t < sharing) {
            const auto [mine, mine_end] = share(begin, end, t, sharing, 8);
            if (mine < mine_end) or_shifted(row, mine, mine_end, a, b);
          }
          if (sharing > 1) barrier.arrive_and_wait();
          end = begin;
        }
      }
      // The row is updated in place: one thread reads it while none writes, and tells the
      // others whether to go on.
      barrier.arrive_and_wait();
      if (t == 0) {
        if (options.stop.stop_requested()) halt.store(true, std::memory_order_relaxed);
        if (reached()) finished.store(true, std::memory_order_relaxed);
      }
      barrier.arrive_and_wait();
      if (halt.load(std::memory_order_relaxed) || finished.load(std::memory_order_relaxed)) return;
    }
  });
  if (halt.load()) return std::nullopt;
  // The greatest reachable weight within the capacity, at least `floor`.
  std::size_t best = 0;
  for (std::size_t k = capacity / word_bits + 1; k-- > floor / word_bits;) {
    word bits = row[k];
    if (k == capacity / word_bits && capacity % word_bits != word_bits - 1) {
      bits &= (word{1} << (capacity % word_bits + 1)) - 1;
    }
    if (bits != 0) {
      best = k * word_bits + word_bits - 1 - static_cast<std::size_t>(std::countl_zero(bits));
      break;
    }
  }
  const auto value = static_cast<std::int64_t>(wide{best} * unit.value / unit.weight);
  return std::max(r.lower, r.fixed + value);
}

// Whether every element's value is the same multiple of its weight; they are sorted by value per
// weight, so the first and the last tell.
bool subset_sum(const reduced& r) {
  const element& first = r.sorted.front();
  const element& last = r.sorted.back();
  return first.value * last.weight == last.value * first.weight;
}

}  // namespace

std::size_t rows_bytes(const reduced& r) {
  const auto columns = static_cast<std::size_t>(r.capacity) + 1;
  if (!r.sorted.empty() && subset_sum(r)) return (columns / word_bits + 1) * sizeof(word);
  return 2 * columns * sizeof(cell);
}

std::optional<std::int64_t> best_by_rows(const reduced& r, const rows_options& options) {
  if (r.sorted.empty()) return r.lower;
  return subset_sum(r) ? best_by_bits(r, options) : best_by_cells(r, options);
}
