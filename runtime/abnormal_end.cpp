// The abnormal end: "TKA_TERM", the fatal-signal handlers, `fatal_stop` and `runtime_error_stop`.
#include "abnormal_end.h"

#include <signal.h>
#include <sys/ucontext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string_view>

#include "diagnostics.h"
#include "end_hooks.h"
#include "runtime.h"
#include "signal_hold.h"
#include "traceback.h"

namespace runtime {
namespace {

struct term_keyword {
  std::string_view keyword;
  std::int32_t bits;
};
// Searched in this order; the first keyword that starts the text wins.
constexpr term_keyword term_keywords[] = {
    {"debug", TERM_DEBUG | TERM_SIGNAL},
    {"trace", TERM_TRACE | TERM_SIGNAL},
    {"signal", TERM_SIGNAL},
    {"abort", TERM_ABORT},
    {"test", TERM_TEST},
};
static_assert(std::size(term_keywords) == 5);

struct fatal_signal {
  int signal_number;
  const char* message;
};
constexpr fatal_signal fatal_signals[] = {
    {SIGINT, "interrupt"},
    {SIGILL, "illegal instruction"},
    {SIGABRT, "abort"},
    {SIGFPE, "floating point exception"},
    {SIGSEGV, "segmentation violation"},
    {SIGTERM, "software termination"},
};
static_assert(std::size(fatal_signals) == 6);
static_assert(SIGINT == 2 && SIGILL == 4 && SIGFPE == 8 && SIGSEGV == 11 && SIGTERM == 15);

constexpr std::string_view default_debugger_command = "tkdbg -text -attach %d";

struct abnormal_end_state {
  std::int32_t term_flags = 0;
  std::int32_t processor_number = 0;
  // Read with "TKA_TERM": a handler may not call getenv.
  const char* debugger_text = nullptr;
  // Set by the first caller of the abnormal end; every later caller ends at once.
  std::atomic<std::int32_t> once_flag{0};
  // Set by a fatal-signal handler: the end that follows makes async-signal-safe calls only.
  std::atomic<bool> in_signal_handler{false};
  failure_point failure;
};
static_assert(std::atomic<bool>::is_always_lock_free);
abnormal_end_state state;

const char* environment_text(const char* name) { return std::getenv(name); }

bool in_signal_handler() { return state.in_signal_handler.load(std::memory_order_relaxed); }

// stdio outside a handler, so the text keeps its place among what the program wrote there.
void write_error_text(std::string_view text) {
  if (!in_signal_handler()) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    return;
  }
  while (!text.empty()) {
    const ssize_t written = write(STDERR_FILENO, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

[[noreturn]] void exit_at_once() { _exit(127); }

// As the command processor would run it, with async-signal-safe calls only: the program
// waits, and an interrupt meant for an interactive debugger does not end the program.
void run_command(const char* command) {
  struct sigaction ignore {}, old_interrupt {}, old_quit {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, &old_interrupt);
  sigaction(SIGQUIT, &ignore, &old_quit);
  const pid_t child = _Fork();
  if (child == 0) {
    signal(SIGINT, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    std::array<char, 3> shell_name{"sh"};
    std::array<char, 3> option{"-c"};
    std::array<char*, 4> arguments{shell_name.data(), option.data(), const_cast<char*>(command), nullptr};
    execve("/bin/sh", arguments.data(), environ);
    _exit(127);
  }
  // The debugger's own status does not change how the program ends.
  if (child > 0) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  sigaction(SIGINT, &old_interrupt, nullptr);
  sigaction(SIGQUIT, &old_quit, nullptr);
}

void run_debugger_command() {
  const char* configured = state.debugger_text;
  const std::string_view text = configured != nullptr ? configured : default_debugger_command;
  std::array<char, debugger_command_capacity> command{};
  if (!format_debugger_command(text, getpid(), command)) {
    write_error_text("Error: TKA_TERM_DEBUG command too long\n");
    return;
  }
  run_command(command.data());
}

void fatal_signal_handler(int signal_number, siginfo_t* info, void* context) {
  if (fatal_signal_held(signal_number)) return;
  enter_fatal_signal_handler(info, context);
  const auto* known = std::find_if(std::begin(fatal_signals), std::end(fatal_signals),
                                   [&](const fatal_signal& s) { return s.signal_number == signal_number; });
  if (known != std::end(fatal_signals)) fatal_stop(STOP_SIGNAL, known->message);
  // to_chars rather than snprintf: it is safe inside a signal handler.
  std::array<char, 32> message{"signal "};
  const std::size_t prefix = std::string_view{"signal "}.size();
  char* const end = std::to_chars(message.data() + prefix, message.data() + message.size() - 1,
                                  signal_number).ptr;
  *end = '\0';
  fatal_stop(STOP_SIGNAL, message.data());
}

void install_fatal_signal_handlers() {
  struct sigaction action {};
  action.sa_sigaction = fatal_signal_handler;
  sigemptyset(&action.sa_mask);
  // No deferral: a signal raised again inside the end reaches the once-flag and stops there.
  // A signal held for later returns from the handler, and the call it broke goes on.
  action.sa_flags = SA_NODEFER | SA_SIGINFO | SA_RESTART;
  for (const fatal_signal& s : fatal_signals) sigaction(s.signal_number, &action, nullptr);
}

}  // namespace

std::optional<std::int32_t> parse_term_value(std::string_view value) {
  std::int32_t flags = 0;
  while (!value.empty()) {
    const bool negated = value.starts_with("no");
    if (negated) value.remove_prefix(2);
    const auto* match = std::find_if(std::begin(term_keywords), std::end(term_keywords),
                                     [&](const term_keyword& k) { return value.starts_with(k.keyword); });
    if (match == std::end(term_keywords)) return std::nullopt;
    flags = negated ? (flags & ~match->bits) : (flags | match->bits);
    value.remove_prefix(match->keyword.size());
    if (value.empty()) break;
    if (value.front() != ',') return std::nullopt;
    value.remove_prefix(1);
  }
  return flags;
}

void read_term_option() {
  const char* value = environment_text("TKA_TERM");
  const std::optional<std::int32_t> flags = parse_term_value(value != nullptr ? value : "");
  if (!flags) {
    write_error_text("Error: TKA_TERM invalid value\n");
    // Before the main program: nothing registered may print, so no at-exit handlers.
    exit_at_once();
  }
  state.term_flags = *flags;
  state.debugger_text = environment_text("TKA_TERM_DEBUG");
  if ((state.term_flags & (TERM_TRACE | TERM_TEST)) != 0) prepare_stack_traceback();
  if ((state.term_flags & TERM_SIGNAL) != 0) install_fatal_signal_handlers();
}

std::int32_t term_flags() { return state.term_flags; }

std::optional<std::size_t> format_debugger_command(
    std::string_view text, std::int64_t process_id,
    std::span<char, debugger_command_capacity> command) {
  std::array<char, 24> pid_text{};
  const auto pid_end = std::to_chars(pid_text.data(), pid_text.data() + pid_text.size(), process_id).ptr;
  const std::string_view pid{pid_text.data(), static_cast<std::size_t>(pid_end - pid_text.data())};
  // The value is the user's, never a printf format: a stray "%s" must not read memory.
  std::size_t length = 0;
  const auto append = [&](std::string_view piece) {
    if (length + piece.size() >= command.size()) return false;  // keeps room for the terminator
    std::copy(piece.begin(), piece.end(), command.begin() + static_cast<std::ptrdiff_t>(length));
    length += piece.size();
    return true;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool fits = true;
    if (text.substr(i, 2) == "%d") {
      fits = append(pid);
      ++i;
    } else if (text.substr(i, 2) == "%%") {
      fits = append("%");
      ++i;
    } else {
      fits = append(text.substr(i, 1));
    }
    if (!fits) return std::nullopt;
  }
  command[length] = '\0';
  return length;
}

void enter_fatal_signal_handler(const void* signal_info, const void* signal_context) noexcept {
  if (state.in_signal_handler.exchange(true)) return;
  state.failure.signal_info = signal_info;
  state.failure.signal_context = signal_context;
  if (signal_context != nullptr) {
    const auto& registers = static_cast<const ucontext_t*>(signal_context)->uc_mcontext;
    state.failure.program_counter = static_cast<std::uintptr_t>(registers.gregs[REG_RIP]);
  }
}

void note_failure_caller(const void* return_address) noexcept {
  if (state.failure.program_counter == 0) {
    state.failure.program_counter = reinterpret_cast<std::uintptr_t>(return_address);
  }
}

void fatal_stop(std::int32_t kind, const char* message) {
  note_failure_caller(__builtin_return_address(0));
  if (message != nullptr) {
    write_error_text("Error: ");
    write_error_text(message);
    write_error_text("\n");
  }
  // The at-exit handlers may fail in turn; exit must not be entered twice.
  if (state.once_flag.exchange(1) != 0) exit_at_once();
  if (kind == STOP_EXIT) std::exit(127);
  const bool handler = in_signal_handler();
  if (handler) {
    // The signal may have stopped stdio anywhere: each unit's bytes go out by write, as
    // the stream held them at the signal, and nothing flushes them again.
    run_signal_end_hook();
  } else {
    std::fflush(stderr);
    // No at-exit handlers on this path, but every unit is flushed: a written record is never lost.
    run_abnormal_end_hook();
    // Also for a program that wrote to standard output without a unit, or made no unit at all.
    std::fflush(stdout);
  }

  const bool signalled = kind == STOP_FAULT || kind == STOP_SIGNAL;
  if ((state.term_flags & TERM_DEBUG) != 0) {
    run_debugger_command();
  } else if ((state.term_flags & TERM_TRACE) != 0) {
    print_stack_traceback(signalled ? 2 : 1, state.failure, handler);
  }
  if ((state.term_flags & TERM_TEST) != 0) print_stack_traceback(signalled ? 3 : 2, state.failure, handler);

  if ((state.term_flags & TERM_ABORT) != 0) {
    // A handler of ours on SIGABRT would turn the abort back into this end.
    signal(SIGABRT, SIG_DFL);
    std::abort();
  }
  exit_at_once();
}

std::int32_t processor_number() { return state.processor_number; }

void set_processor_number(std::int32_t number) { state.processor_number = number; }

}  // namespace runtime

extern "C" [[gnu::noinline]] void runtime_error_stop(const char* message) {
  runtime::note_failure_caller(__builtin_return_address(0));
  if (message != nullptr) std::fprintf(stderr, "%d: %s\n", runtime::processor_number(), message);
  runtime::print_routine_traceback();
  runtime::fatal_stop(runtime::STOP_RUNTIME_ERROR, nullptr);
}
