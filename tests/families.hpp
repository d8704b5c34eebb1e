#pragma once

// Instances of the knapsack literature's families, small enough for the oracles of oracle.hpp:
// shared by the tests of the solver and of the reduction.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <random>
#include <tuple>
#include <vector>

// Families that the reduction and the step lists treat differently: values unrelated to the
// weight, near the 32-bit limit, the weight plus a constant (the bound by the most elements
// decides), the weight less a constant (the bound by the fewest), equal value per weight (no step
// dominates another), the weight itself with some zero or negative, weights with a common divisor,
// values with one (3 ceil(weight / 3)), many elements alike, worth an eighth of INT_MAX or
// more, so that pieces of them would pass INT_MAX, and the weight plus one of two constants by
// the weight's remainder (the bound that counts each kind decides).
enum class family {
  uncorrelated,
  huge,
  strongly_correlated,
  inverse_strongly_correlated,
  equal_efficiency,
  mixed_signs,
  common_divisor,
  profit_ceiling,
  alike,
  multiple_strongly_correlated,
};
constexpr family families[] = {family::uncorrelated,
                               family::huge,
                               family::strongly_correlated,
                               family::inverse_strongly_correlated,
                               family::equal_efficiency,
                               family::mixed_signs,
                               family::common_divisor,
                               family::profit_ceiling,
                               family::alike,
                               family::multiple_strongly_correlated};

struct generator {
  std::mt19937 random{20261208};

  int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

  int value_for(family kind, int weight, int max_weight) {
    switch (kind) {
      case family::uncorrelated:
      case family::common_divisor:
        return uniform(1, 30);
      case family::inverse_strongly_correlated:
        return weight - std::max(1, max_weight / 10);
      case family::profit_ceiling:
        return 3 * ((weight + 2) / 3);
      case family::alike:
        return (weight % 3 + 1) * (INT_MAX / 8);
      case family::huge:
        return uniform(INT_MAX / 4, INT_MAX);
      case family::strongly_correlated:
        return weight + 10;
      case family::equal_efficiency:
        return 3 * weight;
      case family::multiple_strongly_correlated:
        return weight + (weight % 6 == 0 ? 30 : 20);
      case family::mixed_signs:
        break;
    }
    return uniform(0, 3) == 0 ? uniform(-5, 0) : weight;
  }

  // n elements with weights up to max_weight; the capacity anywhere from 0 to past their total.
  std::tuple<std::vector<int>, std::vector<int>, int> instance(family kind, std::size_t n,
                                                               int max_weight) {
    std::vector<int> values(n);
    std::vector<int> weights(n);
    int total = 0;
    for (std::size_t k = 0; k < n; ++k) {
      weights[k] = uniform(uniform(0, 5) == 0 ? 0 : 1, max_weight);
      if (kind == family::common_divisor) weights[k] = 6 * (weights[k] / 6);
      if (kind == family::alike) weights[k] = 1 + weights[k] % 3;
      values[k] = value_for(kind, weights[k], max_weight);
      total += weights[k];
    }
    return {values, weights, uniform(0, total + 2)};
  }

  // The published class built against the classic methods, small: `groups` groups of
  // `per_group` elements whose weights sit just above c/2, c/4, c/8, ..., worth their weight give
  // or take a little, and `light` light elements of scattered value.
  std::tuple<std::vector<int>, std::vector<int>, int> grouped(int capacity, int groups,
                                                              int per_group, int light) {
    const int offset = uniform(1, capacity / 100);
    std::vector<int> values;
    std::vector<int> weights;
    for (int group = 1; group <= groups; ++group) {
      for (int k = 0; k < per_group; ++k) {
        weights.push_back((capacity >> group) + offset + uniform(0, offset / 10));
        values.push_back(weights.back() + uniform(-offset / 10, offset / 10));
      }
    }
    for (int k = 0; k < light; ++k) {
      weights.push_back(uniform(1, capacity / 1000 + 1));
      values.push_back(uniform(1, capacity / 1000 + 1));
    }
    return {values, weights, capacity};
  }
};
