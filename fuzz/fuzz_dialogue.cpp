// Feeds arbitrary bytes to the dialogue as its input and checks what it writes against a model of
// the dialogue built here from scratch: the exit status, standard output byte for byte, one line
// on the error stream, and the answer itself, against every subset of up to 12 elements or one
// row over a small table. Larger instances, which test the methods rather than the dialogue, are
// fuzz_methods.cpp's: here they would cost a thousand inputs' time each.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "dialogue.hpp"
#include "oracle.hpp"

namespace {

constexpr std::int64_t int_min = -2147483648LL;
constexpr std::int64_t int_max = 2147483647LL;
constexpr std::int64_t max_cells = 100'000;  // of one row over the elements, beyond brute force
constexpr std::size_t max_brute_force = 12;  // elements
constexpr std::size_t longest_token = 4096;  // bytes

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
};

// The expected outcome, or nothing when the instance is too large to run here.
std::optional<outcome> model(const std::string& input) {
  std::istringstream in(input);
  std::string token;
  // Reads the next token as a number in [low, int_max]; false if absent or not such a number.
  const auto next = [&](std::int64_t low, std::int64_t& number) {
    if (!(in >> token) || token.size() > longest_token) return false;
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
  const bool few = weights.size() <= max_brute_force;
  if (!few && n * (capacity + 1) > max_cells) return std::nullopt;
  const std::int64_t best =
      few ? brute_force(values, weights, capacity) : one_row(values, weights, capacity);
  return outcome{best > int_max ? exit_unanswerable : exit_ok, 4, best};
}

void check(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", property);
  std::abort();
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
