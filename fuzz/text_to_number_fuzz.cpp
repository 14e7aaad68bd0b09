// Fuzz target for text-to-number conversion: the numeric-constant scanner against a slow
// oracle that reads the same constant with strtod and exact integer arithmetic, the decimal
// integer conversions against exact arithmetic, and the scanned-value conversions.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "record_io.h"
#include "text_to_number.h"

namespace {

using fuzz::check;
using io::numeric_class;

bool digit(char c) { return c >= '0' && c <= '9'; }
bool sign(char c) { return c == '+' || c == '-'; }
bool exponent_letter(char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D'; }

struct expectation {
  std::int32_t error_code = 0;
  numeric_class value_class = numeric_class::NUMERIC_EMPTY;
  io::scanned_value value = io::scanned_int32(0);
  std::size_t scanned_length = 0;
  std::string record_after;  // the record with the scanner's edits
};

// The magnitude of a decimal digit run; past 2^64 - 1 it stays at that, which is above
// every limit the conversions have.
std::uint64_t magnitude_of(std::string_view digits) {
  constexpr std::uint64_t saturated = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t magnitude = 0;
  for (const char c : digits) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (saturated - digit) / 10) return saturated;
    magnitude = magnitude * 10 + digit;
  }
  return magnitude;
}

// The constant at the start of `record` (which ends in a line feed) read the slow way: the
// grammar walked character by character, the real converted by strtod from a text in its
// own syntax, the integer by exact arithmetic.
expectation oracle(std::string record, bool decimal_comma) {
  expectation want;
  const char point = decimal_comma ? ',' : '.';
  std::size_t s = sign(record[0]) ? 1 : 0;
  bool has_point = false, has_digits = false;
  if (record[s] == point || digit(record[s])) {
    while (digit(record[s])) {
      ++s;
      has_digits = true;
    }
    if (record[s] == point) {
      record[s++] = '.';
      has_point = true;
      while (digit(record[s])) {
        ++s;
        has_digits = true;
      }
    }
  }
  std::string real_text = record.substr(0, s);
  bool real = has_point;
  if (!has_digits) {
    // Nothing but a sign, a decimal symbol or an exponent: its sign and digits go with it.
    if (sign(record[s])) {
      ++s;
    } else if (exponent_letter(record[s])) {
      ++s;
      if (sign(record[s])) ++s;
    }
    while (digit(record[s])) ++s;
    want.value_class = numeric_class::NUMERIC_EMPTY;
  } else if (exponent_letter(record[s])) {
    real = true;
    if (record[s] == 'd' || record[s] == 'D') record[s] = 'e';
    std::size_t e = s + 1;
    if (sign(record[e])) ++e;
    if (digit(record[e])) {
      while (digit(record[e])) ++e;
      real_text += 'e';
      real_text += record.substr(s + 1, e - s - 1);
    } else {
      // A letter (and sign) without digits counts to the constant but not to the number.
      for (std::size_t i = s; i < e; ++i) record[i] = ' ';
    }
    s = e;
  } else if (sign(record[s])) {
    real = true;
    std::size_t e = s + 1;
    while (digit(record[e])) ++e;
    if (e > s + 1) real_text += "e" + record.substr(s, e - s);
    s = e;
  }
  if (has_digits && real) {
    want.value_class = numeric_class::NUMERIC_REAL;
    want.value = io::scanned_real64(std::strtod(real_text.c_str(), nullptr));
  } else if (has_digits) {
    const bool negative = record[0] == '-';
    const std::uint64_t magnitude = magnitude_of(record.substr(sign(record[0]) ? 1 : 0, s - (sign(record[0]) ? 1 : 0)));
    if (magnitude <= 2147483647u) {
      want.value_class = numeric_class::NUMERIC_INT32;
      const auto value = static_cast<std::int32_t>(magnitude);
      want.value = io::scanned_int32(negative ? -value : value);
    } else if (magnitude <= (negative ? 9223372036854775808u : 9223372036854775807u)) {
      want.value_class = numeric_class::NUMERIC_INT64;
      const std::uint64_t bits = magnitude;
      want.value = io::scanned_int64(static_cast<std::int64_t>(negative ? ~bits + 1 : bits));
    } else {
      want.error_code = io::ERROR_DATA_CONVERSION;
    }
  }
  const std::string_view allowed_after{"\n\0,/; \t\r)*", 10};
  if (allowed_after.find(record[s]) == std::string_view::npos) want.error_code = io::ERROR_DATA_CONVERSION;
  want.scanned_length = s;
  want.record_after = record;
  return want;
}

// Decimal integers: blanks, a sign, then digits taken one at a time; the first non-digit
// makes it not a number, unless the digits before it already overflowed.
template <typename Conversion>
void check_integer_conversion(std::string_view text, Conversion got, std::uint64_t positive_limit,
                              std::uint64_t negative_limit) {
  const auto expect = [&](io::conversion_status status, std::int64_t value) {
    check(got.status == status && got.value == value, "decimal integer conversion", text);
  };
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && sign(text[i])) ++i;
  if (i == text.size()) return expect(io::conversion_status::CONVERSION_NOT_A_NUMBER, 0);
  const std::uint64_t limit = negative ? negative_limit : positive_limit;
  std::uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    if (!digit(text[i])) return expect(io::conversion_status::CONVERSION_NOT_A_NUMBER, 0);
    const auto value = static_cast<std::uint64_t>(text[i] - '0');
    // magnitude * 10 + value > limit, asked without overflowing (every limit is at least 9).
    if (magnitude > (limit - value) / 10) {
      return expect(io::conversion_status::CONVERSION_OVERFLOW, -1);
    }
    magnitude = magnitude * 10 + value;
  }
  expect(io::conversion_status::CONVERSION_OK, static_cast<std::int64_t>(negative ? ~magnitude + 1 : magnitude));
}

// The four conversions of a scanned value of type 25, 26 or 28 to the width of an item.
void check_value_conversions(io::scanned_value value) {
  const std::int32_t narrow = io::value_to_int32(value);
  const std::int64_t wide = io::value_to_int64(value);
  const float single = io::value_to_real32(value);
  const double real = io::value_to_real64(value);
  switch (value.type) {
    case TYPE_INTEGER4:
      check(narrow == value.int32() && wide == value.int32() &&
                single == static_cast<float>(value.int32()) && real == value.int32(),
            "conversions of a 32-bit integer");
      break;
    case TYPE_INTEGER8:
      check(narrow == static_cast<std::int32_t>(static_cast<std::uint32_t>(value.bits)) &&
                wide == value.int64() && real == static_cast<double>(value.int64()),
            "conversions of a 64-bit integer");
      // One rounding from the exact integer: no float lies strictly between it and the result.
      {
        const auto distance = [&value](float f) { return std::fabs(static_cast<long double>(f) - value.int64()); };
        constexpr float infinity = std::numeric_limits<float>::infinity();
        check(distance(single) <= distance(std::nextafter(single, infinity)) &&
                  distance(single) <= distance(std::nextafter(single, -infinity)),
              "64-bit integer to the nearest float");
      }
      break;
    default: {
      const long double x = value.real64();
      const long double truncated = std::trunc(x);
      if (std::isfinite(x) && truncated >= -2147483648.0L && truncated <= 2147483647.0L) {
        check(narrow == static_cast<std::int32_t>(truncated), "real to 32-bit integer");
      } else {
        check(narrow == std::numeric_limits<std::int32_t>::min(), "real beyond 32 bits");
      }
      if (std::isfinite(x) && truncated >= -9223372036854775808.0L && truncated < 9223372036854775808.0L) {
        check(wide == static_cast<std::int64_t>(truncated), "real to 64-bit integer");
      }
      check(std::bit_cast<std::uint64_t>(real) == value.bits, "real to 64-bit real");
      if (std::isnan(x)) {
        check(std::isnan(single), "NaN to float");
      } else if (std::fabs(x) >= 0x1.ffffffp127L) {
        check(std::isinf(single) && std::signbit(single) == std::signbit(real), "float overflow");
      } else {
        check(single == static_cast<float>(value.real64()), "real to float");
      }
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::fuzz_input input{data, size};
  const bool decimal_comma = input.flag();
  const std::string_view text = input.rest();

  // The record as the reader holds it: the bytes and the line feed that always follows.
  // A vector of exactly this size, so a read past the line feed is caught.
  std::vector<char> record(text.begin(), text.end());
  record.push_back('\n');
  const std::size_t first_line_feed = std::string_view{record.data(), record.size()}.find('\n');
  const expectation want = oracle(std::string{record.data(), record.size()}, decimal_comma);
  const io::numeric_scan got = io::scan_numeric_constant(record, decimal_comma);
  const std::string_view shown = text.substr(0, std::min<std::size_t>(text.size(), 80));

  check(got.scanned_length <= first_line_feed, "scan passed the line feed", shown);
  check(got.scanned_length == want.scanned_length, "scanned length", shown);
  check(got.error_code == want.error_code, "error code", shown);
  check(std::string_view{record.data(), record.size()} == want.record_after, "edits of the record", shown);
  if (got.error_code == 0) {
    check(got.value_class == want.value_class, "numeric class", shown);
    check(got.value.type == want.value.type && got.value.bits == want.value.bits, "value", shown);
    if (got.value_class != numeric_class::NUMERIC_EMPTY) check_value_conversions(got.value);
  }

  // The one-pass scanner of common constants, on the record as the input buffer holds
  // it (its slack of 16 bytes after the line feed): where it takes the constant it must
  // agree with the full scanner, and it must never edit the record.
  {
    std::vector<char> padded(text.begin(), text.end());
    padded.push_back('\n');
    padded.resize(padded.size() + 16, '7');
    const std::vector<char> before = padded;
    const char* const end = padded.data() + text.size();
    if (const auto plain = io::scan_plain_constant(padded.data(), end, decimal_comma)) {
      check(want.error_code == 0 && plain->error_code == 0, "plain constant refused by the scanner", shown);
      check(plain->scanned_length == want.scanned_length, "plain constant length", shown);
      check(plain->value_class == want.value_class && plain->value.type == want.value.type &&
                plain->value.bits == want.value.bits,
            "plain constant value", shown);
    }
    check(padded == before, "plain scanner edited the record", shown);
  }

  check_integer_conversion(text, io::text_to_int32(text), 2147483647u, 2147483647u);
  check_integer_conversion(text, io::text_to_int64(text), 9223372036854775807u, 9223372036854775808u);

  // Scanned values no text gives: every bit pattern of a real and of a 64-bit integer.
  if (text.size() >= 8) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(static_cast<unsigned char>(text[i])) << (8 * i);
    check_value_conversions({TYPE_REAL8, bits});
    check_value_conversions({TYPE_INTEGER8, bits});
    check_value_conversions(io::scanned_int32(static_cast<std::int32_t>(static_cast<std::uint32_t>(bits))));
  }
  return 0;
}
