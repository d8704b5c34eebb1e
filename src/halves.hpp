#pragma once

#include <cstddef>
#include <cstdint>

#include "elements.hpp"
#include "method.hpp"

// Few elements at any capacity: every selection of each half of the elements, paired.

/// Elements up to which the halves' lists hold at most 2^22 selections each.
inline constexpr std::size_t halves_most_elements = 44;

/// The best value of the open elements of `r`, from the lists of both halves' selections, each at
/// most 2^ceil(n/2) long whatever the capacity. Throws std::bad_alloc when they cannot be had.
method_result best_by_halves(const reduced& r, const method_params& params);

/// Selections the halves' lists may hold, over both, for n elements: the measure of their cost.
std::uint64_t halves_selections(std::size_t n);

/// Bytes the halves' lists may take at once for n elements.
std::size_t halves_bytes(std::size_t n);
