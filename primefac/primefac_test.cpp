// The prime-factor program end to end: "Numbers.dat" in, every byte of "Result.dat",
// standard error and the exit status out.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <source_location>
#include <string>
#include <vector>

#include "process_runner.h"

namespace {

// The number record: a blank, the number in 12 columns, a blank, then " = ".
std::string number_record(std::int32_t number) {
  char record[32];
  std::snprintf(record, sizeof record, " %12d  = \r\n", number);
  return record;
}

// A factor record: a blank and the factor in 12 columns.
std::string factor_record(std::int32_t factor) {
  char record[32];
  std::snprintf(record, sizeof record, " %12d\r\n", factor);
  return record;
}

std::string entry(std::int32_t number, const std::vector<std::int32_t>& factors = {}) {
  std::string records = number_record(number);
  for (const std::int32_t factor : factors) records += factor_record(factor);
  return records;
}

// The program quotes its own source path, as the compiler was given it, beside this file.
std::string program_source() {
  return (std::filesystem::path(std::source_location::current().file_name()).parent_path() /
          "SourceFile1.cpp")
      .string();
}

struct run {
  test::temp_dir dir;
  test::run_result result;
  explicit run(const std::string* numbers, const std::string& old_result = {}) {
    if (numbers != nullptr) dir.write("Numbers.dat", *numbers);
    if (!old_result.empty()) dir.write("Result.dat", old_result);
    test::run_options options;
    options.directory = dir.path();
    options.unset_environment = {"LANG", "TKA_TERM", "FORTRANOPT", "FOR012", "FOR013"};
    result = test::run_program("primefac", options);
  }
};

TEST(primefac, writes_the_worked_example_byte_for_byte) {
  const std::string numbers = "12\n7\n0\n";
  run r(&numbers);
  EXPECT_EQ(r.dir.read("Result.dat"),
            "           12  = \r\n"
            "            2\r\n"
            "            2\r\n"
            "            3\r\n"
            "            7  = \r\n"
            "            7\r\n");
  EXPECT_EQ(r.result.exit_status, 0);
  EXPECT_EQ(r.result.standard_output, "");
  EXPECT_EQ(r.result.standard_error, "");
}

struct result_case {
  std::string numbers;
  std::string result;
  const char* why;
  std::string old_result = {};
};

TEST(primefac, factors_every_number_until_zero) {
  const result_case cases[] = {
      {"12\r\n7\r\n0\r\n", entry(12, {2, 2, 3}) + entry(7, {7}), "CR LF lines read like LF lines"},
      {"1\n2\n0\n", entry(1) + entry(2, {2}), "1 has no factor record, 2 has itself"},
      {"-12\n-1\n97\n0\n", entry(-12) + entry(-1) + entry(97, {97}),
       "negative numbers get only the number record"},
      {"1024\n0\n", entry(1024, std::vector<std::int32_t>(10, 2)), "a repeated factor"},
      {"2147483647\n2147483646\n0\n",
       entry(2147483647, {2147483647}) + entry(2147483646, {2, 3, 3, 7, 11, 31, 151, 331}),
       "the largest 32-bit value, a prime, and its neighbour: ten digits after three blanks"},
      {"-2147483648\n0\n", entry(-2147483648), "the smallest 32-bit value fills all 12 columns"},
      {"0\n12\n", "", "a first 0 ends the run: Result.dat exists and is empty"},
      {"12 7\n5,6\n0 9\n", entry(12, {2, 2, 3}) + entry(5, {5}),
       "each read takes the first value of a new line; the rest of the line is passed over"},
      {"12 apples\n0\n", entry(12, {2, 2, 3}), "text after the value is never scanned"},
      {"\n  \n12\n\n0\n", entry(12, {2, 2, 3}), "blank lines are passed over"},
      {"12.7\n0\n", entry(12, {2, 2, 3}), "a fractional value is truncated toward zero"},
      {"6\n0", entry(6, {2, 3}), "a last line without a terminator"},
      {"6\n0\n", entry(6, {2, 3}), "an older, longer Result.dat is cut to the new records",
       std::string(500, 'x') + "\r\n"},
      // A read that stores nothing leaves N as the last statements left it: divided down to 1
      // by the factoring of a number of 2 or more, unchanged below 2.
      {"12\n,\n0\n", entry(12, {2, 2, 3}) + entry(1), "a null value after repeated factors"},
      {"1024\n/\n0\n", entry(1024, std::vector<std::int32_t>(10, 2)) + entry(1),
       "a slash after a power of two"},
      {"7\n\n  \n,\n0\n", entry(7, {7}) + entry(1),
       "blank lines before a null value after a prime"},
      {"2147483647\n,5\n0\n", entry(2147483647, {2147483647}) + entry(1),
       "a null value first on its line: the 5 after it is passed over"},
      {"6\n3*\n0\n", entry(6, {2, 3}) + entry(1), "a repeat count of nulls"},
      {"-5\n,\n/\n0\n", entry(-5) + entry(-5) + entry(-5), "below 2, N is never divided"},
      {"1\n/\n0\n", entry(1) + entry(1), "1 stays 1"},
      {",\n12\n0\n", "", "a null value first: N is still 0 and ends the run"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    run r(&c.numbers, c.old_result);
    ASSERT_TRUE(std::filesystem::exists(r.dir / "Result.dat"));
    EXPECT_EQ(r.dir.read("Result.dat"), c.result);
    EXPECT_EQ(r.result.exit_status, 0);
    EXPECT_EQ(r.result.standard_output, "");
    EXPECT_EQ(r.result.standard_error, "");
  }
}

struct failure_case {
  const char* numbers;  // null: no Numbers.dat at all
  std::string result;
  std::string first_line;
  int record;
  const char* why;
};

// The abnormal end flushes every unit, so the records written before the error are kept.
TEST(primefac, reports_a_bad_numbers_file_and_ends_with_127) {
  const failure_case cases[] = {
      {"12\n7\n", entry(12, {2, 2, 3}) + entry(7, {7}),
       "TKFIO-F-217/list-directed read/unit=12/attempt to read past end of file.", 3,
       "no terminating 0"},
      {nullptr, "", "TKFIO-F-217/list-directed read/unit=12/attempt to read past end of file.", 1,
       "no Numbers.dat: OPEN creates it empty"},
      {"", "", "TKFIO-F-217/list-directed read/unit=12/attempt to read past end of file.", 1,
       "an empty Numbers.dat"},
      {"12\nabc\n0\n", entry(12, {2, 2, 3}),
       "TKFIO-F-225/list-directed read/unit=12/lexical error-- unknown token type.", 2,
       "a word where a number should be"},
      {"12\n12abc\n0\n", entry(12, {2, 2, 3}),
       "TKFIO-F-231/list-directed read/unit=12/error on data conversion.", 2,
       "a number with letters after it"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string numbers = c.numbers != nullptr ? c.numbers : "";
    run r(c.numbers != nullptr ? &numbers : nullptr);
    EXPECT_EQ(r.result.standard_error,
              c.first_line + "\r\n" +
                  " File name = Numbers.dat    formatted, sequential access   record = " +
                  std::to_string(c.record) + "\r\n" + " In source file " + program_source() +
                  ", at line number 7\r\n");
    EXPECT_EQ(r.result.exit_status, 127);
    EXPECT_EQ(r.result.standard_output, "");
    EXPECT_EQ(r.dir.read("Result.dat"), c.result);
    EXPECT_TRUE(std::filesystem::exists(r.dir / "Numbers.dat"));
  }
}

TEST(primefac, reports_an_unopenable_result_file_at_line_5) {
  const std::string numbers = "12\n0\n";
  test::temp_dir dir;
  dir.write("Numbers.dat", numbers);
  // A dangling link: the file it names cannot be created.
  std::filesystem::create_symlink("missing_dir/Result.dat", dir / "Result.dat");
  test::run_options options;
  options.directory = dir.path();
  options.unset_environment = {"LANG", "TKA_TERM"};
  const auto result = test::run_program("primefac", options);
  EXPECT_EQ(result.standard_error,
            "TKFIO/stdio: No such file or directory\n"
            "TKFIO-F-/OPEN/unit=13/error code returned by host stdio - 2.\r\n"
            " File name = Result.dat\r\n"
            " In source file " +
                program_source() + ", at line number 5\r\n");
  EXPECT_EQ(result.exit_status, 127);
}

}  // namespace
