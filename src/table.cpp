#include "table.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

// best[i][j] is the greatest value reachable with the first i elements within weight j:
//   best[0][j] = 0,
//   best[i][j] = max(best[i-1][j], value + best[i-1][j-weight])   where weight <= j.
// Each row reads only the row above, so no element is counted twice; column 0 is filled like the
// others because an element of weight 0 fits in any capacity.
//
// Row i lives in slot i mod K of one flat buffer: K = n+1 keeps the whole table, K = 2 keeps two
// rows where only the answer is wanted. Both give the same answer. A row is written in segments
// cut where the element starts to fit and where the row above ends, so that each segment is a
// branch-free loop the compiler vectorises.
//
// Cells are unsigned: no cell is below 0, since leaving everything out is always possible. When
// the values that could be taken may sum past INT_MAX, additions saturate at UINT32_MAX, so a best
// value beyond INT_MAX shows up as such instead of wrapping; otherwise no sum can overflow and the
// plain loop runs. An element whose value is not positive, or that is heavier than the capacity,
// is never taken: its row is a copy of the row above.
//
// With two rows only the answer matters, so only the columns that can still lead to it are
// computed. Row i needs no column below capacity minus the weight still to come. And once the
// elements so far all fit (column j >= their total weight), every cell holds their total value:
// those columns are not stored, the row ends at that total weight and `top` stands for the rest.
// When all elements worth taking fit together, their total value is the answer and no row is
// needed at all, however large the capacity.

// On x86-64 the loops over a row get one clone per vector width, picked when the program loads;
// the build can leave them out to test the portable code alone. Other targets get the portable
// code, vectorised for their baseline.
#if defined(__x86_64__) && !defined(KNAPSACK_NO_CLONES)
#define VECTOR_CLONES [[gnu::target_clones("avx512f", "avx2", "default")]]
#else
#define VECTOR_CLONES
#endif

namespace {

using cell = std::uint32_t;
constexpr cell saturated = UINT32_MAX;
constexpr std::size_t band_columns = std::size_t{1} << 16;  // 256 KiB of a row: fits in L2

bool worth_taking(int value, int weight, std::size_t capacity) {
  return value > 0 && static_cast<std::size_t>(weight) <= capacity;
}

// An element as a row sees it. One never worth taking weighs more than any column and adds
// nothing, so its row is a copy of the row above.
struct element {
  std::size_t weight;
  cell value;  // 0 only for an element never worth taking
};

element as_element(int value, int weight, std::size_t columns) {
  if (!worth_taking(value, weight, columns - 1)) return {columns, 0};
  return {static_cast<std::size_t>(weight), static_cast<cell>(value)};
}

// Sums of the values and of the weights of the elements worth taking; at most 2^31 terms below
// 2^31 each, so neither overflows.
std::pair<std::uint64_t, std::uint64_t> totals(std::span<const int> values,
                                               std::span<const int> weights, std::size_t capacity) {
  std::uint64_t value = 0;
  std::uint64_t weight = 0;
  for (std::size_t k = 0; k < weights.size(); ++k) {
    if (worth_taking(values[k], weights[k], capacity)) {
      value += static_cast<std::uint64_t>(values[k]);
      weight += static_cast<std::uint64_t>(weights[k]);
    }
  }
  return {value, weight};
}

template <bool saturating>
cell add(cell rest, cell value) {
  return (saturating ? std::min(rest, saturated - value) : rest) + value;
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

// row[j] = max(top, shifted[j] + value) past the end of the row above.
template <bool saturating>
[[gnu::always_inline]] inline void take_better_than_loop(cell* __restrict row, cell top,
                                                         const cell* __restrict shifted,
                                                         std::size_t count, cell value) {
  for (std::size_t j = 0; j < count; ++j) {
    row[j] = std::max(top, add<saturating>(shifted[j], value));
  }
}

// The cloned entry points; clones cannot be templates, so saturation is chosen once per call.
VECTOR_CLONES void take_better(cell* row, const cell* above, const cell* shifted, std::size_t count,
                               cell value, bool saturating) {
  if (saturating) {
    take_better_loop<true>(row, above, shifted, count, value);
  } else {
    take_better_loop<false>(row, above, shifted, count, value);
  }
}

VECTOR_CLONES void take_better_than(cell* row, cell top, const cell* shifted, std::size_t count,
                                    cell value, bool saturating) {
  if (saturating) {
    take_better_than_loop<true>(row, top, shifted, count, value);
  } else {
    take_better_than_loop<false>(row, top, shifted, count, value);
  }
}

// The columns [from, to) of a row that are stored; every column from `to` on holds `top`.
struct stretch {
  std::size_t from;
  std::size_t to;
  cell top;
};

// Writes columns [want.from, want.to) of `row` for an element of the given weight and value.
// Inlined: with short rows, passing the stretches through memory costs more than the row.
template <bool saturating>
[[gnu::always_inline]] inline void fill_row(cell* row, const cell* above, stretch have,
                                            stretch want, std::size_t weight, cell value) {
  const std::size_t fit_begin = std::clamp(weight, want.from, want.to);
  const std::size_t above_end = std::clamp(have.to, want.from, want.to);
  const std::size_t left_out_end = std::min(fit_begin, above_end);
  std::copy(above + want.from, above + left_out_end, row + want.from);
  if (above_end < fit_begin) std::fill(row + above_end, row + fit_begin, have.top);
  if (fit_begin < above_end) {
    take_better(row + fit_begin, above + fit_begin, above + fit_begin - weight,
                above_end - fit_begin, value, saturating);
  }
  const std::size_t past_both = std::max(fit_begin, above_end);
  if (past_both < want.to) {
    take_better_than(row + past_both, have.top, above + past_both - weight, want.to - past_both,
                     value, saturating);
  }
}

// The rows of the table, K = n+1 or 2 of them; cells are left for the caller to write. Holds no
// cells when memory for them cannot be had.
struct release {
  void operator()(cell* cells) const { std::free(cells); }
};

struct table {
  std::unique_ptr<cell[], release> cells;
  std::size_t columns;
  bool whole;  // K = n+1

  cell* row(std::size_t i) const { return cells.get() + (whole ? i : i % 2) * columns; }
};

// Huge pages cut the cost of first touching a large table, which bounds how fast it fills: a block
// aligned to them, and the kernel asked to back it with them where it offers that.
constexpr std::size_t huge_page = std::size_t{2} << 20;

cell* allocate_cells(std::size_t count) {
  const std::size_t bytes = count * sizeof(cell);
  if (bytes < huge_page) return static_cast<cell*>(std::malloc(bytes));
  const std::size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
  void* block = std::aligned_alloc(huge_page, rounded);
#ifdef MADV_HUGEPAGE
  if (block != nullptr) madvise(block, rounded, MADV_HUGEPAGE);
#endif
  return static_cast<cell*>(block);
}

table allocate(std::size_t rows, std::size_t columns, bool whole) {
  return {std::unique_ptr<cell[], release>(allocate_cells(rows * columns)), columns, whole};
}

// Fills every cell of the whole table and returns the answer cell. The table is filled a band of
// columns at a time, each band row by row: a cell needs only cells above it at the same or lower
// columns, so the row above is still in cache when a row reads it, however long the rows.
template <bool saturating>
cell fill_whole(const table& best, std::span<const int> values, std::span<const int> weights) {
  const stretch have{0, best.columns, 0};
  for (std::size_t from = 0; from < best.columns; from += band_columns) {
    const stretch want{from, std::min(best.columns, from + band_columns), 0};
    std::fill(best.row(0) + want.from, best.row(0) + want.to, cell{0});
    for (std::size_t k = 0; k < weights.size(); ++k) {
      const element item = as_element(values[k], weights[k], best.columns);
      fill_row<saturating>(best.row(k + 1), best.row(k), have, want, item.weight, item.value);
    }
  }
  return best.row(weights.size())[best.columns - 1];
}

// Fills two rows in turn and returns the answer cell. With `prune`, only the columns that can
// still lead to the answer are written, and elements never taken get no row.
template <bool saturating>
cell fill_two_rows(const table& best, std::span<const int> values, std::span<const int> weights,
                   std::uint64_t weight_to_come, bool prune) {
  const std::size_t capacity = best.columns - 1;
  stretch have{0, prune ? 1 : best.columns, 0};
  std::fill(best.row(0) + have.from, best.row(0) + have.to, cell{0});
  std::size_t i = 0;
  for (std::size_t k = 0; k < weights.size(); ++k) {
    const element item = as_element(values[k], weights[k], best.columns);
    if (prune && item.value == 0) continue;
    stretch want{0, best.columns, add<saturating>(have.top, item.value)};
    if (prune) {
      weight_to_come -= item.weight;
      want.from = capacity - std::min<std::uint64_t>(capacity, weight_to_come);
      want.to = std::min(best.columns, have.to + item.weight);
    }
    if (want.from < want.to) {
      fill_row<saturating>(best.row(i + 1), best.row(i), have, want, item.weight, item.value);
    }
    have = want;
    ++i;
  }
  return capacity < have.to ? best.row(i)[capacity] : have.top;
}

}  // namespace

std::size_t whole_table_bytes(std::size_t n, int capacity) {
  const std::size_t row = (static_cast<std::size_t>(capacity) + 1) * sizeof(cell);
  return n + 1 <= SIZE_MAX / row ? (n + 1) * row : SIZE_MAX;
}

std::optional<std::int64_t> best_by_whole_table(std::span<const int> values,
                                                std::span<const int> weights, int capacity) {
  const std::size_t columns = static_cast<std::size_t>(capacity) + 1;
  const table whole = allocate(weights.size() + 1, columns, true);
  if (!whole.cells) return std::nullopt;
  const bool saturating = totals(values, weights, columns - 1).first > INT_MAX;
  return saturating ? fill_whole<true>(whole, values, weights)
                    : fill_whole<false>(whole, values, weights);
}

std::size_t two_rows_bytes(int capacity) {
  return 2 * (static_cast<std::size_t>(capacity) + 1) * sizeof(cell);
}

std::int64_t best_by_two_rows(std::span<const int> values, std::span<const int> weights,
                              int capacity, bool prune) {
  const std::size_t columns = static_cast<std::size_t>(capacity) + 1;
  const auto [value_total, weight_total] = totals(values, weights, columns - 1);
  if (prune && weight_total < columns) {  // everything worth taking fits: no table needed
    return static_cast<std::int64_t>(value_total);
  }
  const table rows = allocate(2, columns, false);
  if (!rows.cells) throw std::bad_alloc();
  return value_total > INT_MAX ? fill_two_rows<true>(rows, values, weights, weight_total, prune)
                               : fill_two_rows<false>(rows, values, weights, weight_total, prune);
}
