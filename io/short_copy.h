// Copies and compares of the few bytes a record piece, literal, field, path or format text
// usually is.
#pragma once
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Equal 16-byte blocks: one vector compare where SSE2 is there.
[[gnu::always_inline]] inline bool same_block(const char* x, const char* y) {
#if defined(__SSE2__)
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
  return _mm_movemask_epi8(_mm_cmpeq_epi8(a, b)) == 0xFFFF;
#else
  return std::memcmp(x, y, 16) == 0;
#endif
}

template <typename Word>
Word word_at(const char* p) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Equal texts, for the short ones compared on every statement (a source path, a format
// text): whole blocks and words the compiler keeps inline, the last one overlapping, cost
// less than a call to the library's compare.
[[gnu::always_inline]] inline bool same_short_text(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  const char* x = a.data();
  const char* y = b.data();
  if (n >= 16) {
    for (std::size_t i = 0; i + 16 < n; i += 16) {
      if (!same_block(x + i, y + i)) return false;
    }
    return same_block(x + n - 16, y + n - 16);
  }
  if (n >= 8) {
    return word_at<std::uint64_t>(x) == word_at<std::uint64_t>(y) &&
           word_at<std::uint64_t>(x + n - 8) == word_at<std::uint64_t>(y + n - 8);
  }
  if (n >= 4) {
    return word_at<std::uint32_t>(x) == word_at<std::uint32_t>(y) &&
           word_at<std::uint32_t>(x + n - 4) == word_at<std::uint32_t>(y + n - 4);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}

}  // namespace io
