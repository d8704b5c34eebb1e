#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "cells.hpp"
#include "elements.hpp"

// Every upper bound on the best value that the solver uses: the reduction decides elements and
// ends the search with them, and the lists drop every step whose bound cannot beat the best
// value found. A bound that is too low gives a wrong answer, so each is written once, and where a
// bound is asked of every step it has a form in floating point that decides wherever rounding
// cannot matter, beside the exact one in 128 bits that decides the rest.

/// What a test in floating point found.
enum class verdict {
  holds,  ///< surely
  fails,  ///< surely
  open,   ///< within rounding: the exact test decides
};

/// Whether `slack`, a bound less what it must reach, summed in floating point from terms whose
/// sizes add up to `size`, is surely at least 0, surely below 0, or too close to tell: floating
/// point errs by far less than 2^-50 of `size` (and a unit).
inline verdict surely(double slack, double size) {
  const double error = size * 0x1p-50 + 1;
  return slack > error ? verdict::holds : slack < -error ? verdict::fails : verdict::open;
}

// ---- The linear relaxation

/// The greedy selection: the elements, best value per weight first, taken until one, the break
/// element, no longer fits.
struct greedy {
  std::size_t split = 0;  ///< the break element's place; all of them where every element fits
  std::int64_t weight = 0;
  std::int64_t value = 0;
  std::int64_t count = 0;  ///< elements the selection stands for
};

/// The greedy selection of `by_rate` (best value per weight first) within `capacity`.
greedy greedy_at(std::span<const element> by_rate, std::int64_t capacity);

/// The linear relaxation at its break: the elements before the break element taken, and the room
/// they leave filled at its value per weight. No selection within the capacity is worth more, and
/// forcing an element against the greedy choice costs it at least the element's gain over the
/// break element's rate (its weight freed, or taken, at that rate). Exact: in units of 1 / the
/// break element's weight.
class linear_relaxation {
 public:
  /// `taken`, the elements before the break, within `capacity`; `at_break`, the break element.
  linear_relaxation(entry taken, std::int64_t capacity, entry at_break)
      : unit_(at_break.weight),
        rate_(at_break.value),
        scaled_(wide{taken.value} * at_break.weight +
                wide{capacity - taken.weight} * at_break.value) {}

  /// The bound, rounded down.
  std::int64_t bound() const { return static_cast<std::int64_t>(scaled_ / unit_); }

  /// Whether the bound reaches `target`.
  bool reaches(std::int64_t target) const { return scaled_ >= wide{target} * unit_; }

  /// Whether no selection that goes against the greedy choice for `e` beats `lower` (every value
  /// a multiple of `divisor`): then e is decided as the greedy selection has it.
  bool decides(entry e, std::int64_t lower, std::int64_t divisor = 1) const {
    const std::int64_t gain = e.value * unit_ - rate_ * e.weight;  // below 2^62 each
    return scaled_ - (gain < 0 ? -gain : gain) < wide{to_beat(lower, divisor)} * unit_;
  }

  /// Whether `e` is worth more per weight than the break element.
  bool better(entry e) const { return e.value * unit_ > rate_ * e.weight; }

 private:
  std::int64_t unit_;
  std::int64_t rate_;
  wide scaled_;
};

/// The linear relaxation of `by_rate` within `capacity`; nothing where every element fits.
std::optional<linear_relaxation> linear_of(std::span<const element> by_rate, std::int64_t capacity,
                                           const greedy& g);

/// The linear relaxation of some of the elements at any room: those not left out, by value per
/// weight, and the sums of the first k of them.
struct relaxation_sums {
  std::vector<element> order;
  std::vector<std::int64_t> weight_before{0};
  std::vector<std::int64_t> value_before{0};

  /// Of the elements of `by_rate` but those `left_out` names.
  relaxation_sums(std::span<const element> by_rate, const std::vector<bool>& left_out);
};

/// Asks the linear relaxation of `sums` at rooms that never grow, for steps asked in order of
/// weight: whether a selection of value `value` with that room may still reach a target.
class relaxation_cursor {
 public:
  // The sums' places are copied in, so that the loop that asks keeps them in registers.
  explicit relaxation_cursor(const relaxation_sums& sums)
      : order_(sums.order.data()),
        weight_before_(sums.weight_before.data()),
        value_before_(sums.value_before.data()),
        size_(sums.order.size()) {}

  /// Whether `value` plus the relaxation within `room` reaches `target`, and by how much in
  /// floating point (the bound less the target), for ranking steps by.
  struct reach {
    bool reaches;
    double slack;
  };
  reach reaches(std::int64_t value, std::int64_t room, std::int64_t target) {
    locate(room);
    const std::size_t whole = whole_;
    const std::int64_t gap = value + value_before_[whole] - target;
    if (whole == size_) return {gap >= 0, static_cast<double>(gap)};
    const element& part = order_[whole];
    const std::int64_t left = room - weight_before_[whole];
    const double share = static_cast<double>(left) * static_cast<double>(part.value) /
                         static_cast<double>(part.weight);
    const double slack = static_cast<double>(gap) + share;
    switch (surely(slack, std::abs(static_cast<double>(gap)) + share)) {
      case verdict::holds:
        return {true, slack};
      case verdict::fails:
        return {false, slack};
      case verdict::open:
        break;
    }
    // Exactly: the same sum, times the part's weight.
    return {wide{gap} * part.weight + wide{left} * part.value >= 0, slack};
  }

  /// `value` plus the relaxation within `room`, in floating point.
  double bound(std::int64_t value, std::int64_t room) {
    locate(room);
    const std::size_t whole = whole_;
    const auto taken = static_cast<double>(value + value_before_[whole]);
    if (whole == size_) return taken;
    const element& part = order_[whole];
    return taken + static_cast<double>(room - weight_before_[whole]) *
                       static_cast<double>(part.value) / static_cast<double>(part.weight);
  }

 private:
  // Finds the elements that fit whole in `room`, no larger than the last room asked.
  void locate(std::int64_t room) {
    const std::int64_t* const before = weight_before_;
    if (!located_) {
      // weight_before_ holds a sum before each element and one after them all.
      whole_ =
          static_cast<std::size_t>(std::upper_bound(before, before + size_ + 1, room) - before) - 1;
      located_ = true;
    }
    while (whole_ > 0 && before[whole_] > room) --whole_;  // the first whole_ fit
  }

  const element* order_;
  const std::int64_t* weight_before_;
  const std::int64_t* value_before_;
  std::size_t size_;
  bool located_ = false;
  std::size_t whole_ = 0;  // the elements that fit whole in the last room asked, once located
};

// ---- A step of the lists from the greedy selection, by its window's neighbours

/// An element's value per weight, in floating point.
inline double rate_of(const element& e) {
  return static_cast<double>(e.value) / static_cast<double>(e.weight);
}

/// What bounds the selections through a step of the lists from the greedy selection: the elements
/// beside its window of elements, each standing for all the elements on its side (those after it
/// worth at most the next one per weight, those before it at least the previous one). With no
/// element on a side, a neutral one of value 0 makes the bound fail on that side.
struct neighbours {
  element next;
  element previous;
  std::int64_t removable = 0;                                  ///< total weight before the window
  std::optional<std::int64_t> lightest_after = std::nullopt;   ///< least weight after it
  std::optional<std::int64_t> lightest_before = std::nullopt;  ///< least weight before it
};

/// Whether a selection through step `s` may still reach `beat`, where `beat` is more than the
/// step's own value if it is within the capacity (the lists count such a step as found before
/// they bound it), so that the selection must differ from the step. Within the capacity it gains at
/// most its free room at the next element's rate; over it, it loses at least its excess at the
/// previous one's. Elements are whole: within the capacity, where the room is less than the
/// lightest element after the window, one must first be taken out from before it; over it,
/// taking out the lightest element before the window may free more than the excess, and what is
/// refilled gains less than what went out. Each costs the difference of the two rates on that
/// weight. Exact.
inline bool neighbour_bound_reaches(entry s, std::int64_t capacity, std::int64_t beat,
                                    const neighbours& beside) {
  const element& next = beside.next;
  const element& previous = beside.previous;
  const std::int64_t room = capacity - s.weight;
  // Rates compared as fractions: each side times both weights.
  const wide rate_gap = gain_over(previous, next);
  if (room >= 0) {
    if (!beside.lightest_after) return s.value >= beat;
    const bool gains_enough = wide{room} * next.value >= wide{beat - s.value} * next.weight;
    if (room >= *beside.lightest_after || !gains_enough) return gains_enough;
    if (!beside.lightest_before) return s.value >= beat;
    const std::int64_t missing = *beside.lightest_after - room;
    return wide{s.value - beat} * previous.weight * next.weight +
               wide{room} * next.value * previous.weight - rate_gap * missing >=
           0;
  }
  const std::int64_t excess = -room;
  if (excess > beside.removable) return false;
  const std::int64_t freed = std::max(excess, beside.lightest_before.value_or(0));
  if (!beside.lightest_after) {
    return wide{s.value - beat} * previous.weight >= wide{freed} * previous.value;
  }
  return wide{s.value - beat} * previous.weight * next.weight >=
         wide{excess} * previous.value * next.weight + rate_gap * (freed - excess);
}

/// The same bound in floating point: holds or fails wherever rounding cannot matter.
class quick_neighbour_test {
 public:
  // Every figure is copied in, so that the loop that asks keeps them in registers.
  explicit quick_neighbour_test(const neighbours& beside)
      : next_rate_(rate_of(beside.next)),
        previous_rate_(rate_of(beside.previous)),
        removable_(beside.removable),
        lightest_after_(beside.lightest_after.value_or(0)),
        lightest_before_(beside.lightest_before.value_or(0)),
        after_(beside.lightest_after.has_value()),
        before_(beside.lightest_before.has_value()) {}

  verdict operator()(entry s, std::int64_t capacity, std::int64_t beat) const {
    const std::int64_t room = capacity - s.weight;
    const auto gap = static_cast<double>(s.value - beat);
    const double rate_gap = previous_rate_ - next_rate_;
    const auto decided = [](bool holds) { return holds ? verdict::holds : verdict::fails; };
    if (room >= 0) {
      if (!after_) return decided(gap >= 0);
      const double gain = static_cast<double>(room) * next_rate_;
      if (room >= lightest_after_) return surely(gap + gain, std::abs(gap) + gain);
      if (!before_) return decided(gap >= 0);
      const double cost = rate_gap * static_cast<double>(lightest_after_ - room);
      return surely(gap + gain - cost, std::abs(gap) + gain + cost);
    }
    const std::int64_t excess = -room;
    if (excess > removable_) return verdict::fails;
    const auto freed = static_cast<double>(std::max(excess, lightest_before_));
    if (!after_) {
      const double loss = freed * previous_rate_;
      return surely(gap - loss, std::abs(gap) + loss);
    }
    const double loss = static_cast<double>(excess) * previous_rate_ +
                        rate_gap * (freed - static_cast<double>(excess));
    return surely(gap - loss, std::abs(gap) + loss);
  }

 private:
  double next_rate_;
  double previous_rate_;
  std::int64_t removable_;
  std::int64_t lightest_after_;
  std::int64_t lightest_before_;
  bool after_;
  bool before_;
};

// ---- By count

/// The fewest and the most elements a better selection may hold: of all its elements, or of
/// those at least `from` heavy each alone.
struct count_range {
  std::int64_t least = 0;
  std::int64_t most = 0;
  std::int64_t from = 0;  ///< a weight per element; 0 counts every element

  /// The rates of a bound under these counts count the same elements.
  rates counting() const { return {.counted_from = from}; }
};

/// The range of elements (a piece counting those it stands for) of a selection of `sorted` within
/// `capacity` worth more than `lower`: no more than the lightest that fit together, no fewer than
/// the most valuable that pass `lower`; `least` is past every element where none is worth more.
/// With `from`, of the elements at least that heavy each alone: the others add at most all they
/// are worth, and may all be left out to make room.
count_range count_range_of(std::span<const element> sorted, std::int64_t capacity,
                           std::int64_t lower, std::int64_t from = 0);

/// A Lagrangian bound over the capacity and the count, and its rates.
struct lagrangian {
  rates at;
  wide bound = 0;  ///< in units of 1 / rates::scale
};

/// The Lagrangian bound of `sorted` (by value per weight, best first) within `capacity` at its
/// least over the rates, for selections within `counts`: convex and piecewise linear in mu,
/// searched on its slope in floating point, then evaluated exactly at the rate found, with lambda
/// at its best for it. Nothing where no count binds: where the linear relaxation's selection
/// already holds as many elements as `counts` allow, no rate on the count lowers its bound.
std::optional<lagrangian> least_lagrangian(std::span<const element> sorted, std::int64_t capacity,
                                           count_range counts);

/// The Lagrangian bound of `sorted` within `capacity` for selections within `counts` at the rate
/// `mu` per unit of weight and the best lambda for it: one pass, where the search for the least
/// bound takes up to forty.
lagrangian lagrangian_at(std::span<const element> sorted, std::int64_t capacity, count_range counts,
                         double mu);

/// The elements `counts` counts among those the greedy selection `g` of `sorted` holds whole.
std::int64_t counted_whole(std::span<const element> sorted, const greedy& g, count_range counts);

/// Of `l`, a bound for the selections of exactly one count k, the bound its rates give for those
/// of at most k - 1 (`fewer`) or of at least k + 1: lambda less, where lambda has the sign that
/// side asks; nothing where it has not.
std::optional<wide> bound_beyond(const lagrangian& l, bool fewer);

/// A bound in units of 1 / rates::scale, rounded down, not below 0.
std::int64_t unscaled(wide bound);

/// The least of the linear and the Lagrangian bound of `sorted` within `capacity` over the
/// selections within `counts`, rounded down to a multiple of `divisor`.
std::int64_t bound_within(std::span<const element> sorted, std::int64_t capacity,
                          count_range counts, std::int64_t divisor);

/// Whether the linear relaxation's selection, `g` and a part of its break element, holds about as
/// many elements as fit at all (within three): there the best selections often hold as many
/// elements as it or one more, and narrowing the count pays; elsewhere it seldom does.
inline bool near_the_most(const greedy& g, bool breaks, count_range counts) {
  return breaks && g.count + 3 >= counts.most;
}

/// `counts` narrowed by the bound under counts: where no selection of at most m elements (or of at
/// least m) may beat `lower`, every better one holds more (or fewer). Cuts the range at the count
/// of the linear relaxation's selection, so that the bound by count binds where either part is
/// left out, then drops the far end of what is left while no selection of that count may beat
/// `lower`: a few Lagrangian searches. Every value a multiple of `divisor`.
count_range narrowed_counts(std::span<const element> sorted, std::int64_t capacity,
                            std::int64_t lower, std::int64_t divisor, count_range counts);

/// Whether no selection that goes against the Lagrangian's choice for `e` (taken where its term
/// is positive) beats `lower` (every value a multiple of `divisor`): forced so, e lowers the
/// bound by its term's size.
bool decides(const lagrangian& l, const element& e, std::int64_t lower, std::int64_t divisor);

/// Of a step of `count` elements within `room` of the capacity, whether a selection through it
/// may still reach `beat` by the bound at rates `r`: `value` + the room at rate mu + the count it
/// may still add (or must) at rate lambda + `outside`, what flipping elements outside the
/// step's window may add (their terms). Exact.
inline bool count_bound_reaches(const rates& r, std::int64_t value, std::int64_t room,
                                std::int64_t count, std::int64_t beat, wide outside) {
  return wide{value - beat} * rates::scale + wide{r.mu} * room + r.lambda * (r.count - count) +
             outside >=
         0;
}

/// The same bound in floating point.
class quick_count_test {
 public:
  quick_count_test(const rates& r, wide outside)
      : count_(r.count),
        mu_(static_cast<double>(r.mu)),
        lambda_(static_cast<double>(r.lambda)),
        outside_(static_cast<double>(outside)) {}

  verdict operator()(std::int64_t value, std::int64_t room, std::int64_t count,
                     std::int64_t beat) const {
    const double gap = static_cast<double>(value - beat) * static_cast<double>(rates::scale);
    const double at_mu = mu_ * static_cast<double>(room);
    const double at_lambda = lambda_ * static_cast<double>(count_ - count);
    return surely(gap + at_mu + at_lambda + outside_,
                  std::abs(gap) + std::abs(at_mu) + std::abs(at_lambda) + std::abs(outside_));
  }

 private:
  std::int64_t count_;
  double mu_;
  double lambda_;
  double outside_;
};

// ---- By the elements that fit in a room

/// Weight classes: a weight's bit width and the two bits after its leading one, so that a class
/// holds weights within a quarter of each other, and no heavier weight has a lower class.
inline constexpr std::size_t weight_classes = 256;

/// The class of a weight (positive, below 2^62).
inline std::size_t class_of(std::int64_t weight) {
  const auto w = static_cast<std::uint64_t>(weight);
  if (w < 8) return w;
  const auto width = static_cast<std::size_t>(std::bit_width(w));
  return 4 * width - 4 + ((w >> (width - 3)) & 3);
}

/// Of the elements after a window of `by_rate`, those that may fit in a room r: those of r's class
/// or lower, which hold every element no heavier than r. Of these, the first in order has the best
/// value per weight, and their values sum to the most they can add. Kept by class as the window
/// widens.
class fitting_after {
 public:
  /// The elements of `by_rate` after its first `last`.
  fitting_after(std::span<const element> by_rate, std::size_t last, std::int64_t capacity);

  /// Moves past the element at the window's last place, now inside the window.
  void pass();

  /// Sums the classes up, for the rooms of the next merge.
  void prepare();

  /// Whether a selection through a step worth `value` within `room` (from 1 to the capacity) may
  /// still reach `beat` by adding elements after the window alone: at most the room at the best
  /// rate among those that may fit, and no more than they are all worth. Floating point where
  /// that decides, 128 bits where rounding leaves it open.
  bool reaches(std::int64_t value, std::int64_t room, std::int64_t beat) const {
    const std::int64_t missing = beat - value;
    if (missing <= 0) return true;
    const std::size_t c = class_of(room);
    if (value_upto_[c] < missing || best_upto_[c] == by_rate_.size()) return false;
    const double gain = static_cast<double>(room) * rate_upto_[c];
    switch (surely(gain - static_cast<double>(missing), gain)) {
      case verdict::holds:
        return true;
      case verdict::fails:
        return false;
      case verdict::open:
        break;
    }
    const element& best = by_rate_[best_upto_[c]];
    return wide{room} * best.value >= wide{missing} * best.weight;
  }

 private:
  std::span<const element> by_rate_;
  std::vector<std::uint8_t> class_;      // [k]: class_of() the weight of element k
  std::vector<std::size_t> next_alike_;  // [k]: the next element of k's class, or none
  std::size_t top_class_;                // the capacity's class
  std::size_t last_;
  std::array<std::size_t, weight_classes> first_;  // each class's first element after the window
  std::array<std::int64_t, weight_classes> value_;
  std::array<std::size_t, weight_classes> best_upto_{};
  std::array<std::int64_t, weight_classes> value_upto_{};
  std::array<double, weight_classes> rate_upto_{};
};

/// Whether a selection through a step worth `value` within `room` may still reach `beat` by
/// taking out an element before the window to make room for heavier ones after it: it gains at
/// most the room at the next element's rate, less the difference of the two rates on the lightest
/// element before the window. Exact; false where either side has no element.
inline bool exchange_bound_reaches(std::int64_t value, std::int64_t room, std::int64_t beat,
                                   const neighbours& beside) {
  if (!beside.lightest_before || !beside.lightest_after) return false;
  const element& next = beside.next;
  const element& previous = beside.previous;
  return wide{room} * next.value * previous.weight -
             wide{gain_over(previous, next)} * *beside.lightest_before >=
         wide{beat - value} * previous.weight * next.weight;
}

// ---- By kinds

/// Where every element of `sorted` is worth `unit` times its weight plus one of two amounts,
/// neither negative: the capacity's worth plus the most the amounts add over every count of the
/// kind with the larger amount, beside as many of the other kind as fit. No selection within
/// `capacity` is worth more. Nothing where the values are not so, or where one amount alone is
/// (the Lagrangian bound at rates `unit` and that amount is then as good).
std::optional<std::int64_t> bound_by_kinds(std::span<const element> sorted, std::int64_t capacity,
                                           std::int64_t unit);

// ---- By coarse rows

/// Upper bounds on what the elements of `order` from some place on may add within a room:
/// best-value rows over the capacity in coarse units of a power of two, each element's weight
/// rounded down to whole units, so that every selection that fits fits there too. One row is kept
/// for every `stride` places from `first` on; the row of the last kept place at or before a place
/// holds elements before it as well, which only loosens the bound. A cell that reached
/// UINT32_MAX bounds nothing.
class coarse_bounds {
 public:
  /// Rows for the places from `first` on, at most `rows` of them, of at most `columns` columns.
  coarse_bounds(std::span<const element> order, std::size_t first, std::int64_t capacity,
                std::size_t rows, std::size_t columns);

  /// The row that bounds the elements from place `from` on, `from` no less than the first.
  const cell* row(std::size_t from) const { return rows_.data() + slot(from) * columns_; }

  /// A bound on the value those elements add within `room`, from their row; nothing where the
  /// cell saturated.
  std::optional<std::int64_t> at(const cell* row, std::int64_t room) const {
    const cell c = row[static_cast<std::size_t>(room >> shift_)];
    if (c == saturated) return std::nullopt;
    return c;
  }

  /// A weight in the rows' units, rounded down.
  std::int64_t coarse(std::int64_t weight) const { return weight >> shift_; }

 private:
  std::size_t slot(std::size_t from) const { return (from - first_) / stride_; }

  std::size_t first_;
  int shift_;
  std::size_t columns_;
  std::size_t stride_;
  std::vector<cell> rows_;
};
