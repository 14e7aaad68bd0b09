// Child-process runner for the end-to-end tests.
#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "test_paths.h"

namespace test {

std::filesystem::path program_path(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  return std::filesystem::path(std::string(bin_dir)) / program;
}

run_result run_program(const std::string& program, const run_options& options) {
  const std::string path = program_path(program).string();
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
    throw std::runtime_error("pipe failed");

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (options.close_standard_input) {
      close(0);
    } else {
      dup2(in_pipe[0], 0);
    }
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
      close(fd);
    signal(SIGPIPE, SIG_DFL);
    for (const auto& name : options.unset_environment) unsetenv(name.c_str());
    for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
    if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : options.arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(125);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  // The child may stop reading early; a broken pipe must not end the test.
  signal(SIGPIPE, SIG_IGN);

  run_result result;
  std::size_t written = 0;
  int in_fd = in_pipe[1];
  if (options.standard_input.empty()) {
    close(in_fd);
    in_fd = -1;
  } else {
    fcntl(in_fd, F_SETFL, O_NONBLOCK);
  }
  int out_fd = out_pipe[0], err_fd = err_pipe[0];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
  bool timed_out = false;
  while (out_fd >= 0 || err_fd >= 0) {
    pollfd fds[3];
    int n = 0;
    if (out_fd >= 0) fds[n++] = {out_fd, POLLIN, 0};
    if (err_fd >= 0) fds[n++] = {err_fd, POLLIN, 0};
    if (in_fd >= 0) fds[n++] = {in_fd, POLLOUT, 0};
    if (std::chrono::steady_clock::now() > deadline) {
      timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, static_cast<nfds_t>(n), 100) < 0 && errno != EINTR) break;
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in_fd) {
        const ssize_t k = write(in_fd, options.standard_input.data() + written,
                                options.standard_input.size() - written);
        if (k > 0) written += static_cast<std::size_t>(k);
        if (k < 0 && errno != EAGAIN) written = options.standard_input.size();
        if (written == options.standard_input.size()) {
          close(in_fd);
          in_fd = -1;
        }
        continue;
      }
      char buffer[65536];
      const ssize_t k = read(fds[i].fd, buffer, sizeof buffer);
      std::string& sink = fds[i].fd == out_fd ? result.standard_output : result.standard_error;
      if (k > 0) {
        sink.append(buffer, static_cast<std::size_t>(k));
      } else if (k == 0 || errno != EINTR) {
        close(fds[i].fd);
        (fds[i].fd == out_fd ? out_fd : err_fd) = -1;
      }
    }
  }
  for (int fd : {in_fd, out_fd, err_fd})
    if (fd >= 0) close(fd);
  int status = 0;
  waitpid(pid, &status, 0);
  if (timed_out) throw std::runtime_error(program + " did not finish in time");
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal_number = WTERMSIG(status);
  return result;
}

void expect_ending(const run_result& result, int exit_status, int signal_number) {
  if (exit_status >= 0) {
    EXPECT_TRUE(result.exited());
    EXPECT_EQ(result.exit_status, exit_status);
  } else {
    EXPECT_EQ(result.signal_number, signal_number);
  }
}

temp_dir::temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "rrtest.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void temp_dir::write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(path_ / name, std::ios::binary);
  out << bytes;
}

std::string temp_dir::read(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

std::string crlf(std::string_view lines) {
  std::string out;
  for (char c : lines) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace test
