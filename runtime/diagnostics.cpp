// The diagnostics support the runtime calls: stack usage (tracebacks: traceback.cpp;
// statistics: statistics.cpp).
#include "diagnostics.h"

#include <cstdio>

namespace runtime {
namespace {

struct diagnostics_state {
  stack_usage_entry initial_stack;
};
diagnostics_state state;

}  // namespace

void print_routine_traceback() {}

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
