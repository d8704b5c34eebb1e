#pragma once

#include <array>
#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <span>
#include <streambuf>
#include <system_error>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
  std::array<char, 1 << 16> chunk{};
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

// Eight bytes at a time: a word holds the bytes from its first, lowest, whatever the machine's
// order, and a test that marks bytes leaves each one's answer in its top bit, where no carry from
// a neighbour reaches it.
namespace word_bytes {

inline constexpr std::uint64_t ones = 0x0101010101010101;
inline constexpr std::uint64_t tops = ones * 0x80;
inline constexpr std::uint64_t lows = ones * 0x7f;

inline std::uint64_t load(const char* at) {
  std::uint64_t bytes = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&bytes, at, sizeof bytes);
  } else {
    for (std::size_t k = 0; k < sizeof bytes; ++k) {
      bytes |= std::uint64_t{static_cast<unsigned char>(at[k])} << (8 * k);
    }
  }
  return bytes;
}

/// Top bits of the bytes that are 0.
inline std::uint64_t zeros(std::uint64_t bytes) {
  return ~(((bytes & lows) + lows) | bytes) & tops;
}

/// Top bits of the bytes that are not below 10.
inline std::uint64_t ten_or_more(std::uint64_t bytes) {
  return (((bytes & lows) + ones * (0x80 - 10)) | bytes) & tops;
}

/// The lowest `count` bits, 0 to 64 of them.
inline std::uint64_t lowest(std::size_t count) {
  return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}

/// The index of the lowest bit set in `bits`, which has one.
inline std::size_t lowest_set(std::uint64_t bits) {
#ifdef __GNUC__
  return static_cast<std::size_t>(__builtin_ctzll(bits));  // without std::countr_zero's test for 0
#else
  return static_cast<std::size_t>(std::countr_zero(bits));
#endif
}

/// The top bits gathered into one bit a byte, the first byte's lowest.
inline std::uint64_t gathered(std::uint64_t top_bits) {
  return ((top_bits >> 7) * 0x0102040810204080) >> 56;
}

/// The number that `length` decimal digits from `at` spell, 1 to 8 of them, bytes past them in
/// the word ignored: the digits go to the top of the word, as if zeros stood before them, and are
/// summed in three multiplications, pairs, then fours, then all eight.
inline int digits_value(const char* at, std::size_t length) {
  std::uint64_t value = (load(at) ^ (ones * '0')) << (8 * (8 - length));
  value = (value * 10 + (value >> 8)) & 0x00ff00ff00ff00ff;
  value = (value * 100 + (value >> 16)) & 0x0000ffff0000ffff;
  value = (value * 10000 + (value >> 32)) & 0xffffffff;
  return static_cast<int>(value);
}

/// Of 64 bytes, a bit for each digit and one for each space or line feed, the first byte's lowest.
struct marks {
  std::uint64_t digits = 0;
  std::uint64_t blanks = 0;
};

/// marks_of() eight bytes at a time, on any processor.
inline marks marks_of_words(const char* at) {
  marks found;
  for (std::size_t k = 0; k < 8; ++k) {
    const std::uint64_t bytes = load(at + 8 * k);
    const std::uint64_t blank = zeros(bytes ^ (ones * ' ')) | zeros(bytes ^ (ones * '\n'));
    found.digits |= gathered(~ten_or_more(bytes ^ (ones * '0')) & tops) << (8 * k);
    found.blanks |= gathered(blank) << (8 * k);
  }
  return found;
}

/// The marks of the 64 bytes from `at`.
inline marks marks_of(const char* at) {
#ifdef __SSE2__
  // Sixteen bytes at a time where the build targets these instructions, as every x86-64 build does.
  marks found;
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i line_feed = _mm_set1_epi8('\n');
  for (std::size_t k = 0; k < 4; ++k) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * k));
    const __m128i past_zero = _mm_sub_epi8(bytes, zero);
    const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(past_zero, nine), past_zero);
    const __m128i blank =
        _mm_or_si128(_mm_cmpeq_epi8(bytes, space), _mm_cmpeq_epi8(bytes, line_feed));
    found.digits |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(digit))} << (16 * k);
    found.blanks |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(blank))} << (16 * k);
  }
  return found;
#else
  return marks_of_words(at);
#endif
}

}  // namespace word_bytes

/// Reads plain numbers, each of at most 8 digits and ended by a space or a line feed in the chunk
/// at hand, into `numbers` until it is full or the next token is anything else (or not wholly at
/// hand), which read_number() then reads: how many were read. Reading stops before that token, at
/// most having passed blanks. Only for fields that take 0. A large input is mostly such tokens,
/// and reading them a byte at a time, each through read_number(), set the pace.
///
/// The chunk is marked 64 bytes at a time, a bit for each digit and each blank, up to the last
/// blank before the first other byte: each run of digits there is a whole token. Tokens are then
/// taken from the bits one after another, each parsed on its own, so that no token waits for the
/// one before it to be measured.
inline std::size_t read_plain_numbers(source& from, std::span<int> numbers) {
  constexpr std::ptrdiff_t block = 64;
  // The last number of a line the terminal may have cut is checked by read_number().
  if (from.cut) return 0;
  const char* const first = from.chunk.data();
  const char* const last = first + from.end;
  const char* at = first + from.next;
  const std::size_t most = numbers.size();
  std::size_t read = 0;
  // A word may be loaded from any byte of the block.
  while (read < most && last - at >= block + 8) {
    const word_bytes::marks marks = word_bytes::marks_of(at);
    const auto other = static_cast<std::size_t>(std::countr_zero(~(marks.digits | marks.blanks)));
    const std::uint64_t blanks = marks.blanks & word_bytes::lowest(other);
    if (blanks == 0) break;
    // Bytes up to the last blank before the first other byte: whole tokens only.
    const auto whole = static_cast<std::size_t>(block - std::countl_zero(blanks));
    const std::uint64_t digits = marks.digits & word_bytes::lowest(whole);
    std::uint64_t starts = digits & ~(digits << 1);
    std::uint64_t ends = digits & ~(digits >> 1);
    for (; starts != 0 && read < most; ++read) {
      const std::size_t start = word_bytes::lowest_set(starts);
      const std::size_t length = word_bytes::lowest_set(ends) + 1 - start;
      if (length > 8) break;
      numbers[read] = word_bytes::digits_value(at + start, length);
      starts &= starts - 1;
      ends &= ends - 1;
    }
    // Stopped by a long token, or with `numbers` full: at the next token.
    if (starts != 0) {
      from.next = static_cast<std::size_t>(at + word_bytes::lowest_set(starts) - first);
      return read;
    }
    at += whole;
  }
  from.next = static_cast<std::size_t>(at - first);
  return read;
}

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
