// Faults from outside, run as processes: a full device, unwritable and unreadable files,
// directories where files belong, closed and broken standard streams, huge records and
// numbers, and many units. Each must end in the library's report and status 127 (or a
// signal), or in the right result: never a hang, a crash or a silent success.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "process_runner.h"
#include "test_paths.h"

namespace {

using test::crlf;
using test::run_options;
using test::run_program;
using test::temp_dir;

// The report of a failed stdio call: the platform's text, then the library's line, then the
// detail lines (given with LF, written with CR LF).
std::string stdio_report(const std::string& kind, int unit, int error, const std::string& details) {
  return "TKFIO/stdio: " + std::string(std::strerror(error)) + "\n" + "TKFIO-F-/" + kind +
         "/unit=" + std::to_string(unit) + "/error code returned by host stdio - " +
         std::to_string(error) + ".\r\n" + crlf(details);
}

std::string file_line(const std::string& name, int record) {
  return " File name = " + name + "    formatted, sequential access   record = " + std::to_string(record) + "\n";
}

std::string source_line(int line) { return " In source file fault.f, at line number " + std::to_string(line) + "\n"; }

using prepare_directory = void (*)(const temp_dir&);

struct fault_case {
  const char* why;
  std::vector<std::string> arguments;
  prepare_directory prepare;
  std::string standard_input;
  bool close_standard_input;
  std::string standard_output;
  std::string standard_error;
  int exit_status;  // -1: ended by signal_number instead
  int signal_number;
};

void full_device(const temp_dir& dir) { std::filesystem::create_symlink("/dev/full", dir / "out.dat"); }
void a_directory(const temp_dir& dir) { std::filesystem::create_directory(dir / "adir"); }
// Unit 11's default file.
void default_name_directory(const temp_dir& dir) { std::filesystem::create_directory(dir / "fort.11"); }
// Reading a process's own memory at offset 0 fails with EIO, for root too.
void unreadable_file(const temp_dir& dir) { std::filesystem::create_symlink("/proc/self/mem", dir / "in.dat"); }

test::run_result run_case(const fault_case& c, const temp_dir& dir) {
  if (c.prepare != nullptr) c.prepare(dir);
  run_options options;
  options.arguments = c.arguments;
  options.standard_input = c.standard_input;
  options.close_standard_input = c.close_standard_input;
  options.directory = dir.path();
  options.unset_environment = {"LANG", "TKA_TERM", "FORTRANOPT"};
  return run_program("tp_fault_probe", options);
}

void expect_case(const fault_case& c) {
  SCOPED_TRACE(c.why);
  temp_dir dir;
  const auto result = run_case(c, dir);
  EXPECT_EQ(result.standard_output, c.standard_output);
  EXPECT_EQ(result.standard_error, c.standard_error);
  test::expect_ending(result, c.exit_status, c.signal_number);
}

TEST(fault_injection, full_device_is_reported_never_lost) {
  const fault_case cases[] = {
      {"a record held in the buffer fails at the normal end: reported, not status 0",
       {"open:10:out.dat", "write:10:hello"}, full_device, "", false, "",
       stdio_report("CLOSE", 10, ENOSPC, file_line("out.dat", 1) + source_line(1)), 127, 0},
      {"CLOSE flushes and reports the failure of its own statement",
       {"open:10:out.dat", "write:10:hello", "l5", "close:10"}, full_device, "", false, "",
       stdio_report("CLOSE", 10, ENOSPC, file_line("out.dat", 1) + source_line(5)), 127, 0},
      {"CLOSE with IOSTAT= gets the platform's code back and the program goes on",
       {"f1", "open:10:out.dat", "write:10:hello", "close:10"}, full_device, "", false,
       "status=1 iostat=28\n", "", 0, 0},
      {"a record larger than the stream buffer fails at its own write",
       {"open:10:out.dat", "l3", "write-long:10:100000"}, full_device, "", false, "",
       stdio_report("list-directed write", 10, ENOSPC, file_line("out.dat", 1) + source_line(3)), 127, 0},
      {"direct access: positioning for the next record flushes the last one, and says so",
       {"open-direct:10:out.dat:20", "l2", "write:10:one", "l3", "write:10:two"}, full_device, "", false, "",
       stdio_report("list-directed write", 10, ENOSPC,
                    " File name = out.dat    formatted, direct access   record = 1\n" + source_line(3)),
       127, 0},
  };
  for (const auto& c : cases) expect_case(c);
}

TEST(fault_injection, files_that_cannot_be_opened_or_read) {
  const fault_case cases[] = {
      {"a directory named as a file is refused at the OPEN, not at the first write",
       {"open:10:adir", "write:10:x"}, a_directory, "", false, "",
       stdio_report("OPEN", 10, EISDIR, " File name = adir\n" + source_line(1)), 127, 0},
      {"a directory as the default file of an implicit open",
       {"l2", "write:11:x"}, default_name_directory, "", false, "",
       stdio_report("list-directed write", 11, EISDIR, source_line(2)), 127, 0},
      {"a file in a directory that does not exist",
       {"open:10:nodir/x.dat"}, nullptr, "", false, "",
       stdio_report("OPEN", 10, ENOENT, " File name = nodir/x.dat\n" + source_line(1)), 127, 0},
      {"a file whose bytes cannot be read fails the read with the platform's code",
       {"open:10:in.dat", "l4", "read-int:10"}, unreadable_file, "", false, "",
       stdio_report("list-directed read", 10, EIO, file_line("in.dat", 1) + source_line(4)), 127, 0},
      {"the same with IOSTAT=: the code comes back, the item is left alone",
       {"f1", "open:10:in.dat", "read-int:10"}, unreadable_file, "", false, "status=1 iostat=5\n", "", 0, 0},
  };
  for (const auto& c : cases) expect_case(c);
}

TEST(fault_injection, permissions_refuse_the_open) {
  // Root passes every permission check, so these faults cannot be made for it.
  if (geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not apply";
  const auto read_only_directory = [](const temp_dir& dir) {
    std::filesystem::create_directory(dir / "ro");
    std::filesystem::permissions(dir / "ro", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  };
  const auto no_access_file = [](const temp_dir& dir) {
    dir.write("in.dat", "42\n");
    std::filesystem::permissions(dir / "in.dat", std::filesystem::perms::none);
  };
  const fault_case cases[] = {
      {"a new file in a directory without write permission",
       {"open:10:ro/out.dat"}, read_only_directory, "", false, "",
       stdio_report("OPEN", 10, EACCES, " File name = ro/out.dat\n" + source_line(1)), 127, 0},
      {"an input file without read permission",
       {"open:10:in.dat", "read-int:10"}, no_access_file, "", false, "",
       stdio_report("OPEN", 10, EACCES, " File name = in.dat\n" + source_line(1)), 127, 0},
  };
  for (const auto& c : cases) expect_case(c);
}

// What is sound for a standard stream that is gone: output that cannot be delivered is never
// reported as success. A closed stream gives the stdio report and 127 at the statement or
// flush that finds it; a broken pipe ends the process by SIGPIPE, as it ends any filter,
// unless the signal is ignored, and then EPIPE is reported like any write failure.
TEST(fault_injection, standard_streams_that_are_gone) {
  const fault_case cases[] = {
      {"standard input closed: the read reports the platform's code",
       {"l2", "read-int:5"}, nullptr, "", true, "",
       stdio_report("list-directed read", 5, EBADF, file_line("stdin", 1) + source_line(2)), 127, 0},
      {"standard output closed: the record cannot be delivered at the end",
       {"stdout:closed", "write:6:hello"}, nullptr, "", false, "",
       stdio_report("CLOSE", 6, EBADF, file_line("stdout", 1) + source_line(1)), 127, 0},
      {"standard output closed before a read: the prompt's loss fails the read (once lost silently)",
       {"stdout:closed", "write:6:prompt", "l3", "read-int:5"}, nullptr, "7\n", false, "",
       stdio_report("list-directed read", 5, EBADF, file_line("stdin", 1) + source_line(3)), 127, 0},
      {"standard output closed with nothing written: nothing is lost, a normal end",
       {"stdout:closed"}, nullptr, "", false, "", "", 0, 0},
      {"a broken pipe ends the process by SIGPIPE", {"stdout:broken", "write:6:hello"}, nullptr, "", false,
       "", "", -1, SIGPIPE},
      {"a broken pipe with SIGPIPE ignored is reported as EPIPE",
       {"sigpipe:ignore", "stdout:broken", "write:6:hello"}, nullptr, "", false, "",
       stdio_report("CLOSE", 6, EPIPE, file_line("stdout", 1) + source_line(1)), 127, 0},
  };
  for (const auto& c : cases) expect_case(c);
}

struct result_case {
  const char* why;
  std::vector<std::string> arguments;
  std::string standard_output;
};

// Records and constants far beyond the buffers' first sizes: read whole, in order, with the
// value the constant stands for, or the data conversion error for an integer too long.
TEST(fault_injection, huge_records_and_numbers_are_read_whole) {
  temp_dir dir;
  dir.write("big.dat", std::string(50 * 1024 * 1024, 'x') + "\n 42\n");
  const std::string digits(100000, '1');
  dir.write("quoted.dat", "'" + std::string(20 * 1024 * 1024, 'x') + "'\n" + std::string(20 * 1024 * 1024, 'y') + "\n 7\n");
  dir.write("digits.dat", digits + "\n" + digits + "e-99999\n" + digits + "-99999\n0." +
                              std::string(99999, '0') + "1e100000\n");
  const result_case cases[] = {
      {"a 50 MB record, then the record after it",
       {"open:10:big.dat", "read-text:10:20", "read-int:10"}, "text=xxxxxxxxxxxxxxxxxxxx/20\nint=42\n"},
      {"a 20 MB delimited and a 20 MB undelimited character constant",
       {"open:10:quoted.dat", "read-text:10:20", "read-text:10:3", "read-int:10"},
       "text=xxxxxxxxxxxxxxxxxxxx/20\ntext=yyy/3\nint=7\n"},
      {"100,000 digits of an integer overflow 64 bits: error 231 comes back",
       {"f1", "open:10:digits.dat", "read-int:10"}, "status=1 iostat=231\n"},
      {"100,000 digits with an exponent, and with the exponent written without its letter",
       {"open:10:digits.dat", "read-text:10:1", "read-real:10", "read-real:10", "read-real:10"},
       "text=1/1\nreal=0x1.1c71c71c71c72p+0\nreal=0x1.1c71c71c71c72p+0\nreal=0x1p+0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    run_options options;
    options.arguments = c.arguments;
    options.directory = dir.path();
    const auto result = run_program("tp_fault_probe", options);
    EXPECT_EQ(result.standard_output, c.standard_output);
    EXPECT_EQ(result.standard_error, "");
    EXPECT_EQ(result.exit_status, 0);
  }
}

TEST(fault_injection, a_50_mb_record_is_written_whole) {
  temp_dir dir;
  constexpr std::size_t length = 50 * 1024 * 1024;
  run_options options;
  options.arguments = {"open:10:big.dat", "write-long:10:" + std::to_string(length)};
  options.directory = dir.path();
  const auto result = run_program("tp_fault_probe", options);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(result.exit_status, 0);
  const std::string written = dir.read("big.dat");
  ASSERT_EQ(written.size(), length + 3);  // the leading blank and CR LF
  EXPECT_EQ(written.find_first_not_of('x', 1), length + 1);
  EXPECT_EQ(written.substr(0, 2) + written.substr(length + 1), " x\r\n");
}

// A formatted record built of five million two-character literals.
TEST(fault_injection, a_10_mb_formatted_record_is_written_whole) {
  temp_dir dir;
  run_options options;
  options.arguments = {"open:10:long.dat", "fwrite-group:10:5000000"};
  options.directory = dir.path();
  const auto result = run_program("tp_fault_probe", options);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(result.exit_status, 0);
  const std::string written = dir.read("long.dat");
  ASSERT_EQ(written.size(), 10000002u);
  EXPECT_EQ(written.substr(0, 4) + written.substr(written.size() - 4), "ababab\r\n");
  EXPECT_EQ(written.find_first_not_of("ab"), 10000000u);
}

// The unit pool grows by blocks of 100 and takes back what CLOSE releases: 350 units open at
// once, then rounds of 150 opened and closed, each file ending with what was written last.
TEST(fault_injection, many_units_open_at_once_and_in_turn) {
  temp_dir dir;
  run_options options;
  options.arguments = {"open-many:10:350", "cycle:4:150"};
  options.directory = dir.path();
  const auto result = run_program("tp_fault_probe", options);
  EXPECT_EQ(result.standard_output, "");
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(result.exit_status, 0);
  const auto integer_record = [](int value) {
    const std::string digits = std::to_string(value);
    return " " + std::string(12 - digits.size(), ' ') + digits + "\r\n";
  };
  for (int unit = 10; unit < 360; ++unit) {
    SCOPED_TRACE(unit);
    EXPECT_EQ(dir.read("u" + std::to_string(unit) + ".dat"), integer_record(unit));
    if (unit < 160) {
      EXPECT_EQ(dir.read("c" + std::to_string(unit) + ".dat"), integer_record(3));
    }
  }
}

// The prime-factor program on the same faults: its output file on a full device, its input
// file unreadable. It quotes its own source path as the compiler was given it.
TEST(fault_injection, prime_factor_program_reports_its_file_faults) {
  if (!std::filesystem::exists(test::program_path("primefac"))) GTEST_SKIP() << "primefac is not built";
  const std::string source = std::string(test::source_dir) + "/primefac/SourceFile1.cpp";
  const auto in_source = [&source](int line) {
    return " In source file " + source + ", at line number " + std::to_string(line) + "\n";
  };
  struct program_case {
    const char* why;
    void (*prepare)(const temp_dir&);
    std::string standard_error;
  };
  const program_case cases[] = {
      {"Result.dat on a full device: the factors held in the buffer fail at the normal end",
       [](const temp_dir& dir) {
         dir.write("Numbers.dat", "12\n0\n");
         std::filesystem::create_symlink("/dev/full", dir / "Result.dat");
       },
       stdio_report("CLOSE", 13, ENOSPC,
                    " File name = Result.dat    formatted, sequential access   record = 4\n" + in_source(7))},
      {"Numbers.dat whose bytes cannot be read",
       [](const temp_dir& dir) { std::filesystem::create_symlink("/proc/self/mem", dir / "Numbers.dat"); },
       stdio_report("list-directed read", 12, EIO,
                    " File name = Numbers.dat    formatted, sequential access   record = 1\n" + in_source(7))},
      {"Numbers.dat is a directory",
       [](const temp_dir& dir) { std::filesystem::create_directory(dir / "Numbers.dat"); },
       stdio_report("OPEN", 12, EISDIR, " File name = Numbers.dat\n" + in_source(4))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    temp_dir dir;
    c.prepare(dir);
    run_options options;
    options.directory = dir.path();
    options.unset_environment = {"LANG", "TKA_TERM", "FORTRANOPT"};
    const auto result = run_program("primefac", options);
    EXPECT_EQ(result.standard_output, "");
    EXPECT_EQ(result.standard_error, c.standard_error);
    EXPECT_EQ(result.exit_status, 127);
  }
}

TEST(fault_injection, prime_factor_program_without_read_permission) {
  if (!std::filesystem::exists(test::program_path("primefac"))) GTEST_SKIP() << "primefac is not built";
  if (geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not apply";
  temp_dir dir;
  dir.write("Numbers.dat", "12\n0\n");
  std::filesystem::permissions(dir / "Numbers.dat", std::filesystem::perms::none);
  run_options options;
  options.directory = dir.path();
  const auto result = run_program("primefac", options);
  EXPECT_EQ(result.standard_error,
            stdio_report("OPEN", 12, EACCES,
                         " File name = Numbers.dat\n In source file " + std::string(test::source_dir) +
                             "/primefac/SourceFile1.cpp, at line number 4\n"));
  EXPECT_EQ(result.exit_status, 127);
}

}  // namespace
