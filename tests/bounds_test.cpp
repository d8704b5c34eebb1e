#include "bounds.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bounds_check.hpp"
#include "families.hpp"

namespace {

// Every family of the literature, few elements, against every subset, each bound asked with three
// lower bounds: the greedy selection's value, one below the best value, and the best value itself.
TEST(Bounds, EncloseTheBestValueAndAgreeExactly) {
  generator make(20261211);
  for (std::size_t round = 0; round < 1200; ++round) {
    const family kind = families[round % std::size(families)];
    const test_instance i = make.instance(kind, static_cast<std::size_t>(make.uniform(0, 10)),
                                          round % 3 == 0 ? 12 : 1000);
    const std::vector<element> open = open_by_rate(i, round % 2 == 0);
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const auto fail = [](const std::string& what) { ADD_FAILURE() << what; };
    const bounds_check probe(open, i.capacity, 0, fail);
    const greedy g = greedy_at(open, i.capacity);
    for (const std::int64_t lower :
         {g.value, std::max<std::int64_t>(0, probe.best() - 1), probe.best()}) {
      bounds_check(open, i.capacity, lower, fail).run();
    }
  }
}

// A weight's class never exceeds a heavier weight's: every step from w to w + 1, from 1 to 2^20
// and about every power of two up to 2^62, so that the classes of the rooms hold every weight that
// fits in them.
TEST(Bounds, WeightClassesFollowTheWeights) {
  for (std::int64_t w = 1; w < (std::int64_t{1} << 20); ++w) {
    ASSERT_LE(class_of(w), class_of(w + 1)) << w;
  }
  for (int bit = 20; bit < 62; ++bit) {
    const std::int64_t power = std::int64_t{1} << bit;
    for (std::int64_t w = power - 9; w <= power + 9; ++w) {
      ASSERT_LE(class_of(w), class_of(w + 1)) << w;
      ASSERT_LT(class_of(w), weight_classes) << w;
    }
  }
}

}  // namespace
