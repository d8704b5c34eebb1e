#include "core.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "bounds.hpp"

// The greedy selection takes the elements by value per weight, best first, until one, the break
// element, no longer fits. Its rate r is found by selection rather than by sorting. A sample of
// the elements, sorted, tells about where the break lies; two of its rates that bracket that place
// split the elements, in one pass, into those better than both, those between and those worse
// than both, and the break nearly always lies among the few between. Where it does not, or once
// few are left, a pivot drawn at random splits them into the better, the equal and the worse
// until the break lies among the equal, whose rate is r.
//
// The linear relaxation then bounds the answer: the elements better than r, and the room left at
// rate r. Forcing an element against the greedy choice lowers that bound by |v - r w| at least,
// since its weight is freed, or taken, at rate r; where what is left cannot beat a selection
// already found, the element is decided, in one more pass. That selection is the greedy one
// filled up with the elements of rate r that still fit and then with the worse elements nearest
// the break, a few thousand of them sorted. The elements left undecided, the core, are few
// wherever rates are spread; where many share the break's rate they stay, for reduce() to merge,
// or, past a count, as pieces of alike elements, each standing for its elements in every bound
// by count that follows.
//
// All of it works in place on the instance's own lists, which it reorders: nothing is held per
// element beyond them but the core.

namespace {

// The instance's two lists, reordered in step.
struct lists {
  int* weights;
  int* values;

  entry at(std::size_t k) const { return {weights[k], values[k]}; }
  void swap(std::size_t a, std::size_t b) const {
    std::swap(weights[a], weights[b]);
    std::swap(values[a], values[b]);
  }
};

// The total weight and value of [first, last).
entry sum(const lists& l, std::size_t first, std::size_t last) {
  entry sum{};
  for (std::size_t k = first; k < last; ++k) {
    sum.weight += l.weights[k];
    sum.value += l.values[k];
  }
  return sum;
}

// Splits [first, last) into those better than `high`, those from `high` down to `low`, and those
// worse than `low` (`high` no worse than `low`); returns the ends of the first two.
std::pair<std::size_t, std::size_t> split(const lists& l, std::size_t first, std::size_t last,
                                          entry high, entry low) {
  std::size_t better_end = first;
  std::size_t at = first;
  std::size_t worse_start = last;
  while (at < worse_start) {
    const entry e = l.at(at);
    if (more_efficient(e, high)) {
      l.swap(better_end++, at++);
    } else if (more_efficient(low, e)) {
      l.swap(at, --worse_start);
    } else {
      ++at;
    }
  }
  return {better_end, worse_start};
}

// Where the break lies once the elements are split: [0, better) are better than its rate, and
// [better, equal) of it.
struct break_place {
  std::size_t better;
  std::size_t equal;
};

constexpr std::size_t sample_size = 1024;
constexpr std::size_t sample_margin = 64;  // places on either side of the estimated break
constexpr std::size_t few = 4 * sample_size;

// A random generator, seeded alike each run, so that a run repeats exactly.
struct draws {
  std::uint64_t seed = 0x9e3779b97f4a7c15;
  std::size_t below(std::size_t bound) {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return static_cast<std::size_t>(seed % bound);
  }
};

// Two rates from a sample of [low, high) that bracket the place where the elements' weights,
// best first, pass `room`.
std::pair<entry, entry> bracket(const lists& l, std::size_t low, std::size_t high,
                                std::int64_t room, draws& random) {
  std::array<entry, sample_size> sample{};
  for (entry& e : sample) e = l.at(low + random.below(high - low));
  std::ranges::sort(sample, more_efficient);
  const double scale = static_cast<double>(high - low) / static_cast<double>(sample_size);
  double weight = 0;
  std::size_t place = 0;
  while (place < sample_size &&
         weight + static_cast<double>(sample[place].weight) * scale <= static_cast<double>(room)) {
    weight += static_cast<double>(sample[place++].weight) * scale;
  }
  return {sample[place > sample_margin ? place - sample_margin : 0],
          sample[std::min(place + sample_margin, sample_size - 1)]};
}

// Where the break lies; nothing where every element fits.
std::optional<break_place> find_break(const lists& l, std::size_t count, std::int64_t capacity) {
  draws random;
  std::size_t low = 0;
  std::size_t high = count;
  std::int64_t room = capacity;
  while (low < high) {
    entry upper{};
    entry lower{};
    if (high - low > few) {
      std::tie(upper, lower) = bracket(l, low, high, room, random);
    } else {
      upper = lower = l.at(low + random.below(high - low));
    }
    const auto [better_end, worse_start] = split(l, low, high, upper, lower);
    const std::int64_t better_weight = sum(l, low, better_end).weight;
    const std::int64_t between_weight = sum(l, better_end, worse_start).weight;
    if (better_weight > room) {
      high = better_end;
    } else if (better_weight + between_weight <= room) {
      room -= better_weight + between_weight;
      low = worse_start;
    } else if (!more_efficient(upper, lower)) {
      return break_place{better_end, worse_start};  // all between are of one rate: the break's
    } else {
      room -= better_weight;
      low = better_end;
      high = worse_start;
    }
  }
  return std::nullopt;
}

// Worse elements sorted to fill the greedy selection up: enough to fill what room the break
// leaves, a few times over.
constexpr std::size_t filling_elements = 4096;

// Counts of elements alike in weight and value, kept in a table open to every weight and value:
// where many share the break's rate, as where values and weights are small, a core of millions
// holds a few thousand kinds.
class kinds {
 public:
  /// Counts one more of `e`; false, counting nothing, once there are more kinds than `most`.
  bool add(entry e, std::size_t most) {
    if (2 * (used_ + 1) > slots_.size()) {
      if (used_ + 1 > most) return false;
      grow();
    }
    slot& at = find(e);
    if (at.count == 0) {
      at.kind = e;
      ++used_;
    }
    ++at.count;
    return true;
  }

  template <typename visit>
  void each(visit v) const {
    for (const slot& at : slots_) {
      if (at.count != 0) v(at.kind, at.count);
    }
  }

 private:
  struct slot {
    entry kind{};
    std::int64_t count = 0;
  };

  slot& find(entry e) {
    const std::uint64_t key =
        static_cast<std::uint64_t>(e.weight) << 32 ^ static_cast<std::uint64_t>(e.value);
    // The product's top bits, which every bit of the key moves.
    std::size_t at = static_cast<std::size_t>((key * 0x9e3779b97f4a7c15) >> shift_);
    while (slots_[at].count != 0 &&
           (slots_[at].kind.weight != e.weight || slots_[at].kind.value != e.value)) {
      at = (at + 1) & (slots_.size() - 1);
    }
    return slots_[at];
  }

  void grow() {
    std::vector<slot> old(std::max<std::size_t>(1024, 2 * slots_.size()));
    std::swap(old, slots_);
    shift_ = 64 - std::countr_zero(slots_.size());
    for (const slot& at : old) {
      if (at.count != 0) find(at.kind) = at;
    }
  }

  std::vector<slot> slots_;
  std::size_t used_ = 0;
  int shift_ = 64;
};

// The `wanted` best elements of [first, last), sorted, best first.
std::vector<entry> best_of(const lists& l, std::size_t first, std::size_t last,
                           std::size_t wanted) {
  std::vector<entry> chosen;
  chosen.reserve(std::min(last - first, 2 * wanted));
  for (std::size_t k = first; k < last; ++k) {
    chosen.push_back(l.at(k));
    // Kept down to the best `wanted` whenever twice as many have gathered: linear in all.
    if (chosen.size() == 2 * wanted) {
      std::ranges::nth_element(chosen, chosen.begin() + static_cast<std::ptrdiff_t>(wanted),
                               more_efficient);
      chosen.resize(wanted);
    }
  }
  std::ranges::sort(chosen, more_efficient);
  if (chosen.size() > wanted) chosen.resize(wanted);
  return chosen;
}

}  // namespace

void add_pieces(std::vector<element>& to, const element& e, std::int64_t count,
                std::int64_t capacity) {
  const std::int64_t largest = std::min(capacity / e.weight, INT_MAX / e.value);
  std::int64_t left = std::min(count, capacity / e.weight);
  for (std::int64_t piece = 1; left > 0; piece = 2 * piece <= largest ? 2 * piece : piece) {
    const std::int64_t take = std::min(piece, left);
    to.push_back({take * e.weight, take * e.value, take * e.count});
    left -= take;
  }
}

core core_of(std::span<int> values, std::span<int> weights, int capacity, std::size_t kinds_from) {
  core made;
  made.capacity = capacity;
  const lists l{weights.data(), values.data()};
  // The elements worth taking first, in place.
  std::size_t count = 0;
  for (std::size_t k = 0; k < weights.size(); ++k) {
    if (!worth_taking(values[k], weights[k], capacity)) continue;
    if (weights[k] == 0) {
      made.fixed += values[k];
    } else {
      l.swap(count++, k);
    }
  }
  const std::optional<break_place> at = find_break(l, count, capacity);
  if (!at) {  // every element fits
    const entry taken = sum(l, 0, count);
    made.fixed += taken.value;
    made.capacity -= taken.weight;
    made.lower = made.upper = made.fixed;
    return made;
  }
  const entry taken = sum(l, 0, at->better);
  const linear_relaxation relaxed(taken, capacity, l.at(at->better));
  // The greedy selection, filled up.
  std::int64_t room = capacity - taken.weight;
  std::int64_t found = taken.value;
  const auto fill = [&](entry e) {
    if (e.weight > room) return;
    room -= e.weight;
    found += e.value;
  };
  for (std::size_t k = at->better; k < at->equal; ++k) fill(l.at(k));
  for (const entry e : best_of(l, at->equal, count, filling_elements)) fill(e);
  made.lower = made.fixed + found;
  made.upper = made.fixed + relaxed.bound();
  if (made.lower >= made.upper) {
    made.upper = made.lower;
    return made;
  }
  // An element whose other choice leaves the relaxation no more than `found` is decided.
  const auto open = [&](entry e) { return !relaxed.decides(e, found); };
  std::size_t kept = 0;
  for (std::size_t k = 0; k < count; ++k) kept += open(l.at(k)) ? 1U : 0U;
  kinds alike;
  bool counted = kept > kinds_from;
  if (!counted) made.open.reserve(kept);
  for (std::size_t k = 0; k < count; ++k) {
    const entry e = l.at(k);
    if (!open(e)) {
      if (relaxed.better(e)) {
        made.fixed += e.value;
        made.capacity -= e.weight;
      }
    } else if (!counted || !alike.add(e, kept / 8)) {
      if (counted) {  // too many kinds to be worth it: the elements as they are
        counted = false;
        for (std::size_t before = 0; before < k; ++before) {
          if (open(l.at(before))) made.open.push_back({l.at(before).weight, l.at(before).value});
        }
      }
      made.open.push_back({e.weight, e.value});
    }
  }
  if (counted) {
    alike.each([&](entry e, std::int64_t k) {
      add_pieces(made.open, {e.weight, e.value}, k, made.capacity);
    });
  }
  return made;
}
