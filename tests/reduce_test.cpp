#include "reduce.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "core.hpp"
#include "families.hpp"
#include "oracle.hpp"

namespace {

// The best value of the elements left open within the room left them, by every subset or, where
// too many for that, by one row.
std::int64_t best_of_open(const std::vector<element>& open, std::int64_t capacity) {
  std::vector<std::int64_t> values;
  std::vector<std::int64_t> weights;
  for (const element& e : open) {
    values.push_back(e.value);
    weights.push_back(e.weight);
  }
  return open.size() <= 16 ? brute_force(values, weights, capacity)
                           : one_row(values, weights, capacity);
}

// Every family, against every subset: the bounds enclose the best value, and where they have not
// met, the elements decided are decided as some best selection has them, so that the decided
// value and the best of what is left open make the best value (or the lower bound does).
TEST(Reduce, DecidesOnlyWhatTheBestValueAllows) {
  generator make;
  for (std::size_t round = 0; round < 3000; ++round) {
    const family kind = families[round % std::size(families)];
    auto [values, weights, capacity] =
        make.instance(kind, static_cast<std::size_t>(make.uniform(0, 12)), round % 2 ? 12 : 1000);
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const std::int64_t best = brute_force(values, weights, capacity);
    const reduced r = ::reduce(values, weights, capacity);
    EXPECT_LE(r.lower, best);
    EXPECT_GE(r.upper, best);
    if (r.lower < r.upper) {
      EXPECT_EQ(std::max(r.lower, r.fixed + best_of_open(r.sorted, r.capacity)), best);
    }
  }
}

// Values on a quarter circle over the weights, where the best selections exchange an element of
// the greedy selection for a heavier one: what the reduction decides by the count of the heavier
// elements leaves the best value to find, at capacities from a tenth to nine tenths, and it
// decides nearly every element, where the linear and count bounds leave about half of them open.
TEST(Reduce, DecidesNearlyEveryElementOfACircleByTheHeavierCount) {
  generator make(20261212);
  for (std::size_t round = 0; round < 100; ++round) {
    const double fill = 0.1 + 0.8 * static_cast<double>(round % 5) / 4;
    auto [values, weights, capacity] = make.instance(family::circle, 60 + round % 7 * 40,
                                                     300 + static_cast<int>(round % 3) * 700, fill);
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const std::int64_t best = one_row(values, weights, capacity);
    const reduced r = ::reduce(values, weights, capacity);
    EXPECT_LE(r.lower, best);
    EXPECT_GE(r.upper, best);
    EXPECT_LE(r.sorted.size(), 16 + values.size() / 8);
    if (r.lower < r.upper) {
      EXPECT_EQ(std::max(r.lower, r.fixed + best_of_open(r.sorted, r.capacity)), best);
    }
  }
}

// The first pass over a large instance, on instances too large for every subset and small enough
// for one row: its bounds enclose the best value, and what it decides leaves the best value to
// find, whether the core's alike elements become pieces or not. Some thousands of elements, so
// that a sample brackets the break, and weights small enough that many share a rate.
TEST(Core, DecidesOnlyWhatTheBestValueAllows) {
  generator make(20261210);
  for (std::size_t round = 0; round < std::size(families); ++round) {
    const family kind = families[round];
    auto [values, weights, capacity] = make.instance(kind, 4500, 6, 0.1);
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const std::int64_t best = one_row(values, weights, capacity);
    const core first = core_of(values, weights, capacity, round % 2 == 0 ? 0 : SIZE_MAX);
    EXPECT_LE(first.lower, best);
    EXPECT_GE(first.upper, best);
    if (first.lower < first.upper) {
      EXPECT_EQ(std::max(first.lower, first.fixed + best_of_open(first.open, first.capacity)),
                best);
    }
  }
}

}  // namespace
