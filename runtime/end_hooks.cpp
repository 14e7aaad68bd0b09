// The end-of-run hooks registered by the libraries above the runtime.
#include "end_hooks.h"

#include <atomic>

namespace runtime {
namespace {

struct end_hooks {
  // Atomic because a fatal-signal handler may read them; lock-free for a pointer.
  std::atomic<normal_end_hook> close_units{nullptr};
  std::atomic<abnormal_end_hook> flush_units{nullptr};
  std::atomic<abnormal_end_hook> push_units{nullptr};
  // Only the normal end reads it.
  unit_report_hook report_units = nullptr;
};
static_assert(std::atomic<abnormal_end_hook>::is_always_lock_free);
end_hooks hooks;

}  // namespace

void register_end_hooks(normal_end_hook close_units, abnormal_end_hook flush_units) {
  hooks.close_units.store(close_units, std::memory_order_relaxed);
  hooks.flush_units.store(flush_units, std::memory_order_relaxed);
}

void register_signal_end_hook(abnormal_end_hook push_units) {
  hooks.push_units.store(push_units, std::memory_order_relaxed);
}

void run_normal_end_hook() {
  if (const normal_end_hook close_units = hooks.close_units.load(std::memory_order_relaxed)) close_units();
}

void run_abnormal_end_hook() noexcept {
  if (const abnormal_end_hook flush_units = hooks.flush_units.load(std::memory_order_relaxed)) flush_units();
}

void register_unit_report_hook(unit_report_hook report_units) { hooks.report_units = report_units; }

void run_unit_report_hook(bool detail, std::string& report) {
  if (hooks.report_units != nullptr) hooks.report_units(detail, report);
}

void run_signal_end_hook() noexcept {
  if (const abnormal_end_hook push_units = hooks.push_units.load(std::memory_order_relaxed)) push_units();
}

}  // namespace runtime
