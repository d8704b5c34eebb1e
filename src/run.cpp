#include "run.hpp"

#include <algorithm>
#include <atomic>
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

// A plan runs its method alone, or after the step lists have had their head start, or beside
// them; then its fallback where the method gives up. Each method comes back without a best value
// where it gives up (the lists at their limits) or is stopped (the loser of a race). Where
// nothing is left to run, memory ran short.

namespace {

constexpr method_entry table[] = {
    {open_method::lists, "step lists from the greedy selection", best_by_steps},
    {open_method::heavy_lists, "step lists from the heaviest element", best_by_heavy_lists},
    {open_method::halves, "halves", best_by_halves},
    {open_method::rows, "rows of best values", best_by_rows},
    {open_method::bit_rows, "rows of bits", best_by_bits},
};

// What the plan gives its method (and its fallback), stopped where `stop` is.
method_params params_of(const plan& p, const thread_starter& start, const std::stop_token& stop) {
  method_params params{
      .max_steps = p.list_steps, .max_work = p.list_work, .threads = p.threads, .start = start};
  if (stop.stop_possible()) {
    params.keep_going = [stop](std::uint64_t) { return !stop.stop_requested(); };
  }
  return params;
}

method_result solved_by(open_method m, const reduced& r, const method_params& params) {
  return entry_of(m).solve(r, params);
}

// The plan's fallback, once its method gave up.
answer fallback(const reduced& r, const plan& p, const thread_starter& start) {
  if (!p.fallback) throw std::bad_alloc();
  const method_result result = solved_by(*p.fallback, r, params_of(p, start, {}));
  if (!result.best) throw std::bad_alloc();
  return {*p.fallback, result};
}

// The plan's method, then its fallback where the method gives up.
answer method_then_fallback(const reduced& r, const plan& p, const thread_starter& start) {
  const method_result result = solved_by(p.how, r, params_of(p, start, {}));
  if (result.best) return {p.how, result};
  return fallback(r, p, start);
}

// The lists, and the plan's method beside them once the lists have had their head start; the
// first to answer answers, and the other stops at its next check. Once the lists have done the
// plan's work, both stop; where both give up, the fallback runs here, once both have let go of
// their memory. Where no thread can be had for the method, the lists go on to the head start
// they would have had alone, and it runs here after them.
answer race(const reduced& r, const plan& p, const thread_starter& start) {
  std::optional<method_result> from_other;
  std::exception_ptr other_failure;
  std::atomic<bool> other_done{false};
  bool refused = false;
  bool out_of_work = false;
  std::jthread other;  // stopped and joined when it goes out of scope
  method_params lists{.max_steps = p.list_steps};
  lists.keep_going = [&](std::uint64_t work) {
    if (refused) return work < p.head_start_unraced;
    if (p.list_work && work >= *p.list_work) {
      out_of_work = true;
      return false;
    }
    if (!other.joinable() && work >= p.head_start) {
      try {
        other = start([&](const std::stop_token& stop) {
          try {
            from_other = solved_by(p.how, r, params_of(p, start, stop));
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
    return !other_done.load(std::memory_order_acquire) || !from_other || !from_other->best;
  };
  const method_result by_lists = solved_by(open_method::lists, r, lists);
  if (by_lists.best) return {open_method::lists, by_lists};
  if (!other.joinable()) return method_then_fallback(r, p, start);
  if (out_of_work) other.request_stop();
  other.join();
  if (other_failure) std::rethrow_exception(other_failure);
  if (from_other && from_other->best) return {p.how, *from_other};
  return fallback(r, p, start);
}

}  // namespace

std::span<const method_entry> methods() {
  return table;
}

const method_entry& entry_of(open_method m) {
  const auto* found = std::ranges::find(table, m, &method_entry::name);
  if (found == std::end(table)) throw std::logic_error("a method outside the table");
  return *found;
}

answer run(const reduced& r, const plan& p, const thread_starter& start) {
  switch (p.mode) {
    case run_mode::alone:
      break;
    case run_mode::lists_first: {
      const method_result by_lists =
          solved_by(open_method::lists, r, {.max_steps = p.list_steps, .max_work = p.head_start});
      if (by_lists.best) return {open_method::lists, by_lists};
      break;
    }
    case run_mode::raced:
      return race(r, p, start);
  }
  return method_then_fallback(r, p, start);
}
