#include "knapsack.hpp"

#include <climits>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "oracle.hpp"

namespace {

// Every case runs on both layouts, the whole table and two rows (budget 0), and on two rows
// without pruning.
int solve_every_way(const std::vector<int>& values, const std::vector<int>& weights, int capacity) {
  const int whole = knapsack(values, weights, capacity);
  EXPECT_EQ(knapsack_within(values, weights, capacity, 0), whole) << "two rows disagree";
  EXPECT_EQ(knapsack_within(values, weights, capacity, 0, false), whole) << "unpruned disagrees";
  return whole;
}

struct known_case {
  const char* guards_against;
  std::vector<int> values;
  std::vector<int> weights;
  int capacity;
  int best;
};

// guards_against, values, weights, capacity, best
const known_case known_cases[] = {
    {"no elements", {}, {}, 7, 0},
    {"no elements, no capacity", {}, {}, 0, 0},
    {"taking an element that does not fit", {5}, {1}, 0, 0},
    {"column 0 left unfilled", {5}, {0}, 0, 5},
    {"weight 0 ignored", {5}, {0}, 1, 5},
    {"weight-0 element lost when a later one fills the rest", {5, 10}, {0, 1}, 1, 15},
    {"element order mattering", {10, 5}, {1, 0}, 1, 15},
    {"a weight equal to the capacity refused", {10}, {5}, 5, 10},
    {"a weight just over the capacity accepted", {10}, {6}, 5, 0},
    {"greedy by value", {60, 100, 120}, {10, 20, 30}, 50, 220},
    {"greedy by ratio", {1, 4, 5, 7}, {1, 3, 4, 5}, 7, 9},
    {"an element used twice", {3, 3}, {2, 2}, 3, 3},
    {"a negative value taken", {-3, 4}, {1, 1}, 2, 4},
    {"only negative values", {-1, -2}, {0, 0}, 3, 0},
    {"values beyond the weights read", {1, 2, 3}, {1}, 5, 1},
    {"INT_MAX itself refused", {INT_MAX}, {1}, 1, INT_MAX},
    {"a sum of exactly INT_MAX refused", {INT_MAX - 1, 1}, {1, 1}, 2, INT_MAX},
    {"saturating a pair that cannot fit", {INT_MAX, INT_MAX}, {1, 1}, 1, INT_MAX},
    {"saturating a best below INT_MAX", {2000000000, 2000000000, 5}, {3, 3, 1}, 4, 2000000005},
};

TEST(Knapsack, AnswersKnownInstances) {
  for (const auto& c : known_cases) {
    SCOPED_TRACE(c.guards_against);
    EXPECT_EQ(solve_every_way(c.values, c.weights, c.capacity), c.best);
  }
}

TEST(Knapsack, RefusesBestValueBeyondIntMax) {
  EXPECT_THROW(knapsack({INT_MAX, 1}, {1, 1}, 2), std::overflow_error);
  EXPECT_THROW(knapsack_within(std::vector{2000000000, 2000000000}, std::vector{1, 1}, 2, 0),
               std::overflow_error);
  EXPECT_THROW(knapsack(std::vector<int>(3, 1000000000), {0, 0, 0}, 0), std::overflow_error);
}

TEST(Knapsack, RefusesArgumentsOutsideTheTable) {
  EXPECT_THROW(knapsack({1}, {1}, -1), std::invalid_argument);
  EXPECT_THROW(knapsack({1, 2}, {1, -1}, 5), std::invalid_argument);
  EXPECT_THROW(knapsack({1}, {1, 1}, 5), std::invalid_argument);
}

TEST(Knapsack, MatchesBruteForceOnRandomInstances) {
  std::mt19937 random(20261208);
  const auto uniform = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 3000; ++round) {
    const bool huge = round % 10 == 0;  // values near the 32-bit limit
    const auto n = static_cast<std::size_t>(uniform(0, 10));
    std::vector<int> values(n);
    std::vector<int> weights(n);
    for (std::size_t k = 0; k < n; ++k) {
      values[k] = huge ? uniform(INT_MAX / 4, INT_MAX) : uniform(-5, 30);
      weights[k] = uniform(0, 12);
    }
    const int capacity = uniform(0, 40);
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const std::int64_t expected = brute_force(values, weights, capacity);
    if (expected > INT_MAX) {
      EXPECT_THROW(knapsack(values, weights, capacity), std::overflow_error);
      EXPECT_THROW(knapsack_within(values, weights, capacity, 0), std::overflow_error);
      EXPECT_THROW(knapsack_within(values, weights, capacity, 0, false), std::overflow_error);
    } else {
      EXPECT_EQ(solve_every_way(values, weights, capacity), expected);
    }
  }
}

}  // namespace
