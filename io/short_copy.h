// Copies of the few bytes a record piece, literal or field usually is.
#pragma once
#include <cstring>
#include <string_view>

namespace io {

// A call of the library's memcpy costs more than copying a few bytes: up to 32 bytes are
// moved with fixed-size copies the compiler inlines, overlapping where the length is not
// a power of two.
[[gnu::always_inline]] inline void copy_short(char* to, std::string_view bytes) {
  const char* from = bytes.data();
  const std::size_t n = bytes.size();
  if (n > 32) {
    std::memcpy(to, from, n);
  } else if (n >= 16) {
    std::memcpy(to, from, 16);
    std::memcpy(to + n - 16, from + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else if (n > 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
}

}  // namespace io
