#include "reader.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <random>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Input that arrives in pieces of random sizes: each read takes at most the piece at hand, so
// that tokens are cut by the end of what has arrived as well as by the end of the reader's chunk.
class in_pieces : public std::streambuf {
 public:
  in_pieces(std::string text, unsigned seed) : text_(std::move(text)), random_(seed) {}

 protected:
  int_type underflow() override {
    if (at_ == text_.size()) return traits_type::eof();
    const std::size_t piece = std::min(
        text_.size() - at_, std::uniform_int_distribution<std::size_t>(1, 1 << 17)(random_));
    setg(text_.data() + at_, text_.data() + at_, text_.data() + at_ + piece);
    at_ += piece;
    return traits_type::to_int_type(*gptr());
  }

 private:
  std::string text_;
  std::size_t at_ = 0;
  std::mt19937 random_;
};

struct read_result {
  found what;
  int number;
  std::string token;
  bool operator==(const read_result&) const = default;
};

read_result plainly(source& from, int low) {
  const number_read got = read_number(from, low);
  return {got.what, got.number, std::string(got.token.bytes.data(), got.token.size)};
}

// Reads `count` tokens, refused ones included, or up to the end, then one more: each number
// through read_number() alone, or through the fast reader first.
std::vector<read_result> read_all(const std::string& text, unsigned seed, int low, int count,
                                  bool fast) {
  in_pieces input(text, seed);
  source from{input, [] {}};
  std::vector<read_result> got;
  while (static_cast<int>(got.size()) < count) {
    if (fast) {
      std::vector<int> numbers(static_cast<std::size_t>(count) - got.size());
      numbers.resize(read_plain_numbers(from, numbers));
      for (const int number : numbers) got.push_back({found::number, number, {}});
      if (static_cast<int>(got.size()) == count) break;
    }
    got.push_back(plainly(from, low));
    if (got.back().what == found::end) return got;
  }
  got.push_back(plainly(from, low));
  return got;
}

// Text of numbers of every length around the word of eight bytes, runs of zeros, blanks of every
// kind, and bytes next to the digits or that differ from one in the top bit only.
std::string hostile_text(std::mt19937& random) {
  static const std::string odd_bytes = {'/',  ':',    '-',    '+',    'x',
                                        '\0', '\x80', '\xb0', '\xb9', '\xff'};
  static const std::string blanks = " \n\t\r\v\f";
  const std::size_t tokens = std::uniform_int_distribution<std::size_t>(1, 30000)(random);
  auto below = [&random](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  std::string text;
  for (std::size_t k = 0; k < tokens; ++k) {
    const std::size_t digits = below(100) == 0 ? below(14) : 1 + below(9);
    for (std::size_t d = 0; d < digits; ++d) {
      text.push_back(below(8) == 0 ? '0' : static_cast<char>('0' + below(10)));
    }
    if (below(100) == 0) text.push_back(odd_bytes[below(odd_bytes.size())]);
    text.push_back(below(5) == 0 ? blanks[below(blanks.size())] : ' ');
  }
  return text;
}

TEST(Reader, ReadsPlainNumbersFastAsItReadsThemAByteAtATime) {
  std::mt19937 random(2026);
  for (int round = 0; round < 60; ++round) {
    const std::string text = hostile_text(random);
    const auto seed = static_cast<unsigned>(random());
    const int low = round % 2 == 0 ? 0 : INT_MIN;
    const int count = std::uniform_int_distribution<int>(1, 40000)(random);
    ASSERT_EQ(read_all(text, seed, low, count, true), read_all(text, seed, low, count, false))
        << "round " << round;
  }
}

TEST(Reader, MarksDigitsAndBlanksAsAByteAtATimeWould) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> any_byte(0, 255);
  for (int round = 0; round < 2000; ++round) {
    std::array<char, 64> bytes{};
    // Mostly digits and blanks, and every byte value somewhere.
    for (char& byte : bytes) {
      const int drawn = any_byte(random);
      byte = static_cast<char>(drawn < 96    ? '0' + drawn % 10
                               : drawn < 128 ? " \n"[drawn % 2]
                                             : any_byte(random));
    }
    std::uint64_t digits = 0;
    std::uint64_t blanks = 0;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
      digits |= std::uint64_t{bytes[k] >= '0' && bytes[k] <= '9'} << k;
      blanks |= std::uint64_t{bytes[k] == ' ' || bytes[k] == '\n'} << k;
    }
    for (const auto marks :
         {word_bytes::marks_of(bytes.data()), word_bytes::marks_of_words(bytes.data())}) {
      ASSERT_EQ(marks.digits, digits) << "round " << round;
      ASSERT_EQ(marks.blanks, blanks) << "round " << round;
    }
  }
}

}  // namespace
