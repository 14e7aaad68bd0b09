// The run statistics seen from outside: which report lines each "-stat" item gives, their
// format, the units' figures, and that the figures measure what they say.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "process_runner.h"

namespace {

using test::crlf;
using test::run_options;
using test::run_program;

run_options clean(run_options options) {
  for (const char* name : {"TKA_TERM", "TKA_STACK_USAGE", "STAKSTAT", "TKHPF_OPTS", "TKHPF_STAT", "TKHPF_PROF",
                           "FORTRANOPT", "LANG"})
    options.unset_environment.push_back(name);
  return options;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Every line the report may hold, whole, keyed by its label.
struct line_format {
  std::string_view label;
  std::regex pattern;
};
const std::string figures = R"(read \d+ statements, \d+ records, \d+ bytes; wrote \d+ statements, \d+ records, \d+ bytes)";
const line_format line_formats[] = {
    {"stat cpu", std::regex(R"(stat cpu: user \d+\.\d{3} s, system \d+\.\d{3} s, elapsed \d+\.\d{3} s)")},
    {"stat cpus", std::regex(R"(stat cpus: \d+\.\d% of elapsed; \d+ minor and \d+ major page faults; )"
                             R"(\d+ voluntary and \d+ involuntary context switches)")},
    {"stat msg", std::regex("stat msg: unit -?[0-9]+: " + figures + "; file .+")},
    {"stat msgs", std::regex("stat msgs: all units: " + figures)},
    {"stat mem", std::regex(R"(stat mem: peak resident \d+ KiB)")},
    {"stat mems", std::regex(R"(stat mems: heap in use at the end \d+ KiB \(\d+ KiB in the arena, \d+ KiB mapped\))")},
};

// The label of each line, after checking the whole line against its format.
std::vector<std::string> labels_of(const std::string& report) {
  std::vector<std::string> labels;
  for (const std::string& line : lines_of(report)) {
    const std::string label = line.substr(0, line.find(':'));
    bool known = false;
    for (const auto& f : line_formats) {
      if (f.label != label) continue;
      known = true;
      EXPECT_TRUE(std::regex_match(line, f.pattern)) << line;
    }
    EXPECT_TRUE(known) << line;
    labels.push_back(label);
  }
  return labels;
}

struct flag_case {
  const char* why;
  std::vector<std::string> options;  // after "-tkhpf"
  std::vector<std::pair<std::string, std::string>> environment;
  std::vector<std::string> labels;
};
// The probe writes one record on unit 6, so "msg" has one unit to show; "msgs" adds the four
// console units it never used and the total.
const std::vector<std::string> all_units = {"stat msg", "stat msg", "stat msg", "stat msg", "stat msg", "stat msgs"};
const flag_case flag_cases[] = {
    {"without -stat nothing is printed", {}, {}, {}},
    {"cpu", {"-stat", "cpu"}, {}, {"stat cpu"}},
    {"cpus adds its detail to cpu", {"-stat", "cpus"}, {}, {"stat cpu", "stat cpus"}},
    {"msg shows only the units used", {"-stat", "msg"}, {}, {"stat msg"}},
    {"msgs", {"-stat", "msgs"}, {}, all_units},
    {"mem", {"-stat", "mem"}, {}, {"stat mem"}},
    {"mems", {"-stat", "mems"}, {}, {"stat mem", "stat mems"}},
    {"-stat with no value is all, from TKHPF_OPTS", {}, {{"TKHPF_OPTS", "-stat"}}, {"stat cpu", "stat msg", "stat mem"}},
    {"alls from TKHPF_STAT, in the report's order", {}, {{"TKHPF_STAT", "alls"}},
     {"stat cpu", "stat cpus", "stat msg", "stat msg", "stat msg", "stat msg", "stat msg", "stat msgs", "stat mem",
      "stat mems"}},
    {"a number sets its bits", {"-stat", "0x14"}, {}, {"stat msg", "stat mem"}},
    {"prof and trace select nothing", {"-stat", "prof,trace"}, {}, {}},
    {"nor does -prof", {"-prof", "average"}, {}, {}},
};

TEST(statistics_finish, prints_the_lines_the_flag_word_asks_for) {
  for (const auto& c : flag_cases) {
    SCOPED_TRACE(c.why);
    run_options options;
    options.arguments = {"w6:hi"};
    if (!c.options.empty()) options.arguments.push_back("-tkhpf");
    options.arguments.insert(options.arguments.end(), c.options.begin(), c.options.end());
    options.environment = c.environment;
    const auto result = run_program("tp_io_probe", clean(options));
    EXPECT_EQ(result.exit_status, 0);
    // The report goes to standard error and never into a unit's output.
    EXPECT_EQ(result.standard_output, crlf(" hi\n"));
    EXPECT_EQ(labels_of(result.standard_error), c.labels);
  }
}

TEST(statistics_finish, counts_each_units_statements_records_and_bytes) {
  test::temp_dir directory;
  const std::string long_line(40, 'x');
  directory.write("in.dat", "hello\r\n" + long_line + "\n");
  run_options options;
  options.directory = directory.path();
  options.standard_input = "abc\r\n";
  options.arguments = {
      "o10:out.dat", "i10:42", "c10",  // closed: its figures outlive the connection
      "o10:out.dat", "i10:7", "i10:8",  // the same file again: one row for both
      "o11:in.dat", "r11", "r11",       // a short record and one the fast path cannot take
      "f1", "e11",                      // the end of file: a statement, but no record
      "w6:hi", "r5", "-tkhpf", "-stat", "msg"};
  const auto result = run_program("tp_io_probe", clean(options));
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_error,
            "stat msg: unit 5: read 1 statements, 1 records, 3 bytes; wrote 0 statements, 0 records, 0 bytes; "
            "file stdin\n"
            "stat msg: unit 6: read 0 statements, 0 records, 0 bytes; wrote 1 statements, 1 records, 3 bytes; "
            "file stdout\n"
            "stat msg: unit 10: read 0 statements, 0 records, 0 bytes; wrote 3 statements, 3 records, 39 bytes; "
            "file out.dat\n"
            "stat msg: unit 11: read 3 statements, 2 records, 45 bytes; wrote 0 statements, 0 records, 0 bytes; "
            "file in.dat\n");
  // The report changes no file.
  EXPECT_EQ(directory.read("out.dat"), crlf("            7\n            8\n"));
}

double figure_after(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  return at == std::string::npos ? -1.0 : std::stod(text.substr(at + label.size()));
}

TEST(statistics_finish, measures_a_busy_loop) {
  run_options options;
  options.arguments = {"busy", "300", "-tkhpf", "-stat", "cpu"};
  const auto result = run_program("tp_rt_probe", clean(options));
  const double user = figure_after(result.standard_error, "user ");
  const double system = figure_after(result.standard_error, "system ");
  const double elapsed = figure_after(result.standard_error, "elapsed ");
  EXPECT_GE(user + system, 0.29) << result.standard_error;
  EXPECT_LT(user + system, 5.0) << result.standard_error;
  // One thread: the processor time cannot run ahead of the clock on the wall.
  EXPECT_GE(elapsed + 0.02, user + system) << result.standard_error;
}

TEST(statistics_finish, sees_the_peak_of_a_large_record) {
  const auto peak_kib = [](std::string input) {
    run_options options;
    options.standard_input = std::move(input);
    options.arguments = {"r5", "-tkhpf", "-stat", "mem"};
    const auto result = run_program("tp_io_probe", clean(options));
    EXPECT_EQ(result.exit_status, 0);
    return figure_after(result.standard_error, "peak resident ");
  };
  const double small = peak_kib("abc\n");
  const double large = peak_kib(std::string(64 << 20, 'y') + "\n");
  EXPECT_GT(small, 0.0);
  // The record buffer holds the whole 64 MiB record.
  EXPECT_GE(large - small, 60000.0) << small << " " << large;
}

}  // namespace
