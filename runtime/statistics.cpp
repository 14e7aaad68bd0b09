// The run statistics: the samples at the start and the end, and the report "-stat" asks for.
#include <malloc.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "diagnostics.h"
#include "end_hooks.h"
#include "options.h"

namespace runtime {
namespace {

constexpr std::int32_t cpu_bits = STAT_CPU | STAT_CPUS;
constexpr std::int32_t msg_bits = STAT_MSG | STAT_MSGS;
constexpr std::int32_t mem_bits = STAT_MEM | STAT_MEMS;

struct statistics_sample {
  rusage usage{};
  timespec wall{};
};

struct statistics_state {
  bool active = false;
  statistics_sample start;
};
statistics_state state;

statistics_sample take_sample() {
  statistics_sample sample;
  getrusage(RUSAGE_SELF, &sample.usage);
  clock_gettime(CLOCK_MONOTONIC, &sample.wall);
  return sample;
}

double seconds_between(const timeval& from, const timeval& to) {
  return static_cast<double>(to.tv_sec - from.tv_sec) + static_cast<double>(to.tv_usec - from.tv_usec) / 1e6;
}

double seconds_between(const timespec& from, const timespec& to) {
  return static_cast<double>(to.tv_sec - from.tv_sec) + static_cast<double>(to.tv_nsec - from.tv_nsec) / 1e9;
}

[[gnu::format(printf, 2, 3)]] void append(std::string& report, const char* format, ...) {
  char line[256];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length > 0) report.append(line, std::min(static_cast<std::size_t>(length), sizeof line - 1));
}

void report_cpu(std::int32_t flags, const statistics_sample& start, const statistics_sample& end,
                std::string& report) {
  const double user = seconds_between(start.usage.ru_utime, end.usage.ru_utime);
  const double system = seconds_between(start.usage.ru_stime, end.usage.ru_stime);
  const double elapsed = seconds_between(start.wall, end.wall);
  append(report, "stat cpu: user %.3f s, system %.3f s, elapsed %.3f s\n", user, system, elapsed);
  if ((flags & STAT_CPUS) == 0) return;
  // A run shorter than the clock's step has no meaningful share.
  const double busy = elapsed > 0 ? 100.0 * (user + system) / elapsed : 0.0;
  append(report,
         "stat cpus: %.1f%% of elapsed; %ld minor and %ld major page faults; "
         "%ld voluntary and %ld involuntary context switches\n",
         busy, end.usage.ru_minflt - start.usage.ru_minflt, end.usage.ru_majflt - start.usage.ru_majflt,
         end.usage.ru_nvcsw - start.usage.ru_nvcsw, end.usage.ru_nivcsw - start.usage.ru_nivcsw);
}

void report_memory(std::int32_t flags, const statistics_sample& end, std::string& report) {
  // The kernel keeps the peak resident size in KiB; the heap's own peak is not kept anywhere
  // without wrapping every allocation, so the detail gives the heap in use at the end.
  append(report, "stat mem: peak resident %ld KiB\n", end.usage.ru_maxrss);
  if ((flags & STAT_MEMS) == 0) return;
  const struct mallinfo2 heap = mallinfo2();
  append(report, "stat mems: heap in use at the end %zu KiB (%zu KiB in the arena, %zu KiB mapped)\n",
         (heap.uordblks + heap.hblkhd) / 1024, heap.uordblks / 1024, heap.hblkhd / 1024);
}

}  // namespace

void statistics_start() {
  state.active = true;
  if ((settings().statistics_flags & cpu_bits) != 0) state.start = take_sample();
}

void statistics_finish() {
  if (!state.active) return;
  state.active = false;
  const std::int32_t flags = settings().statistics_flags;
  if ((flags & (cpu_bits | msg_bits | mem_bits)) == 0) return;
  const statistics_sample end = take_sample();
  std::string report;
  if ((flags & cpu_bits) != 0) report_cpu(flags, state.start, end, report);
  if ((flags & msg_bits) != 0) run_unit_report_hook((flags & STAT_MSGS) != 0, report);
  if ((flags & mem_bits) != 0) report_memory(flags, end, report);
  std::fwrite(report.data(), 1, report.size(), stderr);
  std::fflush(stderr);
}

bool statistics_active() { return state.active; }

bool unit_statistics_requested() { return (settings().statistics_flags & msg_bits) != 0; }

}  // namespace runtime
