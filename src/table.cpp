#include "table.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>

#include "cells.hpp"
#include "elements.hpp"

// best[i][j] is the greatest value reachable with the first i elements within weight j:
//   best[0][j] = 0,
//   best[i][j] = max(best[i-1][j], value + best[i-1][j-weight])   where weight <= j.
// Each row reads only the row above, so no element is counted twice; column 0 is filled like the
// others because an element of weight 0 fits in any capacity.
//
// Row i lives in slot i mod K of one flat buffer: K = n+1 keeps the whole table, K = 2 keeps two
// rows, every column, the plain reference for the faster methods beyond the table. Both give the
// same answer. A row is written in two segments cut where the element starts to fit, so that
// each is a branch-free loop the compiler vectorises.
//
// Cells are unsigned: no cell is below 0, since leaving everything out is always possible. When
// the values that could be taken may sum past INT_MAX, additions saturate at UINT32_MAX, so a best
// value beyond INT_MAX shows up as such instead of wrapping; otherwise no sum can overflow and the
// plain loop runs. An element whose value is not positive, or that is heavier than the capacity,
// is never taken: its row is a copy of the row above.
//
namespace {

constexpr std::size_t band_columns = std::size_t{1} << 16;  // 256 KiB of a row: fits in L2

// An element as a row sees it. One never worth taking weighs more than any column and adds
// nothing, so its row is a copy of the row above.
struct item {
  std::size_t weight;
  cell value;  // 0 only for an element never worth taking
};

item as_item(int value, int weight, std::size_t columns) {
  if (!worth_taking(value, weight, static_cast<std::int64_t>(columns) - 1)) return {columns, 0};
  return {static_cast<std::size_t>(weight), static_cast<cell>(value)};
}

// Whether the values of the elements worth taking may sum past INT_MAX; at most 2^31 terms below
// 2^31 each, so the sum does not overflow.
bool may_pass_int_max(std::span<const int> values, std::span<const int> weights,
                      std::size_t capacity) {
  std::uint64_t total = 0;
  for (std::size_t k = 0; k < weights.size(); ++k) {
    if (worth_taking(values[k], weights[k], static_cast<std::int64_t>(capacity)))
      total += static_cast<std::uint64_t>(values[k]);
  }
  return total > INT_MAX;
}

// row[j] = max(above[j], shifted[j] + value) where the row above is complete.
template <bool saturating>
[[gnu::always_inline]] inline void take_better_loop(cell* __restrict row,
                                                    const cell* __restrict above,
                                                    const cell* __restrict shifted,
                                                    std::size_t count, cell value) {
  for (std::size_t j = 0; j < count; ++j) {
    row[j] = std::max(above[j], add<saturating>(shifted[j], value));
  }
}

// The cloned entry point; clones cannot be templates, so saturation is chosen once per call.
// It stays inside this file: clang names a clone's dispatcher apart from the plain symbol, which a
// caller in another file, seeing only the plain declaration, would not find; such callers go
// through take_better below.
VECTOR_CLONES void take_better_cloned(cell* row, const cell* above, const cell* shifted,
                                      std::size_t count, cell value, bool saturating) {
  if (saturating) {
    take_better_loop<true>(row, above, shifted, count, value);
  } else {
    take_better_loop<false>(row, above, shifted, count, value);
  }
}

}  // namespace

void take_better(cell* row, const cell* above, const cell* shifted, std::size_t count, cell value,
                 bool saturating) {
  take_better_cloned(row, above, shifted, count, value, saturating);
}

namespace {

// Writes columns [from, to) of `row` for an element of the given weight and value.
// Inlined: with short rows, passing the arguments through memory costs more than the row.
template <bool saturating>
[[gnu::always_inline]] inline void fill_row(cell* row, const cell* above, std::size_t from,
                                            std::size_t to, std::size_t weight, cell value) {
  const std::size_t fit_begin = std::clamp(weight, from, to);
  std::copy(above + from, above + fit_begin, row + from);
  if (fit_begin < to) {
    take_better_cloned(row + fit_begin, above + fit_begin, above + fit_begin - weight,
                       to - fit_begin, value, saturating);
  }
}

// The rows of the table, K = n+1 or 2 of them; cells are left for the caller to write. Holds no
// cells when memory for them cannot be had.
struct table {
  block<cell> cells;
  std::size_t columns;
  bool whole;  // K = n+1

  cell* row(std::size_t i) const { return cells.get() + (whole ? i : i % 2) * columns; }
};

table allocate_table(std::size_t rows, std::size_t columns, bool whole) {
  return {rows <= SIZE_MAX / columns ? allocate<cell>(rows * columns) : nullptr, columns, whole};
}

// Fills every cell of the whole table and returns the answer cell. The table is filled a band of
// columns at a time, each band row by row: a cell needs only cells above it at the same or lower
// columns, so the row above is still in cache when a row reads it, however long the rows.
template <bool saturating>
cell fill_whole(const table& best, std::span<const int> values, std::span<const int> weights) {
  for (std::size_t from = 0; from < best.columns; from += band_columns) {
    const std::size_t to = std::min(best.columns, from + band_columns);
    std::fill(best.row(0) + from, best.row(0) + to, cell{0});
    for (std::size_t k = 0; k < weights.size(); ++k) {
      const item next = as_item(values[k], weights[k], best.columns);
      fill_row<saturating>(best.row(k + 1), best.row(k), from, to, next.weight, next.value);
    }
  }
  return best.row(weights.size())[best.columns - 1];
}

// Fills two rows in turn, every column, and returns the answer cell.
template <bool saturating>
cell fill_two_rows(const table& best, std::span<const int> values, std::span<const int> weights) {
  std::fill(best.row(0), best.row(0) + best.columns, cell{0});
  for (std::size_t k = 0; k < weights.size(); ++k) {
    const item next = as_item(values[k], weights[k], best.columns);
    fill_row<saturating>(best.row(k + 1), best.row(k), 0, best.columns, next.weight, next.value);
  }
  return best.row(weights.size())[best.columns - 1];
}

}  // namespace

std::size_t whole_table_bytes(std::size_t n, int capacity) {
  const std::size_t row = (static_cast<std::size_t>(capacity) + 1) * sizeof(cell);
  return n + 1 <= SIZE_MAX / row ? (n + 1) * row : SIZE_MAX;
}

std::optional<std::int64_t> best_by_whole_table(std::span<const int> values,
                                                std::span<const int> weights, int capacity) {
  const std::size_t columns = static_cast<std::size_t>(capacity) + 1;
  const table whole = allocate_table(weights.size() + 1, columns, true);
  if (!whole.cells) return std::nullopt;
  const bool saturating = may_pass_int_max(values, weights, columns - 1);
  return saturating ? fill_whole<true>(whole, values, weights)
                    : fill_whole<false>(whole, values, weights);
}

std::int64_t best_by_two_rows(std::span<const int> values, std::span<const int> weights,
                              int capacity) {
  const std::size_t columns = static_cast<std::size_t>(capacity) + 1;
  const table rows = allocate_table(2, columns, false);
  if (!rows.cells) throw std::bad_alloc();
  return may_pass_int_max(values, weights, columns - 1)
             ? fill_two_rows<true>(rows, values, weights)
             : fill_two_rows<false>(rows, values, weights);
}
