#include "choice.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "run.hpp"
#include "steps.hpp"

namespace {

struct given_case {
  const char* guards_against;
  given_shape s;
  solver_limits limits;
  std::optional<given_method> forced;
  given_method expected;
};

// guards_against, shape, limits, forced, method
const given_case given_cases[] = {
    {"a table of 16 MB not filled", {1000, 4000}, {}, {}, given_method::whole_table},
    {"a table of 1 GB filled", {1000, 250000}, {}, {}, given_method::reduction},
    {"a table filled past half the memory",
     {100, 10000},
     {.memory = 6 << 20},
     {},
     given_method::reduction},
    {"a small table left to the memory", {100, 1000}, {.memory = 0}, {}, given_method::whole_table},
    {"the plain reference not run where forced",
     {1000, 250000},
     {},
     given_method::two_rows,
     given_method::two_rows},
    {"a forced table refused past the budget",
     {1000, 250000},
     {},
     given_method::whole_table,
     given_method::whole_table},
};

TEST(Choice, AnswersEachGivenShapeItsWay) {
  for (const auto& c : given_cases) {
    SCOPED_TRACE(c.guards_against);
    EXPECT_EQ(choose(c.s, c.limits, c.forced), c.expected);
  }
}

struct choice_case {
  const char* guards_against;
  shape s;
  solver_limits limits;
  plan expected;
  std::optional<open_method> forced = std::nullopt;
};

// A reduced instance: `open` elements at `capacity`, whose rows compute `cells` cells, the
// heaviest weighing a thousandth of the capacity unless said.
shape open(std::size_t n, std::int64_t capacity, std::uint64_t cells, bool subset_sum = false,
           std::int64_t heaviest = 0) {
  return {.open = n,
          .open_capacity = capacity,
          .subset_sum = subset_sum,
          .heaviest = heaviest != 0 ? heaviest : capacity / 1000,
          .row_cells = subset_sum ? 0 : cells,
          .row_cells_halved =
              subset_sum ? 0 : static_cast<std::uint64_t>(static_cast<double>(cells) / 1.9),
          .row_bytes = subset_sum ? 0 : 4 * (static_cast<std::size_t>(capacity) + 1),
          .row_bytes_halved = subset_sum ? 0 : 8 * (static_cast<std::size_t>(capacity) + 1),
          .bit_words = subset_sum ? cells / 32 : 0,
          .bit_bytes = subset_sum ? (static_cast<std::size_t>(capacity) / 64 + 1) * 8 : 0};
}

constexpr std::size_t gib = std::size_t{1} << 30;
constexpr std::size_t unlimited_steps = SIZE_MAX / 2 / step_bytes;  // half of all memory

// The figures follow from the costs choice.cpp states: lists 5 ns a step; rows 0.2 ns a cell
// within 8 MiB and 0.4 beyond (the shapes here cut off 1.9 times fewer cells on two threads, each
// over half the elements), 0.9 t times as fast on t >= 3; bits 1.1 ns a word; halves 16 ns a
// selection. A head start is that share of the other method's time in
// steps, plus one; list_steps are bytes over the 24 of a step. Rows of 10^8 columns take 400 MB
// on one thread, 800 MB on more.
//
// guards_against, shape, limits, whole plan, forced method
const choice_case choice_cases[] = {
    // 2^16 selections: a quarter of 1.05 ms.
    {"few elements left to the rows",
     open(30, 1 << 30, 1ULL << 34),
     {},
     {.how = open_method::halves,
      .mode = run_mode::lists_first,
      .head_start = 52429,
      .list_steps = unlimited_steps}},
    {"halves taken past the memory, rows too",
     open(44, 1 << 30, 1ULL << 34),
     {.memory = 1 << 20},
     {.how = open_method::lists, .list_steps = (1 << 19) / 24}},
    {"rows taken past the memory",
     open(100, 1 << 30, 1ULL << 36),
     {.memory = gib},
     {.how = open_method::lists, .list_steps = (gib / 2) / 24}},
    // 2^25 words: a hundredth of 36.9 ms; the lists hold a row of 2^20 bits.
    {"a subset sum given rows of values",
     open(1000, 1 << 20, 1ULL << 30, true),
     {},
     {.how = open_method::bit_rows,
      .mode = run_mode::lists_first,
      .head_start = 73820,
      .list_steps = 131080 / 24}},
    // 10^6 cells in cache: a quarter of 0.2 ms, too short for threads.
    {"threads started for short rows",
     open(100, 100000, 1000000),
     {.threads = 2},
     {.how = open_method::rows,
      .mode = run_mode::lists_first,
      .head_start = 10001,
      .list_steps = 800008 / 24}},
    // 2^36 cells: 27.5 s on one thread, beside the lists after a tenth, or after a quarter.
    {"long rows kept waiting for the lists on two processors",
     open(1000, 100000000, 1ULL << 36),
     {.threads = 2},
     {.how = open_method::rows,
      .mode = run_mode::raced,
      .head_start = 549755814,
      .head_start_unraced = 1374389535,
      .list_steps = 800000008 / 24}},
    {"long rows raced on one processor",
     open(1000, 100000000, 1ULL << 36),
     {.threads = 1},
     {.how = open_method::rows,
      .mode = run_mode::lists_first,
      .head_start = 1374389535,
      .list_steps = 800000008 / 24}},
    // On three threads: 27.5 s / 2.7.
    {"long rows raced on every processor",
     open(1000, 100000000, 1ULL << 36),
     {.threads = 4},
     {.how = open_method::rows,
      .mode = run_mode::raced,
      .head_start = 203613265,
      .head_start_unraced = 509033162,
      .threads = 3,
      .list_steps = 800000008 / 24}},
    // 2^28 cells in cache: 53.7 ms on one thread, 28.3 ms on two.
    {"middling rows not given every processor",
     open(1000, 1000000, 1ULL << 28),
     {.threads = 2},
     {.how = open_method::rows,
      .mode = run_mode::lists_first,
      .head_start = 1412819,
      .threads = 2,
      .list_steps = 8000008 / 24}},
    // Each list holds a row; the heavy lists start after 2 ms of the greedy ones, and both stop
    // after the rows' time on two threads (each over half the elements: 2^36 / 1.9 cells), for
    // the rows to follow on both.
    {"heavy elements left to the lists from the greedy selection",
     open(1000, 100000000, 1ULL << 36, false, 50000001),
     {.threads = 2},
     {.how = open_method::heavy_lists,
      .mode = run_mode::raced,
      .head_start = 400001,
      .head_start_unraced = 400001,
      .list_work = 2893451653,
      .threads = 2,
      .list_steps = 400000004 / 24,
      .fallback = open_method::rows}},
    // 300 MiB of room, no row of 400 MB: the lists share it, and nothing follows them.
    {"heavy elements given rows that do not fit",
     open(1000, 100000000, 1ULL << 36, false, 50000001),
     {.memory = 600 << 20, .threads = 2},
     {.how = open_method::heavy_lists,
      .mode = run_mode::raced,
      .head_start = 400001,
      .head_start_unraced = 400001,
      .list_steps = (300 << 20) / 2 / 24}},
    // Rows of 53.7 ms on one thread race the lists from 2 ms on; where no thread can be had,
    // they follow the lists after as long.
    {"heavy elements kept from quick rows",
     open(1000, 1000000, 1ULL << 28, false, 500001),
     {.threads = 2},
     {.how = open_method::rows,
      .mode = run_mode::raced,
      .head_start = 400001,
      .head_start_unraced = 10737419,
      .list_steps = 8000008 / 24}},
    {"heavy elements raced on one processor",
     open(1000, 100000000, 1ULL << 36, false, 50000001),
     {.threads = 1},
     {.how = open_method::heavy_lists,
      .mode = run_mode::lists_first,
      .head_start = 400001,
      .head_start_unraced = 400001,
      .list_work = 5497558139,
      .list_steps = 400000004 / 24,
      .fallback = open_method::rows}},
    {"forced lists given more than the memory",
     open(1000, 100000000, 1ULL << 36),
     {.memory = gib},
     {.how = open_method::lists, .list_steps = (gib / 2) / 24},
     open_method::lists},
    {"forced heavy lists answered by the rows where they give up",
     open(1000, 100000000, 1ULL << 36, false, 50000001),
     {.memory = gib, .threads = 2},
     {.how = open_method::heavy_lists, .list_steps = (gib / 2) / 24},
     open_method::heavy_lists},
    {"forced rows given the lists first",
     open(1000, 1 << 20, 1ULL << 30, true),
     {.threads = 2},
     {.how = open_method::rows, .threads = 2},
     open_method::rows},
    {"forced rows of bits where every value is not a multiple of its weight",
     open(100, 100000, 1000000),
     {.threads = 2},
     {.how = open_method::rows,
      .mode = run_mode::lists_first,
      .head_start = 10001,
      .list_steps = 800008 / 24},
     open_method::bit_rows},
    {"forced halves past their elements",
     open(100, 100000, 1000000),
     {.threads = 2},
     {.how = open_method::rows,
      .mode = run_mode::lists_first,
      .head_start = 10001,
      .list_steps = 800008 / 24},
     open_method::halves},
};

// A plan as a failed test shows it.
std::string shown(const plan& p) {
  std::ostringstream text;
  text << "{" << entry_of(p.how).label << ", mode " << static_cast<int>(p.mode) << ", head start "
       << p.head_start << " / " << p.head_start_unraced << ", work "
       << (p.list_work ? std::to_string(*p.list_work) : "any") << ", threads " << p.threads
       << ", steps " << p.list_steps << ", then "
       << (p.fallback ? entry_of(*p.fallback).label : "nothing") << "}";
  return text.str();
}

TEST(Choice, GivesEachShapeItsPlan) {
  for (const auto& c : choice_cases) {
    SCOPED_TRACE(c.guards_against);
    const plan p = choose(c.s, c.limits, c.forced);
    EXPECT_EQ(p, c.expected) << shown(p) << " where " << shown(c.expected) << " was due";
  }
}

// The lists' head start is a share of what the other method costs, whatever that is.
TEST(Choice, HeadStartFollowsTheOtherMethodsCost) {
  const plan short_rows = choose(open(1000, 1000000, 1ULL << 28), {}, {});
  const plan long_rows = choose(open(1000, 1000000, 1ULL << 34), {}, {});
  EXPECT_NEAR(
      static_cast<double>(long_rows.head_start) / static_cast<double>(short_rows.head_start), 64.0,
      1.0);
  const plan few = choose(open(20, 1 << 30, 1ULL << 34), {}, {});
  const plan more = choose(open(40, 1 << 30, 1ULL << 34), {}, {});
  EXPECT_GT(more.head_start, 500 * few.head_start);
}

// The lists never hold more than the rows would, and in a race both fit in half the memory.
TEST(Choice, ListsAndRowsShareTheMemory) {
  const std::size_t memory = 4 * gib;
  const plan raced = choose(open(1000, 1 << 28, 1ULL << 40), {.memory = memory, .threads = 2}, {});
  ASSERT_EQ(raced.mode, run_mode::raced);
  const std::size_t rows = std::size_t{4} * ((1 << 28) + 1);  // one row of cells, in place
  EXPECT_LE(raced.list_steps * step_bytes + rows, memory / 2);
  const plan sequential = choose(open(1000, 1 << 20, 1ULL << 30), {.memory = SIZE_MAX}, {});
  EXPECT_LE(sequential.list_steps * step_bytes, std::size_t{8} * ((1 << 20) + 1));
}

}  // namespace
