// Digit generation and the `digit_state` it owns: the current digit string, the print
// conversion's text, and the last conversion kept for shorter requests of the same value.
#include "digit_generation.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

#include "characters.h"
#include "decimal_digits.h"
#include "record_io.h"

namespace io {
namespace {

// A double's exact decimal expansion has at most 767 significant digits, so every digit
// past max_sig_digits is a zero and the digit string never needs more room than this.
constexpr std::int32_t max_sig_digits = 800;
constexpr std::size_t digit_capacity = 832;
static_assert(digit_capacity > max_sig_digits + 1);
// The longest conversion kept for shorter requests of the same value.
constexpr std::int32_t kept_precision = 40;

// The last print conversion of a value, kept so that a shorter request for the same value
// rounds these digits instead of converting again (G asks for 8 or 17 digits, then 16).
struct print_conversion {
  std::uint64_t bits = 0;
  std::int32_t precision = 0;  // 0: nothing kept
  std::int32_t exponent = 0;
  std::int32_t negative = 0;
  std::array<char, kept_precision> digits{};
  // 16 kept digits from the exact path, as one integer; 0 when not kept that way. F
  // editing rounds this instead of converting again.
  std::uint64_t exact_sixteen = 0;
};

struct digit_state {
  std::array<char, digit_capacity> digit_text{};  // the digit string, NUL-terminated
  std::int32_t digit_count = 0;
  std::int64_t decimal_exponent = 0;
  std::int32_t negative = 0;
  // The print conversion's text: sign, max_sig_digits digits, point, "e+308".
  std::array<char, max_sig_digits + 16> scratch{};
  print_conversion last_conversion{};
};

// Trivially destructible on purpose: the exit path may still format after static destructors
// have started.
static_assert(std::is_trivially_destructible_v<digit_state>);
constinit digit_state state;

digit_string set_digit_text(std::string_view text, std::int32_t negative) {
  std::copy(text.begin(), text.end(), state.digit_text.begin());
  state.digit_text[text.size()] = '\0';
  state.digit_count = static_cast<std::int32_t>(text.size());
  state.decimal_exponent = 0;
  state.negative = negative;
  return current_digits();
}

// Adds one to the last of count digits, carrying through nines. True when the carry passes
// the first digit, which leaves them all '0'.
bool increment_digits(char* digits, std::int64_t count) {
  std::int64_t i = count;
  while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
  if (i == 0) return true;
  ++digits[i - 1];
  return false;
}

// The largest m whose product with 10^s still fits.
constexpr std::array<uint128, 39> multiplier_limits = [] {
  std::array<uint128, 39> limits{};
  for (std::size_t s = 0; s < limits.size(); ++s) limits[s] = ~uint128{0} / powers_of_ten[s];
  return limits;
}();

// n significant digits as one integer, 10^(n-1) <= digits < 10^n: the value is
// 0.digits times ten to `exponent`.
struct short_digits {
  std::uint64_t digits;
  std::int32_t exponent;
};

// The common case without the general conversion: |value| = m / 2^k with m * 10^s within
// 128 bits, where s = n - (decimal exponent); that holds for floats from about 1e-16 and
// doubles from about 1e-7, up to 10^n. Exactly rounded, ties to even, like the general
// conversion. Nothing when the value is out of that range.
std::optional<short_digits> exact_short_value(double value, std::int32_t n) {
  constexpr std::int32_t max_short_digits = 19;  // the rounded digits fit 64 bits
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const auto biased_exponent = static_cast<std::int32_t>((bits >> 52) & 0x7FF);
  if (n < 1 || n > max_short_digits || biased_exponent == 0 || biased_exponent == 0x7FF) {
    return std::nullopt;
  }
  std::uint64_t m = (bits & 0x000F'FFFF'FFFF'FFFFu) | (std::uint64_t{1} << 52);
  std::int32_t e = biased_exponent - 1075;
  const int zeros = std::countr_zero(m);
  m >>= zeros;
  e += zeros;
  if (e > 0) {
    if (e + std::bit_width(m) > 64) return std::nullopt;
    m <<= e;
    e = 0;
  }
  const std::int32_t k = -e;
  if (k > 127) return std::nullopt;
  const auto width = static_cast<std::int32_t>(std::bit_width(m));
  // From the binary exponent: never too large, at most one too small, which the second
  // pass corrects. (Rounded to exactly 10^n with it one too small, the digits are the same.)
  auto x = static_cast<std::int32_t>(std::floor((width - 1 - k) * 0.30102999566398120)) + 1;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const std::int32_t s = n - x;
    if (s < 0 || s > 38 || m > multiplier_limits[static_cast<std::size_t>(s)]) {
      return std::nullopt;
    }
    const uint128 scaled = m * powers_of_ten[static_cast<std::size_t>(s)];
    uint128 rounded = scaled >> k;
    if (k > 0) {
      const uint128 rest = scaled & ((uint128{1} << k) - 1);
      const uint128 half = uint128{1} << (k - 1);
      if (rest > half || (rest == half && (rounded & 1) != 0)) ++rounded;
    }
    if (rounded < powers_of_ten[static_cast<std::size_t>(n - 1)]) {
      return std::nullopt;  // cannot happen: the estimate is never too large
    }
    if (rounded > powers_of_ten[static_cast<std::size_t>(n)]) {
      ++x;
    } else if (rounded == powers_of_ten[static_cast<std::size_t>(n)]) {
      // Rounded up to the next power of ten.
      return short_digits{static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(n - 1)]),
                          x + 1};
    } else {
      return short_digits{static_cast<std::uint64_t>(rounded), x};
    }
  }
  return std::nullopt;
}

// The same as digit text: exactly n digits into `digits`; gives the decimal exponent.
std::optional<std::int32_t> exact_short_digits(double value, std::int32_t n, char* digits) {
  const std::optional<short_digits> exact = exact_short_value(value, n);
  if (!exact) return std::nullopt;
  put_decimal(exact->digits, digits + n);
  return exact->exponent;
}

// rounded_units for a value a 32-bit real holds, in exact integer arithmetic: t, the value
// times 10^decimals, is the significand times 10^decimals shifted right, in 64 bits for up
// to 11 decimals. Rounding the value to 16 digits first moves t by at most 5e-15 * t (and
// by less than 0.05 while t < 10^15), so only a t that close to the half above its integer
// part could round otherwise; nothing then. An exact half has at most 16 digits and rounds
// up either way.
[[gnu::always_inline]] inline std::optional<std::uint64_t> real32_rounded_units(real32_parts parts, std::int32_t decimals) {
  constexpr std::uint64_t largest_whole = 1'000'000'000'000'000;  // 10^15
  constexpr std::uint64_t nearness = 200'000'000'000'000;          // 1 / 5e-15
  constexpr std::int32_t max_decimals = 11;                        // 2^24 * 10^11 < 2^61
  if (decimals < 0 || decimals > max_decimals) return std::nullopt;
  const std::uint64_t scaled = std::uint64_t{parts.significand} * power_of_ten_64(decimals);
  if (parts.exponent >= 0) {
    if (std::bit_width(scaled) + parts.exponent > 63) return std::nullopt;
    const std::uint64_t whole = scaled << parts.exponent;
    if (whole >= largest_whole) return std::nullopt;
    return whole;
  }
  const std::int32_t shift = -parts.exponent;
  if (shift > 63) return 0;  // t is below 2^-3: far from any half
  const std::uint64_t whole = scaled >> shift;
  if (whole >= largest_whole) return std::nullopt;
  const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  const std::uint64_t distance = rest > half ? rest - half : half - rest;
  if (distance != 0 && distance <= scaled / nearness) return std::nullopt;
  return whole + (rest >= half ? 1 : 0);
}

// rounded_units without any digit string, where that is safe. A value with few
// significant bits (every float) times 10^decimals is exact in a double, t. Rounding the
// value to 16 digits first moves t by at most 0.5 * 10^(x + decimals - 16), x the decimal
// exponent, which is below t * 5e-15; unless a half lies that close to t, the 16 digits
// round the same way as t itself. Nothing otherwise (ties and near-ties included).
std::optional<std::uint64_t> plainly_rounded_units(double value, std::int32_t decimals) {
  constexpr std::int32_t max_decimals = 8;  // 10^8 takes 27 bits of the 53
  constexpr double largest_product = 1e15;  // its integer part is exact, with room
  const double magnitude = std::fabs(value);
  if (decimals > max_decimals || !(magnitude < largest_product)) return std::nullopt;
  if (magnitude == 0.0) return 0;
  const auto bits = std::bit_cast<std::uint64_t>(magnitude);
  if ((bits >> 52) == 0) return std::nullopt;  // subnormal
  const std::uint64_t significand = (bits & 0x000F'FFFF'FFFF'FFFFu) | (std::uint64_t{1} << 52);
  const auto power = static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(decimals)]);
  if (std::bit_width(significand >> std::countr_zero(significand)) + std::bit_width(power) > 53) {
    return std::nullopt;
  }
  const double t = magnitude * static_cast<double>(power);
  if (!(t < largest_product)) return std::nullopt;
  const double whole = std::floor(t);
  const double fraction = t - whole;  // exact
  if (std::fabs(fraction - 0.5) <= t * 1e-14) return std::nullopt;
  return static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
}

// n significant digits of value (finite) into digits, rounded to nearest with ties to
// even: digit for digit the platform's "%30.*E" text, without parsing a format string
// (checked against it in the tests). Gives the decimal exponent and the negative flag.
std::pair<std::int32_t, std::int32_t> print_conversion_digits(double value, std::int32_t n,
                                                              char* digits) {
  if (const std::optional<std::int32_t> exponent = exact_short_digits(value, n, digits)) {
    return {*exponent, std::signbit(value) ? 1 : 0};
  }
  char* const text = state.scratch.data();
  const auto result =
      std::to_chars(text, text + state.scratch.size(), value, std::chars_format::scientific, n - 1);
  assert(result.ec == std::errc{});
  // The text is [-]d[.ddd]e(+|-)dd[d].
  const char* p = text;
  const std::int32_t negative = *p == '-' ? 1 : 0;
  p += negative;
  if (*p == '0') {
    std::fill_n(digits, n, '0');
    return {0, negative};
  }
  digits[0] = *p++;
  if (n > 1) {
    std::memcpy(digits + 1, p + 1, static_cast<std::size_t>(n - 1));
    p += n;
  }
  const std::int32_t exponent_sign = p[1] == '+' ? 1 : -1;
  std::int32_t exponent = 0;
  std::from_chars(p + 2, result.ptr, exponent);
  return {exponent_sign * exponent + 1, negative};
}

// The first n digits of the kept conversion, rounded, as the current digit string. False
// when the dropped digits are exactly 5000...: the kept digits cannot tell a true tie
// (to even) from a value above it.
bool shorten_last_conversion(std::int32_t n) {
  const print_conversion& last = state.last_conversion;
  const char* const dropped = last.digits.data() + n;
  const char* const end = last.digits.data() + last.precision;
  if (dropped != end && *dropped == '5' &&
      std::all_of(dropped + 1, end, [](char c) { return c == '0'; })) {
    return false;
  }
  char* const digits = state.digit_text.data();
  std::copy(last.digits.data(), dropped, digits);
  state.decimal_exponent = last.exponent;
  state.negative = last.negative;
  if (dropped != end && *dropped >= '5' && increment_digits(digits, n)) {
    digits[0] = '1';
    ++state.decimal_exponent;
  }
  return true;
}

}  // namespace

digit_string current_digits() {
  return {{state.digit_text.data(), static_cast<std::size_t>(state.digit_count)},
          clamp_to_int32(state.decimal_exponent), state.negative};
}

bool digits_are_number() { return state.digit_count > 0 && is_digit(state.digit_text[0]); }

std::int32_t digits_for_type(std::int32_t type) {
  if (type == TYPE_REAL4) return real32_digits;
  if (type == TYPE_REAL8) return real64_digits;
  return real_other_digits;
}

digit_string sig_digits(double value, std::int32_t n) {
  if (std::isnan(value)) return set_digit_text("NaN", 0);
  if (std::isinf(value)) return set_digit_text("Inf", std::signbit(value) ? 1 : 0);
  n = std::clamp(n, 1, max_sig_digits);
  state.digit_count = n;
  state.digit_text[static_cast<std::size_t>(n)] = '\0';
  print_conversion& last = state.last_conversion;
  const auto bits = std::bit_cast<std::uint64_t>(value);
  if (last.precision >= n && last.bits == bits && shorten_last_conversion(n)) {
    return current_digits();
  }
  if (n <= kept_precision) {
    // At least 16 digits, so that the 16-digit request of F editing finds them kept.
    const std::int32_t precision = std::max(n, 16);
    last.exact_sixteen = 0;
    if (const std::optional<short_digits> exact =
            precision == 16 ? exact_short_value(value, 16) : std::nullopt) {
      put_decimal(exact->digits, last.digits.data() + 16);
      last.exponent = exact->exponent;
      last.negative = std::signbit(value) ? 1 : 0;
      last.exact_sixteen = exact->digits;
    } else {
      const auto [exponent, negative] = print_conversion_digits(value, precision, last.digits.data());
      last.exponent = exponent;
      last.negative = negative;
    }
    last.bits = bits;
    last.precision = precision;
    if (shorten_last_conversion(n)) return current_digits();
  }
  const auto [exponent, negative] = print_conversion_digits(value, n, state.digit_text.data());
  state.decimal_exponent = exponent;
  state.negative = negative;
  return current_digits();
}

digit_string fixed_digits(double value, std::int32_t nd) {
  const digit_string sixteen = sig_digits(value, 16);
  if (!is_digit(sixteen.digits[0])) return sixteen;
  std::array<char, 16> source{};
  std::copy(sixteen.digits.begin(), sixteen.digits.end(), source.begin());

  char* const out = state.digit_text.data();
  // Past this only zeros would follow, and digits past the end read as zeros anyway.
  const std::int64_t limit = static_cast<std::int64_t>(digit_capacity) - 2;
  std::int64_t count = 0;
  std::int64_t x = sixteen.decimal_exponent;
  std::int64_t take = 0;  // digits of `source` kept; the one after them decides the rounding
  if (x >= 0) {
    take = x + nd;  // a negative nd cuts the integer part short
  } else {
    const std::int64_t zeros = std::clamp<std::int64_t>(nd, 0, -x);
    std::fill_n(out, zeros, '0');
    count = zeros;
    x += zeros;
    // Still short of the first digit: the rounding digit is one of the leading zeros.
    take = x < 0 ? -1 : nd - zeros;
  }
  const std::int64_t kept = std::clamp<std::int64_t>(take, 0, limit - count);
  for (std::int64_t i = 0; i < kept; ++i)
    out[count++] = i < 16 ? source[static_cast<std::size_t>(i)] : '0';
  const char next = take >= 0 && take < 16 ? source[static_cast<std::size_t>(take)] : '0';
  if (next >= '5' && increment_digits(out, count)) {
    // The carry passed every kept digit (or none was kept): a new leading 1.
    std::memmove(out + 1, out, static_cast<std::size_t>(std::min(count, limit - 1)));
    out[0] = '1';
    count = std::min(count + 1, limit);
    x += 1;
  }
  if (x > 0 && count < x) {
    const std::int64_t padded = std::min(x, limit);
    std::fill(out + count, out + padded, '0');
    count = padded;
  }
  if (count == 0) out[count++] = '0';
  out[count] = '\0';
  state.digit_count = static_cast<std::int32_t>(count);
  state.decimal_exponent = x;
  return current_digits();
}

digit_string round_digits(std::int32_t position) {
  if (position <= 0 || position >= state.digit_count || !digits_are_number()) {
    return current_digits();
  }
  char* const digits = state.digit_text.data();
  if (digits[position] >= '5' && increment_digits(digits, position)) {
    digits[0] = '1';
    ++state.decimal_exponent;
  }
  // A layout that takes one digit more after a carry (EN) must read the rounded value.
  std::fill(digits + position, digits + state.digit_count, '0');
  return current_digits();
}

// The value rounded half up to `decimals` places as fixed_digits rounds it, from its 16
// significant digits, in units of 10^-decimals. Nothing when those digits do not come
// from the exact path, or the result could pass 10^18.
std::optional<std::uint64_t> rounded_units(double value, std::int32_t decimals) {
  if (decimals < 0 || decimals > 18) return std::nullopt;
  if (const std::optional<real32_parts> parts = real32_parts_of(value)) {
    if (const std::optional<std::uint64_t> units = real32_rounded_units(*parts, decimals)) return units;
  }
  if (const std::optional<std::uint64_t> units = plainly_rounded_units(value, decimals)) return units;
  const print_conversion& last = state.last_conversion;
  const std::optional<short_digits> sixteen =
      last.bits == std::bit_cast<std::uint64_t>(value) && last.exact_sixteen != 0
          ? short_digits{last.exact_sixteen, last.exponent}
          : exact_short_value(value, 16);
  if (!sixteen) return std::nullopt;
  // How many of the 16 digits are kept; the one after them decides the rounding.
  const std::int64_t kept = std::int64_t{sixteen->exponent} + decimals;
  if (kept < 0) return 0;  // below half a unit: even the rounding digit is a leading zero
  if (kept > 18) return std::nullopt;
  if (kept >= 16) {
    return sixteen->digits * static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(kept - 16)]);
  }
  const auto unit = static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(16 - kept)]);
  return (sixteen->digits + unit / 2) / unit;
}

// Exact integer arithmetic: value * 10^s is the significand times 10^s in 128 bits, shifted;
// a value from 10^8 up is an integer, divided by 10^-s in 64 bits. Nothing below about
// 1e-23 or from about 5.5e18, where those would not fit (the caller converts in general).
std::optional<real32_decimal> real32_eight_digits(real32_parts parts) {
  constexpr std::uint64_t lowest = 10'000'000;
  constexpr std::uint64_t limit = 100'000'000;
  // floor(e2 * log10(2)) + 1, e2 the value's binary exponent: never above the decimal
  // exponent and at most one below it.
  std::int32_t x = (((parts.exponent + 23) * 78913) >> 18) + 1;
  for (int attempt = 0; attempt < 2; ++attempt, ++x) {
    const std::int32_t s = 8 - x;
    std::uint64_t whole = 0;
    int above_half = -1;  // the part cut off against one half: -1 (or nothing cut), 0, 1
    std::int32_t shift = 0;
    if (s >= 0) {
      if (s > 31) return std::nullopt;  // the product could pass 128 bits
      const uint128 scaled = uint128{parts.significand} * powers_of_ten[static_cast<std::size_t>(s)];
      if (parts.exponent >= 0) {
        // An integer below 10^9 (the value is below 10^(x+1)): nothing cut off.
        whole = static_cast<std::uint64_t>(scaled << parts.exponent);
      } else {
        shift = -parts.exponent;
        if (shift > 127) return std::nullopt;
        whole = static_cast<std::uint64_t>(scaled >> shift);
        const uint128 rest = scaled & ((uint128{1} << shift) - 1);
        const uint128 half = uint128{1} << (shift - 1);
        above_half = rest > half ? 1 : rest == half ? 0 : -1;
      }
    } else {
      if (parts.exponent > 39) return std::nullopt;  // the value must fit 63 bits
      const std::uint64_t value = std::uint64_t{parts.significand} << parts.exponent;
      const auto divisor = static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(-s)]);
      whole = value / divisor;
      const std::uint64_t twice_rest = 2 * (value % divisor);
      above_half = twice_rest > divisor ? 1 : twice_rest == divisor ? 0 : -1;
      shift = 1;  // something may have been cut off; F editing never comes here
    }
    if (whole < lowest) return std::nullopt;  // cannot happen: the estimate is never too large
    if (whole >= limit) continue;             // the estimate was one too small
    const std::uint64_t rounded = whole + (above_half > 0 || (above_half == 0 && (whole & 1) != 0) ? 1 : 0);
    if (rounded == limit) {
      // Rounded up to the next power of ten.
      return real32_decimal{static_cast<std::uint32_t>(lowest), x + 1, whole / 10, shift};
    }
    return real32_decimal{static_cast<std::uint32_t>(rounded), x, whole, shift};
  }
  return std::nullopt;
}

}  // namespace io
