#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "elements.hpp"
#include "method.hpp"

// What the three kinds of list share (steps.cpp, heavy.cpp, halves.cpp): selections held as
// (weight, value) entries sorted by weight and ended by a sentinel, grown one element at a time by
// merging the list with itself shifted by that element, and kept short by dropping every entry that
// another dominates: one no heavier and worth at least as much. The lists that may give up share
// their budget, and the lists that look for good selections early complete some of their steps.

/// Ends every list, heavier than any entry, so that a merge needs no test for the end.
template <typename entry_type>
constexpr entry_type sentinel() {
  entry_type last{};
  last.weight = INT64_MAX;
  return last;
}

/// A list of entries by weight, with room for the sentinel after them.
template <typename entry_type>
struct list {
  std::unique_ptr<entry_type[]> entries;
  std::size_t size = 0;
  std::size_t room = 0;  ///< entries it can hold, besides the sentinel

  /// Room for `wanted` entries; what it held is lost where it grows.
  void reserve(std::size_t wanted) {
    if (wanted <= room) return;
    entries = std::make_unique_for_overwrite<entry_type[]>(wanted + 1);
    room = wanted;
  }

  /// A list of the one entry `first`.
  static list of(const entry_type& first) {
    list made;
    made.reserve(1);
    made.entries[0] = first;
    made.entries[1] = sentinel<entry_type>();
    made.size = 1;
    return made;
  }

  const entry_type* begin() const { return entries.get(); }
  const entry_type* end() const { return entries.get() + size; }
};

/// Keeps, of the entries offered to it in order of weight, those that no entry offered before
/// dominates, writing them from `out` on. An entry worth more than all before it is admitted, and
/// replaces a kept one of the same weight, which it dominates; the caller may still drop it.
template <typename entry_type>
class undominated {
 public:
  explicit undominated(entry_type* out) : out_(out) {}

  /// Whether `e` is worth more than every entry offered before it.
  [[gnu::always_inline]] bool admits(const entry_type& e) {
    if (e.value <= top_) return false;
    top_ = e.value;
    if (size_ > 0 && out_[size_ - 1].weight == e.weight) --size_;
    return true;
  }

  [[gnu::always_inline]] void keep(const entry_type& e) { out_[size_++] = e; }

  /// Ends the list with the sentinel and returns its length.
  std::size_t close() {
    out_[size_] = sentinel<entry_type>();
    return size_;
  }

 private:
  entry_type* out_;
  std::size_t size_ = 0;
  std::int64_t top_ = INT64_MIN;  // the greatest value offered so far
};

/// Offers, in order of weight, each entry of the list [first, end), which the sentinel follows,
/// and each of them changed by `shift`: the merge by which a list takes in an element. Which of
/// the two gives the next entry cannot be predicted, so it is chosen without a branch.
template <typename entry_type, typename shift_by, typename offer_to>
void merge_shifted(const entry_type* first, const entry_type* end, shift_by shift, offer_to offer) {
  const entry_type* kept = first;
  const entry_type* moved = first;
  while (moved != end) {
    const entry_type shifted = shift(*moved);
    const bool keep_first = kept->weight <= shifted.weight;  // the sentinel never is
    offer(keep_first ? *kept : shifted);
    kept += keep_first ? 1 : 0;
    moved += keep_first ? 0 : 1;
  }
  for (; kept != end; ++kept) offer(*kept);
}

/// What lists may still take of their limits: steps held at once and steps written, and
/// whether to go on.
class budget {
 public:
  explicit budget(const method_params& limits) : limits_(limits) {}

  /// Whether the lists may go on, asked before each merge.
  bool keep_going() const { return !limits_.keep_going || limits_.keep_going(work_); }

  /// Charges `work` steps written where that stays within the limit; false, charging nothing,
  /// where it would not.
  bool spend(std::uint64_t work) {
    if (limits_.max_work && work > *limits_.max_work - std::min(*limits_.max_work, work_)) {
      return false;
    }
    work_ += work;
    return true;
  }

  /// Holds `steps` more where that stays within the limit; false, holding nothing, where it
  /// would not.
  bool hold(std::size_t steps) {
    if (steps > limits_.max_steps - std::min(limits_.max_steps, held_)) return false;
    held_ += steps;
    peak_ = std::max(peak_, held_);
    return true;
  }

  /// Lets go of `steps` held.
  void release(std::size_t steps) { held_ -= std::min(held_, steps); }

  /// Gives `l` room for `wanted` entries (what it held is lost where it grows) where the steps it
  /// grows by may be held.
  template <typename entry_type>
  bool reserve(list<entry_type>& l, std::size_t wanted) {
    const std::size_t growth = wanted > l.room ? wanted - l.room : 0;
    if (!hold(growth)) return false;
    l.reserve(wanted);
    return true;
  }

  std::uint64_t work() const { return work_; }
  std::size_t peak() const { return peak_; }  ///< steps held at most

 private:
  const method_params& limits_;
  std::uint64_t work_ = 0;
  std::size_t held_ = 0;
  std::size_t peak_ = 0;
};

/// Steps the lists that look for good selections early complete after a merge.
inline constexpr std::size_t completions = 8;

/// The value of step `s` completed greedily within `capacity`: the elements of `by_rate` but
/// those `passed_over` names added in order wherever they still fit.
template <typename predicate>
std::int64_t completed(const entry& s, std::span<const element> by_rate, std::int64_t capacity,
                       predicate passed_over) {
  return s.value + greedy_fill(by_rate, capacity - s.weight, passed_over);
}

/// The best value of `completions` steps of `fitting` (sorted by weight, values rising, each
/// within the capacity) spread over them, the most valuable among them, each completed greedily.
template <typename entry_type, typename predicate>
std::int64_t best_completed(std::span<const entry_type> fitting, std::span<const element> by_rate,
                            std::int64_t capacity, predicate passed_over) {
  std::int64_t best = INT64_MIN;
  if (fitting.empty()) return best;
  for (std::size_t q = 1; q <= completions; ++q) {
    const entry_type& s = fitting[(fitting.size() - 1) * q / completions];
    best = std::max(best, completed({s.weight, s.value}, by_rate, capacity, passed_over));
  }
  return best;
}
