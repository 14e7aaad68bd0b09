// Fuzz target for the runtime's value readers: numbers against strtol, "TKA_TERM" flag bounds,
// and the debugger command's buffer.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "abnormal_end.h"
#include "options.h"

namespace {

// The slow oracle: the platform's own strtol, clamped to 32 bits, then the suffix.
runtime::size_number expected_size_number(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const long read = std::strtol(text.c_str(), &end, 0);
  const auto scanned = static_cast<std::size_t>(end - text.c_str());
  if (scanned == 0) return {};
  const long clamped = std::clamp<long>(read, std::numeric_limits<std::int32_t>::min(),
                                        std::numeric_limits<std::int32_t>::max());
  runtime::size_number number{static_cast<std::int32_t>(clamped), scanned};
  int shift = 0;
  switch (scanned < text.size() ? text[scanned] : '\0') {
    case 'k': case 'K': shift = 10; break;
    case 'm': case 'M': shift = 20; break;
    case 'g': case 'G': shift = 30; break;
    default: return number;
  }
  number.value = static_cast<std::int32_t>(static_cast<std::uint32_t>(number.value) << shift);
  ++number.scanned_length;
  return number;
}

// Checked in every build: the fuzz build defines NDEBUG.
void check(bool invariant) {
  if (!invariant) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text{reinterpret_cast<const char*>(data), size};

  // strtol stops at a NUL; the reader sees the whole view, so compare only NUL-free text.
  if (text.find('\0') == std::string_view::npos) {
    const std::string copy{text};
    const runtime::size_number got = runtime::read_size_number(text);
    const runtime::size_number want = expected_size_number(copy);
    check(got.value == want.value && got.scanned_length == want.scanned_length);
  }

  const std::optional<std::int32_t> flags = runtime::parse_term_value(text);
  check(!flags || (*flags & ~0x1f) == 0);

  std::array<char, runtime::debugger_command_capacity> command{};
  const auto length = runtime::format_debugger_command(text, 2147483647, command);
  check(!length || (*length < command.size() && command[*length] == '\0'));
  return 0;
}
