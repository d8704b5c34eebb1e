#pragma once

// Instances of the knapsack literature's families, from a fixed seed: shared by the tests of the
// solver and of the reduction, and by the fuzz target that checks every method.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "oracle.hpp"

// Families that the reduction and the lists treat differently, weights in [1, R] (a sixth of them
// 0) unless said: values unrelated to the weight, near the 32-bit limit, within R/10 of the weight
// (weakly correlated), the weight plus R/10 (strongly correlated; the bound by the most elements
// decides), give or take R/500 (almost strongly correlated), the weight less R/10 (inverse; the
// bound by the fewest), three times the weight (no step dominates another), the weight itself
// with some zero or negative, weights with a common divisor, values with one (3 ceil(weight /
// 3)), many elements alike, worth an eighth of INT_MAX or more, so that pieces of them would pass
// INT_MAX, the weight plus one of two amounts by the weight's remainder (the bound that counts
// each kind decides), even weights at an odd capacity (a subset sum, or strongly correlated),
// weights within a hundredth of R of each other, values on a quarter circle over the weights, and
// multiples of a few strongly correlated spanners.
enum class family {
  uncorrelated,
  huge,
  weakly_correlated,
  strongly_correlated,
  almost_strongly_correlated,
  inverse_strongly_correlated,
  equal_efficiency,
  mixed_signs,
  common_divisor,
  profit_ceiling,
  alike,
  multiple_strongly_correlated,
  even_odd_subset_sum,
  even_odd_strongly_correlated,
  similar_weights,
  circle,
  spanner,
};
constexpr family families[] = {family::uncorrelated,
                               family::huge,
                               family::weakly_correlated,
                               family::strongly_correlated,
                               family::almost_strongly_correlated,
                               family::inverse_strongly_correlated,
                               family::equal_efficiency,
                               family::mixed_signs,
                               family::common_divisor,
                               family::profit_ceiling,
                               family::alike,
                               family::multiple_strongly_correlated,
                               family::even_odd_subset_sum,
                               family::even_odd_strongly_correlated,
                               family::similar_weights,
                               family::circle,
                               family::spanner};

struct generator {
  std::mt19937 random;

  explicit generator(std::uint32_t seed = 20261208) : random(seed) {}

  int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

  std::int64_t wide_uniform(std::int64_t low, std::int64_t high) {
    return std::uniform_int_distribution<std::int64_t>(low, high)(random);
  }

  // n elements of `kind` with weights up to `range` (spanners: up to 10 times a fifth of it), the
  // capacity a share `fill` of their total weight, within INT_MAX; anywhere from 0 to past the
  // total where `fill` is below 0.
  test_instance instance(family kind, std::size_t n, int range, double fill = -1) {
    test_instance made{{}, {}, 0};
    spanners_ = {};
    if (kind == family::spanner) {
      for (int k = uniform(2, 10); k > 0; --k) {
        const std::int64_t w = wide_uniform(1, range);
        spanners_.push_back({(2 * w + 9) / 10, (2 * (w + range / 10) + 9) / 10});
      }
    }
    std::int64_t total = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const auto [weight, value] = element_of(kind, range);
      made.weights.push_back(static_cast<int>(weight));
      made.values.push_back(static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX)));
      total += weight;
    }
    const std::int64_t capacity =
        fill < 0 ? wide_uniform(0, total + 2)
                 : static_cast<std::int64_t>(fill * static_cast<double>(total));
    made.capacity = static_cast<int>(std::min<std::int64_t>(capacity, INT_MAX));
    const bool even =
        kind == family::even_odd_subset_sum || kind == family::even_odd_strongly_correlated;
    if (even && made.capacity % 2 == 0) made.capacity = std::max(made.capacity - 1, 1);
    return made;
  }

  // The same class as published at full size: `groups` groups of `per_group` elements whose
  // weights sit a share `spread` of the capacity above c/2, c/4, c/8, ..., give or take 300, each
  // worth its weight give or take 250, and `light` light elements of weight and value up to 300.
  test_instance published_groups(int capacity, int groups, int per_group, int light,
                                 double spread) {
    const int offset = std::max(1, static_cast<int>(spread * capacity));
    test_instance made{{}, {}, capacity};
    for (int group = 1; group <= groups; ++group) {
      for (int k = 0; k < per_group; ++k) {
        made.weights.push_back((capacity >> group) + offset + uniform(0, 300));
        made.values.push_back(made.weights.back() + uniform(-250, 250));
      }
    }
    for (int k = 0; k < light; ++k) {
      made.weights.push_back(uniform(1, 300));
      made.values.push_back(uniform(1, 300));
    }
    return made;
  }

  // The published class built against the classic methods, small: `groups` groups of
  // `per_group` elements whose weights sit just above c/2, c/4, c/8, ..., worth their weight give
  // or take a little, and `light` light elements of scattered value.
  test_instance grouped(int capacity, int groups, int per_group, int light) {
    const int offset = uniform(1, capacity / 100);
    test_instance made{{}, {}, capacity};
    for (int group = 1; group <= groups; ++group) {
      for (int k = 0; k < per_group; ++k) {
        made.weights.push_back((capacity >> group) + offset + uniform(0, offset / 10));
        made.values.push_back(made.weights.back() + uniform(-offset / 10, offset / 10));
      }
    }
    for (int k = 0; k < light; ++k) {
      made.weights.push_back(uniform(1, capacity / 1000 + 1));
      made.values.push_back(uniform(1, capacity / 1000 + 1));
    }
    return made;
  }

 private:
  struct pair {
    std::int64_t weight;
    std::int64_t value;
  };
  std::vector<pair> spanners_;

  pair element_of(family kind, std::int64_t range) {
    std::int64_t w = wide_uniform(uniform(0, 5) == 0 ? 0 : 1, range);
    switch (kind) {
      case family::common_divisor:
        w = 6 * (w / 6);
        break;
      case family::alike:
        w = 1 + w % 3;
        break;
      case family::even_odd_subset_sum:
      case family::even_odd_strongly_correlated:
        w = 2 * (w / 2);
        break;
      case family::similar_weights:
        w = range + wide_uniform(0, range / 100);
        break;
      case family::spanner: {
        const pair& base =
            spanners_[static_cast<std::size_t>(uniform(0, static_cast<int>(spanners_.size()) - 1))];
        const std::int64_t times = uniform(1, 10);
        return {times * base.weight, times * base.value};
      }
      default:
        break;
    }
    return {w, value_for(kind, w, range)};
  }

  std::int64_t value_for(family kind, std::int64_t weight, std::int64_t range) {
    switch (kind) {
      case family::uncorrelated:
      case family::common_divisor:
      case family::similar_weights:
        return wide_uniform(1, std::max<std::int64_t>(30, range));
      case family::huge:
        return uniform(INT_MAX / 4, INT_MAX);
      case family::weakly_correlated:
        return std::max<std::int64_t>(1, weight + wide_uniform(-range / 10, range / 10));
      case family::strongly_correlated:
      case family::even_odd_strongly_correlated:
        return weight + std::max<std::int64_t>(1, range / 10);
      case family::almost_strongly_correlated:
        return weight + std::max<std::int64_t>(1, range / 10) +
               wide_uniform(-range / 500, range / 500);
      case family::inverse_strongly_correlated:
        return weight - std::max<std::int64_t>(1, range / 10);
      case family::equal_efficiency:
        return 3 * weight;
      case family::profit_ceiling:
        return 3 * ((weight + 2) / 3);
      case family::alike:
        return (weight % 3 + 1) * (INT_MAX / 8);
      case family::multiple_strongly_correlated:
        return weight + (weight % 6 == 0 ? 3 : 2) * std::max<std::int64_t>(10, range / 10);
      case family::even_odd_subset_sum:
        return weight;
      case family::circle: {
        const auto r = static_cast<double>(range);
        const auto off = static_cast<double>(weight) - 2 * r;
        return static_cast<std::int64_t>(2.0 / 3.0 *
                                         std::sqrt(std::max(0.0, 4 * r * r - off * off)));
      }
      case family::mixed_signs:
      case family::spanner:
        break;
    }
    return uniform(0, 3) == 0 ? uniform(-5, 0) : weight;
  }
};
