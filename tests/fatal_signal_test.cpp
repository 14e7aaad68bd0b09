// The abnormal end from a fatal signal, run as processes: a program writing records is
// interrupted, terminated or faults at random moments, and must end in bounded time with the
// message and status the design gives, its file a prefix of what it was writing, no record
// twice; the debugger command runs once; tracebacks name the failing function.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "process_runner.h"

namespace {

using test::run_options;
using test::run_program;
using test::temp_dir;
using namespace std::chrono_literals;

// What fault_probe's write-ints writes for the value.
std::string integer_record(int value) {
  const std::string digits = std::to_string(value);
  return " " + std::string(12 - digits.size(), ' ') + digits + "\r\n";
}
constexpr std::size_t integer_record_length = 15;

// The number of whole records when the file is the records 1, 2, ... in order, the last one
// possibly cut; -1 when it is anything else (a record lost, written twice or garbled).
long whole_records_of_prefix(const std::string& file) {
  const std::size_t whole = file.size() / integer_record_length;
  for (std::size_t i = 0; i <= whole; ++i) {
    const std::string expected = integer_record(static_cast<int>(i + 1));
    const std::size_t at = i * integer_record_length;
    const std::size_t length = std::min(integer_record_length, file.size() - at);
    if (file.compare(at, length, expected, 0, length) != 0) return -1;
  }
  return static_cast<long>(whole);
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// fault_probe started with its standard error in err.txt, left to run.
pid_t start_probe(const temp_dir& dir, const std::vector<std::string>& arguments,
                  const std::vector<std::pair<std::string, std::string>>& environment) {
  const std::string path = test::program_path("tp_fault_probe").string();
  const std::string error_file = (dir / "err.txt").string();
  const pid_t pid = fork();
  if (pid == 0) {
    for (const char* name : {"LANG", "TKA_TERM", "TKA_TERM_DEBUG", "FORTRANOPT"}) unsetenv(name);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    // Descriptors, not stdio: the test's own unflushed output must not be written again here.
    const int error = open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int nothing = open("/dev/null", O_WRONLY);
    if (chdir(dir.path().c_str()) != 0 || error < 0 || nothing < 0 || dup2(error, 2) < 0 || dup2(nothing, 1) < 0) {
      _exit(126);
    }
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(125);
  }
  return pid;
}

struct ending {
  bool in_time = false;
  int status = 0;
  std::string state_at_limit;  // /proc/<pid>/stat of a child that did not end
};

// Waits for the child; one that outlives the limit is killed and reported as a hang.
ending wait_for(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  ending result;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &result.status, WNOHANG) == pid) {
      result.in_time = true;
      return result;
    }
    std::this_thread::sleep_for(200us);
  }
  result.state_at_limit = read_file("/proc/" + std::to_string(pid) + "/stat");
  kill(pid, SIGKILL);
  waitpid(pid, &result.status, 0);
  return result;
}

// Until the OPEN has made the file, the handlers are not all there yet.
void wait_until_exists(const std::filesystem::path& file, pid_t pid) {
  for (int i = 0; i < 20000 && !std::filesystem::exists(file); ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(50us);
  }
}

struct storm_kind {
  const char* why;
  const char* term;
  int signal_number;  // sent from outside; 0: the program faults after a random count
  const char* message;
  int exit_status;    // -1: ends by SIGABRT
};
const storm_kind storm_kinds[] = {
    {"an interrupt", "signal", SIGINT, "Error: interrupt\n", 127},
    {"a termination", "signal", SIGTERM, "Error: software termination\n", 127},
    {"a termination, ending by abort", "signal,abort", SIGTERM, "Error: software termination\n", -1},
    {"a segmentation fault between two records: every record written is there",
     "signal", 0, "Error: segmentation violation\n", 127},
};

// Run many times by hand with FATAL_SIGNAL_STORM_RUNS; CI keeps it to a few seconds.
int storm_runs() {
  const char* runs = std::getenv("FATAL_SIGNAL_STORM_RUNS");
  return runs != nullptr ? std::atoi(runs) : 25;
}

TEST(fatal_signal, storm_never_loses_or_repeats_a_record) {
  std::mt19937 random(std::random_device{}());
  for (const storm_kind& kind : storm_kinds) {
    SCOPED_TRACE(kind.why);
    int cut_records = 0, whole_records = 0;
    for (int run = 0; run < storm_runs(); ++run) {
      temp_dir dir;
      const int fault_after = static_cast<int>(random() % 200000);
      std::vector<std::string> arguments{"open:10:out.dat"};
      if (kind.signal_number != 0) {
        arguments.push_back("write-ints:10:2000000000");
      } else {
        arguments.push_back("write-ints:10:" + std::to_string(fault_after));
        arguments.push_back("fault");
      }
      const pid_t pid = start_probe(dir, arguments, {{"TKA_TERM", kind.term}});
      ASSERT_GT(pid, 0);
      if (kind.signal_number != 0) {
        wait_until_exists(dir / "out.dat", pid);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
        kill(pid, kind.signal_number);
      }
      const ending end = wait_for(pid, 10s);
      SCOPED_TRACE("run " + std::to_string(run) + ", fault after " + std::to_string(fault_after));
      ASSERT_TRUE(end.in_time) << "the program did not end: " << end.state_at_limit << "\n"
                               << read_file(dir / "err.txt") << read_file(dir / "out.dat").size() << " bytes";
      if (kind.exit_status < 0) {
        ASSERT_TRUE(WIFSIGNALED(end.status));
        EXPECT_EQ(WTERMSIG(end.status), SIGABRT);
      } else {
        ASSERT_TRUE(WIFEXITED(end.status)) << "signal " << WTERMSIG(end.status);
        EXPECT_EQ(WEXITSTATUS(end.status), kind.exit_status);
      }
      EXPECT_EQ(read_file(dir / "err.txt"), kind.message);
      const std::string file = read_file(dir / "out.dat");
      const long whole = whole_records_of_prefix(file);
      ASSERT_GE(whole, 0) << "not a prefix of the records, " << file.size() << " bytes";
      if (kind.signal_number == 0) {
        EXPECT_EQ(file.size(), static_cast<std::size_t>(fault_after) * integer_record_length);
      }
      ++(file.size() % integer_record_length != 0 ? cut_records : whole_records);
    }
    // Shown so that a run by hand tells how often the signal met a record half written.
    std::printf("%s: %d runs, %d ended inside a record\n", kind.why, cut_records + whole_records, cut_records);
  }
}

TEST(fatal_signal, debugger_command_runs_once_with_the_process_id) {
  for (const int signal_number : {SIGINT, SIGTERM, 0}) {
    SCOPED_TRACE(signal_number);
    temp_dir dir;
    std::vector<std::string> arguments{"open:10:out.dat", "write-ints:10:2000000000"};
    if (signal_number == 0) arguments = {"open:10:out.dat", "write-ints:10:1000", "fault"};
    const pid_t pid = start_probe(dir, arguments,
                                  {{"TKA_TERM", "signal,debug"}, {"TKA_TERM_DEBUG", "echo %d >> debugged.txt"}});
    ASSERT_GT(pid, 0);
    if (signal_number != 0) {
      wait_until_exists(dir / "out.dat", pid);
      std::this_thread::sleep_for(5ms);
      kill(pid, signal_number);
    }
    const ending end = wait_for(pid, 10s);
    ASSERT_TRUE(end.in_time);
    ASSERT_TRUE(WIFEXITED(end.status));
    EXPECT_EQ(WEXITSTATUS(end.status), 127);
    EXPECT_EQ(read_file(dir / "debugged.txt"), std::to_string(pid) + "\n");
    EXPECT_GE(whole_records_of_prefix(read_file(dir / "out.dat")), 0);
  }
}

// Debug information is in the program when its file names its line table section.
bool has_debug_lines(const std::filesystem::path& program) {
  return read_file(program).find(".debug_line") != std::string::npos;
}

struct traceback_case {
  const char* why;
  const char* term;
  const char* operation;
  std::vector<std::string> shown;
  std::vector<std::string> not_shown;
};

TEST(fatal_signal, tracebacks_name_the_failing_function) {
  const bool debug_lines = has_debug_lines(test::program_path("tp_fault_probe"));
  const std::string source = debug_lines ? "fault_probe.cpp:" : "";
  const traceback_case cases[] = {
      {"level 1: a run-time error, from the failing function outwards", "trace", "error",
       {"stop_inside_named_function()", source, "MAIN_"}, {"runtime::fatal_stop", "Registers:"}},
      {"level 2: a fault, the abnormal end's own frames and the modules too", "trace", "fault",
       {"fail_inside_named_function()", source, "runtime::fatal_stop", "tp_fault_probe+0x"}, {"Registers:"}},
      {"level 2: a run-time error under test", "test", "error",
       {"stop_inside_named_function()", source, "runtime_error_stop"}, {"Registers:"}},
      {"level 3: a fault under test, with the signal and the registers", "signal,test", "fault",
       {"fail_inside_named_function()", source, "Signal 11, code 1, address 0x10\n", "Registers:\n", " rip 0x"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    temp_dir dir;
    run_options options;
    options.arguments = {c.operation};
    options.directory = dir.path();
    options.unset_environment = {"LANG", "TKA_TERM_DEBUG", "FORTRANOPT"};
    options.environment = {{"TKA_TERM", c.term}};
    const auto result = run_program("tp_fault_probe", options);
    EXPECT_EQ(result.exit_status, 127);
    EXPECT_NE(result.standard_error.find("Traceback, innermost call first:\n"), std::string::npos);
    for (const auto& text : c.shown) EXPECT_NE(result.standard_error.find(text), std::string::npos) << text;
    for (const auto& text : c.not_shown) EXPECT_EQ(result.standard_error.find(text), std::string::npos) << text;
    if (HasFailure()) std::printf("%s", result.standard_error.c_str());
  }
}

}  // namespace
