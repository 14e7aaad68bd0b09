// Micro-benchmark of primefac's factoring alone, per value, on the values of the comparison
// script's factor workloads, beside the square-root-bounded division loop of its C baseline.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "prime_factors.h"
#include "values.h"

namespace {

bool is_prime(std::uint32_t n) {
  if (n < 2) return false;
  for (std::uint32_t k = 2; k <= n / k; ++k) {
    if (n % k == 0) return false;
  }
  return true;
}

// The comparison script's inputs: 2,000 values in [2, 999999], and the 20 largest primes
// below 2^31.
std::vector<std::int32_t> values_below_a_million() {
  std::vector<std::int32_t> values;
  for (long i = 0; i < 2000; ++i) values.push_back(static_cast<std::int32_t>(2 + bench::hash(i) % 999998u));
  return values;
}

std::vector<std::int32_t> largest_primes() {
  std::vector<std::int32_t> values;
  for (std::uint32_t n = 2147483647u; values.size() < 20; n -= 2) {
    if (is_prime(n)) values.push_back(static_cast<std::int32_t>(n));
  }
  return values;
}

// The C baseline's loop: a division and a remainder per step, k up to the square root.
template <class Visit>
void square_root_loop(std::int32_t n, Visit&& visit) {
  if (n < 2) return;
  std::int32_t k = 2;
  for (; k <= n / k; ++k) {
    while (n % k == 0) {
      visit(k);
      n /= k;
    }
  }
  if (n > 1) visit(n);
}

std::uint64_t table_sum(const std::vector<std::int32_t>& values) {
  std::uint64_t sum = 0;
  for (std::int32_t number : values) {
    primefac::divide_out_prime_factors(number, [&](std::int32_t f) { sum = sum * 31 + static_cast<std::uint32_t>(f); });
  }
  return sum;
}

std::uint64_t loop_sum(const std::vector<std::int32_t>& values) {
  std::uint64_t sum = 0;
  for (std::int32_t number : values) {
    square_root_loop(number, [&](std::int32_t f) { sum = sum * 31 + static_cast<std::uint32_t>(f); });
  }
  return sum;
}

void run(benchmark::State& state, const std::vector<std::int32_t>& values,
         std::uint64_t (*factor)(const std::vector<std::int32_t>&)) {
  // Checked once before timing: the same factors, in the same order, as the baseline's loop.
  if (factor(values) != loop_sum(values)) {
    std::fputs("factor_bench: factors differ from the square-root loop\n", stderr);
    std::exit(1);
  }
  for (auto _ : state) benchmark::DoNotOptimize(factor(values));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
  state.counters["ns/value"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(values.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void table_below_a_million(benchmark::State& state) { run(state, values_below_a_million(), table_sum); }
void loop_below_a_million(benchmark::State& state) { run(state, values_below_a_million(), loop_sum); }
void table_largest_primes(benchmark::State& state) { run(state, largest_primes(), table_sum); }
void loop_largest_primes(benchmark::State& state) { run(state, largest_primes(), loop_sum); }

// Random 32-bit values, the negative half among them.
void table_random(benchmark::State& state) {
  std::vector<std::int32_t> values;
  for (long i = 0; i < 2000; ++i) values.push_back(static_cast<std::int32_t>(bench::hash(i + 12345)));
  run(state, values, table_sum);
}

BENCHMARK(table_below_a_million);
BENCHMARK(loop_below_a_million);
BENCHMARK(table_largest_primes);
BENCHMARK(loop_largest_primes);
BENCHMARK(table_random);

}  // namespace

BENCHMARK_MAIN();
