#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "elements.hpp"
#include "method.hpp"

// Rows of one bit per column, for a subset sum: where every value is the same multiple of its
// weight, the best value follows from the greatest reachable weight within the capacity.

/// Whether every open element of `r` (one at least) has the same value per weight.
bool subset_sum(const reduced& r);

/// What best_by_bits() costs for an instance.
struct bits_cost {
  std::uint64_t words = 0;  ///< of the passes it computes: the measure of its time
  std::size_t bytes = 0;    ///< of the row it allocates
};

/// What best_by_bits() costs for `r`: of a row of the weights kept, or, where the capacity is
/// more than half the total weight and that is cheaper, of the weights left out.
bits_cost bits_cost_of(const reduced& r);

/// The best value of the open elements of `r`, a subset sum, exact in 64 bits, on params.threads
/// threads; none once params.keep_going says stop. Threads that cannot be had leave the work to
/// those that can. Throws std::bad_alloc when the row cannot be had.
method_result best_by_bits(const reduced& r, const method_params& params);
