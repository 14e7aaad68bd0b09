// The least of the diagnostics support that the start-up and the abnormal end call:
// the routine traceback, statistics, stack usage, the per-type tables and the processor mode.
#pragma once
#include <cstdint>

namespace runtime {

// Writes the routine traceback. Nothing pushes routine entries, so it writes nothing.
// The stack traceback is runtime/traceback.h.
void print_routine_traceback();

// Nothing to set up: the programs use no typed array operations.
void initialise_type_tables();
// Unaligned operands are always accepted on this platform, so there is nothing to set.
void set_processor_mode();

// The run statistics (statistics.cpp). The start takes the first sample, only when "-stat"
// asks for CPU figures; without "-stat" nothing is measured or printed.
void statistics_start();
// Ends collection and writes the report the statistics flag word asks for on standard
// error, after the units are closed. Only the first call after a start reports.
void statistics_finish();
bool statistics_active();
// "-stat" asks for the units' figures: the library keeps those of the units it closes.
bool unit_statistics_requested();

// One thread's row of `stack_usage_table`, in address-sized words.
struct stack_usage_entry {
  std::uintptr_t entry_address = 0;
  std::uintptr_t lowest_address = 0;
  std::uintptr_t bound_offset = 0;  // entry address minus a bound below it; 0 when none
};
// Records thread 0 at the given entry address.
void record_initial_stack(std::uintptr_t entry_address);
const stack_usage_entry& initial_stack();
// At-exit handler: one line per thread on standard output.
void stack_usage_report();

}  // namespace runtime
