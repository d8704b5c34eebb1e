#include <benchmark/benchmark.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "dialogue.hpp"
#include "knapsack.hpp"

namespace {

constexpr std::size_t whole_table = SIZE_MAX;  // budget that keeps every row
constexpr std::size_t two_rows = 0;            // budget that keeps two

struct instance {
  std::vector<int> values;
  std::vector<int> weights;
  int capacity;
};

// Values uniform in [1, max_value], weights uniform in [1, max_weight], fixed seed.
instance uncorrelated(std::size_t n, int max_value, int max_weight, int capacity) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> value(1, max_value);
  std::uniform_int_distribution<int> weight(1, max_weight);
  instance made{{}, {}, capacity};
  for (std::size_t k = 0; k < n; ++k) {
    made.values.push_back(value(random));
    made.weights.push_back(weight(random));
  }
  return made;
}

// Every way of solving one instance must give one answer; the first run of each shape records it.
void check_answer(benchmark::State& state, int max_value, int best) {
  static std::map<std::tuple<std::int64_t, std::int64_t, std::int64_t, int>, int> answers;
  const auto key = std::tuple(state.range(0), state.range(1), state.range(2), max_value);
  const auto [known, fresh] = answers.try_emplace(key, best);
  if (!fresh && known->second != best) state.SkipWithError("answers differ between paths");
}

void report_cells(benchmark::State& state, std::int64_t cells) {
  state.counters["cells/s"] =
      benchmark::Counter(static_cast<double>(cells), benchmark::Counter::kIsIterationInvariantRate);
}

int solve_once(const instance& problem, std::size_t budget, bool prune) {
  try {
    return knapsack_within(problem.values, problem.weights, problem.capacity, budget, prune);
  } catch (const std::overflow_error&) {
    return -1;
  }
}

// Arguments: elements, capacity, largest weight (0: a tenth of the capacity, so that nearly every
// cell weighs taking the element against leaving it). Values up to 1000 never
// reach INT_MAX; values up to INT_MAX / 4 make the solver check every sum.
void solve(benchmark::State& state, std::size_t budget, bool prune, int max_value) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto capacity = static_cast<int>(state.range(1));
  const auto max_weight =
      state.range(2) == 0 ? std::max(1, capacity / 10) : static_cast<int>(state.range(2));
  const instance problem = uncorrelated(n, max_value, max_weight, capacity);
  int best = 0;
  for (auto _ : state) {
    best = solve_once(problem, budget, prune);
    benchmark::DoNotOptimize(best);
  }
  check_answer(state, max_value, best);
  report_cells(state, state.range(0) * (state.range(1) + 1));
}

// The reference for the whole table: writing as many cells into freshly allocated memory.
void fresh_memory(benchmark::State& state) {
  const auto cells = static_cast<std::size_t>(state.range(0) * (state.range(1) + 1));
  for (auto _ : state) {
    const std::unique_ptr<std::uint32_t[]> memory(new std::uint32_t[cells]);
    std::fill_n(memory.get(), cells, std::uint32_t{1});
    benchmark::DoNotOptimize(memory.get());
  }
  report_cells(state, state.range(0) * (state.range(1) + 1));
}

// Input as a buffer in memory, read without a copy.
class memory_input : public std::streambuf {
 public:
  explicit memory_input(std::string& text) {
    setg(text.data(), text.data(), text.data() + text.size());
  }
};

// The whole dialogue on one million elements at capacity 1: almost all of it is reading.
void read_numbers(benchmark::State& state) {
  const auto n = state.range(0);
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> number(0, 1000000);
  std::string text = std::to_string(n) + "\n1\n";
  for (std::int64_t k = 0; k < 2 * n; ++k) text += std::to_string(number(random)) + ' ';
  for (auto _ : state) {
    memory_input buffer(text);
    std::istream in(&buffer);
    std::ostringstream out;
    std::ostringstream err;
    const int status = run_dialogue(in, out, err);
    if (status != exit_ok) state.SkipWithError("the dialogue failed");
    benchmark::DoNotOptimize(status);
  }
  state.counters["numbers/s"] = benchmark::Counter(static_cast<double>(2 * n + 2),
                                                   benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(static_cast<std::int64_t>(text.size()) * state.iterations());
}

// Shapes of 10^9 cells each: the rate per cell should not depend on the shape.
void shapes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"elements", "capacity", "max_weight"})->Unit(benchmark::kMillisecond)->UseRealTime();
  for (const auto& [n, capacity] : {std::pair{100, 10000000},
                                    {1000, 1000000},
                                    {10000, 100000},
                                    {100000, 10000},
                                    {1000000, 100}}) {
    b->Args({n, capacity, 0});
  }
}

// The uncorrelated family with capacity half the total weight, where pruning skips half the cells.
void half_capacity(benchmark::internal::Benchmark* b) {
  b->ArgNames({"elements", "capacity", "max_weight"})->Unit(benchmark::kMillisecond)->UseRealTime();
  b->Args({1000, 500000, 2000});
}

BENCHMARK(fresh_memory)->Apply(shapes)->Iterations(1);
constexpr int small = 1000;
constexpr int large = INT_MAX / 4;
BENCHMARK_CAPTURE(solve, whole_table, whole_table, true, small)->Apply(shapes)->Iterations(1);
BENCHMARK_CAPTURE(solve, whole_table_checked, whole_table, true, large)
    ->Apply(shapes)
    ->Iterations(1);
BENCHMARK_CAPTURE(solve, two_rows_unpruned, two_rows, false, small)->Apply(shapes);
BENCHMARK_CAPTURE(solve, two_rows_unpruned_checked, two_rows, false, large)->Apply(shapes);
BENCHMARK_CAPTURE(solve, two_rows, two_rows, true, small)->Apply(shapes)->Apply(half_capacity);
BENCHMARK_CAPTURE(solve, two_rows_unpruned, two_rows, false, small)->Apply(half_capacity);
BENCHMARK(read_numbers)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
