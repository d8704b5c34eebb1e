#include "dialogue.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <ios>
#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "knapsack.hpp"
#include "reader.hpp"

// The dialogue decides what to write, whether to ask again and with what status to stop; the
// reader only says what it found. On a terminal a person can retype a refused number, from a pipe
// or a file nobody can. What was typed after a refused number may have been typed in view of
// an answer it did not get (a paste goes on regardless), so all of it is dropped, and the person
// types again from the refused number.

namespace {

constexpr std::string_view prompt_count = "\n\t Enter number of elements : ";
constexpr std::string_view prompt_capacity = "\n\t Enter the capacity of knapsack : ";
constexpr std::string_view prompt_values = "\n\t Enter the value/cost of all elements : ";
constexpr std::string_view prompt_weights = "\n\t Enter the weight of all elements : ";
constexpr std::string_view result_text = "\n\t Maximum total value in the knapsack : ";
constexpr std::string_view ask_again =
    "; what was typed after it is dropped: type it again, and the rest";

constexpr std::size_t initial_reserve = 1 << 16;  // elements, before they have arrived

// The number a read expects, for the error line: "the weight of element 3".
struct field {
  std::string_view name;
  int low;
  std::size_t element = 0;  // counted from 1; 0 for the count and the capacity
};

std::string describe(const field& expected) {
  std::string text = "the " + std::string(expected.name);
  if (expected.element != 0) text += " of element " + std::to_string(expected.element);
  return text;
}

// The token as the error line shows it: printable ASCII as it is, other bytes escaped.
std::string shown(const token_start& token) {
  constexpr std::string_view hex = "0123456789abcdef";
  std::string text;
  for (std::size_t k = 0; k < token.size; ++k) {
    const auto byte = static_cast<unsigned char>(token.bytes[k]);
    if (byte >= ' ' && byte <= '~' && byte != '"' && byte != '\\') {
      text += static_cast<char>(byte);
    } else {
      text += {'\\', 'x', hex[byte >> 4], hex[byte & 15]};
    }
  }
  return token.cut ? text + "..." : text;
}

// What the dialogue writes to, how it meets a terminal, and what the solver may take.
struct console {
  std::ostream& out;
  std::ostream& err;
  terminal_use terminal;
  const solver_limits& limits;
};

// Writes one error line, after the prompts so far. Where it shows beside the prompts, it starts
// on a line of its own, not after a prompt or a number that nothing typed has ended.
void report(const console& at, source& from, const std::string& message) {
  at.out.flush();
  // One write: standard error is unbuffered, and on a shared terminal nothing typed or written
  // meanwhile should land inside the line.
  const std::string_view fresh_line =
      at.terminal.error_with_prompts && !from.line_ended ? "\n" : "";
  at.err << std::string(fresh_line) + "knapsack: " + message + '\n';
  at.err.flush();
  from.line_ended = true;
}

void prompt(const console& at, source& from, std::string_view text) {
  at.out << text;
  from.line_ended = false;
}

// Reports why no number was read for `expected`. Returns the exit status to stop with, or nothing
// when the number is to be asked for again: a refused token, on a terminal, after everything typed
// after it is dropped.
[[gnu::cold]] std::optional<int> refuse(const console& at, source& from, const field& expected,
                                        found what) {
  std::string message;
  switch (what) {
    case found::end:
      report(at, from, "the input ended before " + describe(expected));
      return exit_bad_input;
    case found::read_error:
      report(at, from, "cannot read the input: " + from.failure);
      return exit_unanswerable;
    case found::cut_line:
      message = describe(expected) + " may have been cut (\"" + shown(from.token) +
                "\"): the terminal keeps " + std::to_string(line_limit - 1) +
                " bytes of a line, and long input belongs in a pipe or a file";
      break;
    case found::number:
    case found::bad_token:
      message = describe(expected) + " must be an integer from " + std::to_string(expected.low) +
                " to " + std::to_string(INT_MAX) + ", not \"" + shown(from.token) + "\"";
      break;
  }
  if (!at.terminal.input) {
    report(at, from, message);
    return exit_bad_input;
  }
  // Dropped before the error line shows: what is typed once it shows is the answer to it.
  drop_held(from);
  if (at.terminal.drop_typed_ahead != nullptr) at.terminal.drop_typed_ahead();
  report(at, from, message + std::string(ask_again));
  return std::nullopt;
}

// Reads one number; returns the exit status to stop with, if any.
std::optional<int> read_into(const console& at, source& from, const field& expected, int& number) {
  for (;;) {
    const number_read got = read_number(from, expected.low);
    if (got.what == found::number) {
      number = got.number;
      return std::nullopt;
    }
    if (const auto stop = refuse(at, from, expected, got.what)) return stop;
  }
}

std::optional<int> read_list(const console& at, source& from, field expected, int count,
                             std::vector<int>& list) {
  for (int k = 0; k < count;) {
    const number_read got = read_number(from, expected.low);
    if (got.what == found::number) [[likely]] {
      list.push_back(got.number);
      ++k;
      continue;
    }
    expected.element = static_cast<std::size_t>(k) + 1;
    if (const auto stop = refuse(at, from, expected, got.what)) return stop;
  }
  return std::nullopt;
}

int converse(const console& at, source& from) {
  int count = 0;
  int capacity = 0;
  prompt(at, from, prompt_count);
  if (const auto stop = read_into(at, from, {"number of elements", 0}, count)) return *stop;
  prompt(at, from, prompt_capacity);
  if (const auto stop = read_into(at, from, {"capacity", 0}, capacity)) return *stop;

  // Lists grow as elements arrive: a large count alone must not claim memory.
  std::vector<int> values;
  std::vector<int> weights;
  values.reserve(std::min<std::size_t>(static_cast<std::size_t>(count), initial_reserve));
  prompt(at, from, prompt_values);
  if (const auto stop = read_list(at, from, {"value", INT_MIN}, count, values)) return *stop;
  weights.reserve(values.size());
  prompt(at, from, prompt_weights);
  if (const auto stop = read_list(at, from, {"weight", 0}, count, weights)) return *stop;

  const int best = knapsack(std::move(values), std::move(weights), capacity, at.limits);
  at.out << result_text << best << '\n';
  at.out.flush();
  if (!at.out) {
    report(at, from, "cannot write the result");
    return exit_unanswerable;
  }
  return exit_ok;
}

}  // namespace

int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err,
                 const terminal_use& terminal, const solver_limits& limits) {
  const console at{out, err, terminal, limits};
  source from{*in.rdbuf(), out, terminal.input};
  try {
    return converse(at, from);
  } catch (const std::bad_alloc&) {
    report(at, from, "not enough memory for this instance");
    return exit_unanswerable;
  } catch (const std::overflow_error&) {
    report(at, from, "the best total value exceeds " + std::to_string(INT_MAX));
    return exit_unanswerable;
  } catch (const std::invalid_argument& error) {
    report(at, from, error.what());
    return exit_bad_input;
  }
}
