// Number-to-text conversion: integers and reals laid out as one output field of a given width.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
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

// text right-justified in width with `sign` ('-', '+' or 0) before its first character.
// Too long by one: a leading "0" before the decimal character goes; else width asterisks.
// Width 0 or less gives an empty field. text must not point into the field buffer.
std::string_view justify_field(std::int32_t width, std::string_view text, char sign);

// Iw.m: at least min_digits digits, '+' before a positive value when plus is 1. Zero with
// min_digits 0 is all blanks.
std::string_view format_integer(std::int32_t value, std::int32_t width, std::int32_t min_digits,
                                std::int32_t plus);
std::string_view format_integer64(std::int64_t value, std::int32_t width, std::int32_t min_digits,
                                  std::int32_t plus);

// The numbers of one real edit (Fw.d, Ew.dEe, ...) and the statement's settings for it.
// `plus`, `exponent_given` and `decimal_comma` are 0 or 1.
struct edit_parameters {
  std::int32_t width;
  std::int32_t decimals;
  std::int32_t exponent_digits;  // e; 0 asks for the default exponent (E+nn, or +nnn)
  std::int32_t scale;            // the scale factor k of kP
  std::int32_t plus;             // SP: '+' before a positive value
  std::int32_t exponent_given;   // "Ee" was written: the letter is never dropped
  std::int32_t decimal_comma;
};

// The field of an E, D or G edit. A scale factor outside the range the E and D forms take
// (-d < k < d + 2) is not an error: the field is asterisks, and the caller prints
// "conv_e: illegal scale factor\n" on standard output when `illegal_scale_factor` is set.
struct exponent_edit {
  std::string_view field;
  bool illegal_scale_factor;
};

// Builders: each lays out the current digit string in the build buffer and returns that
// text (without the sign), or sets the overflow flag, which makes the next
// `justify_field` give asterisks, and returns an empty text.
// F form with `decimals` places; the decimal exponent already includes the scale factor.
std::string_view build_fixed(std::int32_t width, std::int32_t decimals);
// E and D forms with scale factor `scale`; an illegal one overflows.
std::string_view build_exponent(std::int32_t decimals, std::int32_t exp_digits, std::int32_t scale,
                                std::int32_t exp_given);
// EN form: one to three digits before the decimal character, exponent a multiple of three.
std::string_view build_engineering(std::int32_t decimals, std::int32_t exp_digits,
                                   std::int32_t exp_given);
// ES form: one non-zero digit before the decimal character.
std::string_view build_scientific(std::int32_t decimals, std::int32_t exp_digits,
                                  std::int32_t exp_given);

// Every field has exactly `p.width` characters (empty for width 0 or less), a field of
// asterisks when the value does not fit, and is valid until the next conversion. `type` is
// the item type code of the real.

// Fw.d with scale factor k; the exponent digits are not used.
std::string_view format_fixed(double value, const edit_parameters& p);
// Ew.dEe, ENw.dEe, ESw.dEe: `code` FORMAT_EN_W or FORMAT_ES_W picks EN or ES, any other the
// E form.
exponent_edit format_exponent(double value, const edit_parameters& p, std::int32_t type,
                              std::int32_t code);
// Dw.d: the E form with exponent letter 'D' and two exponent digits; p's exponent digits
// and exponent_given are not used.
exponent_edit format_d(double value, const edit_parameters& p, std::int32_t type);
// Gw.dEe: F form with d significant digits followed by e + 2 blanks when the value's decimal
// exponent is in 0..d (or the value is zero), else E form.
exponent_edit format_general(double value, const edit_parameters& p, std::int32_t type);

// Free-form output's field of a 32-bit real, G15.7E2 under 1P with the letter written
// (format_general's field for those parameters), made in integer arithmetic from eight
// digits. Nothing where that does not apply (zero among them): format_general then makes it.
std::optional<std::string_view> free_form_real32(double value, std::int32_t plus,
                                                 std::int32_t decimal_comma);

// length bytes of the field buffer, for a text that is not a number (a character item of a
// free-form write). Valid until the next conversion; empty when length is 0 or less or
// memory runs out.
std::span<char> field_buffer(std::int32_t length);

}  // namespace io
