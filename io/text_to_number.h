// Numeric constants of free-form input: the scanner, decimal integer conversions and the
// conversions of a scanned value to the width of the item that receives it.
#pragma once
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// The scanner's callers classify the characters around a constant as it does.
#include "characters.h"
#include "errors.h"
#include "record_io.h"

namespace io {

// What kind of number a constant turned out to be.
enum class numeric_class : std::int32_t {
  NUMERIC_INT32 = 0,  // integer that fits 32 bits
  NUMERIC_REAL = 1,   // real constant, as a 64-bit real
  NUMERIC_INT64 = 2,  // integer that needs 64 bits
  NUMERIC_EMPTY = 3,  // a sign, decimal symbol or exponent letter without a mantissa digit
};

// A scanned value: a type code and an 8-byte value laid out as the code says.
//   25 (TYPE_INTEGER4), 19 (TYPE_LOGICAL4): a 32-bit integer in the low 4 bytes
//   26 (TYPE_INTEGER8): a 64-bit integer
//   28 (TYPE_REAL8): the bits of a 64-bit real
// Other codes are for the list-directed reader's own use; the value conversions below
// take only these four.
struct scanned_value {
  std::int32_t type;
  std::uint64_t bits;

  constexpr std::int32_t int32() const { return static_cast<std::int32_t>(bits & 0xFFFFFFFFu); }
  constexpr std::int64_t int64() const { return static_cast<std::int64_t>(bits); }
  constexpr double real64() const { return std::bit_cast<double>(bits); }
};
static_assert(sizeof(scanned_value) == 16 && offsetof(scanned_value, bits) == 8);

constexpr scanned_value scanned_int32(std::int32_t value) {
  return {TYPE_INTEGER4, static_cast<std::uint32_t>(value)};
}
constexpr scanned_value scanned_int64(std::int64_t value) {
  return {TYPE_INTEGER8, static_cast<std::uint64_t>(value)};
}
constexpr scanned_value scanned_real64(double value) {
  return {TYPE_REAL8, std::bit_cast<std::uint64_t>(value)};
}
// True is all 32 bits set (-1), false is 0.
constexpr scanned_value scanned_logical(bool value) {
  return {TYPE_LOGICAL4, value ? 0xFFFFFFFFu : 0u};
}

// The one error this module reports is ERROR_DATA_CONVERSION, "error on data conversion".

struct numeric_scan {
  std::int32_t error_code;      // 0, or ERROR_DATA_CONVERSION
  numeric_class value_class;    // meaningful when error_code is 0
  // Meaningful when error_code is 0: NUMERIC_INT32 gives type 25, NUMERIC_INT64 type 26,
  // NUMERIC_REAL type 28, and NUMERIC_EMPTY type 25 with the value 0.
  scanned_value value;
  // Bytes from the first character of the token to the end of the constant; set on
  // failure too, so the caller always knows how far the scan went.
  std::size_t scanned_length;
};

// Scans the numeric constant at the start of `text` and converts it.
//
// The caller passes the record from the token's first character up to and including the
// line feed that always follows the record's bytes in the input record buffer:
// `text.back()` must be '\n' (asserted). The scan stops at the first line feed it meets,
// so it never reads past `text`; scanned_length is at most text.size() - 1.
//
// `decimal_comma` makes the comma the decimal symbol instead of the full stop.
//
// The record is edited in place, and the edits stay after a failure as well: the decimal
// symbol becomes a full stop, a "d" or "D" exponent letter becomes "e", and an exponent
// letter that no digit follows becomes a blank, together with its sign if it has one.
//
// The constant must be followed by a line feed, zero byte, comma, blank, slash,
// semicolon, tab, carriage return, right parenthesis or asterisk; anything else, an
// integer beyond the 64-bit range or real text that does not convert gives error 231.
// Real overflow and underflow are not errors (infinity, subnormal or zero), and errno is
// left as it was.
numeric_scan scan_numeric_constant(std::span<char> text, bool decimal_comma);

// The constants free-form input holds most of the time, read in one pass: an optionally
// signed run of digits that fits the symmetric 32-bit range, or (POINT mode) a real of at
// most 15 digits with an optional fraction and an "E" exponent of one to three digits
// that a single exact operation converts. Either must end in a blank, tab, line feed,
// slash, semicolon, a comma that is not the decimal symbol, or at `end`, the end of the
// record. The result is the one scan_numeric_constant gives for
// the same text with a line feed at `end`; the text is left unchanged. nullopt for every
// other text, which the full scanner must take. The byte at `end` must be a carriage
// return or line feed, and 16 bytes after it must be readable.
std::optional<numeric_scan> scan_plain_constant(const char* text, const char* end,
                                                bool decimal_comma);

// The powers of ten a double holds exactly.
inline constexpr std::array<double, 23> exact_powers_of_ten = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Clinger's fast path: a decimal of at most 2^53 as an integer, times or divided by a
// power of ten that a double holds exactly (|exponent| <= 22), is one correctly rounded
// operation on two exact operands, so it gives the nearest double, as the full scanner
// would. Both readers use it, so they agree on every constant it takes.
inline double exact_decimal_to_real64(std::uint64_t mantissa, std::int32_t exponent, bool negative) {
  // Below 2^53: as a signed number it converts without the unsigned conversion's steps.
  const auto exact = static_cast<double>(static_cast<std::int64_t>(mantissa));
  const double power = exact_powers_of_ten[static_cast<std::size_t>(exponent < 0 ? -exponent : exponent)];
  const double value = exponent < 0 ? exact / power : exact * power;
  return negative ? -value : value;
}

enum class conversion_status : std::int32_t {
  CONVERSION_OK = 0,
  CONVERSION_NOT_A_NUMBER = -1,
  CONVERSION_OVERFLOW = -2,
};

struct int32_conversion {
  conversion_status status;
  std::int32_t value;  // 0 when not a number, -1 on overflow
};
struct int64_conversion {
  conversion_status status;
  std::int64_t value;  // 0 when not a number, -1 on overflow
};

// Decimal integers: leading blanks, an optional sign, then digits only. The 32-bit range
// is symmetric, -2147483647 to 2147483647 (-2147483648 takes the 64-bit conversion); the
// 64-bit one is -9223372036854775808 to 9223372036854775807.
int32_conversion text_to_int32(std::string_view text);
int64_conversion text_to_int64(std::string_view text);

// A scanned value of type 25, 19, 26 or 28 to the width of an item. They cannot fail:
// a real beyond the integer range, an infinity or a NaN gives the most negative integer;
// rounding is to nearest with ties to even, once from a 64-bit integer.
std::int32_t value_to_int32(scanned_value value);
std::int64_t value_to_int64(scanned_value value);
float value_to_real32(scanned_value value);
double value_to_real64(scanned_value value);

}  // namespace io
