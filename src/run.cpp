#include "run.hpp"

#include <algorithm>
#include <atomic>
#include <climits>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>

#include "bits.hpp"
#include "halves.hpp"
#include "heavy.hpp"
#include "rows.hpp"
#include "steps.hpp"
#include "table.hpp"

// A plan runs its method alone, or after the step lists have had their head start, or beside
// them; then its fallback where the method gives up. Every method beyond the whole table answers
// for the open elements of the reduced instance, and comes back empty where it gives up (the
// lists at their limits) or is stopped (the loser of a race); the answer is the decided
// elements' value plus theirs, or the reduction's lower bound where that is more. Where nothing
// is left to run, memory ran short.

namespace {

// Asks the lists to go on until `stop` is requested; nothing where it never can be.
std::function<bool(std::uint64_t)> until(const std::stop_token& stop) {
  if (!stop.stop_possible()) return {};
  return [stop](std::uint64_t) { return !stop.stop_requested(); };
}

// The best value of the open elements of `r` by method `how` within plan `p`; nothing where it
// gives up or is stopped.
std::optional<std::int64_t> open_by(method how, const reduced& r, const plan& p,
                                    const rows_options& options) {
  switch (how) {
    case method::none:
      return std::nullopt;
    case method::lists:
      return best_by_steps(r, {p.list_steps, UINT64_MAX, until(options.stop)});
    case method::heavy_lists:
      return best_by_heavy_lists(r, {p.list_steps, p.list_work, until(options.stop)});
    case method::halves:
      return best_by_halves(r);
    case method::rows:
      return best_by_rows(r, options);
    case method::bit_rows:
      return best_by_bits(r, options);
    case method::whole_table:
    case method::two_rows_full:
    case method::reduction:
      break;
  }
  throw std::logic_error("not a method for the open elements");
}

// The plan's method, then its fallback where the method gives up; nothing once stopped.
std::optional<std::int64_t> method_then_fallback(const reduced& r, const plan& p,
                                                 const rows_options& options) {
  if (const auto best = open_by(p.how, r, p, options)) return best;
  if (options.stop.stop_requested()) return std::nullopt;
  return open_by(p.fallback, r, p, options);
}

std::int64_t answered(const std::optional<std::int64_t>& best) {
  if (!best) throw std::bad_alloc();
  return *best;
}

// The lists, and the plan's method beside them once the lists have had their head start; the
// first to answer answers, and the other stops at its next check. Once the lists have done the
// plan's work, both stop; where both give up, the fallback runs here, once both have let go of
// their memory. Where no thread can be had for the method, the lists go on to the head start
// they would have had alone, and it runs here after them.
std::int64_t best_by_race(const reduced& r, const plan& p, const solver_limits& limits) {
  std::optional<std::int64_t> from_other;
  std::exception_ptr other_failure;
  std::atomic<bool> other_done{false};
  bool refused = false;
  bool out_of_work = false;
  std::jthread other;  // stopped and joined when it goes out of scope
  step_limits lists{p.list_steps, UINT64_MAX};
  lists.keep_going = [&](std::uint64_t work) {
    if (refused) return work < p.head_start_unraced;
    if (work >= p.list_work) {
      out_of_work = true;
      return false;
    }
    if (!other.joinable() && work >= p.head_start) {
      try {
        other = limits.start([&](const std::stop_token& stop) {
          try {
            from_other = open_by(p.how, r, p, {p.threads, stop, limits.start});
          } catch (...) {
            other_failure = std::current_exception();
          }
          other_done.store(true, std::memory_order_release);
        });
      } catch (...) {
        refused = true;
        return work < p.head_start_unraced;
      }
    }
    // A method that failed or gave up leaves the lists to go on.
    return !other_done.load(std::memory_order_acquire) || !from_other;
  };
  const rows_options here{p.threads, {}, limits.start};
  if (const auto best = best_by_steps(r, lists)) return *best;
  if (!other.joinable()) return answered(method_then_fallback(r, p, here));
  if (out_of_work) other.request_stop();
  other.join();
  if (other_failure) std::rethrow_exception(other_failure);
  if (from_other) return *from_other;
  return answered(open_by(p.fallback, r, p, here));
}

// The best value of the open elements of `r`, as plan `p` says.
std::int64_t best_of_open(const reduced& r, const plan& p, const solver_limits& limits) {
  switch (p.mode) {
    case run_mode::alone:
      break;
    case run_mode::lists_first:
      if (const auto best = best_by_steps(r, {p.list_steps, p.head_start})) return *best;
      break;
    case run_mode::raced:
      return best_by_race(r, p, limits);
  }
  return answered(method_then_fallback(r, p, {p.threads, {}, limits.start}));
}

std::int64_t best_of_reduction(const instance& given, const solver_limits& limits) {
  const reduced r = reduce(given.values, given.weights, given.capacity);
  // A selection already found is worth more than the answer may be.
  if (r.lower > INT_MAX) throw std::overflow_error("best total value exceeds INT_MAX");
  const shape s = shape_of(r, given.weights.size(), given.capacity);
  const solver_limits known = needs_machine(s, limits) ? with_machine(limits) : limits;
  return best_of_reduced(r, choose(s, known), known);
}

// The answer by method `how` for the instance as given; nothing where its memory is refused.
std::optional<std::int64_t> given_by(method how, const instance& given,
                                     const solver_limits& limits) {
  switch (how) {
    case method::none:
      return std::nullopt;
    case method::whole_table:
      return best_by_whole_table(given.values, given.weights, given.capacity);
    case method::two_rows_full:
      return best_by_two_rows(given.values, given.weights, given.capacity);
    case method::reduction:
      return best_of_reduction(given, limits);
    case method::lists:
    case method::heavy_lists:
    case method::halves:
    case method::rows:
    case method::bit_rows:
      break;
  }
  throw std::logic_error("not a method for the instance as given");
}

}  // namespace

std::int64_t best_by_plan(const instance& given, const plan& p, const solver_limits& limits) {
  if (const auto best = given_by(p.how, given, limits)) return *best;
  return answered(given_by(p.fallback, given, limits));
}

std::int64_t best_of_reduced(const reduced& r, const plan& p, const solver_limits& limits) {
  if (r.sorted.empty()) return r.lower;
  return std::max(r.lower, r.fixed + best_of_open(r, p, limits));
}

shape shape_of(const reduced& r, std::size_t elements, int capacity) {
  shape s{.elements = elements,
          .capacity = capacity,
          .reduced = true,
          .open = r.sorted.size(),
          .open_capacity = r.capacity};
  if (r.sorted.empty()) return s;
  s.subset_sum = subset_sum(r);
  s.heaviest = std::ranges::max(r.sorted, {}, &element::weight).weight;
  if (s.subset_sum) {
    const bits_cost bits = bits_cost_of(r);
    s.bit_words = bits.words;
    s.bit_bytes = bits.bytes;
  } else {
    const rows_cost rows = rows_cost_of(r);
    s.row_cells = rows.cells;
    s.row_cells_halved = rows.cells_halved;
    s.row_bytes = rows.bytes;
    s.row_bytes_halved = rows.bytes_halved;
  }
  return s;
}
