// The error report and statement framing, seen from outside: every byte of standard error,
// standard output, files and the exit status of a program performing statements.
#include <gtest/gtest.h>

#include <string>

#include "process_runner.h"

namespace {

using test::crlf;
using test::run_options;
using test::run_program;

struct report_case {
  std::vector<std::string> operations;
  std::string standard_input;
  std::string standard_error;  // LF stands for CR LF
  const char* why;
};

TEST(io_error, writes_the_three_line_report_and_ends_with_127) {
  const report_case cases[] = {
      {{"l7", "r5"}, "",
       "TKFIO-F-217/list-directed read/unit=5/attempt to read past end of file.\n"
       " File name = stdin    formatted, sequential access   record = 1\n"
       " In source file probe.f, at line number 7\n",
       "end of input on the console"},
      {{"l3", "r9"}, "",
       "TKFIO-F-209/list-directed read/unit=9/'OLD' specified for file which does not exist.\n"
       " In source file probe.f, at line number 3\n",
       "a read from a unit whose default file is missing"},
      {{"l4", "w5:x"}, "",
       "TKFIO-F-204/list-directed write/unit=5/illegal use of a read-only file.\n"
       " File name = stdin    formatted, sequential access   record = 0\n"
       " In source file probe.f, at line number 4\n",
       "a write to the console input"},
      {{"l5", "r6"}, "",
       "TKFIO-F-214/list-directed read/unit=6/READ not allowed for write-only file.\n"
       " File name = stdout    formatted, sequential access   record = 0\n"
       " In source file probe.f, at line number 5\n",
       "a read from the console output"},
      {{"f4", "l6", "w5:x"}, "",
       "TKFIO-F-204/list-directed write/unit=5/illegal use of a read-only file.\n"
       " File name = stdin    formatted, sequential access   record = 0\n"
       " In source file probe.f, at line number 6\n",
       "END= alone does not catch other errors"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    test::temp_dir dir;
    run_options options;
    options.arguments = c.operations;
    options.standard_input = c.standard_input;
    options.directory = dir.path();
    options.unset_environment = {"FOR009", "LANG", "TKA_TERM"};
    const auto result = run_program("tp_io_probe", options);
    EXPECT_EQ(result.standard_error, crlf(c.standard_error));
    EXPECT_EQ(result.standard_output, "");
    EXPECT_EQ(result.exit_status, 127);
  }
}

struct returned_case {
  std::vector<std::string> operations;
  std::string standard_output;
  const char* why;
};

TEST(io_error, returns_status_and_code_when_asked) {
  const returned_case cases[] = {
      {{"f1", "w5:x"}, "status=1 iostat=204\n", "IOSTAT= gets the code"},
      {{"f1", "r9"}, "status=1 iostat=209\n", "missing default file"},
      {{"f1", "r5"}, "status=2 iostat=-1\n", "end of file gives -1"},
      {{"f4", "r5"}, "status=2 iostat=0\n", "END= alone returns 2 silently"},
      // A read after end of file is another end of file (code 252), not an error.
      {{"f1", "r5", "r5"}, "status=2 iostat=-1\nstatus=2 iostat=-1\n", "a read after end of file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    test::temp_dir dir;
    run_options options;
    options.arguments = c.operations;
    options.directory = dir.path();
    options.unset_environment = {"FOR009", "LANG", "TKA_TERM"};
    const auto result = run_program("tp_io_probe", options);
    EXPECT_EQ(result.standard_output, c.standard_output);
    EXPECT_EQ(result.standard_error, "");
    EXPECT_EQ(result.exit_status, 0);
  }
}

TEST(io_error, speaks_japanese_only_for_lang_japan) {
  test::temp_dir dir;
  for (const char* lang : {"japan", "Japan", "japanese"}) {
    SCOPED_TRACE(lang);
    run_options options;
    options.arguments = {"r5"};
    options.directory = dir.path();
    options.environment = {{"LANG", lang}};
    const auto result = run_program("tp_io_probe", options);
    const std::string english = "attempt to read past end of file";
    const bool japanese = std::string_view(lang) == "japan";
    EXPECT_EQ(result.standard_error.find(english) == std::string::npos, japanese);
    // EUC-JP text: bytes with the high bit set.
    EXPECT_EQ(result.standard_error.find('\xA4') != std::string::npos, japanese);
    EXPECT_EQ(result.exit_status, 127);
  }
}

TEST(implicit_open, uses_forNNN_or_fort_n) {
  test::temp_dir dir;
  dir.write("named.dat", "hello\n");
  run_options options;
  options.arguments = {"r9", "w9:x", "w10:first", "w10:", "w10:second"};
  options.directory = dir.path();
  options.environment = {{"FOR009", "named.dat"}};
  const auto result = run_program("tp_io_probe", options);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_error, "");
  // The write after a read cuts the file where the read stopped.
  EXPECT_EQ(dir.read("named.dat"), "hello\n x\r\n");
  EXPECT_EQ(dir.read("fort.10"), " first\r\n\r\n second\r\n");
}

}  // namespace
