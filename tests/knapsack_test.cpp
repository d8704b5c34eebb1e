#include "knapsack.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "families.hpp"
#include "oracle.hpp"
#include "reduce.hpp"
#include "run.hpp"
#include "solve.hpp"

namespace {

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
    {"a cell read across a band of columns", {7, 5}, {65535, 2}, 65537, 12},
    {"equal values per weight", {6, 4, 2}, {3, 2, 1}, 4, 8},
    {"the capacity rounded up by the weights' divisor", {10, 14, 25}, {6, 9, 15}, 20, 25},
    {"a capacity below the weights' divisor", {5, 7}, {4, 6}, 3, 0},
    {"elements worth less than their weight counted as taken",
     {4, 10, 13, 2, 8},
     {7, 5, 8, 5, 3},
     14,
     23},
};

TEST(Knapsack, AnswersKnownInstances) {
  for (const auto& c : known_cases) {
    SCOPED_TRACE(c.guards_against);
    EXPECT_EQ(knapsack(c.values, c.weights, c.capacity), c.best);
  }
}

// An instance whose best value is known apart from the program.
struct known_instance {
  std::string name;
  test_instance instance;
  std::int64_t best;
};

// Every instance with a known best value the tests hold: the cases above; every family of the
// literature, few elements against every subset (half of them at ranges up to 12, where alike
// elements abound); more elements of every family but the two past INT_MAX against one row; and
// the published class of grouped weights against one row.
const std::vector<known_instance>& corpus() {
  static const std::vector<known_instance> made = [] {
    std::vector<known_instance> all;
    for (const auto& c : known_cases) {
      all.push_back({c.guards_against, {c.values, c.weights, c.capacity}, c.best});
    }
    generator make;
    for (std::size_t round = 0; round < 3000; ++round) {
      const family kind = families[round % std::size(families)];
      test_instance i =
          make.instance(kind, static_cast<std::size_t>(make.uniform(0, 10)), round % 2 ? 12 : 1000);
      const std::int64_t best = brute_force(i.values, i.weights, i.capacity);
      all.push_back({"every subset, round " + std::to_string(round), std::move(i), best});
    }
    for (std::size_t round = 0; round < 300; ++round) {
      const family kind = families[round % std::size(families)];
      if (kind == family::huge || kind == family::alike) continue;
      test_instance i = make.instance(kind, static_cast<std::size_t>(make.uniform(11, 80)), 300);
      const std::int64_t best = one_row(i.values, i.weights, i.capacity);
      all.push_back({"one row, round " + std::to_string(round), std::move(i), best});
    }
    for (int round = 0; round < 60; ++round) {
      test_instance i = make.grouped(make.uniform(20000, 100000), make.uniform(2, 7),
                                     make.uniform(3, 12), make.uniform(5, 30));
      const std::int64_t best = one_row(i.values, i.weights, i.capacity);
      all.push_back({"grouped weights, round " + std::to_string(round), std::move(i), best});
    }
    return all;
  }();
  return made;
}

// A way to answer, forced: a method for the instance as given, or one for the open elements,
// after a reduction that decides what it can or that leaves every element open.
struct forced_way {
  const char* name;
  std::optional<given_method> given;
  std::optional<open_method> open;
  bool keep_open;
};

const forced_way every_way[] = {
    {"WholeTable", given_method::whole_table, std::nullopt, false},
    {"TwoRows", given_method::two_rows, std::nullopt, false},
    {"Lists", std::nullopt, open_method::lists, false},
    {"ListsOverEveryElement", std::nullopt, open_method::lists, true},
    {"HeavyLists", std::nullopt, open_method::heavy_lists, false},
    {"HeavyListsOverEveryElement", std::nullopt, open_method::heavy_lists, true},
    {"Halves", std::nullopt, open_method::halves, false},
    {"HalvesOverEveryElement", std::nullopt, open_method::halves, true},
    {"Rows", std::nullopt, open_method::rows, false},
    {"RowsOverEveryElement", std::nullopt, open_method::rows, true},
    {"BitRows", std::nullopt, open_method::bit_rows, false},
    {"BitRowsOverEveryElement", std::nullopt, open_method::bit_rows, true},
};

// How a test run names its way.
// NOLINTNEXTLINE(readability-identifier-naming): the name GoogleTest looks for
void PrintTo(const forced_way& way, std::ostream* out) {
  *out << way.name;
}

// NOLINTNEXTLINE(readability-identifier-naming): a test's name, which GoogleTest forbids '_' in
class EveryWay : public ::testing::TestWithParam<forced_way> {};

// Each way, forced, on every instance of the corpus: the best value, or the refusal of one past
// INT_MAX; a bound no lower than it; and the forced way itself answering wherever it applies
// (over every element, wherever an element is worth taking), not another in its place.
TEST_P(EveryWay, AnswersEveryKnownInstanceItself) {
  const forced_way& way = GetParam();
  const solver_hooks hooks{.given = way.given, .open = way.open, .keep_open = way.keep_open};
  // No whole table but where forced, and two threads for the rows.
  const solver_limits limits{.table = way.given ? SIZE_MAX : 0, .threads = 2};
  for (const known_instance& known : corpus()) {
    SCOPED_TRACE(known.name);
    const test_instance& i = known.instance;
    if (known.best > INT_MAX) {
      EXPECT_THROW(solve(i.values, i.weights, i.capacity, limits, hooks), std::overflow_error);
      continue;
    }
    const solution s = solve(i.values, i.weights, i.capacity, limits, hooks);
    EXPECT_EQ(s.best, known.best);
    EXPECT_GE(s.upper, known.best);
    if (way.given) {
      EXPECT_EQ(s.how, *way.given);
    } else if (applies(*way.open, i) && (s.by || way.keep_open)) {
      EXPECT_EQ(s.by, way.open) << "another method answered for the one forced";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forced, EveryWay, ::testing::ValuesIn(every_way),
                         [](const auto& named) { return std::string(named.param.name); });

// A subset sum that no divisor helps and whose capacity cannot be reached: multiples of 3 and one
// weight of 1 more, at a capacity of 2 more. No selection meets the bound and 50 elements are too
// many for the halves, so the step lists grow until they give up. With memory for neither them nor
// the rows, the solver must refuse rather than take what it was not given; with room for the
// rows, it answers.
TEST(Knapsack, TakesNoMoreMemoryThanGiven) {
  const test_instance unreachable = unreachable_subset_sum(50, 1000, 3000, 3 * 15000 + 2);
  const auto solve_within = [&](std::size_t memory) {
    return knapsack(unreachable.values, unreachable.weights, unreachable.capacity,
                    {.memory = memory});
  };
  EXPECT_THROW(solve_within(4000), std::bad_alloc);
  EXPECT_EQ(solve_within(100000), unreachable.capacity - 1);
  // Where no row fits, the lists (both kinds: the elements are heavy here) share the room, half
  // the memory, however much work they may do, and no row follows them: here 2908 bytes, too
  // few, where a row takes 2912. The reduction decides nothing here, so that the lists face
  // every element, which no bound it has cuts down to a few.
  const std::vector<int> values{63, 55, 19, 61, 13, 40, 40, 56, 10, 57, 35, 49, 46, 19, 14, 24,
                                63, 54, 24, 58, 61, 57, 32, 11, 48, 12, 39, 20, 12, 42, 36, 60,
                                62, 32, 66, 55, 39, 28, 53, 49, 31, 42, 47, 32, 44, 15};
  const std::vector<int> loose{55, 46, 11, 54, 5,  31, 33, 49, 1,  50, 28, 40, 38, 10, 7,  15,
                               55, 46, 15, 50, 54, 48, 23, 3,  41, 3,  30, 12, 3,  35, 28, 51,
                               54, 25, 58, 47, 32, 21, 44, 40, 24, 34, 38, 25, 35, 8};
  const std::size_t rows = std::size_t{4} * (727 + 1);  // one row of 4-byte cells, in place
  EXPECT_THROW(
      solve(values, loose, 727, {.table = 0, .memory = 2 * (rows - 4)}, {.keep_open = true}),
      std::bad_alloc);
  EXPECT_EQ(
      solve(values, loose, 727, {.table = 0, .memory = 2 * (rows + 16)}, {.keep_open = true}).by,
      open_method::rows);
  EXPECT_EQ(knapsack(std::vector{1, 1}, std::vector{1, 1}, 0, {.table = 0, .memory = 0}), 0);
}

// A reader of the machine's limits that counts its calls, and gives too little memory for the
// instance below.
int machine_reads = 0;
machine_limits little_memory() {
  ++machine_reads;
  return {.memory = 4000, .threads = 1};
}

// The machine is read only where a plan depends on it, once, and then what it says holds.
TEST(Knapsack, ReadsTheMachineOnlyWhereAPlanNeedsIt) {
  machine_reads = 0;
  EXPECT_EQ(knapsack({60, 100, 120}, {10, 20, 30}, 50, {.machine = little_memory}), 220);
  EXPECT_EQ(machine_reads, 0) << "a small table";
  EXPECT_EQ(knapsack({5, 7}, {3, 4}, 10000000, {.machine = little_memory}), 12);
  EXPECT_EQ(machine_reads, 0) << "past the budget, where the reduction answers";
  const test_instance unreachable = unreachable_subset_sum(50, 1000, 3000, 3 * 15000 + 2);
  EXPECT_THROW(knapsack(unreachable.values, unreachable.weights, unreachable.capacity,
                        {.machine = little_memory}),
               std::bad_alloc);
  EXPECT_EQ(machine_reads, 1) << "a table of 9 MB, then the lists";
}

TEST(Knapsack, RefusesArgumentsOutsideTheTable) {
  EXPECT_THROW(knapsack({1}, {1}, -1), std::invalid_argument);
  EXPECT_THROW(knapsack({1, 2}, {1, -1}, 5), std::invalid_argument);
  EXPECT_THROW(knapsack({1}, {1, 1}, 5), std::invalid_argument);
}

// The step lists on small instances of the published class built against them, where a room often
// fits none of the elements next in order but lighter ones after them: there the bound by the
// elements that fit decides, and a fault in it shows on a few instances in a thousand.
TEST(Knapsack, StepListsMatchOneRowOnGroupedWeights) {
  generator make(2);
  for (int round = 0; round < 2000; ++round) {
    const auto [values, weights, capacity] = make.grouped(
        make.uniform(2000, 20000), make.uniform(2, 7), make.uniform(3, 12), make.uniform(5, 30));
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const solution s = solve(values, weights, capacity, {.table = 0}, {.open = open_method::lists});
    ASSERT_EQ(s.best, one_row(values, weights, capacity));
  }
}

// The lists from the heaviest element alone, with the coarse rows from `coarse_from` steps on.
std::int64_t by_heavy_lists(std::vector<int> values, std::vector<int> weights, int capacity,
                            std::size_t coarse_from) {
  const reduced r = ::reduce(values, weights, capacity);
  if (r.sorted.empty()) return r.lower;
  const method_result open =
      entry_of(open_method::heavy_lists).solve(r, {.coarse_from = coarse_from});
  if (!open.best) throw std::logic_error("the heavy lists gave up without a limit");
  return std::max(r.lower, r.fixed + *open.best);
}

// The lists from the heaviest element, with every bound they use (the coarse rows from the first
// step), against every subset.
TEST(Knapsack, HeavyListsMatchBruteForceOnGroupedWeights) {
  generator make;
  for (int round = 0; round < 200; ++round) {
    const auto [values, weights, capacity] = make.grouped(
        make.uniform(1000, 1000000), make.uniform(2, 4), make.uniform(2, 4), make.uniform(2, 6));
    SCOPED_TRACE(::testing::Message() << "round " << round);
    EXPECT_EQ(by_heavy_lists(values, weights, capacity, 1), brute_force(values, weights, capacity));
  }
}

// Long enough that the lists pass the width of the narrow lists that run before them, whose
// lower bound then prunes: against one row.
TEST(Knapsack, HeavyListsMatchOneRowPastTheNarrowLists) {
  generator make;
  for (int round = 0; round < 12; ++round) {
    const auto [values, weights, capacity] =
        make.grouped(make.uniform(50000, 200000), make.uniform(4, 6), make.uniform(12, 20),
                     make.uniform(20, 40));
    SCOPED_TRACE(::testing::Message() << "round " << round);
    EXPECT_EQ(by_heavy_lists(values, weights, capacity, coarse_after),
              one_row(values, weights, capacity));
  }
}

// 40 and 60 elements at capacity INT_MAX, weights multiples of 2^25: the halves and the step
// lists against one row over the same instance with the weights divided by hand (capacity 63).
TEST(Knapsack, ManyElementsAtTheLargestCapacity) {
  generator make;
  for (const std::size_t n : {40U, 60U}) {
    SCOPED_TRACE(n);
    std::vector<int> values(n);
    std::vector<int> small(n);
    std::vector<int> weights(n);
    for (std::size_t k = 0; k < n; ++k) {
      small[k] = make.uniform(1, 15);
      values[k] = 1000 * small[k] + make.uniform(0, 300);  // close to the weight: bounds stay loose
      weights[k] = small[k] << 25;
    }
    EXPECT_EQ(knapsack(values, weights, INT_MAX, {.table = 0}), one_row(values, small, 63));
  }
}

}  // namespace
