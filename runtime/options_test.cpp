// Tests of where runtime options are found, how their values are read, and their errors.
#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime.h"
#include "startup.h"

namespace {

using runtime::runtime_settings;

struct size_case {
  std::string_view text;
  std::int32_t value;
  std::size_t scanned_length;
};
constexpr size_case size_cases[] = {
    {"4k", 4096, 2},
    {"1K", 1024, 2},
    {"3m", 3 << 20, 2},
    {"1g", 1 << 30, 2},
    {"2g", INT32_MIN, 2},           // the shift is done in 32 bits: bit 31 lands in the sign
    {"4g", 0, 2},                   // and what falls off the top is lost
    {"-1k", -1024, 3},
    {"0x10", 16, 4},
    {"0x1g", 1 << 30, 4},           // the suffix follows a hexadecimal number too
    {"010", 8, 3},                  // a leading 0 is octal
    {"08", 0, 1},                   // 8 is no octal digit: the number is the 0
    {"0x", 0, 1},                   // no hexadecimal digit: "0" is read, "x" is left
    {"  +12", 12, 5},               // leading white space and sign, as strtol takes them
    {"\t-7", -7, 3},
    {"5 k", 5, 1},                  // the suffix must follow at once
    {"3kk", 3072, 2},               // one suffix only
    {"", 0, 0},
    {"-", 0, 0},                    // a sign alone reads nothing
    {"x", 0, 0},
    {"k", 0, 0},                    // no suffix without a number
    {"2147483647", INT32_MAX, 10},
    {"2147483648", INT32_MAX, 10},  // clamped to 32 bits
    {"-2147483648", INT32_MIN, 11},
    {"-2147483649", INT32_MIN, 11},
    {"99999999999999999999999999", INT32_MAX, 26},  // saturates without overflowing
    {"0xffffffffk", -1024, 11},  // clamped to 0x7fffffff first, then shifted
};

TEST(read_size_number, reads_like_strtol_with_suffixes) {
  for (const auto& c : size_cases) {
    SCOPED_TRACE(c.text);
    const auto number = runtime::read_size_number(c.text);
    EXPECT_EQ(number.value, c.value);
    EXPECT_EQ(number.scanned_length, c.scanned_length);
  }
}

// A command line and environment as process_main would have saved them.
class process_setting {
 public:
  process_setting(std::vector<std::string> arguments, std::vector<std::string> environment)
      : arguments_(std::move(arguments)), environment_(std::move(environment)) {
    for (auto& a : arguments_) argv_.push_back(a.data());
    argv_.push_back(nullptr);
    for (auto& e : environment_) envp_.push_back(e.data());
    envp_.push_back(nullptr);
    runtime::clear_runtime_options();
    runtime::save_process_arguments(static_cast<int>(arguments_.size()), argv_.data(), envp_.data());
  }
  char** argv() { return argv_.data(); }

 private:
  std::vector<std::string> arguments_, environment_;
  std::vector<char*> argv_, envp_;
};

// The options runtime_init reads, without its handlers and at-exit registration.
runtime_settings read_options() {
  runtime::read_runtime_options();
  runtime::read_zero_memory_option();
  runtime::read_trace_option();
  return runtime::settings();
}

constexpr runtime_settings defaults{};
constexpr runtime_settings with(std::int32_t runtime_settings::*field, std::int32_t value,
                                runtime_settings s = defaults) {
  s.*field = value;
  return s;
}
using S = runtime_settings;

struct option_case {
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
  runtime_settings expected;
};
const option_case option_cases[] = {
    {{"prog"}, {}, defaults},
    {{"prog", "-tkhpf", "-stat", "cpu"}, {}, with(&S::statistics_flags, 0x01)},
    {{"prog", "-stat", "cpu"}, {}, defaults},  // without the marker, words are the program's
    {{"prog"}, {"TKHPF_STAT=cpu"}, with(&S::statistics_flags, 0x01)},
    {{"prog"}, {"TKHPF_STATS=cpu", "tkhpf_stat=cpu"}, defaults},  // names match exactly
    {{"prog", "-tkhpf", "-np", "2"}, {"TKHPF_NP=4"}, with(&S::processor_count, 2)},  // command line first
    {{"prog"}, {"TKHPF_OPTS=-np 5", "TKHPF_NP=3"}, with(&S::processor_count, 3)},    // then the variable
    {{"prog"}, {"TKHPF_OPTS=-np 2 -stat"}, with(&S::statistics_flags, 0x15, with(&S::processor_count, 2))},
    {{"prog"}, {"TKHPF_OPTS=   -np    2   "}, with(&S::processor_count, 2)},  // runs of blanks
    {{"prog"}, {"TKHPF_OPTS=-np\t2"}, defaults},  // a tab is part of the word
    {{"prog", "-tkhpf", "-np", "4k"}, {}, with(&S::processor_count, 4096)},
    {{"prog", "-tkhpf", "-test"}, {}, with(&S::test_level, -1)},  // last word: the empty value
    {{"prog", "-tkhpf", "-test", "abc"}, {}, with(&S::test_level, -1)},  // nothing read
    {{"prog", "-tkhpf", "-test", "-3"}, {}, with(&S::test_level, -3)},
    {{"prog", "-tkhpf", "-g", "-stat", "all"}, {},  // "-g" takes no option as its value
     with(&S::debug_processor, -1, with(&S::debug_flag, 1, with(&S::statistics_flags, 0x15)))},
    {{"prog", "-tkhpf", "-np", "4", "-g", "3"}, {},
     with(&S::debug_processor, 3, with(&S::debug_flag, 1, with(&S::processor_count, 4)))},
    {{"prog"}, {"TKHPF_G=-5"}, with(&S::debug_processor, -1, with(&S::debug_flag, 1))},
    {{"prog", "-tkhpf", "-stat", "cpusx,7"}, {}, with(&S::statistics_flags, 0x07)},
    {{"prog", "-tkhpf", "-stat", "-x"}, {}, with(&S::statistics_flags, 0x15)},
    {{"prog", "-tkhpf", "-stat", "alls,trace,prof"}, {}, with(&S::statistics_flags, 0xea)},
    {{"prog", "-tkhpf", "-stat", "msgs,mem,"}, {}, with(&S::statistics_flags, 0x18)},  // trailing comma
    {{"prog", "-tkhpf", "-stat", "0x100z"}, {}, with(&S::statistics_flags, 0x100)},  // rest ignored
    {{"prog", "-tkhpf", "-stat", "12k"}, {}, with(&S::statistics_flags, 12)},        // no suffixes
    {{"prog", "-tkhpf", "-prof", "av"}, {}, with(&S::statistics_flags, 0x400000)},
    {{"prog", "-tkhpf", "-prof", "none", "-stat", "cpu"}, {}, with(&S::statistics_flags, 0x800001)},
    {{"prog", "-tkhpf", "-prof", "al"}, {}, defaults},
    {{"prog", "-tkhpf", "-zmem", "yes"}, {}, with(&S::zero_memory_flag, 1)},
    {{"prog", "-tkhpf", "-zmem", "N"}, {}, defaults},
    {{"prog", "-tkhpf", "-trace"}, {}, with(&S::trace_flag, 1)},
    {{"prog", "-tkhpf", "-trace", "0x0"}, {}, with(&S::trace_flag, 1)},
    {{"prog"}, {"TKHPF_TRACE="}, with(&S::trace_flag, 1)},
};

TEST(read_runtime_options, finds_options_in_search_order) {
  for (const auto& c : option_cases) {
    std::string trace;
    for (const auto& a : c.arguments) trace += a + " ";
    for (const auto& e : c.environment) trace += "[" + e + "] ";
    SCOPED_TRACE(trace);
    process_setting process(c.arguments, c.environment);
    EXPECT_EQ(read_options(), c.expected);
  }
}

TEST(locate_runtime_options, cuts_the_argument_vector_at_the_marker) {
  process_setting process({"prog", "in.dat", "-tkhpf", "-V", "-tkhpf"}, {});
  runtime::locate_runtime_options();
  EXPECT_EQ(runtime::saved_argument_count(), 2);
  EXPECT_EQ(process.argv()[2], nullptr);
  EXPECT_TRUE(runtime::version_requested());
  EXPECT_EQ(runtime::runtime_option("-tkhpf"), "");  // a second marker is just a word
  EXPECT_EQ(runtime::runtime_option("-version"), std::nullopt);
}

TEST(runtime_option, is_absent_before_the_options_are_located) {
  process_setting process({"prog", "-tkhpf", "-np", "2"}, {"TKHPF_NP=3"});
  EXPECT_EQ(runtime::runtime_option("-np"), std::nullopt);
  EXPECT_EQ(runtime::environment_value("TKHPF_NP"), "3");
}

TEST(split_options_variable, takes_127_words) {
  std::string words;
  for (int i = 0; i < 127; ++i) words += " w";
  process_setting process({"prog"}, {"TKHPF_OPTS=" + words + " -np 7"});
  EXPECT_EXIT(read_options(), testing::ExitedWithCode(127), "^0: TKHPF_OPTS: too many options\n$");
  process_setting fits({"prog"}, {"TKHPF_OPTS=" + words});
  read_options();
  EXPECT_EQ(runtime::runtime_option("w"), "w");
}

struct yes_no_case {
  std::vector<std::string> environment;
  std::int32_t default_value;
  std::int32_t result;
};
const yes_no_case yes_no_cases[] = {
    {{}, 0, 0},  // absent: the default
    {{}, 1, 1},
    {{"TKHPF_ZMEM=yes"}, 0, 1},
    {{"TKHPF_ZMEM=Yikes"}, 0, 1},  // only the first letter counts
    {{"TKHPF_ZMEM=no"}, 1, 0},
    {{"TKHPF_ZMEM=N"}, 1, 0},
};

TEST(yes_no_option, reads_the_first_letter) {
  for (const auto& c : yes_no_cases) {
    SCOPED_TRACE(c.environment.empty() ? "absent" : c.environment[0]);
    process_setting process({"prog"}, c.environment);
    runtime::locate_runtime_options();
    EXPECT_EQ(runtime::yes_no_option("-zmem", c.default_value), c.result);
  }
}

struct error_case {
  std::vector<std::string> options;  // after the marker
  const char* report;                // all of standard error
};
constexpr const char* np_error = "^0: missing or invalid numeric value for -np/TKHPF_NP command/environment option\n\n$";
const error_case error_cases[] = {
    {{"-test", "5x"}, "^0: invalid numeric value for -test/TKHPF_TEST command/environment option\n\n$"},
    {{"-np", "0"}, np_error},
    {{"-np", "x"}, np_error},
    {{"-np", "2x"}, np_error},
    {{"-np"}, np_error},             // last word: the empty value
    {{"-np", "-stat"}, np_error},    // "-np" does take the next option as its value
    {{"-g", "1"}, "^0: invalid numeric value for -g/TKHPF_G command/environment option\n\n$"},  // not below 1
    {{"-np", "2", "-g", "1x"}, "^0: invalid numeric value for -g/TKHPF_G command"},
    {{"-stat", "cpu,bogus"}, "^0: invalid format for -stat/TKHPF_STAT command/environment option\n\n$"},
    {{"-stat", ",cpu"}, "^0: invalid format for -stat/"},  // an empty item
    {{"-prof", "a"}, "^0: invalid value for -prof/TKHPF_PROF command/environment option\n\n$"},
    {{"-prof", "averages"}, "^0: invalid value for -prof/"},
    {{"-prof"}, "^0: invalid value for -prof/"},
    {{"-zmem"}, "^0: missing or invalid yes/no value for -zmem/TKHPF_ZMEM command/environment option\n\n$"},
    {{"-zmem", "maybe"}, "^0: missing or invalid yes/no value for -zmem/"},
    {{"-trace", "1"}, "^0: invalid -trace processor\n$"},
    {{"-trace", "-1"}, "^0: invalid -trace processor\n$"},
    {{"-trace", "0k1"}, "^0: invalid -trace processor\n$"},
    {{"-sigmsg", "2x"}, "^0: invalid value for -sigmsg/TKHPF_SIGMSG command/environment option\n\n$"},
    {{"-sigmsg", "2,,4"}, "^0: invalid value for -sigmsg/"},
    {{"-sigmsg", "9"}, "^0: invalid value for -sigmsg/"},    // cannot be caught
    {{"-sigmsg", "999"}, "^0: invalid value for -sigmsg/"},  // no such signal
    {{"-sigmsg", "nope"}, "^0: invalid value for -sigmsg/"},
};

TEST(runtime_init, reports_bad_values_and_ends_with_127) {
  for (const auto& c : error_cases) {
    std::vector<std::string> arguments{"prog", "-tkhpf"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    SCOPED_TRACE(c.options[0] + (c.options.size() > 1 ? " " + c.options[1] : ""));
    process_setting process(arguments, {});
    EXPECT_EXIT(runtime_init(nullptr), testing::ExitedWithCode(127), c.report);
  }
}

}  // namespace
