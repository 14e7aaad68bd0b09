// E, D, EN, ES and G editing: the exponent builders, the one-pass E form of free-form reals,
// and format_exponent, format_d, format_general and free_form_real32.
#include "exponent_layouts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <span>

#include "decimal_digits.h"
#include "digit_generation.h"
#include "field_buffers.h"
#include "fixed_layout.h"
#include "number_to_text.h"
#include "record_io.h"

namespace io {
namespace {

// Room an exponent part may take: letter, sign, e + 1 digits, or 20 digits at most.
std::int64_t exponent_bound(std::int64_t exp_digits) {
  return std::max<std::int64_t>(exp_digits, 20) + 4;
}

// Letter, sign and digits of the exponent.
void append_exponent(std::int64_t exponent, std::int64_t exp_digits, std::int32_t exp_given) {
  std::array<char, 24> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(),
                                    exponent < 0 ? -exponent : exponent);
  const std::int64_t q = exponent == 0 ? 0 : result.ptr - digits.data();
  std::int64_t e = exp_digits;
  if (e > 0) {
    if (exp_given != 0 || q != e + 1) {
      put_char(exponent_letter());
    } else {
      e += 1;  // the letter's place holds the extra digit
    }
  } else {
    // No exponent width: the default form, E+nn, or +nnn without the letter.
    if (q <= 2) put_char(exponent_letter());
    e = std::max<std::int64_t>(q, 2);
  }
  put_char(exponent < 0 ? '-' : '+');
  if (q > e) {
    overflow_build();
    return;
  }
  put_zeros(e - q);
  for (std::int64_t i = 0; i < q; ++i) put_char(digits[static_cast<std::size_t>(i)]);
}

// A value whose every shown digit is zero is zero: exponent 0 (and no minus sign, which the
// caller leaves out when built_digits_all_zero()).
std::string_view finish_exponent_form(std::int64_t exponent, std::int64_t exp_digits,
                                      std::int32_t exp_given) {
  if (built_digits_all_zero()) exponent = 0;
  append_exponent(exponent, exp_digits, exp_given);
  return built_text();
}

bool scale_factor_legal(std::int64_t decimals, std::int64_t scale) {
  return scale == 0 || (scale > 0 && scale < decimals + 2) || (scale < 0 && scale > -decimals);
}

// What every E, EN, ES and G field needs beyond its exponent; none of them fits when
// d >= w or e >= w, and refusing those early keeps every buffer bounded by the width.
bool exponent_form_too_wide(std::int32_t width, std::int32_t decimals, std::int32_t exp_digits) {
  return decimals >= width || exp_digits >= width;
}

// The free-form field of a 32-bit real, G15.7E2 under 1P, laid out from real32_eight_digits
// with what format_general would give: the E form "d.dddddddE+xx", or seven significant
// digits in 11 columns and 4 blanks. Nothing where the shortcut does not apply; zero, too.
std::optional<std::string_view> free_form_real32_field(double value, std::int32_t plus) {
  constexpr std::int32_t width = 15;
  constexpr std::int32_t fixed_width = 11;
  const std::optional<real32_parts> parts = real32_parts_of(value);
  if (!parts) return std::nullopt;
  const std::optional<real32_decimal> eight = real32_eight_digits(*parts);
  if (!eight) return std::nullopt;
  const char sign = sign_character(std::signbit(value) ? 1 : 0, plus);
  std::int32_t x = eight->exponent;
  char* const field = field_of(width);
  std::memset(field, ' ', width + 1);  // fixed size: the stores inline; the text overwrites
  if (x < 0 || x > 7) {
    const std::int32_t exponent = x - 1;
    const std::int32_t magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude > 99) return std::nullopt;
    // The eight digits go to columns 3 to 10, then the first moves before the point.
    put_four_digits(eight->digits / 10000, field + 3);
    put_four_digits(eight->digits % 10000, field + 7);
    field[2] = field[3];
    field[3] = decimal_character();
    if (sign != '\0') field[1] = sign;
    field[11] = exponent_letter();
    field[12] = exponent < 0 ? '-' : '+';
    std::memcpy(field + 13, &digit_pairs[2 * static_cast<std::size_t>(magnitude)], 2);
    return std::string_view{field, static_cast<std::size_t>(width)};
  }
  // F editing rounds half up from 16 significant digits. The cut-off part is a multiple of
  // 2^-shift of a unit of `truncated`; that 16-digit rounding could only move a value by up
  // to 5e-9 of such a unit across the half, which from shift 27 down no fraction comes near:
  // rounding `truncated` half up is the same.
  if (eight->shift > 27) return std::nullopt;
  std::uint64_t units = (eight->truncated + 5) / 10;
  if (units >= 10'000'000) {
    // Rounded up into one more integer digit: one decimal fewer.
    units = (eight->truncated + 50) / 100;
    ++x;
  }
  if (x > 7 || units < 1'000'000 || units >= 10'000'000) return std::nullopt;
  // "0" and the seven digits; then the same with the point after the integer digits.
  std::array<char, 16> digits{};
  put_four_digits(static_cast<std::uint32_t>(units / 10000), digits.data());
  put_four_digits(static_cast<std::uint32_t>(units % 10000), digits.data() + 4);
  std::array<char, 24> text{};
  std::memcpy(text.data(), digits.data(), 8);
  std::memcpy(text.data() + x + 2, digits.data() + x + 1, 8);
  text[static_cast<std::size_t>(x) + 1] = decimal_character();
  // Nine characters end in column fixed_width - 1; the leading "0" only stays when x is 0.
  std::memcpy(field + fixed_width - 9, text.data(), 9);
  if (x != 0) field[fixed_width - 9] = ' ';
  if (sign != '\0') field[x == 0 ? fixed_width - 10 : fixed_width - 9] = sign;
  return std::string_view{field, static_cast<std::size_t>(width)};
}

// The E form with scale factor 1 and an exponent width given (every free-form real that
// is not in the fixed form), when the digit string already holds exactly the d + 1 digits
// the field shows: what build_exponent lays out, in one pass. Empty where build_exponent
// overflows (the exponent has more digits than its width); nothing where this shortcut
// does not apply.
std::optional<std::string_view> scaled_exponent_text(const digit_string& digits,
                                                     std::int32_t decimals, std::int32_t exp_digits,
                                                     std::span<char, 64> buffer) {
  constexpr std::int32_t max_exponent_digits = 9;
  if (decimals < 0 || exp_digits < 1 || exp_digits > max_exponent_digits ||
      decimals + 4 + max_exponent_digits > static_cast<std::int32_t>(buffer.size()) ||
      digits.digits.size() != static_cast<std::size_t>(decimals) + 1 || !digits_are_number() ||
      digits.digits[0] == '0') {
    return std::nullopt;
  }
  const std::int64_t exponent = std::int64_t{digits.decimal_exponent} - 1;
  std::array<char, 20> exponent_digits;
  const char* const exponent_end = exponent_digits.data() + exponent_digits.size();
  const char* const exponent_first =
      put_decimal(static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent),
                  exponent_digits.data() + exponent_digits.size());
  const std::int64_t q = exponent_end - exponent_first;
  if (q > exp_digits) return std::string_view{};
  char* out = buffer.data();
  *out++ = digits.digits[0];
  *out++ = decimal_character();
  out = std::copy_n(digits.digits.data() + 1, decimals, out);
  *out++ = exponent_letter();
  *out++ = exponent < 0 ? '-' : '+';
  out = std::fill_n(out, exp_digits - q, '0');
  out = std::copy(exponent_first, exponent_end, out);
  return std::string_view{buffer.data(), static_cast<std::size_t>(out - buffer.data())};
}

// The E, EN or ES field of `digits`, the current digit string.
std::string_view exponent_text(const digit_string& digits, const edit_parameters& p,
                               std::int32_t code) {
  const std::int32_t width = p.width, decimals = p.decimals, exp_digits = p.exponent_digits;
  if (exponent_form_too_wide(width, decimals, exp_digits)) return asterisks(width);
  if (code != FORMAT_EN_W && code != FORMAT_ES_W && p.scale == 1 && p.exponent_given != 0) {
    std::array<char, 64> buffer;
    if (const std::optional<std::string_view> text =
            scaled_exponent_text(digits, decimals, exp_digits, buffer)) {
      if (text->empty()) return asterisks(width);
      return justify_field(width, *text, sign_character(digits.negative, p.plus));
    }
  }
  std::string_view text;
  if (code == FORMAT_EN_W) {
    text = build_engineering(decimals, exp_digits, p.exponent_given);
  } else if (code == FORMAT_ES_W) {
    text = build_scientific(decimals, exp_digits, p.exponent_given);
  } else {
    text = build_exponent(decimals, exp_digits, p.scale, p.exponent_given);
  }
  const std::int32_t negative = digits.negative != 0 && !built_digits_all_zero() ? 1 : 0;
  return justify_field(width, text, sign_character(negative, p.plus));
}

// E (and D) fields tell whether their scale factor was illegal, which makes them asterisks
// whatever the path.
exponent_edit exponent_field(const digit_string& digits, const edit_parameters& p,
                             std::int32_t code) {
  const bool e_form = code != FORMAT_EN_W && code != FORMAT_ES_W;
  const bool illegal = e_form && !scale_factor_legal(std::max(p.decimals, 0), p.scale);
  return {exponent_text(digits, p, code), illegal};
}

// G's fixed form of a value whose decimal exponent x (from its significant digits) lies
// in 0..d, or of zero.
std::string_view general_fixed_form(double value, const edit_parameters& p, std::int32_t x) {
  const std::int32_t width = p.width, plus = p.plus;
  const std::int32_t d = std::max(p.decimals, 0);
  const std::int32_t e = std::max(p.exponent_digits, 0);
  const std::int32_t first_exponent = x;
  const bool zero = value == 0.0;
  // The fixed form is followed by as many blanks as the exponent part would have taken.
  const std::int64_t fixed_width = std::int64_t{width} - (std::int64_t{e} + 2);
  if (exponent_form_too_wide(width, d, e) || fixed_width <= 0) return asterisks(width);
  if (!zero) {
    if (std::optional<std::uint64_t> units = rounded_units(value, d - x)) {
      // Rounded up into one more integer digit: one decimal fewer, as below.
      if (*units >= static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(d)])) {
        ++x;
        units = rounded_units(value, d - x);
      }
      if (units) {
        const std::int32_t negative = std::signbit(value) && *units != 0 ? 1 : 0;
        char* const field = field_of(width);
        if (field == nullptr) return {};
        const char sign = sign_character(negative, plus);
        if (!lay_out_units(field, fixed_width, width, *units, d - x, sign)) {
          return asterisks(width);
        }
        return {field, static_cast<std::size_t>(width)};
      }
      x = first_exponent;
    }
  }
  if (zero) x = 1;
  digit_string rounded = fixed_digits(value, d - x);
  if (!zero && rounded.decimal_exponent != x) {
    x = rounded.decimal_exponent;
    rounded = fixed_digits(value, d - x);
  }
  const std::string_view text = build_fixed(rounded.digits, rounded.decimal_exponent,
                                            static_cast<std::int32_t>(fixed_width), d - x);
  if (build_overflowed()) return asterisks(width);
  char* field = field_of(width);
  if (field == nullptr) return {};
  // A value that rounds to zero is never printed with a minus sign.
  const std::int32_t negative = rounded.negative != 0 && !built_digits_all_zero() ? 1 : 0;
  // A fixed part that does not fit makes the whole field asterisks, like every other form.
  if (!lay_out(field, fixed_width, text, sign_character(negative, plus))) return asterisks(width);
  std::fill(field + fixed_width, field + width, ' ');
  return {field, static_cast<std::size_t>(width)};
}

}  // namespace

std::string_view build_exponent(std::int32_t decimals, std::int32_t exp_digits, std::int32_t scale,
                                std::int32_t exp_given) {
  const std::int64_t d = std::max(decimals, 0);
  const std::int64_t k = scale;
  const digit_string digits = current_digits();
  if (!scale_factor_legal(d, k)) {
    overflow_build();
    return {};
  }
  if (k == 0 && d == 0 && digits_are_number() && digits.digits[0] != '0') {
    // 0.E+nn shows no digit of a non-zero value: it cannot be written in this form.
    overflow_build();
    return {};
  }
  const std::int64_t e = std::max(exp_digits, 0);
  if (!start_build(2 * d + 4 + exponent_bound(e), digits.digits)) return {};
  // Rounding keeps the string's length and place: the build reads the rounded digits.
  digit_string rounded;
  if (k == 0) {
    rounded = round_digits(clamp_to_int32(d));
    put_char('0');
    put_char(decimal_character());
    copy_digits(d);
  } else if (k > 0) {
    rounded = round_digits(clamp_to_int32(d + 1));
    copy_digits(k);
    put_char(decimal_character());
    copy_digits(d - k + 1);
  } else {
    rounded = round_digits(clamp_to_int32(d + k));
    put_char('0');
    put_char(decimal_character());
    put_zeros(-k);
    copy_digits(d + k);
  }
  const std::int64_t exponent = std::int64_t{rounded.decimal_exponent} - k;
  return finish_exponent_form(exponent, e, exp_given);
}

std::string_view build_engineering(std::int32_t decimals, std::int32_t exp_digits,
                                   std::int32_t exp_given) {
  const std::int64_t d = std::max(decimals, 0);
  const std::int64_t e = std::max(exp_digits, 0);
  const digit_string digits = current_digits();
  if (!start_build(d + 6 + exponent_bound(e), digits.digits)) return {};
  std::int64_t exponent = 0;
  if (!digits_are_number() || digits.digits[0] == '0') {
    put_char('0');
    put_char(decimal_character());
    put_zeros(d);
  } else {
    // The largest multiple of three not above x - 1 leaves one to three leading digits.
    const auto choose = [&exponent](std::int64_t x) {
      exponent = x - 1 >= 0 ? (x - 1) / 3 * 3 : -((-(x - 1) + 2) / 3 * 3);
      return x - exponent;
    };
    const std::int64_t x = digits.decimal_exponent;
    std::int64_t leading = choose(x);
    const digit_string rounded = round_digits(clamp_to_int32(leading + d));
    // Rounding up to the next power of ten may move it into the next group of three.
    if (rounded.decimal_exponent != x) leading = choose(rounded.decimal_exponent);
    copy_digits(leading);
    put_char(decimal_character());
    copy_digits(d);
  }
  return finish_exponent_form(exponent, e, exp_given);
}

std::string_view build_scientific(std::int32_t decimals, std::int32_t exp_digits,
                                  std::int32_t exp_given) {
  const std::int64_t d = std::max(decimals, 0);
  const std::int64_t e = std::max(exp_digits, 0);
  if (!start_build(d + 4 + exponent_bound(e), current_digits().digits)) return {};
  const digit_string rounded = round_digits(clamp_to_int32(d + 1));
  copy_digits(1);
  put_char(decimal_character());
  copy_digits(d);
  const std::int64_t exponent = std::int64_t{rounded.decimal_exponent} - 1;
  return finish_exponent_form(exponent, e, exp_given);
}

exponent_edit format_exponent(double value, const edit_parameters& p, std::int32_t type,
                              std::int32_t code) {
  begin_conversion(p.decimal_comma);
  if (p.width <= 0) return {};
  const digit_string digits = sig_digits(value, digits_for_type(type));
  if (!digits_are_number()) {
    return {justify_special(p.width, digits.digits, digits.negative, p.plus), false};
  }
  return exponent_field(digits, p, code);
}

exponent_edit format_d(double value, const edit_parameters& p, std::int32_t type) {
  edit_parameters d_form = p;
  d_form.exponent_digits = 2;
  d_form.exponent_given = 0;
  set_exponent_letter('D');
  const exponent_edit edit = format_exponent(value, d_form, type, FORMAT_D_W);
  set_exponent_letter('E');
  return edit;
}

std::optional<std::string_view> free_form_real32(double value, std::int32_t plus,
                                                 std::int32_t decimal_comma) {
  begin_conversion(decimal_comma);
  return free_form_real32_field(value, plus);
}

exponent_edit format_general(double value, const edit_parameters& p, std::int32_t type) {
  begin_conversion(p.decimal_comma);
  if (p.width <= 0) return {};
  const digit_string first = sig_digits(value, digits_for_type(type));
  if (!digits_are_number()) {
    return {justify_special(p.width, first.digits, first.negative, p.plus), false};
  }
  const std::int32_t x = first.decimal_exponent;
  if (value != 0.0 && (x < 0 || x > std::max(p.decimals, 0))) {
    return exponent_field(first, p, FORMAT_E_W);
  }
  return {general_fixed_form(value, p, x), false};
}

}  // namespace io
