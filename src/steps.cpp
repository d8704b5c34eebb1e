#include "steps.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "bounds.hpp"
#include "lists.hpp"

// Over the capacity, the best value of the first i elements is a non-decreasing step function; it
// is held as the list of its steps, the (weight, value) pairs that no other selection beats with
// less or equal weight, sorted by weight. Adding an element merges the list with itself shifted by
// the element's weight and value and drops every step that another dominates (no heavier, worth as
// much). Time and memory follow the number of steps, not the capacity.
//
// Which steps survive depends on the order of the elements, so they are taken in order of value
// per weight, best first. The greedy selection takes them in that order until one, the break
// element, no longer fits. A best selection nearly always differs from the greedy one only near
// the break element, where values per weight are close to its own, so the search starts from the
// greedy selection and widens a window of elements around the break element, one element after
// the window, then one before it, in turn. A step stands for a selection that agrees with the
// greedy one outside the window: elements before it taken, elements after it left out. Widening
// after the window offers to add an element (a shift up); widening before it offers to take one
// out (a shift down). So a step may weigh more than the capacity while elements before the window
// are left to take out.
//
// Bounds cut the lists down. Everything outside the window is worth at most the window's
// neighbour per unit of weight: elements after it no more than the next one, elements before it
// no less than the last one. So a step within the capacity can gain at most its free room at the
// next element's value per weight, and a step over it loses at least its excess at the last
// one's. A step whose bound, rounded down, cannot beat the best value within the capacity found
// so far (by at least the values' common divisor) is dropped. The search ends when no step is
// left, when the best value found meets the bound of the whole instance (the reduction's, which
// also counts elements), or when every element is in the window.
//
// Where values follow the weights closely, a best selection often differs from the greedy one by
// elements far apart, light ones taken out for heavy ones, which the window reaches last. So each
// time the list has doubled, every step is also paired with each element outside the window, one
// added or taken out: the best such pair is found by a binary search per element.
//
// Such instances, and subset sums, end only when a selection meets the bound exactly, and the
// combined list has to hold about every subset sum of its window to find one. Two side lists, one
// only adding elements after the break element and one only taking out elements before it, reach
// the same selections in pairs with about the square root of the steps: for each addition the
// best removal that makes it fit is found in one pass over both lists. They run ahead of the
// combined list, never holding or writing more steps than it, and only raise the best value
// found; the combined list still proves it the best when no selection meets the bound.
//
// As the best value found rises, fewer counts of elements are left to a better selection: where
// the linear relaxation's selection holds about as many elements as fit at all, the counts are
// narrowed anew now and then, and where the bound under the counts left then meets the best
// value, the search ends there.
//
// Sums are exact in 64 bits: fewer than 2^31 elements, each below 2^31. A bound multiplies such a
// sum by a 32-bit number, in 128 bits.

namespace {

struct step : entry {
  std::int64_t count;  // of the instance's elements in the step's selection
};
static_assert(sizeof(step) == step_bytes);

// The sorted elements, and the capacity every list works to.
struct problem {
  std::span<const element> sorted;
  std::vector<std::int64_t> weight_before;    // [k]: total weight of the elements before k
  std::vector<std::int64_t> lightest_before;  // [k], k > 0: least weight of an element before k
  std::vector<std::int64_t> lightest_from;    // [k], k < n: least weight of an element from k on
  std::int64_t capacity;
  std::int64_t value_divisor;    // of every value
  std::optional<rates> counted;  // of the reduction's bound by count, where one binds
  // What flipping elements outside a window may add to the bound by count: [k], the terms above
  // 0 of the elements from k on (which a selection may add), and those below 0 of the elements
  // before k (which it may take out), each negated.
  std::vector<wide> gains_from;
  std::vector<wide> gains_before;
};

problem problem_of(const reduced& r) {
  const std::size_t n = r.sorted.size();
  problem p{r.sorted,
            std::vector<std::int64_t>(n + 1, 0),
            std::vector<std::int64_t>(n + 1, 0),
            std::vector<std::int64_t>(n + 1, 0),
            r.capacity,
            r.value_divisor,
            r.by_count,
            {},
            {}};
  for (std::size_t k = 0; k < n; ++k) {
    const std::int64_t w = r.sorted[k].weight;
    p.weight_before[k + 1] = p.weight_before[k] + w;
    p.lightest_before[k + 1] = k == 0 ? w : std::min(p.lightest_before[k], w);
  }
  for (std::size_t k = n; k-- > 0;) {
    const std::int64_t w = r.sorted[k].weight;
    p.lightest_from[k] = k + 1 == n ? w : std::min(p.lightest_from[k + 1], w);
  }
  if (p.counted) {
    p.gains_from.assign(n + 1, 0);
    p.gains_before.assign(n + 1, 0);
    for (std::size_t k = n; k-- > 0;) {
      p.gains_from[k] = p.gains_from[k + 1] + std::max(wide{0}, p.counted->term(r.sorted[k]));
    }
    for (std::size_t k = 0; k < n; ++k) {
      p.gains_before[k + 1] = p.gains_before[k] + std::max(wide{0}, -p.counted->term(r.sorted[k]));
    }
  }
  return p;
}

// The elements [first, last) a list has taken in; those before are taken, those after are not.
struct window {
  std::size_t first;
  std::size_t last;
};

// What bounds a step while the window stands; with no element on a side, a neutral one of value
// 0 (and no weight to take out before the window) makes the bounds fail on that side.
neighbours neighbours_of(const problem& p, window w) {
  constexpr element none{1, 0};
  const std::size_t n = p.sorted.size();
  neighbours beside{.next = w.last < n ? p.sorted[w.last] : none,
                    .previous = w.first > 0 ? p.sorted[w.first - 1] : none,
                    .removable = p.weight_before[w.first]};
  if (w.last < n) beside.lightest_after = p.lightest_from[w.last];
  if (w.first > 0) beside.lightest_before = p.lightest_before[w.first];
  return beside;
}

// What flipping the elements outside window w may add to the bound by count.
wide outside_of(const problem& p, window w) {
  return p.counted ? p.gains_from[w.last] + p.gains_before[w.first] : 0;
}

using step_list = list<step>;

// Whether the merges of a list ask a bound beyond the plain one (by count, or by the elements
// that fit). Each costs about a tenth of a merge, and on some families cuts next to nothing all
// along: where it cuts less than 1/64 of the steps it is asked about, the merges after leave it
// out, twice as many each time it is found idle (up to 8: with longer gaps, lists grew where it
// had begun to cut again), then ask it again.
class gate {
 public:
  /// Found idle where it cuts less than 1 in `share` of the steps it is asked about; then left
  /// out of up to `longest` merges.
  gate(std::size_t share, std::size_t longest) : share_(share), longest_(longest) {}

  bool open() const { return idle_ == 0; }

  void after_merge(bool asked, std::size_t examined, std::size_t cut) {
    if (!asked) {
      --idle_;
    } else if (cut * share_ >= examined) {
      next_idle_ = 1;
    } else {
      idle_ = next_idle_;
      next_idle_ = std::min(2 * next_idle_, longest_);
    }
  }

 private:
  std::size_t share_;
  std::size_t longest_;
  std::size_t idle_ = 0;       // merges left that do not ask it
  std::size_t next_idle_ = 1;  // the same, the next time it is found idle
};

// The gates of a list: of the bound by count, and of the bound by the elements that fit. Where
// the latter matters, it cuts most steps; where it does not, it cuts next to none, and it is
// asked seldom.
struct gates {
  gate count{64, 8};
  gate fit{8, 256};
};

// What a merge asked of a gated bound, and what it cut.
struct asked {
  std::size_t examined = 0;
  std::size_t cut = 0;
};

// Merges `from` with itself shifted by `by` into `into` (room for twice as many steps), keeping
// the steps that no other step dominates and that are still promising in window `w`, and raises
// `best` to every step within the capacity. Whether a step survives can mostly be predicted.
//
// Compiled apart with and without each gated bound: present in the loop, even where a gate
// leaves it out, the bound by the elements that fit cost a third of the merge on families where
// it cuts nothing, and the test of the count bound's gate, spilled to memory, 4% on the circle
// family.
template <bool by_fit, bool by_count>
void merge_into(const problem& p, window w, const fitting_after& fit, std::int64_t& best,
                const step_list& from, step by, step_list& into, gates& gated) {
  asked count;
  asked fitting;
  const neighbours beside = neighbours_of(p, w);
  const quick_neighbour_test quick(beside);
  const wide outside = outside_of(p, w);
  const rates counted = p.counted.value_or(rates{});
  const quick_count_test quick_count(counted, outside);
  const std::int64_t capacity = p.capacity;
  std::int64_t beat = to_beat(best, p.value_divisor);
  undominated<step> kept(into.entries.get());
  const auto offer = [&](step s) {
    if (!kept.admits(s)) return;
    if (s.weight <= capacity && s.value > best) {
      best = s.value;
      beat = to_beat(best, p.value_divisor);
    }
    const verdict plain = quick(s, capacity, beat);
    if (plain == verdict::fails ||
        (plain == verdict::open && !neighbour_bound_reaches(s, capacity, beat, beside))) {
      return;
    }
    // Where the next element fits in the room, it is the best that fits, and the plain bound has
    // it.
    const std::int64_t room = capacity - s.weight;
    if constexpr (by_fit) {
      if (room > 0 && room < beside.next.weight) {
        ++fitting.examined;
        if (!fit.reaches(s.value, room, beat) &&
            !exchange_bound_reaches(s.value, room, beat, beside)) {
          ++fitting.cut;
          return;
        }
      }
    }
    if constexpr (by_count) {
      ++count.examined;
      const verdict by_count_verdict = quick_count(s.value, room, s.count, beat);
      if (by_count_verdict == verdict::fails ||
          (by_count_verdict == verdict::open &&
           !count_bound_reaches(counted, s.value, room, s.count, beat, outside))) {
        ++count.cut;
        return;
      }
    }
    kept.keep(s);
  };
  merge_shifted(
      from.begin(), from.end(),
      [&](step s) {
        return step{{s.weight + by.weight, s.value + by.value}, s.count + by.count};
      },
      offer);
  into.size = kept.close();
  if (p.counted) gated.count.after_merge(by_count, count.examined, count.cut);
  gated.fit.after_merge(by_fit, fitting.examined, fitting.cut);
}

void merge(const problem& p, window w, fitting_after& fit, std::int64_t& best,
           const step_list& from, step by, step_list& into, gates& gated) {
  const bool by_count = p.counted && gated.count.open();
  if (gated.fit.open()) {
    fit.prepare();
    if (by_count) {
      merge_into<true, true>(p, w, fit, best, from, by, into, gated);
    } else {
      merge_into<true, false>(p, w, fit, best, from, by, into, gated);
    }
  } else if (by_count) {
    merge_into<false, true>(p, w, fit, best, from, by, into, gated);
  } else {
    merge_into<false, false>(p, w, fit, best, from, by, into, gated);
  }
}

// Work is counted in steps written; widening a window costs some steps' worth besides its merge.
constexpr std::uint64_t widening_work = 8;

// A list of steps, the window it has taken in, and a spare list to merge into.
struct frontier {
  step_list steps;
  step_list spare;
  window span;
  fitting_after fit;
  gates gated;
};

frontier start_from(const problem& p, step greedy, std::size_t split, budget& spent) {
  frontier f{
      step_list::of(greedy), {}, {split, split}, fitting_after(p.sorted, split, p.capacity), {}};
  spent.hold(f.steps.room);
  return f;
}

bool can_widen(const frontier& f, bool after, std::size_t n) {
  return after ? f.span.last < n : f.span.first > 0;
}

// Takes the next element after the window, or the last one before it, into f. False, with f
// unchanged, when that would pass a limit.
bool widen(const problem& p, frontier& f, bool after, std::int64_t& best, budget& spent) {
  if (!spent.keep_going()) return false;
  const std::size_t wanted = 2 * f.steps.size;
  if (!spent.spend(wanted + widening_work) || !spent.reserve(f.spare, wanted)) return false;
  if (after) {
    ++f.span.last;
    f.fit.pass();
    const element& added = p.sorted[f.span.last - 1];
    merge(p, f.span, f.fit, best, f.steps, {{added.weight, added.value}, added.count}, f.spare,
          f.gated);
  } else {
    const element& taken_out = p.sorted[--f.span.first];
    merge(p, f.span, f.fit, best, f.steps,
          {{-taken_out.weight, -taken_out.value}, -taken_out.count}, f.spare, f.gated);
  }
  std::swap(f.steps, f.spare);
  return true;
}

// Work of pairing f's steps with the elements outside its window: a binary search each.
std::uint64_t pairing_work(const frontier& f, std::size_t n) {
  return (n - (f.span.last - f.span.first)) *
         static_cast<std::uint64_t>(std::bit_width(f.steps.size));
}

// The steps of f within the capacity: sorted by weight with values rising.
std::span<const step> fitting_steps(const frontier& f, std::int64_t room) {
  const step* const first = f.steps.begin();
  const step* const fit = std::upper_bound(
      first, f.steps.end(), room, [](std::int64_t w, const step& s) { return w < s.weight; });
  return {first, static_cast<std::size_t>(fit - first)};
}

// The best value within the capacity of a step changed by one element outside its window: one
// after it added, or one before it taken out. For each element the heaviest step that fits is the
// best.
std::int64_t best_with_one_more(const problem& p, const frontier& f) {
  std::int64_t best = INT64_MIN;
  const auto pair = [&](std::int64_t weight, std::int64_t value) {
    const std::span<const step> fit = fitting_steps(f, p.capacity - weight);
    if (!fit.empty()) best = std::max(best, fit.back().value + value);
  };
  for (std::size_t k = f.span.last; k < p.sorted.size(); ++k) {
    pair(p.sorted[k].weight, p.sorted[k].value);
  }
  for (std::size_t k = 0; k < f.span.first; ++k) pair(-p.sorted[k].weight, -p.sorted[k].value);
  return best;
}

// The best value within the capacity of a selection that adds to the greedy one the elements of
// a step of `adds` and takes out those of a step of `removals`. Both are sorted by weight with
// values rising, so for each addition the heaviest removal step that makes it fit is the best.
std::int64_t best_pair(const step_list& adds, const step_list& removals, step greedy,
                       std::int64_t capacity) {
  std::int64_t best = INT64_MIN;
  std::size_t fitting = removals.size;  // removal steps light enough for the last addition
  for (std::size_t k = 0; k < adds.size; ++k) {
    const step a = adds.entries[k];
    const std::int64_t limit = capacity - (a.weight - greedy.weight);
    while (fitting > 0 && removals.entries[fitting - 1].weight > limit) --fitting;
    if (fitting == 0) break;
    best = std::max(best, a.value - greedy.value + removals.entries[fitting - 1].value);
  }
  return best;
}

// The bound of the instance anew as the best value found rises: the count of every better
// selection narrows with it, and where it comes to leave out the count of the linear
// relaxation's selection, the bound by count may meet the best value, which ends the search.
// Asked once the work has grown enough since it was last asked, twice where that narrowed the
// counts and eight times where it did not, so that it costs a small share where it cuts nothing.
class rebounding {
 public:
  rebounding(std::int64_t best, const greedy& g) : best_(best), greedy_(g) {}

  /// The bound anew, where it may have fallen; nothing otherwise.
  std::optional<std::int64_t> operator()(const problem& p, std::int64_t best, std::uint64_t work) {
    if (best <= best_ || work < growth_ * work_) return std::nullopt;
    best_ = best;
    work_ = work;
    growth_ = 8;
    const count_range counts = count_range_of(p.sorted, p.capacity, best);
    if (!near_the_most(greedy_, true, counts)) return std::nullopt;
    const count_range narrowed =
        narrowed_counts(p.sorted, p.capacity, best, p.value_divisor, counts);
    if (narrowed.least == counts.least && narrowed.most == counts.most) return std::nullopt;
    growth_ = 2;
    return bound_within(p.sorted, p.capacity, narrowed, p.value_divisor);
  }

 private:
  std::int64_t best_;  // when last asked
  std::uint64_t work_ = 0;
  std::uint64_t growth_ = 2;
  greedy greedy_;
};

}  // namespace

method_result best_by_steps(const reduced& r, const method_params& params) {
  budget spent(params);
  const std::size_t n = r.sorted.size();
  const problem p = problem_of(r);
  const greedy g = greedy_at(r.sorted, p.capacity);
  const step greedy_step{{g.weight, g.value}, g.count};
  const auto found = [&](std::int64_t best) {
    return method_result{best, best, spent.work(), spent.peak() * step_bytes};
  };
  if (g.split == n) return found(g.value);

  // Values of the open elements alone: what a selection must beat, and what none exceeds.
  std::int64_t best = r.lower - r.fixed;
  std::int64_t bound = r.upper - r.fixed;
  const method_result gave_up{std::nullopt, bound};
  rebounding rebound{best, g};
  frontier whole = start_from(p, greedy_step, g.split, spent);
  frontier adds = start_from(p, greedy_step, g.split, spent);
  frontier removals = start_from(p, greedy_step, g.split, spent);
  std::uint64_t side_work = 0;
  std::size_t paired_at = 1;
  std::uint64_t completed_work = 0;
  const auto stopped = [&] {
    method_result result = gave_up;
    result.work = spent.work();
    result.peak_bytes = spent.peak() * step_bytes;
    return result;
  };
  while (whole.steps.size > 0 && best < bound) {
    if (!can_widen(whole, true, n) && !can_widen(whole, false, n)) break;
    for (const bool after : {true, false}) {
      if (can_widen(whole, after, n) && !widen(p, whole, after, best, spent)) return stopped();
    }
    // The side lists run ahead while they hold and have written fewer steps than the whole list.
    bool widened = false;
    while (best < bound && side_work < spent.work() - side_work &&
           adds.steps.size + removals.steps.size < whole.steps.size) {
      const bool after = can_widen(adds, true, n) &&
                         (adds.steps.size <= removals.steps.size || !can_widen(removals, false, n));
      if (!can_widen(after ? adds : removals, after, n)) break;
      const std::uint64_t before = spent.work();
      if (!widen(p, after ? adds : removals, after, best, spent)) return stopped();
      side_work += spent.work() - before;
      widened = true;
    }
    if (widened) {
      best = std::max(best, best_pair(adds.steps, removals.steps, greedy_step, p.capacity));
    }
    // Each time the list has doubled, every step is paired with each element outside the window.
    if (whole.steps.size >= 2 * paired_at && spent.spend(pairing_work(whole, n))) {
      paired_at = whole.steps.size;
      best = std::max(best, best_with_one_more(p, whole));
    }
    // Steps completed greedily, where that costs no more than the merge did, and all of it no
    // more than a sixteenth of the work so far.
    const std::uint64_t completing = completions * (n - whole.span.last);
    if (completing <= whole.steps.size && 16 * (completed_work + completing) <= spent.work() &&
        spent.spend(completing)) {
      completed_work += completing;
      best = std::max(
          best, best_completed(fitting_steps(whole, p.capacity), p.sorted.subspan(whole.span.last),
                               p.capacity, [](std::size_t) { return false; }));
    }
    // With no step left on a side, nothing beats the best found.
    if (adds.steps.size == 0 || removals.steps.size == 0) break;
    if (const auto fallen = rebound(p, best, spent.work())) {
      bound = std::min(bound, *fallen);
    }
  }
  return found(best);
}
