#include "halves.hpp"

#include <algorithm>
#include <utility>

#include "lists.hpp"

// The elements are dealt alternately into two halves, so that each holds elements of every value
// per weight. Each half's selections are listed by weight, built one element at a time by merging
// the list with itself shifted by the element; a selection over the capacity, or no better than a
// lighter one, is dropped, so a list never holds more than 2^(elements in its half) selections
// however large the capacity. A best selection is a selection of each half: for each entry of one
// list, ascending, the heaviest entry of the other that still fits is the best partner, and it
// only moves down the other list, so one pass pairs them.

namespace {

// The selections of the elements first, first + 2, first + 4 and so on, by weight.
list<entry> selections_of(const reduced& r, std::size_t first) {
  list<entry> selections = list<entry>::of({0, 0});
  list<entry> merged;
  for (std::size_t k = first; k < r.sorted.size(); k += 2) {
    const element& e = r.sorted[k];
    merged.reserve(2 * selections.size);
    undominated<entry> kept(merged.entries.get());
    merge_shifted(
        selections.begin(), selections.end(),
        [&](entry s) {
          return entry{s.weight + e.weight, s.value + e.value};
        },
        [&](entry s) {
          if (s.weight <= r.capacity && kept.admits(s)) kept.keep(s);
        });
    merged.size = kept.close();
    std::swap(selections, merged);
  }
  return selections;
}

}  // namespace

method_result best_by_halves(const reduced& r, const method_params&) {
  const list<entry> first = selections_of(r, 0);
  const list<entry> second = selections_of(r, 1);
  std::int64_t best = 0;
  const entry* partner = second.end();
  for (const entry& s : first) {
    while (partner != second.begin() && (partner - 1)->weight > r.capacity - s.weight) --partner;
    if (partner == second.begin()) break;
    best = std::max(best, s.value + (partner - 1)->value);
  }
  return {best, best, first.size + second.size, halves_bytes(r.sorted.size())};
}

std::uint64_t halves_selections(std::size_t n) {
  return (std::uint64_t{1} << (n / 2)) + (std::uint64_t{1} << ((n + 1) / 2));
}

std::size_t halves_bytes(std::size_t n) {
  // The first half's list, and the second's while it is merged into a list twice as long.
  return ((std::size_t{1} << (n / 2)) + 3 * (std::size_t{1} << ((n + 1) / 2))) * sizeof(entry);
}
