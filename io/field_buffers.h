// The buffers a conversion lays its text out in: the field it hands back, the build buffer
// a builder assembles a number in, and the settings of the conversion under way.
#pragma once
#include <cstdint>
#include <string_view>

namespace io {

// Integer fields this wide are copied whole, whatever their width: the field buffer never
// has less room.
inline constexpr std::int64_t short_field_width = 24;

// Starts a conversion: the decimal character ('.' or, for decimal_comma 1, ','), no
// overflow.
void begin_conversion(std::int32_t decimal_comma);
char decimal_character();
// 'E', or 'D' while a D field is made.
char exponent_letter();
void set_exponent_letter(char letter);

// The field buffer with room for width characters and one more (width > 0), or null when
// memory runs out; never null up to width 95, which the initial buffer holds.
char* field_of(std::int64_t width);
// width asterisks (empty for width 0 or less); clears the overflow.
std::string_view asterisks(std::int32_t width);
// Writes exactly width characters (width > 0) at field; false when the text does not fit,
// in which case they are asterisks.
bool lay_out(char* field, std::int64_t width, std::string_view text, char sign);

// text right-justified in width with `sign` ('-', '+' or 0) before its first character.
// Too long by one: a leading "0" before the decimal character goes; else width asterisks,
// as after a build that overflowed. Width 0 or less gives an empty field. text must not
// point into the field buffer.
std::string_view justify_field(std::int32_t width, std::string_view text, char sign);

constexpr char sign_character(std::int32_t negative, std::int32_t plus) {
  if (negative != 0) return '-';
  return plus != 0 ? '+' : '\0';
}

// The field of "Inf" or "NaN" (`text`), never rounded or padded; a NaN has no sign, not
// even under SP.
std::string_view justify_special(std::int32_t width, std::string_view text, std::int32_t negative,
                                 std::int32_t plus);

// The build buffer. A builder starts it with room for `bound` characters and the digits it
// copies from; on failure the build overflows. Copied digits past the end of `digits` are
// '0'. Requires bound to cover everything put: the builders bound their texts by the width.
bool start_build(std::int64_t bound, std::string_view digits);
void put_char(char c);
void put_zeros(std::int64_t count);
// The next count digits.
void copy_digits(std::int64_t count);
// Every digit copied since the start was '0': the value shows as zero.
bool built_digits_all_zero();
// The text does not fit: the next justify_field gives asterisks.
void overflow_build();
// A field made without the build buffer leaves no overflow behind.
void clear_overflow();
bool build_overflowed();
// The text built, or empty after an overflow.
std::string_view built_text();

}  // namespace io
