// Micro-benchmarks of the conversions on the I/O benchmark's values: integer and real
// fields of free-form output, the F5.2 field, and the numeric scanner of free-form input.
#include <benchmark/benchmark.h>

#include <array>
#include <span>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "number_to_text.h"
#include "record_io.h"
#include "text_to_number.h"
#include "values.h"

namespace {

// Enough values to defeat the branch predictor, few enough to stay in the cache.
constexpr long value_count = 4096;

using bench::fmt_value;
using bench::int_value;
using bench::real_value;

template <typename T, typename F>
std::vector<T> values(F value) {
  std::vector<T> out;
  for (long i = 0; i < value_count; ++i) out.push_back(value(i));
  return out;
}

std::string printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The reference texts are built with printf the way the stdio baseline builds its records:
// digits rounded half away from zero, which a tiny nudge gets out of printf's ties to even.
std::string general_reference(float x) {
  const double a = std::fabs(static_cast<double>(x));
  if (a == 0.0) return "   0.000000    ";
  if (a >= 0.0999999995 && a < 9999999.95) {
    // Seven significant digits: one place fewer for each power of ten the rounded value reaches.
    constexpr double bounds[] = {0.99999995, 9.9999995, 99.999995, 999.99995,
                                 9999.9995,  99999.995, 999999.95};
    int integer_digits = 0;
    while (integer_digits < 7 && a >= bounds[integer_digits]) ++integer_digits;
    char text[64];
    std::snprintf(text, sizeof text, "%#11.*f    ", 7 - integer_digits,
                  static_cast<double>(x) * (1.0 + 0x1p-50));
    return text;
  }
  return printed("%15.7E", static_cast<double>(x));
}

std::string fixed_reference(float x) {
  if (x >= 99.995f || x <= -9.995f) return "*****";
  return printed("%5.2f", static_cast<double>(x) * (1.0 + 0x1p-50));
}

// A 32-bit real's field as free-form output makes it: the shortcut, else G15.7E2 under 1P.
std::string_view free_form_real(float x) {
  if (const std::optional<std::string_view> field = io::free_form_real32(x, 0, 0)) return *field;
  return io::format_general(x, {15, 7, 2, 1, 0, 1, 0}, TYPE_REAL4).field;
}

constexpr io::edit_parameters f5_2{5, 2, 0, 0, 0, 0, 0};

// Each benchmark compares every result with its reference once, before the timing starts.
template <typename Check>
bool checked(benchmark::State& state, Check check) {
  for (long i = 0; i < value_count; ++i) {
    if (!check(i)) {
      state.SkipWithError(("wrong result for value " + std::to_string(i)).c_str());
      return false;
    }
  }
  return true;
}

void format_integer_bench(benchmark::State& state) {
  const auto ints = values<std::int32_t>(int_value);
  const bool ok = checked(state, [&](long i) {
    const std::int32_t value = ints[static_cast<std::size_t>(i)];
    char text[16];
    std::snprintf(text, sizeof text, "%12d", value);
    return io::format_integer(value, 12, 1, 0) == text;
  });
  if (!ok) return;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(io::format_integer(ints[i], 12, 1, 0).data());
    if (++i == ints.size()) i = 0;
  }
}

void free_form_real_bench(benchmark::State& state) {
  const auto reals = values<float>(real_value);
  const bool ok = checked(state, [&](long i) {
    const float x = reals[static_cast<std::size_t>(i)];
    return free_form_real(x) == general_reference(x);
  });
  if (!ok) return;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(free_form_real(reals[i]).data());
    if (++i == reals.size()) i = 0;
  }
}

void format_fixed_bench(benchmark::State& state) {
  const auto reals = values<float>(fmt_value);
  const bool ok = checked(state, [&](long i) {
    const float x = reals[static_cast<std::size_t>(i)];
    return io::format_fixed(x, f5_2) == fixed_reference(x);
  });
  if (!ok) return;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(io::format_fixed(reals[i], f5_2).data());
    if (++i == reals.size()) i = 0;
  }
}

// Records as the input buffer holds them: the token, then the line feed the scan stops at.
// The scanner edits only decimal commas and exponent letters, none of which these hold,
// so the same records serve every round.
struct scan_records {
  std::string bytes;
  std::vector<std::size_t> starts;
};

template <typename F>
scan_records records_of(F text_of) {
  scan_records records;
  for (long i = 0; i < value_count; ++i) {
    records.starts.push_back(records.bytes.size());
    records.bytes += text_of(i);
    records.bytes += '\n';
  }
  records.starts.push_back(records.bytes.size());
  return records;
}

std::span<char> record_at(scan_records& records, std::size_t i) {
  return {records.bytes.data() + records.starts[i], records.starts[i + 1] - records.starts[i]};
}

void scan_bench(benchmark::State& state, scan_records records) {
  const bool ok = checked(state, [&](long i) {
    std::span<char> record = record_at(records, static_cast<std::size_t>(i));
    const std::string text(record.data(), record.size());
    const io::numeric_scan scan = io::scan_numeric_constant(record, false);
    if (scan.error_code != 0 || scan.scanned_length != record.size() - 1) return false;
    if (scan.value_class == io::numeric_class::NUMERIC_REAL) {
      return scan.value.real64() == std::strtod(text.c_str(), nullptr);
    }
    return scan.value_class == io::numeric_class::NUMERIC_INT32 &&
           scan.value.int32() == std::strtol(text.c_str(), nullptr, 10);
  });
  if (!ok) return;
  const std::size_t count = records.starts.size() - 1;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(io::scan_numeric_constant(record_at(records, i), false).value.bits);
    if (++i == count) i = 0;
  }
}

void scan_int_bench(benchmark::State& state) {
  scan_bench(state, records_of([](long i) { return std::to_string(int_value(i)); }));
}

void scan_real_bench(benchmark::State& state) {
  scan_bench(state, records_of([](long i) {
    std::string text = general_reference(real_value(i));
    return text.substr(text.find_first_not_of(' '), text.find_last_not_of(' ') + 1 -
                                                        text.find_first_not_of(' '));
  }));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("format_integer/I12", format_integer_bench);
  benchmark::RegisterBenchmark("free_form_real/real32", free_form_real_bench);
  benchmark::RegisterBenchmark("format_fixed/F5.2", format_fixed_bench);
  benchmark::RegisterBenchmark("scan_numeric_constant/int", scan_int_bench);
  benchmark::RegisterBenchmark("scan_numeric_constant/real", scan_real_bench);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
