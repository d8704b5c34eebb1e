#include "heavy.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "bounds.hpp"
#include "cells.hpp"
#include "lists.hpp"
#include "steps.hpp"

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

// Merges `from` with itself shifted by `e` into `into`, which has room for twice as many, and
// returns the step with the largest bound, the one most worth completing.
entry merge(const list<entry>& from, element e, std::int64_t capacity, std::int64_t divisor,
            const relaxation_sums& rest, const coarse_bounds* coarse, std::size_t rest_from,
            std::int64_t& best, list<entry>& into) {
  relaxation_cursor relaxed(rest);
  entry most_promising{0, 0};
  double largest = -1;
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
      const std::optional<std::int64_t> most = coarse->at(coarse_row, room);
      if (most && s.value + *most < beat) return;
    }
    const relaxation_cursor::reach reach = relaxed.reaches(s.value, room, beat);
    if (reach.slack > largest) {
      largest = reach.slack;
      most_promising = s;
    }
    if (reach.reaches) kept.keep(s);
  };
  merge_shifted(
      from.begin(), from.end(),
      [&](entry s) {
        return entry{s.weight + e.weight, s.value + e.value};
      },
      offer);
  into.size = kept.close();
  return most_promising;
}

// Keeps, of the steps of `steps`, the one with the largest bound in each of `width` equal bands
// of weight, in their order. Ranked by their bounds alone, the steps kept crowd into a few
// weights, and the narrow lists find worse selections: the bands keep rooms of every size for
// the elements to come. Returns whether it dropped any.
bool narrow(list<entry>& steps, std::size_t width, const relaxation_sums& rest,
            std::int64_t capacity) {
  if (steps.size <= width) return false;
  entry* const at = steps.entries.get();
  relaxation_cursor relaxed(rest);
  const double bands_per_weight = static_cast<double>(width) / static_cast<double>(capacity + 1);
  std::size_t kept = 0;
  std::optional<std::size_t> band;
  double largest = 0;  // of the bounds in the band
  for (std::size_t q = 0; q < steps.size; ++q) {
    const auto in_band =
        static_cast<std::size_t>(static_cast<double>(at[q].weight) * bands_per_weight);
    const double bound = relaxed.bound(at[q].value, capacity - at[q].weight);
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
  const bool dropped = kept < steps.size;
  steps.size = kept;
  return dropped;
}

constexpr std::size_t coarse_rows = 16;
constexpr std::size_t coarse_columns = std::size_t{1} << 19;
// Columns the coarse rows have at most: 2^19, and no more than a 64th of the capacity, where they
// would cost a good part of the rows themselves. A column costs a 16th of a step written.
std::size_t coarse_columns_for(std::int64_t capacity) {
  return std::min(coarse_columns, static_cast<std::size_t>(capacity / 64) + 1);
}
constexpr std::size_t columns_per_step = 16;

// How one run of the lists goes: all of them, with coarse rows from `coarse_from` steps on where
// set, or narrow, no more than `width` steps kept after each merge (see narrow()), so that what
// comes back is a lower bound, found quickly, instead of the best value.
struct run_kind {
  std::optional<std::size_t> width = std::nullopt;
  std::optional<std::size_t> coarse_from = std::nullopt;
};

// What one run of the lists found: a value some selection reaches, and whether it is the best,
// as where no step was ever dropped but by a bound.
struct found {
  std::int64_t best;
  bool exact;
};

// The lists over the open elements of `r`, taken in heaviest first, from the lower bound `best`;
// nothing where they pass a limit of `spent`, which they share with the other runs.
std::optional<found> heavy_lists(const reduced& r, const heaviest_first& by_weight, budget& spent,
                                 run_kind kind, std::int64_t best) {
  const std::size_t n = r.sorted.size();
  const std::vector<element>& order = by_weight.order;
  // Sums rebuilt often enough to cost no more than a few thousand passes over the elements.
  const std::size_t rebuild_every = n / 2048 + 1;
  std::vector<bool> taken(n, false);
  relaxation_sums rest(r.sorted, taken);
  // The coarse rows wait until the list is long enough to need them, and are held against the
  // list's limit.
  std::optional<coarse_bounds> coarse;
  std::size_t held = 0;  // steps' worth of memory held, released when this run ends
  const auto hold = [&](std::size_t steps) {
    if (!spent.hold(steps)) return false;
    held += steps;
    return true;
  };
  const struct release {
    budget& spent;
    const std::size_t& held;
    ~release() { spent.release(held); }
  } released{spent, held};

  // The spare list is never filled before it is written, so only what a merge writes takes memory.
  list<entry> steps = list<entry>::of({0, 0});
  list<entry> spare;
  if (!hold(steps.room + 1)) return std::nullopt;
  bool narrowed = false;
  for (std::size_t step = 0; step < n && steps.size > 0; ++step) {
    taken[by_weight.places[step]] = true;
    if (step % rebuild_every == rebuild_every - 1) rest = relaxation_sums(r.sorted, taken);
    if (!spent.keep_going()) return std::nullopt;
    if (!coarse && kind.coarse_from && steps.size >= *kind.coarse_from) {
      const std::size_t columns = coarse_columns_for(r.capacity);
      if (!hold(coarse_rows * columns * sizeof(cell) / step_bytes) ||
          !spent.spend((n - step) * columns / columns_per_step)) {
        return std::nullopt;
      }
      coarse.emplace(order, std::min(step + 1, n - 1), r.capacity, coarse_rows, columns);
    }
    const std::size_t wanted = 2 * steps.size;
    const std::size_t growth = wanted > spare.room ? wanted - spare.room : 0;
    if (!spent.spend(wanted + 1) || !hold(growth)) return std::nullopt;
    spare.reserve(wanted);
    const entry to_complete =
        merge(steps, order[step], r.capacity, r.value_divisor, rest, coarse ? &*coarse : nullptr,
              std::min(step + 1, n - 1), best, spare);
    std::swap(steps, spare);
    if (kind.width) narrowed = narrow(steps, *kind.width, rest, r.capacity) || narrowed;
    // Completed: the most promising step, and steps spread over the list, the most valuable
    // (and heaviest) among them; each costs a pass over the elements, so with many elements not
    // after every merge.
    if (step % rebuild_every != 0) continue;
    const auto passed_over = [&](std::size_t k) { return taken[k]; };
    best = std::max(best, completed(to_complete, r.sorted, r.capacity, passed_over));
    best = std::max(best, best_completed(std::span<const entry>(steps.begin(), steps.size),
                                         r.sorted, r.capacity, passed_over));
  }
  return found{best, !narrowed};
}

// Widths of the narrow lists run first, while the width times the elements stays within 2^25,
// so that none writes more than some 2^26 steps. The bounds cut the full lists down only once the
// best value found is close to the answer; narrow lists find it, or nearly, for a small share of
// the full lists' work, and no one width finds it best on every instance.
constexpr std::array narrow_widths{std::size_t{1} << 8, std::size_t{1} << 10, std::size_t{1} << 12,
                                   std::size_t{1} << 14};
constexpr std::size_t narrow_work = std::size_t{1} << 25;

}  // namespace

method_result best_by_heavy_lists(const reduced& r, const method_params& params) {
  const heaviest_first by_weight(r.sorted);
  budget spent(params);
  const auto result = [&](std::optional<std::int64_t> best) {
    return method_result{best, best.value_or(r.upper - r.fixed), spent.work(),
                         spent.peak() * step_bytes};
  };
  std::int64_t best = r.lower - r.fixed;
  for (const std::size_t width : narrow_widths) {
    if (width * r.sorted.size() > narrow_work) break;
    const std::optional<found> narrowly = heavy_lists(r, by_weight, spent, {.width = width}, best);
    if (!narrowly) return result(std::nullopt);
    // Lists that never grew past the width were the full lists.
    if (narrowly->exact) return result(narrowly->best);
    best = narrowly->best;
  }
  const std::optional<found> fully =
      heavy_lists(r, by_weight, spent, {.coarse_from = params.coarse_from}, best);
  if (!fully) return result(std::nullopt);
  return result(fully->best);
}
