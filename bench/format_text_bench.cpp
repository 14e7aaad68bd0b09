// A formatted statement under a format given as text at run time against the same statement
// under the format compiled at build time: an internal write of one real under (F8.3). Run
// again with the same text, the statement finds its words in the cache; the text must cost
// no more than 1.3 times the build-time format.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "format_compiler.h"
#include "record_io.h"

namespace {

constexpr std::string_view text = "(F8.3)";
constexpr auto build_time_format = io::compile_format<"(F8.3)">();
constexpr std::uint32_t pi = 0x40490FDBu;  // 3.14159274f
constexpr std::int32_t record_length = 8;
const std::string expected = "   3.142";

// One statement as a program makes it; the text only when `with_text`.
std::int32_t write_pi(char* variable, bool with_text) {
  static const std::int32_t line = 10, one = 1, flags = SPECIFIER_IOSTAT;
  std::int32_t iostat = 0;
  io_source_position(&line, "format_text_bench.cpp", 21);
  if (with_text) io_set_format_text(text.data(), static_cast<std::int32_t>(text.size()));
  std::int32_t status = fmt_internal_write_begin(variable, &one, &flags, &iostat,
                                                 with_text ? nullptr : build_time_format.data(),
                                                 record_length);
  status |= fmt_write_scalar(pi, TYPE_REAL4);
  status |= fmt_write_end();
  return status;
}

void statement_bench(benchmark::State& state, bool with_text) {
  char variable[record_length];
  if (write_pi(variable, with_text) != 0 || std::string_view{variable, record_length} != expected) {
    state.SkipWithError("wrong record");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(write_pi(variable, with_text));
    benchmark::ClobberMemory();
  }
}

void build_time_bench(benchmark::State& state) { statement_bench(state, false); }
void run_time_text_bench(benchmark::State& state) { statement_bench(state, true); }

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("internal_write/build_time_format", build_time_bench);
  benchmark::RegisterBenchmark("internal_write/run_time_text", run_time_text_bench);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
