#include "heavy.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "cells.hpp"
#include "lists.hpp"
#include "table.hpp"

// The best value as a list of steps over every open element, taken in from the heaviest: the
// (weight, value) pairs of selections that no other beats with less or equal weight, each
// within the capacity. Adding an element merges the list with itself shifted by the element and
// drops every step that another dominates, as the step lists from the greedy selection do, but
// nothing outside the list is fixed: a step stands for a selection of the elements taken in so
// far, whatever comes after.
//
// Where the heavy elements each take a large share of the capacity and every value per weight is
// about the same, the answer is a question of which heavy elements fill the capacity best, and
// it lies far from the greedy selection. Taken in heaviest first, their sums are few and far
// apart, and the light elements, which fill every gap, come last, when most sums are gone.
//
// A step is dropped once it cannot beat the best value found: its value plus the linear
// relaxation of the elements still to come within its free room, rounded down to the values'
// common divisor. The relaxation takes the elements still to come by value per weight, from
// sums that are rebuilt as elements are taken in, often enough that rebuilding costs no more
// than a few merges; in between, the sums hold elements already taken in as well, which only
// loosens the bound. Steps come by weight, so each one's room is less than the last one's, and
// the element the relaxation takes in part is found from the last.
//
// The bounds bite only once the best value found is close to the answer: given the answer from
// the start, the lists of one of the hardest instances of that class took 0.17 s, not 6.4 s. So
// narrow lists run first, the same merges keeping only the most promising step of each band of
// weight, and what they find, a selection close to the best, is where the full lists start.

namespace {

// The elements still to come by value per weight, with the sums of the first k of them.
struct relaxation {
  std::vector<element> order;
  std::vector<std::int64_t> weight_before{0};
  std::vector<std::int64_t> value_before{0};
};

relaxation relax(std::span<const element> by_rate, const std::vector<bool>& taken) {
  relaxation r;
  for (std::size_t k = 0; k < by_rate.size(); ++k) {
    if (taken[k]) continue;
    r.order.push_back(by_rate[k]);
    r.weight_before.push_back(r.weight_before.back() + by_rate[k].weight);
    r.value_before.push_back(r.value_before.back() + by_rate[k].value);
  }
  return r;
}

// Whether a step may still reach `beat`, and how much it may reach, for steps asked in order of
// weight.
class bound_test {
 public:
  explicit bound_test(const relaxation& rest) : rest_(rest) {}

  // The step with the largest bound so far, in floating point: the one most worth completing.
  entry most_promising{0, 0};
  double largest = -1;

  bool operator()(entry s, std::int64_t room, std::int64_t beat) {
    locate(room);
    const std::int64_t gap = s.value + rest_.value_before[whole_] - beat;
    if (whole_ == rest_.order.size()) return gap >= 0;
    const element& part = rest_.order[whole_];
    const std::int64_t left = room - rest_.weight_before[whole_];
    // Exact in 128 bits where floating point cannot tell.
    const double slack = static_cast<double>(gap) + share(left, part);
    if (slack > largest) {
      largest = slack;
      most_promising = s;
    }
    const int verdict = surely(slack, std::abs(static_cast<double>(gap)) + std::abs(slack));
    if (verdict != 0) return verdict > 0;
    return wide{gap} * part.weight + wide{left} * part.value >= 0;
  }

  // The step's bound in floating point, to rank steps by.
  double bound(entry s, std::int64_t room) {
    locate(room);
    const auto whole = static_cast<double>(s.value + rest_.value_before[whole_]);
    if (whole_ == rest_.order.size()) return whole;
    return whole + share(room - rest_.weight_before[whole_], rest_.order[whole_]);
  }

 private:
  // Finds the elements that fit whole in `room`, no larger than the last room asked.
  void locate(std::int64_t room) {
    const auto& before = rest_.weight_before;
    if (!found_) {
      whole_ = static_cast<std::size_t>(std::upper_bound(before.begin(), before.end(), room) -
                                        before.begin()) -
               1;
      found_ = true;
    }
    while (whole_ > 0 && before[whole_] > room) --whole_;  // the first whole_ fit
  }

  // What the part of an element that fits in `left` adds.
  static double share(std::int64_t left, const element& part) {
    return static_cast<double>(left) * static_cast<double>(part.value) /
           static_cast<double>(part.weight);
  }

  const relaxation& rest_;
  bool found_ = false;
  std::size_t whole_ = 0;
};

// Upper bounds on what the elements from a step on may add within a room: best-value rows over
// the capacity in coarse units, each element's weight rounded down to whole units, so that every
// selection that fits fits there too. They are built once the list is long, for the steps from
// then on only: a pass over the columns per element is their cost. One row is kept for every
// `stride` steps; the row of the last kept step at or before a step holds elements already taken
// in as well, which only loosens the bound. A cell that reached UINT32_MAX bounds nothing.
class coarse_bounds {
 public:
  coarse_bounds(std::span<const element> order, std::size_t first, std::int64_t capacity,
                std::size_t rows, std::size_t columns)
      : first_(first),
        shift_(unit_shift(capacity, columns)),
        columns_(static_cast<std::size_t>(capacity >> shift_) + 1),
        stride_((order.size() - first + rows - 1) / rows),
        rows_((order.size() - first + stride_ - 1) / stride_ * columns_, 0) {
    std::vector<cell> row(columns_, 0);
    std::vector<cell> next(columns_);
    for (std::size_t k = order.size(); k-- > first;) {
      take(row.data(), next.data(), columns_, static_cast<std::size_t>(order[k].weight >> shift_),
           static_cast<cell>(std::min<std::int64_t>(order[k].value, saturated)));
      std::swap(row, next);
      if ((k - first) % stride_ == 0) {
        std::ranges::copy(row, rows_.begin() + static_cast<std::ptrdiff_t>(slot(k) * columns_));
      }
    }
  }

  /// The row that bounds the elements from step `from` on, `from` no less than the first.
  const cell* row(std::size_t from) const { return rows_.data() + slot(from) * columns_; }

  /// A bound on the value those elements add within `room`, from their row; INT64_MAX for none.
  std::int64_t at(const cell* row, std::int64_t room) const {
    const cell c = row[static_cast<std::size_t>(room >> shift_)];
    return c == saturated ? INT64_MAX : c;
  }

 private:
  // Units of a power of two, so that a room is divided by a shift.
  static int unit_shift(std::int64_t capacity, std::size_t columns) {
    int shift = 0;
    while ((capacity >> shift) >= static_cast<std::int64_t>(columns)) ++shift;
    return shift;
  }

  // Columns below the weight keep their value; the others take the element where it is better.
  static void take(const cell* row, cell* next, std::size_t columns, std::size_t weight,
                   cell value) {
    const std::size_t fit = std::min(weight, columns);
    std::copy(row, row + fit, next);
    if (fit < columns) take_better(next + fit, row + fit, row, columns - fit, value, true);
  }

  std::size_t slot(std::size_t from) const { return (from - first_) / stride_; }

  std::size_t first_;
  int shift_;
  std::size_t columns_;
  std::size_t stride_;
  std::vector<cell> rows_;
};

// Merges `from` with itself shifted by `e` into `into`, which has room for twice as many.
void merge(const list<entry>& from, element e, std::int64_t capacity, std::int64_t divisor,
           const relaxation& rest, const coarse_bounds* coarse, std::size_t rest_from,
           std::int64_t& best, list<entry>& into, entry& to_complete) {
  bound_test promising(rest);
  const cell* const coarse_row = coarse != nullptr ? coarse->row(rest_from) : nullptr;
  std::int64_t beat = to_beat(best, divisor);
  undominated<entry> kept(into.entries.get());
  const auto offer = [&](entry s) __attribute__((always_inline)) {
    if (s.weight > capacity || !kept.admits(s)) return;
    if (s.value > best) {
      best = s.value;
      beat = to_beat(best, divisor);
    }
    const std::int64_t room = capacity - s.weight;
    if (coarse != nullptr) {
      const std::int64_t most = coarse->at(coarse_row, room);
      if (most != INT64_MAX && s.value + most < beat) return;
    }
    if (promising(s, room, beat)) kept.keep(s);
  };
  merge_shifted(
      from.begin(), from.end(),
      [&](entry s) {
        return entry{s.weight + e.weight, s.value + e.value};
      },
      offer);
  into.size = kept.close();
  to_complete = promising.most_promising;
}

// The value of a selection that fits, from step s and the elements not yet taken in added by
// value per weight wherever they fit: a lower bound found early, which the bounds need to bite.
std::int64_t completed(entry s, std::span<const element> by_rate, const std::vector<bool>& taken,
                       std::int64_t capacity) {
  return s.value +
         greedy_fill(by_rate, capacity - s.weight, [&](std::size_t k) { return taken[k]; });
}

// Keeps, of the steps of `steps`, the one with the largest bound in each of `width` equal bands
// of weight, in their order. Ranked by their bounds alone, the steps kept crowd into a few
// weights, and the narrow lists find worse selections: the bands keep rooms of every size for
// the elements to come.
void narrow(list<entry>& steps, std::size_t width, const relaxation& rest, std::int64_t capacity) {
  if (steps.size <= width) return;
  entry* const at = steps.entries.get();
  bound_test test(rest);
  const double bands_per_weight = static_cast<double>(width) / static_cast<double>(capacity + 1);
  std::size_t kept = 0;
  std::size_t band = SIZE_MAX;
  double largest = 0;  // of the bounds in the band
  for (std::size_t q = 0; q < steps.size; ++q) {
    const auto in_band =
        static_cast<std::size_t>(static_cast<double>(at[q].weight) * bands_per_weight);
    const double bound = test.bound(at[q], capacity - at[q].weight);
    if (in_band != band) {
      band = in_band;
      largest = bound;
      at[kept++] = at[q];
    } else if (bound > largest) {
      largest = bound;
      at[kept - 1] = at[q];
    }
  }
  at[kept] = sentinel<entry>();
  steps.size = kept;
}

constexpr std::size_t completions = 8;  // steps completed after each merge
constexpr std::size_t coarse_rows = 16;
constexpr std::size_t coarse_columns = std::size_t{1} << 19;
// Columns the coarse rows have at most: 2^19, and no more than a 64th of the capacity, where they
// would cost a good part of the rows themselves. A column costs a 16th of a step written.
std::size_t coarse_columns_for(std::int64_t capacity) {
  return std::min(coarse_columns, static_cast<std::size_t>(capacity / 64) + 1);
}
constexpr std::size_t columns_per_step = 16;

// The open elements in the order the lists take them in, heaviest first.
struct heavy_order {
  std::vector<std::size_t> places;  // [step]: the element's place in the order by value per weight
  std::vector<element> order;       // [step]: the element
};

heavy_order heavy_order_of(const reduced& r) {
  heavy_order h{heaviest_first(r.sorted), {}};
  h.order.reserve(r.sorted.size());
  for (const std::size_t k : h.places) h.order.push_back(r.sorted[k]);
  return h;
}

// The lists over the open elements of `r`, taken in as `by_weight` says, from the lower bound
// `best`. With a `width`, no more than that many steps are kept after each merge (see narrow()),
// so that what comes back is a lower bound, found quickly, instead of the best value.
std::optional<std::int64_t> heavy_lists(const reduced& r, const heavy_order& by_weight,
                                        const step_limits& limits, std::size_t coarse_from,
                                        std::size_t width, std::int64_t best) {
  const std::size_t n = r.sorted.size();
  const std::vector<element>& order = by_weight.order;
  // Sums rebuilt often enough to cost no more than a few thousand passes over the elements.
  const std::size_t rebuild_every = n / 2048 + 1;
  std::vector<bool> taken(n, false);
  relaxation rest = relax(r.sorted, taken);
  // The coarse rows wait until the list is long enough to need them, and are held against the
  // list's limit.
  std::optional<coarse_bounds> coarse;
  std::size_t coarse_steps = 0;

  std::uint64_t work = 0;
  // The spare list is never filled before it is written, so only what a merge writes takes memory.
  list<entry> steps = list<entry>::of({0, 0});
  list<entry> spare;
  const auto held = [](const list<entry>& l) { return l.entries ? l.room + 1 : 0; };
  for (std::size_t step = 0; step < n && steps.size > 0; ++step) {
    taken[by_weight.places[step]] = true;
    if (step % rebuild_every == rebuild_every - 1) rest = relax(r.sorted, taken);
    if (limits.keep_going && !limits.keep_going(work)) return std::nullopt;
    if (!coarse && steps.size >= coarse_from) {
      const std::size_t columns = coarse_columns_for(r.capacity);
      const std::uint64_t build = (n - step) * columns / columns_per_step;
      coarse_steps = coarse_rows * columns * sizeof(cell) / step_bytes;
      if (coarse_steps + held(steps) + held(spare) > limits.max_steps ||
          build > limits.max_work - std::min(limits.max_work, work)) {
        return std::nullopt;
      }
      work += build;
      coarse.emplace(order, std::min(step + 1, n - 1), r.capacity, coarse_rows, columns);
    }
    const std::size_t wanted = 2 * steps.size;
    if (coarse_steps + held(steps) + std::max(wanted + 1, held(spare)) > limits.max_steps ||
        wanted + 1 > limits.max_work - std::min(limits.max_work, work)) {
      return std::nullopt;
    }
    work += wanted + 1;
    spare.reserve(wanted);
    entry to_complete{0, 0};
    merge(steps, order[step], r.capacity, r.value_divisor, rest, coarse ? &*coarse : nullptr,
          std::min(step + 1, n - 1), best, spare, to_complete);
    std::swap(steps, spare);
    if (width != 0) narrow(steps, width, rest, r.capacity);
    // Completed: the most promising step, and steps spread over the list, the most valuable
    // (and heaviest) among them; each costs a pass over the elements, so with many elements not
    // after every merge.
    if (step % rebuild_every != 0) continue;
    best = std::max(best, completed(to_complete, r.sorted, taken, r.capacity));
    for (std::size_t q = 1; q <= completions && steps.size > 0; ++q) {
      const entry& spread = steps.entries[(steps.size - 1) * q / completions];
      best = std::max(best, completed(spread, r.sorted, taken, r.capacity));
    }
  }
  return best;
}

// Widths of the narrow lists run first, while the width times the elements stays within 2^25,
// so that none writes more than some 2^26 steps. The bounds cut the full lists down only once the
// best value found is close to the answer; narrow lists find it, or nearly, for a small share of
// the full lists' work, and no one width finds it best on every instance.
constexpr std::array narrow_widths{std::size_t{1} << 8, std::size_t{1} << 10, std::size_t{1} << 12,
                                   std::size_t{1} << 14};
constexpr std::size_t narrow_work = std::size_t{1} << 25;

}  // namespace

std::optional<std::int64_t> best_by_heavy_lists(const reduced& r, const step_limits& limits,
                                                std::size_t coarse_from) {
  const heavy_order by_weight = heavy_order_of(r);
  std::int64_t best = r.lower - r.fixed;
  for (const std::size_t width : narrow_widths) {
    if (width * r.sorted.size() > narrow_work) break;
    const auto found = heavy_lists(r, by_weight, limits, SIZE_MAX, width, best);
    if (!found) return std::nullopt;
    best = *found;
  }
  return heavy_lists(r, by_weight, limits, coarse_from, 0, best);
}
