// End-to-end tests of the start-up, the options and both ways a program ends.
#include "startup.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <string>

#include "process_runner.h"

namespace {

using test::run_options;
using test::run_program;

struct rounding_case {
  std::int32_t processor_count;
  std::int64_t rounded;
};
constexpr rounding_case rounding_cases[] = {
    {1, 1}, {0, 1}, {-4, 1}, {2, 2}, {3, 4}, {4, 4}, {1025, 2048},
    {INT32_MAX, std::int64_t{1} << 31},  // one past the 32-bit range: no endless doubling
};

TEST(rounded_processor_count, is_the_next_power_of_two) {
  for (const auto& c : rounding_cases) {
    SCOPED_TRACE(c.processor_count);
    EXPECT_EQ(runtime::rounded_processor_count(c.processor_count), c.rounded);
  }
}

// Every run starts from a clean slate: none of the runtime's variables are inherited.
run_options clean(run_options options) {
  for (const char* name : {"TKA_TERM", "TKA_TERM_DEBUG", "TKA_STACK_USAGE", "STAKSTAT", "TKHPF_OPTS",
                           "TKHPF_TEST", "TKHPF_NP", "TKHPF_G", "TKHPF_STAT", "TKHPF_PROF", "TKHPF_SIGMSG",
                           "TKHPF_V", "TKHPF_VERSION", "TKHPF_ZMEM", "TKHPF_TRACE"})
    options.unset_environment.push_back(name);
  return options;
}

struct end_case {
  const char* why;
  std::vector<std::string> arguments;
  std::vector<std::pair<std::string, std::string>> environment;
  std::string standard_output;
  std::string standard_error;
  int exit_status;  // -1: ended by the signal below
  int signal_number = 0;
};
const end_case end_cases[] = {
    {"a normal return exits 0 and prints nothing more", {"a", "b"}, {}, "MAIN_ ran: a b\n", "", 0},
    {"program_exit passes its status on", {"exit", "3"}, {}, "MAIN_ ran: exit 3\n", "", 3},
    {"an omitted status is 0", {"exit-absent"}, {}, "MAIN_ ran: exit-absent\n", "", 0},
    {"the program's arguments end at the marker", {"x", "-tkhpf", "-np", "2"}, {}, "MAIN_ ran: x\n", "", 0},
    {"-V prints the banner and the program goes on", {"-tkhpf", "-V"}, {}, "MAIN_ ran:\n",
     "LIBTKF90 nt86  10.8-0\nStart-up, termination and record I/O runtime for console programs\n", 0},
    {"a bad TKA_TERM ends the program before MAIN_", {}, {{"TKA_TERM", "bogus"}}, "",
     "Error: TKA_TERM invalid value\n", 127},
    {"and runs no at-exit handler", {}, {{"TKA_TERM", "signalx"}, {"STAKSTAT", ""}}, "",
     "Error: TKA_TERM invalid value\n", 127},
    {"an option error ends the program before MAIN_ does any output", {"-tkhpf", "-np", "0"}, {}, "",
     "0: missing or invalid numeric value for -np/TKHPF_NP command/environment option\n\n", 127},
    {"the same from TKHPF_OPTS", {}, {{"TKHPF_OPTS", "-zmem"}}, "",
     "0: missing or invalid yes/no value for -zmem/TKHPF_ZMEM command/environment option\n\n", 127},
    {"a run-time error", {"error"}, {}, "MAIN_ ran: error\n", "0: probe failure\n", 127},
    {"TKA_TERM=abort ends by the platform's abort", {"error"}, {{"TKA_TERM", "abort"}},
     "MAIN_ ran: error\n", "0: probe failure\n", -1, SIGABRT},
    {"TKA_TERM=signal catches an interrupt", {"raise", "2"}, {{"TKA_TERM", "signal"}},
     "MAIN_ ran: raise 2\n", "Error: interrupt\n", 127},
    {"and a segmentation violation", {"raise", "11"}, {{"TKA_TERM", "abort,noabort,signal"}},
     "MAIN_ ran: raise 11\n", "Error: segmentation violation\n", 127},
    {"without TKA_TERM an interrupt is the platform's", {"raise", "2"}, {}, "MAIN_ ran: raise 2\n", "", -1,
     SIGINT},
    {"-sigmsg names the signal", {"raise", "2", "-tkhpf", "-sigmsg"}, {}, "MAIN_ ran: raise 2\n",
     "0: interrupt\n", 127},
    {"-sigmsg wins over TKA_TERM", {"raise", "11", "-tkhpf", "-sigmsg", "yes"}, {{"TKA_TERM", "signal"}},
     "MAIN_ ran: raise 11\n", "0: segmentation violaiton\n", 127},
    {"-sigmsg is silent for a termination", {"raise", "15", "-tkhpf", "-sigmsg", "15"}, {},
     "MAIN_ ran: raise 15\n", "", 127},
    {"-sigmsg lists signals outside its table", {"raise", "10"}, {{"TKHPF_SIGMSG", "0xa,2"}},
     "MAIN_ ran: raise 10\n", "0: killed by unknown signal 10\n", 127},
    {"a debugger command runs on the way down", {"error"},
     {{"TKA_TERM", "debug"}, {"TKA_TERM_DEBUG", "echo debugger for %d"}}, "MAIN_ ran: error\ndebugger for ",
     "0: probe failure\n", 127},
};

TEST(process_main, ends_as_asked) {
  for (const auto& c : end_cases) {
    SCOPED_TRACE(c.why);
    run_options options;
    options.arguments = c.arguments;
    options.environment = c.environment;
    const auto result = run_program("tp_rt_probe", clean(options));
    // The debugger's line carries the process id, so only its start is compared.
    EXPECT_EQ(result.standard_output.substr(0, c.standard_output.size()), c.standard_output);
    EXPECT_EQ(result.standard_error, c.standard_error);
    test::expect_ending(result, c.exit_status, c.signal_number);
  }
}

TEST(process_main, reports_stack_usage_last) {
  for (const char* name : {"STAKSTAT", "TKA_STACK_USAGE"}) {
    SCOPED_TRACE(name);
    run_options options;
    options.environment = {{name, ""}};
    const auto result = run_program("tp_rt_probe", clean(options));
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_TRUE(std::regex_match(result.standard_output,
                                 std::regex("MAIN_ ran:\n thread 0 stack: max +[0-9]+KB, used +0KB\n")))
        << result.standard_output;
  }
}

struct unit_call_case {
  const char* why;
  std::vector<std::string> arguments;
  std::string standard_output;
  int exit_status;
};
const unit_call_case unit_call_cases[] = {
    {"the exit handler runs once, though runtime_init ran twice", {}, "close_all_units\n", 0},
    {"the abnormal end flushes every unit and closes none", {"error"}, "flush_all_units\n", 127},
};

TEST(runtime_exit_handler, closes_units_only_at_a_normal_end) {
  for (const auto& c : unit_call_cases) {
    SCOPED_TRACE(c.why);
    run_options options;
    options.arguments = c.arguments;
    const auto result = run_program("tp_rt_unit_calls", clean(options));
    EXPECT_EQ(result.standard_output, c.standard_output);
    EXPECT_EQ(result.exit_status, c.exit_status);
  }
}

struct written_case {
  const char* why;
  std::vector<std::pair<std::string, std::string>> environment;
  int exit_status;  // -1: ended by SIGABRT
};
const written_case written_cases[] = {
    {"a normal end closes the file", {}, 0},
    {"an abnormal end still flushes it", {}, 127},
    {"and so does an abort", {{"TKA_TERM", "abort"}}, -1},
};

TEST(fatal_stop, loses_no_record_written_before_it) {
  for (const auto& c : written_cases) {
    SCOPED_TRACE(c.why);
    test::temp_dir directory;
    run_options options;
    options.directory = directory.path();
    options.environment = c.environment;
    options.arguments = {"o10:out.dat", "w10:hello", "w6:console"};
    if (c.exit_status != 0) options.arguments.push_back("x");
    const auto result = run_program("tp_io_probe", clean(options));
    EXPECT_EQ(directory.read("out.dat"), test::crlf(" hello\n"));
    EXPECT_EQ(result.standard_output, test::crlf(" console\n"));
    if (c.exit_status >= 0) {
      EXPECT_EQ(result.exit_status, c.exit_status);
    } else {
      EXPECT_EQ(result.signal_number, SIGABRT);
    }
  }
}

}  // namespace
