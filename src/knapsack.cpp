#include "knapsack.hpp"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <thread>

#include "bits.hpp"
#include "choice.hpp"
#include "halves.hpp"
#include "heavy.hpp"
#include "reduce.hpp"
#include "rows.hpp"
#include "steps.hpp"
#include "table.hpp"

// Carries out the plan that choose() makes. Every method beyond the table answers for the open
// elements of the reduced instance; the answer is the decided elements' value plus theirs, or the
// reduction's lower bound where that is more.

namespace {

void check_arguments(std::span<const int> values, std::span<const int> weights, int capacity) {
  if (capacity < 0) throw std::invalid_argument("negative capacity");
  if (values.size() < weights.size()) throw std::invalid_argument("fewer values than weights");
  if (std::ranges::any_of(weights, [](int weight) { return weight < 0; })) {
    throw std::invalid_argument("negative weight");
  }
}

shape shape_of(const reduced& r, std::size_t elements, int capacity) {
  shape s{elements, capacity, true, r.sorted.size(), r.capacity};
  if (r.sorted.empty()) return s;
  s.subset_sum = subset_sum(r);
  s.heaviest = std::ranges::max(r.sorted, {}, &element::weight).weight;
  if (s.subset_sum) {
    s.bit_words = bits_words(r);
  } else {
    s.row_cells = rows_cells(r);
  }
  return s;
}

// The method that answers where the lists do not; nothing once a stop is requested. The lists
// from the heaviest element leave it to the rows where they give up, where the rows fit.
std::optional<std::int64_t> best_by(method how, const reduced& r, const plan& p,
                                    const rows_options& options) {
  switch (how) {
    case method::halves:
      return best_by_halves(r);
    case method::rows:
      return best_by_rows(r, options);
    case method::bit_rows:
      return best_by_bits(r, options);
    case method::heavy_lists: {
      const step_limits lists{p.list_steps, UINT64_MAX,
                              [&](std::uint64_t) { return !options.stop.stop_requested(); }};
      if (const auto best = best_by_heavy_lists(r, lists)) return best;
      if (options.stop.stop_requested()) return std::nullopt;
      if (!p.rows_last) throw std::bad_alloc();
      return best_by(subset_sum(r) ? method::bit_rows : method::rows, r, p, options);
    }
    case method::bounds:
      return r.lower - r.fixed;
    case method::whole_table:
    case method::two_rows_full:
    case method::reduce:
    case method::lists:
      break;
  }
  throw std::logic_error("not a method for the open elements");
}

// The lists, and the other method beside them once the lists have had their head start; the
// first to finish answers, and the other stops at its next check. Where no thread can be had for
// the other method, the lists go on to the head start they would have had alone, and it runs
// here after them.
std::int64_t best_by_race(const reduced& r, const plan& p, const solver_limits& limits) {
  std::optional<std::int64_t> from_other;
  std::exception_ptr other_failure;
  std::atomic<bool> other_done{false};
  bool refused = false;
  std::jthread other;  // stopped and joined when it goes out of scope
  step_limits lists{p.list_steps, UINT64_MAX};
  lists.keep_going = [&](std::uint64_t work) {
    if (refused) return work < p.alone_head_start;
    if (!other.joinable() && work >= p.head_start) {
      try {
        other = limits.start([&](const std::stop_token& stop) {
          try {
            from_other = best_by(p.then, r, p, {p.threads, stop, limits.start});
          } catch (...) {
            other_failure = std::current_exception();
          }
          other_done.store(true, std::memory_order_release);
        });
      } catch (...) {
        refused = true;
        return work < p.alone_head_start;
      }
    }
    // A method that failed leaves the lists to go on.
    return !other_done.load(std::memory_order_acquire) || other_failure != nullptr;
  };
  if (const auto best = best_by_steps(r, lists)) return *best;
  if (!other.joinable()) return *best_by(p.then, r, p, {p.threads, {}, limits.start});
  other.join();
  if (other_failure) std::rethrow_exception(other_failure);
  return *from_other;
}

// The best value of the open elements of `r`, as plan `p` says.
std::int64_t best_of_open(const reduced& r, const plan& p, const solver_limits& limits) {
  const rows_options alone{p.threads, {}, limits.start};
  if (p.then == method::lists || p.head_start == UINT64_MAX) {
    if (const auto best = best_by_steps(r, {p.list_steps, UINT64_MAX})) return *best;
    throw std::bad_alloc();
  }
  if (p.head_start == 0) return *best_by(p.then, r, p, alone);
  if (p.raced) return best_by_race(r, p, limits);
  if (const auto best = best_by_steps(r, {p.list_steps, p.head_start})) return *best;
  return *best_by(p.then, r, p, alone);
}

std::int64_t best_beyond_table(std::span<const int> values, std::span<const int> weights,
                               int capacity, const solver_limits& limits) {
  const reduced r = reduce(values, weights, capacity);
  // A selection already found is worth more than the answer may be.
  if (r.lower > INT_MAX) throw std::overflow_error("best total value exceeds INT_MAX");
  return best_by_plan(r, choose(shape_of(r, weights.size(), capacity), limits), limits);
}

}  // namespace

std::int64_t best_by_plan(const reduced& r, const plan& p, const solver_limits& limits) {
  if (p.then == method::bounds || r.sorted.empty()) return r.lower;
  return std::max(r.lower, r.fixed + best_of_open(r, p, limits));
}

int knapsack(std::vector<int> values, std::vector<int> weights, int capacity,
             const solver_limits& limits) {
  check_arguments(values, weights, capacity);
  std::optional<std::int64_t> best;
  switch (choose({weights.size(), capacity}, limits).then) {
    case method::whole_table:
      // Where its memory cannot be had, the methods beyond it answer instead.
      best = best_by_whole_table(values, weights, capacity);
      if (!best) best = best_beyond_table(values, weights, capacity, limits);
      break;
    case method::two_rows_full:
      best = best_by_two_rows(values, weights, capacity);
      break;
    default:
      best = best_beyond_table(values, weights, capacity, limits);
      break;
  }
  if (*best > INT_MAX) throw std::overflow_error("best total value exceeds INT_MAX");
  return static_cast<int>(*best);
}
