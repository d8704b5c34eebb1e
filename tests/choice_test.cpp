#include "choice.hpp"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "steps.hpp"

namespace {

// How long the lists run before the other method.
enum class lists { none, first, alone };

struct choice_case {
  const char* guards_against;
  shape s;
  solver_limits limits;
  method then;
  lists head;
  bool raced = false;
  unsigned threads = 1;
};

shape given(std::size_t n, std::int64_t capacity) {
  return {n, capacity};
}

// A reduced instance: `open` elements at `capacity`, whose rows compute `cells` cells, the
// heaviest weighing a thousandth of the capacity unless said.
shape open(std::size_t n, std::int64_t capacity, std::uint64_t cells, bool subset_sum = false,
           std::int64_t heaviest = 0) {
  return {.elements = n,
          .capacity = capacity,
          .reduced = true,
          .open = n,
          .open_capacity = capacity,
          .subset_sum = subset_sum,
          .heaviest = heaviest != 0 ? heaviest : capacity / 1000,
          .row_cells = subset_sum ? 0 : cells,
          .bit_words = subset_sum ? cells / 32 : 0};
}

constexpr std::size_t gib = std::size_t{1} << 30;

// guards_against, shape, limits, method, lists, raced, threads
const choice_case choice_cases[] = {
    {"a table of 16 MB not filled", given(1000, 4000), {}, method::whole_table, lists::none},
    {"a table of 1 GB filled", given(1000, 250000), {}, method::reduce, lists::none},
    {"a table filled past half the memory",
     given(100, 10000),
     {.memory = 6 << 20},
     method::reduce,
     lists::none},
    {"the plain reference not run where forced",
     given(1000, 250000),
     {.force = forced::two_rows_full},
     method::two_rows_full,
     lists::none},
    {"a method run where the bounds met", open(0, 1000, 0), {}, method::bounds, lists::none},
    {"few elements left to the rows",
     open(30, 1 << 30, 1ULL << 34),
     {},
     method::halves,
     lists::first},
    {"halves taken past the memory, rows too",
     open(44, 1 << 30, 1ULL << 34),
     {.memory = 1 << 20},
     method::lists,
     lists::alone},
    {"rows taken past the memory",
     open(100, 1 << 30, 1ULL << 36),
     {.memory = gib},
     method::lists,
     lists::alone},
    {"a subset sum given rows of values",
     open(1000, 1 << 20, 1ULL << 30, true),
     {},
     method::bit_rows,
     lists::first},
    {"threads started for short rows",
     open(100, 100000, 1000000),
     {.threads = 2},
     method::rows,
     lists::first},
    {"long rows kept waiting for the lists on two processors",
     open(1000, 100000000, 1ULL << 36),
     {.threads = 2},
     method::rows,
     lists::first,
     true},
    {"long rows raced on one processor",
     open(1000, 100000000, 1ULL << 36),
     {.threads = 1},
     method::rows,
     lists::first},
    {"long rows raced on every processor",
     open(1000, 100000000, 1ULL << 36),
     {.threads = 4},
     method::rows,
     lists::first,
     true,
     3},
    {"middling rows not given every processor",
     open(1000, 1000000, 1ULL << 28),
     {.threads = 2},
     method::rows,
     lists::first,
     false,
     2},
    {"heavy elements left to the lists from the greedy selection",
     open(1000, 100000000, 1ULL << 36, false, 50000001),
     {.threads = 2},
     method::heavy_lists,
     lists::first,
     true},
    {"heavy elements left to the greedy lists where no row fits",
     open(1000, 100000000, 1ULL << 36, false, 50000001),
     {.memory = 600 << 20, .threads = 2},
     method::heavy_lists,
     lists::first,
     true},
    {"heavy elements kept from quick rows",
     open(1000, 1000000, 1ULL << 28, false, 500001),
     {.threads = 2},
     method::rows,
     lists::first,
     false,
     2},
    {"heavy elements raced on one processor",
     open(1000, 100000000, 1ULL << 36, false, 50000001),
     {.threads = 1},
     method::heavy_lists,
     lists::first},
    {"forced lists given a limit",
     open(1000, 100000000, 1ULL << 36),
     {.force = forced::lists},
     method::lists,
     lists::alone},
    {"forced rows given the lists first",
     open(1000, 1 << 20, 1ULL << 30, true),
     {.threads = 2, .force = forced::rows},
     method::bit_rows,
     lists::none,
     false,
     2},
};

TEST(Choice, GivesEachShapeItsMethod) {
  for (const auto& c : choice_cases) {
    SCOPED_TRACE(c.guards_against);
    const plan p = choose(c.s, c.limits);
    EXPECT_EQ(p.then, c.then);
    const lists head = p.head_start == 0            ? lists::none
                       : p.head_start == UINT64_MAX ? lists::alone
                                                    : lists::first;
    EXPECT_EQ(head, c.head);
    EXPECT_EQ(p.raced, c.raced);
    if (c.head != lists::alone) {
      EXPECT_EQ(p.threads, c.threads);
    }
  }
}

// The lists' head start is a share of what the other method costs, whatever that is.
TEST(Choice, HeadStartFollowsTheOtherMethodsCost) {
  const plan short_rows = choose(open(1000, 1000000, 1ULL << 28), {});
  const plan long_rows = choose(open(1000, 1000000, 1ULL << 34), {});
  EXPECT_NEAR(
      static_cast<double>(long_rows.head_start) / static_cast<double>(short_rows.head_start), 64.0,
      1.0);
  const plan few = choose(open(20, 1 << 30, 1ULL << 34), {});
  const plan more = choose(open(40, 1 << 30, 1ULL << 34), {});
  EXPECT_GT(more.head_start, 500 * few.head_start);
}

// The lists never hold more than the rows would, and in a race both fit in half the memory.
TEST(Choice, ListsAndRowsShareTheMemory) {
  const std::size_t memory = 4 * gib;
  const plan raced = choose(open(1000, 1 << 28, 1ULL << 40), {.memory = memory, .threads = 2});
  ASSERT_TRUE(raced.raced);
  const std::size_t rows = std::size_t{4} * ((1 << 28) + 1);  // one row of cells, in place
  EXPECT_LE(raced.list_steps * step_bytes + rows, memory / 2);
  const plan sequential = choose(open(1000, 1 << 20, 1ULL << 30), {.memory = SIZE_MAX});
  EXPECT_LE(sequential.list_steps * step_bytes, std::size_t{8} * ((1 << 20) + 1));
}

}  // namespace
