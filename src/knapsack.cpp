#include "knapsack.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <utility>

#include "choice.hpp"
#include "reduce.hpp"
#include "run.hpp"
#include "solve.hpp"
#include "table.hpp"

// The road from the arguments to the answer, in order: check them; fill the whole table where it
// is cheap; otherwise, or where its memory is refused, reduce the instance, take the shape of
// what the reduction leaves open, choose how to answer that, and run the plan. The machine's
// limits are read only where a choice depends on them.

namespace {

void check_arguments(std::span<const int> values, std::span<const int> weights, int capacity) {
  if (capacity < 0) throw std::invalid_argument("negative capacity");
  if (values.size() < weights.size()) throw std::invalid_argument("fewer values than weights");
  if (std::ranges::any_of(weights, [](int weight) { return weight < 0; })) {
    throw std::invalid_argument("negative weight");
  }
}

int checked(std::int64_t best) {
  if (best > INT_MAX) throw std::overflow_error("best total value exceeds INT_MAX");
  return static_cast<int>(best);
}

}  // namespace

solution solve(std::vector<int> values, std::vector<int> weights, int capacity,
               const solver_limits& limits, const solver_hooks& hooks) {
  check_arguments(values, weights, capacity);
  const given_shape given{.elements = weights.size(), .capacity = capacity};
  solver_limits known = needs_machine(given, limits, hooks.given) ? with_machine(limits) : limits;
  const given_method how = choose(given, known, hooks.given);
  if (how == given_method::two_rows) {
    const std::int64_t best = best_by_two_rows(values, weights, capacity);
    return {.best = checked(best), .upper = best, .how = how};
  }
  if (how == given_method::whole_table) {
    if (const auto best = best_by_whole_table(values, weights, capacity)) {
      return {.best = checked(*best), .upper = *best, .how = how};
    }
  }

  const reduced r =
      ::reduce(values, weights, capacity, hooks.keep_open ? decisions::none : decisions::every_one);
  // A selection already found is worth more than the answer may be.
  if (r.lower > INT_MAX) throw std::overflow_error("best total value exceeds INT_MAX");
  if (r.sorted.empty()) return {.best = checked(r.lower), .upper = r.lower};

  known = with_machine(known);
  const plan p = choose(shape_of(r), known, hooks.open);
  const answer open = run(r, p, hooks.start);
  return {.best = checked(std::max(r.lower, r.fixed + *open.result.best)),
          .upper = std::max(r.lower, r.fixed + open.result.upper),
          .by = open.by,
          .open = open.result};
}

int knapsack(std::vector<int> values, std::vector<int> weights, int capacity,
             const solver_limits& limits) {
  return solve(std::move(values), std::move(weights), capacity, limits, {}).best;
}
