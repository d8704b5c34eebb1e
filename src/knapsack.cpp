#include "knapsack.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <span>
#include <stdexcept>

#include "run.hpp"

// Checks the arguments, plans for the instance's shape and hands over to the plan's run. The
// machine's limits are read only where the plan depends on them.

namespace {

void check_arguments(std::span<const int> values, std::span<const int> weights, int capacity) {
  if (capacity < 0) throw std::invalid_argument("negative capacity");
  if (values.size() < weights.size()) throw std::invalid_argument("fewer values than weights");
  if (std::ranges::any_of(weights, [](int weight) { return weight < 0; })) {
    throw std::invalid_argument("negative weight");
  }
}

}  // namespace

int knapsack(std::vector<int> values, std::vector<int> weights, int capacity,
             const solver_limits& limits) {
  check_arguments(values, weights, capacity);
  const shape given{.elements = weights.size(), .capacity = capacity};
  const solver_limits known = needs_machine(given, limits) ? with_machine(limits) : limits;
  const std::int64_t best = best_by_plan({values, weights, capacity}, choose(given, known), known);
  if (best > INT_MAX) throw std::overflow_error("best total value exceeds INT_MAX");
  return static_cast<int>(best);
}
