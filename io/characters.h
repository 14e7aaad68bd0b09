// Character classes shared by the scanners, the conversions and the format compiler.
#pragma once

namespace io {

// ASCII only, and constexpr: the format compiler runs at build time, and the locale must
// never change what a record means.
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace io
