#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "elements.hpp"
#include "method.hpp"

// Dense rows over every capacity, for instances that no bound cuts down: one best value per
// column (here), or one bit per column where every value is the same multiple of its weight
// (bits.hpp). Both return the best value of the open elements of a reduced instance.

/// One pass over a row: one element, or two at once.
struct pass {
  element first;
  element second;    ///< weight 0 in a pass of one element
  std::size_t from;  ///< the columns the pass computes, [from, to)
  std::size_t to;
};

/// The passes over `elements` two at a time, with the columns each computes: none below `floor`
/// less the weight still to come (`partner` more, where other elements complete the row's
/// selections later), and none past the weight so far or past the capacity.
std::vector<pass> passes_of(std::span<const element> elements, std::size_t capacity,
                            std::size_t floor, std::uint64_t partner = 0);

/// What best_by_rows() costs for an instance on one thread or two: the cells it computes, the
/// measure of its time, and the bytes it allocates. On one thread it fills a row in place; on two,
/// each thread fills a row over half of the elements, which cut off fewer columns than one row
/// over all of them. A row in place holds only the columns its passes work on, where those are
/// fewer than the capacity's.
struct rows_cost {
  std::uint64_t cells = 0;         ///< on one thread
  std::uint64_t cells_halved = 0;  ///< on two, for the thread that computes more
  std::size_t bytes = 0;           ///< on one thread
  std::size_t bytes_halved = 0;    ///< on two
};

/// What best_by_rows() costs for `r`.
rows_cost rows_cost_of(const reduced& r);

/// Bytes best_by_rows() allocates on three threads or more, which share two rows of every column.
std::size_t shared_rows_bytes(std::int64_t capacity);

/// Threads best_by_rows() uses for rows up to `capacity` where `wanted` are: fewer where a share
/// of a row would be so short that meeting between passes costs more than it saves.
unsigned rows_threads(std::int64_t capacity, unsigned wanted);

/// The best value of the open elements of `r`, from rows of best values on params.threads
/// threads: exact in 64 bits up to UINT32_MAX, at least UINT32_MAX beyond it; none once
/// params.keep_going, which every thread may ask at once, says stop. Threads that cannot be had
/// leave the work to those that can. Throws std::bad_alloc when the rows cannot be had.
method_result best_by_rows(const reduced& r, const method_params& params);
