#include "knapsack.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <fstream>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "steps.hpp"
#include "table.hpp"

// Which method answers which instance. While the whole table fits in the budget and comfortably
// in memory, it is filled: its cost is known and small. Beyond it only the best value matters, and
// step lists usually find it in a tiny part of the time and memory that rows over every capacity
// take. Where they grow dense they are no better than rows and slower per step, so they give up
// once they have written a small share of the cells the rows would, or held half as many bytes as
// the two rows, and the two rows take over: no instance costs much more than the rows alone.

namespace {

// Cells of the two rows per step the lists may write before they hand over. A step costs about
// as much as 15 to 30 cells, and pruned rows compute about half their cells, so on the instances
// the lists cannot finish they add some 3% to the rows' time.
constexpr std::uint64_t cells_per_step = 1000;

void check_arguments(std::span<const int> values, std::span<const int> weights, int capacity) {
  if (capacity < 0) throw std::invalid_argument("negative capacity");
  if (values.size() < weights.size()) throw std::invalid_argument("fewer values than weights");
  if (std::ranges::any_of(weights, [](int weight) { return weight < 0; })) {
    throw std::invalid_argument("negative weight");
  }
}

std::int64_t best_by_steps_or_rows(std::span<const int> values, std::span<const int> weights,
                                   int capacity, std::size_t memory) {
  const std::size_t rows = two_rows_bytes(capacity);
  const bool rows_fit = rows <= memory / 2;
  const std::uint64_t cells = weights.size() * (static_cast<std::uint64_t>(capacity) + 1);
  const step_limits limits{std::min(rows / 2, memory / 2) / (2 * sizeof(std::int64_t)),
                           rows_fit ? cells / cells_per_step : UINT64_MAX};
  if (const auto best = best_by_steps(values, weights, capacity, limits)) return *best;
  if (!rows_fit) throw std::bad_alloc();
  return best_by_two_rows(values, weights, capacity, true);
}

std::int64_t best_beyond_budget(std::span<const int> values, std::span<const int> weights,
                                int capacity, std::size_t memory, beyond_budget how) {
  switch (how) {
    case beyond_budget::steps:
      return *best_by_steps(values, weights, capacity, {SIZE_MAX, UINT64_MAX});
    case beyond_budget::two_rows:
      return best_by_two_rows(values, weights, capacity, true);
    case beyond_budget::two_rows_full:
      return best_by_two_rows(values, weights, capacity, false);
    case beyond_budget::automatic:
      break;
  }
  return best_by_steps_or_rows(values, weights, capacity, memory);
}

// The number in a file (after `key`, when one is given) times `unit`; SIZE_MAX when there is no
// such file or no number there, as for a limit of "max".
std::size_t read_bytes(const char* path, std::string_view key, std::size_t unit) {
  std::ifstream file(path);
  if (!key.empty()) {
    for (std::string word; file >> word && word != key;) {
    }
  }
  std::uint64_t number = 0;
  if (!(file >> number)) return SIZE_MAX;
  return number <= SIZE_MAX / unit ? static_cast<std::size_t>(number) * unit : SIZE_MAX;
}

// Bytes this process may use: the least of its control group's limit (v2, then v1) and the memory
// available, or SIZE_MAX when none can be read.
std::size_t usable_memory() {
  return std::min({read_bytes("/sys/fs/cgroup/memory.max", "", 1),
                   read_bytes("/sys/fs/cgroup/memory/memory.limit_in_bytes", "", 1),
                   read_bytes("/proc/meminfo", "MemAvailable:", 1024)});
}

}  // namespace

int knapsack_within(std::span<const int> values, std::span<const int> weights, int capacity,
                    const solver_limits& limits) {
  check_arguments(values, weights, capacity);
  std::optional<std::int64_t> best;
  if (whole_table_bytes(weights.size(), capacity) <= std::min(limits.table, limits.memory / 2)) {
    best = best_by_whole_table(values, weights, capacity);
  }
  if (!best) best = best_beyond_budget(values, weights, capacity, limits.memory, limits.how);
  if (*best > INT_MAX) throw std::overflow_error("best total value exceeds INT_MAX");
  return static_cast<int>(*best);
}

int knapsack(std::vector<int> values, std::vector<int> weights, int capacity) {
  static const std::size_t memory = usable_memory();
  return knapsack_within(values, weights, capacity, {.memory = memory});
}
