// Free-form write statements: item texts, separators, the line limit, internal files.
#include "list_output.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "format_compiler.h"
#include "process_runner.h"
#include "record_io.h"
#include "units.h"

namespace {

// One item of a statement: its type code and its bytes (text for type 14).
struct item {
  std::int32_t type;
  std::string bytes;
};

template <typename T>
item value(std::int32_t type, T v) {
  std::string bytes(sizeof v, '\0');
  std::memcpy(bytes.data(), &v, sizeof v);
  return {type, bytes};
}
item text(std::string_view t) { return {TYPE_CHARACTER, std::string(t)}; }
item integer(std::int32_t v) { return value(TYPE_INTEGER4, v); }
item real(float v) { return value(TYPE_REAL4, v); }

// Writes each statement on a fresh file unit and returns the file's bytes.
std::string write_statements(const std::vector<std::vector<item>>& statements,
                             io::delim_code delim = io::delim_code::DELIM_NONE) {
  test::temp_dir dir;
  const std::string name = (dir / "out.txt").string();
  const std::int32_t unit = 20, zero = 0, one = 1;
  std::int32_t iostat = 0;
  open_unit(&unit, &zero, nullptr, nullptr, nullptr, nullptr, name.data(), nullptr, &iostat, nullptr,
            nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0, static_cast<std::int32_t>(name.size()), 0, 0,
            0, 0, 0);
  io::find_unit(unit)->delim = delim;
  for (const auto& statement : statements) {
    EXPECT_EQ(ld_write_begin(&unit, nullptr, &zero, nullptr), 0);
    for (const auto& i : statement) {
      EXPECT_EQ(ld_write_item(&i.type, &one, &zero, i.bytes.data(), static_cast<std::int32_t>(i.bytes.size())), 0);
    }
    EXPECT_EQ(ld_write_end(), 0);
  }
  close_unit(&unit, &zero, nullptr, nullptr, 0);
  return dir.read("out.txt");
}

struct layout_case {
  std::vector<item> items;
  std::string record;  // without its CR LF
  const char* why;
};

TEST(ld_write_item, lays_out_one_record) {
  const layout_case cases[] = {
      {{text("Please input N >= 3:")}, " Please input N >= 3:", "a prompt alone"},
      {{integer(12), text(" = ")}, "           12  = ", "the number record of the factor program"},
      {{integer(2)}, "            2", "an integer in its 12-column field"},
      {{real(0.5f)}, "   0.5000000    ", "fixed form: 7 digits, 4 trailing blanks"},
      {{real(12.5f)}, "    12.50000    ", "two digits before the point"},
      {{real(1234567.0f)}, "    1234567.    ", "the largest fixed-form magnitude"},
      {{real(1.0e-3f)}, "   1.0000000E-03", "below 0.1: exponent form"},
      {{real(1.0e10f)}, "   1.0000000E+10", "10 to the 7th and above: exponent form"},
      {{real(0.0f)}, "    0.000000    ", "zero keeps six zeros after the point"},
      {{text("ab"), text("cd"), integer(1), text("x")}, " abcd            1 x",
       "texts run together; other items get one separator"},
      {{}, "", "an empty statement writes an empty record"},
      {{value(TYPE_LOGICAL4, 1), value(TYPE_LOGICAL1, std::uint8_t{2})}, "  T  F", "logicals test the lowest bit"},
      {{value(TYPE_WORD4, 0xBEEFu), value(TYPE_WORD8, std::uint64_t{0x123456789ABCDEFull})},
       " 0000BEEF 0123456789ABCDEF", "typeless words in upper-case hexadecimal"},
      {{value(TYPE_INTEGER1, std::int8_t{-128}), value(TYPE_INTEGER2, std::int16_t{-32768}),
        value(TYPE_INTEGER8, std::int64_t{-9223372036854775807 - 1})},
       "  -128  -32768     -9223372036854775808", "each integer width at its most negative"},
      {{value(TYPE_COMPLEX8, std::array<float, 2>{1.5f, -2.0f})}, " (1.500000,-2.000000)",
       "a complex item starting the record"},
      {{integer(1), value(TYPE_COMPLEX8, std::array<float, 2>{0.5f, 0.0f})},
       "            1  (0.5000000,0.000000)", "a complex item after another gets two separators"},
      {{value(TYPE_REAL8, 0.1)}, "   0.1000000000000000     ", "a 64-bit real in its 25-column field"},
      {{value(99, 0)}, "  ", "an unknown type writes one blank"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(write_statements({c.items}), c.record + "\r\n");
  }
}

TEST(ld_write_item, ends_records_at_column_79) {
  // Four reals of 16 columns fill 65; the fifth would pass 79 and starts a new record.
  const std::vector<item> reals(5, real(1.0f));
  const std::string real_field = "   1.000000    ";
  EXPECT_EQ(write_statements({reals}),
            " " + real_field + " " + real_field + " " + real_field + " " + real_field + " \r\n " + real_field + "\r\n");
  // Six integers and a separator make exactly 79 columns.
  const std::vector<item> integers(8, integer(7));
  const std::string field = "           7";
  std::string first = " " + field;
  for (int i = 0; i < 5; ++i) first += " " + field;
  EXPECT_EQ(write_statements({integers}), first + " \r\n " + field + " " + field + "\r\n");
  // A text longer than the limit is written whole in a record of its own.
  const std::string long_text(100, 'y');
  EXPECT_EQ(write_statements({{integer(1), text(long_text)}}), "            1 \r\n " + long_text + "\r\n");
}

TEST(ld_write_item, delimits_character_items_when_asked) {
  EXPECT_EQ(write_statements({{text("it's"), text("x")}}, io::delim_code::DELIM_APOSTROPHE),
            " 'it''s' 'x'\r\n");
  EXPECT_EQ(write_statements({{text("say \"hi\"")}}, io::delim_code::DELIM_QUOTE), " \"say \"\"hi\"\"\"\r\n");
}

struct internal_case {
  std::int32_t record_length, record_count;
  std::vector<item> items;
  std::string variable;  // the whole variable afterwards
  std::int32_t iostat;
  const char* why;
};

TEST(ld_internal_write_begin, fills_records_of_the_variable) {
  const internal_case cases[] = {
      {10, 1, {text("abc")}, " abc      ", 0, "the leading blank is the record's own blank"},
      {14, 2, {text("abcde"), integer(1)}, " abcde        " "            1 ", 0,
       "the integer does not fit: next record"},
      {5, 1, {text("abcdef")}, "     ", 219, "a first text longer than the record"},
      {6, 1, {text("ab"), integer(1)}, " ab   ", 220, "no record left for the second item"},
      {6, 2, {text("ab"), text("toolong")}, " ab   " "      ", 219, "a text longer than a whole record"},
  };
  const std::int32_t zero = 0, one = 1, flags = SPECIFIER_IOSTAT;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    std::string variable(static_cast<std::size_t>(c.record_length * c.record_count), '#');
    std::int32_t iostat = -7;
    ASSERT_EQ(ld_internal_write_begin(variable.data(), &c.record_count, &flags, &iostat, c.record_length), 0);
    std::int32_t status = 0;
    for (const auto& i : c.items) {
      if (status == 0) {
        status = ld_write_item(&i.type, &one, &zero, i.bytes.data(), static_cast<std::int32_t>(i.bytes.size()));
      }
    }
    const std::int32_t end = ld_write_end();
    EXPECT_EQ(iostat, c.iostat);
    EXPECT_EQ(end, c.iostat == 0 ? 0 : 1);
    // Records the write never reached keep their old bytes.
    std::string expected = c.variable;
    expected.resize(variable.size(), '#');
    EXPECT_EQ(variable, expected);
  }
}

}  // namespace

namespace {

// A free-form write after a non-advancing formatted one ends that record: closing the unit
// must not add an empty record of its own.
TEST(ld_write_end, ends_a_record_left_open_by_a_formatted_write) {
  test::temp_dir dir;
  const std::string name = (dir / "out.txt").string();
  const std::int32_t unit = 21, zero = 0, one = 1, type = TYPE_CHARACTER;
  open_unit(&unit, &zero, nullptr, nullptr, nullptr, nullptr, name.data(), nullptr, nullptr, nullptr, nullptr,
            nullptr, nullptr, nullptr, 0, 0, 0, 0, static_cast<std::int32_t>(name.size()), 0, 0, 0, 0, 0);
  static constexpr auto prompt = io::compile_format<"('abc')">();
  EXPECT_EQ(fmt_write_begin(&unit, nullptr, &zero, nullptr, prompt.data(), "NO", 2), 0);
  EXPECT_EQ(fmt_write_end(), 0);
  EXPECT_EQ(ld_write_begin(&unit, nullptr, &zero, nullptr), 0);
  EXPECT_EQ(ld_write_item(&type, &one, &zero, "def", 3), 0);
  EXPECT_EQ(ld_write_end(), 0);
  close_unit(&unit, &zero, nullptr, nullptr, 0);
  EXPECT_EQ(dir.read("out.txt"), "abc def\r\n");
}

}  // namespace

namespace {

// A scalar is one word: naming an 8-byte type reads zeros for the rest, never past the word.
TEST(ld_write_scalar, reads_only_its_word_for_a_wide_type) {
  test::temp_dir dir;
  const std::string name = (dir / "out.txt").string();
  const std::int32_t unit = 22, zero = 0;
  open_unit(&unit, &zero, nullptr, nullptr, nullptr, nullptr, name.data(), nullptr, nullptr, nullptr, nullptr,
            nullptr, nullptr, nullptr, 0, 0, 0, 0, static_cast<std::int32_t>(name.size()), 0, 0, 0, 0, 0);
  EXPECT_EQ(ld_write_begin(&unit, nullptr, &zero, nullptr), 0);
  EXPECT_EQ(ld_write_scalar(7, TYPE_INTEGER8), 0);
  EXPECT_EQ(ld_write_end(), 0);
  close_unit(&unit, &zero, nullptr, nullptr, 0);
  EXPECT_EQ(dir.read("out.txt"), std::string(24, ' ') + "7\r\n");  // the record blank, then 24 columns
}

}  // namespace
