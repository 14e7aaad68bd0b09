// Decimal digits of unsigned integers and the powers of ten the conversions scale by:
// the digit helpers every number-to-text layout shares.
#pragma once
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace io {

__extension__ using uint128 = unsigned __int128;

inline constexpr std::array<uint128, 39> powers_of_ten = [] {
  std::array<uint128, 39> powers{};
  uint128 power = 1;
  for (uint128& p : powers) {
    p = power;
    power *= 10;
  }
  return powers;
}();
static_assert(powers_of_ten[38] / 10 == powers_of_ten[37]);

// 10^n for n from 0 to 19, the same table in 8-byte entries: the hot paths index it.
inline constexpr std::array<std::uint64_t, 20> powers_of_ten_64 = [] {
  std::array<std::uint64_t, 20> powers{};
  for (std::size_t n = 0; n < powers.size(); ++n) powers[n] = static_cast<std::uint64_t>(powers_of_ten[n]);
  return powers;
}();

inline std::uint64_t power_of_ten_64(std::int32_t n) { return powers_of_ten_64[static_cast<std::size_t>(n)]; }

// "00" to "99": two digits per division halves the chain of dependent divisions.
inline constexpr std::array<char, 200> digit_pairs = [] {
  std::array<char, 200> pairs{};
  for (std::size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();
static_assert(digit_pairs[2 * 47] == '4' && digit_pairs[2 * 47 + 1] == '7');

// Exactly four digits of value (below 10^4) at out.
inline void put_four_digits(std::uint32_t value, char* out) {
  std::memcpy(out, &digit_pairs[2 * (value / 100)], 2);
  std::memcpy(out + 2, &digit_pairs[2 * (value % 100)], 2);
}

// The decimal digits of magnitude, ending just before `end`; returns where they begin.
// Zero has no digits. Eight digits at a time, as two halves that do not wait for each
// other, and 32-bit divisions below 10^8: the chain of dependent divisions stays short.
inline char* put_decimal(std::uint64_t magnitude, char* end) {
  while (magnitude >= 100000000) {
    const auto low = static_cast<std::uint32_t>(magnitude % 100000000);
    magnitude /= 100000000;
    end -= 8;
    put_four_digits(low / 10000, end);
    put_four_digits(low % 10000, end + 4);
  }
  auto rest = static_cast<std::uint32_t>(magnitude);
  for (; rest >= 100; rest /= 100) {
    end -= 2;
    std::memcpy(end, &digit_pairs[2 * (rest % 100)], 2);
  }
  if (rest >= 10) {
    end -= 2;
    std::memcpy(end, &digit_pairs[2 * rest], 2);
  } else if (rest > 0) {
    *--end = static_cast<char>('0' + rest);
  }
  return end;
}

// How many decimal digits value has; 1 for 0.
inline std::int32_t decimal_digit_count(std::uint64_t value) {
  // From the bit width: at most one too few.
  const auto estimate = static_cast<std::int32_t>((std::bit_width(value | 1) * 1233) >> 12);
  return estimate + (value >= power_of_ten_64(estimate) ? 1 : 0);
}

inline std::int32_t clamp_to_int32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace io
