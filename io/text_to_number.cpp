// The numeric-constant scanner, its signed-exponent work area, and the integer and
// scanned-value conversions.
#include "text_to_number.h"

#include <array>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <system_error>

#include <locale.h>
#include <stdlib.h>

namespace io {
namespace {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_sign(char c) { return c == '+' || c == '-'; }
constexpr bool is_exponent_letter(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

// What may follow a constant. The comma, semicolon, right parenthesis and asterisk are
// accepted in both decimal modes; the list-directed reader decides what they mean.
constexpr std::string_view terminators{"\n\0,/; \t\r)*", 10};
static_assert(terminators.size() == 10);

constexpr std::array<bool, 256> terminator_table = [] {
  std::array<bool, 256> table{};
  for (const char c : terminators) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

constexpr bool is_terminator(char c) { return terminator_table[static_cast<unsigned char>(c)]; }

// The record always ends in a line feed, so the digit loops need no length check.
std::size_t skip_digits(const char* p, std::size_t s) {
  while (is_digit(p[s])) ++s;
  return s;
}

// The letterless exponent (1.5+3) needs a copy with an "e" put in. Constants that fit
// the static area never allocate; a longer one gets a heap block of its own size plus
// some room, which replaces the previous block. Neither is freed at exit: the area lives
// as long as the process, and no exit-time destructor can run before a late scan.
class exponent_work_area {
 public:
  // Room for a constant of `scanned_length` characters, an inserted "e" and a zero byte.
  char* reserve(std::size_t scanned_length) {
    if (scanned_length + 2 > size_) {
      char* const grown = new char[scanned_length + 64];
      delete[] heap_;
      heap_ = grown;
      size_ = scanned_length + 64;
    }
    return heap_ != nullptr ? heap_ : fixed_.data();
  }

 private:
  std::array<char, 128> fixed_{};
  char* heap_ = nullptr;
  std::size_t size_ = fixed_.size();
};

exponent_work_area work_area;

// strtod in the "C" locale, whatever the process locale, with errno left alone.
// The number in `text` is followed by a byte strtod stops at; the record's line feed
// guarantees one.
double c_locale_strtod(const char* text) {
  // glibc builds the "C" locale object without allocating; it cannot fail.
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
  const int saved_errno = errno;
  const double value = strtod_l(text, nullptr, c_locale);
  errno = saved_errno;
  return value;
}

// The decimal text [first, last) as the nearest 64-bit real, exactly as strtod in the
// "C" locale gives it; nullopt when no digits convert. from_chars is correctly rounded
// and locale-free like glibc's strtod and several times faster; it refuses only a
// leading plus sign, and results that round to an infinity or to zero, which it reports
// without a value: those rare cases go to strtod itself. `*last` must stop strtod.
std::optional<double> decimal_to_real64(const char* first, const char* last) {
  const char* const text = first;
  if (*first == '+') ++first;
  double value = 0.0;
  const std::from_chars_result result =
      std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec == std::errc{}) return value;
  if (result.ec == std::errc::result_out_of_range) return c_locale_strtod(text);
  return std::nullopt;
}

// A constant without any mantissa digit: the sign or exponent that follows the first
// sign or decimal symbol is passed over with its digits.
std::size_t skip_empty_constant(const char* p, std::size_t s) {
  if (is_sign(p[s])) return skip_digits(p, s + 1);
  if (is_exponent_letter(p[s])) {
    ++s;
    if (is_sign(p[s])) ++s;
    return skip_digits(p, s);
  }
  return s;
}

struct exponent_scan {
  std::size_t constant_end;  // where the constant ends
  std::size_t number_end;    // where the text to convert ends
};

// An exponent letter at `s`. A letter or letter and sign that no digit follows is blanked
// out, so that the number ends before it yet the constant still covers it.
exponent_scan scan_lettered_exponent(char* p, std::size_t s) {
  if (p[s] == 'd' || p[s] == 'D') p[s] = 'e';
  if (is_digit(p[s + 1])) {
    const std::size_t end = skip_digits(p, s + 1);
    return {end, end};
  }
  if (is_sign(p[s + 1])) {
    if (is_digit(p[s + 2])) {
      const std::size_t end = skip_digits(p, s + 2);
      return {end, end};
    }
    p[s] = ' ';
    p[s + 1] = ' ';
    return {s + 2, s};
  }
  p[s] = ' ';
  return {s + 1, s};
}

}  // namespace

numeric_scan scan_numeric_constant(std::span<char> text, bool decimal_comma) {
  assert(!text.empty() && text.back() == '\n');
  char* const p = text.data();
  const char decimal_symbol = decimal_comma ? ',' : '.';
  numeric_scan scan{0, numeric_class::NUMERIC_EMPTY, scanned_int32(0), 0};
  const auto take_real = [&scan](std::optional<double> real) {
    if (real) {
      scan.value_class = numeric_class::NUMERIC_REAL;
      scan.value = scanned_real64(*real);
    } else {
      scan.error_code = conversion_error_code;
    }
  };

  std::size_t s = is_sign(p[0]) ? 1 : 0;
  bool has_point = false;
  bool has_digits = false;
  if (p[s] == decimal_symbol) {
    p[s++] = '.';
    has_point = true;
    if (is_digit(p[s])) {
      s = skip_digits(p, s);
      has_digits = true;
    }
  } else if (is_digit(p[s])) {
    s = skip_digits(p, s);
    has_digits = true;
    if (p[s] == decimal_symbol) {
      p[s++] = '.';
      has_point = true;
      s = skip_digits(p, s);
    }
  }

  if (!has_digits) {
    s = skip_empty_constant(p, s);
  } else if (is_exponent_letter(p[s])) {
    const exponent_scan exponent = scan_lettered_exponent(p, s);
    s = exponent.constant_end;
    take_real(decimal_to_real64(p, p + exponent.number_end));
  } else if (is_sign(p[s])) {
    // 1.5+3 means 1.5e+3: convert a copy with the letter put in; a sign without digits
    // (5-) ends the constant and adds nothing to the number.
    const std::size_t sign = s;
    s = skip_digits(p, sign + 1);
    char* const area = work_area.reserve(s);
    std::memcpy(area, p, sign);
    std::size_t length = sign;
    if (s > sign + 1) {
      area[length++] = 'e';
      std::memcpy(area + length, p + sign, s - sign);
      length += s - sign;
    }
    area[length] = '\0';
    take_real(decimal_to_real64(area, area + length));
  } else if (has_point) {
    take_real(decimal_to_real64(p, p + s));
  } else {
    const std::string_view digits{p, s};
    if (const int32_conversion narrow = text_to_int32(digits);
        narrow.status == conversion_status::CONVERSION_OK) {
      scan.value_class = numeric_class::NUMERIC_INT32;
      scan.value = scanned_int32(narrow.value);
    } else if (const int64_conversion wide = text_to_int64(digits);
               wide.status == conversion_status::CONVERSION_OK) {
      scan.value_class = numeric_class::NUMERIC_INT64;
      scan.value = scanned_int64(wide.value);
    } else {
      scan.error_code = conversion_error_code;
    }
  }

  assert(s < text.size());
  scan.scanned_length = s;
  if (!is_terminator(p[s])) scan.error_code = conversion_error_code;
  return scan;
}

namespace {

// A decimal integer read as a sign and a magnitude; CONVERSION_OVERFLOW as soon as the
// magnitude passes the limit of its sign, so nothing ever wraps.
struct signed_magnitude {
  conversion_status status;
  bool negative;
  std::uint64_t magnitude;
};

signed_magnitude read_integer(std::string_view text, std::uint64_t positive_limit,
                              std::uint64_t negative_limit) {
  constexpr signed_magnitude not_a_number{conversion_status::CONVERSION_NOT_A_NUMBER, false, 0};
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i == text.size()) return not_a_number;
  const bool negative = text[i] == '-';
  if (text[i] == '-' || text[i] == '+') ++i;
  if (i == text.size()) return not_a_number;
  const std::uint64_t limit = negative ? negative_limit : positive_limit;
  std::uint64_t magnitude = 0;
  for (const char c : text.substr(i)) {
    if (!is_digit(c)) return not_a_number;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) {
      return {conversion_status::CONVERSION_OVERFLOW, negative, 0};
    }
    magnitude = magnitude * 10 + digit;
  }
  return {conversion_status::CONVERSION_OK, negative, magnitude};
}

}  // namespace

int32_conversion text_to_int32(std::string_view text) {
  // Symmetric: -2147483648 is left to the 64-bit conversion.
  const signed_magnitude read = read_integer(text, 2147483647u, 2147483647u);
  if (read.status == conversion_status::CONVERSION_OVERFLOW) return {read.status, -1};
  const auto value = static_cast<std::int32_t>(read.magnitude);
  return {read.status, read.negative ? -value : value};
}

int64_conversion text_to_int64(std::string_view text) {
  const signed_magnitude read = read_integer(text, 9223372036854775807u, 9223372036854775808u);
  if (read.status == conversion_status::CONVERSION_OVERFLOW) return {read.status, -1};
  // Two's complement negation in unsigned arithmetic, so 2^63 needs no special case.
  const std::uint64_t bits = read.negative ? ~read.magnitude + 1 : read.magnitude;
  return {read.status, static_cast<std::int64_t>(bits)};
}

std::int32_t value_to_int32(scanned_value value) {
  switch (value.type) {
    case TYPE_INTEGER8:
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(value.bits));
    case TYPE_REAL8: {
      // The comparisons fail for a NaN as well; what passes truncates into range.
      const double real = value.real64();
      if (!(real > -2147483649.0 && real < 2147483648.0)) {
        return std::numeric_limits<std::int32_t>::min();
      }
      return static_cast<std::int32_t>(real);
    }
    default:
      assert(value.type == TYPE_INTEGER4 || value.type == TYPE_LOGICAL4);
      return value.int32();
  }
}

std::int64_t value_to_int64(scanned_value value) {
  switch (value.type) {
    case TYPE_INTEGER8:
      return value.int64();
    case TYPE_REAL8: {
      // 2^63 is exact in a double; beyond the range the most negative value, as for 32 bits.
      const double real = value.real64();
      if (!(real >= -9223372036854775808.0 && real < 9223372036854775808.0)) {
        return std::numeric_limits<std::int64_t>::min();
      }
      return static_cast<std::int64_t>(real);
    }
    default:
      assert(value.type == TYPE_INTEGER4 || value.type == TYPE_LOGICAL4);
      return value.int32();
  }
}

float value_to_real32(scanned_value value) {
  switch (value.type) {
    case TYPE_INTEGER8:
      // One rounding from the exact integer, not two through a double.
      return static_cast<float>(value.int64());
    case TYPE_REAL8: {
      // From the largest float plus half an ulp upward the nearest is an infinity (the tie
      // goes to the even side, which is the infinity). Said here, since a finite double
      // beyond the float range has no defined conversion.
      const double real = value.real64();
      constexpr double rounds_to_infinity = 0x1.ffffffp127;
      if (std::isfinite(real) && std::fabs(real) >= rounds_to_infinity) {
        constexpr float infinity = std::numeric_limits<float>::infinity();
        return real > 0 ? infinity : -infinity;
      }
      return static_cast<float>(real);
    }
    default:
      assert(value.type == TYPE_INTEGER4 || value.type == TYPE_LOGICAL4);
      return static_cast<float>(value.int32());
  }
}

double value_to_real64(scanned_value value) {
  switch (value.type) {
    case TYPE_INTEGER8:
      return static_cast<double>(value.int64());
    case TYPE_REAL8:
      return value.real64();
    default:
      assert(value.type == TYPE_INTEGER4 || value.type == TYPE_LOGICAL4);
      return value.int32();
  }
}

}  // namespace io
