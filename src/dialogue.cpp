#include "dialogue.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <ios>
#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "knapsack.hpp"
#include "reader.hpp"

// The dialogue decides what to write, whether to ask again and with what status to stop; the
// reader only says what it found. Where standard input and standard error are one terminal, a
// person sees a refusal and can retype the number; anywhere else nobody can, and a refusal ends the
// run. What was typed after a refused number may have been typed in view of an answer it did not
// get (a paste goes on regardless), so all of it is dropped, and the person types again from the
// refused number.
//
// An error line on a terminal starts on a line of its own exactly where the cursor is not at the
// start of one. The dialogue keeps what it last wrote to that screen, and what the terminal has
// echoed since: input that had arrived before that write (typed ahead, a paste) was echoed before
// it; input that arrived after it was echoed after it, and ends the screen's last line where its
// last byte is a line feed. A terminal hands over only whole lines, or what Ctrl-D pushed, so input
// still waiting ends its line. A pipe echoes nothing.

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

// The token as the error line shows it: printable ASCII as it is, other bytes escaped, and a hex
// digit after an escaped byte escaped as well, so that no escape reads as a longer one.
std::string shown(const token_start& token) {
  constexpr std::string_view hex = "0123456789abcdef";
  std::string text;
  bool escaped = false;
  for (std::size_t k = 0; k < token.size; ++k) {
    const auto byte = static_cast<unsigned char>(token.bytes[k]);
    const bool plain = byte >= ' ' && byte <= '~' && byte != '"' && byte != '\\' &&
                       !(escaped && std::isxdigit(byte) != 0);
    if (plain) {
      text += static_cast<char>(byte);
    } else {
      text += {'\\', 'x', hex[byte >> 4], hex[byte & 15]};
    }
    escaped = !plain;
  }
  return token.cut ? text + "..." : text;
}

bool outside_ascii(const token_start& token) {
  return std::any_of(token.bytes.begin(),
                     token.bytes.begin() + static_cast<std::ptrdiff_t>(token.size),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// What the screen shows: whether its cursor is at the start of a line after the dialogue's last
// write to it, and how much input had arrived by then.
struct screen {
  bool at_line_start = true;
  std::uint64_t arrived = 0;
};

// What the dialogue writes to, how it meets a terminal, and what the solver may take.
struct console {
  std::ostream& out;
  std::ostream& err;
  terminal_use terminal;
  const solver_limits& limits;
  screen shows{};
  int write_failure = 0;  // errno of the write to `out` that failed first, 0 for none
};

// Writes to standard output as `write` does, and keeps the reason where that write is the first
// to fail: the stream keeps none, and errno is soon changed by other calls (a read, a terminal
// query), so it is read at once.
template <typename writing>
void write_out(console& at, writing write) {
  const bool was_good = at.out.good();
  errno = 0;
  write();
  if (was_good && !at.out) at.write_failure = errno;
}

void flush_out(console& at) {
  write_out(at, [&] { at.out.flush(); });
}

// Input that has arrived, read or not: what the reader took, what the stream and the terminal
// still hold.
std::uint64_t arrived(const console& at, const source& from) {
  const std::streamsize in_stream = std::max<std::streamsize>(from.in.in_avail(), 0);
  const std::uint64_t waiting = at.terminal.typed_ahead != nullptr ? at.terminal.typed_ahead() : 0;
  return from.taken + static_cast<std::uint64_t>(in_stream) + waiting;
}

void wrote(console& at, const source& from, std::string_view text) {
  if (text.empty()) return;
  at.shows.at_line_start = text.back() == '\n';
  at.shows.arrived = arrived(at, from);
}

// Whether the screen's cursor is at the start of a line.
bool at_line_start(const console& at, const source& from) {
  if (!at.terminal.echo_on_screen || arrived(at, from) <= at.shows.arrived) {
    return at.shows.at_line_start;
  }
  // Echoed since the last write: input still waiting ends its line.
  return from.in.in_avail() > 0 ||
         (at.terminal.typed_ahead != nullptr && at.terminal.typed_ahead() > 0) ||
         from.last_taken == '\n';
}

// Writes one error line, after the prompts so far, on a line of its own on the screen.
void report(console& at, const source& from, const std::string& message) {
  flush_out(at);
  const bool fresh_line = at.terminal.errors_on_screen && !at_line_start(at, from);
  // One write: standard error is unbuffered, and on a shared terminal nothing typed or written
  // meanwhile should land inside the line.
  std::string line = fresh_line ? "\n" : "";
  line.append("knapsack: ").append(message).push_back('\n');
  at.err << line;
  at.err.flush();
  if (at.terminal.errors_on_screen) wrote(at, from, line);
}

void prompt(console& at, const source& from, std::string_view text) {
  write_out(at, [&] { at.out << text; });
  if (at.terminal.prompts_on_screen) wrote(at, from, text);
}

// Reports why no number was read for `expected`. Returns the exit status to stop with, or nothing
// when the number is to be asked for again: a refused token, on a terminal, after everything typed
// after it is dropped.
[[gnu::cold]] std::optional<int> refuse(console& at, source& from, const field& expected,
                                        const number_read& got) {
  std::string message;
  switch (got.what) {
    case found::end:
      report(at, from, "the input ended before " + describe(expected));
      return exit_bad_input;
    case found::read_error:
      report(at, from, "cannot read the input: " + got.error.value_or(std::error_code{}).message());
      return exit_unanswerable;
    case found::cut_line:
      message = describe(expected) + " may have been cut (\"" + shown(got.token) +
                "\"): the terminal keeps " + std::to_string(line_limit - 1) +
                " bytes of a line, and long input belongs in a pipe or a file";
      break;
    case found::number:
    case found::bad_token:
      message = describe(expected) + " must be an integer from " + std::to_string(expected.low) +
                " to " + std::to_string(INT_MAX) + ", not \"" + shown(got.token) + "\"" +
                (outside_ascii(got.token) ? ", a character outside ASCII" : "");
      break;
  }
  if (!at.terminal.ask_again) {
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
std::optional<int> read_into(console& at, source& from, const field& expected, int& number) {
  for (;;) {
    const number_read got = read_number(from, expected.low);
    if (got.what == found::number) {
      number = got.number;
      return std::nullopt;
    }
    if (const auto stop = refuse(at, from, expected, got)) return stop;
  }
}

std::optional<int> read_list(console& at, source& from, field expected, int count,
                             std::vector<int>& list) {
  for (int k = 0; k < count;) {
    if (expected.low <= 0) {
      // Numbers go to the list in batches: one by one, the list's end would be stored and loaded
      // again for each.
      std::array<int, 256> batch;
      const auto wanted = std::min(batch.size(), static_cast<std::size_t>(count - k));
      const std::size_t got = read_plain_numbers(from, std::span(batch).first(wanted));
      list.insert(list.end(), batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(got));
      k += static_cast<int>(got);
      if (got == wanted) continue;
    }
    const number_read got = read_number(from, expected.low);
    if (got.what == found::number) [[likely]] {
      list.push_back(got.number);
      ++k;
      continue;
    }
    expected.element = static_cast<std::size_t>(k) + 1;
    if (const auto stop = refuse(at, from, expected, got)) return stop;
  }
  return std::nullopt;
}

int converse(console& at, source& from) {
  int count = 0;
  int capacity = 0;
  prompt(at, from, prompt_count);
  if (const auto stop = read_into(at, from, {"number of elements", 0}, count)) return *stop;
  prompt(at, from, prompt_capacity);
  if (const auto stop = read_into(at, from, {"capacity", 0}, capacity)) return *stop;

  // Lists grow as elements arrive: a large count alone must not claim memory. Input already at
  // hand, such as the rest of a file, vouches for as many elements as it can hold, four bytes or
  // more each (two numbers, a blank after each), and those are reserved at once rather than copied
  // as the list grows.
  std::vector<int> values;
  std::vector<int> weights;
  values.reserve(std::min(static_cast<std::size_t>(count),
                          std::max<std::size_t>(initial_reserve, held(from) / 4)));
  prompt(at, from, prompt_values);
  if (const auto stop = read_list(at, from, {"value", INT_MIN}, count, values)) return *stop;
  weights.reserve(values.size());
  prompt(at, from, prompt_weights);
  if (const auto stop = read_list(at, from, {"weight", 0}, count, weights)) return *stop;

  const int best = knapsack(std::move(values), std::move(weights), capacity, at.limits);
  write_out(at, [&] { at.out << result_text << best << '\n'; });
  flush_out(at);
  if (!at.out) {
    const int reason = at.write_failure;
    report(at, from,
           "cannot write the result" +
               (reason != 0 ? ": " + std::generic_category().message(reason) : ""));
    return exit_unanswerable;
  }
  return exit_ok;
}

}  // namespace

int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err,
                 const terminal_use& terminal, const solver_limits& limits) {
  console at{out, err, terminal, limits};
  source from{*in.rdbuf(), [&at] { flush_out(at); }, terminal.canonical};
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
