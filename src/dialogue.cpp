#include "dialogue.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
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
// whitespace-separated token at a time, so that a malformed token is refused as soon as it is
// complete and nothing beyond the last needed number has to arrive. Only when the chunk is used up
// and nothing more is at hand may reading wait for a person to type, so standard output is
// flushed first: the prompt must be on screen by then.

namespace {

constexpr std::string_view prompt_count = "\n\t Enter number of elements : ";
constexpr std::string_view prompt_capacity = "\n\t Enter the capacity of knapsack : ";
constexpr std::string_view prompt_values = "\n\t Enter the value/cost of all elements : ";
constexpr std::string_view prompt_weights = "\n\t Enter the weight of all elements : ";
constexpr std::string_view result_text = "\n\t Maximum total value in the knapsack : ";

constexpr std::size_t shown_length = 40;          // of a bad token, in the error line
constexpr std::size_t initial_reserve = 1 << 16;  // elements, before they have arrived
constexpr int eof = std::char_traits<char>::eof();

// The input, and the chunk of it taken so far and not yet read.
struct source {
  std::streambuf& in;
  std::ostream& out;  // flushed before waiting for input
  std::array<char, 1 << 14> chunk{};
  std::size_t next = 0;
  std::size_t end = 0;
};

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

void report(std::ostream& out, std::ostream& err, const std::string& message) {
  out.flush();  // the prompts come before the error on a shared terminal
  err << "knapsack: " << message << '\n';
  err.flush();
}

bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

// Takes the next chunk: what the input holds already, or else, after flushing the output, what
// arrives next. False at the end of the input.
bool refill(source& from) {
  std::streamsize ready = from.in.in_avail();
  if (ready <= 0) {
    from.out.flush();
    if (from.in.sgetc() == eof) return false;
    ready = from.in.in_avail();
  }
  const auto wanted = std::min(ready, std::ssize(from.chunk));
  from.end = static_cast<std::size_t>(from.in.sgetn(from.chunk.data(), wanted));
  from.next = 0;
  return from.end > 0;
}

int peek(source& from) {
  if (from.next == from.end && !refill(from)) return eof;
  return static_cast<unsigned char>(from.chunk[from.next]);
}

int advance(source& from) {
  ++from.next;
  return peek(from);
}

// The first bytes of a token, kept for the error line.
struct token_start {
  std::array<char, shown_length> bytes{};
  std::size_t size = 0;
  bool cut = false;
};

void keep(token_start& token, int c) {
  if (token.size < token.bytes.size()) {
    token.bytes[token.size++] = static_cast<char>(c);
  } else {
    token.cut = true;
  }
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

[[gnu::cold]] void report_end(const source& from, std::ostream& err, const field& expected) {
  report(from.out, err, "the input ended before " + describe(expected));
}

// Writes the error line for a token that is not a number from expected.low to INT_MAX.
[[gnu::cold]] void refuse(const source& from, std::ostream& err, const field& expected,
                          const token_start& token) {
  report(from.out, err,
         describe(expected) + " must be an integer from " + std::to_string(expected.low) + " to " +
             std::to_string(INT_MAX) + ", not \"" + shown(token) + "\"");
}

// Reads the next token and returns it as a number if it is an optionally signed decimal integer
// from expected.low to INT_MAX; otherwise writes the error line and returns nothing. Inlined into
// its callers: an optional returned through memory costs more than the parse of a short number.
[[gnu::always_inline]] inline std::optional<int> read_number(source& from, std::ostream& err,
                                                             const field& expected) {
  int c = peek(from);
  while (is_space(c)) c = advance(from);
  if (c == eof) {
    report_end(from, err, expected);
    return std::nullopt;
  }
  token_start token;
  const bool negative = c == '-';
  if (c == '-' || c == '+') {
    keep(token, c);
    c = advance(from);
  }
  // Saturates just past the int range, so any number of digits is safe.
  constexpr std::int64_t past_range = std::int64_t{INT_MAX} + 2;
  std::int64_t magnitude = 0;
  bool has_digits = false;
  for (; is_digit(c); c = advance(from)) {
    keep(token, c);
    magnitude = std::min(magnitude * 10 + (c - '0'), past_range);
    has_digits = true;
  }
  const bool well_formed = has_digits && (c == eof || is_space(c));
  for (; c != eof && !is_space(c); c = advance(from)) keep(token, c);
  const std::int64_t number = negative ? -magnitude : magnitude;
  if (!well_formed || number < expected.low || number > INT_MAX) {
    refuse(from, err, expected, token);
    return std::nullopt;
  }
  return static_cast<int>(number);
}

bool read_list(source& from, std::ostream& err, field expected, int count, std::vector<int>& list) {
  for (int k = 0; k < count; ++k) {
    expected.element = static_cast<std::size_t>(k) + 1;
    const auto number = read_number(from, err, expected);
    if (!number) return false;
    list.push_back(*number);
  }
  return true;
}

int converse(std::streambuf& in, std::ostream& out, std::ostream& err) {
  source from{in, out};
  out << prompt_count;
  const auto count = read_number(from, err, {"number of elements", 0});
  if (!count) return exit_bad_input;
  out << prompt_capacity;
  const auto capacity = read_number(from, err, {"capacity", 0});
  if (!capacity) return exit_bad_input;

  // Lists grow as elements arrive: a large count alone must not claim memory.
  std::vector<int> values;
  std::vector<int> weights;
  values.reserve(std::min<std::size_t>(static_cast<std::size_t>(*count), initial_reserve));
  out << prompt_values;
  if (!read_list(from, err, {"value", INT_MIN}, *count, values)) return exit_bad_input;
  weights.reserve(values.size());
  out << prompt_weights;
  if (!read_list(from, err, {"weight", 0}, *count, weights)) return exit_bad_input;

  const int best = knapsack(std::move(values), std::move(weights), *capacity);
  out << result_text << best << '\n';
  out.flush();
  if (!out) {
    report(out, err, "cannot write the result");
    return exit_unanswerable;
  }
  return exit_ok;
}

}  // namespace

int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err) {
  try {
    return converse(*in.rdbuf(), out, err);
  } catch (const std::bad_alloc&) {
    report(out, err, "not enough memory for this instance");
    return exit_unanswerable;
  } catch (const std::overflow_error&) {
    report(out, err, "the best total value exceeds " + std::to_string(INT_MAX));
    return exit_unanswerable;
  } catch (const std::invalid_argument& error) {
    report(out, err, error.what());
    return exit_bad_input;
  }
}
