// The whole console dialogue of the polygon-area program, byte for byte, through a pipe.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "process_runner.h"
#include "test_paths.h"

namespace {

using test::crlf;

// Records as the program writes them; crlf() adds the CR of every terminator.
constexpr std::string_view ask_count = " Please input N >= 3:\n";
constexpr std::string_view ask_vertex = " Please input x , y:\n";
constexpr std::string_view area_half = "   0.5000001    \n";  // both halves of the unit square

std::string repeat(std::string_view text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// The report of a failed read statement: code, text, record counter shown, source line.
std::string read_report(int code, std::string_view text, int record, int line) {
  return "TKFIO-F-" + std::to_string(code) + "/list-directed read/unit=5/" + std::string(text) +
         ".\n File name = stdin    formatted, sequential access   record = " +
         std::to_string(record) + "\n In source file " + std::string(test::source_dir) +
         "/polyarea/Index.cpp, at line number " + std::to_string(line) + "\n";
}

struct dialogue_case {
  std::string standard_input;
  std::string standard_output;  // LF stands for CR LF
  std::string standard_error;   // LF stands for CR LF
  int exit_status;
  const char* why;
};

const std::string unit_square_output = std::string(ask_count) + repeat(ask_vertex, 3) +
                                       std::string(area_half) + std::string(ask_vertex) +
                                       std::string(area_half) + "The total area is  1.00\n";
const std::string right_triangle_output = repeat(ask_vertex, 3) + "    6.000000    \n" +
                                          "The total area is  6.00\n";

TEST(polyarea, carries_the_console_dialogue) {
  const dialogue_case cases[] = {
      {"4\n0 0\n1 0\n1 1\n0 1\n", unit_square_output, "", 0,
       "the unit square: halves of 0.500000119 and 0.50000006, total 1.00"},
      {"4\r\n0 0\r\n1 0\r\n1 1\r\n0 1\r\n", unit_square_output, "", 0,
       "CR LF line ends read like LF"},
      {"4\n0\n0\n1\n0\n1 1\n0\n1\n", unit_square_output, "", 0,
       "a vertex over two lines: the read goes on into the next record"},
      {"4 0 0\n0 0 9\n1 0 8 8\n1 1\n0 1 7\n", unit_square_output, "", 0,
       "values after the ones a read needs are dropped with their line"},
      {"3\n0 0\n3 0\n0 4\n", std::string(ask_count) + right_triangle_output, "", 0,
       "N = 3: one triangle, the total equals its area"},
      {"2\n0\n-5\n3\n0 0\n3 0\n0 4\n", repeat(ask_count, 4) + right_triangle_output, "", 0,
       "counts below 3 ask again with the same prompt"},
      {"4\n2 2\n2 2\n2 2\n2 2\n",
       std::string(ask_count) + repeat(ask_vertex, 3) + "    0.000000    \n" +
           std::string(ask_vertex) + "    0.000000    \nThe total area is  0.00\n",
       "", 0, "all vertices equal: zero areas"},
      {"4\n0 0\n0 1\n1 1\n1 0\n", unit_square_output, "", 0,
       "clockwise order: the same positive areas"},
      {"4\n0 0\n10 0\n10 10\n0 10\n",
       std::string(ask_count) + repeat(ask_vertex, 3) + "    50.00000    \n" +
           std::string(ask_vertex) + "    50.00000    \nThe total area is *****\n",
       "", 0, "a total of 100 does not fit F5.2: asterisks, no error"},
      {"5\n0 0\n4 0\n4 4\n2 1\n0 4\n",
       std::string(ask_count) + repeat(ask_vertex, 3) + "    8.000002    \n" +
           std::string(ask_vertex) + "    1.999999    \n" + std::string(ask_vertex) +
           "    4.000000    \nThe total area is 14.00\n",
       "", 0, "not star-shaped from vertex 1: unsigned areas add up to more than 10"},
      {"3\n0 0\n0.3 0.3\n0.9 0.9\n",
       std::string(ask_count) + repeat(ask_vertex, 3) +
           "             NaN\nThe total area is   NaN\n",
       "", 0, "nearly collinear: the area and the total are NaN"},
      {"", std::string(ask_count), read_report(217, "attempt to read past end of file", 1, 7),
       127, "end of input at the first prompt"},
      {"abc\n", std::string(ask_count),
       read_report(225, "lexical error-- unknown token type", 1, 7), 127,
       "a word where the count belongs"},
      {"4\n0\n", std::string(ask_count) + std::string(ask_vertex),
       read_report(217, "attempt to read past end of file", 3, 12), 127,
       "end of input inside the first vertex"},
      {"4\r\n0 y\r\n", std::string(ask_count) + std::string(ask_vertex),
       read_report(225, "lexical error-- unknown token type", 2, 12), 127,
       "a letter for y of the first vertex, CR LF lines"},
      {"4\n0 0\n", std::string(ask_count) + repeat(ask_vertex, 2),
       read_report(217, "attempt to read past end of file", 3, 14), 127,
       "end of input at the second vertex"},
      {"3\n0 0\n1 0\n1 q\n", std::string(ask_count) + repeat(ask_vertex, 3),
       read_report(225, "lexical error-- unknown token type", 4, 18), 127,
       "a letter in a vertex of the loop"},
      {"4\n0 0\n1 0\n1 1\n",
       std::string(ask_count) + repeat(ask_vertex, 3) + std::string(area_half) +
           std::string(ask_vertex),
       read_report(217, "attempt to read past end of file", 5, 18), 127,
       "end of input after one triangle: its area was already written"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    test::run_options options;
    options.standard_input = c.standard_input;
    options.unset_environment = {"LANG", "TKA_TERM", "TKA_TERM_DEBUG", "FORTRANOPT"};
    const auto result = test::run_program("polyarea", options);
    EXPECT_EQ(result.standard_output, crlf(c.standard_output));
    EXPECT_EQ(result.standard_error, crlf(c.standard_error));
    EXPECT_TRUE(result.exited());
    EXPECT_EQ(result.exit_status, c.exit_status);
  }
}

}  // namespace
