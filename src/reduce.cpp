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

// Elements are sorted by value per weight, best first. The greedy selection takes them in that
// order until one, the break element, no longer fits; it and whatever else still fits after it
// give a first lower bound. Two upper bounds:
//
// - The linear relaxation: the greedy selection plus the free room filled at the break element's
//   value per weight.
// - A Lagrangian bound over the capacity and the number of elements. No selection within the
//   capacity holds more elements than the lightest that fit, and none that beats the lower bound
//   holds fewer than the most valuable it needs to. For any rates mu >= 0 and lambda, every such
//   selection is worth at most
//     mu * capacity + lambda * K + sum over all elements of max(0, value - mu * weight - lambda),
//   where K is the most elements for lambda >= 0 and the fewest for lambda < 0. For a given mu
//   the best lambda is the K-th largest of value - mu * weight, and the bound is convex and
//   piecewise linear in mu, so a search on its slope finds its least in a few passes. Where values
//   grow with the weight by a constant (or shrink by one), the best selections hold as many (or as
//   few) elements as they can, and this bound is far below the linear one. The search runs in
//   floating point; the bound itself is then evaluated exactly, in units of 1 / 2^32, at the rate
//   found. Where no count binds, the rate is the break element's value per weight, and the bound
//   is the linear one.
//
// Where every value is a multiple of d, so is every selection's, and bounds are rounded down to
// one. An element is decided when its other choice cannot beat the lower bound: forced against
// the sign of its term, value - mu * weight - lambda, an element lowers the Lagrangian bound by
// that term's size. Decided elements leave the instance, which tightens every bound, so the
// reduction is repeated while it decides many.
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

// The most elements and the fewest a selection within the capacity that beats the lower bound
// may hold; `least` is past the number of elements when none can.
struct count_range {
  std::size_t least;
  std::size_t most;
};

constexpr std::int64_t scale = rates::scale;

// The search for the least Lagrangian bound: at most this many evaluations, each O(n), and mu
// at most max_mu, so that mu * scale stays within 62 bits.
constexpr int max_evaluations = 40;
constexpr double max_mu = 1U << 30;
constexpr double tolerance = 1e-4;

// Neither product passes 2^62.
bool more_efficient(const element& a, const element& b) {
  return a.value * b.weight > b.value * a.weight;
}

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

// Elements alike in weight and value, k of them, are replaced by elements of 1, 2, 4, ... times
// their weight and value (and the rest of k), which add up to any count from 0 to k: the same
// selections in far fewer elements. No piece is heavier than the capacity or worth more than
// INT_MAX, so that a piece is as plain an element as any. Alike elements have the same value per
// weight, so they sit in one run of the sorted elements; the pieces take the place of the first
// of them, and the order is otherwise kept.
void add_pieces(std::vector<element>& to, element e, std::int64_t count, std::int64_t capacity) {
  const std::int64_t largest = std::min(capacity / e.weight, INT_MAX / e.value);
  std::int64_t left = std::min(count, capacity / e.weight);
  for (std::int64_t piece = 1; left > 0; piece = 2 * piece <= largest ? 2 * piece : piece) {
    const std::int64_t take = std::min(piece, left);
    to.push_back({take * e.weight, take * e.value, take});
    left -= take;
  }
}

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

// The greedy selection at capacity c: the elements before the break element, and their totals.
struct greedy {
  std::size_t split;  // the break element, or the number of elements when all fit
  std::int64_t weight = 0;
  std::int64_t value = 0;
};

greedy greedy_at(std::span<const element> sorted, std::int64_t c) {
  greedy g{sorted.size()};
  for (std::size_t k = 0; k < sorted.size(); ++k) {
    if (sorted[k].weight > c - g.weight) {
      g.split = k;
      break;
    }
    g.weight += sorted[k].weight;
    g.value += sorted[k].value;
  }
  return g;
}

// The linear relaxation's bound: the free room of the greedy selection filled at the break
// element's value per weight, rounded down.
std::int64_t linear_bound(std::span<const element> sorted, std::int64_t c, const greedy& g) {
  if (g.split == sorted.size()) return g.value;
  const element& at_break = sorted[g.split];
  return g.value + static_cast<std::int64_t>(wide{c - g.weight} * at_break.value / at_break.weight);
}

// The K-th largest of `gains` (reordered) as lambda, and K; lambda 0 and K 0 where no count binds.
template <typename number>
std::pair<number, std::int64_t> best_lambda(std::vector<number>& gains, count_range counts) {
  const auto kth_largest = [&](std::size_t k) {
    const auto at = gains.begin() + static_cast<std::ptrdiff_t>(k) - 1;
    std::nth_element(gains.begin(), at, gains.end(), std::greater<>());
    return *at;
  };
  if (counts.most < gains.size()) {
    const number gain = kth_largest(counts.most);
    if (gain > 0) return {gain, static_cast<std::int64_t>(counts.most)};
  }
  if (counts.least >= 1 && counts.least <= gains.size()) {
    const number gain = kth_largest(counts.least);
    if (gain < 0) return {gain, static_cast<std::int64_t>(counts.least)};
  }
  return {0, 0};
}

// The Lagrangian bound at mu in floating point, with lambda at its best for mu, and its slopes
// in mu on either side. Where a count binds, the bound is mu * capacity plus the K largest terms,
// so its slope is the capacity less their weights; of the elements whose terms tie with the
// K-th, those taken are the lightest just above mu and the heaviest just below it. Where no count
// binds, the tied elements (term 0) count just below mu and not above it.
struct evaluation {
  double bound;
  double slope_below;
  double slope_above;
};

struct search_space {
  std::vector<double> gains;
  std::vector<double> tied;  // weights of the elements whose term ties with lambda's
};

evaluation evaluate(std::span<const element> sorted, std::int64_t c, count_range counts, double mu,
                    search_space& space) {
  const auto gain_of = [mu](const element& e) {
    return static_cast<double>(e.value) - mu * static_cast<double>(e.weight);
  };
  std::ranges::transform(sorted, space.gains.begin(), gain_of);
  const auto [lambda, count] = best_lambda(space.gains, counts);
  const auto capacity = static_cast<double>(c);
  evaluation at{mu * capacity + lambda * static_cast<double>(count), capacity, capacity};
  std::int64_t above = 0;
  space.tied.clear();
  for (const element& e : sorted) {
    const double gain = gain_of(e);
    if (gain > lambda) {
      at.bound += gain - lambda;
      at.slope_below -= static_cast<double>(e.weight);
      ++above;
    } else if (gain == lambda) {
      space.tied.push_back(static_cast<double>(e.weight));
    }
  }
  at.slope_above = at.slope_below;
  std::vector<double>& tied = space.tied;
  // (The clamp only guards against the two sums of a term being rounded apart.)
  const auto taken =
      count == 0 ? tied.end()
                 : tied.begin() + std::clamp<std::ptrdiff_t>(count - above, 0, std::ssize(tied));
  std::nth_element(tied.begin(), taken, tied.end());
  at.slope_above -= std::reduce(tied.begin(), taken, 0.0);
  std::nth_element(tied.begin(), tied.end() - (taken - tied.begin()), tied.end());
  at.slope_below -= std::reduce(tied.end() - (taken - tied.begin()), tied.end(), 0.0);
  return at;
}

// The rate mu that minimises the Lagrangian bound, which is convex and piecewise linear in mu:
// where its slope below is at most 0 and its slope above at least 0. Between a point where it
// falls and one where it rises, the two tangents meet below the least, and where they meet is
// the next point tried; once both tangents are the pieces that meet at the least, it is found.
double best_mu(std::span<const element> sorted, std::int64_t c, count_range counts) {
  search_space space{std::vector<double>(sorted.size()), {}};
  const auto optimal = [](const evaluation& at) {
    return at.slope_below <= 0 && at.slope_above >= 0;
  };
  double low = 0;
  evaluation at_low = evaluate(sorted, c, counts, low, space);
  if (at_low.slope_above >= 0) return low;
  double high = 1;
  evaluation at_high = evaluate(sorted, c, counts, high, space);
  int evaluations = 2;
  while (at_high.slope_above < 0 && high < max_mu) {
    low = high;
    at_low = at_high;
    high *= 2;
    at_high = evaluate(sorted, c, counts, high, space);
    ++evaluations;
  }
  if (at_high.slope_above < 0 || optimal(at_high)) return high;
  for (; evaluations < max_evaluations; ++evaluations) {
    const double meet =
        (at_high.bound - at_low.bound + at_low.slope_above * low - at_high.slope_below * high) /
        (at_low.slope_above - at_high.slope_below);
    const double mu = meet > low && meet < high ? meet : low + (high - low) / 2;
    if (mu <= low || mu >= high) break;
    // No point of the bound lies below the tangents, so once it is within rounding of where
    // they meet, it is as low as it gets for the bound's integer part.
    const double floor = at_low.bound + at_low.slope_above * (mu - low);
    const evaluation at = evaluate(sorted, c, counts, mu, space);
    if (optimal(at) || at.bound - floor <= tolerance) return mu;
    if (at.slope_above < 0) {
      low = mu;
      at_low = at;
    } else {
      high = mu;
      at_high = at;
    }
  }
  return at_low.bound < at_high.bound ? low : high;
}

// The Lagrangian bound at mu = a / scale, exactly, in units of 1 / scale. The bound holds for
// every lambda, so lambda is taken exactly from the element whose term came K-th largest in
// floating point (or nearest to it, should the compiler round the two alike sums apart).
struct lagrangian {
  std::int64_t a = 0;
  wide lambda = 0;
  wide bound = 0;
  std::int64_t count = 0;  // the most elements where lambda > 0, the fewest where lambda < 0

  wide term(const element& e) const { return wide{e.value} * scale - wide{a} * e.weight - lambda; }
};

lagrangian lagrangian_at(std::span<const element> sorted, std::int64_t c, count_range counts,
                         double mu) {
  lagrangian at{std::llround(mu * static_cast<double>(scale))};
  const auto gain_of = [mu](const element& e) {
    return static_cast<double>(e.value) - mu * static_cast<double>(e.weight);
  };
  std::vector<double> gains(sorted.size());
  std::ranges::transform(sorted, gains.begin(), gain_of);
  const auto [largest, count] = best_lambda(gains, counts);
  const double lambda = largest;
  if (count != 0) {
    const element& kth = *std::ranges::min_element(
        sorted, {}, [&](const element& e) { return std::abs(gain_of(e) - lambda); });
    at.lambda = wide{kth.value} * scale - wide{at.a} * kth.weight;
    at.count = count;
  }
  at.bound = wide{at.a} * c + at.lambda * count;
  for (const element& e : sorted) at.bound += std::max(wide{0}, at.term(e));
  return at;
}

// Floor of a non-negative bound in units of 1 / scale.
std::int64_t unscaled(wide bound) {
  return static_cast<std::int64_t>(std::max(wide{0}, bound) / scale);
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

// A bound on the value of the elements of `sorted` within `capacity` where each is worth `unit`
// times its weight plus one of two amounts, neither negative: the capacity's worth plus the most
// the amounts add, over every count of the kind with the larger amount, beside as many of the
// other kind as fit. Nothing where the values are not so; for one amount alone this is the
// Lagrangian bound at rates unit and the amount, which the reduction has already.
std::optional<std::int64_t> bound_by_kinds(std::span<const element> sorted, std::int64_t capacity,
                                           std::int64_t unit) {
  std::array<std::int64_t, 2> amounts{};
  std::array<std::vector<std::int64_t>, 2> weights;
  std::size_t kinds = 0;
  for (const element& e : sorted) {
    const std::int64_t amount = e.value - unit * e.weight;
    if (amount < 0) return std::nullopt;
    std::size_t kind = 0;
    while (kind < kinds && amounts[kind] != amount) ++kind;
    if (kind == kinds) {
      if (kinds == amounts.size()) return std::nullopt;
      amounts[kinds++] = amount;
    }
    weights[kind].push_back(e.weight);
  }
  if (kinds < 2) return std::nullopt;
  if (amounts[0] < amounts[1]) {
    std::swap(amounts[0], amounts[1]);
    std::swap(weights[0], weights[1]);
  }
  for (auto& of_kind : weights) std::ranges::sort(of_kind);
  // lighter[k]: the weight of the k lightest of the other kind.
  std::vector<std::int64_t> lighter(weights[1].size() + 1, 0);
  std::partial_sum(weights[1].begin(), weights[1].end(), lighter.begin() + 1);
  std::int64_t most = 0;
  std::int64_t used = 0;  // by the `count` lightest of the first kind
  for (std::size_t count = 0; used <= capacity; ++count) {
    const auto beside =
        std::upper_bound(lighter.begin(), lighter.end(), capacity - used) - lighter.begin() - 1;
    most = std::max(most, amounts[0] * static_cast<std::int64_t>(count) + amounts[1] * beside);
    if (count == weights[0].size()) break;
    used += weights[0][count];
  }
  return unit * capacity + most;
}

// Decides every element whose choice against the Lagrangian's cannot beat the lower bound: those
// leave r.sorted, the values of those taken go to r.fixed. Returns how many it decided.
std::size_t decide_elements(reduced& r, const lagrangian& at) {
  const std::int64_t lower = r.lower - r.fixed;  // in terms of the open elements alone
  std::int64_t taken_weight = 0;
  const std::size_t before = r.sorted.size();
  std::erase_if(r.sorted, [&](const element& e) {
    const wide term = at.term(e);
    const std::int64_t flipped = unscaled(at.bound - (term > 0 ? term : -term));
    if (round_down(flipped, r.value_divisor) > lower) return false;
    if (term > 0) {
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

// How many of the smallest amounts (all positive) sum to at most `room`; reorders them. Halves
// the range each round around its median, in linear time overall.
std::size_t smallest_within(std::span<std::int64_t> amounts, std::int64_t room) {
  std::size_t count = 0;
  auto first = amounts.begin();
  auto last = amounts.end();
  while (first != last) {
    const auto middle = first + (last - first) / 2;
    std::nth_element(first, middle, last);
    const std::int64_t below = std::reduce(first, middle, std::int64_t{0});
    if (below > room) {
      last = middle;
      continue;
    }
    room -= below;
    count += static_cast<std::size_t>(middle - first);
    if (*middle > room) break;
    room -= *middle;
    ++count;
    first = middle + 1;
  }
  return count;
}

count_range count_range_of(std::span<const element> sorted, std::int64_t capacity,
                           std::int64_t lower) {
  std::vector<std::int64_t> amounts(sorted.size());
  std::ranges::transform(sorted, amounts.begin(), &element::weight);
  const std::size_t most = smallest_within(amounts, capacity);
  std::ranges::transform(sorted, amounts.begin(), &element::value);
  // The fewest of the largest values that sum past `lower` leave the most of the smallest that
  // sum to less than the total less `lower`.
  const std::int64_t total = std::reduce(amounts.begin(), amounts.end(), std::int64_t{0});
  if (total <= lower) return {sorted.size() + 1, most};
  return {sorted.size() - smallest_within(amounts, total - lower - 1), most};
}

// Bounds r anew for its open elements, and returns the Lagrangian bound that decides elements:
// at its least where a count binds, else at the break element's value per weight, where it is
// the linear relaxation's bound.
lagrangian bound(reduced& r) {
  const greedy g = greedy_at(r.sorted, r.capacity);
  // The greedy selection, then whatever else fits, in order.
  const std::int64_t filled =
      g.value + greedy_fill(std::span(r.sorted).subspan(g.split), r.capacity - g.weight,
                            [](std::size_t) { return false; });
  r.lower = std::max(r.lower, r.fixed + filled);
  r.upper = std::min(r.upper, r.fixed + linear_bound(r.sorted, r.capacity, g));
  const count_range counts = count_range_of(r.sorted, r.capacity, r.lower - r.fixed);
  // The linear relaxation's selection, g.split elements and a part of the break element, already
  // holds as many elements as a count allows: then no rate on the count lowers the bound.
  const bool count_binds =
      g.split < r.sorted.size() && (g.split + 1 > counts.most || g.split < counts.least);
  double mu = 0;
  if (count_binds) {
    mu = best_mu(r.sorted, r.capacity, counts);
  } else if (g.split < r.sorted.size()) {
    const element& at_break = r.sorted[g.split];
    mu = static_cast<double>(at_break.value) / static_cast<double>(at_break.weight);
  }
  // Where no count binds, no rate on it is sought either.
  const count_range unbound{0, r.sorted.size()};
  const lagrangian at = lagrangian_at(r.sorted, r.capacity, count_binds ? counts : unbound, mu);
  r.upper = std::min(r.upper, r.fixed + unscaled(at.bound));
  r.upper = r.fixed + round_down(r.upper - r.fixed, r.value_divisor);
  return at;
}

}  // namespace

std::vector<std::size_t> heaviest_first(std::span<const element> elements) {
  std::vector<std::size_t> places(elements.size());
  std::iota(places.begin(), places.end(), std::size_t{0});
  std::ranges::stable_sort(places, std::greater<>(),
                           [&](std::size_t k) { return elements[k].weight; });
  return places;
}

reduced reduce(std::span<int> values, std::span<int> weights, int capacity) {
  reduced r;
  if (weights.size() > core_from) {
    core first = core_of(values, weights, capacity);
    r.sorted = std::move(first.open);
    r.capacity = first.capacity;
    r.fixed = first.fixed;
    r.lower = first.lower;
    r.upper = first.upper;
  } else {
    r.capacity = capacity;
    r.sorted.reserve(weights.size());
    for (std::size_t k = 0; k < weights.size(); ++k) {
      if (values[k] <= 0 || weights[k] > capacity) continue;
      if (weights[k] == 0) {
        r.fixed += values[k];
      } else {
        r.sorted.push_back({weights[k], values[k]});
      }
    }
    r.lower = r.fixed;
    r.upper = INT64_MAX;
  }
  sort_by_efficiency(r.sorted);
  lagrangian last;
  std::int64_t weight_unit = 1;  // of the weights as divided, in those given
  while (!r.sorted.empty()) {
    const std::int64_t divisor = gcd_of(r.sorted, [](const element& e) { return e.weight; });
    if (divisor > 1) {
      for (element& e : r.sorted) e.weight /= divisor;
      r.capacity /= divisor;
      weight_unit *= divisor;
    }
    r.value_divisor = gcd_of(r.sorted, [](const element& e) { return e.value; });
    last = bound(r);
    if (r.lower >= r.upper) break;
    const std::size_t before = r.sorted.size();
    const std::size_t decided = decide_elements(r, last) + drop_dominated(r);
    // Elements taken for good that do not fit together: no selection beats the lower bound.
    if (r.capacity < 0) {
      r.upper = r.lower;
    } else if (r.sorted.empty()) {
      r.upper = r.lower = std::max(r.lower, r.fixed);
    }
    if (r.lower >= r.upper || decided * 8 < before) break;
  }
  if (r.lower < r.upper) {
    if (const auto by_kinds = bound_by_kinds(r.sorted, r.capacity, weight_unit)) {
      r.upper = std::min(r.upper, r.fixed + round_down(*by_kinds, r.value_divisor));
    }
  }
  if (r.lower >= r.upper) {
    r.sorted.clear();
    r.upper = r.lower;
  } else if (last.lambda != 0) {
    // The rates hold for any instance; the count they bound is the open elements' own.
    const count_range counts = count_range_of(r.sorted, r.capacity, r.lower - r.fixed);
    const std::size_t count = last.lambda > 0 ? counts.most : counts.least;
    r.bound_rates = {last.a, last.lambda, static_cast<std::int64_t>(count)};
  }
  // After the bounds: a piece counts as one element in the bounds above, and its `count` of them
  // in the rates' terms.
  merge_alike(r.sorted, r.capacity);
  return r;
}
