#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// What the three kinds of list share (steps.cpp, heavy.cpp, halves.cpp): selections held as
// (weight, value) entries sorted by weight and ended by a sentinel, grown one element at a time by
// merging the list with itself shifted by that element, and kept short by dropping every entry that
// another dominates: one no heavier and worth at least as much.

/// A selection as a list holds it.
struct entry {
  std::int64_t weight;
  std::int64_t value;
};

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

/// A bound tested in floating point: 1 where `slack`, the bound less what it must reach, is
/// surely at least 0, -1 where it surely is not, 0 where rounding leaves it open. The slack was
/// summed from terms of total size `size`, and floating point errs by far less than 2^-50 of
/// that (and a unit).
inline int surely(double slack, double size) {
  const double error = size * 0x1p-50 + 1;
  return slack > error ? 1 : slack < -error ? -1 : 0;
}
