// What a library above the runtime asks it to do at the two ends of a run.
#pragma once
#include <string>

namespace runtime {

using normal_end_hook = void (*)();
// Runs on the way down from a fatal signal too, so it must not throw.
using abnormal_end_hook = void (*)() noexcept;

// The record I/O library registers its unit close and its unit flush here, so the runtime
// links without it. A later call replaces the earlier hooks; nothing is allocated.
void register_end_hooks(normal_end_hook close_units, abnormal_end_hook flush_units);

// The flush for the abnormal end inside a fatal-signal handler: async-signal-safe calls only.
// The abnormal end runs it instead of the other when it knows it is in a handler.
void register_signal_end_hook(abnormal_end_hook push_units);

// Each does nothing until a hook is registered.
void run_normal_end_hook();
void run_abnormal_end_hook() noexcept;
void run_signal_end_hook() noexcept;

// The library's lines of the statistics report, one per unit it used, appended to `report`
// after the units are closed; `detail` asks for the units never used and a total as well.
using unit_report_hook = void (*)(bool detail, std::string& report);
void register_unit_report_hook(unit_report_hook report_units);
// Appends nothing until a hook is registered.
void run_unit_report_hook(bool detail, std::string& report);

}  // namespace runtime
