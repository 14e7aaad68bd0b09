// I editing: 32-bit and 64-bit integers laid out in a field of a given width.
#include "number_to_text.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "decimal_digits.h"
#include "field_buffers.h"

namespace io {

std::string_view format_integer(std::int32_t value, std::int32_t width, std::int32_t min_digits,
                                std::int32_t plus) {
  constexpr std::int32_t max_digits = 10;  // 2^31 has ten
  if (width > short_field_width || min_digits > max_digits) {
    return format_integer64(value, width, min_digits, plus);
  }
  clear_overflow();
  if (width <= 0) return {};
  // The same layout as format_integer64's, without its loop: all ten digits with their
  // leading zeros, then blanks over the zeros that are not shown.
  const std::uint32_t magnitude =
      value < 0 ? std::uint32_t{0} - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  std::array<char, 2 * short_field_width + 16> text;
  std::memset(text.data(), ' ', text.size());
  char* const digits_end = text.data() + short_field_width + 16;
  const std::uint32_t low = magnitude % 100'000'000;
  std::memcpy(digits_end - 10, &digit_pairs[2 * static_cast<std::size_t>(magnitude / 100'000'000)], 2);
  put_four_digits(low / 10000, digits_end - 8);
  put_four_digits(low % 10000, digits_end - 4);
  const std::int32_t n = magnitude == 0 ? 0 : decimal_digit_count(magnitude);
  const std::int32_t shown = std::max({n, min_digits, 0});
  char sign = value < 0 ? '-' : (plus != 0 ? '+' : '\0');
  if (shown + (sign != '\0' ? 1 : 0) > width) return asterisks(width);
  if (min_digits <= 0 && value == 0) sign = '\0';
  static constexpr std::array<char, 16> blanks = [] {
    std::array<char, 16> b{};
    b.fill(' ');
    return b;
  }();
  std::memcpy(digits_end - shown - 16, blanks.data(), 16);
  if (sign != '\0') digits_end[-shown - 1] = sign;
  char* const field = field_of(width);
  if (field == nullptr) return {};
  std::memcpy(field, digits_end - width, short_field_width);
  return {field, static_cast<std::size_t>(width)};
}

std::string_view format_integer64(std::int64_t value, std::int32_t width, std::int32_t min_digits,
                                  std::int32_t plus) {
  clear_overflow();
  if (width <= 0) return {};
  // Unsigned negation: the most negative value has no positive counterpart.
  const std::uint64_t magnitude =
      value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  // The digits are put right-aligned in a run of blanks; a field of up to 24 columns (every
  // free-form integer) is then one fixed-size copy, which the compiler inlines.
  std::array<char, 2 * short_field_width> text;
  std::memset(text.data(), ' ', text.size());
  char* const digits_end = text.data() + short_field_width;
  char* first = put_decimal(magnitude, digits_end);
  const std::int64_t n = digits_end - first;
  const std::int64_t m = std::max(min_digits, 0);
  char sign = value < 0 ? '-' : (plus != 0 ? '+' : '\0');
  if (std::max(n, m) + (sign != '\0' ? 1 : 0) > width) return asterisks(width);
  if (m == 0 && value == 0) sign = '\0';
  char* const field = field_of(width);
  if (field == nullptr) return {};
  // Laid out as justify_field would lay out the digits padded to m: the text fits, so no
  // leading character is ever dropped.
  if (width <= short_field_width) {
    while (digits_end - first < m) *--first = '0';
    if (sign != '\0') *--first = sign;
    std::memcpy(field, digits_end - width, short_field_width);
    return {field, static_cast<std::size_t>(width)};
  }
  const std::int64_t sign_length = sign != '\0' ? 1 : 0;
  char* out = std::fill_n(field, width - std::max(n, m) - sign_length, ' ');
  if (sign != '\0') *out++ = sign;
  out = std::fill_n(out, std::max<std::int64_t>(m - n, 0), '0');
  std::copy(first, digits_end, out);
  return {field, static_cast<std::size_t>(width)};
}

}  // namespace io
