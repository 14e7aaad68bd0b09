// Tests of the numeric-constant scanner and the integer and scanned-value conversions.
#include "text_to_number.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>
#include <string>

#include <locale.h>
#include <stdlib.h>

namespace {

using io::scanned_value;
using namespace std::string_view_literals;

constexpr auto INT32 = io::numeric_class::NUMERIC_INT32;
constexpr auto REAL = io::numeric_class::NUMERIC_REAL;
constexpr auto INT64 = io::numeric_class::NUMERIC_INT64;
constexpr auto EMPTY = io::numeric_class::NUMERIC_EMPTY;
constexpr std::int32_t BAD = 231;
constexpr auto i32 = io::scanned_int32;
constexpr auto i64 = io::scanned_int64;
constexpr auto r64 = io::scanned_real64;
constexpr double infinity = std::numeric_limits<double>::infinity();

// The record as the list-directed reader holds it: the token, the rest, a line feed.
io::numeric_scan scan(std::string& record, bool decimal_comma = false) {
  record += '\n';
  const io::numeric_scan result = io::scan_numeric_constant(record, decimal_comma);
  record.pop_back();
  return result;
}

struct scan_case {
  std::string_view text;
  bool decimal_comma;
  std::int32_t error_code;
  io::numeric_class value_class;  // these two are checked only without an error
  scanned_value value;
  std::size_t scanned_length;
  std::string_view record_after;  // empty: the record is left as it was
};
constexpr scan_case scan_cases[] = {
    {"+5", 0, 0, INT32, i32(5), 2, ""},                  // a plus sign is part of the integer
    {"007", 0, 0, INT32, i32(7), 3, ""},
    {"-0", 0, 0, INT32, i32(0), 2, ""},                  // an integer: no negative zero
    {"-0.0", 0, 0, REAL, r64(-0.0), 4, ""},              // a real keeps its sign
    {"-999999999", 0, 0, INT32, i32(-999999999), 10, ""},  // the most digits converted unchecked
    {"0000000012", 0, 0, INT32, i32(12), 10, ""},        // ten digits go the checked way
    {"2147483647", 0, 0, INT32, i32(2147483647), 10, ""},
    {"2147483648", 0, 0, INT64, i64(2147483648), 10, ""},    // one past: needs 64 bits
    {"-2147483648", 0, 0, INT64, i64(-2147483648), 11, ""},  // reached only through 64 bits
    {"-9223372036854775808", 0, 0, INT64, i64(INT64_MIN), 20, ""},
    {"9223372036854775808", 0, BAD, INT64, {}, 19, ""},  // beyond 64 bits
    {"25000000000000000000", 0, BAD, INT64, {}, 20, ""}, // would wrap 64 bits
    {"1.", 0, 0, REAL, r64(1.0), 2, ""},
    {"9007199254740993.", 0, 0, REAL, r64(9007199254740992.0), 17, ""},  // past 2^53: the full conversion
    {"1e22", 0, 0, REAL, r64(1e22), 4, ""},               // the largest exact power of ten
    {"3e23", 0, 0, REAL, r64(3e23), 4, ""},               // beyond it: the full conversion
    {"-0.0e-30", 0, 0, REAL, r64(-0.0), 8, ""},           // zero keeps its sign at any exponent
    {".5", 0, 0, REAL, r64(0.5), 2, ""},
    {"1e5", 0, 0, REAL, r64(1e5), 3, ""},                // an exponent alone makes a real
    {"1D-5", 0, 0, REAL, r64(1e-5), 4, "1e-5"},          // D becomes e
    {"1.5+3", 0, 0, REAL, r64(1500.0), 5, ""},           // exponent without a letter
    {"1.5-3", 0, 0, REAL, r64(0.0015), 5, ""},
    {"1+3", 0, 0, REAL, r64(1000.0), 3, ""},             // makes an integer mantissa real
    {"5-", 0, 0, REAL, r64(5.0), 2, ""},                 // a sign alone adds nothing
    {"1.5e", 0, 0, REAL, r64(1.5), 4, "1.5 "},           // bare letter blanked, still scanned
    {"1.5d+", 0, 0, REAL, r64(1.5), 5, "1.5  "},         // letter and sign blanked
    {"1e400", 0, 0, REAL, r64(infinity), 5, ""},         // overflow is no error
    {"-1e-400", 0, 0, REAL, r64(-0.0), 7, ""},           // underflow to a signed zero
    {"1.5q3", 0, BAD, REAL, {}, 3, ""},                  // not a terminator
    {"1.5e3x", 0, BAD, REAL, {}, 5, ""},
    {"12abc", 0, BAD, INT32, {}, 2, ""},
    {"1.5.3", 0, BAD, REAL, {}, 3, ""},
    {"0x1A", 0, BAD, INT32, {}, 1, ""},                  // no hexadecimal
    {"+", 0, 0, EMPTY, i32(0), 1, ""},                   // no mantissa digit: empty, no error
    {"-.", 0, 0, EMPTY, i32(0), 2, ""},
    {"d-5", 0, 0, EMPTY, i32(0), 3, ""},                 // letter not rewritten without digits
    {".+7", 0, 0, EMPTY, i32(0), 3, ""},                 // a sign after the point, with digits
    {"+x", 0, BAD, EMPTY, {}, 1, ""},                    // empty but badly ended
    {"1,5", 1, 0, REAL, r64(1.5), 3, "1.5"},             // decimal comma becomes a full stop
    {"5,", 1, 0, REAL, r64(5.0), 2, "5."},
    {"1,5+3", 1, 0, REAL, r64(1500.0), 5, "1.5+3"},      // the work area sees the full stop
    {"1,5,3", 1, 0, REAL, r64(1.5), 3, "1.5,3"},         // a second comma ends the constant
    {"1.5", 1, BAD, INT32, {}, 1, ""},                   // full stop: neither symbol nor end
};

TEST(scan_numeric_constant, scans_and_converts) {
  for (const scan_case& c : scan_cases) {
    SCOPED_TRACE(c.text);
    std::string record{c.text};
    const io::numeric_scan result = scan(record, c.decimal_comma);
    EXPECT_EQ(result.error_code, c.error_code);
    EXPECT_EQ(result.scanned_length, c.scanned_length);
    EXPECT_EQ(record, c.record_after.empty() ? c.text : c.record_after);
    if (c.error_code != 0) continue;
    EXPECT_EQ(result.value_class, c.value_class);
    EXPECT_EQ(result.value.type, c.value.type);
    EXPECT_EQ(result.value.bits, c.value.bits);
  }
}

// The one-pass scanner of common constants takes what it can and declines the rest;
// what it takes must be exactly what the full scanner gives. The record carries the input
// buffer's 16 bytes of slack after its line feed.
// The record ends in the line feed of the input buffer, or in the carriage return of the
// stream's buffer: the same constants must be taken either way.
std::optional<io::numeric_scan> plain_scan(std::string_view text, bool decimal_comma = false,
                                           char record_end = '\n') {
  std::string record{text};
  record += record_end;
  record.append(16, '5');
  return io::scan_plain_constant(record.data(), record.data() + text.size(), decimal_comma);
}

void expect_same_scan(std::string_view text, bool decimal_comma) {
  const auto plain = plain_scan(text, decimal_comma);
  const auto plain_in_stream = plain_scan(text, decimal_comma, '\r');
  ASSERT_EQ(plain.has_value(), plain_in_stream.has_value()) << text;
  if (!plain) return;
  EXPECT_EQ(plain->scanned_length, plain_in_stream->scanned_length) << text;
  EXPECT_EQ(plain->value.bits, plain_in_stream->value.bits) << text;
  std::string record{text};
  const io::numeric_scan full = scan(record, decimal_comma);
  ASSERT_EQ(full.error_code, 0) << text;
  EXPECT_EQ(plain->scanned_length, full.scanned_length) << text;
  EXPECT_EQ(plain->value_class, full.value_class) << text;
  EXPECT_EQ(plain->value.type, full.value.type) << text;
  EXPECT_EQ(plain->value.bits, full.value.bits) << text;
}

TEST(scan_plain_constant, takes_common_constants_and_declines_the_rest) {
  struct plain_case {
    std::string_view text;
    bool decimal_comma;
    bool taken;
  };
  constexpr plain_case cases[] = {
      {"-1073741824 ", 0, true}, {"7", 0, true}, {"+12,3", 0, true}, {"2147483647/", 0, true},
      {"12345678;", 0, true},    {"123456789\t", 0, true},            {"0000000012", 0, true},
      {"-2147483648", 0, false},  // reached only through 64 bits
      {"2147483648", 0, false},   {"12345678901", 0, false},           {"3*4", 0, false},
      {"5)", 0, false},           {"5\r", 0, false},                   {".5", 0, false},
      {"4.4360271E-04", 0, true}, {"0.4436027    ", 0, true},          {"-7.5e+3,", 0, true},
      {"1.", 0, true},            {"1.e5", 0, true},                    {"1e22", 0, true},
      {"1e23", 0, false},         {"1e-22", 0, true},                   {"1e-23", 0, false},
      {"1.5e0001", 0, false},     {"1.5e", 0, false},                   {"1.5e+", 0, false},
      {"1D5", 0, false},          {"1.5+3", 0, false},                  {"1.5q", 0, false},
      {"123456789012345.", 0, true},  // fifteen digits: exact in a double
      {"1234567890123456.", 0, false}, {"0.00000000000000001", 0, false},
      {"1,5", 1, false},          {"15 ", 1, true},                     {"15,", 1, false},
  };
  for (const plain_case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(plain_scan(c.text, c.decimal_comma).has_value(), c.taken);
    expect_same_scan(c.text, c.decimal_comma);
  }
}

TEST(scan_plain_constant, agrees_with_the_full_scanner_on_random_constants) {
  std::mt19937 random{11};
  constexpr std::string_view ends{" \t/;,\n*)\rx", 11};
  const auto digits = [&random](std::size_t most) {
    std::string run(random() % (most + 1), '0');
    for (char& c : run) c = static_cast<char>('0' + random() % 10);
    return run;
  };
  for (int round = 0; round < 200000; ++round) {
    std::string text;
    if (random() % 3 == 0) text += "+-"[random() % 2];
    text += digits(random() % 2 == 0 ? 10 : 18);
    if (random() % 2 == 0) text += '.' + digits(random() % 2 == 0 ? 8 : 17);
    if (random() % 2 == 0) {
      text += "eEdD"[random() % 4];
      if (random() % 2 == 0) text += "+-"[random() % 2];
      text += digits(4);
    }
    text += ends[random() % ends.size()];
    expect_same_scan(text, random() % 4 == 0);
    if (HasFailure()) return;
  }
}

// Every byte after every way a constant can end: only the ten terminators pass.
TEST(scan_numeric_constant, accepts_exactly_the_terminator_set) {
  for (int byte = 0; byte < 256; ++byte) {
    const char next = static_cast<char>(byte);
    if ("0123456789+-eEdD."sv.find(next) != std::string_view::npos) continue;  // continues it
    const bool terminator = "\n\0,/; \t\r)*"sv.find(next) != std::string_view::npos;
    for (const std::string_view constant : {"5"sv, "5.5"sv, "5e"sv, "5+1"sv, "-"sv}) {
      std::string record = std::string{constant} + next + "9";
      EXPECT_EQ(scan(record).error_code, terminator ? 0 : BAD) << constant << " then " << byte;
    }
  }
}

// A huge constant fails soundly or converts; the work area grows for it and keeps
// serving short constants after.
TEST(scan_numeric_constant, handles_constants_of_any_length) {
  std::string record(100000, '7');
  EXPECT_EQ(scan(record).error_code, BAD);  // an integer beyond 64 bits
  record = "0." + std::string(99990, '0') + "25+99990";
  const io::numeric_scan result = scan(record);
  EXPECT_EQ(result.value.real64(), 0.25);
  EXPECT_EQ(result.scanned_length, record.size());
  record = "2-1";
  EXPECT_EQ(scan(record).value.real64(), 0.2);
}

// Whatever the bytes, the scan ends before the line feed, writes nowhere past where it
// ended, and only ever writes a full stop, an "e" or a blank.
TEST(scan_numeric_constant, stays_inside_the_record_on_any_bytes) {
  std::mt19937 random{7};
  constexpr std::string_view alphabet{"0123456789+-.,eEdDx \t/*\n\0\xff", 27};
  for (int round = 0; round < 200000; ++round) {
    std::string record(random() % 12, ' ');
    for (char& c : record) c = alphabet[random() % alphabet.size()];
    const std::string before = record + "\n";
    std::string buffer = before + "9999";
    const io::numeric_scan result = io::scan_numeric_constant(
        std::span<char>{buffer.data(), before.size()}, (round & 1) != 0);
    ASSERT_TRUE(result.error_code == 0 || result.error_code == BAD);
    ASSERT_LT(result.scanned_length, before.size());
    for (std::size_t i = 0; i < buffer.size(); ++i) {
      if (buffer[i] == (i < before.size() ? before[i] : '9')) continue;
      ASSERT_LT(i, result.scanned_length) << before;
      ASSERT_NE("e. "sv.find(buffer[i]), std::string_view::npos) << before;
    }
  }
}

// The real conversion must be exactly strtod's in the "C" locale: compared on random
// constants of every shape that converts, with mantissas of up to hundreds of digits,
// exponents near both ends of the range and exact halfway points between doubles.
TEST(scan_numeric_constant, converts_reals_as_c_locale_strtod) {
  setlocale(LC_ALL, "de_DE.UTF-8");  // a decimal-comma locale must change nothing
  const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
  std::mt19937_64 random{2024};
  const auto pick = [&](std::uint64_t n) { return random() % n; };
  char printed[1200];
  for (int round = 0; round < 60000; ++round) {
    std::string text;
    if (round % 3 == 0) {
      // A halfway point, printed exactly, or a hair either side of it.
      const double low = round == 0 ? std::numeric_limits<double>::max()
                                    : std::bit_cast<double>(random() & 0x7FEFFFFFFFFFFFFFu);
      const long double half_ulp = std::ldexp(1.0L, std::max(std::ilogb(low), -1022) - 53);
      uselocale(c_locale);
      std::snprintf(printed, sizeof printed, "%.*Le", int(pick(800)), low + half_ulp);
      uselocale(LC_GLOBAL_LOCALE);
      text = printed;
      if (pick(2) != 0) text[text.find('e') - 1] = static_cast<char>('0' + pick(10));
    } else {
      const std::size_t length = 1 + pick(pick(8) == 0 ? 780 : 25);
      for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('0' + pick(10));
      if (pick(4) != 0) text.insert(pick(length + 1), ".");
      constexpr int exponents[] = {-345, -330, -20, 0, 290, 305};
      text += "e" + std::to_string(exponents[pick(6)] + static_cast<int>(pick(30)));
    }
    if (pick(3) == 0) text.insert(0, pick(2) != 0 ? "-" : "+");
    // The same number with a D letter, or no letter (1.5+3), or a decimal comma.
    std::string record = text;
    const std::size_t letter = record.find('e');
    const std::uint64_t form = pick(4);
    if (form == 1) record[letter] = 'D';
    if (form == 2 && record[letter + 1] != '-' && record[letter + 1] != '+') record[letter] = '+';
    if (form == 2 && record[letter] == 'e') record.erase(letter, 1);
    const bool decimal_comma = pick(4) == 0;
    if (decimal_comma && record.find('.') != std::string::npos) record[record.find('.')] = ',';
    SCOPED_TRACE(record);
    errno = 0;
    const io::numeric_scan result = scan(record, decimal_comma);
    EXPECT_EQ(errno, 0);  // no ERANGE leaks out
    ASSERT_EQ(result.value_class, REAL);
    const double expected = strtod_l(text.c_str(), nullptr, c_locale);
    ASSERT_EQ(result.value.bits, std::bit_cast<std::uint64_t>(expected));
  }
  freelocale(c_locale);
  setlocale(LC_ALL, "C");
}

constexpr auto OK = io::conversion_status::CONVERSION_OK;
constexpr auto NOT_NUMBER = io::conversion_status::CONVERSION_NOT_A_NUMBER;
constexpr auto OVER = io::conversion_status::CONVERSION_OVERFLOW;
struct int_case {
  std::string_view text;
  io::conversion_status status32;
  std::int32_t value32;
  io::conversion_status status64;
  std::int64_t value64;
};
constexpr int_case int_cases[] = {
    {"2147483647", OK, 2147483647, OK, 2147483647},
    {"2147483648", OVER, -1, OK, 2147483648},           // bit 31 set
    {"-2147483647", OK, -2147483647, OK, -2147483647},
    {"-2147483648", OVER, -1, OK, -2147483648},         // the 32-bit range is symmetric
    {"4294967297", OVER, -1, OK, 4294967297},           // wraps 32 bits to 1
    {"42949672950", OVER, -1, OK, 42949672950},         // wraps below the previous value
    {"9223372036854775807", OVER, -1, OK, INT64_MAX},
    {"9223372036854775808", OVER, -1, OVER, -1},
    {"-9223372036854775808", OVER, -1, OK, INT64_MIN},  // the negative end reaches further
    {"-9223372036854775809", OVER, -1, OVER, -1},
    {"18446744073709551617", OVER, -1, OVER, -1},       // wraps 64 bits to 1
    {"  +00012", OK, 12, OK, 12},                       // leading blanks, plus, zeros
    {"0000000000000000000000042", OK, 42, OK, 42},      // more zeros than 64 bits have digits
    {"   ", NOT_NUMBER, 0, NOT_NUMBER, 0},              // blanks only
    {"-", NOT_NUMBER, 0, NOT_NUMBER, 0},                // sign only
    {"- 5", NOT_NUMBER, 0, NOT_NUMBER, 0},              // no blank after the sign
    {"99999999999x", OVER, -1, NOT_NUMBER, 0},          // overflow is seen before the x
};

TEST(text_to_int, converts_with_exact_overflow) {
  for (const int_case& c : int_cases) {
    SCOPED_TRACE(c.text);
    const io::int32_conversion narrow = io::text_to_int32(c.text);
    EXPECT_EQ(narrow.status, c.status32);
    EXPECT_EQ(narrow.value, c.value32);
    const io::int64_conversion wide = io::text_to_int64(c.text);
    EXPECT_EQ(wide.status, c.status64);
    EXPECT_EQ(wide.value, c.value64);
  }
}

struct value_case {
  scanned_value value;
  std::int32_t int32;
  std::int64_t int64;
  std::uint32_t real32_bits;
  double real64;
};
constexpr std::uint32_t inf32 = 0x7F800000u;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t big = (1LL << 60) + (1LL << 36) + 1;
constexpr value_case value_cases[] = {
    {i32(-5), -5, -5, 0xC0A00000u, -5.0},                    // sign-extended
    {io::scanned_logical(true), -1, -1, 0xBF800000u, -1.0},  // true is -1
    {i32(16777217), 16777217, 16777217, 0x4B800000u, 16777217.0},  // tie to even in a float
    {i64(4294967297), 1, 4294967297, 0x4F800000u, 4294967297.0},   // the low 32 bits
    {i64(big), 1, big, 0x5D800001u, 0x1.000001p60},          // one rounding, not two
    {i64((1LL << 53) + 1), 1, (1LL << 53) + 1, 0x5A000000u, 0x1p53},  // tie to even
    {r64(-3.7), -3, -3, 0xC06CCCCDu, -3.7},                  // truncated toward zero
    {r64(3.9), 3, 3, 0x4079999Au, 3.9},
    {r64(-2147483648.9), INT32_MIN, -2147483648, 0xCF000000u, -2147483648.9},  // in range
    {r64(2147483648.0), INT32_MIN, 2147483648, 0x4F000000u, 2147483648.0},
    {r64(0x1p63), INT32_MIN, INT64_MIN, 0x5F000000u, 0x1p63},  // beyond 64 bits too
    {r64(-1e39), INT32_MIN, INT64_MIN, 0xFF800000u, -1e39},    // beyond the float range
    {r64(0x1.ffffffp127), INT32_MIN, INT64_MIN, inf32, 0x1.ffffffp127},  // tie: infinity
    {r64(0x1.fffffefffffffp127), INT32_MIN, INT64_MIN, 0x7F7FFFFFu, 0x1.fffffefffffffp127},
    {r64(-1e-50), 0, 0, 0x80000000u, -1e-50},                // underflow keeps the sign
    {r64(1e-40), 0, 0, 0x000116C2u, 1e-40},                  // float subnormal
    {r64(nan), INT32_MIN, INT64_MIN, 0x7FC00000u, nan},      // no integer value
};

TEST(value_conversions, convert_to_item_widths) {
  for (const value_case& c : value_cases) {
    SCOPED_TRACE(c.real64);
    EXPECT_EQ(io::value_to_int32(c.value), c.int32);
    EXPECT_EQ(io::value_to_int64(c.value), c.int64);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(io::value_to_real32(c.value)), c.real32_bits);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(io::value_to_real64(c.value)),
              std::bit_cast<std::uint64_t>(c.real64));
  }
}

}  // namespace
