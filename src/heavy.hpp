#pragma once

#include "elements.hpp"
#include "method.hpp"

// Step lists over every open element, the heaviest first: for instances whose heavy elements
// each take a large share of the capacity and whose values per weight are all alike, where the
// lists from the greedy selection find no window that holds the answer.

/// The best value of the open elements of `r` from the step lists from the heaviest element, with
/// coarse rows from params.coarse_from steps on; no best value once the lists would hold more
/// than params.max_steps steps, write more than params.max_work or are told to stop.
method_result best_by_heavy_lists(const reduced& r, const method_params& params);
