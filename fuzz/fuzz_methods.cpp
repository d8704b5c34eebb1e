// Decodes its bytes into an instance of one of the knapsack literature's families and checks the
// solver's own choice and one method forced, the one the bytes name, against an oracle written
// here: every subset for few elements, one row over the capacity where that is cheap, else the
// list of every undominated selection. Most instances are small (up to 40 elements, capacities up
// to some 10^5, most far less), so that the oracle answers at once and a thousand inputs or more
// run a second; one in sixteen has up to 200 elements and a capacity up to 2^31 - 1. An instance
// whose list grows past what the oracle takes is not worth keeping.
//
// The first bytes choose the family, the size, the number of elements, the range of the weights,
// the capacity's share of the total weight, the threads, the method forced and whether the
// reduction decides elements before it; the rest seed the draws.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

#include "bytes.hpp"
#include "families.hpp"
#include "oracle.hpp"
#include "solve.hpp"

namespace {

constexpr std::size_t small_elements = 40;
constexpr std::size_t large_elements = 100;
constexpr std::size_t brute_force_elements = 10;
constexpr std::int64_t row_cells = 1'000'000;   // the oracle's one row; past it, its list
constexpr std::size_t list_entries = 1 << 12;   // the oracle's list; past it, no answer
constexpr std::int64_t forced_cells = 200'000;  // the whole table, two rows, the rows, forced
constexpr std::int64_t small_cells = 20'000;    // the solver's own choice fills a table
constexpr std::size_t memory = std::size_t{512} << 20;

// The ways that can be forced: the two for the instance as given, then one per open method.
constexpr std::uint32_t ways = 7;

struct decoded {
  test_instance made;
  unsigned threads;
  std::uint32_t way;
  bool keep_open;
};

decoded decode(const std::uint8_t* data, std::size_t size) {
  bytes from(data, size);
  const std::uint32_t kind = from.next(1) % (std::size(families) + 2);  // the last two: groups
  const bool large = from.next(1) % 16 == 0;
  const auto n =
      static_cast<std::size_t>(1 + from.next(2) % (large ? large_elements : small_elements));
  // Small instances weigh some 2^15 at most in all, so that one row over them is quick.
  const std::uint32_t range_bits = 1 + from.next(1) % (large ? 30 : 16);
  const auto most = static_cast<std::uint32_t>(large ? 1U << range_bits : (1U << 16) / n);
  const int range =
      static_cast<int>(1 + from.next(4) % std::max(1U, std::min(1U << range_bits, most)));
  const double fill = (from.next(1) + 1) / 256.0;
  const std::uint32_t options = from.next(1);
  const unsigned threads = options % 16 == 0 ? 2 + options / 16 % 2 : 1;
  const bool keep_open = (options & 0x40) != 0;
  const std::uint32_t way = from.next(1) % ways;
  generator make(from.next(4));
  const int capacity =
      static_cast<int>(1000 + from.next(4) % ((large ? INT_MAX - 1000 : (1U << 15))));
  if (kind == std::size(families)) {
    const auto groups = static_cast<int>(2 + n % 6);
    const auto per_group = static_cast<int>(1 + n / 6 % 8);
    return {make.grouped(capacity, groups, per_group, static_cast<int>(n % 30)), threads, way,
            keep_open};
  }
  if (kind == std::size(families) + 1) {
    const auto groups = static_cast<int>(2 + n % 10);
    const auto per_group = static_cast<int>(1 + n / 10 % 6);
    return {make.published_groups(capacity, groups, per_group, static_cast<int>(n % 30),
                                  (n & 1) != 0 ? 0.01 : 0.0),
            threads, way, keep_open};
  }
  return {make.instance(families[kind], n, range, fill), threads, way, keep_open};
}

void check(bool holds, const char* property, const test_instance& i, const char* way) {
  if (holds) return;
  std::fprintf(stderr, "property violated by %s: %s (%zu elements, capacity %d)\n", way, property,
               i.weights.size(), i.capacity);
  std::abort();
}

// The best value by the oracle; nothing where its list grows too long.
std::optional<std::int64_t> oracle(const test_instance& i) {
  if (i.weights.size() <= brute_force_elements) {
    return brute_force(i.values, i.weights, i.capacity);
  }
  const std::int64_t cells =
      static_cast<std::int64_t>(i.weights.size()) * (std::int64_t{i.capacity} + 1);
  if (cells <= row_cells) return one_row(i.values, i.weights, i.capacity);
  return pareto(i.values, i.weights, i.capacity, list_entries);
}

// The solver within `limits` and `hooks` gives `best` and a bound no lower, or refuses a best
// value past INT_MAX; the lists, which may run out of their memory, may say so.
void check_way(const test_instance& i, std::int64_t best, const solver_limits& limits,
               const solver_hooks& hooks, const char* way) {
  const bool may_run_short =
      hooks.open == open_method::lists || hooks.open == open_method::heavy_lists;
  try {
    const solution got = solve(i.values, i.weights, i.capacity, limits, hooks);
    check(got.best == best, "the best value", i, way);
    check(got.upper >= best, "a bound no lower than the best value", i, way);
    if (hooks.open && hooks.keep_open && applies(*hooks.open, i)) {
      check(got.by == hooks.open, "the forced method answering itself", i, way);
    }
  } catch (const std::overflow_error&) {
    check(best > INT_MAX, "a best value past INT_MAX refused, and no other", i, way);
  } catch (const std::bad_alloc&) {
    check(may_run_short, "memory enough for every method but the lists", i, way);
  }
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [made, threads, way, keep_open] = decode(data, size);
  const std::optional<std::int64_t> best = oracle(made);
  if (!best) return -1;
  const std::int64_t cells =
      static_cast<std::int64_t>(made.weights.size()) * (std::int64_t{made.capacity} + 1);
  // The solver's own choice beyond the smallest tables, which one of the forced ways fills.
  check_way(
      made, *best,
      {.table = cells <= small_cells ? table_budget : 0, .memory = memory, .threads = threads}, {},
      "the solver's own choice");
  const bool dense = cells <= forced_cells;
  const solver_limits limits{.table = 0, .memory = memory, .threads = threads};
  switch (way) {
    case 0:
      if (dense) {
        check_way(made, *best, {.table = SIZE_MAX, .memory = memory},
                  {.given = given_method::whole_table}, "the whole table");
      }
      break;
    case 1:
      if (dense) {
        check_way(made, *best, limits, {.given = given_method::two_rows}, "two rows, every column");
      }
      break;
    default: {
      struct forced_way {
        open_method how;
        bool applies;
        const char* name;
      };
      const forced_way open_ways[] = {
          {open_method::lists, true, "the step lists"},
          {open_method::heavy_lists, true, "the lists from the heaviest element"},
          {open_method::halves, made.weights.size() <= 26, "the halves"},
          {open_method::rows, dense, "the rows"},
          {open_method::bit_rows, cells / 64 <= forced_cells, "the rows of bits"},
      };
      const forced_way& forced = open_ways[way - 2];
      if (forced.applies) {
        check_way(made, *best, limits, {.open = forced.how, .keep_open = keep_open}, forced.name);
      }
    }
  }
  return 0;
}
