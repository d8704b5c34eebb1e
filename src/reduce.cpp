#include "reduce.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <functional>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#include "bounds.hpp"
#include "core.hpp"

// Elements are sorted by value per weight, best first. The greedy selection takes them in that
// order until one, the break element, no longer fits; it and whatever else still fits after it
// give a first lower bound. Two upper bounds, both in bounds.hpp: the linear relaxation, and a
// Lagrangian bound over the capacity and the number of elements, which where values grow with the
// weight by a constant (or shrink by one) is far below the linear one, since the best selections
// then hold as many (or as few) elements as they can.
//
// How many elements a better selection holds is known better still once a selection close to the
// best is: where no selection of at most m elements can beat the lower bound, every better one
// holds more. Where the linear relaxation's selection holds about as many elements as fit at all,
// the best selections hold as many as it or one more: a selection made by the terms of the bound
// for exactly that many (the elements of the largest terms, then single exchanges near the
// terms' margin) comes within a few units of the best, where the greedy one stays a large part
// of an element's value off. With it the range of counts is cut at the linear relaxation's count,
// the Lagrangian bound then binds, often with the count pinned, and it decides nearly every
// element. The selection is made first in one pass, at the break element's rate; the linear
// bound decides what that lets it; then at the least bound, searched over what is left.
//
// Where every value is a multiple of d, so is every selection's, and bounds are rounded down to
// one. An element is decided when its other choice cannot beat the lower bound: forced against
// the sign of its term, value - mu * weight - lambda, an element lowers the Lagrangian bound by
// that term's size (or, at the break element's rate, the linear one). Decided elements leave the
// instance, which tightens every bound, so the reduction is repeated while it decides many.
//
// Dividing every weight and the capacity (rounded down) by the weights' greatest common divisor
// changes no selection's value, and a bound that must be met exactly may become reachable: even
// weights at an odd capacity are the plain case.
//
// Where every value is its weight plus one of two amounts (chosen by some property of the
// weight, as a family of the literature is built), a last bound counts: a selection is worth at
// most the capacity plus its elements' amounts, and holds no more of each kind than the lightest
// of that kind that fit beside the others. Its best over the counts of one kind is often the
// best value itself, where the bounds above stay a fraction of one amount off, and the search
// then ends as soon as it finds a selection worth that much.

namespace {

// Elements past which a first pass decides most of them in linear time (core.cpp): below, the
// sort and the bounds here cost less than its passes.
constexpr std::size_t core_from = std::size_t{1} << 16;

// Sorts by value per weight, best first, ties in their given order. A radix sort on the quotient
// rounded to a float, several times faster than a comparison sort here: three passes over keys of
// eight bytes. Rounding keeps order, so only quotients that round alike need the exact comparison.
void sort_by_efficiency(std::vector<element>& elements) {
  struct keyed {
    std::uint32_t key;    // rounded quotient, positive, its bits reversed so that best comes first
    std::uint32_t index;  // fewer than 2^31 elements
  };
  constexpr int digit_bits = 11;
  constexpr std::uint32_t digits = std::uint32_t{1} << digit_bits;
  const std::size_t n = elements.size();
  // Fewer elements than a pass has digits sort quicker by comparison.
  if (n < digits) {
    std::ranges::stable_sort(elements, more_efficient);
    return;
  }
  std::vector<keyed> keys(n);
  std::vector<keyed> spare(n);
  for (std::size_t k = 0; k < n; ++k) {
    const auto quotient = static_cast<float>(static_cast<double>(elements[k].value) /
                                             static_cast<double>(elements[k].weight));
    keys[k] = {~std::bit_cast<std::uint32_t>(quotient), static_cast<std::uint32_t>(k)};
  }
  std::vector<std::size_t> position(digits);
  for (int shift = 0; shift < 32; shift += digit_bits) {
    const auto digit = [shift](const keyed& k) { return (k.key >> shift) & (digits - 1); };
    std::ranges::fill(position, 0);
    for (const keyed& k : keys) ++position[digit(k)];
    if (std::ranges::find(position, n) != position.end()) continue;  // one digit: nothing moves
    std::exclusive_scan(position.begin(), position.end(), position.begin(), std::size_t{0});
    for (const keyed& k : keys) spare[position[digit(k)]++] = k;
    std::swap(keys, spare);
  }
  std::vector<element> sorted(n);
  std::ranges::transform(keys, sorted.begin(), [&](const keyed& k) { return elements[k.index]; });
  // Runs of quotients that round alike, most of them equal and so already in order.
  for (std::size_t first = 0; first < n;) {
    std::size_t last = first + 1;
    while (last < n && keys[last].key == keys[first].key) ++last;
    const auto run = sorted.begin() + static_cast<std::ptrdiff_t>(first);
    const auto run_end = sorted.begin() + static_cast<std::ptrdiff_t>(last);
    if (last - first > 1 && !std::is_sorted(run, run_end, more_efficient)) {
      std::stable_sort(run, run_end, more_efficient);
    }
    first = last;
  }
  elements = std::move(sorted);
}

// Elements alike in weight and value have the same value per weight, so they sit in one run of
// the sorted elements; their pieces take the place of the first of them, and the order is
// otherwise kept.
void merge_alike(std::vector<element>& sorted, std::int64_t capacity) {
  std::vector<std::int64_t> count(sorted.size(), 1);  // of the first alike; 0 for the others
  std::vector<std::size_t> run;
  bool any = false;
  for (std::size_t first = 0; first < sorted.size();) {
    std::size_t last = first + 1;
    while (last < sorted.size() && !more_efficient(sorted[first], sorted[last])) ++last;
    run.resize(last - first);
    std::iota(run.begin(), run.end(), first);
    std::ranges::stable_sort(run, {}, [&](std::size_t k) { return sorted[k].weight; });
    for (std::size_t k = 1, lead = run[0]; k < run.size(); ++k) {
      if (sorted[run[k]].weight != sorted[lead].weight) {
        lead = run[k];
        continue;
      }
      ++count[lead];
      count[run[k]] = 0;
      any = true;
    }
    first = last;
  }
  if (!any) return;
  std::vector<element> merged;
  for (std::size_t k = 0; k < sorted.size(); ++k) {
    if (count[k] == 1) merged.push_back(sorted[k]);
    if (count[k] > 1) add_pieces(merged, sorted[k], count[k], capacity);
  }
  sorted = std::move(merged);
}

template <typename projection>
std::int64_t gcd_of(std::span<const element> sorted, projection of) {
  std::int64_t divisor = 0;
  for (const element& e : sorted) {
    divisor = std::gcd(divisor, of(e));
    if (divisor == 1) break;
  }
  return divisor;
}

// The bounds that decide elements: the Lagrangian where a count binds, else the linear
// relaxation, at the break element's rate; and the Lagrangians by the count of the heavier
// elements, where they are lower: one for each count a better selection may hold of them, which
// decide an element only where all of them decide it alike. Each holds for every selection that
// beats the lower bound, so an element either decides is decided.
struct deciding {
  std::optional<lagrangian> by_count = std::nullopt;
  std::optional<linear_relaxation> linear = std::nullopt;
  std::vector<lagrangian> by_heavier = {};

  // Where the other choice of `e` than a bound's cannot beat `lower`, whether that bound takes e.
  std::optional<bool> choice(const element& e, std::int64_t lower, std::int64_t divisor) const {
    if (const std::optional<bool> taken = heavier_choice(e, lower, divisor)) return taken;
    if (by_count) {
      if (!::decides(*by_count, e, lower, divisor)) return std::nullopt;
      return by_count->at.term(e) > 0;
    }
    if (!linear || !linear->decides({e.weight, e.value}, lower, divisor)) return std::nullopt;
    return linear->better({e.weight, e.value});
  }

  std::optional<bool> heavier_choice(const element& e, std::int64_t lower,
                                     std::int64_t divisor) const {
    std::optional<bool> taken;
    for (const lagrangian& l : by_heavier) {
      if (!::decides(l, e, lower, divisor)) return std::nullopt;
      const bool takes = l.at.term(e) > 0;
      if (taken && *taken != takes) return std::nullopt;
      taken = takes;
    }
    return taken;
  }
};

// Decides every element whose other choice cannot beat the lower bound: those leave r.sorted,
// the values of those taken go to r.fixed. Returns how many it decided.
std::size_t decide_elements(reduced& r, const deciding& bound) {
  const std::int64_t lower = r.lower - r.fixed;  // in terms of the open elements alone
  std::int64_t taken_weight = 0;
  const std::size_t before = r.sorted.size();
  std::erase_if(r.sorted, [&](const element& e) {
    const std::optional<bool> taken = bound.choice(e, lower, r.value_divisor);
    if (!taken) return false;
    if (*taken) {
      taken_weight += e.weight;
      r.fixed += e.value;
    }
    return true;
  });
  r.capacity -= taken_weight;
  const std::size_t count = before - r.sorted.size();
  std::erase_if(r.sorted, [&](const element& e) { return e.weight > r.capacity; });
  return count;
}

// Drops every element that enough others dominate. The elements heavier than c/(m + 1) make a
// class of which no more than m fit together; where m others of the class weigh no more and are
// worth no less than an element of it, a best selection that holds the element leaves out one of
// them, which may take its place. So some best selection holds no element so dominated (that with
// the dominating elements first, say, ties by place), and all of them go at once. Classes of up
// to `most_together` together are checked, from the heaviest elements down: a class of many
// elements of alike weights, where only a few fit, shrinks to those few that no others beat.
// Returns how many it dropped.
std::size_t drop_dominated(reduced& r) {
  constexpr std::int64_t most_together = 16;
  // The places of the elements of the widest class, heavier than c/(most_together + 1), by
  // weight, the more valuable first, ties by place: each element's dominators come before it.
  std::vector<std::size_t> order;
  for (std::size_t k = 0; k < r.sorted.size(); ++k) {
    if (r.sorted[k].weight * (most_together + 1) > r.capacity) order.push_back(k);
  }
  if (order.size() < 2) return 0;
  std::ranges::sort(order, [&](std::size_t a, std::size_t b) {
    const element& x = r.sorted[a];
    const element& y = r.sorted[b];
    return x.weight != y.weight ? x.weight < y.weight
           : x.value != y.value ? x.value > y.value
                                : a < b;
  });
  // Ranks of their values, the most valuable first, for counting those worth no less.
  const std::size_t n = order.size();
  std::vector<std::int64_t> values(n);
  std::ranges::transform(order, values.begin(), [&](std::size_t k) { return r.sorted[k].value; });
  std::ranges::sort(values, std::greater<>());
  std::vector<std::size_t> rank(n);
  for (std::size_t at = 0; at < n; ++at) {
    rank[at] = static_cast<std::size_t>(
        std::ranges::lower_bound(values, r.sorted[order[at]].value, std::greater<>()) -
        values.begin());
  }
  std::vector<bool> dropped(r.sorted.size(), false);
  std::vector<std::size_t> counted(n + 1);  // a Fenwick tree over the ranks
  std::size_t class_start = n;              // in `order`: the class is order[class_start, n)
  for (std::int64_t m = 1; m <= most_together; ++m) {
    while (class_start > 0 && r.sorted[order[class_start - 1]].weight * (m + 1) > r.capacity) {
      --class_start;
    }
    if (n - class_start <= static_cast<std::size_t>(m)) continue;
    std::ranges::fill(counted, 0);
    for (std::size_t at = class_start; at < n; ++at) {
      std::size_t dominators = 0;  // placed before, so no heavier; of rank 0 to rank[at]: no less
      for (std::size_t i = rank[at] + 1; i > 0; i -= i & (~i + 1)) dominators += counted[i];
      if (dominators >= static_cast<std::size_t>(m)) dropped[order[at]] = true;
      for (std::size_t i = rank[at] + 1; i <= n; i += i & (~i + 1)) ++counted[i];
    }
  }
  std::size_t place = 0;
  const std::size_t before = r.sorted.size();
  std::erase_if(r.sorted, [&](const element&) { return dropped[place++]; });
  return before - r.sorted.size();
}

// Elements nearest the margin of a Lagrangian's terms among which a selection by them looks for
// exchanges, and how many rounds of exchanges it makes at most.
constexpr std::size_t exchanged_elements = 256;
constexpr int exchange_rounds = 64;

// The best exchange of an element of `in` for one of `out` (both places in `by_rate`) within
// `room`: what it gains and the two places; nothing gains where the gain is 0.
struct exchange {
  std::int64_t gain = 0;
  std::size_t taken_out = 0;
  std::size_t brought_in = 0;
};

exchange best_exchange(std::span<const element> by_rate, const std::vector<std::size_t>& in,
                       std::vector<std::size_t>& out, std::int64_t room) {
  // By weight, each with the most valuable of those no heavier.
  std::ranges::sort(out, {}, [&](std::size_t k) { return by_rate[k].weight; });
  std::vector<std::size_t> best_upto(out.size());
  for (std::size_t q = 0; q < out.size(); ++q) {
    best_upto[q] = q > 0 && by_rate[best_upto[q - 1]].value >= by_rate[out[q]].value
                       ? best_upto[q - 1]
                       : out[q];
  }
  exchange best;
  for (const std::size_t k : in) {
    const std::int64_t limit = room + by_rate[k].weight;
    const auto fit =
        std::ranges::upper_bound(out, limit, {}, [&](std::size_t q) { return by_rate[q].weight; });
    if (fit == out.begin()) continue;
    const std::size_t brought = best_upto[static_cast<std::size_t>(fit - out.begin()) - 1];
    const std::int64_t gain = by_rate[brought].value - by_rate[k].value;
    if (gain > best.gain) best = {gain, k, brought};
  }
  return best;
}

// The value of a selection made by the terms of Lagrangian rates `at`: the elements of the
// largest terms while they fit, up to the count the rates bound where lambda > 0; then whatever
// else still fits, in order of value per weight; then, while it gains, the best exchange of an
// element taken for one left out among those nearest the terms' margin. Where a count binds, the
// best selections hold about as many elements as the greedy one, differently chosen: this finds
// one close to the best, which the greedy selection does not.
std::int64_t by_terms(const reduced& r, const rates& at) {
  const std::span<const element> by_rate = r.sorted;
  const std::size_t n = by_rate.size();
  // Terms in floating point, with their places: the order need not be exact for a selection
  // that only has to fit.
  std::vector<std::pair<double, std::size_t>> ranked(n);
  for (std::size_t k = 0; k < n; ++k) ranked[k] = {static_cast<double>(at.term(by_rate[k])), k};
  std::vector<bool> taken(n, false);
  std::int64_t room = r.capacity;
  std::int64_t value = 0;
  std::int64_t left = at.lambda > 0 ? at.count : INT64_MAX;  // elements the count still allows
  const auto take = [&](std::size_t k) {
    taken[k] = true;
    room -= by_rate[k].weight;
    value += by_rate[k].value;
  };
  // The longest run of the largest terms that fits in the room and the count, by selection
  // rather than by sorting: split around a pivot; the part above it is taken whole where it
  // fits, and split again where it does not.
  for (auto first = ranked.begin(), last = ranked.end(); first != last;) {
    const double pivot = (first + (last - first) / 2)->first;
    const auto above = std::partition(first, last, [&](const auto& t) { return t.first > pivot; });
    const auto upto = std::partition(above, last, [&](const auto& t) { return t.first == pivot; });
    std::int64_t weight = 0;
    std::int64_t count = 0;
    for (auto it = first; it != above; ++it) {
      weight += by_rate[it->second].weight;
      count += at.counted(by_rate[it->second]);
    }
    if (weight > room || count > left) {
      last = above;
      continue;
    }
    for (auto it = first; it != above; ++it) take(it->second);
    left -= count;
    // The tied ones one by one while they fit, and no further.
    auto it = above;
    for (; it != upto; ++it) {
      const element& e = by_rate[it->second];
      if (e.weight > room || at.counted(e) > left) break;
      take(it->second);
      left -= at.counted(e);
    }
    if (it != upto) break;
    first = upto;
  }
  for (std::size_t k = 0; k < n; ++k) {
    if (!taken[k] && by_rate[k].weight <= room) take(k);
  }
  const std::size_t near = std::min(n, exchanged_elements);
  std::ranges::nth_element(ranked, ranked.begin() + static_cast<std::ptrdiff_t>(near) - 1, {},
                           [](const auto& ranked_term) { return std::abs(ranked_term.first); });
  std::vector<std::size_t> order(near);
  std::ranges::transform(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(near),
                         order.begin(), [](const auto& ranked_term) { return ranked_term.second; });
  for (int round = 0; round < exchange_rounds; ++round) {
    std::vector<std::size_t> in;
    std::vector<std::size_t> out;
    for (const std::size_t k : order) (taken[k] ? in : out).push_back(k);
    const exchange best = best_exchange(by_rate, in, out, room);
    if (best.gain <= 0) break;
    taken[best.taken_out] = false;
    taken[best.brought_in] = true;
    room += by_rate[best.taken_out].weight - by_rate[best.brought_in].weight;
    value += best.gain;
  }
  return value;
}

// The best selection by terms for as many elements as the linear relaxation's selection holds
// whole, and for one more, by the rates for exactly that many: at the break element's rate and
// lambda at its best for it (one pass), or, `searched`, at the least bound for it.
std::int64_t by_terms_near_most(const reduced& r, const greedy& g, count_range counts,
                                bool searched) {
  std::int64_t best = 0;
  for (const std::int64_t k : {g.count, g.count + 1}) {
    if (k < counts.least || k > counts.most) continue;
    const count_range exactly{k, k};
    lagrangian at = searched
                        ? least_lagrangian(r.sorted, r.capacity, exactly).value_or(lagrangian{})
                        : lagrangian_at(r.sorted, r.capacity, exactly, rate_of(r.sorted[g.split]));
    at.at.count = k;
    best = std::max(best, by_terms(r, at.at));
  }
  return best;
}

// Which selections by terms a reduction has made.
struct selections_made {
  int near_most = 0;      // of by_terms_near_most(): first in one pass, then searched
  bool at_bound = false;  // by the rates of the bound over the narrowed counts
  /// The bound by count was left for the next pass, after the linear bound decides.
  bool deferred = false;
  /// The bound by the count of the heavier elements was asked: it decides what it can at once,
  /// and is not asked again.
  bool heavier_asked = false;
};

// A first look in one pass, before the searches: the bound for as many of the elements at least
// `from` heavy as the greedy selection holds, at the rate of the exchange of the lightest of them
// it holds for the break element, where the bound's least lies when the values grow ever slower
// with the weight. Whether it lowers the bound by a part of the break element's value worth the
// searches.
bool exchange_pays(const reduced& r, const greedy& g, std::int64_t from, std::int64_t taken) {
  const auto each = [](const element& e) { return entry{weight_each(e), value_each(e)}; };
  std::optional<entry> lightest;
  for (std::size_t k = 0; k < g.split; ++k) {
    const entry e = each(r.sorted[k]);
    if (e.weight >= from && (!lightest || e.weight < lightest->weight)) lightest = e;
  }
  const entry at_break = each(r.sorted[g.split]);
  if (!lightest || lightest->weight >= at_break.weight) return false;
  const double mu = static_cast<double>(at_break.value - lightest->value) /
                    static_cast<double>(at_break.weight - lightest->weight);
  if (mu <= 0) return false;
  const lagrangian at = lagrangian_at(r.sorted, r.capacity, {taken, taken, from}, mu);
  return r.upper - r.fixed - unscaled(at.bound) > at_break.value / 64;
}

// Where values grow ever slower with the weight, the greedy selection takes the lightest
// elements, and the room it leaves is filled best by exchanging an element it holds for a heavier
// one that the room and the element's weight make fit: the break element, say, for one of at
// least its weight less the room. The bounds above let a light element go out for a part of a
// heavy one at almost no cost, as the count stays the same, and stay a large part of an element's
// value off; counting only the elements at least that heavy, the count is as good as pinned, and
// the bound under it comes within a few units of the best. Returns whether it is lower than the
// bound before.
bool bound_by_heavier(reduced& r, const greedy& g, deciding& by) {
  if (g.split == r.sorted.size()) return false;
  const element& at_break = r.sorted[g.split];
  const std::int64_t from = weight_each(at_break) - (r.capacity - g.weight);
  if (from <= 1) return false;
  const std::int64_t taken = counted_whole(r.sorted, g, {.from = from});
  if (!exchange_pays(r, g, from, taken)) return false;
  const count_range counts = count_range_of(r.sorted, r.capacity, r.lower - r.fixed, from);
  // The bounds for as many of them as the greedy selection holds and for one more come first,
  // each with a selection by its terms: where they leave more than half the gap to the lower
  // bound, the searches that follow would not pay.
  std::vector<lagrangian> bounds;
  std::array<std::optional<lagrangian>, 2> pinned;  // for `taken` and for one more
  const auto highest = [&] {
    return r.fixed + unscaled(std::ranges::max(bounds, {}, &lagrangian::bound).bound);
  };
  for (const std::size_t more : {0U, 1U}) {
    const std::int64_t k = taken + static_cast<std::int64_t>(more);
    if (k < counts.least || k > counts.most) continue;
    pinned[more] = least_lagrangian(r.sorted, r.capacity, {k, k, from});
    if (!pinned[more]) return false;
    rates at = pinned[more]->at;
    at.count = k;
    r.lower = std::max(r.lower, r.fixed + by_terms(r, at));
    bounds.push_back(*pinned[more]);
    if (highest() - r.lower >= (r.upper - r.lower + 1) / 2) return false;
  }
  // Fewer or more: where neither may beat the lower bound, every better selection holds one of
  // the two counts, and the bound is the higher of theirs (over both at once it cannot bind, as
  // the linear relaxation's selection holds a part of the break element). The rates of the bound
  // for one count bound every count beyond it on the side that lambda's sign says, lower by
  // lambda for each element beyond, which mostly decides at once; else a search does.
  const std::int64_t lower = r.lower - r.fixed;
  const auto none_beyond = [&](const std::optional<lagrangian>& l, bool fewer) {
    const std::optional<wide> beyond = l ? bound_beyond(*l, fewer) : std::nullopt;
    return beyond && round_down(unscaled(*beyond), r.value_divisor) <= lower;
  };
  const auto beats = [&](std::int64_t least, std::int64_t most) {
    return least <= most &&
           bound_within(r.sorted, r.capacity, {least, most, from}, r.value_divisor) > lower;
  };
  if ((!none_beyond(pinned[0], true) && beats(counts.least, taken - 1)) ||
      (!none_beyond(pinned[1], false) && beats(taken + 2, counts.most))) {
    return false;
  }
  std::erase_if(bounds, [&](const lagrangian& l) {
    return round_down(unscaled(l.bound), r.value_divisor) <= lower;
  });
  if (bounds.empty()) {  // no selection beats the lower bound
    r.upper = r.lower;
    return true;
  }
  const std::int64_t upper = r.fixed + round_down(highest() - r.fixed, r.value_divisor);
  if (upper >= r.upper) return false;
  r.upper = upper;
  by.by_heavier = std::move(bounds);
  return true;
}

// Bounds r anew for its open elements, and returns the bound that decides elements. Where the
// linear relaxation holds about as many elements as fit at all, the best selections often hold
// exactly that many, or one fewer: a selection by the terms of a bound for that count raises the
// lower bound far above the greedy one, and then the count is narrowed, often to one.
deciding bound(reduced& r, selections_made& made) {
  const greedy g = greedy_at(r.sorted, r.capacity);
  // The greedy selection, then whatever else fits, in order.
  const std::int64_t filled =
      g.value + greedy_fill(std::span(r.sorted).subspan(g.split), r.capacity - g.weight);
  r.lower = std::max(r.lower, r.fixed + filled);
  deciding by{.linear = linear_of(r.sorted, r.capacity, g)};
  r.upper = std::min(r.upper, r.fixed + (by.linear ? by.linear->bound() : g.value));
  count_range counts = count_range_of(r.sorted, r.capacity, r.lower - r.fixed);
  const bool at_most = near_the_most(g, by.linear.has_value(), counts);
  if (made.near_most < 2 && at_most) {
    // First in one pass; then, once the linear bound has decided what that lower bound lets it
    // decide, searched over what is left.
    const std::int64_t found = r.fixed + by_terms_near_most(r, g, counts, made.near_most == 1);
    ++made.near_most;
    // Decided by the linear bound first, which the higher lower bound now cuts far closer: the
    // searches over counts then run over what is left.
    if (found > r.lower) {
      r.lower = found;
      r.upper = r.fixed + round_down(r.upper - r.fixed, r.value_divisor);
      made.deferred = true;
      return by;
    }
  }
  if (at_most) {
    counts = narrowed_counts(r.sorted, r.capacity, r.lower - r.fixed, r.value_divisor, counts);
  }
  by.by_count = least_lagrangian(r.sorted, r.capacity, counts);
  if (by.by_count) {
    r.upper = std::min(r.upper, r.fixed + unscaled(by.by_count->bound));
    if (made.near_most == 2 && !made.at_bound && by.by_count->at.lambda != 0) {
      made.at_bound = true;
      rates at = by.by_count->at;
      at.count = at.lambda > 0 ? counts.most : counts.least;
      r.lower = std::max(r.lower, r.fixed + by_terms(r, at));
    }
  }
  // Asked only where the gap left is a large part of the break element's value: elsewhere the
  // bounds above are close, and this one costs a few searches.
  if (!made.heavier_asked && by.linear && r.lower < r.upper &&
      r.upper - r.lower > r.sorted[g.split].value / 64) {
    made.heavier_asked = true;
    bound_by_heavier(r, g, by);
  }
  r.upper = r.fixed + round_down(r.upper - r.fixed, r.value_divisor);
  return by;
}

// The open elements of an instance: those worth taking and of some weight (those of none are
// taken at once), with bounds still to come.
reduced open_elements(std::span<const int> values, std::span<const int> weights, int capacity) {
  reduced r;
  r.capacity = capacity;
  r.sorted.reserve(weights.size());
  for (std::size_t k = 0; k < weights.size(); ++k) {
    if (!worth_taking(values[k], weights[k], capacity)) continue;
    if (weights[k] == 0) {
      r.fixed += values[k];
    } else {
      r.sorted.push_back({weights[k], values[k]});
    }
  }
  r.lower = r.fixed;
  r.upper = INT64_MAX;
  return r;
}

}  // namespace

reduced reduce(std::span<int> values, std::span<int> weights, int capacity, decisions decide) {
  reduced r;
  if (weights.size() > core_from && decide == decisions::every_one) {
    core first = core_of(values, weights, capacity);
    r.sorted = std::move(first.open);
    r.capacity = first.capacity;
    r.fixed = first.fixed;
    r.lower = first.lower;
    r.upper = first.upper;
  } else {
    r = open_elements(values, weights, capacity);
  }
  sort_by_efficiency(r.sorted);
  deciding last;
  selections_made made;
  std::int64_t weight_unit = 1;  // of the weights as divided, in those given
  while (!r.sorted.empty()) {
    const std::int64_t divisor = gcd_of(r.sorted, [](const element& e) { return e.weight; });
    if (divisor > 1) {
      for (element& e : r.sorted) e.weight /= divisor;
      r.capacity /= divisor;
      weight_unit *= divisor;
    }
    r.value_divisor = gcd_of(r.sorted, [](const element& e) { return e.value; });
    last = bound(r, made);
    // A selection already found is worth more than the answer may be: no need to go on.
    if (r.lower > INT_MAX) break;
    if (r.lower >= r.upper || decide == decisions::none) break;
    const std::size_t before = r.sorted.size();
    const std::size_t decided = decide_elements(r, last) + drop_dominated(r);
    // Elements taken for good that do not fit together: no selection beats the lower bound.
    if (r.capacity < 0) {
      r.upper = r.lower;
    } else if (r.sorted.empty()) {
      r.upper = r.lower = std::max(r.lower, r.fixed);
    }
    if (r.lower >= r.upper || (decided * 8 < before && !made.deferred)) break;
    made.deferred = false;
  }
  if (r.lower < r.upper) {
    if (const auto by_kinds = bound_by_kinds(r.sorted, r.capacity, weight_unit)) {
      r.upper = std::min(r.upper, r.fixed + round_down(*by_kinds, r.value_divisor));
    }
  }
  if (r.lower >= r.upper && decide == decisions::every_one) {
    r.sorted.clear();
    r.upper = r.lower;
  } else if (last.by_count && last.by_count->at.lambda != 0) {
    // The rates hold for any instance; the count they bound is the open elements' own.
    const count_range counts = count_range_of(r.sorted, r.capacity, r.lower - r.fixed);
    r.by_count = last.by_count->at;
    r.by_count->count = last.by_count->at.lambda > 0 ? counts.most : counts.least;
  }
  // After the bounds, which count each piece's elements as well.
  merge_alike(r.sorted, r.capacity);
  return r;
}
