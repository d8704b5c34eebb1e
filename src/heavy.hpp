#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "reduce.hpp"
#include "steps.hpp"

// Step lists over every open element, the heaviest first: for instances whose heavy elements
// each take a large share of the capacity and whose values per weight are all alike, where the
// lists from the greedy selection find no window that holds the answer.

/// Steps in the list from which coarse rows over the capacity bound it as well: they cost a
/// pass over half a million columns per element, and only long lists need them.
inline constexpr std::size_t coarse_after = std::size_t{1} << 16;

/// The best value of the open elements of `r`, exact in 64 bits (at least r.lower - r.fixed), or
/// nothing once the lists would pass a limit.
std::optional<std::int64_t> best_by_heavy_lists(const reduced& r, const step_limits& limits,
                                                std::size_t coarse_from = coarse_after);
