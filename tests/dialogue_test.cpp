#include "dialogue.hpp"

#include <array>
#include <cerrno>
#include <ios>
#include <sstream>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "oracle.hpp"

namespace {

// Output that remembers what had been flushed each time it was flushed.
class flush_log : public std::stringbuf {
 public:
  std::string flushed;

 protected:
  int sync() override {
    flushed = str();
    return 0;
  }
};

// Error output that remembers what standard output had flushed when the first error byte came:
// what a person sees above the error on a shared terminal.
class error_log : public std::stringbuf {
 public:
  explicit error_log(const flush_log& output) : output_(output) {}
  std::string shown_before;

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    note();
    return std::stringbuf::xsputn(bytes, count);
  }
  int_type overflow(int_type c) override {
    note();
    return std::stringbuf::overflow(c);
  }

 private:
  void note() {
    if (str().empty()) shown_before = output_.flushed;
  }
  const flush_log& output_;
};

struct session {
  int status;
  std::string out;
  std::string err;
  std::string shown_before_error;
};

// At a terminal: a person types the input, and the prompts, the echo and the errors show on it.
terminal_use at_terminal(bool terminal) {
  return {.ask_again = terminal,
          .errors_on_screen = terminal,
          .prompts_on_screen = terminal,
          .echo_on_screen = terminal,
          .canonical = terminal};
}

session converse(std::streambuf& input, bool terminal = false) {
  std::istream in(&input);
  flush_log output;
  error_log error(output);
  std::ostream out(&output);
  std::ostream err(&error);
  const int status = run_dialogue(in, out, err, at_terminal(terminal));
  return {status, output.str(), error.str(), error.shown_before};
}

session converse(const std::string& input, bool terminal = false) {
  std::stringbuf buffer(input);
  return converse(buffer, terminal);
}

struct answered_case {
  const char* guards_against;
  std::string input;
  int best;
};

// guards_against, input, best
const answered_case answered_cases[] = {
    {"misreading one number per line", "3\n50\n60\n100\n120\n10\n20\n30\n", 220},
    {"misreading all numbers on one line", "3 50 60 100 120 10 20 30", 220},
    {"tabs, carriage returns and form feeds not skipped", "\t3\r\n50\f60 100 120\v10 20 30", 220},
    {"weights read before values", "1 5 7 3", 7},
    {"weights read before values (swapped)", "1 5 3 7", 0},
    {"reading past the last weight", "1 5 7 3 trailing junk", 7},
    {"reading values for a count of 0", "0 7 junk", 0},
    {"an explicit plus sign refused", "+1 +5 +7 +3", 7},
    {"leading zeros refused", "0001 005 00000000000000000000000007 3", 7},
    {"the lowest int refused as a value", "2 1 -2147483648 2147483647 0 1", 2147483647},
    {"a zero-weight element lost", "2 1 5 10 0 1", 15},
    {"a token of 4096 bytes refused", "1 " + std::string(4095, '0') + "5 7 3", 7},
    {"a sign counted past 4096 bytes", "+" + std::string(4094, '0') + "1 5 7 3", 7},
};

TEST(Dialogue, AnswersWithExactBytes) {
  for (const auto& c : answered_cases) {
    SCOPED_TRACE(c.guards_against);
    const session s = converse(c.input);
    EXPECT_EQ(s.status, exit_ok);
    EXPECT_EQ(s.out, prompts_up_to(4) + result_text + std::to_string(c.best) + "\n");
    EXPECT_EQ(s.err, "");
  }
}

struct refused_case {
  const char* guards_against;
  std::string input;
  int status;
  int prompts_written;
  std::string error;
};

#define INT_RANGE(low) " must be an integer from " low " to 2147483647, not "

// guards_against, input, status, prompts written, error line
const refused_case refused_cases[] = {
    {"no input taken for a count of 0", "", 1, 1, "the input ended before the number of elements"},
    {"blanks taken for a number", "  \n\t", 1, 1, "the input ended before the number of elements"},
    {"a word taken for a number", "abc", 1, 1, "the number of elements" INT_RANGE("0") "\"abc\""},
    {"a negative count taken", "-1 5", 1, 1, "the number of elements" INT_RANGE("0") "\"-1\""},
    {"a fraction cut to its whole part", "3.5", 1, 1,
     "the number of elements" INT_RANGE("0") "\"3.5\""},
    {"a number read up to its first letter", "12x 5", 1, 1,
     "the number of elements" INT_RANGE("0") "\"12x\""},
    {"a sign alone taken for 0", "- 5", 1, 1, "the number of elements" INT_RANGE("0") "\"-\""},
    {"two signs taken", "+-5", 1, 1, "the number of elements" INT_RANGE("0") "\"+-5\""},
    {"a missing capacity taken for 0", "1", 1, 2, "the input ended before the capacity"},
    {"a negative capacity taken", "1 -5", 1, 2, "the capacity" INT_RANGE("0") "\"-5\""},
    {"a capacity past 64 bits wrapped", "1 99999999999", 1, 2,
     "the capacity" INT_RANGE("0") "\"99999999999\""},
    {"a capacity one past 32 bits wrapped", "1 2147483648", 1, 2,
     "the capacity" INT_RANGE("0") "\"2147483648\""},
    {"a missing value taken for 0", "2 5 1", 1, 3, "the input ended before the value of element 2"},
    {"a value read up to its letter", "2 5 1 2x", 1, 3,
     "the value of element 2" INT_RANGE("-2147483648") "\"2x\""},
    {"a value one below 32 bits wrapped", "1 5 -2147483649", 1, 3,
     "the value of element 1" INT_RANGE("-2147483648") "\"-2147483649\""},
    {"a huge count waiting for its lists", "2000000000 5", 1, 3,
     "the input ended before the value of element 1"},
    {"a missing weight taken for 0", "2 5 1 2", 1, 4,
     "the input ended before the weight of element 1"},
    {"the last weight taken for 0", "2 5 1 2 3", 1, 4,
     "the input ended before the weight of element 2"},
    {"a negative weight taken", "2 5 1 2 3 -1", 1, 4,
     "the weight of element 2" INT_RANGE("0") "\"-1\""},
    {"leading zeros lost in the error line", "1 5 -0000012x", 1, 3,
     "the value of element 1" INT_RANGE("-2147483648") "\"-0000012x\""},
    {"control bytes and quotes shown raw", "1 5 \x01\"\\\x7f", 1, 3,
     "the value of element 1" INT_RANGE("-2147483648") "\"\\x01\\x22\\x5c\\x7f\""},
    {"a full-width digit not named", "1 5 \xef\xbc\x94", 1, 3,
     "the value of element 1" INT_RANGE(
         "-2147483648") "\"\\xef\\xbc\\x94\", a character outside ASCII"},
    {"a digit after an escape read as part of it",
     "1 5 \xe2\x88\x92"
     "3",
     1, 3,
     "the value of element 1" INT_RANGE(
         "-2147483648") "\"\\xe2\\x88\\x92\\x33\", a character outside ASCII"},
    {"a long token shown whole", "1234567890123456789012345678901234567890123", 1, 1,
     "the number of elements" INT_RANGE("0") "\"1234567890123456789012345678901234567890...\""},
    {"a best value past 32 bits wrapped", "2 1 2147483647 1 0 0", 2, 4,
     "the best total value exceeds 2147483647"},
    {"a token of 4097 bytes taken", "1 " + std::string(4096, '0') + "5 7 3", 1, 2,
     "the capacity" INT_RANGE("0") "\"" + std::string(40, '0') + "...\""},
    {"a sign left out of a token's length", "1 5 -" + std::string(4095, '0') + "7 3", 1, 3,
     "the value of element 1" INT_RANGE("-2147483648") "\"-" + std::string(39, '0') + "...\""},
};

TEST(Dialogue, RefusesWithOneLineAndNoResult) {
  for (const auto& c : refused_cases) {
    SCOPED_TRACE(c.guards_against);
    const session s = converse(c.input);
    EXPECT_EQ(s.status, c.status);
    EXPECT_EQ(s.out, prompts_up_to(c.prompts_written));
    EXPECT_EQ(s.err, std::string("knapsack: ") + c.error + "\n");
    EXPECT_EQ(s.shown_before_error, s.out) << "the prompts must be on screen before the error";
  }
}

// A subset sum of 50 elements that no selection meets: with 4000 bytes, neither the lists nor the
// rows can have their memory.
TEST(Dialogue, ReportsMemoryThatRunsOut) {
  const test_instance made = unreachable_subset_sum(50, 1000, 3000, 45002);
  std::string weights;
  for (const int weight : made.weights) weights.append(std::to_string(weight)).append(" ");
  std::istringstream in("50 45002 " + weights + weights);
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(run_dialogue(in, out, err, {}, {.memory = 4000}), exit_unanswerable);
  EXPECT_EQ(out.str(), prompts_up_to(4));
  EXPECT_EQ(err.str(), "knapsack: not enough memory for this instance\n");
}

TEST(Dialogue, ReportsAnOutputThatCannotBeWritten) {
  std::istringstream in("1 5 7 3");
  std::ostringstream out;
  std::ostringstream err;
  out.setstate(std::ios::badbit);
  EXPECT_EQ(run_dialogue(in, out, err), exit_unanswerable);
  EXPECT_EQ(err.str(), "knapsack: cannot write the result\n");
}

// Output that fails every write, as a full disk does.
class full_output : public std::streambuf {
 protected:
  int_type overflow(int_type) override { return fail(); }
  std::streamsize xsputn(const char*, std::streamsize) override { return fail(); }
  int sync() override { return fail(); }

 private:
  static int fail() {
    errno = ENOSPC;
    return -1;
  }
};

// Input whose every read leaves errno changed, as later calls may.
class reads_changing_errno : public std::stringbuf {
 public:
  using std::stringbuf::stringbuf;

 protected:
  int_type underflow() override {
    errno = EINTR;
    return std::stringbuf::underflow();
  }
  std::streamsize showmanyc() override { return 0; }  // so that every read waits, and flushes
};

TEST(Dialogue, KeepsTheReasonOfTheFirstWriteThatFailed) {
  reads_changing_errno input("1 5 7 3");
  std::istream in(&input);
  full_output output;
  std::ostream out(&output);
  std::ostringstream err;
  EXPECT_EQ(run_dialogue(in, out, err), exit_unanswerable);
  EXPECT_EQ(err.str(), "knapsack: cannot write the result: No space left on device\n");
}

// Input that arrives in pieces, as a person types it; before each piece it records what output
// had been flushed, which is what a person would have seen while the program waited. A piece
// `end_of_input` is an end of input that a terminal may read past; `read_failure` is an error.
const std::string end_of_input = "<end of input>";
const std::string read_failure = "<read failure>";

class typed_input : public std::streambuf {
 public:
  typed_input(std::vector<std::string> pieces, const flush_log& output)
      : pieces_(std::move(pieces)), output_(output) {}
  std::vector<std::string> seen_while_waiting;

 protected:
  int_type underflow() override {
    if (next_ == pieces_.size()) return traits_type::eof();
    seen_while_waiting.push_back(output_.flushed);
    std::string& piece = pieces_[next_++];
    if (piece == end_of_input) return traits_type::eof();
    if (piece == read_failure) {
      throw std::ios_base::failure("read", std::error_code(EIO, std::generic_category()));
    }
    setg(piece.data(), piece.data(), piece.data() + piece.size());
    return traits_type::to_int_type(piece[0]);
  }

 private:
  std::vector<std::string> pieces_;
  std::size_t next_ = 0;
  const flush_log& output_;
};

session type(std::vector<std::string> pieces, bool terminal) {
  flush_log nothing;
  typed_input input(std::move(pieces), nothing);
  return converse(input, terminal);
}

TEST(Dialogue, ShowsEachPromptBeforeWaiting) {
  flush_log output;
  typed_input input({"2\n", "9\n", "4 5\n", "3 6\n"}, output);
  std::istream in(&input);
  std::ostream out(&output);
  std::ostringstream err;
  EXPECT_EQ(run_dialogue(in, out, err), exit_ok);
  ASSERT_EQ(input.seen_while_waiting.size(), 4U);
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(input.seen_while_waiting[k], prompts_up_to(static_cast<int>(k) + 1)) << k;
  }
  EXPECT_EQ(output.flushed, prompts_up_to(4) + result_text + "9\n");
}

// Input with no buffer of its own, which holds nothing ahead of the byte it shows.
class unbuffered_input : public std::streambuf {
 public:
  explicit unbuffered_input(std::string text) : text_(std::move(text)) {}

 protected:
  int_type underflow() override {
    return next_ < text_.size() ? traits_type::to_int_type(text_[next_]) : traits_type::eof();
  }
  int_type uflow() override {
    const int_type c = underflow();
    if (next_ < text_.size()) ++next_;
    return c;
  }

 private:
  std::string text_;
  std::size_t next_ = 0;
};

TEST(Dialogue, ReadsInputThatHoldsNothingAhead) {
  unbuffered_input input("3 50 60 100 120 10 20 30");
  const session s = converse(input);
  EXPECT_EQ(s.status, exit_ok);
  EXPECT_EQ(s.out, prompts_up_to(4) + result_text + "220\n");
}

// Input that never ends: the same byte over and over, counting how much was taken.
class endless_input : public std::streambuf {
 public:
  explicit endless_input(char byte) { buffer_.fill(byte); }
  std::size_t taken = 0;

 protected:
  int_type underflow() override {
    if (taken > (std::size_t{1} << 24))
      return traits_type::eof();  // so that a fault fails, not hangs
    taken += buffer_.size();
    setg(buffer_.data(), buffer_.data(), buffer_.data() + buffer_.size());
    return traits_type::to_int_type(buffer_[0]);
  }

 private:
  std::array<char, 4096> buffer_{};
};

TEST(Dialogue, RefusesEndlessInputAtOnce) {
  for (const char byte : {'\0', '9', '0'}) {
    SCOPED_TRACE(static_cast<int>(byte));
    endless_input input(byte);
    const session s = converse(input);
    EXPECT_EQ(s.status, exit_bad_input);
    EXPECT_LE(input.taken, std::size_t{1} << 16);
  }
}

constexpr const char* type_again =
    "; what was typed after it is dropped: type it again, and the rest";

// A pasted line that the terminal cut to its limit: "60 100", blanks, and the first two digits of
// "120", 4095 bytes and a line feed.
std::string cut_line() {
  std::string line = "60 100";
  line.resize(4093, ' ');
  return line + "12\n";
}

struct typed_case {
  const char* guards_against;
  std::vector<std::string> pieces;
  bool terminal;
  int status;
  int prompts_written;
  std::string error;  // every error line, each ending in a line feed
  std::string best = "220";
};

// guards_against, pieces typed, at a terminal, status, prompts written, error lines, best
const typed_case typed_cases[] = {
    {"reading on after the input ended",
     {"3", end_of_input, "50 60 100 120 10 20 30\n"},
     false,
     1,
     2,
     "knapsack: the input ended before the capacity\n"},
    {"an error line after the prompt, on a terminal",
     {"3\n", end_of_input},
     true,
     1,
     2,
     "\nknapsack: the input ended before the capacity\n"},
    {"an error line after a number not ended by a line feed",
     {"3 5", end_of_input},
     true,
     1,
     3,
     "\nknapsack: the input ended before the value of element 1\n"},
    {"a read error taken for the end of the input",
     {"3\n", read_failure},
     false,
     2,
     2,
     "knapsack: cannot read the input: Input/output error\n"},
    {"a typo ending the session at a terminal",
     {"3\n", "50\n", "60 abc 120\n", "100 120\n", "10 20 30\n"},
     true,
     0,
     4,
     std::string("knapsack: the value of element 2 must be an integer from -2147483648 to "
                 "2147483647, not \"abc\"") +
         type_again + "\n"},
    {"a typo asked for again from a pipe",
     {"3\n", "5x\n", "50\n"},
     false,
     1,
     2,
     "knapsack: the capacity must be an integer from 0 to 2147483647, not \"5x\"\n"},
    {"the end of input after a typo not final at a terminal",
     {"1\n", "x\n", end_of_input},
     true,
     1,
     2,
     std::string("knapsack: the capacity must be an integer from 0 to 2147483647, not \"x\"") +
         type_again + "\nknapsack: the input ended before the capacity\n"},
    {"the rest of a refused line read at a terminal",
     {"x 1\n", "0 0\n"},
     true,
     0,
     4,
     std::string("knapsack: the number of elements must be an integer from 0 to 2147483647, "
                 "not \"x\"") +
         type_again + "\n",
     "0"},
    {"a paste read on after a typo at a terminal",
     {"3\n50\n6x 100 120\n10 20 30\n", "60 100 120\n", "10 20 30\n"},
     true,
     0,
     4,
     std::string("\nknapsack: the value of element 1 must be an integer from -2147483648 to "
                 "2147483647, not \"6x\"") +
         type_again + "\n"},
    {"the last number of a line the terminal cut taken",
     {"3\n", "50\n", cut_line(), "120\n", "10 20 30\n"},
     true,
     0,
     4,
     std::string("knapsack: the value of element 3 may have been cut (\"12\"): the terminal keeps "
                 "4095 bytes of a line, and long input belongs in a pipe or a file") +
         type_again + "\n"},
    {"a long line from a pipe taken for a cut one",
     {"3\n", "50\n", cut_line(), "10 20 30\n"},
     false,
     0,
     4,
     "",
     "160"},
};

// How the standard streams meet the terminal, where not all three are on it.
struct partly_case {
  const char* guards_against;
  std::vector<std::string> pieces;
  terminal_use terminal;
  int status;
  std::string error;
};

std::string long_line(std::size_t bytes, bool line_feed) {
  std::string line(bytes - (line_feed ? 1 : 0), ' ');
  line.replace(0, 6, "60 100");
  return line_feed ? line + "\n" : line;
}

// guards_against, pieces typed, terminal, status, error lines
const partly_case partly_cases[] = {
    {"an error line glued to what Ctrl-D handed over, output to a file",
     {"3 50 1x", end_of_input},
     {.ask_again = true, .errors_on_screen = true, .echo_on_screen = true, .canonical = true},
     exit_bad_input,
     std::string("\nknapsack: the value of element 1 must be an integer from -2147483648 to "
                 "2147483647, not \"1x\"") +
         type_again + "\nknapsack: the input ended before the value of element 1\n"},
    {"a refusal asked again where nobody sees it, errors to a file",
     {"3\n", "50\n", "60 abc 120\n"},
     {.canonical = true},
     exit_bad_input,
     "knapsack: the value of element 2 must be an integer from -2147483648 to 2147483647, not "
     "\"abc\"\n"},
    {"a line handed over in two pieces by Ctrl-D taken for a cut one",
     {"3\n50\n", long_line(3003, false), long_line(3005, true), "1 2 3\n"},
     at_terminal(true),
     exit_ok,
     ""},
    {"a long line taken for a cut one where the terminal keeps whole lines",
     {"3\n50\n", long_line(4999, true), "60 1 2 3\n"},
     {.ask_again = true,
      .errors_on_screen = true,
      .prompts_on_screen = true,
      .echo_on_screen = true},
     exit_ok,
     ""},
};

TEST(Dialogue, MeetsTheTerminalWhereItIs) {
  for (const auto& c : partly_cases) {
    SCOPED_TRACE(c.guards_against);
    flush_log nothing;
    typed_input input(c.pieces, nothing);
    std::istream in(&input);
    std::ostringstream out;
    std::ostringstream err;
    const int status = run_dialogue(in, out, err, c.terminal);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(err.str(), c.error);
  }
}

TEST(Dialogue, TypedInput) {
  for (const auto& c : typed_cases) {
    SCOPED_TRACE(c.guards_against);
    const session s = type(c.pieces, c.terminal);
    EXPECT_EQ(s.status, c.status);
    EXPECT_EQ(s.err, c.error);
    const std::string result = c.status == exit_ok ? result_text + c.best + "\n" : "";
    EXPECT_EQ(s.out, prompts_up_to(c.prompts_written) + result);
  }
}

}  // namespace
