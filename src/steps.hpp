#pragma once

#include <cstddef>

#include "elements.hpp"
#include "method.hpp"

// The best value as a list of steps: the (weight, value) pairs where the best value rises with
// the capacity, over the open elements as the reduction leaves them, from the greedy selection.

/// Bytes a step takes.
inline constexpr std::size_t step_bytes = 24;

/// The best value of the open elements of `r` from the step lists from the greedy selection; no
/// best value once the lists would hold more than params.max_steps steps, write more than
/// params.max_work or are told to stop.
method_result best_by_steps(const reduced& r, const method_params& params);
