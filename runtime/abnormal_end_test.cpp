// Tests of "TKA_TERM", the debugger command and the ways the abnormal end finishes.
#include "abnormal_end.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime.h"

namespace {

struct term_case {
  std::string_view value;
  std::optional<std::int32_t> flags;
};
constexpr term_case term_cases[] = {
    {"", 0},                    // unset and empty are the same
    {"trace,", 0x06},           // the loop ends on the empty rest after the comma
    {"signal,nodebug", 0},      // debug's bits include 0x04, so nothing is left
    {"trace,noabort", 0x06},    // clearing a bit never set is harmless
    {"debug,nosignal", 0x01},   // negation clears only the keyword's own bits
    {"nodebug", 0},
    {"abort,test", 0x18},
    {"tracex", std::nullopt},   // the keyword matched, the separator did not
    {"signalx", std::nullopt},
    {"bogus", std::nullopt},
    {"no", std::nullopt},       // a bare negation names no keyword
    {",trace", std::nullopt},   // the comma only follows a keyword
    {"trace,,abort", std::nullopt},
    {"TRACE", std::nullopt},    // keywords are lower case only
    {"deb", std::nullopt},      // the whole keyword must be there
    {"debugger", std::nullopt}, // prefix match: "debug", then "ger" is no separator
};

TEST(parse_term_value, reads_keywords_in_table_order) {
  for (const auto& c : term_cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(runtime::parse_term_value(c.value), c.flags);
  }
}

struct command_case {
  std::string text;
  std::int64_t process_id;
  std::optional<std::string> command;
};
const std::string fits_exactly = std::string(131, 'x') + " %d";  // 131 + 1 + 3 digits = 135
const std::string one_too_long = std::string(132, 'x') + " %d";
const command_case command_cases[] = {
    {"tkdbg -text -attach %d", 4321, "tkdbg -text -attach 4321"},
    {"gdb -p %d # %d", 7, "gdb -p 7 # 7"},     // every %d gets the pid
    {"100%% %d", 12, "100% 12"},              // %% is a percent sign
    {"show %s %n", 12, "show %s %n"},         // nothing else is a conversion
    {"trailing %", 12, "trailing %"},
    {fits_exactly, 123, std::string(131, 'x') + " 123"},  // 135 characters and the NUL
    {one_too_long, 123, std::nullopt},
};

TEST(format_debugger_command, fills_in_the_process_id) {
  for (const auto& c : command_cases) {
    SCOPED_TRACE(c.text);
    std::array<char, runtime::debugger_command_capacity> buffer{};
    const auto length = runtime::format_debugger_command(c.text, c.process_id, buffer);
    ASSERT_EQ(length.has_value(), c.command.has_value());
    if (length) {
      EXPECT_EQ(std::string_view(buffer.data(), *length), *c.command);
      EXPECT_EQ(buffer[*length], '\0');
    }
  }
}

using handler = void (*)(int);
handler current_handler(int signal_number) {
  struct sigaction current {};
  sigaction(signal_number, nullptr, &current);
  return current.sa_handler;
}

void read_term(const char* value) {
  setenv("TKA_TERM", value, 1);
  runtime::read_term_option();
}

constexpr int table_signals[] = {SIGINT, SIGILL, SIGABRT, SIGFPE, SIGSEGV, SIGTERM};

TEST(read_term_option, installs_handlers_only_when_the_signal_bit_stays_set) {
  // A sanitizer may own some of these already; what counts is that we change nothing.
  std::vector<handler> before;
  for (int s : table_signals) before.push_back(current_handler(s));

  read_term("signal,nodebug");
  EXPECT_EQ(runtime::term_flags(), 0);
  for (std::size_t i = 0; i < std::size(table_signals); ++i)
    EXPECT_EQ(current_handler(table_signals[i]), before[i]) << table_signals[i];

  read_term("signal");
  EXPECT_EQ(runtime::term_flags(), runtime::TERM_SIGNAL);
  const handler installed = current_handler(SIGINT);
  EXPECT_NE(installed, before[0]);
  for (int s : table_signals) EXPECT_EQ(current_handler(s), installed) << s;
  EXPECT_EQ(current_handler(SIGHUP), SIG_DFL);  // not in the table

  for (std::size_t i = 0; i < std::size(table_signals); ++i) signal(table_signals[i], before[i]);
  read_term("");
  unsetenv("TKA_TERM");
}

TEST(read_term_option, rejects_an_invalid_value_with_status_127) {
  EXPECT_EXIT(read_term("bogus"), testing::ExitedWithCode(127), "^Error: TKA_TERM invalid value\n$");
  EXPECT_EXIT(read_term("signalx"), testing::ExitedWithCode(127), "^Error: TKA_TERM invalid value\n$");
}

// A handler registered here shows whether the end ran the at-exit list.
void report_at_exit() { std::fputs("at-exit ran\n", stderr); }

TEST(fatal_stop, ends_with_127_and_no_at_exit_handlers) {
  EXPECT_EXIT(
      {
        std::atexit(report_at_exit);
        runtime::fatal_stop(runtime::STOP_RUNTIME_ERROR, "boom");
      },
      testing::ExitedWithCode(127), "^Error: boom\n$");
}

TEST(fatal_stop, kind_0_runs_the_at_exit_handlers) {
  EXPECT_EXIT(
      {
        std::atexit(report_at_exit);
        runtime::fatal_stop(runtime::STOP_EXIT, "boom");
      },
      testing::ExitedWithCode(127), "^Error: boom\nat-exit ran\n$");
}

TEST(fatal_stop, a_second_caller_ends_at_once) {
  // The at-exit handler fails in turn: its end must not re-enter exit.
  static const auto fail_again = [] { runtime::fatal_stop(runtime::STOP_RUNTIME_ERROR, "again"); };
  EXPECT_EXIT(
      {
        std::atexit(fail_again);
        runtime::fatal_stop(runtime::STOP_EXIT, "first");
      },
      testing::ExitedWithCode(127), "^Error: first\nError: again\n$");
}

TEST(runtime_error_stop, prefixes_the_processor_number) {
  EXPECT_EXIT(runtime_error_stop("invalid thing"), testing::ExitedWithCode(127), "^0: invalid thing\n$");
  EXPECT_EXIT(runtime_error_stop(nullptr), testing::ExitedWithCode(127), "^$");
}

TEST(runtime_error_stop, aborts_when_asked) {
  EXPECT_EXIT(
      {
        read_term("abort,signal");  // our own SIGABRT handler must not catch the abort
        runtime_error_stop("boom");
      },
      testing::KilledBySignal(SIGABRT), "^0: boom\n$");
}

TEST(fatal_signal_handler, reports_the_signal_by_name) {
  EXPECT_EXIT(
      {
        read_term("signal");
        raise(SIGTERM);
      },
      testing::ExitedWithCode(127), "^Error: software termination\n$");
  EXPECT_EXIT(
      {
        read_term("signal");
        raise(SIGABRT);
      },
      testing::ExitedWithCode(127), "^Error: abort\n$");
}

TEST(fatal_stop, runs_the_debugger_command) {
  EXPECT_EXIT(
      {
        setenv("TKA_TERM_DEBUG", "echo attach %d >&2", 1);
        read_term("debug");
        runtime_error_stop("boom");
      },
      testing::ExitedWithCode(127), "^0: boom\nattach [0-9]+\n$");
  EXPECT_EXIT(
      {
        setenv("TKA_TERM_DEBUG", (std::string(140, ' ') + "echo %d").c_str(), 1);
        read_term("debug");
        runtime_error_stop("boom");
      },
      testing::ExitedWithCode(127), "^0: boom\nError: TKA_TERM_DEBUG command too long\n$");
}

TEST(fatal_stop, prints_a_traceback_when_asked) {
  EXPECT_EXIT(
      {
        read_term("trace");
        runtime_error_stop("boom");
      },
      testing::ExitedWithCode(127), "^0: boom\n.*abnormal_end_test");
}

}  // namespace
