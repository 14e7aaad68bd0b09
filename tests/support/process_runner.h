// Runs a program as a child process with given input, environment and directory, and
// captures every byte it writes and how it ended.
#pragma once
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace test {

struct run_options {
  std::vector<std::string> arguments;  // after the program name
  std::string standard_input;          // written to the child, then closed
  bool close_standard_input = false;   // the child starts with fd 0 closed
  // Variables set (or, with an empty optional-like marker, removed) in the child.
  std::vector<std::pair<std::string, std::string>> environment;
  std::vector<std::string> unset_environment;
  std::filesystem::path directory;     // empty: the current one
  int timeout_seconds = 30;
};

struct run_result {
  std::string standard_output;
  std::string standard_error;
  int exit_status = -1;    // valid when exited
  int signal_number = 0;   // non-zero when ended by a signal
  bool exited() const { return signal_number == 0; }
};

// How a process was expected to end: a non-negative exit status, or else the signal.
void expect_ending(const run_result& result, int exit_status, int signal_number);

// The program is found by name in the build's bin directory unless it has a slash.
run_result run_program(const std::string& program, const run_options& options = {});

std::filesystem::path program_path(const std::string& program);

// A fresh empty directory under the temporary directory, removed by the destructor.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// Every line ended by LF alone gets the CR a record needs: "a\nb\n" gives "a\r\nb\r\n".
std::string crlf(std::string_view lines);

}  // namespace test
