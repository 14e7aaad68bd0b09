// E, D, EN, ES and G editing: a real laid out with an exponent, or by G in the fixed form
// where its exponent is small.
#pragma once
#include <cstdint>
#include <string_view>

namespace io {

// Builders of the exponent forms: each lays out the current digit string (of sig_digits)
// in the build buffer, rounding it in place, and returns that text without the sign; or
// returns an empty text and the build overflows, so that the next `justify_field` gives
// asterisks.
// E and D forms with scale factor `scale`; an illegal one overflows.
std::string_view build_exponent(std::int32_t decimals, std::int32_t exp_digits, std::int32_t scale,
                                std::int32_t exp_given);
// EN form: one to three digits before the decimal character, exponent a multiple of three.
std::string_view build_engineering(std::int32_t decimals, std::int32_t exp_digits,
                                   std::int32_t exp_given);
// ES form: one non-zero digit before the decimal character.
std::string_view build_scientific(std::int32_t decimals, std::int32_t exp_digits,
                                  std::int32_t exp_given);

}  // namespace io
