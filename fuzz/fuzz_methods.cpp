// Decodes its bytes into an instance of one of the knapsack literature's families, up to a few
// hundred elements at capacities up to 2^31 - 1, and checks every method the solver has, each
// forced in turn, and the solver's own choice, against an oracle written here: one row over the
// capacity where that is cheap, else the list of every undominated selection. An instance whose
// list grows past what the oracle takes is not worth keeping.
//
// The first bytes choose the family, the number of elements, the range of the weights, the
// capacity's share of the total weight and the threads; the rest seed the draws.

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

#include "families.hpp"
#include "knapsack.hpp"
#include "oracle.hpp"
#include "solve.hpp"

namespace {

constexpr std::size_t most_elements = 400;
// Cells, or words of bits, up to which each costs some tenths of a second under the sanitizers.
constexpr std::int64_t row_cells = 2'000'000;     // the oracle's one row; past it, its list
constexpr std::size_t list_entries = 1 << 15;     // the oracle's list; past it, no answer
constexpr std::int64_t forced_cells = 4'000'000;  // the whole table, two rows, the rows, forced
constexpr std::size_t memory = std::size_t{512} << 20;

// The input's bytes, in order, then zeros.
class bytes {
 public:
  bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint32_t next(int count) {
    std::uint32_t number = 0;
    for (int k = 0; k < count; ++k) number = number << 8 | (at_ < size_ ? data_[at_++] : 0U);
    return number;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

struct decoded {
  test_instance made;
  unsigned threads;
};

decoded decode(const std::uint8_t* data, std::size_t size) {
  bytes from(data, size);
  const std::uint32_t kind = from.next(1) % (std::size(families) + 1);  // the last: groups
  const auto n = static_cast<std::size_t>(1 + from.next(2) % most_elements);
  const int range = static_cast<int>(1 + from.next(4) % (1U << (1 + from.next(1) % 30)));
  const double fill = (from.next(1) + 1) / 256.0;
  const unsigned threads = 1 + from.next(1) % 3;
  generator make(from.next(4));
  if (kind == std::size(families)) {
    const int capacity = static_cast<int>(1000 + from.next(4) % (INT_MAX - 1000));
    const auto groups = static_cast<int>(2 + n % 6);
    const auto per_group = static_cast<int>(1 + n / 6 % 20);
    return {make.grouped(capacity, groups, per_group, static_cast<int>(n % 100)), threads};
  }
  return {make.instance(families[kind], n, range, fill), threads};
}

void check(bool holds, const char* property, const test_instance& i, const char* way) {
  if (holds) return;
  std::fprintf(stderr, "property violated by %s: %s (%zu elements, capacity %d)\n", way, property,
               i.weights.size(), i.capacity);
  std::abort();
}

// The solver within `limits` gives `best`, or refuses a best value past INT_MAX; the lists,
// which may run out of their memory, may say so.
void check_way(const test_instance& i, std::int64_t best, const solver_limits& limits,
               const solver_hooks& hooks, const char* way) {
  const bool may_run_short =
      hooks.open == open_method::lists || hooks.open == open_method::heavy_lists;
  try {
    const solution got = solve(i.values, i.weights, i.capacity, limits, hooks);
    check(got.best == best, "the best value", i, way);
    check(got.upper >= best, "a bound no lower than the best value", i, way);
  } catch (const std::overflow_error&) {
    check(best > INT_MAX, "a best value past INT_MAX refused, and no other", i, way);
  } catch (const std::bad_alloc&) {
    check(may_run_short, "memory enough for every method but the lists", i, way);
  }
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [made, threads] = decode(data, size);
  const std::int64_t cells =
      static_cast<std::int64_t>(made.weights.size()) * (std::int64_t{made.capacity} + 1);
  std::optional<std::int64_t> best;
  if (cells <= row_cells) {
    best = one_row(made.values, made.weights, made.capacity);
  } else {
    best = pareto(made.values, made.weights, made.capacity, list_entries);
  }
  if (!best) return -1;

  check_way(made, *best, {.memory = memory, .threads = threads}, {}, "the solver's own choice");
  struct forced_way {
    solver_hooks hooks;
    bool applies;
    const char* name;
  };
  const bool dense = cells <= forced_cells;
  const forced_way ways[] = {
      {{.given = given_method::whole_table}, dense, "the whole table"},
      {{.given = given_method::two_rows}, dense, "two rows of every column"},
      {{.open = open_method::lists}, true, "the step lists"},
      {{.open = open_method::heavy_lists}, true, "the lists from the heaviest element"},
      {{.open = open_method::halves}, true, "the halves"},
      {{.open = open_method::rows}, dense, "the rows"},
      {{.open = open_method::bit_rows}, cells / 64 <= forced_cells, "the rows of bits"},
  };
  for (const forced_way& way : ways) {
    if (!way.applies) continue;
    const solver_limits limits{.table = way.hooks.given == given_method::whole_table ? SIZE_MAX : 0,
                               .memory = memory,
                               .threads = threads};
    check_way(made, *best, limits, way.hooks, way.name);
  }
  return 0;
}
