#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>

#include "reduce.hpp"

// Dense rows over every capacity, for instances that no bound cuts down: one best value per
// column, or one bit per column where every value is the same multiple of its weight.

/// How the rows run.
struct rows_options {
  unsigned threads = 1;    ///< threads that share each row's columns, the caller's among them
  std::stop_token stop{};  ///< checked once per pass over the row
};

/// Bytes best_by_rows() allocates for `r`.
std::size_t rows_bytes(const reduced& r);

/// The best total value of `r`, exact in 64 bits (a best value of the open elements beyond
/// UINT32_MAX comes back as at least that), or nothing once a stop is requested. Throws
/// std::bad_alloc when the rows cannot be had.
std::optional<std::int64_t> best_by_rows(const reduced& r, const rows_options& options);
