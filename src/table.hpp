#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// The dense best-value table: one cell per element and capacity. Arguments are as knapsack()
// checked them: capacity and weights not negative, at least as many values as weights. An answer
// beyond UINT32_MAX comes back as UINT32_MAX; the caller refuses anything beyond INT_MAX.

/// row[j] = max(above[j], shifted[j] + value) for j < count, the sums saturating at UINT32_MAX
/// where `saturating`: one element taken into a row of best values. `row` shares no cell with
/// the others.
void take_better(std::uint32_t* row, const std::uint32_t* above, const std::uint32_t* shifted,
                 std::size_t count, std::uint32_t value, bool saturating);

/// Bytes the whole table of n elements up to `capacity` takes, saturating at SIZE_MAX.
std::size_t whole_table_bytes(std::size_t n, int capacity);

/// The answer from the whole table, or nothing when memory for it cannot be had.
std::optional<std::int64_t> best_by_whole_table(std::span<const int> values,
                                                std::span<const int> weights, int capacity);

/// The answer from two rows, every column: what the whole table gives, in two rows' memory.
/// Throws std::bad_alloc when the rows cannot be had.
std::int64_t best_by_two_rows(std::span<const int> values, std::span<const int> weights,
                              int capacity);
