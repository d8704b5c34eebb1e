#pragma once

#include <cstdint>
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
  bool ask_again = false;          ///< standard input and standard error are one terminal
  bool errors_on_screen = false;   ///< standard error is a terminal
  bool prompts_on_screen = false;  ///< standard output is that terminal too
  bool echo_on_screen = false;     ///< standard input is that terminal too, which echoes
  bool canonical = false;          ///< standard input is a terminal that hands over whole lines
  void (*drop_typed_ahead)() = nullptr;      ///< discards what the terminal holds, not yet read
  std::uint64_t (*typed_ahead)() = nullptr;  ///< bytes the terminal holds, not yet read
};

/// Prompts on `out` for the element count, the capacity, the values and the weights, reads them
/// from `in`, and writes the best total value on `out`. Any failure leaves one line on `err` and
/// no result line. Where the person typing sees the errors, a refused number is asked for again
/// instead, after everything typed after it is dropped; a line that reaches the terminal's limit
/// has its last number refused. On a terminal an error line starts on a line of its own. The
/// solver works within `limits`. Returns the exit status.
int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err,
                 const terminal_use& terminal = {}, const solver_limits& limits = {});
