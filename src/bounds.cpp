#include "bounds.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <numeric>
#include <utility>

#include "table.hpp"

// Each bound relaxes the instance a different way:
//
// - The linear relaxation lets a part of an element fill the last room: the greedy selection and
//   the rest of the room at the break element's value per weight. Its form at any room, from the
//   sums of the elements by value per weight, bounds the steps of the lists from the heaviest
//   element; its form at a window's neighbours, the steps of the lists from the greedy selection.
// - The Lagrangian bound over the capacity and the number of elements. No selection within the
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
//   found. A piece of alike elements counts each of them: its gain per element is its gain over
//   its count, counted that many times.
// - The elements that fit: a room can only take elements no heavier than itself, and weight
//   classes tell which those are in a few steps.
// - Kinds: where every value is its weight plus one of two amounts, a selection is worth at most
//   the capacity plus its elements' amounts, and holds no more of each kind than the lightest of
//   that kind that fit beside the others.
// - Coarse rows: the best values of all selections of some elements at every room, in units of a
//   power of two, each weight rounded down, so that every selection that fits fits there too.

namespace {

// The search for the least Lagrangian bound: at most this many evaluations, each O(n), and mu
// at most max_mu, so that mu * scale stays within 62 bits.
constexpr int max_evaluations = 40;
constexpr double max_mu = 1U << 30;
constexpr double tolerance = 1e-4;
constexpr std::int64_t scale = rates::scale;

// An amount per element, counted `times` times: the elements a piece stands for.
struct counted {
  double amount;
  std::int64_t times;
};

// The k-th largest amount (k from 1 to the total of the times, `total`), reordering `items`: a
// selection that splits around a pivot drawn from the middle, in linear time on average; the
// standard one where every item counts once, as where no piece stands for several elements.
double kth_largest(std::span<counted> items, std::int64_t k, std::int64_t total) {
  if (std::cmp_equal(total, items.size())) {
    const auto at = items.begin() + static_cast<std::ptrdiff_t>(k) - 1;
    std::nth_element(items.begin(), at, items.end(),
                     [](const counted& a, const counted& b) { return a.amount > b.amount; });
    return at->amount;
  }
  while (true) {
    const double pivot = items[items.size() / 2].amount;
    const auto above_end = std::partition(items.begin(), items.end(),
                                          [&](const counted& c) { return c.amount > pivot; });
    const auto equal_end =
        std::partition(above_end, items.end(), [&](const counted& c) { return c.amount == pivot; });
    const auto times = [](auto first, auto last) {
      return std::transform_reduce(first, last, std::int64_t{0}, std::plus<>(),
                                   [](const counted& c) { return c.times; });
    };
    const std::int64_t above = times(items.begin(), above_end);
    if (k <= above) {
      items = items.first(static_cast<std::size_t>(above_end - items.begin()));
      continue;
    }
    const std::int64_t equal = times(above_end, equal_end);
    if (k <= above + equal) return pivot;
    k -= above + equal;
    items = items.subspan(static_cast<std::size_t>(equal_end - items.begin()));
  }
}

// How many of the smallest amounts (positive) sum to at most `room`, reordering `items`: halves
// the range each round around a pivot, in linear time on average.
std::int64_t smallest_within(std::span<counted> items, double room) {
  std::int64_t count = 0;
  while (!items.empty()) {
    const double pivot = items[items.size() / 2].amount;
    const auto below_end = std::partition(items.begin(), items.end(),
                                          [&](const counted& c) { return c.amount < pivot; });
    const auto equal_end =
        std::partition(below_end, items.end(), [&](const counted& c) { return c.amount == pivot; });
    double below = 0;
    std::int64_t below_times = 0;
    for (auto it = items.begin(); it != below_end; ++it) {
      below += it->amount * static_cast<double>(it->times);
      below_times += it->times;
    }
    if (below > room) {
      items = items.first(static_cast<std::size_t>(below_end - items.begin()));
      continue;
    }
    room -= below;
    count += below_times;
    std::int64_t equal_times = 0;
    for (auto it = below_end; it != equal_end; ++it) equal_times += it->times;
    const auto fitting = std::min(equal_times, static_cast<std::int64_t>(room / pivot));
    count += fitting;
    if (fitting < equal_times) break;
    room -= pivot * static_cast<double>(fitting);
    items = items.subspan(static_cast<std::size_t>(equal_end - items.begin()));
  }
  return count;
}

double gain_at(double mu, const element& e) {
  return static_cast<double>(e.value) - mu * static_cast<double>(e.weight);
}

// The best lambda for the gains at mu, with K; lambda 0 and K 0 where no count binds. Lambda is
// the K-th largest gain per element of the elements counted.
std::pair<double, std::int64_t> best_lambda(std::span<const element> sorted, double mu,
                                            count_range counts, std::vector<counted>& space) {
  const rates counting = counts.counting();
  std::int64_t total = 0;
  space.clear();
  for (const element& e : sorted) {
    const std::int64_t times = counting.counted(e);
    if (times == 0) continue;
    space.push_back({gain_at(mu, e) / static_cast<double>(e.count), times});
    total += times;
  }
  // (With none at all allowed, the bound is left to the linear one's rates.)
  if (counts.most >= 1 && counts.most < total) {
    const double gain = kth_largest(space, counts.most, total);
    if (gain > 0) return {gain, counts.most};
  }
  if (counts.least >= 1 && counts.least <= total) {
    const double gain = kth_largest(space, counts.least, total);
    if (gain < 0) return {gain, counts.least};
  }
  return {0, 0};
}

// The Lagrangian bound at mu in floating point, with lambda at its best for mu, and its slopes
// in mu on either side. Where a count binds, the bound is mu * capacity plus the K largest terms,
// so its slope is the capacity less their weights; of the elements whose terms tie with the
// K-th, those taken are the lightest just above mu and the heaviest just below it. Where no count
// binds, the tied elements (term 0) count just below mu and not above it; so do those the
// count leaves out, whatever lambda.
struct evaluation {
  double bound;
  double slope_below;
  double slope_above;
};

struct search_space {
  std::vector<counted> gains;
  std::vector<counted> tied;  // weights per element of the elements whose term ties with lambda's
};

// The weight of the `count` lightest (or heaviest) of the tied elements.
double tied_weight(std::vector<counted>& tied, std::int64_t count, bool lightest) {
  std::ranges::sort(tied, [&](const counted& a, const counted& b) {
    return lightest ? a.amount < b.amount : a.amount > b.amount;
  });
  double weight = 0;
  for (const counted& c : tied) {
    if (count <= 0) break;
    const std::int64_t taken = std::min(count, c.times);
    weight += c.amount * static_cast<double>(taken);
    count -= taken;
  }
  return weight;
}

evaluation evaluate(std::span<const element> sorted, std::int64_t c, count_range counts, double mu,
                    search_space& space) {
  const auto [lambda, count] = best_lambda(sorted, mu, counts, space.gains);
  const rates counting = counts.counting();
  const auto capacity = static_cast<double>(c);
  evaluation at{mu * capacity + lambda * static_cast<double>(count), capacity, capacity};
  double uncounted_tied = 0;  // weight of the elements left out of the count with gain 0
  std::int64_t above = 0;
  space.tied.clear();
  for (const element& e : sorted) {
    const double gain = gain_at(mu, e) / static_cast<double>(e.count);
    const bool is_counted = counting.counted(e) != 0;
    const double threshold = is_counted ? lambda : 0;
    if (gain > threshold) {
      at.bound += (gain - threshold) * static_cast<double>(e.count);
      at.slope_below -= static_cast<double>(e.weight);
      if (is_counted) above += e.count;
    } else if (gain == threshold) {
      if (is_counted) {
        space.tied.push_back({static_cast<double>(weight_each(e)), e.count});
      } else {
        uncounted_tied += static_cast<double>(e.weight);
      }
    }
  }
  at.slope_above = at.slope_below;
  at.slope_below -= uncounted_tied;
  std::int64_t tied_total = 0;
  for (const counted& t : space.tied) tied_total += t.times;
  // (The clamp only guards against the two sums of a term being rounded apart.)
  const std::int64_t taken =
      count == 0 ? tied_total : std::clamp<std::int64_t>(count - above, 0, tied_total);
  at.slope_above -= tied_weight(space.tied, taken, true);
  at.slope_below -= tied_weight(space.tied, taken, false);
  return at;
}

// The rate mu that minimises the Lagrangian bound, which is convex and piecewise linear in mu:
// where its slope below is at most 0 and its slope above at least 0. Between a point where it
// falls and one where it rises, the two tangents meet below the least, and where they meet is
// the next point tried; once both tangents are the pieces that meet at the least, it is found.
double best_mu(std::span<const element> sorted, std::int64_t c, count_range counts) {
  search_space space;
  space.gains.reserve(sorted.size());
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
// every lambda of the sign its count asks, so lambda is taken exactly from the element whose
// term per element came nearest to the K-th largest in floating point.
}  // namespace

lagrangian lagrangian_at(std::span<const element> sorted, std::int64_t c, count_range counts,
                         double mu) {
  lagrangian at{{.mu = std::llround(mu * static_cast<double>(scale)), .counted_from = counts.from}};
  std::vector<counted> space;
  space.reserve(sorted.size());
  // Not a structured binding: clang 14, which lints this code, cannot capture one in a lambda.
  const std::pair<double, std::int64_t> best = best_lambda(sorted, mu, counts, space);
  const double lambda = best.first;
  const std::int64_t count = best.second;
  if (count != 0) {
    const auto off = [&](const element& e) {
      if (at.at.counted(e) == 0) return HUGE_VAL;
      return std::abs(gain_at(mu, e) / static_cast<double>(e.count) - lambda);
    };
    const element& kth = *std::ranges::min_element(sorted, {}, off);
    const wide exact = (wide{kth.value} * scale - wide{at.at.mu} * kth.weight) / kth.count;
    // The count bounds from the side lambda's sign says; rounded to the other, no count binds.
    if ((exact > 0) == (lambda > 0) && exact != 0) {
      at.at.lambda = exact;
      at.at.count = count;
    }
  }
  at.bound = wide{at.at.mu} * c + at.at.lambda * at.at.count;
  for (const element& e : sorted) at.bound += std::max(wide{0}, at.at.term(e));
  return at;
}

namespace {

// Whether the linear relaxation's selection, the elements before the break and a part of the
// break element, already holds as many elements as `counts` allow: then no rate on the count
// lowers the bound.
bool count_binds(std::span<const element> sorted, const greedy& g, count_range counts) {
  if (g.split == sorted.size()) return false;
  const std::int64_t taken = counted_whole(sorted, g, counts);
  return taken + counts.counting().counted(sorted[g.split]) > counts.most || taken < counts.least;
}

}  // namespace

greedy greedy_at(std::span<const element> by_rate, std::int64_t capacity) {
  greedy g{by_rate.size()};
  for (std::size_t k = 0; k < by_rate.size(); ++k) {
    if (by_rate[k].weight > capacity - g.weight) {
      g.split = k;
      break;
    }
    g.weight += by_rate[k].weight;
    g.value += by_rate[k].value;
    g.count += by_rate[k].count;
  }
  return g;
}

std::optional<linear_relaxation> linear_of(std::span<const element> by_rate, std::int64_t capacity,
                                           const greedy& g) {
  if (g.split == by_rate.size()) return std::nullopt;
  const element& at_break = by_rate[g.split];
  return linear_relaxation({g.weight, g.value}, capacity, {at_break.weight, at_break.value});
}

relaxation_sums::relaxation_sums(std::span<const element> by_rate,
                                 const std::vector<bool>& left_out) {
  for (std::size_t k = 0; k < by_rate.size(); ++k) {
    if (left_out[k]) continue;
    order.push_back(by_rate[k]);
    weight_before.push_back(weight_before.back() + by_rate[k].weight);
    value_before.push_back(value_before.back() + by_rate[k].value);
  }
}

count_range count_range_of(std::span<const element> sorted, std::int64_t capacity,
                           std::int64_t lower, std::int64_t from) {
  const rates counting{.counted_from = from};
  std::vector<counted> amounts;
  amounts.reserve(sorted.size());
  std::int64_t total_count = 0;
  std::int64_t total_value = 0;
  for (const element& e : sorted) {
    if (counting.counted(e) == 0) {
      lower -= e.value;
      continue;
    }
    amounts.push_back({static_cast<double>(weight_each(e)), e.count});
    total_count += e.count;
    total_value += e.value;
  }
  // Weights and values are integers well within a double's 53 bits, and so are their sums.
  const std::int64_t most = smallest_within(amounts, static_cast<double>(capacity));
  if (total_value <= lower) return {total_count + 1, most, from};
  if (lower < 0) return {0, most, from};
  // The fewest of the largest values that sum past `lower` leave the most of the smallest that
  // sum to less than the total less `lower`.
  amounts.clear();
  for (const element& e : sorted) {
    if (counting.counted(e) != 0) amounts.push_back({static_cast<double>(value_each(e)), e.count});
  }
  return {total_count - smallest_within(amounts, static_cast<double>(total_value - lower - 1)),
          most, from};
}

std::optional<lagrangian> least_lagrangian(std::span<const element> sorted, std::int64_t capacity,
                                           count_range counts) {
  if (!count_binds(sorted, greedy_at(sorted, capacity), counts)) return std::nullopt;
  return lagrangian_at(sorted, capacity, counts, best_mu(sorted, capacity, counts));
}

std::int64_t counted_whole(std::span<const element> sorted, const greedy& g, count_range counts) {
  if (counts.from == 0) return g.count;
  const rates counting = counts.counting();
  std::int64_t taken = 0;
  for (std::size_t k = 0; k < g.split; ++k) taken += counting.counted(sorted[k]);
  return taken;
}

std::optional<wide> bound_beyond(const lagrangian& l, bool fewer) {
  // For every rate lambda of that sign, each selection beyond is worth at most mu * capacity +
  // lambda * (k -+ 1) + the sum of its terms.
  const wide lambda = l.at.lambda;
  if (fewer ? lambda <= 0 : lambda >= 0) return std::nullopt;
  return l.bound - (fewer ? lambda : -lambda);
}

std::int64_t unscaled(wide bound) {
  return static_cast<std::int64_t>(std::max(wide{0}, bound) / scale);
}

std::int64_t bound_within(std::span<const element> sorted, std::int64_t capacity,
                          count_range counts, std::int64_t divisor) {
  if (counts.least > counts.most) return round_down(-1, divisor);  // no selection at all
  const greedy g = greedy_at(sorted, capacity);
  const std::optional<linear_relaxation> linear = linear_of(sorted, capacity, g);
  std::int64_t bound = linear ? linear->bound() : g.value;
  if (const auto l = least_lagrangian(sorted, capacity, counts)) {
    bound = std::min(bound, unscaled(l->bound));
  }
  return round_down(bound, divisor);
}

count_range narrowed_counts(std::span<const element> sorted, std::int64_t capacity,
                            std::int64_t lower, std::int64_t divisor, count_range counts) {
  const auto beats = [&](std::int64_t least, std::int64_t most) {
    return least <= most &&
           bound_within(sorted, capacity, {least, most, counts.from}, divisor) > lower;
  };
  // The linear relaxation's selection holds `taken` counted elements whole and perhaps a part of
  // one more: a range that leaves out either count binds the bound.
  const std::int64_t taken = counted_whole(sorted, greedy_at(sorted, capacity), counts);
  // Once cut, the far end of what is left, while no selection of that count may beat `lower`:
  // where a piece of alike elements takes the break, the bound binds only once the count is
  // pinned.
  constexpr int far_ends = 2;
  if (taken >= counts.least && taken < counts.most && !beats(counts.least, taken)) {
    counts.least = taken + 1;
    for (int k = 0; k < far_ends && counts.least < counts.most; ++k) {
      if (beats(counts.most, counts.most)) break;
      --counts.most;
    }
  } else if (taken + 1 > counts.least && taken + 1 <= counts.most &&
             !beats(taken + 1, counts.most)) {
    counts.most = taken;
    for (int k = 0; k < far_ends && counts.least < counts.most; ++k) {
      if (beats(counts.least, counts.least)) break;
      ++counts.least;
    }
  }
  return counts;
}

bool decides(const lagrangian& l, const element& e, std::int64_t lower, std::int64_t divisor) {
  const wide term = l.at.term(e);
  return round_down(unscaled(l.bound - (term > 0 ? term : -term)), divisor) <= lower;
}

fitting_after::fitting_after(std::span<const element> by_rate, std::size_t last,
                             std::int64_t capacity)
    : by_rate_(by_rate),
      class_(by_rate.size()),
      next_alike_(by_rate.size()),
      top_class_(class_of(capacity)),
      last_(last) {
  const std::size_t n = by_rate.size();
  std::array<std::size_t, weight_classes> next_of_class;
  next_of_class.fill(n);
  first_.fill(n);
  value_.fill(0);
  for (std::size_t k = n; k-- > 0;) {
    const std::size_t c = class_of(by_rate[k].weight);
    class_[k] = static_cast<std::uint8_t>(c);
    next_alike_[k] = next_of_class[c];
    next_of_class[c] = k;
    if (k >= last) {
      first_[c] = k;
      value_[c] += by_rate[k].value;
    }
  }
}

void fitting_after::pass() {
  const std::size_t c = class_[last_];
  value_[c] -= by_rate_[last_].value;
  if (first_[c] == last_) first_[c] = next_alike_[last_];
  ++last_;
}

void fitting_after::prepare() {
  const std::size_t none = by_rate_.size();
  std::size_t first = none;
  std::int64_t value = 0;
  for (std::size_t c = 0; c <= top_class_; ++c) {
    first = std::min(first, first_[c]);
    value += value_[c];
    best_upto_[c] = first;
    value_upto_[c] = value;
    rate_upto_[c] = first < none ? rate_of(by_rate_[first]) : 0;
  }
}

std::optional<std::int64_t> bound_by_kinds(std::span<const element> sorted, std::int64_t capacity,
                                           std::int64_t unit) {
  // Pieces of more elements than this are not worth weighing one by one.
  constexpr std::int64_t most_counted = std::int64_t{1} << 22;
  std::array<std::int64_t, 2> amounts{};
  std::array<std::vector<std::int64_t>, 2> weights;
  std::size_t kinds = 0;
  std::int64_t counted_elements = 0;
  for (const element& e : sorted) {
    const std::int64_t amount = value_each(e) - unit * weight_each(e);
    if (amount < 0) return std::nullopt;
    std::size_t kind = 0;
    while (kind < kinds && amounts[kind] != amount) ++kind;
    if (kind == kinds) {
      if (kinds == amounts.size()) return std::nullopt;
      amounts[kinds++] = amount;
    }
    counted_elements += e.count;
    if (counted_elements > most_counted) return std::nullopt;
    weights[kind].insert(weights[kind].end(), static_cast<std::size_t>(e.count), weight_each(e));
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

namespace {

// Units of a power of two, so that a room is divided by a shift.
int unit_shift(std::int64_t capacity, std::size_t columns) {
  int shift = 0;
  while ((capacity >> shift) >= static_cast<std::int64_t>(columns)) ++shift;
  return shift;
}

// Columns below the weight keep their value; the others take the element where it is better.
void take(const cell* row, cell* next, std::size_t columns, std::size_t weight, cell value) {
  const std::size_t fit = std::min(weight, columns);
  std::copy(row, row + fit, next);
  if (fit < columns) take_better(next + fit, row + fit, row, columns - fit, value, true);
}

}  // namespace

coarse_bounds::coarse_bounds(std::span<const element> order, std::size_t first,
                             std::int64_t capacity, std::size_t rows, std::size_t columns)
    : first_(first),
      shift_(unit_shift(capacity, columns)),
      columns_(static_cast<std::size_t>(capacity >> shift_) + 1),
      stride_((order.size() - first + rows - 1) / rows),
      rows_((order.size() - first + stride_ - 1) / stride_ * columns_, 0) {
  std::vector<cell> row(columns_, 0);
  std::vector<cell> next(columns_);
  for (std::size_t k = order.size(); k-- > first;) {
    take(row.data(), next.data(), columns_, static_cast<std::size_t>(coarse(order[k].weight)),
         static_cast<cell>(std::min<std::int64_t>(order[k].value, saturated)));
    std::swap(row, next);
    if ((k - first) % stride_ == 0) {
      std::ranges::copy(row, rows_.begin() + static_cast<std::ptrdiff_t>(slot(k) * columns_));
    }
  }
}
