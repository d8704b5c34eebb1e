#include "knapsack.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

// best[i][j] is the greatest value reachable with the first i elements within weight j:
//   best[0][j] = 0,
//   best[i][j] = max(best[i-1][j], value + best[i-1][j-weight])   where weight <= j.
// Each row reads only the row above, so no element is counted twice; column 0 is filled like the
// others because an element of weight 0 fits in any capacity.
//
// Row i lives in slot i mod K of one flat buffer: K = n+1 keeps the whole table, K = 2 keeps two
// rows when the whole table would outgrow the budget or memory. Both give the same answer.
//
// Cells are unsigned: no cell is below 0, since leaving everything out is always possible. When
// the values that could be taken may sum past INT_MAX, additions saturate at UINT32_MAX, so a best
// value beyond INT_MAX shows up as such instead of wrapping; otherwise no sum can overflow and the
// plain loop runs. An element whose value is not positive is never worth taking: its row is a copy
// of the row above.

namespace {

using cell = std::uint32_t;
constexpr cell saturated = UINT32_MAX;

void check_arguments(std::span<const int> values, std::span<const int> weights, int capacity) {
  if (capacity < 0) throw std::invalid_argument("negative capacity");
  if (values.size() < weights.size()) throw std::invalid_argument("fewer values than weights");
  if (std::ranges::any_of(weights, [](int weight) { return weight < 0; })) {
    throw std::invalid_argument("negative weight");
  }
}

bool may_overflow(std::span<const int> values, std::span<const int> weights, int capacity) {
  std::int64_t total = 0;  // at most 2^31 terms below 2^31 each: no overflow
  for (std::size_t k = 0; k < weights.size(); ++k) {
    if (values[k] > 0 && weights[k] <= capacity) total += values[k];
  }
  return total > INT_MAX;
}

template <bool saturating>
void take_better(cell* row, const cell* above, std::size_t from, std::size_t to, std::size_t weight,
                 cell value) {
  for (std::size_t j = from; j < to; ++j) {
    const cell rest =
        saturating ? std::min(above[j - weight], saturated - value) : above[j - weight];
    row[j] = std::max(above[j], rest + value);
  }
}

void fill_row(cell* row, const cell* above, std::size_t columns, int weight, int value,
              bool saturating) {
  const auto fits_from = static_cast<std::size_t>(weight);
  if (value <= 0 || fits_from >= columns) {
    std::copy_n(above, columns, row);
    return;
  }
  std::copy_n(above, fits_from, row);
  const auto gain = static_cast<cell>(value);
  if (saturating) {
    take_better<true>(row, above, fits_from, columns, fits_from, gain);
  } else {
    take_better<false>(row, above, fits_from, columns, fits_from, gain);
  }
}

// The rows of the table, K = n+1 or 2 of them; cells are left for the caller to write.
struct table {
  std::unique_ptr<cell[]> cells;
  std::size_t slots;
  std::size_t columns;

  cell* row(std::size_t i) const { return cells.get() + (i % slots) * columns; }
};

table allocate_table(std::size_t n, std::size_t columns, std::size_t budget) {
  std::size_t slots = n + 1 <= budget / sizeof(cell) / columns ? n + 1 : 2;
  std::unique_ptr<cell[]> cells(new (std::nothrow) cell[slots * columns]);
  if (!cells && slots > 2) {
    slots = 2;
    cells.reset(new (std::nothrow) cell[slots * columns]);
  }
  if (!cells) throw std::bad_alloc();
  return {std::move(cells), slots, columns};
}

}  // namespace

int knapsack_within(std::span<const int> values, std::span<const int> weights, int capacity,
                    std::size_t budget) {
  check_arguments(values, weights, capacity);
  const std::size_t n = weights.size();
  const std::size_t columns = static_cast<std::size_t>(capacity) + 1;
  const table best_values = allocate_table(n, columns, budget);
  const bool saturating = may_overflow(values, weights, capacity);

  std::fill_n(best_values.row(0), columns, cell{0});
  for (std::size_t i = 1; i <= n; ++i) {
    fill_row(best_values.row(i), best_values.row(i - 1), columns, weights[i - 1], values[i - 1],
             saturating);
  }
  const cell best = best_values.row(n)[columns - 1];
  if (best > INT_MAX) throw std::overflow_error("best total value exceeds INT_MAX");
  return static_cast<int>(best);
}

int knapsack(std::vector<int> values, std::vector<int> weights, int capacity) {
  return knapsack_within(values, weights, capacity, table_budget);
}
