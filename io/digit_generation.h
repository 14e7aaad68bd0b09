// Digit generation: the significant digits of a real, or its digits to a number of places,
// as the current digit string the real layouts read; and exact integer shortcuts to them.
#pragma once
#include <bit>
#include <cstdint>
#include <optional>
#include <string_view>

namespace io {

// Significant digits asked of `sig_digits` per real item type.
inline constexpr std::int32_t real32_digits = 8;
inline constexpr std::int32_t real64_digits = 17;
inline constexpr std::int32_t real_other_digits = 35;

// 8 for type 27, 17 for type 28, 35 for any other real type.
std::int32_t digits_for_type(std::int32_t type);

// The current digit string of the conversion state: the value is 0.d1d2d3... times ten to
// `decimal_exponent`. `digits` is ASCII digits, or "Inf" / "NaN"; it stays valid until the
// next conversion. Digits past its end count as '0'.
struct digit_string {
  std::string_view digits;
  std::int32_t decimal_exponent;
  std::int32_t negative;
};

// n significant digits of value (n below 1 is taken as 1), rounded to nearest as the
// platform's "%.*E" rounds. Zero gives n '0's with exponent 0; a negative zero keeps its sign.
digit_string sig_digits(double value, std::int32_t n);

// value rounded half up to nd digits after the decimal point (nd may be negative), from its
// 16-digit print conversion. "Inf" / "NaN" come back unchanged.
digit_string fixed_digits(double value, std::int32_t nd);

// Rounds the current digit string half up to its first `position` digits; the string keeps
// its length, the later digits become '0'. Nothing happens unless 0 < position < length.
digit_string round_digits(std::int32_t position);

// The current digit string as the last of the three above left it.
digit_string current_digits();
// It holds digits, not "Inf" or "NaN".
bool digits_are_number();

// The value rounded half up to `decimals` places as fixed_digits rounds it, from its 16
// significant digits, in units of 10^-decimals, without making the digit string. Nothing
// when those digits do not come from the exact path, or the result could pass 10^18.
std::optional<std::uint64_t> rounded_units(double value, std::int32_t decimals);

// A value that a 32-bit real holds exactly, as significand * 2^exponent with the
// significand in [2^23, 2^24).
struct real32_parts {
  std::uint32_t significand;
  std::int32_t exponent;
};

// Nothing for zero, infinities, NaNs and doubles with more than 24 significant bits.
[[gnu::always_inline]] inline std::optional<real32_parts> real32_parts_of(double value) {
  constexpr std::uint64_t fraction_mask = 0x000F'FFFF'FFFF'FFFFu;
  constexpr std::uint64_t dropped_bits = (std::uint64_t{1} << 29) - 1;  // 52 - 23 of them
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const auto biased_exponent = static_cast<std::int32_t>((bits >> 52) & 0x7FF);
  if (biased_exponent == 0 || biased_exponent == 0x7FF || (bits & dropped_bits) != 0) {
    return std::nullopt;
  }
  return real32_parts{static_cast<std::uint32_t>(((bits & fraction_mask) | (std::uint64_t{1} << 52)) >> 29),
                      biased_exponent - 1075 + 29};
}

// Eight significant digits of such a value, correctly rounded with ties to even as
// sig_digits rounds them: the value is 0.digits times ten to `exponent`. `truncated` is the
// value times 10^(8 - exponent) cut to an integer, the one number F editing rounds from;
// `shift` is the power of two that cut divided by (0 when nothing was cut off).
struct real32_decimal {
  std::uint32_t digits;
  std::int32_t exponent;
  std::uint64_t truncated;
  std::int32_t shift;
};

// Exact integer arithmetic: value * 10^s is the significand times 10^s in 128 bits, shifted;
// a value from 10^8 up is an integer, divided by 10^-s in 64 bits. Nothing below about
// 1e-23 or from about 5.5e18, where those would not fit (the caller converts in general).
std::optional<real32_decimal> real32_eight_digits(real32_parts parts);

}  // namespace io
