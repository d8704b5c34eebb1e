#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "reduce.hpp"
#include "rows.hpp"

// Rows of one bit per column, for a subset sum: where every value is the same multiple of its
// weight, the best value follows from the greatest reachable weight within the capacity.

/// Whether every open element of `r` (one at least) has the same value per weight.
bool subset_sum(const reduced& r);

/// Bytes best_by_bits() allocates for a row up to `capacity`.
std::size_t bits_bytes(std::int64_t capacity);

/// Words of the passes best_by_bits() computes for `r`: the measure of its cost.
std::uint64_t bits_words(const reduced& r);

/// The best value of the open elements of `r`, a subset sum, exact in 64 bits; nothing once a
/// stop is requested. Threads that cannot be had leave the work to those that can. Throws
/// std::bad_alloc when the row cannot be had.
std::optional<std::int64_t> best_by_bits(const reduced& r, const rows_options& options);
