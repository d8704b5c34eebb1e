#include "reader.hpp"

#include <algorithm>
#include <ios>
#include <string>
#include <system_error>

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
  if (from.ended) return false;
  // A new line starts after a chunk that ended one; a terminal hands over no more than a line.
  from.line_bytes = from.chunk_ended_line ? from.end : from.line_bytes + from.end;
  from.chunk_ended_line = from.chunk[from.end - 1] == '\n';
  from.line_ended = from.chunk_ended_line;
  from.cut = from.terminal && from.chunk_ended_line && from.line_bytes >= line_limit;
  return true;
}

void drop_held(source& from) {
  from.next = from.end;
  try {
    std::array<char, 1 << 12> scratch{};
    for (std::streamsize held = from.in.in_avail(); held > 0; held = from.in.in_avail()) {
      from.in.sgetn(scratch.data(), std::min(held, std::ssize(scratch)));
    }
  } catch (const std::ios_base::failure& error) {
    from.failure = error.code().message();
  }
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
[[gnu::cold]] void keep_rest_at_hand(source& from) {
  for (; from.next < from.end && !is_space(from.chunk[from.next]); ++from.next) {
    keep(from.token, static_cast<unsigned char>(from.chunk[from.next]));
  }
}

// The parse keeps a token's sign, digit count and value, which is below 2^35 and so has no more
// digits than that; the digits are spelled back from them only when the token is refused.
[[gnu::cold]] token_start spelled(int sign, std::size_t digits, std::int64_t magnitude) {
  token_start token;
  if (sign != 0) keep(token, sign);
  const std::string significant = magnitude == 0 ? "" : std::to_string(magnitude);
  for (std::size_t k = significant.size(); k < digits; ++k) keep(token, '0');
  for (const char digit : significant) keep(token, digit);
  return token;
}
