#include "steps.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

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
// Sums are exact in 64 bits: fewer than 2^31 elements, each below 2^31. A bound multiplies such a
// sum by a 32-bit number, in 128 bits.

namespace {

struct step : entry {
  std::int64_t count;  // of the instance's elements in the step's selection
};
static_assert(sizeof(step) == step_bytes);

// A weight's class: its bit width and the two bits after the leading one, so that a class holds
// weights within a quarter of each other, and heavier weights have no lower class.
constexpr std::size_t weight_classes = 256;

std::size_t class_of(std::int64_t weight) {
  const auto w = static_cast<std::uint64_t>(weight);
  if (w < 8) return w;
  const auto width = static_cast<std::size_t>(std::bit_width(w));
  return 4 * width - 4 + ((w >> (width - 3)) & 3);
}

// The sorted elements, and the capacity every list works to.
struct problem {
  std::span<const element> sorted;
  std::vector<std::int64_t> weight_before;    // [k]: total weight of the elements before k
  std::vector<std::int64_t> lightest_before;  // [k]: least weight of an element before k
  std::vector<std::int64_t> lightest_from;    // [k]: least weight of an element from k on
  std::vector<std::uint8_t> weight_class;     // [k]: class_of() the weight of element k
  std::vector<std::size_t> next_alike;        // [k]: the next element of k's class, or n
  std::size_t top_class;                      // the capacity's class
  std::int64_t capacity;
  std::int64_t value_divisor;  // of every value
  rates by_count;              // of the reduction's bound by count, where one binds
  bool counted;
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
            std::vector<std::int64_t>(n + 1, INT64_MAX),
            std::vector<std::int64_t>(n + 1, INT64_MAX),
            std::vector<std::uint8_t>(n),
            std::vector<std::size_t>(n),
            class_of(r.capacity),
            r.capacity,
            r.value_divisor,
            r.bound_rates,
            r.bound_rates.lambda_scaled != 0,
            {},
            {}};
  for (std::size_t k = 0; k < n; ++k) {
    p.weight_before[k + 1] = p.weight_before[k] + r.sorted[k].weight;
    p.lightest_before[k + 1] = std::min(p.lightest_before[k], r.sorted[k].weight);
  }
  std::array<std::size_t, weight_classes> next_of_class;
  next_of_class.fill(n);
  for (std::size_t k = n; k-- > 0;) {
    p.lightest_from[k] = std::min(p.lightest_from[k + 1], r.sorted[k].weight);
    const std::size_t c = class_of(r.sorted[k].weight);
    p.weight_class[k] = static_cast<std::uint8_t>(c);
    p.next_alike[k] = next_of_class[c];
    next_of_class[c] = k;
  }
  if (p.counted) {
    p.gains_from.assign(n + 1, 0);
    p.gains_before.assign(n + 1, 0);
    for (std::size_t k = n; k-- > 0;) {
      p.gains_from[k] = p.gains_from[k + 1] + std::max(wide{0}, p.by_count.term(r.sorted[k]));
    }
    for (std::size_t k = 0; k < n; ++k) {
      p.gains_before[k + 1] = p.gains_before[k] + std::max(wide{0}, -p.by_count.term(r.sorted[k]));
    }
  }
  return p;
}

// The elements [first, last) a list has taken in; those before are taken, those after are not.
struct window {
  std::size_t first;
  std::size_t last;
};

// What decides whether a step is promising while the window stands: the elements beside it,
// each standing for all the elements on its side. With no element on a side, a neutral one of
// value 0 (and no weight to take out before the window) makes the test fail on that side.
struct neighbours {
  element next;
  element previous;
  std::int64_t removable;        // total weight before the window
  std::int64_t lightest_after;   // least weight of an element after it, INT64_MAX for none
  std::int64_t lightest_before;  // least weight of an element before it, INT64_MAX for none
  wide outside;                  // what flipping elements outside it may add to the bound by count
};

neighbours neighbours_of(const problem& p, window w) {
  constexpr element none{1, 0};
  return {w.last < p.sorted.size() ? p.sorted[w.last] : none,
          w.first > 0 ? p.sorted[w.first - 1] : none,
          p.weight_before[w.first],
          p.lightest_from[w.last],
          p.lightest_before[w.first],
          p.counted ? p.gains_from[w.last] + p.gains_before[w.first] : 0};
}

// Of the elements after a window, those that may fit in a room r: those of r's class or lower,
// which hold every element no heavier than r. Of these, the first in order has the best value per
// weight, and their values sum to the most they can add. Kept by class as the window widens: each
// class's first element after the window, found from the next element of its class, and the
// total value of its elements there; prepare() sums them up for the rooms of a merge.
class fitting_after {
 public:
  fitting_after(const problem& p, std::size_t last) : p_(&p), last_(last) {
    first_.fill(p.sorted.size());
    value_.fill(0);
    for (std::size_t k = p.sorted.size(); k-- > last;) {
      first_[p.weight_class[k]] = k;
      value_[p.weight_class[k]] += p.sorted[k].value;
    }
  }

  /// Moves past the element at the window's last place, now inside the window.
  void pass() {
    const std::size_t c = p_->weight_class[last_];
    value_[c] -= p_->sorted[last_].value;
    if (first_[c] == last_) first_[c] = p_->next_alike[last_];
    ++last_;
  }

  /// Sums the classes up, for the rooms of the next merge.
  void prepare() {
    const std::size_t none = p_->sorted.size();
    std::size_t first = none;
    std::int64_t value = 0;
    for (std::size_t c = 0; c <= p_->top_class; ++c) {
      first = std::min(first, first_[c]);
      value += value_[c];
      best_upto_[c] = first;
      value_upto_[c] = value;
      const element* best = first < none ? &p_->sorted[first] : nullptr;
      rate_upto_[c] = best != nullptr
                          ? static_cast<double>(best->value) / static_cast<double>(best->weight)
                          : 0;
    }
  }

  /// The best element, by value per weight, of those after the window that may fit in a room of
  /// class `c` (a room from 1 to the capacity); nothing where none may.
  const element* best_for(std::size_t c) const {
    const std::size_t k = best_upto_[c];
    return k < p_->sorted.size() ? &p_->sorted[k] : nullptr;
  }
  /// Its value per weight, 0 where there is none.
  double rate_for(std::size_t c) const { return rate_upto_[c]; }
  /// What all the elements after the window that may fit in a room of class `c` are worth.
  std::int64_t value_for(std::size_t c) const { return value_upto_[c]; }

 private:
  const problem* p_;
  std::size_t last_;
  std::array<std::size_t, weight_classes> first_;
  std::array<std::int64_t, weight_classes> value_;
  std::array<std::size_t, weight_classes> best_upto_{};
  std::array<std::int64_t, weight_classes> value_upto_{};
  std::array<double, weight_classes> rate_upto_{};
};

// Whether a selection through step s, within the capacity with a room of at least 1, may still
// reach `beat`. Adding only elements after the window, it gains no more than those that fit in
// its room: at most the room at the best rate among them, and no more than they are all worth.
// Taking out an element before the window to make room for heavier ones, it gains at most the
// room at the next element's rate, less the difference of the two rates on the lightest element
// before the window. Where values per weight are alike and weights come in a few sizes, and
// nothing is left before the window, this is far below the bound of promising(). In floating
// point where that decides, in 128 bits where rounding leaves it open.
bool promising_by_fit(step s, std::int64_t room, std::int64_t beat, const fitting_after& fit,
                      const neighbours& beside) {
  const std::int64_t missing = beat - s.value;
  if (missing <= 0) return true;
  const std::size_t c = class_of(room);
  if (fit.value_for(c) >= missing) {
    const double gain = static_cast<double>(room) * fit.rate_for(c);
    const int verdict = surely(gain - static_cast<double>(missing), gain);
    if (verdict > 0) return true;
    const element* best = fit.best_for(c);
    if (verdict == 0 && best != nullptr &&
        wide{room} * best->value >= wide{missing} * best->weight) {
      return true;
    }
  }
  if (beside.lightest_before == INT64_MAX || beside.lightest_after == INT64_MAX) return false;
  const element& next = beside.next;
  const element& previous = beside.previous;
  const wide rate_gap = wide{previous.value} * next.weight - wide{next.value} * previous.weight;
  return wide{room} * next.value * previous.weight - rate_gap * beside.lightest_before >=
         wide{missing} * previous.weight * next.weight;
}

// Whether a selection through step s may still reach `beat`. Every element after the window is
// worth at most the next one's value per weight, and every one before it at least the previous
// one's, so within the capacity a selection gains at most its free room at the next element's
// rate, and over it loses at least its excess at the previous one's. Elements are whole, too:
// within the capacity, where the room is less than the lightest element after the window, one
// must first be taken out from before it; over the capacity, taking out the lightest element
// before the window may free more than the excess, and what is refilled gains less than what
// went out. Each costs the difference of the two rates on that weight.
//
// Exactly, in 128 bits, rates compared as fractions, each side times both weights; a merge asks
// quick_test first, which decides in floating point wherever it cannot be wrong.
bool promising(step s, std::int64_t capacity, std::int64_t beat, const neighbours& beside) {
  const element& next = beside.next;
  const element& previous = beside.previous;
  const bool after = beside.lightest_after != INT64_MAX;
  const bool before = beside.lightest_before != INT64_MAX;
  const std::int64_t room = capacity - s.weight;
  if (room >= 0) {
    if (!after) return s.value >= beat;
    const bool gains_enough = wide{room} * next.value >= wide{beat - s.value} * next.weight;
    if (room >= beside.lightest_after || !gains_enough) return gains_enough;
    if (!before) return s.value >= beat;
    const std::int64_t missing = beside.lightest_after - room;
    const wide rate_gap = wide{previous.value} * next.weight - wide{next.value} * previous.weight;
    return wide{s.value - beat} * previous.weight * next.weight +
               wide{room} * next.value * previous.weight - rate_gap * missing >=
           0;
  }
  const std::int64_t excess = -room;
  if (excess > beside.removable) return false;
  const std::int64_t freed = std::max(excess, beside.lightest_before);
  if (!after) return wide{s.value - beat} * previous.weight >= wide{freed} * previous.value;
  const wide rate_gap = wide{previous.value} * next.weight - wide{next.value} * previous.weight;
  return wide{s.value - beat} * previous.weight * next.weight >=
         wide{excess} * previous.value * next.weight + rate_gap * (freed - excess);
}

// The same bound in floating point: 1 where it surely reaches `beat`, -1 where it surely does
// not, 0 where rounding (far less than 2^-50 of the terms' sizes, and a unit) leaves it open.
class quick_test {
 public:
  explicit quick_test(const neighbours& beside)
      : beside_(beside),
        next_rate_(rate(beside.next)),
        previous_rate_(rate(beside.previous)),
        after_(beside.lightest_after != INT64_MAX),
        before_(beside.lightest_before != INT64_MAX) {}

  int operator()(step s, std::int64_t capacity, std::int64_t beat) const {
    const std::int64_t room = capacity - s.weight;
    const auto gap = static_cast<double>(s.value - beat);
    const double rate_gap = previous_rate_ - next_rate_;
    if (room >= 0) {
      if (!after_) return gap >= 0 ? 1 : -1;
      const double gain = static_cast<double>(room) * next_rate_;
      if (room >= beside_.lightest_after) return surely(gap + gain, std::abs(gap) + gain);
      if (!before_) return gap >= 0 ? 1 : -1;
      const double cost = rate_gap * static_cast<double>(beside_.lightest_after - room);
      return surely(gap + gain - cost, std::abs(gap) + gain + cost);
    }
    const std::int64_t excess = -room;
    if (excess > beside_.removable) return -1;
    const auto freed = static_cast<double>(std::max(excess, beside_.lightest_before));
    if (!after_) {
      const double loss = freed * previous_rate_;
      return surely(gap - loss, std::abs(gap) + loss);
    }
    const double loss = static_cast<double>(excess) * previous_rate_ +
                        rate_gap * (freed - static_cast<double>(excess));
    return surely(gap - loss, std::abs(gap) + loss);
  }

 private:
  static double rate(const element& e) {
    return static_cast<double>(e.value) / static_cast<double>(e.weight);
  }
  const neighbours& beside_;
  double next_rate_;
  double previous_rate_;
  bool after_;
  bool before_;
};

// Whether a selection through step s may still reach `beat` by the bound by count: the step's
// value, the room at rate mu, the count it may still add (or must) at rate lambda, and whatever
// flipping elements outside the window may add.
bool promising_by_count(step s, const problem& p, std::int64_t beat, const neighbours& beside) {
  const rates& r = p.by_count;
  return wide{s.value - beat} * rates::scale + wide{r.mu_scaled} * (p.capacity - s.weight) +
             r.lambda_scaled * (r.count_bound - s.count) + beside.outside >=
         0;
}

// The same bound in floating point, as quick_test is for the other: 1, -1, or 0 where rounding
// leaves it open.
class quick_count_test {
 public:
  quick_count_test(const problem& p, const neighbours& beside)
      : capacity_(p.capacity),
        count_bound_(p.by_count.count_bound),
        mu_(static_cast<double>(p.by_count.mu_scaled)),
        lambda_(static_cast<double>(p.by_count.lambda_scaled)),
        outside_(static_cast<double>(beside.outside)) {}

  int operator()(step s, std::int64_t beat) const {
    const double gap = static_cast<double>(s.value - beat) * static_cast<double>(rates::scale);
    const double room = mu_ * static_cast<double>(capacity_ - s.weight);
    const double count = lambda_ * static_cast<double>(count_bound_ - s.count);
    return surely(gap + room + count + outside_,
                  std::abs(gap) + std::abs(room) + std::abs(count) + std::abs(outside_));
  }

 private:
  std::int64_t capacity_;
  std::int64_t count_bound_;
  double mu_;
  double lambda_;
  double outside_;
};

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
  const quick_test quick(beside);
  const quick_count_test quick_count(p, beside);
  const std::int64_t capacity = p.capacity;
  std::int64_t beat = to_beat(best, p.value_divisor);
  undominated<step> kept(into.entries.get());
  const auto offer = [&](step s) {
    if (!kept.admits(s)) return;
    if (s.weight <= capacity && s.value > best) {
      best = s.value;
      beat = to_beat(best, p.value_divisor);
    }
    const int surely = quick(s, capacity, beat);
    if (surely < 0 || (surely == 0 && !promising(s, capacity, beat, beside))) return;
    // Where the next element fits in the room, it is the best that fits, and quick_test has it.
    const std::int64_t room = capacity - s.weight;
    if constexpr (by_fit) {
      if (room > 0 && room < beside.next.weight) {
        ++fitting.examined;
        if (!promising_by_fit(s, room, beat, fit, beside)) {
          ++fitting.cut;
          return;
        }
      }
    }
    if constexpr (by_count) {
      ++count.examined;
      const int surely_by_count = quick_count(s, beat);
      if (surely_by_count < 0 ||
          (surely_by_count == 0 && !promising_by_count(s, p, beat, beside))) {
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

// Steps held and written so far, against the limits.
struct spending {
  const step_limits& limits;
  std::size_t held = 0;
  std::uint64_t work = 0;
};

// A list of steps, the window it has taken in, and a spare list to merge into.
struct frontier {
  step_list steps;
  step_list spare;
  window span;
  fitting_after fit;
  gates gated;
};

// Charges `work` when it stays within the limit; false, charging nothing, when it would not.
bool spend(spending& spent, std::uint64_t work) {
  if (work > spent.limits.max_work - std::min(spent.limits.max_work, spent.work)) return false;
  spent.work += work;
  return true;
}

frontier start_from(const problem& p, step greedy, std::size_t split, spending& spent) {
  frontier f{step_list::of(greedy), {}, {split, split}, fitting_after(p, split), {}};
  spent.held += 1;
  return f;
}

bool can_widen(const frontier& f, bool after, std::size_t n) {
  return after ? f.span.last < n : f.span.first > 0;
}

// Takes the next element after the window, or the last one before it, into f. False, with f
// unchanged, when that would pass a limit.
bool widen(const problem& p, frontier& f, bool after, std::int64_t& best, spending& spent) {
  if (spent.limits.keep_going && !spent.limits.keep_going(spent.work)) return false;
  const std::size_t wanted = 2 * f.steps.size;
  const std::size_t growth = wanted > f.spare.room ? wanted - f.spare.room : 0;
  if (spent.held + growth > spent.limits.max_steps || !spend(spent, wanted + widening_work)) {
    return false;
  }
  spent.held += growth;
  f.spare.reserve(wanted);
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

// The best value within the capacity of a step changed by one element outside its window: one
// after it added, or one before it taken out. Steps are sorted by weight with values rising, so
// for each element the heaviest step that fits is the best.
std::int64_t best_with_one_more(const problem& p, const frontier& f) {
  const step* const first = f.steps.begin();
  const step* const last = f.steps.end();
  std::int64_t best = INT64_MIN;
  const auto pair = [&](std::int64_t weight, std::int64_t value) {
    const step* fit = std::upper_bound(first, last, p.capacity - weight,
                                       [](std::int64_t w, const step& s) { return w < s.weight; });
    if (fit != first) best = std::max(best, (fit - 1)->value + value);
  };
  for (std::size_t k = f.span.last; k < p.sorted.size(); ++k) {
    pair(p.sorted[k].weight, p.sorted[k].value);
  }
  for (std::size_t k = 0; k < f.span.first; ++k) pair(-p.sorted[k].weight, -p.sorted[k].value);
  return best;
}

// The best value of steps of f within the capacity completed greedily: the elements after the
// window added in order wherever they still fit. `completions` steps spread over those within the
// capacity, the most valuable among them.
std::int64_t best_completed(const problem& p, const frontier& f, std::size_t completions) {
  const step* const first = f.steps.begin();
  const step* const fitting = std::upper_bound(
      first, f.steps.end(), p.capacity, [](std::int64_t w, const step& s) { return w < s.weight; });
  const auto count = static_cast<std::size_t>(fitting - first);
  std::int64_t best = INT64_MIN;
  if (count == 0) return best;
  const std::span<const element> after = p.sorted.subspan(f.span.last);
  for (std::size_t q = 1; q <= completions; ++q) {
    const step& s = first[(count - 1) * q / completions];
    best = std::max(best, s.value + greedy_fill(after, p.capacity - s.weight,
                                                [](std::size_t) { return false; }));
  }
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

}  // namespace

std::optional<std::int64_t> best_by_steps(const reduced& r, const step_limits& limits) {
  spending spent{limits};
  const std::size_t n = r.sorted.size();
  const problem p = problem_of(r);
  const auto after_fit =
      std::upper_bound(p.weight_before.begin(), p.weight_before.end(), p.capacity);
  const auto split = static_cast<std::size_t>(after_fit - p.weight_before.begin()) - 1;

  step greedy{{p.weight_before[split], 0}, 0};
  for (std::size_t k = 0; k < split; ++k) {
    greedy.value += r.sorted[k].value;
    greedy.count += r.sorted[k].count;
  }
  if (split == n) return greedy.value;

  // Values of the open elements alone: what a selection must beat, and what none exceeds.
  std::int64_t best = r.lower - r.fixed;
  const std::int64_t bound = r.upper - r.fixed;
  frontier whole = start_from(p, greedy, split, spent);
  frontier adds = start_from(p, greedy, split, spent);
  frontier removals = start_from(p, greedy, split, spent);
  std::uint64_t side_work = 0;
  std::size_t paired_at = 1;
  constexpr std::size_t completions = 8;
  std::uint64_t completed_work = 0;
  while (whole.steps.size > 0 && best < bound) {
    if (!can_widen(whole, true, n) && !can_widen(whole, false, n)) break;
    for (const bool after : {true, false}) {
      if (can_widen(whole, after, n) && !widen(p, whole, after, best, spent)) return std::nullopt;
    }
    // The side lists run ahead while they hold and have written fewer steps than the whole list.
    bool widened = false;
    while (best < bound && side_work < spent.work - side_work &&
           adds.steps.size + removals.steps.size < whole.steps.size) {
      const bool after = can_widen(adds, true, n) &&
                         (adds.steps.size <= removals.steps.size || !can_widen(removals, false, n));
      if (!can_widen(after ? adds : removals, after, n)) break;
      const std::uint64_t before = spent.work;
      if (!widen(p, after ? adds : removals, after, best, spent)) return std::nullopt;
      side_work += spent.work - before;
      widened = true;
    }
    if (widened) best = std::max(best, best_pair(adds.steps, removals.steps, greedy, p.capacity));
    // Each time the list has doubled, every step is paired with each element outside the window.
    if (whole.steps.size >= 2 * paired_at && spend(spent, pairing_work(whole, n))) {
      paired_at = whole.steps.size;
      best = std::max(best, best_with_one_more(p, whole));
    }
    // Steps completed greedily, where that costs no more than the merge did, and all of it no
    // more than a sixteenth of the work so far.
    const std::uint64_t completing = completions * (n - whole.span.last);
    if (completing <= whole.steps.size && 16 * (completed_work + completing) <= spent.work &&
        spend(spent, completing)) {
      completed_work += completing;
      best = std::max(best, best_completed(p, whole, completions));
    }
    // With no step left on a side, nothing beats the best found.
    if (adds.steps.size == 0 || removals.steps.size == 0) break;
  }
  return best;
}
