// Tests of number-to-text conversion: digit strings, field layouts, asterisks, buffers.
#include "number_to_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "digit_generation.h"
#include "exponent_layouts.h"
#include "field_buffers.h"
#include "fixed_layout.h"
#include "record_io.h"

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr double f32(std::uint32_t word) { return std::bit_cast<float>(word); }
constexpr double f64(std::uint64_t word) { return std::bit_cast<double>(word); }
constexpr std::int32_t r4 = TYPE_REAL4, r8 = TYPE_REAL8;

// The digits, exponent and sign that the platform's "%30.*E" text stands for.
io::digit_string printf_digits(double value, std::int32_t n, std::string& digits) {
  char text[1024];
  std::snprintf(text, sizeof text, "%30.*E", n - 1, value);
  const char* p = text;
  while (*p == ' ') ++p;
  const std::int32_t negative = *p == '-' ? 1 : 0;
  if (*p == '-' || *p == '+') ++p;
  digits.clear();
  for (; *p != 'E'; ++p) {
    if (*p != '.') digits += *p;
  }
  const std::int32_t exponent = static_cast<std::int32_t>(std::strtol(p + 1, nullptr, 10));
  if (digits[0] == '0') return {digits, 0, negative};
  return {digits, exponent + 1, negative};
}

// A value converted once is asked for again at other lengths (G asks for 8 or 17 digits,
// then 16), so every value is checked at two lengths, the second often shorter.
TEST(sig_digits, matches_the_print_conversion) {
  std::mt19937_64 random(20240611);
  std::string expected;
  const double chosen[] = {0.125, 0.5, 2.5, 0.375, 1e23, 1e22, 1e-5, 100.0, 9.5, 5e-324,
                           -0.0, 0.0, 9.9999999999999995, std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::min(), f32(0x7F7FFFFFu), f32(1u)};
  for (int i = 0; i < 100000; ++i) {
    double value = 0;
    switch (i % 7) {
      case 0: value = f64(random()); break;                                 // any double
      case 1: value = f32(static_cast<std::uint32_t>(random())); break;    // any float
      case 2: value = f64(random() & 0x000F'FFFF'FFFF'FFFFu); break;       // subnormal
      case 3: value = static_cast<double>(random() % 100000) / 1000; break;  // short decimals
      case 4: value = std::ldexp(static_cast<double>(random() % 4096),
                                 -static_cast<int>(random() % 12));
              break;                                                         // exact ties
      case 5: value = std::ldexp(static_cast<double>(random() >> (random() % 64)),
                                 static_cast<int>(random() % 200) - 150);
              break;                                                         // near 1e-16..1e19
      default: value = chosen[random() % std::size(chosen)]; break;       // extremes
    }
    if (!std::isfinite(value)) continue;
    for (int pass = 0; pass < 2; ++pass) {
      const std::int32_t n = 1 + static_cast<std::int32_t>(random() % 40);
      const io::digit_string want = printf_digits(value, n, expected);
      const io::digit_string got = io::sig_digits(value, n);
      ASSERT_EQ(got.digits, want.digits) << value << " n=" << n;
      ASSERT_EQ(got.decimal_exponent, want.decimal_exponent) << value << " n=" << n;
      ASSERT_EQ(got.negative, want.negative) << value << " n=" << n;
    }
  }
}

struct digits_case {
  double value; std::int32_t n; std::string_view digits; std::int32_t exponent, negative;
};
void expect_digits(const io::digit_string& got, const digits_case& c) {
  EXPECT_EQ(got.digits, c.digits);
  EXPECT_EQ(got.decimal_exponent, c.exponent);
  EXPECT_EQ(got.negative, c.negative);
}

constexpr digits_case sig_cases[] = {
  {-nan_value, 8, "NaN", 0, 0},                  // a NaN has no sign
  {-inf, 17, "Inf", 0, 1},
  {-0.0, 3, "000", 0, 1},                        // zero: n zeros, exponent 0, sign kept
  {0.125, 2, "12", 0, 0},                        // exact tie goes to even
  {7.0, 0, "7", 1, 0},                           // fewer than one digit is taken as one
};
TEST(sig_digits, gives_digits_exponent_and_sign) {
  for (const auto& c : sig_cases) {
    SCOPED_TRACE(c.value);
    expect_digits(io::sig_digits(c.value, c.n), c);
  }
}

constexpr digits_case fixed_cases[] = {
  {f32(0x4145851F), 2, "1235", 2, 0},    // 12.345 stored above: rounds up
  {f32(0x411FEB85), 2, "999", 1, 0},     // 9.995 stored below: rounds down
  {f32(0x42C7FF7D), 2, "10000", 3, 0},   // 99.999: the carry adds a digit
  {0.125, 2, "13", 0, 0},                // exact tie: half up, not to even
  {0.12499999999999999, 2, "13", 0, 0},  // rounded twice: 16 digits, then half up
  {0.0012, 5, "00120", 0, 0},            // leading zeros after the point
  {0.0567, 1, "1", 0, 0},                // rounds up into the place after the point
  {0.0067, 1, "0", -1, 0},               // the digit past the place is a leading zero
  {0.7, 0, "1", 1, 0},                   // no digit kept, carry gives a new 1
  {62.3, -2, "100", 3, 0},               // negative nd rounds the integer part, pads it back
  {12.3, -5, "00", 2, 0},                // rounds to nothing
  {123456789012345678.0, 0, "123456789012345700", 18, 0},  // 16 digits, then zeros
};
TEST(fixed_digits, rounds_half_up_at_the_place) {
  for (const auto& c : fixed_cases) {
    SCOPED_TRACE(c.value);
    expect_digits(io::fixed_digits(c.value, c.n), c);
  }
}

struct integer_case {
  std::int64_t value; std::int32_t width, min_digits, plus; std::string_view field;
};
constexpr integer_case integer_cases[] = {
  {12, 12, 1, 0, "          12"},  // free-form 32-bit integer
  {0, 12, 1, 0, "           0"},           // zero with m = 1 shows one digit
  {INT32_MIN, 12, 1, 0, " -2147483648"},   // no positive counterpart
  {0, 3, 0, 1, "   "},                     // zero with m = 0: all blanks, sign too
  {5, 3, 0, 1, " +5"},  // SP
  {-5, 1, 0, 0, "*"},                      // the sign needs a column
  {7, 5, 3, 0, "  007"},                   // m pads with zeros
  {-7, 5, 3, 0, " -007"},                  // sign goes before the zeros
  {-7, 4, 4, 0, "****"},  // zeros and sign one too wide
  {123, 2, 1, 0, "**"},  // digits too wide
  {1, 3, -2, 0, "  1"},                    // negative m is taken as 0
  {1, 0, 1, 0, ""},                        // width 0
};
TEST(format_integer, lays_out_fields) {
  for (const auto& c : integer_cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(io::format_integer(static_cast<std::int32_t>(c.value), c.width, c.min_digits, c.plus),
              c.field);
  }
  EXPECT_EQ(io::format_integer64(INT64_MIN, 24, 1, 0), "    -9223372036854775808");
  EXPECT_EQ(io::format_integer64(INT64_MAX, 20, 1, 1), "+9223372036854775807");
  EXPECT_EQ(io::format_integer64(-1, 40, 30, 0), "         -000000000000000000000000000001");
  EXPECT_EQ(io::format_integer64(42, 400, 390, 0),
            std::string(10, ' ') + std::string(388, '0') + "42");  // grows the field buffer
}

struct fixed_case { double value; std::int32_t width, decimals; std::string_view field; };
constexpr fixed_case house_cases[] = {
  {6.0,    5, 2, " 6.00"},
  {14.0,   5, 2, "14.00"},
  {100.0,  5, 2, "*****"},   // does not fit: asterisks, no error
  {-0.001, 5, 2, " 0.00"},   // rounds to zero: no minus sign
  {-0.5,   4, 2, "-.50"},    // one too wide: the leading 0 goes
  {std::bit_cast<float>(0x3F000002u), 5, 2, " 0.50"},  // 0.500000119
};
TEST(format_fixed, lays_out_fields) {
  for (const auto& c : house_cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(io::format_fixed(c.value, {c.width, c.decimals, 0, 0, 0, 0, 0}), c.field);
  }
}

struct fixed_full_case {
  double value; std::int32_t width, decimals, scale, plus, comma; std::string_view field;
};
constexpr fixed_full_case fixed_full_cases[] = {
  {1.0, 5, 2, 0, 0, 0, " 1.00"},  // the program's F5.2
  {f32(0x4145851F), 5, 2, 0, 0, 0, "12.35"},  // 12.345f, stored above
  {f32(0x411FEB85), 5, 2, 0, 0, 0, " 9.99"},  // 9.995f, stored below
  {f32(0x42C7FF7D), 5, 2, 0, 0, 0, "*****"},  // 99.999f rounds to 100.00
  {f32(0x42F6E666), 5, 2, 0, 0, 0, "*****"},  // 123.45f
  {-1.5, 5, 2, 0, 0, 0, "-1.50"},  // sign fills the field
  {f32(0xBA83126F), 5, 2, 0, 0, 0, " 0.00"},  // -0.001f
  {-10.5, 5, 2, 0, 0, 0, "*****"},            // the sign makes it 6 wide
  {-0.5, 3, 2, 0, 0, 0, "***"},               // even without the 0 too wide
  {1.5, 5, 2, 0, 1, 0, "+1.50"},              // SP
  {1.5, 5, 2, 0, 0, 1, " 1,50"},              // decimal comma
  {-0.5, 4, 2, 0, 0, 1, "-,50"},              // the 0 before a comma goes too
  {1.5, 8, 2, 2, 0, 0, "  150.00"},           // 2P multiplies by 100
  {1.5, 8, 2, -2, 0, 0, "    0.02"},          // -2P: 0.015 rounds half up
  {0.0012, 8, 2, 3, 0, 0, "    1.20"},        // scale lifts leading zeros into the integer part
  {1.5, 8, 2, 130, 0, 0, "********"},         // scale beyond any format's range
  {-1.5, 8, 2, -130, 0, 0, "    0.00"},  // and below it: zero, no sign
  {9.5, 3, 0, 0, 0, 0, "10."},                // d = 0 keeps the point
  {0.0, 4, 0, 0, 0, 0, "  0."},  // zero with no places
  {0.0, 3, 3, 0, 0, 0, "***"},                // d >= w never fits
  {1e300, 10, 2, 0, 0, 0, "**********"},  // 301 integer digits
  {-5e-324, 6, 3, 0, 0, 0, " 0.000"},         // subnormal rounds to zero, no sign
  {123456789012345678.0, 20, 0, 0, 0, 0, " 123456789012345700."},
  {1.5, 5, -1, 0, 0, 0, "   2."},             // negative d is taken as 0
  {inf, 5, 2, 0, 0, 0, "  Inf"},  // infinities are right-justified
  {-inf, 5, 2, 0, 0, 0, " -Inf"},  // with their sign
  {inf, 5, 2, 0, 1, 0, " +Inf"},  // and SP
  {nan_value, 5, 2, 0, 1, 0, "  NaN"},        // no sign on NaN, even under SP
  {-inf, 3, 2, 0, 0, 0, "***"},  // "-Inf" needs 4 columns
  {1.0, 0, 2, 0, 0, 0, ""},  // width 0: empty
};
// The F field through the digit string and the builder, the way it is made when no
// shortcut applies.
std::string fixed_through_digits(double value, std::int32_t width, std::int32_t decimals) {
  const io::digit_string digits = io::fixed_digits(value, decimals);
  const bool negative = digits.negative != 0;
  const std::string text(io::build_fixed(digits.digits, digits.decimal_exponent, width, decimals));
  const bool shown = text.find_first_of("123456789") != std::string::npos;
  return std::string(io::justify_field(width, text, negative && shown ? '-' : '\0'));
}

// The shortcuts (plain floating point, one rounded integer) must round exactly as the
// 16-digit string does; where they could differ is next to the halves, so every float
// and double within a few steps of them is checked.
TEST(format_fixed, shortcuts_round_as_the_digit_string) {
  for (const std::int32_t decimals : {0, 1, 2, 3, 6, 9, 11}) {
    for (std::int32_t j = -3000; j <= 3000; ++j) {
      const double half = (j + 0.5) / std::pow(10.0, decimals);
      float f = std::nextafter(std::nextafter(static_cast<float>(half), -1e30f), -1e30f);
      double d = std::nextafter(std::nextafter(half, -1e300), -1e300);
      for (int step = 0; step < 5; ++step) {
        SCOPED_TRACE(testing::Message() << decimals << " " << j << " " << step);
        const io::edit_parameters p{12, decimals, 0, 0, 0, 0, 0};
        ASSERT_EQ(io::format_fixed(f, p), fixed_through_digits(f, 12, decimals));
        ASSERT_EQ(io::format_fixed(d, p), fixed_through_digits(d, 12, decimals));
        f = std::nextafter(f, 1e30f);
        d = std::nextafter(d, 1e300);
      }
    }
  }
}

TEST(format_fixed, honours_scale_sign_and_decimal_mode) {
  for (const auto& c : fixed_full_cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(io::format_fixed(c.value, {c.width, c.decimals, 0, c.scale, c.plus, 0, c.comma}), c.field);
  }
}

struct exponent_case {
  double value; std::int32_t width, decimals, exp_digits, scale, type, plus, exp_given, code;
  std::string_view field;
};
constexpr std::int32_t E = FORMAT_E_W, EN = FORMAT_EN_W, ES = FORMAT_ES_W;
constexpr exponent_case exponent_cases[] = {
  {1234.5, 12, 4, 2, 0, r8, 0, 0, E, "  0.1235E+04"},  // tie rounds half up
  {1234.5, 9, 4, 2, 0, r8, 0, 0, E, ".1235E+04"},       // one too wide: the 0 goes
  {-1234.5, 10, 4, 2, 0, r8, 0, 0, E, "-.1235E+04"},  // the same with a sign
  {1234.5, 12, 4, 2, 1, r8, 0, 0, E, "  1.2345E+03"},   // 1P: one more significant digit
  {1234.5, 12, 4, 2, 5, r8, 0, 0, E, "  12345.E-01"},   // largest legal k is d + 1
  {1234.5, 12, 4, 2, -1, r8, 0, 0, E, "  0.0123E+05"},  // -1P: one digit fewer
  {1234.5, 12, 4, 2, -3, r8, 0, 0, E, "  0.0001E+07"},  // smallest legal k is 1 - d
  {1e100, 12, 4, 2, 0, r8, 0, 0, E, "  0.1000+101"},    // 3 digits take the letter's place
  {1e100, 12, 4, 2, 0, r8, 0, 1, E, "************"},    // Ee given: 3 digits do not fit E2
  {1e100, 12, 4, 3, 0, r8, 0, 1, E, " 0.1000E+101"},  // E3 holds them
  {4.0, 12, 4, 3, 0, r8, 0, 0, E, " 0.4000E+001"},  // e = 3 pads the exponent
  {5.0, 8, 2, 1, 0, r8, 0, 1, E, " 0.50E+1"},  // E1
  {1e9, 8, 2, 1, 0, r8, 0, 0, E, " 0.10+10"},  // E1 not given: 2 digits, no letter
  {1.5, 10, 3, 0, 0, r8, 0, 1, E, " 0.150E+01"},        // E0: the default exponent form
  {1e100, 10, 3, 0, 0, r8, 0, 1, E, " 0.100+101"},  // E0 with 3 digits: no letter
  {0.0, 10, 3, 2, 0, r8, 0, 0, E, " 0.000E+00"},  // zero has exponent 0
  {-0.0, 10, 3, 2, 1, r8, 0, 0, E, " 0.000E+00"},       // zero has no minus sign
  {5.0, 8, 0, 2, 0, r8, 0, 0, E, "********"},           // E8.0 shows no digit of 5
  {0.0, 8, 0, 2, 0, r8, 0, 0, E, "  0.E+00"},           // but zero is still zero
  {5.0, 8, 0, 2, 1, r8, 0, 0, E, "  5.E+00"},  // with 1P it can
  {9.9996, 10, 3, 2, 0, r8, 0, 0, E, " 0.100E+02"},     // rounding carries into the exponent
  {f32(0x3DCCCCCD), 20, 12, 2, 0, r4, 0, 0, E, "  0.100000000000E+00"},  // 0.1f: 8 digits
  {f32(0x3DCCCCCD), 20, 12, 2, 0, r8, 0, 0, E, "  0.100000001490E+00"},  // the same, 17 digits
  {1.5, 10, 3, 2, 0, r8, 1, 0, E, "+0.150E+01"},  // SP
  {5e-324, 12, 4, 2, 0, r8, 0, 0, E, "  0.4941-323"},  // smallest subnormal
  {std::numeric_limits<double>::max(), 12, 4, 2, 0, r8, 0, 0, E, "  0.1798+309"},  // largest
  {inf, 10, 3, 2, 0, r8, 0, 0, E, "       Inf"},  // never rounded or padded
  {nan_value, 3, 3, 2, 0, r8, 0, 0, E, "NaN"},  // even where d >= w
  {1.5, 5, 5, 2, 0, r8, 0, 0, E, "*****"},              // d >= w
  {1.5, 5, 1, 5, 0, r8, 0, 1, E, "*****"},              // e >= w
  {1234.5, 12, 3, 2, 0, r8, 0, 0, EN, "   1.235E+03"},  // one digit before the point
  {12345.0, 12, 3, 2, 0, r8, 0, 0, EN, "  12.345E+03"},  // two
  {0.5, 12, 3, 2, 0, r8, 0, 0, EN, " 500.000E-03"},  // three, negative exponent
  {1e-5, 12, 3, 2, 0, r8, 0, 0, EN, "  10.000E-06"},  // exponent rounds down to -6
  {999.96, 12, 1, 2, 0, r8, 0, 0, EN, "     1.0E+03"},    // carry moves to the next group
  {9.96, 10, 1, 2, 0, r8, 0, 0, EN, "  10.0E+00"},        // carry within the group
  {-0.0, 10, 3, 2, 0, r8, 0, 0, EN, " 0.000E+00"},  // zero: one 0, no sign
  {-1234.5, 12, 3, 2, 9, r8, 0, 0, EN, "  -1.235E+03"},   // EN ignores the scale factor
  {1234.5, 12, 3, 2, 0, r8, 0, 0, ES, "   1.235E+03"},  // one non-zero digit
  {9.9996, 10, 3, 2, 0, r8, 0, 0, ES, " 1.000E+01"},  // carry raises the exponent
  {5.0, 6, 0, 2, 0, r8, 0, 0, ES, "5.E+00"},  // ES.0 still shows a digit
  {f32(1u), 12, 3, 2, 0, r4, 0, 0, ES, "   1.401E-45"},     // smallest float subnormal
};
TEST(format_exponent, lays_out_e_en_and_es_fields) {
  for (const auto& c : exponent_cases) {
    SCOPED_TRACE(c.value);
    const io::edit_parameters p{c.width, c.decimals, c.exp_digits, c.scale, c.plus, c.exp_given, 0};
    EXPECT_EQ(io::format_exponent(c.value, p, c.type, c.code).field, c.field);
  }
  EXPECT_EQ(io::format_exponent(1.5, {10, 3, 2, 0, 0, 0, 1}, r8, E).field, " 0,150E+01");
}

TEST(format_d, writes_the_letter_d_only_for_itself) {
  EXPECT_EQ(io::format_d(1234.5, {12, 4, 0, 0, 0, 0, 0}, r8).field, "  0.1235D+04");
  EXPECT_EQ(io::format_d(1234.5, {12, 4, 0, 1, 0, 0, 0}, r8).field, "  1.2345D+03");
  EXPECT_EQ(io::format_d(1234.5, {12, 4, 0, 0, 0, 0, 1}, r8).field, "  0,1235D+04");
  EXPECT_EQ(io::format_d(1e100, {12, 4, 0, 0, 0, 0, 0}, r8).field, "  0.1000+101");
  EXPECT_EQ(io::format_d(5.0, {8, 0, 0, 0, 0, 0, 0}, r8).field, "********");
  // The exponent width and letter of D are its own, whatever the parameters say.
  EXPECT_EQ(io::format_d(1e100, {12, 4, 3, 0, 0, 1, 0}, r8).field, "  0.1000+101");
  EXPECT_EQ(io::format_exponent(1234.5, {12, 4, 2, 0, 0, 0, 0}, r8, E).field, "  0.1235E+04");
}

struct general_case {
  double value; std::int32_t width, decimals, exp_digits, scale, type, plus, exp_given, comma;
  std::string_view field;
};
constexpr general_case general_cases[] = {
  // Free-form 32-bit reals: G15.7E2, 1P, letter always written.
  {0.5, 15, 7, 2, 1, r4, 0, 1, 0, "  0.5000000    "},
  {12.5, 15, 7, 2, 1, r4, 0, 1, 0, "   12.50000    "},
  {1234567.0, 15, 7, 2, 1, r4, 0, 1, 0, "   1234567.    "},
  {12345678.0, 15, 7, 2, 1, r4, 0, 1, 0, "  1.2345678E+07"},
  {f32(0x3A83126F), 15, 7, 2, 1, r4, 0, 1, 0, "  1.0000000E-03"},  // 1.0e-3f
  {1e10, 15, 7, 2, 1, r4, 0, 1, 0, "  1.0000000E+10"},
  {0.0, 15, 7, 2, 1, r4, 0, 1, 0, "   0.000000    "},
  {-0.0, 15, 7, 2, 1, r4, 0, 1, 0, "   0.000000    "},
  {-0.5, 15, 7, 2, 1, r4, 0, 1, 0, " -0.5000000    "},
  {inf, 15, 7, 2, 1, r4, 0, 1, 0, "            Inf"},
  {-inf, 15, 7, 2, 1, r4, 0, 1, 0, "           -Inf"},
  {nan_value, 15, 7, 2, 1, r4, 0, 1, 0, "            NaN"},
  {f32(0x3DCCCCCD), 15, 7, 2, 1, r4, 0, 1, 0, "  0.1000000    "},   // 0.1f, from above
  {f32(0x3DCCCCCC), 15, 7, 2, 1, r4, 0, 1, 0, "  9.9999994E-02"},   // just below 0.1
  {f32(0x4B18967F), 15, 7, 2, 1, r4, 0, 1, 0, "   9999999.    "},   // largest fixed
  {f32(0x3F7FFFFF), 15, 7, 2, 1, r4, 0, 1, 0, "  0.9999999    "},   // largest below 1
  {0.5, 15, 7, 2, 1, r4, 1, 1, 0, " +0.5000000    "},  // SP
  {0.5, 15, 7, 2, 1, r4, 0, 1, 1, "  0,5000000    "},  // decimal comma
  // Free-form 64-bit reals: G25.16E3, 1P.
  {0.1, 25, 16, 3, 1, r8, 0, 1, 0, "  0.1000000000000000     "},  // 16 digits, 5 blanks
  {1e20, 25, 16, 3, 1, r8, 0, 1, 0, "  1.0000000000000000E+020"},  // 17 digits, E3
  // Explicit G.
  {1e100, 12, 4, 2, 0, r8, 0, 0, 0, "  0.1000+101"},  // E form, no scale factor
  {0.9996, 10, 3, 2, 0, r8, 0, 0, 0, "  1.00    "},   // rounds up a place: one decimal fewer
  {999.7, 10, 3, 2, 0, r8, 0, 0, 0, " 1000.    "},  // rounding past d keeps the fixed form
  {-999.0, 8, 3, 2, 0, r8, 0, 0, 0, "********"},     // fixed part too wide: all asterisks
  {0.5, 4, 1, 2, 0, r8, 0, 0, 0, "****"},            // no room for the fixed part
  {0.5, 4, 4, 2, 0, r8, 0, 0, 0, "****"},            // d >= w
};
TEST(format_general, picks_fixed_or_exponent_form) {
  for (const auto& c : general_cases) {
    SCOPED_TRACE(c.value);
    const io::edit_parameters p{c.width, c.decimals, c.exp_digits, c.scale, c.plus, c.exp_given, c.comma};
    EXPECT_EQ(io::format_general(c.value, p, c.type).field, c.field);
  }
}

// The free-form field of a 32-bit real through the digit strings and the builders, as
// format_general makes it when no shortcut applies.
std::string free_form_through_digits(float value, std::int32_t plus, std::int32_t comma) {
  const io::digit_string eight = io::sig_digits(value, io::digits_for_type(r4));
  const char sign = eight.negative != 0 ? '-' : plus != 0 ? '+' : '\0';
  std::int32_t x = value == 0 ? 1 : eight.decimal_exponent;
  // The builders read the decimal character a conversion sets.
  io::begin_conversion(comma);
  if (x < 0 || x > 7) {
    io::sig_digits(value, io::digits_for_type(r4));
    const std::string text(io::build_exponent(7, 2, 1, 1));
    return std::string(io::justify_field(15, text, sign));
  }
  if (value != 0 && io::fixed_digits(value, 7 - x).decimal_exponent != x) {
    x = io::fixed_digits(value, 7 - x).decimal_exponent;  // rounded up into one more digit
  }
  const io::digit_string rounded = io::fixed_digits(value, 7 - x);
  const std::string text(io::build_fixed(rounded.digits, rounded.decimal_exponent, 11, 7 - x));
  const bool shown = text.find_first_of("123456789") != std::string::npos;
  const char fixed_sign = rounded.negative != 0 && shown ? '-' : plus != 0 ? '+' : '\0';
  return std::string(io::justify_field(11, text, fixed_sign)) + "    ";
}

// Free-form 32-bit reals are converted in integer arithmetic; next to every power of ten,
// where the form and the number of decimals change and the eight-digit rounding carries,
// and at random, that must give the fields of the general conversion, which free-form
// output falls back on.
TEST(free_form_real32, agrees_with_format_general_and_the_digit_strings) {
  std::vector<float> values;
  for (int k = -45; k <= 38; ++k) {
    const float power = static_cast<float>(std::pow(10.0, k));
    for (const float near : {power, static_cast<float>(power * (1 - 5e-9)), static_cast<float>(power * 0.99999995)}) {
      float v = near;
      for (int step = 0; step < 40; ++step) v = std::nextafter(v, 0.0f);
      for (int step = 0; step < 80; ++step, v = std::nextafter(v, 1e38f)) values.push_back(v);
    }
  }
  // Small dyadic values: their ninth digit can be an exact 5, a tie the E form breaks to even.
  for (int n = 10; n <= 80; ++n) {
    for (int k = 1; k <= 3001; k += 2) values.push_back(std::ldexp(static_cast<float>(k), -n));
  }
  std::mt19937_64 random(27);
  for (int i = 0; i < 200000; ++i) values.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(random())));
  for (std::size_t i = 0; i < values.size(); ++i) {
    const float value = i % 2 == 0 ? values[i] : -values[i];
    if (!std::isfinite(value)) continue;
    const std::int32_t plus = static_cast<std::int32_t>(i / 2 % 2), comma = static_cast<std::int32_t>(i / 4 % 2);
    const std::string want = free_form_through_digits(value, plus, comma);
    ASSERT_EQ(io::format_general(value, {15, 7, 2, 1, plus, 1, comma}, r4).field, want)
        << std::bit_cast<std::uint32_t>(value);
    if (const std::optional<std::string_view> field = io::free_form_real32(value, plus, comma)) {
      ASSERT_EQ(*field, want) << std::bit_cast<std::uint32_t>(value);
    }
  }
}

// 32-bit integers are laid out without the 64-bit conversion's loop; every width the
// shortcut takes, with and without m and SP, must come out as the 64-bit layout.
TEST(format_integer, agrees_with_the_64_bit_layout) {
  std::mt19937_64 random(4);
  std::vector<std::int32_t> values = {0, 1, -1, 9, 10, 99, 100, 99999999, 100000000, -100000000,
                                      999999999, 1000000000, INT32_MAX, INT32_MIN, INT32_MIN + 1};
  for (int i = 0; i < 20000; ++i) {
    values.push_back(static_cast<std::int32_t>(random()) >> (random() % 32));
  }
  for (const std::int32_t value : values) {
    for (std::int32_t width = -1; width <= 25; ++width) {
      for (std::int32_t m = -1; m <= 11; m += 3) {
        for (std::int32_t plus = 0; plus <= 1; ++plus) {
          const std::string want(io::format_integer64(value, width, m, plus));
          ASSERT_EQ(io::format_integer(value, width, m, plus), want) << value << " " << width << " " << m;
        }
      }
    }
  }
}

// E and D fields (G in its E form too) take -d < k < d + 2. Outside that range the field
// is asterisks and the caller is told, so that it can print the notice; the forms without a
// scale factor in them, and fields that are not numbers, never tell.
struct scale_case {
  char form; double value; std::int32_t width, decimals, scale;
  std::string_view field; bool illegal;
};
constexpr scale_case scale_cases[] = {
  {'E', 1.5, 12, 4, 6, "************", true},    // k = d + 2
  {'E', 1.5, 12, 4, -4, "************", true},   // k = -d
  {'E', 1.5, 12, 4, 5, "  15000.E-04", false},   // k = d + 1, the largest legal
  {'E', 1.5, 4, 4, -130, "****", true},          // also d >= w
  {'E', inf, 12, 4, 6, "         Inf", false},   // not a number: no digits to scale
  {'D', 1.5, 12, 4, 130, "************", true},
  {'G', 1e20, 12, 4, 9, "************", true},   // E form
  {'G', 1.5, 12, 4, 100, "   1.500    ", false}, // F form takes no scale factor
  {'N', 1.5, 12, 4, 100, "  1.5000E+00", false}, // EN ignores it
};
TEST(format_exponent, tells_of_an_illegal_scale_factor) {
  for (const auto& c : scale_cases) {
    SCOPED_TRACE(testing::Message() << c.form << " " << c.scale);
    const io::edit_parameters p{c.width, c.decimals, 2, c.scale, 0, 0, 0};
    const io::exponent_edit edit = c.form == 'D'   ? io::format_d(c.value, p, r8)
                                   : c.form == 'G' ? io::format_general(c.value, p, r8)
                                   : io::format_exponent(c.value, p, r8, c.form == 'N' ? EN : E);
    EXPECT_EQ(edit.field, c.field);
    EXPECT_EQ(edit.illegal_scale_factor, c.illegal);
  }
}

// The two texts agree digit for digit when no second rounding happens (17 digits, ES16).
// Free-form reals take the 1P E form in one pass; it must agree with the builder, which
// other scale factors still use, on every exponent width and on the exponent overflow.
TEST(format_exponent, scale_one_shortcut_agrees_with_the_builder) {
  std::mt19937_64 random(11);
  for (int i = 0; i < 20000; ++i) {
    const double value = i % 2 == 0 ? f64(random()) : static_cast<double>(std::bit_cast<float>(
                                                          static_cast<std::uint32_t>(random())));
    if (!std::isfinite(value) || value == 0.0) continue;
    for (const std::int32_t exp_digits : {1, 2, 3}) {
      const std::string got(io::format_exponent(value, {20, 7, exp_digits, 1, 1, 1, 0}, r4, E).field);
      const bool negative = io::sig_digits(value, io::digits_for_type(r4)).negative != 0;
      const std::string text(io::build_exponent(7, exp_digits, 1, 1));
      ASSERT_EQ(got, io::justify_field(20, text, negative ? '-' : '+')) << value << " " << exp_digits;
    }
  }
}

TEST(format_exponent, es16_agrees_with_the_print_conversion) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    const double value = f64(random());
    if (!std::isfinite(value)) continue;
    char text[64];
    std::snprintf(text, sizeof text, "%.16E", value);
    std::string want = text;
    const std::size_t e = want.find('E');
    const std::string exponent = want.substr(e + 2);
    want = want.substr(0, e + 2) + std::string(3 - exponent.size(), '0') + exponent;
    const std::string_view got = io::format_exponent(value, {26, 16, 3, 0, 0, 1, 0}, r8, ES).field;
    ASSERT_EQ(got, std::string(26 - want.size(), ' ') + want) << value;
  }
}

TEST(number_to_text, wide_fields_grow_the_buffers) {
  const std::string third = "0.3333333333333333" + std::string(234, '0');
  EXPECT_EQ(io::format_fixed(1.0 / 3, {300, 250, 0, 0, 0, 0, 0}), std::string(48, ' ') + third);
  const std::string e_third = "0.33333333333333331" + std::string(233, '0') + "E+00";
  EXPECT_EQ(io::format_exponent(1.0 / 3, {300, 250, 2, 0, 0, 0, 0}, r8, E).field,
            std::string(44, ' ') + e_third);
  // 302 characters with the sign; without the leading 0 they just fit.
  EXPECT_EQ(io::format_fixed(-1.0 / 3, {300, 298, 0, 0, 0, 0, 0}),
            "-" + third.substr(1) + std::string(48, '0'));
  EXPECT_EQ(io::format_fixed(-1.0 / 3, {300, 299, 0, 0, 0, 0, 0}), std::string(300, '*'));
  // The buffers never shrink; small fields still come out right afterwards.
  EXPECT_EQ(io::format_fixed(6.0, {5, 2, 0, 0, 0, 0, 0}), " 6.00");
  EXPECT_EQ(io::field_buffer(1000).size(), 1000u);
  EXPECT_TRUE(io::field_buffer(0).empty());
}

// Whatever the arguments, a field is exactly as wide as asked and either all asterisks or
// made only of the characters a number is written with; and a conversion writes nothing.
TEST(number_to_text, every_field_has_its_width) {
  constexpr std::string_view number_characters = " 0123456789.,+-EDInfNa";
  std::mt19937_64 random(99);
  std::string bad_field;
  testing::internal::CaptureStdout();
  const auto pick = [&random](std::int32_t low, std::int32_t high) {
    return low + static_cast<std::int32_t>(random() % static_cast<std::uint64_t>(high - low + 1));
  };
  for (int i = 0; i < 40000; ++i) {
    const double values[] = {f64(random()), f32(static_cast<std::uint32_t>(random())),
                             static_cast<double>(pick(-99999, 99999)) / 100, 0.0, -0.0, inf};
    const double value = values[random() % std::size(values)];
    const std::int32_t width = pick(-2, 320), d = pick(-1, 60), e = pick(-1, 6);
    const std::int32_t k = pick(-130, 130), plus = pick(0, 1), comma = pick(0, 1);
    const std::int32_t type = pick(0, 2) == 0 ? r4 : r8;
    const std::int32_t given = pick(0, 1);
    const std::int32_t codes[] = {E, EN, ES};
    const io::edit_parameters p{width, d, e, k, plus, given, comma};
    std::string_view field;
    switch (i % 6) {
      case 0: field = io::format_fixed(value, p); break;
      case 1: field = io::format_exponent(value, p, type, codes[random() % 3]).field; break;
      case 2: field = io::format_d(value, p, type).field; break;
      case 3: field = io::format_general(value, p, type).field; break;
      case 4: field = io::format_integer(static_cast<std::int32_t>(random()), width, pick(-1, 12),
                                         plus);
              break;
      default: field = io::format_integer64(static_cast<std::int64_t>(random()), width,
                                            pick(-1, 25), plus);
              break;
    }
    const bool stars = field.find('*') != std::string_view::npos;
    const bool sound =
        field.size() == static_cast<std::size_t>(std::max(width, 0)) &&
        std::all_of(field.begin(), field.end(), [stars, number_characters](char c) {
          return stars ? c == '*' : number_characters.find(c) != std::string_view::npos;
        });
    if (!sound) {
      bad_field = "case " + std::to_string(i) + ": [" + std::string(field) + "]";
      break;
    }
  }
  // Released before checking: a failure report on standard output must not be swallowed.
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(bad_field, "");
}

}  // namespace
