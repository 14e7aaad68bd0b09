// The diagnostics support the runtime calls: tracebacks and stack usage (statistics: statistics.cpp).
#include "diagnostics.h"

#include <execinfo.h>
#include <unistd.h>

#include <array>
#include <cstdio>

namespace runtime {
namespace {

constexpr int max_traceback_frames = 64;

struct diagnostics_state {
  stack_usage_entry initial_stack;
};
diagnostics_state state;

}  // namespace

void print_routine_traceback() {}

void print_stack_traceback(std::int32_t) {
  std::array<void*, max_traceback_frames> frames{};
  const int count = backtrace(frames.data(), max_traceback_frames);
  // Writes straight to the descriptor: no allocation, so it works from a signal handler.
  backtrace_symbols_fd(frames.data(), count, STDERR_FILENO);
}

void prepare_stack_traceback() {
  std::array<void*, 1> frames{};
  backtrace(frames.data(), 1);
}

void initialise_type_tables() {}

void set_processor_mode() {}

void record_initial_stack(std::uintptr_t entry_address) {
  state.initial_stack = {entry_address, entry_address, 0};
}

const stack_usage_entry& initial_stack() { return state.initial_stack; }

void stack_usage_report() {
  // Only thread 0 exists. Addresses are 64 bits here, so the figures are too.
  const stack_usage_entry& entry = state.initial_stack;
  const std::uintptr_t max_kb = (entry.entry_address - entry.bound_offset + 1023) / 1024;
  const std::uintptr_t used_kb = (entry.entry_address - entry.lowest_address + 1023) / 1024;
  std::printf(" thread %d stack: max %5ldKB, used %5ldKB\n", 0, static_cast<long>(max_kb),
              static_cast<long>(used_kb));
}

}  // namespace runtime
