// The abnormal end: every fatal condition of a program finishes here.
#pragma once
#include <cstdint>

namespace runtime {

// `term_flags` bits, set from "TKA_TERM".
inline constexpr std::int32_t TERM_DEBUG = 0x01;
inline constexpr std::int32_t TERM_TRACE = 0x02;
inline constexpr std::int32_t TERM_SIGNAL = 0x04;
inline constexpr std::int32_t TERM_ABORT = 0x08;
inline constexpr std::int32_t TERM_TEST = 0x10;

// Reads "TKA_TERM" into the flags and installs the fatal-signal handlers when asked.
// An invalid value ends the process with status 127.
void read_term_option();
std::int32_t term_flags();

// kind: 0 exit through the at-exit handlers, 1 run-time error, 2, 3 fatal signal.
// message: NUL-terminated, or null for none.
[[noreturn]] void fatal_stop(std::int32_t kind, const char* message);

// The number printed before every "%d: " message; always 0 here.
std::int32_t processor_number();

}  // namespace runtime
