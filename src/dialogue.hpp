#pragma once

#include <iosfwd>

#include "knapsack.hpp"

/// Exit status of a run that wrote the result line.
inline constexpr int exit_ok = 0;
/// Exit status when the input is not a valid instance: not an integer, out of range, cut short.
inline constexpr int exit_bad_input = 1;
/// Exit status when the instance cannot be answered: the best value exceeds INT_MAX, memory runs
/// out, or the input cannot be read or the result written.
inline constexpr int exit_unanswerable = 2;

/// How the dialogue meets a terminal.
struct terminal_use {
  bool input = false;                    ///< a person types the input at a terminal
  bool error_with_prompts = false;       ///< errors show on the terminal that shows the prompts
  void (*drop_typed_ahead)() = nullptr;  ///< discards what the terminal holds, typed but not read
};

/// Prompts on `out` for the element count, the capacity, the values and the weights, reads them
/// from `in`, and writes the best total value on `out`. Any failure leaves one line on `err` and
/// no result line. Where a person types the input, a refused number is asked for again instead,
/// after everything typed after it is dropped; a line that reaches the terminal's limit has its
/// last number refused. Where errors show beside the prompts, an error line never starts after a
/// prompt. The solver works within `limits`. Returns the exit status.
int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err,
                 const terminal_use& terminal = {}, const solver_limits& limits = {});
