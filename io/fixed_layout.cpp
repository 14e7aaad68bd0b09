// F editing: the builder of the fixed form, the integer-arithmetic layout of a rounded value,
// and format_fixed.
#include "fixed_layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "decimal_digits.h"
#include "digit_generation.h"
#include "field_buffers.h"
#include "number_to_text.h"

namespace io {

bool lay_out_units(char* field, std::int64_t width, std::int64_t field_width, std::uint64_t units,
                   std::int32_t decimals, char sign) {
  // Up to 20 integer digits, the point, 18 decimals and the sign end at text_end; a copy of
  // short_field_width bytes that ends past it still reads blanks.
  std::array<char, 2 * short_field_width + 24> buffer;
  std::memset(buffer.data(), ' ', buffer.size());
  char* const end = buffer.data() + short_field_width + 24;
  char* first = nullptr;
  if (units < 100'000'000 && decimals <= 7) {
    // Eight digits with their leading zeros, then blanks. The integer digits go before the
    // point and the decimals after it by two fixed-size copies, which the compiler inlines;
    // a value below one keeps the zero before the point.
    std::array<char, 24> digits;
    std::memset(digits.data() + 8, ' ', 16);
    put_four_digits(static_cast<std::uint32_t>(units / 10000), digits.data());
    put_four_digits(static_cast<std::uint32_t>(units % 10000), digits.data() + 4);
    const std::int32_t shown = std::max(decimal_digit_count(units), decimals + 1);
    const std::int32_t integer_digits = units >= power_of_ten_64(decimals) ? shown - decimals : 0;
    if (integer_digits > width - decimals - 1) return false;
    std::memcpy(end - shown - 1, digits.data() + 8 - shown, 16);
    std::memcpy(end - decimals, digits.data() + 8 - decimals, 16);
    end[-decimals - 1] = decimal_character();
    first = end - shown - 1;
  } else {
    const auto scale = static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(decimals)]);
    const std::uint64_t integer_part = units / scale;
    first = put_decimal(units % scale, end);
    while (end - first < decimals) *--first = '0';
    *--first = decimal_character();
    char* const point = first;
    first = integer_part != 0 ? put_decimal(integer_part, first) : first;
    if (point - first > width - decimals - 1) return false;
    if (first == point) *--first = '0';
  }
  const std::int64_t sign_length = sign != '\0' ? 1 : 0;
  if (sign_length + (end - first) > width) {
    if (first[0] != '0' || sign_length + (end - first) - 1 > width) return false;
    ++first;
  }
  if (sign != '\0') *--first = sign;
  if (field_width <= short_field_width) {
    std::memcpy(field, end - width, short_field_width);
  } else {
    char* const out = std::fill_n(field, width - (end - first), ' ');
    std::fill_n(std::copy(first, end, out), field_width - width, ' ');
  }
  return true;
}

std::string_view build_fixed(std::string_view digits, std::int64_t decimal_exponent,
                             std::int32_t width, std::int32_t decimals) {
  const std::int64_t d = std::max(decimals, 0);
  std::int64_t x = decimal_exponent;
  std::size_t first = 0;
  if (x > 0) {
    while (first < digits.size() && digits[first] == '0') {
      ++first;
      --x;
    }
    if (first == digits.size()) x = 0;
  }
  // The sign is not counted here: `justify_field` checks it and may drop the leading "0".
  if (x > width - d - 1) {
    overflow_build();
    return {};
  }
  if (!start_build(std::max<std::int64_t>(x, 1) + d + 1, digits.substr(first))) return {};
  if (x > 0) {
    copy_digits(x);
    put_char(decimal_character());
    copy_digits(d);
  } else {
    put_char('0');
    put_char(decimal_character());
    const std::int64_t zeros = std::min(-x, d);
    put_zeros(zeros);
    copy_digits(d - zeros);
  }
  return built_text();
}

std::string_view format_fixed(double value, const edit_parameters& p) {
  const std::int32_t width = p.width, decimals = p.decimals, scale = p.scale, plus = p.plus;
  begin_conversion(p.decimal_comma);
  if (width <= 0) return {};
  if (!std::isfinite(value)) {
    const digit_string special = sig_digits(value, 1);
    return justify_special(width, special.digits, special.negative, plus);
  }
  const std::int32_t d = std::max(decimals, 0);
  // d places and the decimal character alone are wider than the field.
  if (d >= width) return asterisks(width);
  if (scale == 0) {
    if (const std::optional<std::uint64_t> units = rounded_units(value, d)) {
      // A value that rounds to zero is never printed with a minus sign.
      const std::int32_t negative = std::signbit(value) && *units != 0 ? 1 : 0;
      char* const field = field_of(width);
      if (field == nullptr) return {};
      if (!lay_out_units(field, width, width, *units, d, sign_character(negative, plus))) {
        return asterisks(width);
      }
      return {field, static_cast<std::size_t>(width)};
    }
  }
  // Beyond these bounds every non-zero value overflows the field or rounds to zero, as it
  // does at the bound itself; they keep the exponent arithmetic small.
  const std::int64_t k =
      std::clamp<std::int64_t>(scale, -(std::int64_t{width} + 700), std::int64_t{width} + 700);
  const digit_string digits = fixed_digits(value, clamp_to_int32(d + k));
  const std::string_view text = build_fixed(digits.digits, digits.decimal_exponent + k, width, d);
  // A value that rounds to zero is never printed with a minus sign.
  const std::int32_t negative = digits.negative != 0 && !built_digits_all_zero() ? 1 : 0;
  return justify_field(width, text, sign_character(negative, plus));
}

}  // namespace io
