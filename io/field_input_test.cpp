// Tests of one field read under a data edit: each edit against its rules, the blank modes, the
// implied fraction and the scale factor, the items each edit takes, the widths of edits
// written without one, and round trips through formatted output.
#include "field_input.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "format_fields.h"
#include "record_io.h"

namespace {

constexpr std::uint32_t BZ = 1, DC = 2, RELAXED = 4;
constexpr std::int32_t BAD = 231, MISMATCH = 235, NOT_DATA = 234;

constexpr std::uint64_t r64(double value) { return std::bit_cast<std::uint64_t>(value); }

io::input_modes modes_of(std::int32_t scale, std::uint32_t flags) {
  return {scale, (flags & DC) != 0, (flags & BZ) != 0, (flags & RELAXED) != 0};
}

// A field read into a numeric item; the width is the field's size. A bare code (FORMAT_F,
// ...) stands for the descriptor written without a width.
struct field_case {
  std::string_view field;
  std::int32_t code;
  std::int32_t digits;
  std::int32_t type;
  std::int32_t scale;
  std::uint32_t modes;
  std::int32_t error;
  std::uint64_t bits;  // the item's bytes, the lowest-addressed byte lowest
};

constexpr std::int32_t I = FORMAT_I_W, F = FORMAT_F_W, E = FORMAT_E_W, D = FORMAT_D_W, G = FORMAT_G_W,
                       L = FORMAT_L_W, Z = FORMAT_Z_W, O = FORMAT_O_W, B = FORMAT_B_W;
constexpr std::int32_t INT1 = TYPE_INTEGER1, INT2 = TYPE_INTEGER2, INT4 = TYPE_INTEGER4,
                       INT8 = TYPE_INTEGER8, LOG1 = TYPE_LOGICAL1, LOG4 = TYPE_LOGICAL4,
                       LOG8 = TYPE_LOGICAL8, WORD = TYPE_WORD4, REAL4 = TYPE_REAL4,
                       REAL8 = TYPE_REAL8, QUAD = TYPE_REAL16;

constexpr field_case field_cases[] = {
    // I: sign, digits, the blank modes, and the free-form reader's overflow rules.
    {"  -12", I, 0, INT4, 0, 0, 0, 0xFFFFFFF4},
    {"     ", I, 0, INT4, 0, 0, 0, 0},             // blanks only: zero
    {"", I, 0, INT4, 0, 0, 0, 0},                  // I0 takes nothing: zero
    {"   + ", I, 0, INT4, 0, 0, BAD, 0},           // a sign alone
    {"1 2 ", I, 0, INT4, 0, 0, 0, 12},             // BN: blanks ignored
    {"1 2 ", I, 0, INT4, 0, BZ, 0, 1020},          // BZ: blanks after the first digit are zeros
    {"  -  ", I, 0, INT4, 0, BZ, 0, 0},            // BZ: the padding after a sign is a zero
    {"5-", I, 0, INT4, 0, 0, BAD, 0},
    {"1.5", I, 0, INT4, 0, 0, BAD, 0},
    {"1e3", I, 0, INT4, 0, 0, BAD, 0},
    {"1\t", I, 0, INT4, 0, 0, BAD, 0},             // a tab is not a blank
    {std::string_view{"1\0", 2}, I, 0, INT4, 0, 0, BAD, 0},  // nor is a zero byte an end
    {"2147483648", I, 0, INT4, 0, 0, 0, 0x80000000},   // 64-bit value narrowed, as free-form
    {"-2147483648", I, 0, INT8, 0, 0, 0, 0xFFFFFFFF80000000},
    {"9223372036854775807", I, 0, INT8, 0, 0, 0, 0x7FFFFFFFFFFFFFFF},
    {"9223372036854775808", I, 0, INT8, 0, 0, BAD, 0},  // beyond 64 bits
    {"-9223372036854775808", I, 0, INT8, 0, 0, 0, 0x8000000000000000},
    {"000000000000000000000000000001", I, 0, INT4, 0, 0, 0, 1},  // zeros are not digits that count
    {"300", I, 0, INT1, 0, 0, 0, 44},              // low 8 bits of the 32-bit value
    {"70000", I, 0, INT2, 0, 0, 0, 4464},
    {"-1", I, 0, LOG8, 0, 0, 0, 0xFFFFFFFF},       // zero-extended into a 64-bit logical
    {"-1", I, 0, WORD, 0, 0, 0, 0xFFFFFFFF},       // a typeless word takes the 32-bit value
    {"12", G, 3, INT4, 0, 0, 0, 12},               // G on an integer is I
    {"1", I, 0, REAL4, 0, 0, MISMATCH, 0},
    {"1", I, 0, REAL4, 0, RELAXED, 0, 1},          // the integer's bits in the real
    {"-1", I, 0, QUAD, 0, RELAXED, 0, 0xFFFFFFFFFFFFFFFF},
    {"1", I, 0, TYPE_COMPLEX8, 0, RELAXED, MISMATCH, 0},
    {"1", I, 0, TYPE_WORD8, 0, 0, MISMATCH, 0},    // as output: no data edit takes it
    {"1", FORMAT_X, 0, INT4, 0, 0, NOT_DATA, 0},

    // F, E, D, G on reals: the decimal symbol, the implied fraction, the exponent forms.
    {"1.5", F, 2, REAL8, 0, 0, 0, r64(1.5)},       // a written point overrides d
    {"  150", F, 2, REAL8, 0, 0, 0, r64(1.5)},
    {"5", F, 3, REAL8, 0, 0, 0, r64(0.005)},       // fewer digits than d
    {"12E1", F, 1, REAL8, 0, 0, 0, r64(12.0)},     // d applies before the exponent
    {"-0", F, 2, REAL8, 0, 0, 0, r64(-0.0)},       // never through an integer
    {"     ", F, 2, REAL8, 0, 0, 0, r64(0.0)},
    {"-", F, 2, REAL8, 0, 0, BAD, 0},
    {" . ", F, 2, REAL8, 0, 0, BAD, 0},
    {"-.E5", F, 2, REAL8, 0, 0, BAD, 0},
    {"1E", F, 2, REAL8, 0, 0, BAD, 0},             // a letter without digits
    {"1E+", F, 2, REAL8, 0, 0, BAD, 0},
    {"1+", F, 2, REAL8, 0, 0, BAD, 0},             // a sign without digits
    {"1.5.", F, 2, REAL8, 0, 0, BAD, 0},
    {"1.5E1E", F, 2, REAL8, 0, 0, BAD, 0},
    {"1.5E ", F, 2, REAL8, 0, BZ, 0, r64(1.5)},    // BZ: the blank is the exponent 0
    {"1 E2", F, 0, REAL8, 0, BZ, 0, r64(1000.0)},
    {" 1 . 5 ", F, 0, REAL8, 0, 0, 0, r64(1.5)},
    {"1.5+3", F, 0, REAL8, 0, 0, 0, r64(1500.0)},
    {"1.5d3", D, 0, REAL8, 0, 0, 0, r64(1500.0)},
    {"15q-2", E, 0, REAL8, 0, 0, 0, r64(0.15)},
    {"1,5", F, 0, REAL8, 0, DC, 0, r64(1.5)},
    {"1.5", F, 0, REAL8, 0, DC, BAD, 0},           // the full stop is no decimal symbol then
    {"1,5", F, 0, REAL8, 0, 0, BAD, 0},
    {"1.5", F, 0, REAL8, 2, 0, 0, r64(0.015)},     // kP divides by 10^k
    {"1.5", F, 0, REAL8, -2, 0, 0, r64(150.0)},
    {"1.5E0", F, 0, REAL8, 2, 0, 0, r64(1.5)},     // not when there is an exponent
    {"125", F, 1, REAL8, 1, 0, 0, r64(1.25)},      // implied fraction and scale together
    {"2.5", G, 0, REAL8, 0, 0, 0, r64(2.5)},
    {"1234567", FORMAT_F, 0, REAL4, 0, 0, 0, 0x3DFCD6DE},  // F alone: d = 7 for a 32-bit real
    {"1", FORMAT_F, 0, QUAD, 0, 0, 0, r64(1e-34)},  // and 34 for the quad kind
    {"1E999999999999", E, 0, REAL8, 0, 0, 0, r64(std::numeric_limits<double>::infinity())},
    {"-1E-999999999999", E, 0, REAL8, 0, 0, 0, r64(-0.0)},
    {"0.1", F, 0, REAL4, 0, 0, 0, 0x3DCCCCCD},
    {"123456789012345678901234", F, 0, REAL8, 0, 0, 0, r64(123456789012345678901234.0)},  // past 64 bits
    {"1e39", E, 0, REAL4, 0, 0, 0, 0x7F800000},
    // Through the 64-bit real, as the free-form reader: just above the tie of two floats,
    // the double is the tie itself, which goes to the even float.
    {"1.0000000596046447753906251", F, 0, REAL4, 0, 0, 0, 0x3F800000},
    {" -Inf ", F, 2, REAL8, 0, 0, 0, r64(-std::numeric_limits<double>::infinity())},
    {"+infinity", E, 2, REAL4, 0, BZ, 0, 0x7F800000},
    {" nan", F, 2, REAL8, 0, 0, 0, 0x7FF8000000000000},
    {"NaN", F, 2, REAL4, 0, 0, 0, 0x7FC00000},
    {"-NaN", F, 2, REAL8, 0, 0, BAD, 0},
    {"Inf5", F, 2, REAL8, 0, 0, BAD, 0},
    {"In f", F, 2, REAL8, 0, 0, BAD, 0},
    {"1.5", F, 0, WORD, 0, 0, 0, 0x3FC00000},      // a typeless word takes the real's bits
    {"1.5", F, 0, INT4, 0, 0, MISMATCH, 0},
    {"1.5", F, 0, INT4, 0, RELAXED, 0, 0x3FC00000},
    {"1.5", F, 0, INT8, 0, RELAXED, 0, r64(1.5)},
    {"0.1", F, 0, INT2, 0, RELAXED, 0, 0xCCCD},    // the low bits of the 32-bit real
    {"1.5", F, 0, LOG4, 0, 0, MISMATCH, 0},

    // L: blanks, an optional full stop, then T or F; the rest is ignored.
    {"  .t", L, 0, LOG4, 0, 0, 0, 0xFFFFFFFF},
    {"F", L, 0, LOG1, 0, 0, 0, 0},
    {".Tuesday", L, 0, LOG1, 0, 0, 0, 0xFF},
    {".T", L, 0, LOG1, 0, DC, 0, 0xFF},            // a full stop under DC too
    {"T", L, 0, LOG8, 0, 0, 0, 0xFFFFFFFF},        // true stored as the free-form reader does
    {"T", L, 0, INT2, 0, 0, 0, 0xFFFF},
    {"   ", L, 0, LOG4, 0, 0, BAD, 0},
    {". T", L, 0, LOG4, 0, 0, BAD, 0},
    {"X", L, 0, LOG4, 0, 0, BAD, 0},
    {"T", L, 0, REAL4, 0, 0, MISMATCH, 0},
    {"T", L, 0, REAL8, 0, RELAXED, 0, 0xFFFFFFFF},
    {"T", G, 0, LOG4, 0, 0, 0, 0xFFFFFFFF},

    // Z, O, B: digits into the item's bits; wider than the item is 231.
    {"fF", Z, 0, INT1, 0, 0, 0, 0xFF},
    {"1FF", Z, 0, INT1, 0, 0, BAD, 0},
    {"0001FF", Z, 0, INT2, 0, 0, 0, 0x1FF},        // leading zeros take no room
    {"DEADBEEF", Z, 0, INT4, 0, 0, 0, 0xDEADBEEF},
    {"3FF8000000000000", Z, 0, REAL8, 0, 0, 0, r64(1.5)},
    {"G", Z, 0, INT4, 0, 0, BAD, 0},
    {"-1", Z, 0, INT4, 0, 0, BAD, 0},
    {"   ", Z, 0, INT4, 0, 0, 0, 0},
    {"377", O, 0, INT1, 0, 0, 0, 0xFF},
    {"400", O, 0, INT1, 0, 0, BAD, 0},
    {"37777777777", O, 0, INT4, 0, 0, 0, 0xFFFFFFFF},
    {"1777777777777777777777", O, 0, INT8, 0, 0, 0, 0xFFFFFFFFFFFFFFFF},
    {"8", O, 0, INT4, 0, 0, BAD, 0},
    {"1 1", B, 0, INT4, 0, 0, 0, 3},
    {"1 1 ", B, 0, INT4, 0, BZ, 0, 10},
    {"2", B, 0, INT4, 0, 0, BAD, 0},
    {"ABCD", FORMAT_A_W, 0, INT4, 0, 0, 0, 0x44434241},  // A takes any item's bytes, as output
};

TEST(read_input_field, reads_numeric_fields) {
  for (const auto& c : field_cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.field << "\" code " << c.code << " type " << c.type);
    const bool bare = c.code <= FORMAT_A && c.code >= FORMAT_Z;
    const io::input_edit edit{c.code, bare, static_cast<std::int32_t>(c.field.size()), c.digits};
    std::array<unsigned char, 8> item{};
    item.fill(0xA5);
    const std::int32_t error =
        io::read_input_field(c.field, edit, {c.type, 0}, modes_of(c.scale, c.modes), item.data());
    EXPECT_EQ(error, c.error);
    const auto size = static_cast<std::size_t>(io::input_item_size({c.type, 0}));
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < item.size(); ++i) {
      if (i < size || error != 0) bits |= std::uint64_t{item[i]} << (8 * i);
    }
    // Nothing is stored after an error, and never more than the item's bytes.
    EXPECT_EQ(bits, error != 0 ? 0xA5A5A5A5A5A5A5A5u : c.bits) << std::hex << bits;
    for (std::size_t i = size; i < item.size(); ++i) EXPECT_EQ(item[i], 0xA5);
  }
}

// Character items of the given length.
struct character_case {
  std::string_view field;
  std::int32_t code;
  std::int32_t length;
  std::int32_t error;
  std::string_view stored;
};
constexpr character_case character_cases[] = {
    {"ABCDEF", FORMAT_A_W, 4, 0, "CDEF"},  // w >= len: the rightmost len characters
    {"AB", FORMAT_A_W, 4, 0, "AB  "},      // w < len: padded on the right
    {"ABCD", FORMAT_A, 4, 0, "ABCD"},
    {"AB", FORMAT_G_W, 4, 0, "AB  "},      // G on a character item is A
    {"4142", FORMAT_Z_W, 2, 0, "BA"},      // the lowest-addressed byte is least significant
    {"1", FORMAT_I_W, 4, MISMATCH, "...."},
    {"1", FORMAT_F_W, 4, MISMATCH, "...."},
    {"T", FORMAT_L_W, 4, MISMATCH, "...."},
};

TEST(read_input_field, reads_character_items) {
  for (const auto& c : character_cases) {
    SCOPED_TRACE(c.field);
    const bool bare = c.code == FORMAT_A;
    std::string item(static_cast<std::size_t>(c.length), '.');
    const io::input_edit edit{c.code, bare, static_cast<std::int32_t>(c.field.size()), 0};
    EXPECT_EQ(io::read_input_field(c.field, edit, {TYPE_CHARACTER, c.length}, modes_of(0, 0),
                                   item.data()),
              c.error);
    EXPECT_EQ(item, c.stored);
  }
}

// Past the 800 digits kept, the dropped digits still decide a tie: the first 54 digits are
// the tie of 1 and the next double up, and a 1 far behind them makes it round up.
TEST(read_input_field, long_mantissa_keeps_rounding) {
  const std::string tie = "1.00000000000000011102230246251565404236316680908203125";
  const std::string above = tie + std::string(900, '0') + "1";
  const io::input_edit edit{FORMAT_F_W, false, static_cast<std::int32_t>(above.size()), 0};
  double value = 0;
  ASSERT_EQ(io::read_input_field(above, edit, {TYPE_REAL8, 0}, modes_of(0, 0), &value), 0);
  EXPECT_EQ(value, std::nextafter(1.0, 2.0));
  ASSERT_EQ(io::read_input_field(tie, edit, {TYPE_REAL8, 0}, modes_of(0, 0), &value), 0);
  EXPECT_EQ(value, 1.0);
}

// Descriptors written without a width take output's default width for the item's type.
struct width_case {
  std::int32_t code;
  std::int32_t width;
  std::int32_t type, length;
  std::uint32_t modes;
  io::input_width expected;
};
constexpr width_case width_cases[] = {
    {FORMAT_I, 0, INT1, 0, 0, {0, 7}},
    {FORMAT_I, 0, INT4, 0, 0, {0, 12}},
    {FORMAT_I, 0, INT8, 0, 0, {0, 24}},
    {FORMAT_G, 0, INT2, 0, 0, {0, 7}},
    {FORMAT_F, 0, REAL4, 0, 0, {0, 15}},
    {FORMAT_E, 0, REAL8, 0, 0, {0, 25}},
    {FORMAT_D, 0, QUAD, 0, 0, {0, 44}},
    {FORMAT_F, 0, INT4, 0, RELAXED, {0, 15}},     // the bits of a 32-bit real
    {FORMAT_F, 0, INT4, 0, 0, {MISMATCH, 0}},
    {FORMAT_L, 0, LOG4, 0, 0, {0, 2}},
    {FORMAT_L_W, 0, LOG4, 0, 0, {0, 1}},          // L0 takes one character, as output puts one
    {FORMAT_A, 0, TYPE_CHARACTER, 10, 0, {0, 10}},
    {FORMAT_G, 0, TYPE_CHARACTER, 10, 0, {0, 10}},
    {FORMAT_A, 0, INT8, 0, 0, {0, 8}},
    {FORMAT_Z, 0, INT4, 0, 0, {0, 12}},
    {FORMAT_O, 0, INT8, 0, 0, {0, 23}},
    {FORMAT_Z, 0, TYPE_CHARACTER, 3, 0, {0, 6}},  // two digits a byte
    {FORMAT_O, 0, TYPE_CHARACTER, 3, 0, {0, 8}},
    {FORMAT_I_W, -5, INT4, 0, 0, {0, 0}},         // a negative width from a routine is 0
    {FORMAT_F_W, 9, TYPE_COMPLEX16, 0, 0, {MISMATCH, 0}},
};

TEST(input_field_width, takes_output_defaults) {
  for (const auto& c : width_cases) {
    SCOPED_TRACE(testing::Message() << "code " << c.code << " type " << c.type);
    const bool bare = c.code <= FORMAT_A && c.code >= FORMAT_Z;
    const io::input_width got =
        io::input_field_width({c.code, bare, c.width, 0}, {c.type, c.length}, modes_of(0, c.modes));
    EXPECT_EQ(got.code, c.expected.code);
    EXPECT_EQ(got.width, c.expected.width);
  }
}

// What formatted output writes for an item under an edit reads back to the same bits when
// the field holds enough digits.
struct round_trip_case {
  std::int32_t type;
  std::uint64_t bits;
  std::int32_t code, width, digits, scale;
  std::uint32_t modes;
};
constexpr round_trip_case round_trip_cases[] = {
    {REAL8, r64(0.1), E, 25, 17, 0, 0},
    {REAL8, r64(-1.0 / 3), FORMAT_ES_W, 25, 16, 0, 0},
    {REAL8, r64(6.02214076e23), FORMAT_EN_W, 27, 16, 0, 0},
    {REAL8, r64(1e-300), FORMAT_D_W, 25, 17, 0, 0},
    {REAL8, r64(0.1), G, 25, 17, 0, 0},              // G in its F form
    {REAL8, r64(1e100), G, 25, 17, 0, 0},            // and in its E form
    {REAL8, r64(0.1), F, 30, 20, 0, 0},
    {REAL8, r64(1.25), F, 10, 3, 2, 0},              // 2P: written 125.000, divided back
    {REAL8, r64(1.25), E, 12, 4, 2, 0},              // 2P E: the exponent undoes it
    {REAL8, r64(-2.5), F, 10, 3, 0, DC},
    {REAL8, r64(std::numeric_limits<double>::infinity()), F, 10, 3, 0, 0},
    {REAL8, r64(-std::numeric_limits<double>::infinity()), E, 10, 3, 0, 0},
    {REAL8, 0x7FF8000000000000, F, 10, 3, 0, 0},
    {REAL4, 0x3DCCCCCD, E, 15, 8, 0, 0},             // nine digits tell every float apart
    {REAL4, 0x00000001, FORMAT_ES_W, 16, 8, 0, 0},   // the smallest subnormal
    {REAL4, 0x7F7FFFFF, E, 16, 8, 0, 0},             // the largest float
    {INT4, 0xFFFFFF85, I, 6, 1, 0, 0},               // -123
    {INT4, 0xFFFFFF85, I, 8, 6, 0, 0},               // -000123
    {INT8, 0x8000000000000000, I, 24, 1, 0, 0},
    {INT1, 0xFB, I, 4, 1, 0, 0},
    {INT4, 0xFFFFFF85, G, 6, 1, 0, 0},
    {LOG4, 0xFFFFFFFF, L, 3, 0, 0, 0},
    {LOG4, 0, G, 3, 0, 0, 0},
    {INT4, 0xDEADBEEF, Z, 8, 1, 0, 0},
    {INT8, 0x8123456789ABCDEF, O, 23, 1, 0, 0},
    {INT2, 0xA5F0, B, 16, 1, 0, 0},
    {REAL8, r64(-1.5), Z, 16, 16, 0, 0},
    {INT4, 0x64636261, FORMAT_A_W, 4, 0, 0, 0},
};

TEST(read_input_field, reads_back_what_output_writes) {
  for (const auto& c : round_trip_cases) {
    SCOPED_TRACE(testing::Message() << "code " << c.code << " type " << c.type << " bits "
                                    << std::hex << c.bits);
    std::array<char, 8> written{};
    std::memcpy(written.data(), &c.bits, written.size());
    const io::field f = io::edit_field({c.code, false, c.width, c.digits, 2, false},
                                       io::make_item(c.type, written.data(), 0),
                                       {c.scale, 0, (c.modes & DC) != 0, 1 << 20, 0});
    ASSERT_EQ(f.code, 0);
    const std::string field = std::string(static_cast<std::size_t>(f.blanks), ' ') + std::string{f.text};
    SCOPED_TRACE(field);
    std::array<char, 8> read{};
    ASSERT_EQ(io::read_input_field(field, {c.code, false, c.width, c.digits}, {c.type, 0},
                                   modes_of(c.scale, c.modes), read.data()),
              0);
    EXPECT_EQ(read, written);
  }
}

TEST(read_input_field, reads_back_character_fields) {
  // A8 writes the 5 characters behind 3 blanks, and A8 reads the rightmost 5 back.
  const std::string_view text = "hello";
  const io::field f = io::edit_field({FORMAT_A_W, false, 8, 0, 2, false},
                                     io::make_item(TYPE_CHARACTER, text.data(), 5),
                                     {0, 0, 0, 1 << 20, 0});
  const std::string field = std::string(static_cast<std::size_t>(f.blanks), ' ') + std::string{f.text};
  std::string read(5, '.');
  ASSERT_EQ(io::read_input_field(field, {FORMAT_A_W, false, 8, 0}, {TYPE_CHARACTER, 5},
                                 modes_of(0, 0), read.data()),
            0);
  EXPECT_EQ(read, text);
}

}  // namespace
