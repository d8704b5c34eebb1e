#include "threads.hpp"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "oracle.hpp"
#include "reduce.hpp"
#include "run.hpp"
#include "solve.hpp"

namespace {

// Starts threads as std::jthread does, but refuses every start from the k-th on (counted from 0),
// as a system out of processes would.
thread_starter refusing_from(unsigned k) {
  auto started = std::make_shared<std::atomic<unsigned>>(0);
  return [started, k](std::function<void(std::stop_token)> work) {
    if (started->fetch_add(1) >= k) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return std::jthread(std::move(work));
  };
}

TEST(Threads, WorkGoesToTheThreadsThatStarted) {
  for (unsigned refused = 0; refused < 4; ++refused) {
    SCOPED_TRACE(refused);
    std::vector<std::atomic<int>> runs(4);
    unsigned ready_count = 0;
    const unsigned count = on_threads(
        4, refusing_from(refused),
        [&](unsigned t, unsigned threads) {
          EXPECT_EQ(threads, ready_count);
          ++runs[t];
        },
        [&](unsigned threads) { ready_count = threads; });
    EXPECT_EQ(count, refused + 1);
    for (unsigned t = 0; t < 4; ++t) EXPECT_EQ(runs[t].load(), t < count ? 1 : 0) << t;
  }
}

// Ten elements wide enough for three threads to share each row (columns past 3 * 4096), and ten
// whose values are three times their weight (rows of bits), with shifts of more than 2^14 words,
// each at half their total weight and at nine tenths, where a row holds only the columns its
// passes work on, and a row of bits the weights left out.
std::vector<test_instance> row_instances() {
  std::mt19937 random(20261209);
  const auto uniform = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  std::vector<test_instance> made;
  for (const bool bits : {false, true}) {
    test_instance i{{}, {}, 0};
    int total = 0;
    for (int k = 0; k < 10; ++k) {
      i.weights.push_back(bits ? uniform(4000000, 40000000) : uniform(1000, 20000));
      i.values.push_back(bits ? 3 * i.weights.back() : uniform(1, 1000));
      total += i.weights.back();
    }
    i.capacity = total / 2;
    made.push_back(i);
    i.capacity = total / 10 * 9;
    made.push_back(i);
  }
  return made;
}

TEST(Threads, RowsAnswerOnWhateverThreadsStart) {
  const std::vector<test_instance> instances = row_instances();
  for (const test_instance& i : instances) {
    const std::int64_t expected = brute_force(i.values, i.weights, i.capacity);
    const open_method rows = &i < &instances[2] ? open_method::rows : open_method::bit_rows;
    for (const unsigned threads : {1U, 2U, 3U, 4U}) {
      for (unsigned refused = 0; refused <= threads; ++refused) {  // the last refuses none
        SCOPED_TRACE(::testing::Message() << "threads " << threads << ", refused from " << refused);
        const solution s =
            solve(i.values, i.weights, i.capacity, {.table = 0, .threads = threads},
                  {.start = refusing_from(refused), .open = rows, .keep_open = true});
        EXPECT_EQ(s.best, expected);
        EXPECT_EQ(s.by, rows);
      }
    }
  }
}

// Multiples of 3 and one weight of 1 more worth 1 more, at a capacity of 2 more: no selection
// meets the bound, so the lists go on until the rows beside them answer, or until the head start,
// where no thread can be had for the rows.
TEST(Threads, RaceAnswersWhateverThreadsStart) {
  auto [values, weights, capacity] = unreachable_subset_sum(60, 500, 9999, 30002);
  values[0] += 1;
  const std::int64_t expected = one_row(values, weights, capacity);
  const reduced r = ::reduce(values, weights, capacity);
  for (const open_method then : {open_method::rows, open_method::heavy_lists}) {
    for (const bool raced : {true, false}) {
      for (const unsigned threads : {1U, 2U, 3U}) {
        for (unsigned refused = 0; refused <= threads; ++refused) {
          SCOPED_TRACE(::testing::Message()
                       << entry_of(then).label << ", " << (raced ? "raced" : "one after the other")
                       << ", " << threads << " threads, refused from " << refused);
          std::optional<open_method> fallback;
          if (then == open_method::heavy_lists) fallback = open_method::rows;
          const plan p{.how = then,
                       .mode = raced ? run_mode::raced : run_mode::lists_first,
                       .head_start = 1,
                       .threads = threads,
                       .list_steps = 1 << 20,
                       .fallback = fallback};
          const answer open = run(r, p, refusing_from(refused));
          EXPECT_EQ(std::max(r.lower, r.fixed + *open.result.best), expected);
        }
      }
    }
  }
}

}  // namespace
