#include "dialogue.hpp"

#include <algorithm>
#include <array>
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

// Numbers are read from chunks of whatever the input holds without waiting, one
// whitespace-separated token at a time, so that a token is refused as soon as it cannot become a
// valid number and nothing beyond the last needed number has to arrive. Only when the chunk is used
// up and nothing more is at hand may reading wait for a person to type, so standard output is
// flushed first: the prompt must be on screen by then. Once the input has ended it is not read
// again, even where a terminal would go on after an end of input.
//
// The reader only says what it found: a number, the end of the input, a token it refused, or a
// failure to read. The dialogue decides what to write and whether to ask again: on a terminal a
// person can retype a number, from a pipe or a file nobody can.

namespace {

constexpr std::string_view prompt_count = "\n\t Enter number of elements : ";
constexpr std::string_view prompt_capacity = "\n\t Enter the capacity of knapsack : ";
constexpr std::string_view prompt_values = "\n\t Enter the value/cost of all elements : ";
constexpr std::string_view prompt_weights = "\n\t Enter the weight of all elements : ";
constexpr std::string_view result_text = "\n\t Maximum total value in the knapsack : ";
constexpr std::string_view ask_again = "; type it again, and what followed it on that line";

constexpr std::size_t shown_length = 40;          // of a bad token, in the error line
constexpr std::size_t initial_reserve = 1 << 16;  // elements, before they have arrived
constexpr int eof = std::char_traits<char>::eof();

// The first bytes of a token, kept for the error line.
struct token_start {
  std::array<char, shown_length> bytes{};
  std::size_t size = 0;
  bool cut = false;
};

// The input, the chunk of it taken so far and not yet read, and what the last read left behind.
struct source {
  std::streambuf& in;
  std::ostream& out;  // flushed before waiting for input
  std::array<char, 1 << 14> chunk{};
  std::size_t next = 0;
  std::size_t end = 0;
  bool ended = false;      // no more input will be taken
  bool line_ended = true;  // nothing was written or typed after the last line feed typed
  token_start token{};     // the last token refused
  std::string failure{};   // why the input could not be read, when it could not
};

// What a read found.
enum class found { number, end, bad_token, read_error };

struct number_read {
  found what;
  int number = 0;
};

bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

// Takes the next chunk: what the input holds already, or else, after flushing the output, what
// arrives next. False at the end of the input, or when it cannot be read.
bool refill(source& from) {
  if (from.ended) return false;
  try {
    std::streamsize ready = from.in.in_avail();
    if (ready <= 0) {
      from.out.flush();
      if (from.in.sgetc() == eof) {
        from.ended = true;
        return false;
      }
      // At least the byte just seen: a stream buffer may hold nothing ahead and say so.
      ready = std::max<std::streamsize>(from.in.in_avail(), 1);
    }
    const auto wanted = std::min(ready, std::ssize(from.chunk));
    from.end = static_cast<std::size_t>(from.in.sgetn(from.chunk.data(), wanted));
  } catch (const std::ios_base::failure& error) {
    from.failure = error.code().message();
    from.end = 0;
  }
  from.next = 0;
  from.ended = from.end == 0;
  if (!from.ended) from.line_ended = from.chunk[from.end - 1] == '\n';
  return !from.ended;
}

int peek(source& from) {
  if (from.next == from.end && !refill(from)) return eof;
  return static_cast<unsigned char>(from.chunk[from.next]);
}

int advance(source& from) {
  ++from.next;
  return peek(from);
}

void keep(token_start& token, int c) {
  if (token.size < token.bytes.size()) {
    token.bytes[token.size++] = static_cast<char>(c);
  } else {
    token.cut = true;
  }
}

// Adds the rest of a refused token to its shown start, as far as the chunk at hand holds it:
// never waiting, since the rest may never come.
[[gnu::cold]] void keep_rest_at_hand(source& from) {
  for (; from.next < from.end && !is_space(from.chunk[from.next]); ++from.next) {
    keep(from.token, static_cast<unsigned char>(from.chunk[from.next]));
  }
}

// A refused token's start as it was typed, from what the parse kept of it: its sign (or 0), its
// number of digits and their value, which is below 2^35 and so has no more digits than that.
[[gnu::cold]] token_start spelled(int sign, std::size_t digits, std::int64_t magnitude) {
  token_start token;
  if (sign != 0) keep(token, sign);
  const std::string significant = magnitude == 0 ? "" : std::to_string(magnitude);
  for (std::size_t k = significant.size(); k < digits; ++k) keep(token, '0');
  for (const char digit : significant) keep(token, digit);
  return token;
}

// Reads the next token as an optionally signed decimal integer from `low` to INT_MAX. Refuses it
// at the first byte that is neither a digit nor whitespace, or once its digits pass the 32-bit
// range, so that an endless token is refused too. Inlined into its callers: a result returned
// through memory costs more than the parse of a short number.
[[gnu::always_inline]] inline number_read read_number(source& from, int low) {
  int c = peek(from);
  while (is_space(c)) c = advance(from);
  if (c == eof) return {from.failure.empty() ? found::end : found::read_error};
  const int sign = c == '-' || c == '+' ? c : 0;
  if (sign != 0) c = advance(from);
  const std::int64_t most = sign == '-' ? std::int64_t{INT_MAX} + 1 : INT_MAX;
  std::int64_t magnitude = 0;
  std::size_t digits = 0;
  for (; is_digit(c); c = advance(from)) {
    magnitude = magnitude * 10 + (c - '0');
    ++digits;
    if (magnitude > most) break;
  }
  const std::int64_t number = sign == '-' ? -magnitude : magnitude;
  if (digits == 0 || magnitude > most || (c != eof && !is_space(c)) || number < low) {
    from.token = spelled(sign, digits, magnitude);
    if (c != eof && !is_space(c)) {
      if (magnitude <= most) keep(from.token, c);
      ++from.next;
      keep_rest_at_hand(from);
    }
    return {from.failure.empty() ? found::bad_token : found::read_error};
  }
  return {found::number, static_cast<int>(number)};
}

// Drops the rest of the current line, line feed included, without reading past it.
void skip_line(source& from) {
  int c = peek(from);
  while (c != eof && c != '\n') c = advance(from);
  if (c == '\n') ++from.next;
}

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

// What the dialogue writes to, and whether a person is typing at a terminal.
struct console {
  std::ostream& out;
  std::ostream& err;
  bool terminal;
};

// Writes one error line, after the prompts so far. On a terminal it starts on a line of its own,
// not after a prompt or a number that nothing typed has ended.
void report(const console& at, source& from, const std::string& message) {
  at.out.flush();
  // One write: standard error is unbuffered, and on a shared terminal nothing typed or written
  // meanwhile should land inside the line.
  const std::string_view fresh_line = at.terminal && !from.line_ended ? "\n" : "";
  at.err << std::string(fresh_line) + "knapsack: " + message + '\n';
  at.err.flush();
  from.line_ended = true;
}

void prompt(const console& at, source& from, std::string_view text) {
  at.out << text;
  from.line_ended = false;
}

// Reports why no number was read for `expected`. Returns the exit status to stop with, or nothing
// when the number is to be asked for again: a refused token, on a terminal, after the rest of its
// line is dropped.
[[gnu::cold]] std::optional<int> refuse(const console& at, source& from, const field& expected,
                                        found what) {
  switch (what) {
    case found::end:
      report(at, from, "the input ended before " + describe(expected));
      return exit_bad_input;
    case found::read_error:
      report(at, from, "cannot read the input: " + from.failure);
      return exit_unanswerable;
    case found::number:
    case found::bad_token:
      break;
  }
  const std::string message = describe(expected) + " must be an integer from " +
                              std::to_string(expected.low) + " to " + std::to_string(INT_MAX) +
                              ", not \"" + shown(from.token) + "\"";
  if (!at.terminal) {
    report(at, from, message);
    return exit_bad_input;
  }
  report(at, from, message + std::string(ask_again));
  skip_line(from);
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

  const int best = knapsack(std::move(values), std::move(weights), capacity);
  at.out << result_text << best << '\n';
  at.out.flush();
  if (!at.out) {
    report(at, from, "cannot write the result");
    return exit_unanswerable;
  }
  return exit_ok;
}

}  // namespace

int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err, bool terminal) {
  const console at{out, err, terminal};
  source from{*in.rdbuf(), out};
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
