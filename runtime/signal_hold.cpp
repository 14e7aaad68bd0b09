// The stretches in which an asynchronous fatal signal waits, and the signal kept meanwhile.
#include "signal_hold.h"

#include <signal.h>

#include <atomic>

namespace runtime {
namespace {

struct hold_state {
  std::atomic<int> depth{0};
  std::atomic<int> kept_signal{0};  // 0: none
};
static_assert(std::atomic<int>::is_always_lock_free);
hold_state state;

bool is_fault(int signal_number) {
  return signal_number == SIGSEGV || signal_number == SIGFPE || signal_number == SIGILL ||
         signal_number == SIGBUS || signal_number == SIGABRT || signal_number == SIGTRAP ||
         signal_number == SIGSYS;
}

}  // namespace

void hold_fatal_signals() noexcept {
  state.depth.fetch_add(1, std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

void release_fatal_signals() noexcept {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  // A signal after the decrement is not held, so it cannot be kept and then forgotten.
  if (state.depth.fetch_sub(1, std::memory_order_relaxed) != 1) return;
  if (const int kept = state.kept_signal.exchange(0, std::memory_order_relaxed); kept != 0) raise(kept);
}

bool fatal_signal_held(int signal_number) noexcept {
  if (state.depth.load(std::memory_order_relaxed) == 0 || is_fault(signal_number)) return false;
  int none = 0;
  return state.kept_signal.compare_exchange_strong(none, signal_number, std::memory_order_relaxed);
}

}  // namespace runtime
