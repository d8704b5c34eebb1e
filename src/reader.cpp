#include "reader.hpp"

#include <algorithm>
#include <ios>
#include <string>

// The parts of the reader that run seldom: taking a chunk from the stream, dropping what a
// person typed after a refused number, and spelling a refused token back for its error line.
// A chunk is whatever the stream holds without waiting, or one byte once it must wait; the word
// by word parse of plain numbers and the byte by byte one of everything else are in reader.hpp,
// inlined into the dialogue's loop.

bool refill(source& from) {
  if (from.ended) return false;
  try {
    std::streamsize ready = from.in.in_avail();
    if (ready <= 0) {
      if (from.before_waiting) from.before_waiting();
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
    from.failure = error.code();
    from.end = 0;
  }
  from.next = 0;
  from.ended = from.end == 0;
  if (from.ended) return false;
  from.taken += from.end;
  from.last_taken = from.chunk[from.end - 1];
  // A terminal in canonical mode hands over a line, or what Ctrl-D pushed, in one piece.
  from.cut = from.canonical_terminal && from.last_taken == '\n' && from.end >= line_limit;
  return true;
}

void drop_held(source& from) {
  from.next = from.end;
  try {
    std::array<char, 1 << 12> scratch{};
    for (std::streamsize ready = from.in.in_avail(); ready > 0; ready = from.in.in_avail()) {
      const std::streamsize dropped =
          from.in.sgetn(scratch.data(), std::min(ready, std::ssize(scratch)));
      if (dropped <= 0) break;
      from.taken += static_cast<std::uint64_t>(dropped);
      from.last_taken = scratch[static_cast<std::size_t>(dropped) - 1];
    }
  } catch (const std::ios_base::failure& error) {
    from.failure = error.code();
  }
}

std::uint64_t held(const source& from) {
  const std::streamsize in_stream = from.in.in_avail();
  return (from.end - from.next) +
         static_cast<std::uint64_t>(std::max<std::streamsize>(in_stream, 0));
}

bool last_on_cut_line(const source& from) {
  return std::all_of(from.chunk.begin() + static_cast<std::ptrdiff_t>(from.next),
                     from.chunk.begin() + static_cast<std::ptrdiff_t>(from.end),
                     [](char c) { return is_space(static_cast<unsigned char>(c)); });
}

void keep(token_start& token, int c) {
  if (token.size < token.bytes.size()) {
    token.bytes[token.size++] = static_cast<char>(c);
  } else {
    token.cut = true;
  }
}

// Never waits: the rest of a refused token may never come.
[[gnu::cold]] void keep_rest_at_hand(source& from, token_start& token) {
  for (; from.next < from.end && !is_space(from.chunk[from.next]); ++from.next) {
    keep(token, static_cast<unsigned char>(from.chunk[from.next]));
  }
}

// The parse keeps a token's sign, digit count and value, which is below 2^35 and so has no more
// significant digits than that; the digits are spelled back from them only when the token is
// refused.
[[gnu::cold]] token_start spelled(int sign, std::size_t digits, std::int64_t magnitude) {
  token_start token;
  if (sign != 0) keep(token, sign);
  const std::string significant = magnitude == 0 ? "" : std::to_string(magnitude);
  for (std::size_t k = significant.size(); k < digits && !token.cut; ++k) keep(token, '0');
  for (const char digit : significant) keep(token, digit);
  return token;
}
