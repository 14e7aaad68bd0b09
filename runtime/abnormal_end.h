// The abnormal end: every fatal condition of a program finishes here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace runtime {

// `term_flags` bits, set from "TKA_TERM".
inline constexpr std::int32_t TERM_DEBUG = 0x01;
inline constexpr std::int32_t TERM_TRACE = 0x02;
inline constexpr std::int32_t TERM_SIGNAL = 0x04;
inline constexpr std::int32_t TERM_ABORT = 0x08;
inline constexpr std::int32_t TERM_TEST = 0x10;

// The fatal_stop kinds its callers use.
inline constexpr std::int32_t STOP_EXIT = 0;           // exits through the at-exit handlers
inline constexpr std::int32_t STOP_RUNTIME_ERROR = 1;
inline constexpr std::int32_t STOP_FAULT = 2;          // no caller here; traced like a signal
inline constexpr std::int32_t STOP_SIGNAL = 3;

// Reads "TKA_TERM" into the flags and installs the fatal-signal handlers when asked.
// An invalid value ends the process with status 127.
void read_term_option();
std::int32_t term_flags();

// The flags a "TKA_TERM" value asks for, or nothing when the value is invalid.
std::optional<std::int32_t> parse_term_value(std::string_view value);

// The debugger command: every "%d" of the text becomes the process id and "%%" a
// single "%"; nothing else is interpreted. Returns the command's length, or nothing
// when it does not fit the buffer with its terminator.
inline constexpr std::size_t debugger_command_capacity = 136;
std::optional<std::size_t> format_debugger_command(
    std::string_view text, std::int64_t process_id,
    std::span<char, debugger_command_capacity> command);

// kind: 0 exit through the at-exit handlers, 1 run-time error, 2, 3 fatal signal.
// message: NUL-terminated, or null for none. Not inlined: its return address tells the
// traceback where the program called it.
[[noreturn, gnu::noinline]] void fatal_stop(std::int32_t kind, const char* message);

// A fatal-signal handler's first call once it goes on to the end (after
// `fatal_signal_held`): the end that follows keeps to async-signal-safe calls, and the
// traceback starts at the interrupted instruction. Takes the handler's siginfo_t and
// ucontext_t.
void enter_fatal_signal_handler(const void* signal_info, const void* signal_context) noexcept;

// Where the program called into the abnormal end, for the traceback; the first one counts.
void note_failure_caller(const void* return_address) noexcept;

// The number printed before every "%d: " message; always 0 here.
std::int32_t processor_number();
void set_processor_number(std::int32_t number);

}  // namespace runtime
