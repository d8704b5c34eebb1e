#include "bits.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <new>
#include <vector>

#include "cells.hpp"
#include "rows.hpp"
#include "threads.hpp"

// A row of bits: bit j is set where some selection of the elements so far weighs exactly j. A
// pass takes in two elements: new = old | old << a | old << b | old << (a + b). The row is
// updated in place from the top down, since each word then reads only lower words not yet
// written; threads share a band of words no wider than the smallest shift, so that a band reads
// only words below itself, and meet at a barrier after each band. Columns below the lower bound's
// weight less the weight still to come cannot reach a better sum and are not computed.

namespace {

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

// Every value is value / weight of the first element times its weight.
struct unit_rate {
  std::int64_t weight;
  std::int64_t value;
};

std::size_t floor_of(const reduced& r, unit_rate unit) {
  return static_cast<std::size_t>(
      std::min<wide>(r.capacity, wide{r.lower - r.fixed} * unit.weight / unit.value));
}

// What the row of bits spans. Its columns are the weights of the selections kept, up to the
// capacity; or, where that is cheaper, those of the selections left out, which are reached
// exactly where what they leave is: the answer is then the least weight left out of at least
// the total less the capacity, and at most the total less the lower bound's weight. Where the
// capacity is near the total weight, that row is a small part of the other.
struct bits_span {
  std::size_t top;    // the last column
  std::size_t floor;  // the first column an answer may be at; those below only lead up to it
  bool left_out;      // the columns are weights left out
  std::size_t total;  // of the open elements
};

std::size_t total_weight(const reduced& r) {
  std::size_t total = 0;
  for (const element& e : r.sorted) total += static_cast<std::size_t>(e.weight);
  return total;
}

// The passes, heaviest elements first: the weight still to come falls fastest, which leaves out
// more words than the weight so far, rising as fast, adds: a third fewer on subset sums. (Rows of
// best values lose more to shifts far apart, which miss the caches, than they gain.)
std::vector<pass> passes_of(const reduced& r, const bits_span& span) {
  return passes_of(heaviest_first(r.sorted).order, span.top, span.floor);
}

std::uint64_t words_of(const std::vector<pass>& passes) {
  std::uint64_t words = 0;
  for (const pass& p : passes) {
    if (p.from < p.to) words += (p.to - 1) / word_bits + 1 - p.from / word_bits;
  }
  return words;
}

// The cheaper span, and its passes.
struct bits_plan {
  bits_span span;
  std::vector<pass> passes;
};

bits_plan plan_of(const reduced& r) {
  const element& first = r.sorted.front();
  const std::size_t total = total_weight(r);
  // No selection weighs more than all of them.
  const std::size_t capacity = std::min(static_cast<std::size_t>(r.capacity), total);
  const std::size_t floor = std::min(floor_of(r, {first.weight, first.value}), capacity);
  bits_plan kept{{capacity, floor, false, 0}, {}};
  kept.passes = passes_of(r, kept.span);
  if (2 * capacity <= total || capacity == total) return kept;
  bits_plan left{{total - floor, total - capacity, true, total}, {}};
  left.passes = passes_of(r, left.span);
  return words_of(left.passes) < words_of(kept.passes) ? left : kept;
}

// The least reached column from `floor` to `top`; `top` where none is.
std::size_t least_reached(const word* row, std::size_t floor, std::size_t top) {
  for (std::size_t k = floor / word_bits; k <= top / word_bits; ++k) {
    word bits = row[k];
    if (k == floor / word_bits) bits &= ~word{0} << (floor % word_bits);
    if (bits != 0) {
      return std::min(top, k * word_bits + static_cast<std::size_t>(std::countr_zero(bits)));
    }
  }
  return top;
}

// The greatest reachable weight within the capacity, at least `floor`.
std::size_t greatest_reached(const word* row, std::size_t capacity, std::size_t floor) {
  for (std::size_t k = capacity / word_bits + 1; k-- > floor / word_bits;) {
    word bits = row[k];
    if (k == capacity / word_bits && capacity % word_bits != word_bits - 1) {
      bits &= (word{1} << (capacity % word_bits + 1)) - 1;
    }
    if (bits != 0) {
      return k * word_bits + word_bits - 1 - static_cast<std::size_t>(std::countl_zero(bits));
    }
  }
  return 0;
}

}  // namespace

bool subset_sum(const reduced& r) {
  if (r.sorted.empty()) return false;
  // Sorted by value per weight: the first and the last tell.
  const element& first = r.sorted.front();
  const element& last = r.sorted.back();
  return first.value * last.weight == last.value * first.weight;
}

bits_cost bits_cost_of(const reduced& r) {
  if (r.sorted.empty()) return {};
  const bits_plan plan = plan_of(r);
  return {words_of(plan.passes), (plan.span.top / word_bits + 1) * sizeof(word)};
}

method_result best_by_bits(const reduced& r, const method_params& params) {
  const unit_rate unit{r.sorted.front().weight, r.sorted.front().value};
  const bits_plan plan = plan_of(r);
  const bits_span& span = plan.span;
  const std::vector<pass>& passes = plan.passes;
  const std::size_t capacity = span.top;
  const std::size_t words = capacity / word_bits + 1;
  const block<word> storage = allocate<word>(words);
  if (!storage) throw std::bad_alloc();
  std::uint64_t done = 0;  // words computed, as the caller's thread counts them
  word* const row = storage.get();
  std::fill(row, row + words, word{0});
  row[0] = 1;

  constexpr std::size_t least_band = 1 << 14;  // words per thread, or the pass stays on one
  spin_barrier barrier;
  std::atomic<bool> halt{false};
  std::atomic<bool> finished{false};
  // Where the best column is reached, no pass can do better.
  const std::size_t ideal = span.left_out ? span.floor : span.top;
  const auto reached = [&] { return (row[ideal / word_bits] >> (ideal % word_bits)) & 1; };
  const auto work = [&](unsigned t, unsigned threads) {
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
      if (threads > 1) barrier.arrive_and_wait();
      if (t == 0) {
        done += to - from;
        if (params.keep_going && !params.keep_going(done)) {
          halt.store(true, std::memory_order_relaxed);
        }
        if (reached()) finished.store(true, std::memory_order_relaxed);
      }
      if (threads > 1) barrier.arrive_and_wait();
      if (halt.load(std::memory_order_relaxed) || finished.load(std::memory_order_relaxed)) return;
    }
  };
  on_threads(std::clamp<unsigned>(params.threads, 1, 64), params.start, work,
             [&](unsigned threads) { barrier.expect(threads); });
  method_result result{std::nullopt, r.upper - r.fixed, done, words * sizeof(word)};
  if (halt.load()) return result;
  const std::size_t best = span.left_out ? span.total - least_reached(row, span.floor, span.top)
                                         : greatest_reached(row, span.top, span.floor);
  result.best = result.upper = static_cast<std::int64_t>(wide{best} * unit.value / unit.weight);
  return result;
}
