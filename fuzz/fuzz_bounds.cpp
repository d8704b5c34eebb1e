// Decodes its bytes into a small instance of one of the knapsack literature's families, its alike
// elements as pieces or not, and checks every bound of the bounds module against every subset:
// each must enclose the best value of the selections it speaks of, and each test in floating
// point must agree with the exact one wherever it decides (tests/bounds_check.hpp).
//
// The first bytes choose the family, the number of elements, the range of the weights, the
// capacity's share of the total weight, pieces or not, and the lower bound the bounds are asked
// with; the rest seed the draws.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "bounds_check.hpp"
#include "bytes.hpp"
#include "families.hpp"

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bytes from(data, size);
  const family kind = families[from.next(1) % std::size(families)];
  const auto n = static_cast<std::size_t>(from.next(1) % (bounds_check_most + 1));
  const int range = static_cast<int>(1 + from.next(4) % (1U << (1 + from.next(1) % 30)));
  const double fill = (from.next(1) + 1) / 256.0;
  const std::uint32_t options = from.next(1);
  generator make(from.next(4));
  const test_instance made = make.instance(kind, n, range, fill);
  const std::vector<element> open = open_by_rate(made, (options & 1) != 0);
  const auto fail = [&](const std::string& what) {
    std::fprintf(stderr, "bound violated: %s (%zu elements, capacity %d)\n", what.c_str(),
                 open.size(), made.capacity);
    std::abort();
  };
  const bounds_check probe(open, made.capacity, 0, fail);
  // The lower bound: the best value itself, some way below it, or nothing at all.
  const std::int64_t best = probe.best();
  const std::int64_t lower = (options >> 1) % 3 == 0   ? best
                             : (options >> 1) % 3 == 1 ? best - 1 - best * (options >> 3) / 32
                                                       : 0;
  bounds_check(open, made.capacity, std::max<std::int64_t>(0, lower), fail).run();
  return 0;
}
