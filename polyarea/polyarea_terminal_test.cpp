// The dialogue on a real terminal: each prompt is on the screen before the answer is typed,
// and the end-of-input key at a prompt ends the program with the report.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "pty_session.h"
#include "test_paths.h"

namespace {

using namespace std::chrono_literals;

// What the terminal shows. Output post-processing is off, so the program's CR LF arrive as
// written, and the echo of a typed line ends in LF alone.
constexpr std::string_view ask_count = " Please input N >= 3:\r\n";
constexpr std::string_view ask_vertex = " Please input x , y:\r\n";
constexpr std::string_view end_of_input = "\x04";

struct step {
  std::string shown;  // waited for before the keys are typed
  std::string keys;
};

struct session_case {
  std::vector<step> steps;
  std::string shown_at_end;  // after the last keys, until the program ends
  int exit_status;
  const char* why;
};

std::string end_of_file_report(int record, int line) {
  return "TKFIO-F-217/list-directed read/unit=5/attempt to read past end of file.\r\n"
         " File name = stdin    formatted, sequential access   record = " +
         std::to_string(record) + "\r\n In source file " + std::string(test::source_dir) +
         "/polyarea/Index.cpp, at line number " + std::to_string(line) + "\r\n";
}

std::string after(std::string_view echoed, std::string_view prompt) {
  return std::string(echoed) + std::string(prompt);
}

TEST(polyarea_terminal, shows_each_prompt_before_the_answer) {
  const session_case cases[] = {
      {{{std::string(ask_count), "4\n"},
        {after("4\n", ask_vertex), "0 0\n"},
        {after("0 0\n", ask_vertex), "1 0\n"},
        {after("1 0\n", ask_vertex), "1 1\n"},
        {after("1 1\n   0.5000001    \r\n", ask_vertex), "0 1\n"}},
       "0 1\n   0.5000001    \r\nThe total area is  1.00\r\n",
       0,
       "the unit square, typed line by line"},
      {{{std::string(ask_count), std::string(end_of_input)}},
       end_of_file_report(1, 7),
       127,
       "the end-of-input key at the first prompt"},
      {{{std::string(ask_count), "1\n"},
        {after("1\n", ask_count), "3\n"},
        {after("3\n", ask_vertex), "0\n"},
        {"0\n", "0\n"},
        {after("0\n", ask_vertex), std::string(end_of_input)}},
       end_of_file_report(5, 14),
       127,
       "the end-of-input key at a vertex prompt, after a vertex typed over two lines"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    test::pty_session session("polyarea", {{}, {"LANG", "TKA_TERM", "TKA_TERM_DEBUG", "FORTRANOPT"}});
    std::string expected;
    bool on_time = true;
    for (const auto& s : c.steps) {
      expected += s.shown;
      on_time = session.wait_for(s.shown, 5s);
      EXPECT_TRUE(on_time) << "not shown: " << s.shown;
      if (!on_time) break;
      session.type(s.keys);
    }
    if (on_time) expected += c.shown_at_end;
    EXPECT_EQ(session.wait_exit(10s), on_time ? c.exit_status : -1);
    EXPECT_EQ(session.transcript(), expected);
  }
}

}  // namespace
