#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "choice.hpp"
#include "reduce.hpp"

// Carries out the plans that choose() makes: runs each method as the plan says, and where one
// gives up or cannot have its memory, the one the plan names next. It decides nothing itself.

/// An instance as given, its arguments checked: the solver's own lists, which the reduction may
/// reorder.
struct instance {
  std::span<int> values;
  std::span<int> weights;
  int capacity;
};

/// The best total value of `given` as plan `p`, made for its shape as given, says; where that
/// plan reduces the instance, as the plan then made for the elements left open says. Exact in 64
/// bits. Throws std::overflow_error once a selection worth more than INT_MAX is found, and
/// std::bad_alloc where no method the plans name can have its memory.
std::int64_t best_by_plan(const instance& given, const plan& p, const solver_limits& limits);

/// The best total value of `r` as plan `p`, made for its open elements, says: the decided
/// elements' value plus the open ones', or the reduction's lower bound where that is more.
std::int64_t best_of_reduced(const reduced& r, const plan& p, const solver_limits& limits);

/// What choose() sees of `r`, reduced from `elements` elements at `capacity`.
shape shape_of(const reduced& r, std::size_t elements, int capacity);
