#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <streambuf>
#include <system_error>

// Numbers are read from chunks of whatever the input holds without waiting, one
// whitespace-separated token at a time, so that a token is refused as soon as it cannot become a
// valid number and nothing beyond the last needed number has to arrive. Only when the chunk is
// used up and nothing more is at hand may reading wait for a person to type, and then it says so
// first: whoever reads must see the prompt by then. Once the input has ended it is not read again,
// even where a terminal would go on after an end of input.
//
// A terminal in canonical mode hands over one line at a time and keeps at most line_limit bytes of
// it, line feed included, dropping the rest: a line that reaches the limit may have lost its end,
// so the last number on it is not trusted. Ctrl-D in the middle of a line hands over what it holds
// and empties it, so a line is counted from the last line feed or Ctrl-D.
//
// The reader says what it found and nothing else: what the screen shows and whether to ask again
// are the dialogue's.

/// Bytes of a line, line feed included, that a terminal keeps: a longer line is cut to them.
inline constexpr std::size_t line_limit = 4096;

/// Bytes a token may have, its sign included: one that runs on, endless zeros included, is refused
/// at the next.
inline constexpr std::size_t longest_token = 4096;

/// Bytes of a refused token kept for the error line.
inline constexpr std::size_t shown_length = 40;

/// The first bytes of a refused token. Its bytes are not cleared: every read carries one, and
/// only the first `size` are ever read.
struct token_start {
  token_start() {}  // NOLINT(modernize-use-equals-default): = default would clear the bytes
  std::array<char, shown_length> bytes;
  std::size_t size = 0;
  bool cut = false;  ///< more bytes followed
};

/// What a read found.
enum class found { number, end, bad_token, cut_line, read_error };

/// A read's result: the number, or why there is none, with the refused token or the error.
struct number_read {
  found what;
  int number = 0;
  token_start token{};                     ///< of a bad token, or of the last number on a cut line
  std::optional<std::error_code> error{};  ///< why the input could not be read
};

/// The input, the chunk of it taken so far and not yet read, and how much has been taken.
struct source {
  std::streambuf& in;
  std::function<void()> before_waiting;  ///< run before reading waits for input to arrive
  bool canonical_terminal = false;       ///< lines that reach line_limit may have been cut
  std::array<char, 1 << 14> chunk{};
  std::size_t next = 0;
  std::size_t end = 0;
  bool ended = false;         ///< no more input will be taken
  std::uint64_t taken = 0;    ///< bytes taken from `in`, dropped ones included
  char last_taken = '\n';     ///< the last of them
  bool cut = false;           ///< the chunk ends a line that reached line_limit
  std::error_code failure{};  ///< why the input could not be read, once it could not
};

/// Takes the next chunk: what the input holds already, or else, after before_waiting, what
/// arrives next. False at the end of the input, or when it cannot be read.
bool refill(source& from);

/// Drops everything taken or held ahead of the reading position, without waiting for more.
void drop_held(source& from);

/// Bytes that have arrived from the input but are not read yet, in the chunk or the stream.
std::uint64_t held(const source& from);

/// A refused token's start from its sign (or 0), digit count and value, and its byte after.
token_start spelled(int sign, std::size_t digits, std::int64_t magnitude);

/// Records the rest of a refused token, as far as the chunk at hand holds it.
void keep_rest_at_hand(source& from, token_start& token);

/// Records one more byte of a refused token.
void keep(token_start& token, int c);

inline constexpr int eof = std::char_traits<char>::eof();

inline bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

inline int peek(source& from) {
  if (from.next == from.end && !refill(from)) return eof;
  return static_cast<unsigned char>(from.chunk[from.next]);
}

inline int advance(source& from) {
  ++from.next;
  return peek(from);
}

/// Whether the token just read is the last on a line cut by the terminal: only blanks follow it
/// up to the chunk's end, which ends that line.
bool last_on_cut_line(const source& from);

/// Reads the next token as an optionally signed decimal integer from `low` to INT_MAX. Refuses it
/// at the first byte that is neither a digit nor whitespace, once its digits pass the 32-bit
/// range, or once it is longer than longest_token bytes, so that an endless token is refused too.
/// Inlined into its callers: a result returned through memory costs more than the parse of a short
/// number.
[[gnu::always_inline]] inline number_read read_number(source& from, int low) {
  int c = peek(from);
  while (is_space(c)) c = advance(from);
  if (c == eof) {
    if (!from.failure) return {found::end};
    return {found::read_error, 0, {}, from.failure};
  }
  const int sign = c == '-' || c == '+' ? c : 0;
  if (sign != 0) c = advance(from);
  const std::int64_t most = sign == '-' ? std::int64_t{INT_MAX} + 1 : INT_MAX;
  const std::size_t most_digits = longest_token - (sign != 0 ? 1 : 0);
  std::int64_t magnitude = 0;
  std::size_t digits = 0;
  for (; is_digit(c); c = advance(from)) {
    magnitude = magnitude * 10 + (c - '0');
    ++digits;
    if (magnitude > most || digits > most_digits) break;
  }
  const std::int64_t number = sign == '-' ? -magnitude : magnitude;
  const bool too_long = digits > most_digits;
  if (digits == 0 || magnitude > most || too_long || (c != eof && !is_space(c)) || number < low) {
    number_read refused{found::bad_token, 0, spelled(sign, digits, magnitude)};
    if (c != eof && !is_space(c)) {
      if (magnitude <= most && !too_long) keep(refused.token, c);
      ++from.next;
      keep_rest_at_hand(from, refused.token);
    }
    if (from.failure) {
      refused.what = found::read_error;
      refused.error = from.failure;
    }
    return refused;
  }
  if (from.cut && last_on_cut_line(from)) [[unlikely]] {
    return {found::cut_line, 0, spelled(sign, digits, magnitude)};
  }
  return {found::number, static_cast<int>(number)};
}
