// F editing: a real laid out with a fixed number of decimals.
#pragma once
#include <cstdint>
#include <string_view>

namespace io {

// The F text of a digit string (without the sign): `digits` as fixed_digits gives them,
// with the decimal exponent already including the scale factor, so it is wide. The text is
// in the build buffer; it is empty and the build overflowed when it needs more than
// `width` columns.
std::string_view build_fixed(std::string_view digits, std::int64_t decimal_exponent,
                             std::int32_t width, std::int32_t decimals);

// A value rounded to `decimals` places, given in `units` of 10^-decimals, laid out as
// build_fixed and lay_out lay it out in the first `width` columns of field, and blanks up
// to field_width: the sign, the integer digits or a single 0 (dropped when only that makes
// it fit), the decimal character, the decimals. False where either of them overflows; the
// caller then gives asterisks. The text is built right-aligned in a run of blanks, so a
// field of up to 24 columns is one fixed-size copy, which the compiler inlines.
bool lay_out_units(char* field, std::int64_t width, std::int64_t field_width, std::uint64_t units,
                   std::int32_t decimals, char sign);

}  // namespace io
