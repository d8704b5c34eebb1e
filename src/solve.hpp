#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "knapsack.hpp"
#include "method.hpp"
#include "threads.hpp"

// What the tests, the benchmark and the fuzz targets ask of the solver beyond knapsack(): a method
// forced in place of the cheapest, threads refused, and a report of what answered, so that a test
// can tell a forced method from anything that answered for it.

/// Hooks into the solver.
struct solver_hooks {
  thread_starter start = start_jthread;              ///< starts every thread the solver starts
  std::optional<given_method> given = std::nullopt;  ///< answers the instance as given
  /// Answers the elements the reduction leaves open, where it applies (the halves to few
  /// elements, the rows of bits to a subset sum), with all the memory and nothing after it.
  std::optional<open_method> open = std::nullopt;
  /// The reduction bounds the instance but decides no element, so that the method that answers
  /// the open elements sees every element worth taking.
  bool keep_open = false;
};

/// What answered an instance.
struct solution {
  int best = 0;            ///< the best total value
  std::int64_t upper = 0;  ///< what answered proved no selection is worth more
  given_method how = given_method::reduction;
  std::optional<open_method> by = std::nullopt;  ///< what answered the open elements, if any
  method_result open = {};                       ///< what it found, where it ran
};

/// The best total value of the instance, as knapsack() finds it, and what answered it, with
/// `hooks`. Throws as knapsack() does.
solution solve(std::vector<int> values, std::vector<int> weights, int capacity,
               const solver_limits& limits, const solver_hooks& hooks);
