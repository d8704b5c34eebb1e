#include <benchmark/benchmark.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "bits.hpp"
#include "dialogue.hpp"
#include "knapsack.hpp"
#include "reader.hpp"
#include "reduce.hpp"
#include "rows.hpp"
#include "solve.hpp"

namespace {

constexpr std::size_t whole_table = SIZE_MAX;  // table budget that keeps every row
constexpr std::size_t no_table = 0;            // table budget that keeps none

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

// The families of the knapsack literature: weights uniform in [1, range], capacity half the total
// weight, values uniform in [1, range] (unrelated, the uncorrelated family), within range/10 of the
// weight and at least 1 (weakly correlated), the weight plus range/10 (strongly correlated), or the
// weight (subset sum). Fixed seed.
enum family : std::int64_t { unrelated, weakly, strongly, subset_sum };

instance of_family(std::int64_t kind, std::size_t n, int range) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> uniform(1, range);
  std::uniform_int_distribution<int> spread(-range / 10, range / 10);
  instance made{{}, {}, 0};
  std::int64_t total = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const int weight = uniform(random);
    const int value = kind == unrelated  ? uniform(random)
                      : kind == weakly   ? std::max(1, weight + spread(random))
                      : kind == strongly ? weight + range / 10
                                         : weight;
    made.weights.push_back(weight);
    made.values.push_back(value);
    total += weight;
  }
  made.capacity = static_cast<int>(total / 2);
  return made;
}

// Instances built to defeat the step lists, where values per weight are (nearly) all equal:
// profit ceiling (value 3 * ceil(weight / 3)) and even weights at an odd capacity (subset sum where
// no selection meets the bound). Weights uniform in [1, range] (even ones in [2, range]).
enum hard_family : std::int64_t { profit_ceiling, even_weights };

instance of_hard_family(std::int64_t kind, std::size_t n, int range, int capacity) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> uniform(1, kind == even_weights ? range / 2 : range);
  instance made{{}, {}, capacity};
  for (std::size_t k = 0; k < n; ++k) {
    const int drawn = uniform(random);
    const int weight = kind == even_weights ? 2 * drawn : drawn;
    made.weights.push_back(weight);
    made.values.push_back(kind == even_weights ? weight : 3 * ((weight + 2) / 3));
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

int solve_once(const instance& problem, std::size_t table, const solver_hooks& hooks) {
  try {
    return ::solve(problem.values, problem.weights, problem.capacity, {.table = table}, hooks).best;
  } catch (const std::overflow_error&) {
    return -1;
  }
}

// Arguments: elements, capacity, largest weight (0: a tenth of the capacity, so that nearly every
// cell weighs taking the element against leaving it). Values up to 1000 never
// reach INT_MAX; values up to INT_MAX / 4 make the solver check every sum.
void solve(benchmark::State& state, std::size_t table, const solver_hooks& hooks, int max_value) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto capacity = static_cast<int>(state.range(1));
  const auto max_weight =
      state.range(2) == 0 ? std::max(1, capacity / 10) : static_cast<int>(state.range(2));
  const instance problem = uncorrelated(n, max_value, max_weight, capacity);
  int best = 0;
  for (auto _ : state) {
    best = solve_once(problem, table, hooks);
    benchmark::DoNotOptimize(best);
  }
  check_answer(state, max_value, best);
  report_cells(state, state.range(0) * (state.range(1) + 1));
}

// Arguments: family, elements, range. Every instance's table exceeds the budget, so these are
// answered as the program answers them beyond it.
void families(benchmark::State& state, const solver_hooks& hooks) {
  const instance problem = of_family(state.range(0), static_cast<std::size_t>(state.range(1)),
                                     static_cast<int>(state.range(2)));
  int best = 0;
  for (auto _ : state) {
    best = solve_once(problem, table_budget, hooks);
    benchmark::DoNotOptimize(best);
  }
  check_answer(state, 0, best);
}

// Arguments: hard family, elements, range, capacity.
void hard_families(benchmark::State& state, const solver_hooks& hooks) {
  const instance problem =
      of_hard_family(state.range(0), static_cast<std::size_t>(state.range(1)),
                     static_cast<int>(state.range(2)), static_cast<int>(state.range(3)));
  int best = 0;
  for (auto _ : state) {
    best = solve_once(problem, table_budget, hooks);
    benchmark::DoNotOptimize(best);
  }
  check_answer(state, -1, best);
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

// An instance as the reduction would leave it, had it decided nothing: every element open, by
// value per weight, for the rows alone.
reduced open_instance(const instance& problem) {
  reduced r;
  for (std::size_t k = 0; k < problem.weights.size(); ++k) {
    r.sorted.push_back({problem.weights[k], problem.values[k]});
  }
  std::ranges::stable_sort(r.sorted, more_efficient);
  r.capacity = problem.capacity;
  r.upper = INT64_MAX;
  return r;
}

// The rows alone over `threads` threads, on `cells` cells. Bytes per second count what a plain
// two-row loop moves per cell (a cell read from the row above and one written), against the
// streaming probe.
void time_rows(benchmark::State& state, const reduced& r, std::int64_t threads,
               std::int64_t cells) {
  const method_params params{.threads = static_cast<unsigned>(threads)};
  for (auto _ : state) {
    const auto best = ::subset_sum(r) ? best_by_bits(r, params) : best_by_rows(r, params);
    benchmark::DoNotOptimize(best);
  }
  report_cells(state, cells);
  state.SetBytesProcessed(2 * static_cast<std::int64_t>(sizeof(std::uint32_t)) * cells *
                          state.iterations());
}

// Arguments: elements, capacity, threads; weights up to a tenth of the capacity, values up to 1000.
void rows_engine(benchmark::State& state) {
  const auto capacity = static_cast<int>(state.range(1));
  const reduced r = open_instance(uncorrelated(static_cast<std::size_t>(state.range(0)), 1000,
                                               std::max(1, capacity / 10), capacity));
  time_rows(state, r, state.range(2), state.range(0) * (state.range(1) + 1));
}

// Arguments: hard family, elements, range, capacity, threads.
void rows_on_hard_families(benchmark::State& state) {
  const reduced r = open_instance(
      of_hard_family(state.range(0), static_cast<std::size_t>(state.range(1)),
                     static_cast<int>(state.range(2)), static_cast<int>(state.range(3))));
  time_rows(state, r, state.range(4), state.range(1) * (state.range(3) + 1));
}

// The streaming probe: reading and writing a buffer far larger than the caches, as the rows read
// and write theirs, in bytes per second over both.
void stream_probe(benchmark::State& state) {
  const auto words = static_cast<std::size_t>(state.range(0)) / sizeof(std::uint64_t);
  std::vector<std::uint64_t> from(words, 1);
  std::vector<std::uint64_t> to(words, 0);
  for (auto _ : state) {
    std::copy(from.begin(), from.end(), to.begin());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(2 * state.range(0) * state.iterations());
}

// Input as a buffer in memory, read without a copy.
class memory_input : public std::streambuf {
 public:
  explicit memory_input(std::string& text) {
    setg(text.data(), text.data(), text.data() + text.size());
  }
};

// Text of `count` numbers uniform in [0, largest], each followed by a space.
std::string numbers_text(std::int64_t count, std::int64_t largest) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> number(0, static_cast<int>(largest));
  std::string text;
  for (std::int64_t k = 0; k < count; ++k) text += std::to_string(number(random)) + ' ';
  return text;
}

// The parser alone, as the dialogue uses it on a list, into memory already touched.
void parse_numbers(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  std::string text = numbers_text(state.range(0), state.range(1));
  std::vector<int> numbers(count);
  for (auto _ : state) {
    memory_input buffer(text);
    source from{buffer, [] {}};
    for (std::size_t k = 0; k < count;) {
      k += read_plain_numbers(from, std::span(numbers).subspan(k));
      if (k < count) numbers[k++] = read_number(from, 0).number;
    }
    benchmark::DoNotOptimize(numbers.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(text.size()) * state.iterations());
}

// The whole dialogue on a million elements at capacity 0, numbers uniform in [0, largest]: all of
// it is reading.
void read_numbers(benchmark::State& state) {
  const auto n = state.range(0);
  std::string text = std::to_string(n) + "\n0\n" + numbers_text(2 * n, state.range(1));
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

void family_targets(benchmark::internal::Benchmark* b) {
  b->ArgNames({"family", "elements", "range"})->Unit(benchmark::kMillisecond);
  for (const std::int64_t kind : {unrelated, weakly, subset_sum}) {
    b->Args({kind, 1000, 1000000})->Args({kind, 10000, 100000});
  }
  b->Args({strongly, 1000, 100000})->Args({strongly, 200, 1000000});
}

// Small enough for two rows to answer in about a second each.
void family_small(benchmark::internal::Benchmark* b) {
  b->ArgNames({"family", "elements", "range"})->Unit(benchmark::kMillisecond);
  for (const std::int64_t kind : {unrelated, weakly, strongly, subset_sum}) {
    b->Args({kind, 1000, 10000});
  }
}

const solver_hooks cheapest{};
const solver_hooks by_rows{.open = open_method::rows};
const solver_hooks by_two_rows{.given = given_method::two_rows};

BENCHMARK_CAPTURE(families, steps, cheapest)->Apply(family_targets);
BENCHMARK_CAPTURE(families, steps, cheapest)->Apply(family_small);
BENCHMARK_CAPTURE(families, rows, by_rows)->Apply(family_small)->Iterations(1);
// Capacity about half the total weight; the odd one for even weights.
void hard_shapes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"family", "elements", "range", "capacity"})->Unit(benchmark::kMillisecond);
  b->Args({profit_ceiling, 400, 1000000, 100000000})->Args({even_weights, 400, 1000000, 99999999});
  b->Iterations(1);
}

// Slow, seconds each: --benchmark_filter=hard runs them alone, --benchmark_filter=-hard skips them.
BENCHMARK_CAPTURE(hard_families, steps_or_rows, cheapest)->Apply(hard_shapes);
BENCHMARK_CAPTURE(hard_families, rows, by_rows)->Apply(hard_shapes);
BENCHMARK(fresh_memory)->Apply(shapes)->Iterations(1);
// Rows that fit in the caches, and rows that do not, on one thread and on two.
void rows_shapes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"elements", "capacity", "threads"})->Unit(benchmark::kMillisecond)->UseRealTime();
  for (const auto& [n, capacity] : {std::pair{10000, 100000}, {100000, 10000}, {1000, 1000000}}) {
    b->Args({n, capacity, 1})->Args({n, capacity, 2});
  }
}
BENCHMARK(rows_engine)->Apply(rows_shapes);
BENCHMARK(stream_probe)->Arg(std::int64_t{1} << 30)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(rows_on_hard_families)
    ->ArgNames({"family", "elements", "range", "capacity", "threads"})
    ->Args({profit_ceiling, 400, 1000000, 100000000, 1})
    ->Args({profit_ceiling, 400, 1000000, 100000000, 2})
    ->Args({even_weights, 400, 1000000, 99999999, 1})
    ->Args({even_weights, 400, 1000000, 99999999, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Name("hard_rows");

constexpr int small = 1000;
constexpr int large = INT_MAX / 4;
BENCHMARK_CAPTURE(solve, whole_table, whole_table, cheapest, small)->Apply(shapes)->Iterations(1);
BENCHMARK_CAPTURE(solve, whole_table_checked, whole_table, cheapest, large)
    ->Apply(shapes)
    ->Iterations(1);
BENCHMARK_CAPTURE(solve, steps_or_rows, no_table, cheapest, small)->Apply(shapes);
BENCHMARK_CAPTURE(solve, two_rows_unpruned, no_table, by_two_rows, small)->Apply(shapes);
BENCHMARK_CAPTURE(solve, two_rows_unpruned_checked, no_table, by_two_rows, large)->Apply(shapes);
BENCHMARK_CAPTURE(solve, rows, no_table, by_rows, small)->Apply(shapes)->Apply(half_capacity);
BENCHMARK_CAPTURE(solve, two_rows_unpruned, no_table, by_two_rows, small)->Apply(half_capacity);
BENCHMARK(parse_numbers)
    ->ArgNames({"numbers", "largest"})
    ->Args({2000000, 1000000})
    ->Args({2000000, 400})
    ->Args({2000000, 20})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(read_numbers)
    ->ArgNames({"elements", "largest"})
    ->Args({1000000, 1000000})
    ->Args({1000000, 400})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
