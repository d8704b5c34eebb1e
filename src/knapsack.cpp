#include "knapsack.hpp"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>

#include "halves.hpp"
#include "machine.hpp"
#include "reduce.hpp"
#include "rows.hpp"
#include "steps.hpp"
#include "table.hpp"

// Which method answers which instance. While the whole table fits in the budget and comfortably
// in memory, it is filled: its cost is known and small. Beyond it only the best value matters, so
// the instance is first reduced: common divisors of the weights divided out, elements decided by
// bounds, and a lower and an upper bound found; often they meet and nothing more is needed.
// Otherwise:
//
// - Few open elements: step lists, given as much work as the halves would take, then the halves,
//   whose cost is bounded whatever the capacity.
// - Else step lists, which usually find and prove the best value in a tiny part of the time and
//   memory that rows over every capacity take, but on some instances grow without end, while the
//   rows' cost is known. Once the lists have written a small share of the cells the rows would,
//   the rows start on the other processors (or share the only one) and the first to finish
//   answers; the other stops at its next check. No hand-over can tell in advance which would win:
//   some instances take the lists a hundredth of the rows' time after a long start. Rows short
//   enough to fit the caches are not raced but take over. The lists never hold more than half the
//   rows' bytes, so that both fit in half the usable memory.

namespace {

// Cells of the rows per step the lists may write before the rows start. A step costs about as
// much as a hundred cells of the rows on one thread, so where the lists cannot finish they delay
// the rows by some 7%.
constexpr std::uint64_t cells_per_step = 10000;

void check_arguments(std::span<const int> values, std::span<const int> weights, int capacity) {
  if (capacity < 0) throw std::invalid_argument("negative capacity");
  if (values.size() < weights.size()) throw std::invalid_argument("fewer values than weights");
  if (std::ranges::any_of(weights, [](int weight) { return weight < 0; })) {
    throw std::invalid_argument("negative weight");
  }
}

std::int64_t best_by_rows(const reduced& r, unsigned threads) {
  return *best_by_rows(r, rows_options{.threads = threads});
}

// The step lists and the rows side by side: the rows start once the lists have done a small share
// of the rows' work, on every processor but the lists' own.
std::int64_t best_by_steps_or_rows(const reduced& r, const solver_limits& limits) {
  const std::size_t room = limits.memory / 2;
  const std::size_t rows = rows_bytes(r);
  if (rows > room) {  // the lists alone, however long they take
    if (const auto best = best_by_steps(r, {std::min(rows / 2, room) / step_bytes, UINT64_MAX})) {
      return *best;
    }
    throw std::bad_alloc();
  }
  const std::uint64_t cells = r.sorted.size() * (static_cast<std::uint64_t>(r.capacity) + 1);
  const std::uint64_t head_start = cells / cells_per_step;
  step_limits lists{std::min(rows / 2, room - rows) / step_bytes, UINT64_MAX};
  if (cells < limits.raced_cells) {
    lists.max_work = head_start;
    if (const auto best = best_by_steps(r, lists)) return *best;
    return best_by_rows(r, limits.threads);
  }
  const unsigned rows_threads = std::max(2U, limits.threads) - 1;
  std::optional<std::int64_t> from_rows;
  std::exception_ptr rows_failure;
  std::atomic<bool> rows_done{false};
  std::jthread rows_thread;  // stopped and joined when it goes out of scope
  lists.keep_going = [&](std::uint64_t work) {
    if (!rows_thread.joinable() && work >= head_start) {
      rows_thread = std::jthread([&](const std::stop_token& stop) {
        try {
          from_rows = best_by_rows(r, {.threads = rows_threads, .stop = stop});
        } catch (...) {
          rows_failure = std::current_exception();
        }
        rows_done.store(true, std::memory_order_release);
      });
    }
    // Rows that failed leave the lists to go on.
    return !rows_done.load(std::memory_order_acquire) || rows_failure != nullptr;
  };
  if (const auto best = best_by_steps(r, lists)) return *best;
  if (!rows_thread.joinable()) return best_by_rows(r, limits.threads);
  rows_thread.join();
  if (rows_failure) std::rethrow_exception(rows_failure);
  return *from_rows;
}

std::int64_t best_beyond_budget(std::span<const int> values, std::span<const int> weights,
                                int capacity, const solver_limits& limits) {
  if (limits.how == beyond_budget::two_rows_full) {
    return best_by_two_rows(values, weights, capacity);
  }
  const reduced r = reduce(values, weights, capacity);
  // A selection already found is worth more than the answer may be.
  if (r.lower > INT_MAX) throw std::overflow_error("best total value exceeds INT_MAX");
  if (r.sorted.empty()) return r.lower;
  const std::size_t n = r.sorted.size();
  const bool halves_fit = n <= halves_most_elements && halves_bytes(n) <= limits.memory / 2;
  switch (limits.how) {
    case beyond_budget::steps:
      return *best_by_steps(r, {SIZE_MAX, UINT64_MAX});
    case beyond_budget::halves:
      if (halves_fit) return best_by_halves(r);
      break;
    case beyond_budget::two_rows:
      return best_by_rows(r, limits.threads);
    case beyond_budget::two_rows_full:
    case beyond_budget::automatic:
      break;
  }
  // Few elements: the halves' cost is known and bounded whatever the capacity; the lists are
  // given as much, since they usually finish far sooner.
  if (halves_fit) {
    const std::uint64_t work = halves_selections(n);
    if (const auto best = best_by_steps(r, {2 * work, work})) return *best;
    return best_by_halves(r);
  }
  return best_by_steps_or_rows(r, limits);
}

}  // namespace

int knapsack_within(std::span<const int> values, std::span<const int> weights, int capacity,
                    const solver_limits& limits) {
  check_arguments(values, weights, capacity);
  std::optional<std::int64_t> best;
  if (whole_table_bytes(weights.size(), capacity) <= std::min(limits.table, limits.memory / 2)) {
    best = best_by_whole_table(values, weights, capacity);
  }
  if (!best) best = best_beyond_budget(values, weights, capacity, limits);
  if (*best > INT_MAX) throw std::overflow_error("best total value exceeds INT_MAX");
  return static_cast<int>(*best);
}

int knapsack(std::vector<int> values, std::vector<int> weights, int capacity) {
  static const machine_limits machine = read_machine_limits();
  return knapsack_within(values, weights, capacity,
                         {.memory = machine.memory, .threads = machine.threads});
}
