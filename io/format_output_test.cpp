// Formatted writes: every edit through internal writes, records on files and the console,
// non-advancing writes, each error code, the fatal report, hostile formats, steady state.
#include "format_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format_compiler.h"
#include "process_runner.h"
#include "record_io.h"
#include "statement.h"
#include "unit_helpers.h"
#include "units.h"

namespace {

template <io::format_text Text>
inline constexpr auto compiled = io::compile_format<Text>();
template <io::format_text Text>
constexpr std::span<const std::int32_t> fmt() {
  return compiled<Text>;
}

// One item as a program passes it: its type code and bytes, or its text.
struct item {
  std::int32_t type;
  std::array<unsigned char, 16> bytes{};
  std::string_view text{};
};

template <class T>
constexpr item scalar(std::int32_t type, T value) {
  item it{type};
  const auto raw = std::bit_cast<std::array<unsigned char, sizeof(T)>>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) it.bytes[i] = raw[i];
  return it;
}
constexpr item i1(std::int8_t v) { return scalar(TYPE_INTEGER1, v); }
constexpr item i4(std::int32_t v) { return scalar(TYPE_INTEGER4, v); }
constexpr item i8(std::int64_t v) { return scalar(TYPE_INTEGER8, v); }
constexpr item r4(float v) { return scalar(TYPE_REAL4, v); }
constexpr item r8(double v) { return scalar(TYPE_REAL8, v); }
constexpr item l4(bool v) { return scalar(TYPE_LOGICAL4, v ? -1 : 0); }
constexpr item w8(std::uint64_t v) { return scalar(TYPE_WORD8, v); }
constexpr item c8(float re, float im) {
  item it = scalar(TYPE_COMPLEX8, std::array<float, 2>{re, im});
  return it;
}
constexpr item text(std::string_view t) { return {TYPE_CHARACTER, {}, t}; }

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr std::int64_t int64_min = std::numeric_limits<std::int64_t>::min();

std::int32_t write_items(std::span<const item> items) {
  const std::int32_t one = 1;
  std::int32_t status = 0;
  for (const auto& it : items) {
    const void* address = it.type == TYPE_CHARACTER ? static_cast<const void*>(it.text.data())
                                                    : static_cast<const void*>(it.bytes.data());
    const std::int32_t s = fmt_write_item(&it.type, &one, nullptr, address,
                                          static_cast<std::int32_t>(it.text.size()));
    if (status == 0) status = s;
  }
  return status;
}

struct written {
  std::string records;  // one line per record, trailing blanks dropped
  std::int32_t status;
  std::int32_t iostat;
};

written internal_write(std::span<const std::int32_t> format, std::span<const item> items,
                       std::int32_t record_count = 1, std::int32_t record_length = 32) {
  std::string variable(static_cast<std::size_t>(record_count * record_length), '#');
  const std::int32_t flags = SPECIFIER_IOSTAT;
  std::int32_t iostat = -7;
  std::int32_t status = fmt_internal_write_begin(variable.data(), &record_count, &flags, &iostat,
                                                 format.data(), record_length);
  const std::int32_t item_status = write_items(items);
  const std::int32_t end_status = fmt_write_end();
  if (status == 0) status = item_status;
  if (status == 0) status = end_status;
  written result{"", status, iostat};
  for (std::int32_t r = 0; r < record_count; ++r) {
    std::string record = variable.substr(static_cast<std::size_t>(r * record_length),
                                         static_cast<std::size_t>(record_length));
    record.erase(record.find_last_not_of(' ') + 1);
    if (r > 0) result.records += '\n';
    result.records += record;
  }
  return result;
}

struct edit_case {
  std::span<const std::int32_t> format;
  std::initializer_list<item> items;
  std::string_view records;
};
const edit_case edit_cases[] = {
    // The program's total line.
    {fmt<"('The total area is ', F5.2)">(), {r4(1.0f)}, "The total area is  1.00"},   // a leading blank
    {fmt<"('The total area is ', F5.2)">(), {r4(12.345f)}, "The total area is 12.35"},  // stored above .345
    {fmt<"('The total area is ', F5.2)">(), {r4(99.999f)}, "The total area is *****"},  // rounds to 100.00
    {fmt<"('The total area is ', F5.2)">(), {r4(123.45f)}, "The total area is *****"},  // too wide as it is
    {fmt<"('The total area is ', F5.2)">(), {r4(-1.5f)}, "The total area is -1.50"},   // sign fits exactly
    {fmt<"('The total area is ', F5.2)">(), {r4(-0.001f)}, "The total area is  0.00"},  // no minus on zero
    // I, and G on an integer.
    {fmt<"(I5)">(), {i4(42)}, "   42"},                     // right-justified
    {fmt<"(I5.3)">(), {i4(7)}, "  007"},                     // m digits at least
    {fmt<"(I3)">(), {i4(1234)}, "***"},                      // too wide: asterisks, no error
    {fmt<"(I5.0, 'x')">(), {i4(0)}, "     x"},               // m = 0 shows zero as blanks
    {fmt<"(I0, 'x')">(), {i4(-17)}, "-17x"},                 // minimal width
    {fmt<"(I0.14)">(), {i4(5)}, "00000000000005"},           // m past the minimal width
    {fmt<"(I0)">(), {i8(int64_min)}, "-9223372036854775808"},  // the widest 64-bit value
    {fmt<"(I)">(), {i4(25)}, "          25"},               // default widths by size: 12,
    {fmt<"(I)">(), {i1(-5)}, "     -5"},                    // 7 for one or two bytes,
    {fmt<"(I)">(), {i8(int64_min)}, "    -9223372036854775808"},  // 24 for eight
    {fmt<"(SP, I3, SS, I3, SP, S, I3)">(), {i4(1), i4(2), i4(3)}, " +1  2  3"},  // SP until S or SS
    {fmt<"(G6.2)">(), {i4(42)}, "    42"},                   // G on an integer is I
    {fmt<"(I3)">(), {l4(true)}, " -1"},                      // a logical's value, stored as -1
    // F.
    {fmt<"(F4.2)">(), {r4(-0.5f)}, "-.50"},                  // one too wide: the leading 0 goes
    {fmt<"(F)">(), {r4(0.5f)}, "      0.5000000"},           // the 32-bit defaults 15.7
    {fmt<"(F0.2)">(), {r4(3.14159f)}, "3.14"},               // minimal width
    {fmt<"(F0.1)">(), {r8(1e25)}, "10000000000000000000000000.0"},  // never asterisks
    {fmt<"(2P, F8.2)">(), {r4(1.5f)}, "  150.00"},           // the scale factor multiplies
    {fmt<"(DC, F5.1, DP, F5.1)">(), {r4(1.5f), r4(1.5f)}, "  1,5  1.5"},  // decimal comma and back
    {fmt<"(F5.2)">(), {r8(-inf)}, " -Inf"},                  // no digits to round
    // E, EN, ES, D, G.
    {fmt<"(E12.4)">(), {r8(1234.5)}, "  0.1235E+04"},        // rounded to d digits
    {fmt<"(E10.0)">(), {r4(1.5f)}, "**********"},            // d = 0 shows no digit: asterisks
    {fmt<"(1PE12.4)">(), {r8(1234.5)}, "  1.2345E+03"},      // k digits before the point
    {fmt<"(E12.4E3)">(), {r8(1234.5)}, " 0.1235E+004"},      // the -23 marker and e
    {fmt<"(E)">(), {r4(0.5f)}, "  0.5000000E+00"},          // the 32-bit defaults 15.7E2
    {fmt<"(EN12.3)">(), {r8(12345.0)}, "  12.345E+03"},      // exponent a multiple of 3
    {fmt<"(ES12.3)">(), {r8(12345.0)}, "   1.235E+04"},      // one digit before the point
    {fmt<"(D12.4)">(), {r8(1234.5)}, "  0.1235D+04"},        // the letter D
    {fmt<"(D8.0)">(), {r8(2.5)}, "********"},                // d = 0 here too
    {fmt<"(G12.4, 'x')">(), {r8(1.5)}, "   1.500    x"},      // fixed form, then e + 2 blanks
    {fmt<"(G12.4)">(), {r8(1.5e10)}, "  0.1500E+11"},        // too large for the fixed form
    {fmt<"(G5.1)">(), {text("abc")}, "  abc"},                // G on text is A
    {fmt<"(G3.1)">(), {l4(true)}, "  T"},                     // and on a logical L
    // L.
    {fmt<"(L3)">(), {l4(true)}, "  T"},                       // right-justified
    {fmt<"(L, 'x')">(), {l4(false)}, " Fx"},                  // L alone is L2
    {fmt<"(L1)">(), {i4(3)}, "T"},                            // the lowest bit of an integer
    // A.
    {fmt<"(A)">(), {text("abc")}, "abc"},                     // the item's length
    {fmt<"(A5)">(), {text("abc")}, "  abc"},                  // blanks before
    {fmt<"(A2)">(), {text("abc")}, "ab"},                     // the first w characters
    {fmt<"(A)">(), {i4(0x44434241)}, "ABCD"},                 // a number's bytes
    {fmt<"('abcdefgh', T1, A6)">(), {text("xy")}, "    xygh"},  // the padding overwrites
    // Z, O, B.
    {fmt<"(Z)">(), {i4(255)}, "          FF"},               // 12 wide for 4 bytes
    {fmt<"(Z4)">(), {i4(255)}, "  FF"},                       // leading zeros dropped
    {fmt<"(Z4.3)">(), {i4(255)}, " 0FF"},                     // down to m digits
    {fmt<"(Z2)">(), {i4(0x1234)}, "**"},                      // too many digits
    {fmt<"(Z4.0, 'x')">(), {i4(0)}, "    x"},                 // m = 0: zero is blanks
    {fmt<"(Z)">(), {text("AB")}, "4241"},                     // first byte least significant
    {fmt<"(Z3)">(), {i1(-1)}, " FF"},                         // one byte, no sign extension
    {fmt<"(Z)">(), {i8(-1)}, "       FFFFFFFFFFFFFFFF"},     // 23 wide for 8 bytes
    {fmt<"(O)">(), {i4(8)}, "          10"},                 // radix 8
    {fmt<"(O)">(), {i4(-1)}, " 37777777777"},                // the top digit has two bits
    {fmt<"(B8)">(), {i4(5)}, "     101"},                     // radix 2
    {fmt<"(B8.8)">(), {i4(5)}, "00000101"},                   // with m leading zeros
    // Position edits.
    {fmt<"('abcdef', T3, 'X')">(), {}, "abXdef"},            // T back overwrites
    {fmt<"('abc', TL2, 'Z')">(), {}, "aZc"},                  // TL back
    {fmt<"('abc', TL9, 'Z')">(), {}, "Zbc"},                  // TL stops at the first column
    {fmt<"('a', 3X, 'b')">(), {}, "a   b"},                  // as TR3
    {fmt<"('ab', T10, 'c')">(), {}, "ab       c"},           // T forward leaves blanks
    {fmt<"(3Habc)">(), {}, "abc"},                            // the -40 literal
    {fmt<"('a', $)">(), {}, "a"},                             // "$" does nothing to a variable
    {fmt<"()">(), {}, ""},                                    // a blank record
    // Counts, groups, reversion, slash, colon, Q.
    {fmt<"(3F5.2)">(), {r4(1.0f), r4(2.0f), r4(3.0f)}, " 1.00 2.00 3.00"},  // side by side
    {fmt<"('a', 2('b', I1), 'c')">(), {i4(1), i4(2)}, "ab1b2c"},  // a group twice
    {fmt<"(2(I3))">(), {i4(1), i4(2), i4(3)}, "  1  2\n  3"},       // reversion takes the count again
    {fmt<"(I2, (I3))">(), {i4(1), i4(2), i4(3), i4(4)}, " 1  2\n  3\n  4"},  // to the last group
    {fmt<"(I2/I2)">(), {i4(1), i4(2)}, " 1\n 2"},            // a slash ends the record
    {fmt<"('a'/)">(), {}, "a\n"},                             // the record after a slash is written
    {fmt<"(I2, :, 'x')">(), {i4(1)}, " 1"},                   // no items left: stop at the colon
    {fmt<"(I2, 'x')">(), {i4(1)}, " 1x"},                     // without it the literal goes out
    {fmt<"(Q, I2)">(), {i4(1), i4(2)}, " 2"},                 // Q takes an item, writes nothing
    {fmt<"(2F6.2)">(), {c8(1.5f, -2.0f)}, "  1.50 -2.00"},     // a complex is two reals
};

TEST(fmt_write, lays_out_every_edit) {
  for (std::size_t i = 0; i < std::size(edit_cases); ++i) {
    const auto& c = edit_cases[i];
    SCOPED_TRACE(testing::Message() << "row " << i << ": " << c.records);
    const std::vector<item> items(c.items);
    const std::int32_t records = static_cast<std::int32_t>(std::count(c.records.begin(), c.records.end(), '\n')) + 1;
    const written w = internal_write(c.format, items, records);
    EXPECT_EQ(w.records, c.records);
    EXPECT_EQ(w.status, 0);
    EXPECT_EQ(w.iostat, 0);
  }
}

TEST(fmt_write, leaves_records_no_text_reached) {
  const item one = i4(1);
  // The end of format ends record 1; record 2 is never written.
  EXPECT_EQ(internal_write(fmt<"(I2)">(), {&one, 1}, 2, 4).records, " 1\n####");
}

TEST(fmt_write, takes_counts_strides_and_complex_by_value) {
  std::string variable(24, '#');
  const std::int32_t records = 1, flags = 0, type = TYPE_INTEGER4, three = 3, stride = 8;
  const std::int32_t values[] = {1, -1, 2, -1, 3, -1};
  ASSERT_EQ(fmt_internal_write_begin(variable.data(), &records, &flags, nullptr,
                                     fmt<"(3I2, 2F6.2)">().data(), 24),
            0);
  EXPECT_EQ(fmt_write_item(&type, &three, &stride, values, 0), 0);
  EXPECT_EQ(fmt_write_complex8(std::bit_cast<std::uint32_t>(1.5f), std::bit_cast<std::uint32_t>(-2.0f)), 0);
  EXPECT_EQ(fmt_write_end(), 0);
  EXPECT_EQ(variable, " 1 2 3  1.50 -2.00      ");

  const std::int32_t two = 2;
  ASSERT_EQ(fmt_internal_write_begin(variable.data(), &two, &flags, nullptr,
                                     fmt<"(F4.1, F5.1)">().data(), 12),
            0);
  EXPECT_EQ(fmt_write_complex16(0.5, 8.25), 0);
  EXPECT_EQ(fmt_write_scalar(std::bit_cast<std::uint32_t>(2.5f), TYPE_REAL4), 0);  // reverts
  EXPECT_EQ(fmt_write_end(), 0);
  EXPECT_EQ(variable, " 0.5  8.3    2.5        ");  // 8.25 rounds half up
}

// Hand-made words for what the compiler never writes.
constexpr std::int32_t literal_a = 'a';
constexpr std::int32_t max_count = std::numeric_limits<std::int32_t>::max();

// 21 nested groups with a count of 2: one more repeat entry than the stack holds.
constexpr auto too_deep = [] {
  std::array<std::int32_t, 21 * 3 + 3> words{};
  for (std::size_t g = 0; g < 21; ++g) {
    words[3 * g] = 0;
    words[3 * g + 1] = 2;
    words[3 * g + 2] = FORMAT_GROUP;
  }
  words[63] = FORMAT_I;
  words[64] = FORMAT_END;
  words[65] = 0;
  return words;
}();
static_assert(too_deep.size() == 66);

// (2147483647(2147483647(TR1, TL1))): no edit ever takes the item.
constexpr std::int32_t endless_words[] = {0, max_count, FORMAT_GROUP,      // 0..2
                                          0, max_count, FORMAT_GROUP,      // 3..5
                                          FORMAT_TR, 0, 1, FORMAT_TL, 0, 1,  // 6..11
                                          FORMAT_GROUP_END, 6, FORMAT_GROUP_END, 3, FORMAT_END, 0};

struct error_case {
  std::span<const std::int32_t> format;
  std::initializer_list<item> items;
  std::int32_t iostat;
  std::int32_t record_length = 32;
  std::int32_t record_count = 4;
};
constexpr std::int32_t code_23[] = {FORMAT_EXPONENT_WIDTH, FORMAT_END, 0};
constexpr std::int32_t code_41[] = {FORMAT_INVALID1, FORMAT_END, 0};
constexpr std::int32_t code_42[] = {FORMAT_INVALID2, FORMAT_END, 0};
constexpr std::int32_t code_44[] = {FORMAT_ERROR, FORMAT_END, 0};
constexpr std::int32_t code_47[] = {-47, FORMAT_END, 0};
constexpr std::int32_t code_after_count[] = {0, 2, 5, FORMAT_END, 0};
constexpr std::int32_t bad_reversion[] = {FORMAT_LITERAL, 1, literal_a, FORMAT_END, 99};
constexpr std::int32_t unknown_routine[] = {FORMAT_I_W, 1, 1000, 0, 1, FORMAT_END, 0};
constexpr std::int32_t big_scale[] = {FORMAT_SCALE, 0, 200, FORMAT_END, 0};
constexpr std::int32_t t_zero[] = {FORMAT_T, 0, 0, FORMAT_END, 0};
constexpr std::int32_t tl_zero[] = {FORMAT_TL, 0, 0, FORMAT_END, 0};
constexpr std::int32_t x_negative[] = {FORMAT_X, 0, -1, FORMAT_END, 0};
constexpr std::int32_t count_zero[] = {0, 0, FORMAT_I, FORMAT_END, 0};
constexpr std::int32_t count_negative[] = {0, -3, FORMAT_I, FORMAT_END, 0};

const error_case error_cases[] = {
    {fmt<"('abc')">(), {i4(1)}, 246},                    // literals only: the end is met twice
    {endless_words, {i4(1)}, 246},                       // a loop that never reaches an edit
    {fmt<"(F5.2)">(), {i4(1)}, 235},                     // an integer under F
    {fmt<"(E12.4)">(), {l4(true)}, 235},                 // a logical under E
    {fmt<"(I5)">(), {r4(1.0f)}, 235},                    // a real under I
    {fmt<"(L2)">(), {r4(1.0f)}, 235},                    // and under L
    {fmt<"(I5)">(), {text("1")}, 235},                   // text under I
    {fmt<"(D9.2)">(), {text("1")}, 235},                 // and under D
    {fmt<"(A)">(), {w8(1)}, 235},                        // a type the edits do not take
    {fmt<"(I5)">(), {i4(1)}, 219, 3},                    // the field is longer than the record
    {fmt<"(I2/I2)">(), {i4(1), i4(2)}, 220, 32, 1},      // a text past the last record
    {fmt<"('a'/)">(), {}, 220, 32, 1},                   // a record ended past the last one
    {fmt<"(A2147483647)">(), {text("x")}, 219},          // a huge width is a record overflow
    {code_23, {i4(1)}, 234},                             // the exponent marker met as a code
    {code_41, {i4(1)}, 234},                             // two codes that are always invalid
    {code_42, {i4(1)}, 234},
    {code_44, {i4(1)}, 234},                             // the fetch's error marker written in
    {code_47, {i4(1)}, 234},                             // beyond the last code
    {code_after_count, {i4(1)}, 234},                    // a count before a count
    {bad_reversion, {i4(1)}, 234},                       // reversion past the end marker
    {unknown_routine, {i4(1)}, 234},                     // a routine never registered
    {big_scale, {i4(1)}, 230},                           // 200P
    {t_zero, {i4(1)}, 238},                              // T0
    {tl_zero, {i4(1)}, 238},                             // TL0
    {x_negative, {i4(1)}, 238},                          // a negative X
    {too_deep, {i4(1)}, 243},                            // the 21st repeat entry
    {count_zero, {i4(1)}, 254},                          // repeat count 0
    {count_negative, {i4(1)}, 254},                      // and below
};

TEST(fmt_write, returns_each_error_with_iostat) {
  for (std::size_t i = 0; i < std::size(error_cases); ++i) {
    const auto& c = error_cases[i];
    SCOPED_TRACE(testing::Message() << "row " << i << ": " << c.iostat);
    const std::vector<item> items(c.items);
    const written w = internal_write(c.format, items, c.record_count, c.record_length);
    EXPECT_EQ(w.status, 1);
    EXPECT_EQ(w.iostat, c.iostat);
  }
}

TEST(fmt_write, stops_a_literal_only_format_after_two_records) {
  const item one = i4(1);
  const written w = internal_write(fmt<"('abc')">(), {&one, 1}, 3, 4);
  EXPECT_EQ(w.records, "abc\nabc\n####");
  EXPECT_EQ(w.iostat, 246);
}

TEST(fmt_write, rejects_a_missing_format) {
  char variable[8];
  const std::int32_t records = 1, flags = SPECIFIER_IOSTAT;
  std::int32_t iostat = 0;
  EXPECT_EQ(fmt_internal_write_begin(variable, &records, &flags, &iostat, nullptr, 8), 1);
  EXPECT_EQ(iostat, 234);
  EXPECT_EQ(fmt_write_scalar(1, TYPE_INTEGER4), 1);  // the statement stays failed
  EXPECT_EQ(fmt_write_end(), 1);
}

TEST(fmt_write, reads_no_word_outside_a_bounded_format) {
  struct bounded_case {
    std::vector<std::int32_t> words;
    item value;
    const char* why;
  };
  const bounded_case cases[] = {
      {{FORMAT_LITERAL, 100, literal_a}, i4(1), "a literal longer than the words"},
      {{FORMAT_X, 0, 1}, i4(1), "no end marker"},
      {{FORMAT_I_W, 0}, i4(1), "operands cut short"},
      {{FORMAT_E_W, 0, 9, 0, 2}, r8(1.0), "nothing after E's operands"},
      {{}, i4(1), "no words at all"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    // Exactly sized, so the sanitizer sees a read past the end.
    auto* words = static_cast<std::int32_t*>(std::malloc(c.words.size() * sizeof(std::int32_t) + 1));
    std::copy(c.words.begin(), c.words.end(), words);
    char variable[16];
    std::int32_t iostat = 0;
    io::fmt_internal_write_begin(variable, 1, SPECIFIER_IOSTAT, &iostat,
                                 std::span<const std::int32_t>(words, c.words.size()), 16);
    io::fmt_write_item(c.value.type, 1, 0, c.value.bytes.data(), 0);
    EXPECT_EQ(io::fmt_write_end(), 1);
    EXPECT_EQ(iostat, 234);
    std::free(words);
  }
}

std::int32_t width_seven() { return 7; }
std::int32_t count_two() { return 2; }

TEST(fmt_write, calls_registered_routines_for_operands) {
  const std::int32_t width = fmt_register_operand(width_seven);
  const std::int32_t count = fmt_register_operand(count_two);
  ASSERT_GE(width, 0);
  EXPECT_EQ(fmt_register_operand(width_seven), width);  // registered once
  EXPECT_EQ(fmt_register_operand(nullptr), -1);
  const std::int32_t words[] = {1, count, FORMAT_I_W, 1, width, 0, 1, FORMAT_END, 0};
  const item items[] = {i4(1), i4(2), i4(3)};
  EXPECT_EQ(internal_write(words, items, 2).records, "      1      2\n      3");
}

// Every record written to a file, byte for byte.
struct write_statement {
  std::span<const std::int32_t> format;
  std::initializer_list<item> items;
  bool non_advancing = false;
};
struct file_case {
  std::initializer_list<write_statement> statements;
  std::string_view file;
};
const file_case file_cases[] = {
    {{{fmt<"('ab', 3X)">(), {}}}, "ab\r\n"},                          // X adds nothing at the end
    {{{fmt<"('abcdef', T2, 'Z')">(), {}}}, "aZcdef\r\n"},             // T back overwrites
    {{{fmt<"('abcdef', TL3)">(), {}}}, "abcdef\r\n"},                  // the whole record goes out
    {{{fmt<"()">(), {}}}, "\r\n"},                                     // an empty record
    {{{fmt<"('a'/)">(), {}}}, "a\r\n\r\n"},
    {{{fmt<"(I2, :, 'x')">(), {i4(1)}}}, " 1\r\n"},
    {{{fmt<"('The total area is ', F5.2)">(), {r4(12.345f)}}}, "The total area is 12.35\r\n"},
    {{{fmt<"('abc', $)">(), {}}, {fmt<"('def')">(), {}}}, "abcdef\r\n"},  // "$" keeps it open
    // Non-advancing writes, then another write.
    {{{fmt<"('abc')">(), {}, true}, {fmt<"('def')">(), {}}}, "abcdef\r\n"},
    {{{fmt<"('abcdef', TL3)">(), {}, true}, {fmt<"('XY')">(), {}}}, "abcXYf\r\n"},  // the tail waits
    {{{fmt<"('ab', 2X)">(), {}, true}, {fmt<"('c')">(), {}}}, "ab  c\r\n"},
    {{{fmt<"('a', /, 'b')">(), {}, true}, {fmt<"('c')">(), {}}}, "a\r\nbc\r\n"},  // slash ends a record
    {{{fmt<"(I2)">(), {i4(1), i4(2)}, true}}, " 1\r\n 2\r\n"},                 // and so does reversion
    {{{fmt<"('abc')">(), {}, true}}, "abc\r\n"},                                // closing ends it
    {{{fmt<"('abcdef', TL3)">(), {}, true}}, "abcdef\r\n"},                     // with its tail
    {{{fmt<"('a', I2, 'b')">(), {}, true}, {fmt<"('c')">(), {}}}, "ac\r\n"},   // stops at a data edit
};

struct file_unit {
  test::temp_dir dir;
  std::int32_t unit;
  std::string name;
  explicit file_unit(std::int32_t number, std::int32_t recl = 0) : unit{number}, name{(dir / "out.txt").string()} {
    std::int32_t iostat = 0;
    io::io_statement_begin(unit, SPECIFIER_IOSTAT, &iostat, io::KIND_OPEN);
    io::connect_request request;
    request.name = name;
    if (recl > 0) {
      request.access = io::access_code::ACCESS_DIRECT;
      request.recl = recl;
    }
    EXPECT_EQ(io::connect_unit(unit, request), 0);
  }
  std::string close() {
    test::close_unit_number(unit);
    return dir.read("out.txt");
  }
  std::int32_t write(std::span<const std::int32_t> format, std::span<const item> items,
                     const char* advance = nullptr, const std::int32_t* record = nullptr,
                     std::int32_t* iostat = nullptr) {
    const std::int32_t flags = iostat != nullptr ? SPECIFIER_IOSTAT : 0;
    std::int32_t status = fmt_write_begin(&unit, record, &flags, iostat, format.data(), advance,
                                          advance != nullptr ? static_cast<std::int32_t>(std::strlen(advance)) : 0);
    const std::int32_t item_status = write_items(items);
    const std::int32_t end_status = fmt_write_end();
    if (status == 0) status = item_status;
    return status != 0 ? status : end_status;
  }
};

TEST(fmt_write, writes_records_to_a_file) {
  for (std::size_t i = 0; i < std::size(file_cases); ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i);
    file_unit file(40);
    for (const auto& s : file_cases[i].statements) {
      const std::vector<item> items(s.items);
      EXPECT_EQ(file.write(s.format, items, s.non_advancing ? "no  " : nullptr), 0);
    }
    EXPECT_EQ(file.close(), file_cases[i].file);
  }
}

TEST(fmt_write, writes_direct_access_records_whole) {
  file_unit file(41, 6);
  const std::int32_t first = 1, third = 3;
  EXPECT_EQ(file.write(fmt<"('ab')">(), {}, nullptr, &first), 0);
  EXPECT_EQ(file.write(fmt<"('cd'/'ef')">(), {}, nullptr, &third), 0);
  EXPECT_EQ(io::find_unit(41)->record_count, 4);  // the slash wrote record 4
  std::int32_t iostat = 0;
  EXPECT_EQ(file.write(fmt<"('abcdefg')">(), {}, nullptr, &first, &iostat), 1);
  EXPECT_EQ(iostat, 219);
  EXPECT_EQ(file.write(fmt<"('a')">(), {}, "NO", &first, &iostat), 1);
  EXPECT_EQ(iostat, 202);  // no non-advancing on a direct-access unit
  EXPECT_EQ(file.close(), std::string("ab    ") + std::string(6, '\0') + "cd    ef    ");
}

TEST(fmt_write, refuses_absurd_external_records) {
  file_unit file(42);
  std::int32_t iostat = 0;
  const item x = text("x");
  EXPECT_EQ(file.write(fmt<"(A2147483647)">(), {&x, 1}, nullptr, nullptr, &iostat), 1);
  EXPECT_EQ(iostat, 210);
  EXPECT_EQ(file.write(fmt<"(2147483647X, 2147483647X, 'a')">(), {}, nullptr, nullptr, &iostat), 1);
  EXPECT_EQ(iostat, 210);
  // The failed statements leave nothing behind for the next one.
  EXPECT_EQ(file.write(fmt<"('b', 3X)">(), {}), 0);
  EXPECT_EQ(file.close(), "b\r\n");
}

// Random words never make the interpreter read outside them, hang or leave a status unknown.
TEST(fmt_write, survives_random_formats) {
  std::mt19937 random(20240613);
  const std::int32_t known[] = {0, 210, 219, 220, 230, 234, 235, 238, 243, 246, 254};
  std::uniform_int_distribution<int> code(-48, 3);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::int32_t> words(1 + random() % 24);
    for (auto& w : words) {
      switch (random() % 4) {
        case 0: w = static_cast<std::int32_t>(random() % 6); break;  // small operands
        case 1: w = static_cast<std::int32_t>(random()); break;      // anything
        default: w = code(random); break;
      }
    }
    if (random() % 2 == 0) {
      words.push_back(FORMAT_END);
      words.push_back(static_cast<std::int32_t>(random() % words.size()));
    }
    std::array<char, 48> variable{};
    variable.fill('#');
    std::int32_t iostat = 0;
    io::fmt_internal_write_begin(variable.data() + 8, 2, SPECIFIER_IOSTAT, &iostat, words, 16);
    const item items[] = {i4(7), r4(1.5f), text("abc"), l4(true)};
    for (const auto& it : items) {
      const void* address = it.type == TYPE_CHARACTER ? static_cast<const void*>(it.text.data())
                                                      : static_cast<const void*>(it.bytes.data());
      io::fmt_write_item(it.type, 1, 0, address, static_cast<std::int32_t>(it.text.size()));
    }
    io::fmt_write_end();
    ASSERT_NE(std::find(std::begin(known), std::end(known), iostat), std::end(known)) << iostat;
    for (std::size_t i = 0; i < 8; ++i) ASSERT_EQ(variable[i], '#');   // nothing before the variable
    for (std::size_t i = 40; i < 48; ++i) ASSERT_EQ(variable[i], '#');  // or after it
  }
}

// The console and the options, in a child process.
struct console_case {
  std::vector<std::string> operations;
  std::string fortranopt;
  std::string standard_output;  // LF stands for CR LF in records
  const char* why;
};

TEST(fmt_write, writes_to_the_console) {
  const console_case cases[] = {
      {{"w6:total:r12.345"}, "", "The total area is 12.35\r\n", "the program's line"},
      {{"n6:a:aabc", "w6:i3x:i5"}, "", "abc  5x\r\n", "non-advancing, then advancing"},
      {{"w6:a$:aabc", "w6:a:adef"}, "", "abcdef\r\n", "$ keeps the record open"},
      {{"w6:a$:aabc", "w6:a:adef"}, "vaxio", "abc\r\ndef\r\n", "vaxio: not after a letter"},
      {{"w6:a$:a abc", "w6:a:adef"}, "vaxio", " abcdef\r\n", "vaxio: after a blank"},
      {{"w6:f8.3:i1065353216"}, "format_relaxed", "   1.000\r\n", "an integer's bits as a real"},
      {{"w6:i:r1"}, "format_relaxed", "  1065353216\r\n", "a real's bits in width 12"},
      {{"f1", "w6:f8.3:i5", "w6:i5:i5"}, "", "status=1 iostat=235\n    5\r\n",
       "235 returned, and the next statement goes on"},
      {{"w6:a$:aabc", "w6:6pe:r1.5,r1.5"}, "",
       "abcconv_e: illegal scale factor\n[************]\r\n"
       "conv_e: illegal scale factor\n[************]\r\n",
       "the scale-factor notice comes as each field is made, before its record"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    test::run_options options;
    options.arguments = c.operations;
    options.unset_environment = {"LANG", "TKA_TERM", "FORTRANOPT"};
    if (!c.fortranopt.empty()) options.environment = {{"FORTRANOPT", c.fortranopt}};
    const auto result = test::run_program("tp_fmt_probe", options);
    EXPECT_EQ(result.standard_output, c.standard_output);
    EXPECT_EQ(result.standard_error, "");
    EXPECT_EQ(result.exit_status, 0);
  }
}

TEST(fmt_write, reports_a_fatal_error_byte_for_byte) {
  struct fatal_case {
    std::vector<std::string> operations;
    std::string standard_error;
  };
  const fatal_case cases[] = {
      {{"l9", "w6:f8.3:i5"},
       "TKFIO-F-235/formatted write/unit=6/edit descriptor does not match item type.\r\n"
       " File name = stdout    formatted, sequential access   record = 1\r\n"
       " In source file fmt_probe.f, at line number 9\r\n"},
      {{"l3", "w9:i5:i1", "l4", "w9:l2:r2"},
       "TKFIO-F-235/formatted write/unit=9/edit descriptor does not match item type.\r\n"
       " File name = fort.9    formatted, sequential access   record = 2\r\n"
       " In source file fmt_probe.f, at line number 4\r\n"},
  };
  for (const auto& c : cases) {
    test::temp_dir dir;
    test::run_options options;
    options.arguments = c.operations;
    options.directory = dir.path();
    options.unset_environment = {"LANG", "TKA_TERM", "FORTRANOPT", "FOR009"};
    const auto result = test::run_program("tp_fmt_probe", options);
    EXPECT_EQ(result.standard_error, c.standard_error);
    EXPECT_EQ(result.standard_output, "");
    EXPECT_EQ(result.exit_status, 127);
  }
}

}  // namespace
