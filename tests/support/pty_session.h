// Runs a program on a pseudo-terminal, as a user at a console would: wait for what it shows,
// type at it, and see how it ends. Every wait has a time limit, so a test never hangs.
#pragma once
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace test {

struct pty_options {
  std::vector<std::pair<std::string, std::string>> environment;  // set in the child
  std::vector<std::string> unset_environment;                    // removed in the child
};

class pty_session {
 public:
  // The terminal is in canonical mode with echo, as a shell leaves it, but without output
  // post-processing: the bytes shown are exactly those written and echoed, CR LF untouched.
  // Standard input, output and error are all the terminal. The program is found as
  // run_program finds it.
  explicit pty_session(const std::string& program, const pty_options& options = {});
  ~pty_session();  // kills the program if it still runs
  pty_session(const pty_session&) = delete;
  pty_session& operator=(const pty_session&) = delete;

  // Waits until `text` has been shown after everything earlier waits consumed, and consumes
  // up to its end. False when the limit passes or the terminal closes first.
  bool wait_for(std::string_view text, std::chrono::milliseconds limit);

  // Sends keys as typed; "\x04" is the end-of-input key of canonical mode.
  void type(std::string_view keys);

  // Reads what is left until the program ends; its exit status, 128 + the signal number
  // when a signal ended it, or -1 when it outlived the limit and was killed.
  int wait_exit(std::chrono::milliseconds limit);

  // Every byte the terminal has shown so far.
  const std::string& transcript() const { return transcript_; }

 private:
  // Reads whatever arrives until the deadline; false when the terminal has closed.
  bool read_some(std::chrono::steady_clock::time_point deadline);

  int master_fd_ = -1;
  int pid_ = -1;
  bool closed_ = false;
  std::string transcript_;
  std::size_t consumed_ = 0;
};

}  // namespace test
