// Reading a fuzz input as a stream of small values; past its end every read gives zeros.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

namespace fuzz {

class fuzz_input {
 public:
  fuzz_input(const std::uint8_t* data, std::size_t size) : bytes_{data, size} {}

  std::uint8_t byte() { return position_ < bytes_.size() ? bytes_[position_++] : 0; }

  template <typename T>
  T bits() {
    unsigned char raw[sizeof(T)]{};
    for (auto& b : raw) b = byte();
    T value;
    std::memcpy(&value, raw, sizeof value);
    return value;
  }

  // A value in [low, high], both included.
  std::int32_t in_range(std::int32_t low, std::int32_t high) {
    const auto span = static_cast<std::uint32_t>(static_cast<std::int64_t>(high) - low + 1);
    return static_cast<std::int32_t>(low + static_cast<std::int64_t>(bits<std::uint16_t>() % span));
  }

  bool flag() { return (byte() & 1) != 0; }

  // Up to `length` further bytes.
  std::string_view take(std::size_t length) {
    const std::size_t n = length < remaining() ? length : remaining();
    const std::string_view text{reinterpret_cast<const char*>(bytes_.data() + position_), n};
    position_ += n;
    return text;
  }
  std::string_view rest() { return take(remaining()); }
  std::size_t remaining() const { return bytes_.size() - position_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

// Checked in every build: the fuzz build defines NDEBUG, and a failed check must stop the
// run where it happened.
// `what` and `detail` say which invariant broke and on what text.
inline void check(bool invariant, std::string_view what = "", std::string_view detail = "") {
  if (invariant) return;
  std::fprintf(stderr, "invariant broken: %.*s [%.*s]\n", static_cast<int>(what.size()), what.data(),
               static_cast<int>(detail.size()), detail.data());
  std::abort();
}

}  // namespace fuzz
