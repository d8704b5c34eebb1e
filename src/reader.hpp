#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>

// Numbers are read from chunks of whatever the input holds without waiting, one
// whitespace-separated token at a time, so that a token is refused as soon as it cannot become a
// valid number and nothing beyond the last needed number has to arrive. Only when the chunk is
// used up and nothing more is at hand may reading wait for a person to type, so standard output
// is flushed first: the prompt must be on screen by then. Once the input has ended it is not read
// again, even where a terminal would go on after an end of input.
//
// A terminal hands over one line at a time and keeps at most line_limit bytes of it, line feed
// included, dropping the rest: a line that reaches the limit may have lost its end, so the last
// number on it is not trusted.
//
// The reader only says what it found; the dialogue decides what to write and whether to ask again.

/// Bytes of a line, line feed included, that a terminal keeps: a longer line is cut to them.
inline constexpr std::size_t line_limit = 4096;

/// What a read found.
enum class found { number, end, bad_token, cut_line, read_error };

/// A read's result: what it found, and the number where it found one.
struct number_read {
  found what;
  int number = 0;
};

/// Bytes of a refused token kept for the error line.
inline constexpr std::size_t shown_length = 40;

/// The first bytes of a refused token.
struct token_start {
  std::array<char, shown_length> bytes{};
  std::size_t size = 0;
  bool cut = false;  ///< more bytes followed
};

/// The input, the chunk of it taken so far and not yet read, and what the last read left behind.
struct source {
  std::streambuf& in;
  std::ostream& out;      ///< flushed before waiting for input
  bool terminal = false;  ///< lines that reach line_limit may have been cut
  std::array<char, 1 << 14> chunk{};
  std::size_t next = 0;
  std::size_t end = 0;
  bool ended = false;            ///< no more input will be taken
  bool line_ended = true;        ///< nothing was written or typed after the last line feed typed
  bool chunk_ended_line = true;  ///< the last chunk taken ended with a line feed
  std::size_t line_bytes = 0;    ///< of the line the chunk ends in, as far as taken
  bool cut = false;              ///< the chunk ends a line that reached line_limit
  token_start token{};           ///< the last token refused
  std::string failure{};         ///< why the input could not be read, when it could not
};

/// Takes the next chunk: what the input holds already, or else, after flushing the output, what
/// arrives next. False at the end of the input, or when it cannot be read.
bool refill(source& from);

/// Drops everything taken or held ahead of the reading position, without waiting for more.
void drop_held(source& from);

/// Records the rest of a refused token, as far as the chunk at hand holds it.
void keep_rest_at_hand(source& from);

/// Spells a refused token's start back from its sign (or 0), digit count and value.
token_start spelled(int sign, std::size_t digits, std::int64_t magnitude);

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
/// at the first byte that is neither a digit nor whitespace, or once its digits pass the 32-bit
/// range, so that an endless token is refused too. Inlined into its callers: a result returned
/// through memory costs more than the parse of a short number.
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
  if (from.cut && last_on_cut_line(from)) [[unlikely]] {
    from.token = spelled(sign, digits, magnitude);
    return {found::cut_line};
  }
  return {found::number, static_cast<int>(number)};
}
