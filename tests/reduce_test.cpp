#include "reduce.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "families.hpp"
#include "oracle.hpp"

namespace {

// The best value of the elements the reduction left open, within the room it left them.
std::int64_t best_of_open(const reduced& r) {
  std::vector<std::int64_t> values;
  std::vector<std::int64_t> weights;
  for (const element& e : r.sorted) {
    values.push_back(e.value);
    weights.push_back(e.weight);
  }
  return brute_force(values, weights, r.capacity);
}

// Every family, against every subset: the bounds enclose the best value, and where they have not
// met, the elements decided are decided as some best selection has them, so that the decided
// value and the best of what is left open make the best value (or the lower bound does).
TEST(Reduce, DecidesOnlyWhatTheBestValueAllows) {
  generator make;
  for (std::size_t round = 0; round < 3000; ++round) {
    const family kind = families[round % std::size(families)];
    const auto [values, weights, capacity] =
        make.instance(kind, static_cast<std::size_t>(make.uniform(0, 12)), round % 2 ? 12 : 1000);
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const std::int64_t best = brute_force(values, weights, capacity);
    const reduced r = ::reduce(values, weights, capacity);
    EXPECT_LE(r.lower, best);
    EXPECT_GE(r.upper, best);
    if (r.lower < r.upper) {
      EXPECT_EQ(std::max(r.lower, r.fixed + best_of_open(r)), best);
    }
  }
}

}  // namespace
