#include "dialogue.hpp"

#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "oracle.hpp"

namespace {

struct session {
  int status;
  std::string out;
  std::string err;
};

session converse(const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const int status = run_dialogue(in, out, err);
  return {status, out.str(), err.str()};
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
  const char* input;
  int status;
  int prompts_written;
  const char* error;
};

#define INT_RANGE(low) " must be an integer from " low " to 2147483647, not "

// input, status, prompts written, error line
const refused_case refused_cases[] = {
    {"", 1, 1, "the input ended before the number of elements"},
    {"  \n\t", 1, 1, "the input ended before the number of elements"},
    {"abc", 1, 1, "the number of elements" INT_RANGE("0") "\"abc\""},
    {"-1 5", 1, 1, "the number of elements" INT_RANGE("0") "\"-1\""},
    {"3.5", 1, 1, "the number of elements" INT_RANGE("0") "\"3.5\""},
    {"12x 5", 1, 1, "the number of elements" INT_RANGE("0") "\"12x\""},
    {"- 5", 1, 1, "the number of elements" INT_RANGE("0") "\"-\""},
    {"+-5", 1, 1, "the number of elements" INT_RANGE("0") "\"+-5\""},
    {"1", 1, 2, "the input ended before the capacity"},
    {"1 -5", 1, 2, "the capacity" INT_RANGE("0") "\"-5\""},
    {"1 99999999999", 1, 2, "the capacity" INT_RANGE("0") "\"99999999999\""},
    {"1 2147483648", 1, 2, "the capacity" INT_RANGE("0") "\"2147483648\""},
    {"2 5 1", 1, 3, "the input ended before the value of element 2"},
    {"2 5 1 2x", 1, 3, "the value of element 2" INT_RANGE("-2147483648") "\"2x\""},
    {"1 5 -2147483649", 1, 3, "the value of element 1" INT_RANGE("-2147483648") "\"-2147483649\""},
    {"2000000000 5", 1, 3, "the input ended before the value of element 1"},
    {"2 5 1 2", 1, 4, "the input ended before the weight of element 1"},
    {"2 5 1 2 3", 1, 4, "the input ended before the weight of element 2"},
    {"2 5 1 2 3 -1", 1, 4, "the weight of element 2" INT_RANGE("0") "\"-1\""},
    {"1 5 \x01\"\\\xff", 1, 3,
     "the value of element 1" INT_RANGE("-2147483648") "\"\\x01\\x22\\x5c\\xff\""},
    {"1234567890123456789012345678901234567890123", 1, 1,
     "the number of elements" INT_RANGE("0") "\"1234567890123456789012345678901234567890...\""},
    {"2 1 2147483647 1 0 0", 2, 4, "the best total value exceeds 2147483647"},
};

TEST(Dialogue, RefusesWithOneLineAndNoResult) {
  for (const auto& c : refused_cases) {
    SCOPED_TRACE(c.input);
    const session s = converse(c.input);
    EXPECT_EQ(s.status, c.status);
    EXPECT_EQ(s.out, prompts_up_to(c.prompts_written));
    EXPECT_EQ(s.err, std::string("knapsack: ") + c.error + "\n");
  }
}

TEST(Dialogue, ReportsAnOutputThatCannotBeWritten) {
  std::istringstream in("1 5 7 3");
  std::ostringstream out;
  std::ostringstream err;
  out.setstate(std::ios::badbit);
  EXPECT_EQ(run_dialogue(in, out, err), exit_unanswerable);
  EXPECT_EQ(err.str(), "knapsack: cannot write the result\n");
}

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

// Input that arrives in pieces, as a person types it; before each piece it records what output
// had been flushed, which is what a person would have seen while the program waited.
class typed_input : public std::streambuf {
 public:
  typed_input(std::vector<std::string> lines, const flush_log& output)
      : lines_(std::move(lines)), output_(output) {}
  std::vector<std::string> seen_while_waiting;

 protected:
  int_type underflow() override {
    if (next_ == lines_.size()) return traits_type::eof();
    seen_while_waiting.push_back(output_.flushed);
    std::string& line = lines_[next_++];
    setg(line.data(), line.data(), line.data() + line.size());
    return traits_type::to_int_type(line[0]);
  }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
  const flush_log& output_;
};

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

}  // namespace
