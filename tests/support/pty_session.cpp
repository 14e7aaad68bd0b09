// A program on a pseudo-terminal, for tests of what a user at the console sees.
#include "pty_session.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "process_runner.h"

namespace test {

pty_session::pty_session(const std::string& program, const pty_options& options) {
  const std::string path = program_path(program).string();
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    termios modes{};
    if (tcgetattr(0, &modes) != 0) _exit(126);
    modes.c_lflag |= ICANON | ECHO;
    modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    if (tcsetattr(0, TCSANOW, &modes) != 0) _exit(126);
    for (const auto& name : options.unset_environment) unsetenv(name.c_str());
    for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    execv(path.c_str(), argv);
    _exit(125);
  }
  master_fd_ = master;
  pid_ = pid;
}

pty_session::~pty_session() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (master_fd_ >= 0) close(master_fd_);
}

bool pty_session::read_some(std::chrono::steady_clock::time_point deadline) {
  if (closed_) return false;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return true;
  pollfd fd{master_fd_, POLLIN, 0};
  const int ready = poll(&fd, 1, static_cast<int>(left.count()));
  if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
  if (ready <= 0) return true;
  char buffer[4096];
  const ssize_t count = read(master_fd_, buffer, sizeof buffer);
  if (count > 0) {
    transcript_.append(buffer, static_cast<std::size_t>(count));
  } else if (count == 0 || errno != EINTR) {
    // EIO: every descriptor of the terminal's other side is closed.
    closed_ = true;
  }
  return !closed_;
}

bool pty_session::wait_for(std::string_view text, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (const std::size_t at = transcript_.find(text, consumed_); at != std::string::npos) {
      consumed_ = at + text.size();
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline || !read_some(deadline)) return false;
  }
}

void pty_session::type(std::string_view keys) {
  while (!keys.empty()) {
    const ssize_t count = write(master_fd_, keys.data(), keys.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) throw std::runtime_error("write to the terminal failed");
    keys.remove_prefix(static_cast<std::size_t>(count));
  }
}

int pty_session::wait_exit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline && read_some(deadline)) {
  }
  int status = 0;
  pid_t done = 0;
  for (;;) {
    done = waitpid(pid_, &status, WNOHANG);
    if (done != 0 || std::chrono::steady_clock::now() >= deadline) break;
    usleep(10000);
  }
  if (done != pid_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
  }
  pid_ = -1;
  consumed_ = transcript_.size();
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

}  // namespace test
