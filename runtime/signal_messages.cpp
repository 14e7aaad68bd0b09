// The "-sigmsg" option and its handlers.
#include "signal_messages.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>
#include <string_view>

#include "abnormal_end.h"
#include "options.h"
#include "runtime.h"
#include "signal_hold.h"

namespace runtime {
namespace {

struct signal_message {
  int signal_number;
  const char* message;  // null: the signal prints nothing
};
// The texts are the ones users have always seen, spelling included.
constexpr signal_message signal_messages[] = {
    {SIGINT, "interrupt"},
    {SIGILL, "illegal instruction"},
    {SIGFPE, "floating point exception"},
    {SIGSEGV, "segmentation violaiton"},
    {SIGTERM, nullptr},
};
static_assert(std::size(signal_messages) == 5);

// Builds a line in a fixed buffer; to_chars and write keep the handler signal-safe.
class message_line {
 public:
  message_line& text(std::string_view piece) {
    const std::size_t count = std::min(piece.size(), buffer_.size() - length_);
    std::copy_n(piece.begin(), count, buffer_.begin() + static_cast<std::ptrdiff_t>(length_));
    length_ += count;
    return *this;
  }
  message_line& number(int value) {
    std::array<char, 16> digits{};
    const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    return text({digits.data(), static_cast<std::size_t>(end - digits.data())});
  }
  void write_to_standard_error() const {
    std::size_t written = 0;
    while (written < length_) {
      const ssize_t count = write(STDERR_FILENO, buffer_.data() + written, length_ - written);
      if (count <= 0) return;
      written += static_cast<std::size_t>(count);
    }
  }

 private:
  std::array<char, 128> buffer_{};
  std::size_t length_ = 0;
};

void signal_message_handler(int signal_number, siginfo_t* info, void* context) {
  if (fatal_signal_held(signal_number)) return;
  enter_fatal_signal_handler(info, context);
  const auto* known = std::find_if(std::begin(signal_messages), std::end(signal_messages),
                                   [&](const signal_message& s) { return s.signal_number == signal_number; });
  message_line line;
  if (known == std::end(signal_messages)) {
    line.number(processor_number()).text(": killed by unknown signal ").number(signal_number).text("\n");
  } else if (known->message != nullptr) {
    line.number(processor_number()).text(": ").text(known->message).text("\n");
  }
  line.write_to_standard_error();
  runtime_error_stop(nullptr);
}

bool install_handler(std::int32_t signal_number) {
  struct sigaction action {};
  action.sa_sigaction = signal_message_handler;
  sigemptyset(&action.sa_mask);
  // No deferral: a signal raised again inside the end reaches its once-flag. A signal held
  // for later returns from the handler, and the call it broke goes on.
  action.sa_flags = SA_NODEFER | SA_SIGINFO | SA_RESTART;
  return sigaction(signal_number, &action, nullptr) == 0;
}

bool means_all(std::string_view value) {
  return value.empty() || value.front() == 'y' || value.front() == 'Y' || value.front() == 'a' ||
         value.front() == 'A';
}

}  // namespace

void install_signal_messages() {
  const auto value = runtime_option("-sigmsg");
  if (!value) return;
  if (means_all(*value)) {
    for (const signal_message& s : signal_messages) install_handler(s.signal_number);
    return;
  }
  for (std::string_view rest = *value; !rest.empty();) {
    const size_number number = read_size_number(rest);
    if (number.scanned_length == 0 || !install_handler(number.value)) option_error("invalid value", "-sigmsg");
    rest.remove_prefix(number.scanned_length);
    if (rest.empty()) break;
    if (rest.front() != ',') option_error("invalid value", "-sigmsg");
    rest.remove_prefix(1);
  }
}

}  // namespace runtime
