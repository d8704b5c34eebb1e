#pragma once

// Every bound of the bounds module against every subset of a small instance: each must enclose
// the best value of the selections it speaks of, and where a bound is tested in floating point
// first, that test must agree with the exact one wherever it decides. Shared by the unit test and
// the fuzz target of the bounds.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <numeric>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bounds.hpp"
#include "core.hpp"
#include "elements.hpp"
#include "oracle.hpp"

// The elements of `i` worth taking that weigh something, by value per weight; alike ones, where
// `pieces`, as pieces of 1, 2, 4, ... of them.
inline std::vector<element> open_by_rate(const test_instance& i, bool pieces) {
  std::vector<element> open;
  for (const auto& [weight, value] : worth_taking(i)) open.push_back({weight, value});
  if (pieces) {
    std::ranges::sort(open, {}, [](const element& e) { return std::pair(e.weight, e.value); });
    std::vector<element> merged;
    for (std::size_t first = 0; first < open.size();) {
      std::size_t last = first;
      while (last < open.size() && open[last].weight == open[first].weight &&
             open[last].value == open[first].value) {
        ++last;
      }
      add_pieces(merged, open[first], static_cast<std::int64_t>(last - first), i.capacity);
      first = last;
    }
    open = std::move(merged);
  }
  std::ranges::stable_sort(open, more_efficient);
  return open;
}

// Selections of up to this many elements are tried one by one.
inline constexpr std::size_t bounds_check_most = 12;

/// Calls `fail` with a description of each bound that does not hold for `by_rate` (elements by
/// value per weight, best first, each no heavier than `capacity`, at most bounds_check_most of
/// them) with `lower` a value some selection reaches; `capacity` is at least 0.
class bounds_check {
 public:
  bounds_check(std::vector<element> by_rate, std::int64_t capacity, std::int64_t lower,
               std::function<void(const std::string&)> fail)
      : e_(std::move(by_rate)), c_(capacity), lower_(lower), fail_(std::move(fail)) {
    const std::size_t subsets = std::size_t{1} << e_.size();
    all_.resize(subsets);
    for (std::size_t mask = 1; mask < subsets; ++mask) {
      const std::size_t k = static_cast<std::size_t>(__builtin_ctzll(mask));
      const selection& rest = all_[mask & (mask - 1)];
      all_[mask] = {rest.weight + e_[k].weight, rest.value + e_[k].value, rest.count + e_[k].count};
    }
    for (const selection& s : all_) {
      if (s.weight <= c_) best_ = std::max(best_, s.value);
    }
  }

  std::int64_t best() const { return best_; }

  void run() {
    linear();
    counts_and_lagrangian();
    heavier_counts();
    cursor();
    windows();
    coarse();
  }

 private:
  struct selection {
    std::int64_t weight = 0;
    std::int64_t value = 0;
    std::int64_t count = 0;
  };

  bool has(std::size_t mask, std::size_t k) const { return ((mask >> k) & 1) != 0; }

  // The best value of the selections within the capacity that `keep` admits.
  template <typename predicate>
  std::int64_t best_where(predicate keep) const {
    std::int64_t best = INT64_MIN;
    for (std::size_t mask = 0; mask < all_.size(); ++mask) {
      if (all_[mask].weight <= c_ && keep(mask)) best = std::max(best, all_[mask].value);
    }
    return best;
  }

  void linear() {
    const greedy g = greedy_at(e_, c_);
    const std::optional<linear_relaxation> relaxed = linear_of(e_, c_, g);
    if (!relaxed) {
      if (g.value != best_) fail_("every element fits, but the greedy selection is not the best");
      return;
    }
    if (relaxed->bound() < best_) fail_("the linear bound below the best value");
    for (std::size_t k = 0; k < e_.size(); ++k) {
      if (!relaxed->decides({e_[k].weight, e_[k].value}, lower_)) continue;
      const bool taken = k < g.split;
      if (best_where([&](std::size_t mask) { return has(mask, k) != taken; }) > lower_) {
        fail_("the linear relaxation decides an element whose other choice beats the lower bound");
      }
    }
  }

  void counts_and_lagrangian() {
    counts_ = count_range_of(e_, c_, lower_);
    for (const selection& s : all_) {
      if (s.weight <= c_ && s.value > lower_ &&
          (s.count < counts_->least || s.count > counts_->most)) {
        fail_("a better selection outside the range of counts");
        return;
      }
    }
    const count_range narrowed = narrowed_counts(e_, c_, lower_, 1, *counts_);
    std::int64_t within = INT64_MIN;  // the best value of a selection within the narrowed counts
    for (const selection& s : all_) {
      if (s.weight > c_) continue;
      if (s.value > lower_ && (s.count < narrowed.least || s.count > narrowed.most)) {
        fail_("a better selection outside the narrowed counts");
        return;
      }
      if (s.count >= narrowed.least && s.count <= narrowed.most) within = std::max(within, s.value);
    }
    if (within > lower_ && bound_within(e_, c_, narrowed, 1) < within) {
      fail_("the bound within the narrowed counts below a selection within them");
    }
    lagrangian_ = least_lagrangian(e_, c_, *counts_);
    if (!lagrangian_) return;
    if (best_ > lower_ && unscaled(lagrangian_->bound) < best_) {
      fail_("the Lagrangian bound below the best value");
    }
    for (std::size_t k = 0; k < e_.size(); ++k) {
      if (!decides(*lagrangian_, e_[k], lower_, 1)) continue;
      const bool taken = lagrangian_->at.term(e_[k]) > 0;
      if (best_where([&](std::size_t mask) { return has(mask, k) != taken; }) > lower_) {
        fail_("the Lagrangian bound decides an element whose other choice beats the lower bound");
      }
    }
  }

  // The same by the count of the elements at least as heavy each as each element in turn: the
  // range, the narrowing, and the bound over the range and over each count of it, each of which
  // may decide an element only where no better selection within its counts goes against it.
  void heavier_counts() {
    for (const element& at : e_) {
      const std::int64_t from = weight_each(at);
      const rates counting{.counted_from = from};
      std::vector<std::int64_t> counted(all_.size(), 0);
      for (std::size_t mask = 1; mask < all_.size(); ++mask) {
        const auto k = static_cast<std::size_t>(__builtin_ctzll(mask));
        counted[mask] = counted[mask & (mask - 1)] + counting.counted(e_[k]);
      }
      const count_range counts = count_range_of(e_, c_, lower_, from);
      const count_range narrowed = narrowed_counts(e_, c_, lower_, 1, counts);
      for (std::size_t mask = 0; mask < all_.size(); ++mask) {
        if (all_[mask].weight > c_ || all_[mask].value <= lower_) continue;
        if (counted[mask] < counts.least || counted[mask] > counts.most) {
          fail_("a better selection outside the range of the heavier elements' counts");
          return;
        }
        if (counted[mask] < narrowed.least || counted[mask] > narrowed.most) {
          fail_("a better selection outside the narrowed counts of the heavier elements");
          return;
        }
      }
      if (narrowed.least > narrowed.most) continue;
      heavier_bound(narrowed, counted);
      if (narrowed.most - narrowed.least > 2) continue;
      for (std::int64_t k = narrowed.least; k <= narrowed.most; ++k) {
        heavier_bound({k, k, from}, counted);
      }
    }
  }

  void heavier_bound(count_range within, const std::vector<std::int64_t>& counted) {
    const auto in_range = [&](std::size_t mask) {
      return counted[mask] >= within.least && counted[mask] <= within.most;
    };
    const std::optional<lagrangian> l = least_lagrangian(e_, c_, within);
    if (!l) return;
    if (unscaled(l->bound) < best_where(in_range)) {
      fail_("the bound by the heavier elements' count below a selection within it");
    }
    for (const bool fewer : {true, false}) {
      const std::optional<wide> beyond =
          within.least == within.most ? bound_beyond(*l, fewer) : std::nullopt;
      if (!beyond) continue;
      const std::int64_t best_beyond = best_where([&](std::size_t mask) {
        return fewer ? counted[mask] < within.least : counted[mask] > within.most;
      });
      if (best_beyond > INT64_MIN && unscaled(*beyond) < best_beyond) {
        fail_("the bound by the heavier elements' count for the counts beyond below a selection");
      }
    }
    for (std::size_t k = 0; k < e_.size(); ++k) {
      if (!decides(*l, e_[k], lower_, 1)) continue;
      const bool taken = l->at.term(e_[k]) > 0;
      if (best_where([&](std::size_t mask) { return in_range(mask) && has(mask, k) != taken; }) >
          lower_) {
        fail_(
            "the bound by the heavier elements' count decides an element against a better "
            "selection");
      }
    }
  }

  // The relaxation of the elements but every third, at every room downwards, against what those
  // elements reach within it and against the same test in exact arithmetic.
  void cursor() {
    std::vector<bool> left_out(e_.size());
    for (std::size_t k = 0; k < e_.size(); k += 3) left_out[k] = true;
    const relaxation_sums sums(e_, left_out);
    std::size_t kept_mask = 0;
    for (std::size_t k = 0; k < e_.size(); ++k) kept_mask |= left_out[k] ? 0 : std::size_t{1} << k;
    relaxation_cursor relaxed(sums);
    for (std::int64_t room = c_; room >= 0; room -= std::max<std::int64_t>(1, c_ / 16)) {
      std::int64_t reached = 0;
      for (std::size_t mask = 0; mask < all_.size(); ++mask) {
        if ((mask & ~kept_mask) == 0 && all_[mask].weight <= room) {
          reached = std::max(reached, all_[mask].value);
        }
      }
      // What a step of value 5 must reach, and a hair more.
      for (const std::int64_t target : {5 + reached, 6 + reached}) {
        const bool reaches = relaxed.reaches(5, room, target).reaches;
        if (target == 5 + reached && !reaches)
          fail_("the relaxation at a room below what it holds");
        if (reaches != exact_relaxation_reaches(sums, 5, room, target)) {
          fail_("the relaxation in floating point and exactly disagree");
        }
      }
    }
  }

  static bool exact_relaxation_reaches(const relaxation_sums& sums, std::int64_t value,
                                       std::int64_t room, std::int64_t target) {
    std::size_t whole = 0;
    while (whole < sums.order.size() && sums.weight_before[whole + 1] <= room) ++whole;
    const wide gap = wide{value} + sums.value_before[whole] - target;
    if (whole == sums.order.size()) return gap >= 0;
    const element& part = sums.order[whole];
    return gap * part.weight + wide{room - sums.weight_before[whole]} * part.value >= 0;
  }

  // Every window [first, last) of the elements and every step in it: the elements before the
  // window taken, those in it as the step says. A step's bounds must reach the best completion,
  // which flips any elements outside the window.
  void windows() {
    const std::size_t n = e_.size();
    for (std::size_t first = 0; first <= n; ++first) {
      for (std::size_t last = first; last <= n; ++last) window(first, last);
    }
  }

  void window(std::size_t first, std::size_t last) {
    const std::size_t n = e_.size();
    constexpr element none{1, 0};
    neighbours beside{.next = last < n ? e_[last] : none,
                      .previous = first > 0 ? e_[first - 1] : none};
    std::size_t before_mask = 0;
    for (std::size_t k = 0; k < first; ++k) {
      beside.removable += e_[k].weight;
      beside.lightest_before = std::min(beside.lightest_before.value_or(INT64_MAX), e_[k].weight);
      before_mask |= std::size_t{1} << k;
    }
    for (std::size_t k = last; k < n; ++k) {
      beside.lightest_after = std::min(beside.lightest_after.value_or(INT64_MAX), e_[k].weight);
    }
    std::size_t window_mask = 0;
    for (std::size_t k = first; k < last; ++k) window_mask |= std::size_t{1} << k;
    // The best completion of each step, and the best but the step itself: the lists count every
    // step within the capacity as found before they bound it.
    struct completions {
      std::int64_t best = INT64_MIN;
      std::size_t best_mask = 0;
      std::int64_t second = INT64_MIN;
    };
    std::vector<completions> completed(all_.size());
    for (std::size_t mask = 0; mask < all_.size(); ++mask) {
      if (all_[mask].weight > c_) continue;
      completions& at = completed[mask & window_mask];
      if (all_[mask].value > at.best) {
        at.second = at.best;
        at.best = all_[mask].value;
        at.best_mask = mask;
      } else {
        at.second = std::max(at.second, all_[mask].value);
      }
    }
    fitting_after fit(e_, last, c_);
    fit.prepare();
    wide outside = 0;
    if (count_rates()) {
      for (std::size_t k = 0; k < n; ++k) {
        const wide term = count_rates()->term(e_[k]);
        if (k >= last) outside += std::max(wide{0}, term);
        if (k < first) outside += std::max(wide{0}, -term);
      }
    }
    for (std::size_t in = window_mask;; in = (in - 1) & window_mask) {
      const selection& s = all_[in | before_mask];
      const completions& at = completed[in];
      const std::int64_t other = at.best_mask == (in | before_mask) ? at.second : at.best;
      if (at.best != INT64_MIN) step(s, at.best, other, beside, fit, outside);
      if (in == 0) break;
    }
  }

  // Step s, whose best completion is worth `beat` and whose best but itself `other`.
  void step(const selection& s, std::int64_t beat, std::int64_t other, const neighbours& beside,
            const fitting_after& fit, wide outside) {
    const entry at{s.weight, s.value};
    const std::int64_t changed = s.weight <= c_ ? other : beat;
    if (changed > s.value && !neighbour_bound_reaches(at, c_, changed, beside)) {
      fail_("a step's bound by its neighbours below its best completion");
    }
    const verdict quick = quick_neighbour_test(beside)(at, c_, beat + 1);
    const bool exact_above = neighbour_bound_reaches(at, c_, beat + 1, beside);
    if ((quick == verdict::holds && !exact_above) || (quick == verdict::fails && exact_above)) {
      fail_("a step's bound by its neighbours in floating point and exactly disagree");
    }
    const std::int64_t room = c_ - s.weight;
    if (room > 0 && !fit.reaches(s.value, room, beat) &&
        !exchange_bound_reaches(s.value, room, beat, beside)) {
      fail_("a step's bound by the elements that fit below its best completion");
    }
    if (count_rates() && beat > lower_) {
      const rates& r = *count_rates();
      if (!count_bound_reaches(r, s.value, room, s.count, beat, outside)) {
        fail_("a step's bound by count below its best completion");
      }
      const verdict by_count = quick_count_test(r, outside)(s.value, room, s.count, beat + 1);
      const bool count_above = count_bound_reaches(r, s.value, room, s.count, beat + 1, outside);
      if ((by_count == verdict::holds && !count_above) ||
          (by_count == verdict::fails && count_above)) {
        fail_("a step's bound by count in floating point and exactly disagree");
      }
    }
  }

  // The rates of the bound by count, with the count it bounds from its side.
  const std::optional<rates>& count_rates() {
    if (!rates_made_) {
      rates_made_ = true;
      if (lagrangian_ && lagrangian_->at.lambda != 0) {
        rates_of_count_ = lagrangian_->at;
        rates_of_count_->count = lagrangian_->at.lambda > 0 ? counts_->most : counts_->least;
      }
    }
    return rates_of_count_;
  }

  // Coarse rows over the elements in their order, at most 8 columns, from each place on, at
  // rooms across the capacity, against what those elements reach there.
  void coarse() {
    const std::size_t n = e_.size();
    if (n == 0) return;
    constexpr std::size_t rooms = 17;
    const auto room_at = [&](std::size_t i) { return c_ * static_cast<std::int64_t>(i) / 16; };
    // reached[from][i]: the best value of the elements from `from` on within room_at(i).
    std::vector<std::array<std::int64_t, rooms>> reached(n + 1);
    for (auto& at : reached) at.fill(0);
    for (std::size_t mask = 1; mask < all_.size(); ++mask) {
      auto& at = reached[static_cast<std::size_t>(__builtin_ctzll(mask))];
      for (std::size_t i = 0; i < rooms; ++i) {
        if (all_[mask].weight <= room_at(i)) at[i] = std::max(at[i], all_[mask].value);
      }
    }
    for (std::size_t from = n; from-- > 0;) {
      for (std::size_t i = 0; i < rooms; ++i) {
        reached[from][i] = std::max(reached[from][i], reached[from + 1][i]);
      }
    }
    for (std::size_t first = 0; first < n; ++first) {
      const coarse_bounds rows(e_, first, c_, 4, 8);
      for (std::size_t from = first; from < n; ++from) {
        for (std::size_t i = 0; i < rooms; ++i) {
          const std::optional<std::int64_t> bound = rows.at(rows.row(from), room_at(i));
          if (bound && *bound < reached[from][i]) {
            fail_("a coarse row below what the elements after it reach");
          }
        }
      }
    }
  }

  std::vector<element> e_;
  std::int64_t c_;
  std::int64_t lower_;
  std::function<void(const std::string&)> fail_;
  std::vector<selection> all_;
  std::int64_t best_ = 0;
  std::optional<count_range> counts_;
  std::optional<lagrangian> lagrangian_;
  bool rates_made_ = false;
  std::optional<rates> rates_of_count_;
};
