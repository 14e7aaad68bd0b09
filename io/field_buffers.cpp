// The field and build buffers of number-to-text conversion, and the `field_state` that
// holds them with the settings of the conversion under way.
#include "field_buffers.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <functional>
#include <new>
#include <type_traits>

#include "number_to_text.h"

namespace io {
namespace {

constexpr std::size_t initial_build_capacity = 64;
constexpr std::size_t initial_field_capacity = 96;
static_assert(initial_field_capacity >= short_field_width && short_field_width > 20);
// No buffer is ever asked for more than this; a larger request counts as memory running out.
constexpr std::int64_t max_buffer_size = std::int64_t{1} << 40;

struct field_state {
  char decimal_character = '.';
  char exponent_letter = 'E';
  bool overflow = false;
  bool all_zero = true;
  std::string_view build_digits;  // what copy_digits takes from
  std::int64_t digit_cursor = 0;  // the next of them
  std::array<char, initial_build_capacity> build_initial{};
  char* build = build_initial.data();
  std::size_t build_capacity = initial_build_capacity;
  std::size_t build_length = 0;
  std::array<char, initial_field_capacity> field_initial{};
  char* field = field_initial.data();
  std::size_t field_capacity = initial_field_capacity;
};

// Trivially destructible on purpose: the exit path may still format after static destructors
// have started.
static_assert(std::is_trivially_destructible_v<field_state>);
constinit field_state state;

// Replaces a buffer by a heap block of `size` bytes, freeing the old one unless it is the
// static one. False when memory runs out; the caller then lays out nothing.
bool replace_buffer(char*& buffer, std::size_t& capacity, const char* initial, std::int64_t size) {
  if (size > max_buffer_size) return false;
  char* larger = new (std::nothrow) char[static_cast<std::size_t>(size)];
  if (larger == nullptr) return false;
  if (buffer != initial) delete[] buffer;
  buffer = larger;
  capacity = static_cast<std::size_t>(size);
  return true;
}

}  // namespace

void begin_conversion(std::int32_t decimal_comma) {
  state.decimal_character = decimal_comma != 0 ? ',' : '.';
  state.overflow = false;
}

char decimal_character() { return state.decimal_character; }
char exponent_letter() { return state.exponent_letter; }
void set_exponent_letter(char letter) { state.exponent_letter = letter; }

char* field_of(std::int64_t width) {
  if (static_cast<std::uint64_t>(width) >= state.field_capacity &&
      !replace_buffer(state.field, state.field_capacity, state.field_initial.data(), width + 128)) {
    return nullptr;
  }
  return state.field;
}

std::string_view asterisks(std::int32_t width) {
  state.overflow = false;
  if (width <= 0) return {};
  char* field = field_of(width);
  if (field == nullptr) return {};
  std::fill_n(field, width, '*');
  return {field, static_cast<std::size_t>(width)};
}

bool lay_out(char* field, std::int64_t width, std::string_view text, char sign) {
  const std::int64_t sign_length = sign != '\0' ? 1 : 0;
  if (sign_length + static_cast<std::int64_t>(text.size()) > width) {
    if (text.size() >= 2 && text[0] == '0' && text[1] == state.decimal_character &&
        sign_length + static_cast<std::int64_t>(text.size()) - 1 <= width) {
      text.remove_prefix(1);
    } else {
      std::fill_n(field, width, '*');
      return false;
    }
  }
  const std::int64_t blanks = width - static_cast<std::int64_t>(text.size()) - sign_length;
  char* out = std::fill_n(field, blanks, ' ');
  if (sign != '\0') *out++ = sign;
  std::copy(text.begin(), text.end(), out);
  return true;
}

std::string_view justify_field(std::int32_t width, std::string_view text, char sign) {
  if (width <= 0) {
    state.overflow = false;
    return {};
  }
  if (state.overflow) return asterisks(width);
  char* field = field_of(width);
  if (field == nullptr) return {};
  assert(std::less<>{}(text.data(), field) ||
         !std::less<>{}(text.data(), field + state.field_capacity));
  lay_out(field, width, text, sign);
  return {field, static_cast<std::size_t>(width)};
}

std::string_view justify_special(std::int32_t width, std::string_view text, std::int32_t negative,
                                 std::int32_t plus) {
  const bool nan = text[0] == 'N';
  return justify_field(width, text, nan ? '\0' : sign_character(negative, plus));
}

std::span<char> field_buffer(std::int32_t length) {
  if (length <= 0) return {};
  char* field = field_of(length);
  if (field == nullptr) return {};
  return {field, static_cast<std::size_t>(length)};
}

bool start_build(std::int64_t bound, std::string_view digits) {
  state.build_length = 0;
  state.all_zero = true;
  state.build_digits = digits;
  state.digit_cursor = 0;
  if (bound > static_cast<std::int64_t>(state.build_capacity) &&
      !replace_buffer(state.build, state.build_capacity, state.build_initial.data(), bound + 32)) {
    state.overflow = true;
    return false;
  }
  return true;
}

void put_char(char c) {
  assert(state.build_length < state.build_capacity);
  state.build[state.build_length++] = c;
}

void put_zeros(std::int64_t count) {
  if (count <= 0) return;
  assert(state.build_length + static_cast<std::size_t>(count) <= state.build_capacity);
  std::memset(state.build + state.build_length, '0', static_cast<std::size_t>(count));
  state.build_length += static_cast<std::size_t>(count);
}

void copy_digits(std::int64_t count) {
  const auto digit_count = static_cast<std::int64_t>(state.build_digits.size());
  const std::int64_t available = std::clamp<std::int64_t>(digit_count - state.digit_cursor, 0,
                                                          std::max<std::int64_t>(count, 0));
  const char* const from = state.build_digits.data() + state.digit_cursor;
  assert(state.build_length + static_cast<std::size_t>(available) <= state.build_capacity);
  if (available > 0) {
    std::memcpy(state.build + state.build_length, from, static_cast<std::size_t>(available));
  }
  if (state.all_zero) {
    state.all_zero = std::all_of(from, from + available, [](char c) { return c == '0'; });
  }
  state.digit_cursor += available;
  state.build_length += static_cast<std::size_t>(available);
  put_zeros(count - available);
}

bool built_digits_all_zero() { return state.all_zero; }
void overflow_build() { state.overflow = true; }
void clear_overflow() { state.overflow = false; }
bool build_overflowed() { return state.overflow; }

std::string_view built_text() {
  if (state.overflow) return {};
  return {state.build, state.build_length};
}

}  // namespace io
