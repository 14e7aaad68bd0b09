// Free-form read statements: values stored into each item type, the records a statement
// consumes, internal files and direct access; in process and end to end.
#include "list_input.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "list_read.h"
#include "process_runner.h"
#include "record_io.h"
#include "statement.h"
#include "units.h"

namespace {

using test::input_file;
using test::iostat_flag;
using test::perform_read;
using test::read_case;
using test::read_internal;

// Each item type takes the value it is given as its own width or form.
constexpr read_case store_cases[] = {
    {"9223372036854775807\n", "k", "9223372036854775807"},
    {"-9223372036854775808\n", "k", "-9223372036854775808"},
    {"2.5 T\n", "kk", "2 -1"},                // truncated; true sign-extended
    {"70000 -1\n", "hh", "4464 -1"},          // low 16 bits
    {"300 T\n", "bb", "44 -1"},               // low 8 bits
    {"5 T F\n", "lll", "5 -1 0"},
    {"T -1 5000000000 1.5\n", "LLLL", "4294967295 4294967295 5000000000 1"},  // 32 bits zero-extended
    {"16777217\n", "r", "16777216"},          // one rounding to 32 bits
    {"-0 -0.0\n", "rr", "0 -0"},              // the integer zero has no sign
    {"1e39 1e-50\n", "rr", "inf 0"},
    {"7 T\n", "xz", "(7,0) (-1,0)"},          // a number or logical is the real part
    {"5\n", "q", "99 status=1 iostat=237"},   // the unsupported quad type
    {"T\n", "q", "99 status=1 iostat=237"},
    {"'a'\n", "q", "99 status=1 iostat=231"},
    {"5 T\n", "ww", "99 99"},                 // a type without a reading: nothing stored
    {"2*'a'\n", "cw", "a        99 status=1 iostat=231"},  // but text is still refused
    {"abc\n", "W", "########"},               // wide text: nothing stored
};

TEST(store_scanned_value, converts_to_each_item_type) {
  for (const auto& c : store_cases) {
    SCOPED_TRACE(testing::Message() << "input [" << c.input << "] items " << c.items);
    input_file file(c.input);
    EXPECT_EQ(file.read(c.items), c.expected);
  }
}

TEST(ld_internal_read_begin, uses_point_mode_whatever_the_last_unit_had) {
  input_file file("x\n", true);
  EXPECT_EQ(file.read("i"), "99 status=1 iostat=225");  // fails before its end resets the mode
  EXPECT_EQ(read_internal("dd", "1.5,2", 1, 5), "1.5 2");
}

struct statements_case {
  std::string_view input;
  std::vector<std::string_view> statements;  // the items of each statement
  std::vector<std::string_view> expected;
  const char* why;
};

TEST(ld_read_end, consumes_whole_records) {
  const statements_case cases[] = {
      {"1 2 3\n4\n", {"i", "i"}, {"1", "4"}, "the rest of a record is dropped"},
      {"1\n2\n", {"", "i"}, {"", "2"}, "a statement without items consumes a record"},
      {"\n2\n", {"", "i"}, {"", "2"}, "even an empty one"},
      {"1\n", {"", ""}, {"", " status=2 iostat=-1"}, "and meets end of file like any read"},
      {"1 2\n3 4\n5\n", {"iii", "i"}, {"1 2 3", "5"}, "a statement reads on as far as it needs"},
      {"5/ 6\n7\n", {"ii", "i"}, {"5 99", "7"}, "a slash ends a statement, not the next one"},
      {"3*7\n8\n", {"i", "i"}, {"7", "8"}, "a repeat does not outlive its statement"},
      {"ab\\\n\n7\n", {"c", "i"}, {"ab      ", "7"},
       "an empty record joined by a backslash was fetched: the end skips nothing more"},
      {"x\n8\n", {"i", "i"}, {"99 status=1 iostat=225", "8"}, "a failed statement still moves on"},
      {"1\n", {"i", "i", "i"}, {"1", "99 status=2 iostat=-1", "99 status=2 iostat=-1"},
       "after end of file the unit reports it again"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    input_file file(c.input);
    for (std::size_t i = 0; i < c.statements.size(); ++i) {
      EXPECT_EQ(file.read(c.statements[i]), c.expected[i]) << "statement " << i;
    }
  }
}

TEST(ld_internal_read_begin, reads_consecutive_records_of_the_variable) {
  struct internal_case {
    std::string_view variable;
    std::int32_t record_count, record_length;
    std::string_view items, expected;
    const char* why;
  };
  const internal_case cases[] = {
      {"1   2   ", 2, 4, "ii", "1 2", "the second value is on the second record"},
      {"1 2 3   ", 2, 4, "ii", "1 2", "a record is its length, not up to the next line feed"},
      {"'ab  cd'", 2, 4, "c", "ab  cd  ", "quotes run over internal records"},
      {"1   ", 1, 4, "ii", "1 99 status=2 iostat=-1", "end of the variable is end of file"},
      {"1   ", 0, 4, "i", "99 status=2 iostat=-1", "no records at all"},
      {"", 1, 0, "i", "99 status=2 iostat=-1", "records of no characters hold no value"},
      {"", 1, -3, "i", "99 status=2 iostat=-1", "a negative length reads as none"},
      {"", 0, 4, "", " status=2 iostat=-1", "the end skips a record, and there is none"},
      {"1\n2", 1, 3, "ii", "1 2", "a line feed inside a record is a blank, not its end"},
      {"'a\nb'", 1, 5, "c", "a\nb     ", "and text inside quotes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(read_internal(c.items, c.variable, c.record_count, c.record_length), c.expected);
  }
}

TEST(ld_read_begin, reads_direct_access_records) {
  test::temp_dir dir;
  dir.write("direct.dat", std::string("1   2   3\n4 ", 12));
  const std::string name = (dir / "direct.dat").string();
  const std::int32_t unit = 21;
  std::int32_t iostat = 0;
  io::io_statement_begin(unit, iostat_flag, &iostat, io::KIND_OPEN);
  io::connect_request request;
  request.status = io::open_status_code::OPEN_OLD;
  request.access = io::access_code::ACCESS_DIRECT;
  request.recl = 4;
  request.name = name;
  ASSERT_EQ(io::connect_unit(unit, request), 0);
  const auto read_record = [&](std::int32_t record, std::string_view items) {
    return perform_read(items, [&](std::int32_t* status_variable) {
      return ld_read_begin(&unit, &record, &iostat_flag, status_variable);
    });
  };
  EXPECT_EQ(read_record(2, "i"), "2");                        // REC= picks the record
  EXPECT_EQ(read_record(1, "iii"), "1 2 3");                  // a statement reads on into the next records
  EXPECT_EQ(read_record(3, "ii"), "3 4");                     // a line feed inside a record is a blank
  EXPECT_EQ(read_record(3, "iii"), "3 4 99 status=1 iostat=253");  // but not past the last record
  const std::int32_t zero = 0;
  close_unit(&unit, &zero, nullptr, nullptr, 0);
}

TEST(ld_read_item, reads_count_elements_stride_bytes_apart) {
  input_file file("1 2 3 4\n");
  std::array<std::int32_t, 6> values{0, 0, 0, 0, 0, 0};
  std::int32_t iostat = 0;
  const std::int32_t unit = 20, type = TYPE_INTEGER4, three = 3, zero = 0, minus = -1, stride = 8;
  ASSERT_EQ(ld_read_begin(&unit, nullptr, &iostat_flag, &iostat), 0);
  EXPECT_EQ(ld_read_item(&type, &zero, &stride, values.data(), 0), 0);   // transfers nothing
  EXPECT_EQ(ld_read_item(&type, &minus, &stride, values.data(), 0), 0);  // nor does a negative count
  EXPECT_EQ(ld_read_item(&type, &three, &stride, values.data(), 0), 0);
  EXPECT_EQ(ld_read_end(), 0);
  EXPECT_EQ(values, (std::array<std::int32_t, 6>{1, 0, 2, 0, 3, 0}));
}

TEST(ld_read_item, returns_at_once_after_a_failure) {
  input_file file("x 5\n6\n");
  std::int32_t iostat = 0, value = 99;
  const std::int32_t unit = 20, type = TYPE_INTEGER4, one = 1;
  ASSERT_EQ(ld_read_begin(&unit, nullptr, &iostat_flag, &iostat), 0);
  EXPECT_EQ(ld_read_item(&type, &one, nullptr, &value, 0), 1);
  EXPECT_EQ(iostat, 225);
  EXPECT_EQ(ld_read_item(&type, &one, nullptr, &value, 0), 1);  // the 5 is not read
  EXPECT_EQ(ld_read_end(), 1);
  EXPECT_EQ(value, 99);
  EXPECT_EQ(file.read("i"), "6");  // and the end skipped nothing
}

// End to end: a program reading the console (its standard input) or files, with flag 0.
struct program_case {
  std::vector<std::string> operations;
  std::string standard_input;
  std::string standard_output;
  std::string standard_error;  // LF stands for CR LF
  int exit_status;
  const char* why;
};

TEST(ld_read_begin, reads_the_console_and_files_end_to_end) {
  const program_case cases[] = {
      {{"si", "srr", "srr"}, "3\n0 0\n4.5, 1e1\n", "3\n0 0\n4.5 10\n", "", 0,
       "the polygon dialogue: a count, then a pair per statement"},
      {{"si", "si"}, "1\r\n2", "1\n2\n", "", 0, "CR LF, and a last line without a terminator"},
      {{"si", "si"}, "1 2 3\n\n\n4\n", "1\n4\n", "", 0, "rest of a record dropped, blank records passed"},
      {{"l12", "si"}, "", "",
       "TKFIO-F-217/list-directed read/unit=5/attempt to read past end of file.\n"
       " File name = stdin    formatted, sequential access   record = 1\n"
       " In source file reader.f, at line number 12\n",
       127, "end of input at the first read"},
      {{"si", "l13", "srr"}, "4\n1\n", "4\n",
       "TKFIO-F-217/list-directed read/unit=5/attempt to read past end of file.\n"
       " File name = stdin    formatted, sequential access   record = 3\n"
       " In source file reader.f, at line number 13\n",
       127, "end of input in the middle of a statement"},
      {{"l3", "si"}, "abc\n", "",
       "TKFIO-F-225/list-directed read/unit=5/lexical error-- unknown token type.\n"
       " File name = stdin    formatted, sequential access   record = 1\n"
       " In source file reader.f, at line number 3\n",
       127, "a token of no known type"},
      {{"l4", "si"}, "12abc\n", "",
       "TKFIO-F-231/list-directed read/unit=5/error on data conversion.\n"
       " File name = stdin    formatted, sequential access   record = 1\n"
       " In source file reader.f, at line number 4\n",
       127, "a number that does not convert"},
      {{"l9", "nii:5 x"}, "", "",
       "TKFIO-F-225/list-directed read/internal file/lexical error-- unknown token type.\n"
       " In source file reader.f, at line number 9\n",
       127, "an internal file is named as such, with no file line"},
      {{"f1", "si", "si", "si"}, "7\nx\n", "7\n99 status=1 iostat=225\n99 status=2 iostat=-1\n", "", 0,
       "IOSTAT= returns every failure and prints nothing"},
      {{"f4", "si"}, "", "99 status=2 iostat=0\n", "", 0, "END= alone takes end of file"},
      {{"f4", "l2", "si"}, "*\n", "",
       "TKFIO-F-225/list-directed read/unit=5/lexical error-- unknown token type.\n"
       " File name = stdin    formatted, sequential access   record = 1\n"
       " In source file reader.f, at line number 2\n",
       127, "but no other error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    test::temp_dir dir;
    test::run_options options;
    options.arguments = c.operations;
    options.standard_input = c.standard_input;
    options.directory = dir.path();
    options.unset_environment = {"LANG", "TKA_TERM", "FORTRANOPT"};
    const auto result = test::run_program("tp_ldin_reader", options);
    EXPECT_EQ(result.standard_output, c.standard_output);
    EXPECT_EQ(result.standard_error, test::crlf(c.standard_error));
    EXPECT_EQ(result.exit_status, c.exit_status);
  }
}

TEST(ld_read_begin, reads_named_and_default_files_end_to_end) {
  test::temp_dir dir;
  dir.write("Numbers.dat", "12\r\n 7 \r\n");
  dir.write("fort.9", "11 12\n13\n");
  test::run_options options;
  options.directory = dir.path();
  options.unset_environment = {"LANG", "TKA_TERM", "FOR009"};
  options.arguments = {"u9", "sii", "si", "o12:Numbers.dat", "u12", "si", "si", "l30", "si"};
  const auto result = test::run_program("tp_ldin_reader", options);
  EXPECT_EQ(result.standard_output, "11 12\n13\n12\n7\n");
  EXPECT_EQ(result.standard_error,
            test::crlf("TKFIO-F-217/list-directed read/unit=12/attempt to read past end of file.\n"
                       " File name = Numbers.dat    formatted, sequential access   record = 3\n"
                       " In source file reader.f, at line number 30\n"));
  EXPECT_EQ(result.exit_status, 127);
}

}  // namespace
