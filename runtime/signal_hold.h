// Stretches in which a fatal signal that can wait does: a library above the runtime marks
// where it has handed a stream to the C library, which may be writing that stream's buffer.
#pragma once

namespace runtime {

// A handler that pushed a buffer out while the C library is writing it would write some of
// its bytes twice, so an asynchronous signal (an interrupt, a termination) waits for the end
// of the stretch. A fault (SIGSEGV, SIGFPE, SIGILL, SIGBUS, SIGABRT) cannot wait. Stretches nest.
void hold_fatal_signals() noexcept;
// Ends the stretch; a signal that arrived during it is raised again now.
void release_fatal_signals() noexcept;

// For a handler, first thing: true when the signal is kept for the end of the stretch, and
// the handler then returns. A second signal while one is kept is not held: two interrupts
// end a program whose write is blocked on a pipe nobody reads.
bool fatal_signal_held(int signal_number) noexcept;

// Holds the fatal signals for its lifetime.
class fatal_signals_held {
 public:
  fatal_signals_held() noexcept { hold_fatal_signals(); }
  ~fatal_signals_held() { release_fatal_signals(); }
  fatal_signals_held(const fatal_signals_held&) = delete;
  fatal_signals_held& operator=(const fatal_signals_held&) = delete;
};

}  // namespace runtime
