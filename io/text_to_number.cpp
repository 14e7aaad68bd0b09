// The numeric-constant scanner, its signed-exponent work area, and the integer and
// scanned-value conversions.
#include "text_to_number.h"

#include <array>
#include <bit>
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

// The same fast path on text. Nothing for any other text, which then takes the full
// conversion.
std::optional<double> short_decimal_to_real64(const char* first, const char* last) {
  constexpr std::uint64_t exact_limit = std::uint64_t{1} << 53;
  const char* p = first;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  std::uint64_t mantissa = 0;
  std::int32_t exponent = 0;
  bool point = false;
  for (; p != last; ++p) {
    if (*p == '.' && !point) {
      point = true;
    } else if (is_digit(*p)) {
      // Past 2^53 the integer may no longer be exact: leave it to the full conversion.
      if (mantissa >= exact_limit / 10) return std::nullopt;
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
      if (point) --exponent;
    } else {
      break;
    }
  }
  if (p != last) {
    if (*p != 'e' && *p != 'E') return std::nullopt;
    ++p;
    const bool negative_exponent = p != last && *p == '-';
    if (p != last && (*p == '-' || *p == '+')) ++p;
    if (p == last || last - p > 4) return std::nullopt;
    std::int32_t written = 0;
    for (; p != last; ++p) {
      if (!is_digit(*p)) return std::nullopt;
      written = written * 10 + (*p - '0');
    }
    exponent += negative_exponent ? -written : written;
  }
  if (exponent < -22 || exponent > 22) {
    if (mantissa != 0) return std::nullopt;
    return negative ? -0.0 : 0.0;
  }
  return exact_decimal_to_real64(mantissa, exponent, negative);
}

// The decimal text [first, last) as the nearest 64-bit real, exactly as strtod in the
// "C" locale gives it; nullopt when no digits convert. from_chars is correctly rounded
// and locale-free like glibc's strtod and several times faster; it refuses only a
// leading plus sign, and results that round to an infinity or to zero, which it reports
// without a value: those rare cases go to strtod itself. `*last` must stop strtod.
std::optional<double> decimal_to_real64(const char* first, const char* last) {
  if (const std::optional<double> value = short_decimal_to_real64(first, last)) return value;
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

// Digit runs eight bytes at a time. A word holds eight characters, the first in its
// lowest byte.
std::uint64_t load_word(const char* p) {
  std::uint64_t word = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, p, sizeof word);
  } else {
    for (int i = 7; i >= 0; --i) word = word << 8 | static_cast<unsigned char>(p[i]);
  }
  return word;
}

// How many characters of `word` are digits before the first that is not. Only the bytes
// up to that one are trusted: a borrow or carry out of a non-digit byte can touch the
// bytes above it, never those below.
constexpr std::int32_t leading_digits(std::uint64_t word) {
  const std::uint64_t offsets = word - 0x3030303030303030u;
  const std::uint64_t non_digits = (offsets | (offsets + 0x0606060606060606u)) & 0xF0F0F0F0F0F0F0F0u;
  return std::countr_zero(non_digits) / 8;
}

// The value of the first `count` (1 to 8) digits of `word`: the digits are moved to the
// top, zeros below them standing for leading zeros, and pairs, quads and octets of
// digits are combined by three multiplications.
constexpr std::uint64_t digits_value(std::uint64_t word, std::int32_t count) {
  std::uint64_t value = (word & 0x0F0F0F0F0F0F0F0Fu) << (8 * (8 - count));
  value = (value * (10 * 0x100 + 1)) >> 8 & 0x00FF00FF00FF00FFu;
  value = (value * (100 * 0x10000 + 1)) >> 16 & 0x0000FFFF0000FFFFu;
  return (value * (10000 * 0x100000000u + 1)) >> 32;
}

constexpr std::uint64_t word_of(std::string_view eight) {
  std::uint64_t word = 0;
  for (std::size_t i = 8; i-- > 0;) word = word << 8 | static_cast<unsigned char>(eight[i]);
  return word;
}
static_assert(leading_digits(word_of("12345678")) == 8 && leading_digits(word_of("1234 678")) == 4);
static_assert(leading_digits(word_of("/:09+-E.")) == 0 && leading_digits(word_of("09:00000")) == 2);
static_assert(digits_value(word_of("12345678"), 8) == 12345678);
static_assert(digits_value(word_of("0009\n   "), 4) == 9 && digits_value(word_of("7.5E+03 "), 1) == 7);

struct digit_run {
  std::int32_t count;  // 16 means 16 or more
  std::uint64_t value;
};

constexpr std::array<std::uint64_t, 9> small_powers = {1,      10,      100,      1000,     10000,
                                                       100000, 1000000, 10000000, 100000000};

// Past the first eight digits the rest are taken one by one: runs that long are rare.
[[gnu::always_inline]] inline digit_run read_digit_run(const char* p) {
  const std::uint64_t first = load_word(p);
  const std::int32_t count = leading_digits(first);
  if (count < 8) return {count, count == 0 ? 0 : digits_value(first, count)};
  digit_run run{8, digits_value(first, 8)};
  for (; run.count < 16 && is_digit(p[run.count]); ++run.count) {
    run.value = run.value * 10 + static_cast<std::uint64_t>(p[run.count] - '0');
  }
  return run;
}

// What ends a constant that scan_plain_constant takes: none of these can make it a
// repeat count, a longer real or an error.
constexpr bool ends_plain_constant(char c, bool decimal_comma) {
  return c == ' ' || c == '\t' || c == '\n' || c == '/' || c == ';' || (c == ',' && !decimal_comma);
}

}  // namespace

std::optional<numeric_scan> scan_plain_constant(const char* text, const char* end,
                                                bool decimal_comma) {
  const auto ends_here = [end, decimal_comma](const char* p) {
    return p == end || ends_plain_constant(*p, decimal_comma);
  };
  const char* p = text;
  const bool negative = *p == '-';
  if (is_sign(*p)) ++p;
  const digit_run whole = read_digit_run(p);
  if (whole.count == 0) return std::nullopt;
  p += whole.count;
  const auto length = [&p, text] { return static_cast<std::size_t>(p - text); };
  if (ends_here(p)) {
    // Ten digits at most: 2147483647 fits, and so does the magnitude before the check.
    if (whole.count > 10 || whole.value > INT32_MAX) return std::nullopt;
    const auto magnitude = static_cast<std::int32_t>(whole.value);
    return numeric_scan{0, numeric_class::NUMERIC_INT32,
                        scanned_int32(negative ? -magnitude : magnitude), length()};
  }
  if (decimal_comma) return std::nullopt;
  // Fifteen digits are below 2^53, so the mantissa is exact in a double.
  constexpr std::int32_t most_digits = 15;
  if (whole.count > most_digits) return std::nullopt;
  std::uint64_t mantissa = whole.value;
  std::int32_t exponent = 0;
  if (*p == '.') {
    const digit_run fraction = read_digit_run(p + 1);
    if (whole.count + fraction.count > most_digits) return std::nullopt;
    p += 1 + fraction.count;
    const std::int32_t high = fraction.count > 8 ? fraction.count - 8 : 0;
    mantissa = mantissa * small_powers[static_cast<std::size_t>(fraction.count - high)] *
                   small_powers[static_cast<std::size_t>(high)] +
               fraction.value;
    exponent = -fraction.count;
  }
  if (*p == 'E' || *p == 'e') {
    ++p;
    const bool negative_exponent = *p == '-';
    if (is_sign(*p)) ++p;
    // A letter without digits is blanked out by the full scanner; four digits are rare.
    std::int32_t written = 0;
    const char* const first_digit = p;
    while (is_digit(*p) && p - first_digit < 4) written = written * 10 + (*p++ - '0');
    if (p == first_digit || p - first_digit > 3) return std::nullopt;
    exponent += negative_exponent ? -written : written;
  }
  if (!ends_here(p)) return std::nullopt;
  if (exponent < -22 || exponent > 22) return std::nullopt;
  return numeric_scan{0, numeric_class::NUMERIC_REAL,
                      scanned_real64(exact_decimal_to_real64(mantissa, exponent, negative)), length()};
}

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
      scan.error_code = ERROR_DATA_CONVERSION;
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
  } else if (const std::size_t first_digit = is_sign(p[0]) ? 1 : 0; s - first_digit <= 9) {
    // Nine digits or fewer always fit 32 bits: no overflow check, no second scan.
    std::int32_t magnitude = 0;
    for (std::size_t i = first_digit; i < s; ++i) magnitude = magnitude * 10 + (p[i] - '0');
    scan.value_class = numeric_class::NUMERIC_INT32;
    scan.value = scanned_int32(p[0] == '-' ? -magnitude : magnitude);
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
      scan.error_code = ERROR_DATA_CONVERSION;
    }
  }

  assert(s < text.size());
  scan.scanned_length = s;
  if (!is_terminator(p[s])) scan.error_code = ERROR_DATA_CONVERSION;
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
  // Past limit / 10 the next digit overflows; up to it the product cannot wrap, and the
  // sum is checked after. No division per digit.
  const std::uint64_t last_safe = limit / 10;
  std::uint64_t magnitude = 0;
  for (const char c : text.substr(i)) {
    if (!is_digit(c)) return not_a_number;
    if (magnitude > last_safe) return {conversion_status::CONVERSION_OVERFLOW, negative, 0};
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    if (magnitude > limit) return {conversion_status::CONVERSION_OVERFLOW, negative, 0};
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
