#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

#include "reduce.hpp"
#include "threads.hpp"

// Dense rows over every capacity, for instances that no bound cuts down: one best value per
// column (here), or one bit per column where every value is the same multiple of its weight
// (bits.hpp). Both return the best value of the open elements of a reduced instance.

/// How the rows run.
struct rows_options {
  unsigned threads = 1;    ///< threads wanted, the caller's among them
  std::stop_token stop{};  ///< checked once per pass over the row
  thread_starter start = start_jthread;
};

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

/// Bytes best_by_rows() allocates for rows up to `capacity` where `threads` are wanted.
std::size_t rows_bytes(std::int64_t capacity, unsigned threads);

/// Cells of the passes best_by_rows() computes for `r` on one thread: the measure of its cost.
std::uint64_t rows_cells(const reduced& r);

/// The same on two threads, for the thread that computes more: each fills a row over half of
/// the elements, and cuts off fewer columns than one row over all of them.
std::uint64_t rows_cells_halved(const reduced& r);

/// The best value of the open elements of `r`, from rows of best values: exact in 64 bits up to
/// UINT32_MAX, at least UINT32_MAX beyond it; nothing once a stop is requested. Threads that
/// cannot be had leave the work to those that can. Throws std::bad_alloc when the rows cannot be
/// had.
std::optional<std::int64_t> best_by_rows(const reduced& r, const rows_options& options);
