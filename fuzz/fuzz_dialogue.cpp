// Feeds arbitrary bytes to the dialogue as its input and checks what it writes against a model of
// the dialogue built here from scratch: the exit status, standard output byte for byte, one line
// on the error stream, and for small instances the answer itself against every subset, from the
// whole table through the dialogue and from the step lists and the rows directly.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialogue.hpp"
#include "knapsack.hpp"
#include "oracle.hpp"

namespace {

constexpr std::int64_t int_min = -2147483648LL;
constexpr std::int64_t int_max = 2147483647LL;
constexpr std::int64_t max_cells = 10'000'000;  // larger instances test memory, not logic
constexpr std::size_t max_brute_force = 12;     // elements

// A token as a number: optional sign, then decimal digits only, within 64 bits.
std::optional<std::int64_t> to_number(std::string token) {
  if (token.size() > 1 && token[0] == '+' && token[1] != '-') token.erase(0, 1);
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), number);
  if (error != std::errc() || end != token.data() + token.size()) return std::nullopt;
  return number;
}

// What the dialogue must do with the input: its exit status, the prompts written before it
// stopped, and the answer when it answers.
struct outcome {
  int status;
  int prompts_written;
  std::int64_t best = 0;
  std::vector<int> values = {};  // of a complete instance
  std::vector<int> weights = {};
  int capacity = 0;
};

// The expected outcome, or nothing when the instance is too large to run here.
std::optional<outcome> model(const std::string& input) {
  std::istringstream in(input);
  std::string token;
  // Reads the next token as a number in [low, int_max]; false if absent or not such a number.
  const auto next = [&](std::int64_t low, std::int64_t& number) {
    if (!(in >> token)) return false;
    const auto parsed = to_number(token);
    if (!parsed || *parsed < low || *parsed > int_max) return false;
    number = *parsed;
    return true;
  };
  std::int64_t n = 0;
  std::int64_t capacity = 0;
  if (!next(0, n)) return outcome{exit_bad_input, 1};
  if (!next(0, capacity)) return outcome{exit_bad_input, 2};
  std::vector<std::int64_t> values;
  std::vector<std::int64_t> weights;
  for (std::int64_t k = 0, number = 0; k < n; ++k, values.push_back(number)) {
    if (!next(int_min, number)) return outcome{exit_bad_input, 3};
  }
  for (std::int64_t k = 0, number = 0; k < n; ++k, weights.push_back(number)) {
    if (!next(0, number)) return outcome{exit_bad_input, 4};
  }
  if (n * (capacity + 1) > max_cells) return std::nullopt;
  const std::int64_t best = weights.size() <= max_brute_force
                                ? brute_force(values, weights, capacity)
                                : one_row(values, weights, capacity);
  const auto narrow = [](const std::vector<std::int64_t>& list) {
    return std::vector<int>(list.begin(), list.end());
  };
  return outcome{best > int_max ? exit_unanswerable : exit_ok,
                 4,
                 best,
                 narrow(values),
                 narrow(weights),
                 static_cast<int>(capacity)};
}

void check(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", property);
  std::abort();
}

// Every way of answering beyond the whole table must give the model's answer, or refuse an answer
// beyond INT_MAX.
void check_every_way(const outcome& expected) {
  const std::size_t room_for_rows = 16 * (static_cast<std::size_t>(expected.capacity) + 1);
  for (const solver_limits& limits : {solver_limits{.table = 0, .force = method::lists},
                                      solver_limits{.table = 0, .force = method::rows},
                                      solver_limits{.table = 0, .memory = room_for_rows}}) {
    try {
      const int best = knapsack(expected.values, expected.weights, expected.capacity, limits);
      check(expected.status == exit_ok && best == expected.best,
            "every way beyond the whole table gives the best value");
    } catch (const std::overflow_error&) {
      check(expected.status == exit_unanswerable,
            "every way beyond the whole table refuses only a best value past INT_MAX");
    }
  }
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto expected = model(input);
  if (!expected) return -1;  // not worth keeping in the corpus

  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const int status = run_dialogue(in, out, err);
  const std::string written = out.str();
  const std::string error = err.str();

  const std::string prompted = prompts_up_to(expected->prompts_written);
  if (expected->prompts_written == 4 && expected->status != exit_bad_input) {
    check_every_way(*expected);
  }
  if (expected->status == exit_ok) {
    check(status == exit_ok, "a complete instance with an answer in range is answered");
    check(error.empty(), "an answer leaves nothing on the error stream");
    check(written == prompted + result_text + std::to_string(expected->best) + "\n",
          "the result line, with the best value, follows the four prompts");
  } else {
    check(status == expected->status, "the exit status names the failure");
    check(written == prompted, "a failure writes the prompts so far and no result line");
    check(error.starts_with("knapsack: ") && error.ends_with('\n') &&
              error.find('\n') == error.size() - 1,
          "a failure leaves exactly one line on the error stream");
  }
  return 0;
}
