// Number-to-text conversion: integers and reals laid out as one output field of a given width.
// The family's outward interface; its files are digit_generation (the digits of a real),
// field_buffers (where fields are laid out), fixed_layout (F), exponent_layouts (E, D, EN,
// ES, G) and integer_layout (I).
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace io {

// Iw.m: at least min_digits digits, '+' before a positive value when plus is 1. Zero with
// min_digits 0 is all blanks. Exactly `width` characters (empty for width 0 or less),
// asterisks when the value does not fit; valid until the next conversion.
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
