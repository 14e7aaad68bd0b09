// Formatted read statements: each edit through the statement (positions, "/", ":", reversion,
// blank modes, PAD, non-advancing reads with EOR and SIZE=, the error codes), internal files,
// direct access, the fatal report, and round trips through formatted output.
#include "format_input.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format_compiler.h"
#include "list_read.h"
#include "process_runner.h"
#include "record_io.h"
#include "unit_helpers.h"

namespace {

using test::iostat_flag;

template <io::format_text Text>
inline constexpr auto compiled = io::compile_format<Text>();
template <io::format_text Text>
constexpr std::span<const std::int32_t> fmt() {
  return compiled<Text>;
}

// One formatted read with IOSTAT=: the items as text (see test::item), then the status and
// iostat when the status is not 0, then SIZE= when asked for.
template <typename Begin>
std::string perform_read(std::string_view letters, bool with_size, Begin begin) {
  std::vector<test::item> items;
  for (const char letter : letters) items.emplace_back(letter);
  std::int32_t iostat = 0;
  std::int32_t size = -7;
  if (with_size) io_set_size(&size);
  std::int32_t status = begin(&iostat);
  const std::int32_t one = 1, eight = 8;
  for (auto& it : items) {
    const std::int32_t type = test::type_of(it.letter);
    const std::int32_t item_status = fmt_read_item(&type, &one, nullptr, it.bytes.data(), eight);
    if (status == 0) status = item_status;
    // A failed statement stays failed, with the same status.
    if (status != 0) {
      EXPECT_EQ(item_status, status);
    }
  }
  const std::int32_t end_status = fmt_read_end();
  if (status == 0) status = end_status;
  EXPECT_EQ(end_status, status);
  std::string out;
  for (const auto& it : items) out += (out.empty() ? "" : " ") + it.show();
  if (status != 0) out += " status=" + std::to_string(status) + " iostat=" + std::to_string(iostat);
  if (with_size) out += " size=" + std::to_string(size);
  return out;
}

std::string read_internal(std::span<const std::int32_t> format, std::string_view letters,
                          std::string_view variable, std::int32_t record_count,
                          std::int32_t record_length) {
  return perform_read(letters, false, [&](std::int32_t* iostat) {
    return fmt_internal_read_begin(variable.data(), &record_count, &iostat_flag, iostat,
                                   format.data(), record_length);
  });
}

struct internal_case {
  std::span<const std::int32_t> format;
  std::string_view variable;
  std::int32_t record_count, record_length;
  std::string_view items, expected;
  const char* why;
};

TEST(fmt_internal_read_begin, walks_the_format_over_the_records) {
  const internal_case cases[] = {
      {fmt<"(T6, I3)">(), "  12 345 6", 1, 10, "i", "345", "T counts from 1"},
      {fmt<"(T8, TL4, I2)">(), "  12 345 6", 1, 10, "i", "2", "TL goes back from the position"},
      {fmt<"(TL5, I4)">(), "  12 345 6", 1, 10, "i", "12", "TL stops at the record's start"},
      {fmt<"(TR2, I2, 1X, I1)">(), "  12 345 6", 1, 10, "ii", "12 3", "TR and X pass over"},
      {fmt<"(I2, I2)">(), "  12 345 6", 1, 10, "ii", "0 12", "a field of blanks is zero"},
      {fmt<"(T3, I3)">(), "  12 345 6", 1, 10, "i", "12", "BN: blanks are ignored"},
      {fmt<"(BZ, T3, I3)">(), "  12 345 6", 1, 10, "i", "120", "BZ: a later blank is a zero"},
      {fmt<"(BZ, BN, T3, I3)">(), "  12 345 6", 1, 10, "i", "12", "BN after BZ"},
      {fmt<"(T10, I4)">(), "  12 345 6", 1, 10, "i", "6", "past the end: padded, BN"},
      {fmt<"(BZ, T10, I4)">(), "  12 345 6", 1, 10, "i", "6000", "padding blanks are zeros under BZ"},
      {fmt<"(T12, I4)">(), "  12 345 6", 1, 10, "i", "0", "wholly past the end: blanks"},
      {fmt<"(I1, /, I1)">(), "1  2  ", 2, 3, "ii", "1 2", "a slash takes the next record"},
      {fmt<"(I1)">(), "1  2  ", 2, 3, "ii", "1 2", "reversion takes the next record"},
      {fmt<"(I1, (I2))">(), "1 2 345678", 2, 5, "iii", "1 2 45", "reversion goes to the last group"},
      {fmt<"(I1, 2(1X, I1))">(), "1 2 3", 1, 5, "iii", "1 2 3", "a group's repeat"},
      {fmt<"(I1, /, I1)">(), "1  ", 1, 3, "i", "1 status=2 iostat=-1", "the end goes on to the slash"},
      {fmt<"(I1, :, /, I1)">(), "1  ", 1, 3, "i", "1", "a colon stops it"},
      {fmt<"(I1, /, I1)">(), "1  ", 1, 3, "ii", "1 99 status=2 iostat=-1", "no record after the slash"},
      {fmt<"(I1)">(), "1  ", 0, 3, "i", "99 status=2 iostat=-1", "no record at the begin"},
      {fmt<"(2P, F5.0)">(), "  123", 1, 5, "r", "1.23", "the scale factor"},
      {fmt<"(DC, F4.2, DP, F4.2)">(), "1,251.25", 1, 8, "rr", "1.25 1.25", "DC and DP switch the symbol"},
      {fmt<"(SP, S, SS, $, I2)">(), "12", 1, 2, "i", "12", "no effect on input"},
      {fmt<"(I2, Q)">(), "12345", 1, 5, "ik", "12 3", "Q: the characters left"},
      {fmt<"(Q)">(), "12345", 1, 5, "r", "99 status=1 iostat=235", "Q into a real"},
      {fmt<"(2F3.1)">(), "1.52.5", 1, 6, "x", "(1.5,2.5)", "a complex item is two reals"},
      {fmt<"(F3.1, F4.1)">(), "1.5 2.5", 1, 7, "rr", "1.5 2.5", "another width: decided again"},
      {fmt<"(2F3.1)">(), "1.52.5", 1, 6, "ri", "1.5 99 status=1 iostat=235", "another item: decided again"},
      {fmt<"(E5.1, E5.1E1)">(), "  1.52.5E0", 1, 10, "rr", "1.5 2.5", "an exponent width after known words"},
      {fmt<"(A3)">(), "abcdef", 1, 6, "c", "abc     ", "A narrower than the item"},
      {fmt<"('x', I1)">(), "1", 1, 1, "i", "99 status=1 iostat=234", "a literal in an input format"},
      {fmt<"(I1, 'x')">(), "1", 1, 1, "i", "1 status=1 iostat=234", "also when the end meets it"},
      {fmt<"(I2)">(), "12", 1, 2, "r", "99 status=1 iostat=235", "I into a real"},
      {fmt<"(I3)">(), "1x3", 1, 3, "i", "99 status=1 iostat=231", "not an integer"},
      {fmt<"(1X)">(), "1 2 ", 2, 2, "i", "99 status=1 iostat=246", "a format without a data edit"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(read_internal(c.format, c.items, c.variable, c.record_count, c.record_length), c.expected);
  }
}

TEST(fmt_internal_read_begin, reports_a_missing_format_before_the_unit) {
  // Unit 77 is not connected: looking at it would fail otherwise (no file to open).
  std::int32_t iostat = 0;
  const std::int32_t unit = 77;
  EXPECT_EQ(fmt_read_begin(&unit, nullptr, &iostat_flag, &iostat, nullptr, nullptr, 0), STATUS_ERROR);
  EXPECT_EQ(iostat, 234);
  EXPECT_EQ(fmt_read_end(), STATUS_ERROR);
}

// A file connected by OPEN with the given PAD= and BLANK=, read by formatted statements.
class formatted_file {
 public:
  explicit formatted_file(std::string_view data, std::string_view pad = "YES",
                          std::string_view blank = "NULL") {
    dir_.write("in.txt", std::string(data));
    const std::string name = (dir_ / "in.txt").string();
    const std::int32_t zero = 0;
    EXPECT_EQ(open_unit(&unit_, &zero, nullptr, nullptr, blank.data(), nullptr, name.data(), nullptr,
                        nullptr, pad.data(), nullptr, nullptr, nullptr, nullptr, 0, 0,
                        static_cast<std::int32_t>(blank.size()), 0,
                        static_cast<std::int32_t>(name.size()), 0,
                        static_cast<std::int32_t>(pad.size()), 0, 0, 0),
              0);
  }
  ~formatted_file() {
    const std::int32_t zero = 0;
    close_unit(&unit_, &zero, nullptr, nullptr, 0);
  }
  formatted_file(const formatted_file&) = delete;
  formatted_file& operator=(const formatted_file&) = delete;

  // One statement; `advance` "NO" makes it non-advancing, and then SIZE= is shown too.
  std::string read(std::span<const std::int32_t> format, std::string_view letters,
                   std::optional<std::string_view> advance = std::nullopt) const {
    return perform_read(letters, advance.has_value(), [&](std::int32_t* iostat) {
      return fmt_read_begin(&unit_, nullptr, &iostat_flag, iostat, format.data(),
                            advance ? advance->data() : nullptr,
                            advance ? static_cast<std::int32_t>(advance->size()) : 0);
    });
  }
  std::string read_list(std::string_view letters) const {
    return test::perform_read(letters, [this](std::int32_t* iostat) {
      return ld_read_begin(&unit_, nullptr, &iostat_flag, iostat);
    });
  }

 private:
  test::temp_dir dir_;
  const std::int32_t unit_ = 21;
};

struct step {
  std::span<const std::int32_t> format;
  std::string_view items;
  std::optional<std::string_view> advance;
  std::string_view expected;
};

struct sequence_case {
  std::string_view data, pad, blank;
  std::vector<step> steps;
  const char* why;
};

TEST(fmt_read_begin, reads_records_of_a_unit) {
  const auto a3 = fmt<"(A3)">();
  const auto a2 = fmt<"(A2)">();
  const auto i2 = fmt<"(I2)">();
  const sequence_case cases[] = {
      {"abcdef\nxyz\n", "YES", "NULL",
       {{a3, "c", "NO", "abc      size=3"},
        {a3, "c", "no ", "def      size=3"},
        {a2, "c", "NO", "         status=3 iostat=-2 size=0"},
        {a3, "c", "NO", "xyz      size=3"}},
       "non-advancing reads go on in the record; padding a field raises EOR after the item"},
      {"abcd\nxy\n", "YES", "NULL",
       {{a3, "c", "NO", "abc      size=3"}, {fmt<"(A3, A1)">(), "cc", "NO", "d        ######## status=3 iostat=-2 size=1"},
        {a2, "c", std::nullopt, "xy      "}},
       "SIZE= counts the characters taken, padding excluded"},
      {"abcd\nxy\n", "NO", "NULL",
       {{a3, "c", "NO", "abc      size=3"}, {a3, "c", "NO", "######## status=3 iostat=-2 size=1"},
        {a2, "c", std::nullopt, "xy      "}},
       "PAD NO: EOR without storing the item; the unit is at the next record"},
      {"abc\nxy\n", "NO", "NULL",
       {{fmt<"(A5)">(), "c", std::nullopt, "######## status=1 iostat=219"}, {a2, "c", std::nullopt, "xy      "}},
       "PAD NO, advancing: 219"},
      {"abcd\nef\n", "YES", "NULL",
       {{a2, "c", "NO", "ab       size=2"}, {a2, "c", std::nullopt, "cd      "}, {a2, "c", std::nullopt, "ef      "}},
       "an advancing read goes on where a non-advancing one stopped"},
      {"abcd\n5\nef\n", "YES", "NULL",
       {{a2, "c", "NO", "ab       size=2"}, {fmt<"(T1, A2)">(), "c", "NO", "ab       size=2"}},
       "T counts from the record's start, also in a continued record"},
      {"1 2 \n", "YES", "ZERO", {{fmt<"(I4)">(), "i", std::nullopt, "1020"}}, "BLANK=ZERO starts as BZ"},
      {"x1\n22\n", "YES", "NULL",
       {{i2, "i", std::nullopt, "99 status=1 iostat=231"}, {i2, "i", std::nullopt, "22"}},
       "a failed statement leaves the unit at the next record"},
      {"", "YES", "NULL",
       {{i2, "i", std::nullopt, "99 status=2 iostat=-1"}, {i2, "i", std::nullopt, "99 status=2 iostat=-1"}},
       "end of file at the begin, then 252 as end of file again"},
      {"12\n\n34\n", "YES", "NULL",
       {{fmt<"(I2, /)">(), "i", std::nullopt, "12"}, {i2, "i", std::nullopt, "34"}},
       "a slash at the end of the statement takes a record"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    formatted_file file(c.data, c.pad, c.blank);
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const step& s = c.steps[i];
      EXPECT_EQ(file.read(s.format, s.items, s.advance), s.expected) << "statement " << i;
    }
  }
}

TEST(fmt_read_begin, drops_a_held_record_once_another_statement_reads_the_unit) {
  formatted_file file("abcd\n5\nef\n");
  EXPECT_EQ(file.read(fmt<"(A2)">(), "c", "NO"), "ab       size=2");
  EXPECT_EQ(file.read_list("i"), "5");
  EXPECT_EQ(file.read(fmt<"(A2)">(), "c"), "ef      ");
}

TEST(fmt_read_end, returns_the_end_of_record_status_and_its_message) {
  formatted_file file("ab\n", "NO");
  std::array<char, 64> message{};
  io_set_iomsg(message.data(), static_cast<std::int32_t>(message.size()));
  const std::int32_t flags = SPECIFIER_EOR | SPECIFIER_IOMSG;
  const std::int32_t unit = 21, type = TYPE_CHARACTER, one = 1;
  const auto format = fmt<"(A3)">();
  std::array<char, 3> value{};
  EXPECT_EQ(fmt_read_begin(&unit, nullptr, &flags, nullptr, format.data(), "NO", 2), 0);
  EXPECT_EQ(fmt_read_item(&type, &one, nullptr, value.data(), 3), STATUS_EOR);
  EXPECT_EQ(fmt_read_end(), STATUS_EOR);
  EXPECT_STREQ(message.data(), "attempt to read (nonadvancing) past end of record");
}

TEST(fmt_read_begin, reads_direct_access_records) {
  test::temp_dir dir;
  dir.write("direct.dat", "ab  cd  ef  ");
  const std::int32_t unit = 22;
  ASSERT_EQ(test::connect_direct(unit, (dir / "direct.dat").string(), 4), 0);
  const auto format = fmt<"(A2)">();
  const auto read = [&](std::int32_t record, std::optional<std::string_view> advance = std::nullopt) {
    return perform_read("c", false, [&](std::int32_t* iostat) {
      return fmt_read_begin(&unit, &record, &iostat_flag, iostat, format.data(),
                            advance ? advance->data() : nullptr, advance ? 3 : 0);
    });
  };
  EXPECT_EQ(read(2), "cd      ");
  EXPECT_EQ(read(1), "ab      ");
  EXPECT_EQ(read(2, "YES"), "######## status=1 iostat=202");  // ADVANCE= on direct access
  EXPECT_EQ(read(9), "######## status=1 iostat=253");
  test::close_unit_number(unit);
}

// Outside the death test's braces: its commas would split the macro's arguments.
void read_past_the_record_without_eor() {
  formatted_file file("ab\n", "NO");
  const std::int32_t unit = 21, type = TYPE_CHARACTER, one = 1, zero = 0;
  const auto format = fmt<"(A3)">();
  std::array<char, 3> value{};
  fmt_read_begin(&unit, nullptr, &zero, nullptr, format.data(), "NO", 2);
  fmt_read_item(&type, &one, nullptr, value.data(), 3);
}

TEST(fmt_read_end, ends_the_run_with_the_end_of_record_report) {
  EXPECT_EXIT(read_past_the_record_without_eor(), testing::ExitedWithCode(127),
              "TKFIO-F-218/formatted read/unit=21/attempt to read \\(nonadvancing\\)");
}

// What formatted output writes, formatted input reads back to the same bits under the same
// format, wherever the field holds enough digits.
struct round_trip_case {
  std::span<const std::int32_t> format;
  std::int32_t type;
  std::uint64_t bits;
};

TEST(fmt_read_item, reads_back_what_formatted_output_wrote) {
  const round_trip_case cases[] = {
      {fmt<"(F10.3)">(), TYPE_REAL4, std::bit_cast<std::uint32_t>(-12.375f)},
      {fmt<"(ES16.8)">(), TYPE_REAL4, std::bit_cast<std::uint32_t>(3.14159274f)},
      {fmt<"(E16.9)">(), TYPE_REAL4, 0x00800001u},  // a normal near the bottom of the range
      {fmt<"(EN18.8)">(), TYPE_REAL4, std::bit_cast<std::uint32_t>(-4.5e-7f)},
      {fmt<"(D25.17)">(), TYPE_REAL8, std::bit_cast<std::uint64_t>(0.1)},
      {fmt<"(G25.17)">(), TYPE_REAL8, std::bit_cast<std::uint64_t>(-6.02214076e23)},
      {fmt<"(E12.3)">(), TYPE_REAL4, std::bit_cast<std::uint32_t>(std::numeric_limits<float>::infinity())},
      {fmt<"(I12)">(), TYPE_INTEGER4, 0x80000000u},
      {fmt<"(I21)">(), TYPE_INTEGER8, 0x8000000000000000u},
      {fmt<"(Z8)">(), TYPE_WORD4, 0xDEADBEEFu},
      {fmt<"(O11)">(), TYPE_INTEGER4, 0x7FFFFFFFu},
      {fmt<"(B16)">(), TYPE_INTEGER2, 0xA5C3u},
      {fmt<"(L3)">(), TYPE_LOGICAL4, 0xFFFFFFFFu},
      {fmt<"(G12.5)">(), TYPE_INTEGER4, 123456u},
      {fmt<"(1P, E14.7)">(), TYPE_REAL4, std::bit_cast<std::uint32_t>(7.5e12f)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " bits " << std::hex << c.bits);
    std::array<char, 40> record{};
    std::int32_t record_count = 1, iostat = 0;
    const std::int32_t one = 1;
    ASSERT_EQ(fmt_internal_write_begin(record.data(), &record_count, &iostat_flag, &iostat,
                                       c.format.data(), static_cast<std::int32_t>(record.size())),
              0);
    EXPECT_EQ(fmt_write_item(&c.type, &one, nullptr, &c.bits, 0), 0);
    EXPECT_EQ(fmt_write_end(), 0);
    std::uint64_t back = 0x5A5A5A5A5A5A5A5Au;
    ASSERT_EQ(fmt_internal_read_begin(record.data(), &record_count, &iostat_flag, &iostat,
                                      c.format.data(), static_cast<std::int32_t>(record.size())),
              0);
    EXPECT_EQ(fmt_read_item(&c.type, &one, nullptr, &back, 0), 0) << std::string_view(record.data(), record.size());
    EXPECT_EQ(fmt_read_end(), 0);
    const std::size_t size = c.type == TYPE_REAL8 || c.type == TYPE_INTEGER8 ? 8
                             : c.type == TYPE_INTEGER2                       ? 2
                                                                             : 4;
    std::uint64_t expected = 0x5A5A5A5A5A5A5A5Au;
    std::memcpy(&expected, &c.bits, size);
    EXPECT_EQ(back, expected) << std::string_view(record.data(), record.size());
  }
}

}  // namespace
