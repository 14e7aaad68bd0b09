// Free-form read statements for tests: items of every type, read from a file or an
// internal file with IOSTAT=, and shown as text with the statement's status.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "process_runner.h"
#include "record_io.h"
#include "units.h"

namespace test {

inline constexpr std::int32_t iostat_flag = SPECIFIER_IOSTAT;

// One letter per item type; each item starts as 99 (or ########) so that an item the
// read leaves unchanged shows.
struct item_kind {
  char letter;
  std::int32_t type;
};
inline constexpr item_kind item_kinds[] = {
    {'i', TYPE_INTEGER4}, {'r', TYPE_REAL4},    {'d', TYPE_REAL8},     {'c', TYPE_CHARACTER},
    {'k', TYPE_INTEGER8}, {'h', TYPE_INTEGER2}, {'b', TYPE_INTEGER1},  {'l', TYPE_LOGICAL4},
    {'L', TYPE_LOGICAL8}, {'x', TYPE_COMPLEX8}, {'z', TYPE_COMPLEX16}, {'q', 31},
    {'w', TYPE_WORD4},    {'W', 23},
};

inline std::int32_t type_of(char letter) {
  for (const auto& kind : item_kinds) {
    if (kind.letter == letter) return kind.type;
  }
  ADD_FAILURE() << "no item type " << letter;
  return 0;
}

template <typename T>
std::string shortest(T value) {
  std::array<char, 48> out{};
  return {out.data(), std::to_chars(out.data(), out.data() + out.size(), value).ptr};
}

struct item {
  char letter;
  std::array<unsigned char, 16> bytes{};

  template <typename T>
  T get(std::size_t offset = 0) const {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
  }
  template <typename T>
  void set(T value, std::size_t offset = 0) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
  }

  explicit item(char l) : letter(l) {
    switch (letter) {
      case 'c': case 'W': bytes.fill('#'); break;
      case 'r': set(99.0f); break;
      case 'd': set(99.0); break;
      case 'x': set(99.0f); set(99.0f, 4); break;
      case 'z': set(99.0); set(99.0, 8); break;
      case 'h': set(std::int16_t{99}); break;
      case 'b': set(std::int8_t{99}); break;
      case 'k': case 'L': case 'q': set(std::int64_t{99}); break;
      default: set(std::int32_t{99}); break;
    }
  }

  std::string show() const {
    switch (letter) {
      case 'c': case 'W': return std::string(reinterpret_cast<const char*>(bytes.data()), 8);
      case 'r': return shortest(get<float>());
      case 'd': return shortest(get<double>());
      case 'x': return "(" + shortest(get<float>()) + "," + shortest(get<float>(4)) + ")";
      case 'z': return "(" + shortest(get<double>()) + "," + shortest(get<double>(8)) + ")";
      case 'h': return std::to_string(get<std::int16_t>());
      case 'b': return std::to_string(get<std::int8_t>());
      case 'k': case 'L': case 'q': return std::to_string(get<std::int64_t>());
      default: return std::to_string(get<std::int32_t>());
    }
  }
};

// One read statement with IOSTAT=: the items as text, then the status and iostat when
// the status is not 0.
template <typename Begin>
std::string perform_read(std::string_view letters, Begin begin) {
  std::vector<item> items;
  for (const char letter : letters) items.emplace_back(letter);
  std::int32_t iostat = 0;
  std::int32_t status = begin(&iostat);
  const std::int32_t one = 1, eight = 8;
  for (auto& it : items) {
    const std::int32_t type = type_of(it.letter);
    const std::int32_t item_status = ld_read_item(&type, &one, nullptr, it.bytes.data(), eight);
    if (status == 0) status = item_status;
  }
  const std::int32_t end_status = ld_read_end();
  if (status == 0) status = end_status;
  std::string out;
  for (const auto& it : items) out += (out.empty() ? "" : " ") + it.show();
  if (status != 0) out += " status=" + std::to_string(status) + " iostat=" + std::to_string(iostat);
  return out;
}

// A file connected by OPEN with FILE= only, read by statements with IOSTAT=.
class input_file {
 public:
  explicit input_file(std::string_view data, bool decimal_comma = false) {
    dir_.write("in.txt", std::string(data));
    const std::string name = (dir_ / "in.txt").string();
    const std::int32_t zero = 0;
    EXPECT_EQ(open_unit(&unit_, &zero, nullptr, nullptr, nullptr, nullptr, name.data(), nullptr,
                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0,
                        static_cast<std::int32_t>(name.size()), 0, 0, 0, 0, 0),
              0);
    if (decimal_comma) io::find_unit(unit_)->decimal = io::decimal_code::DECIMAL_COMMA;
  }
  ~input_file() {
    const std::int32_t zero = 0;
    close_unit(&unit_, &zero, nullptr, nullptr, 0);
  }
  input_file(const input_file&) = delete;
  input_file& operator=(const input_file&) = delete;

  std::string read(std::string_view letters) const {
    return perform_read(letters, [this](std::int32_t* iostat) {
      return ld_read_begin(&unit_, nullptr, &iostat_flag, iostat);
    });
  }

 private:
  test::temp_dir dir_;
  const std::int32_t unit_ = 20;
};

inline std::string read_internal(std::string_view letters, std::string_view variable,
                          std::int32_t record_count, std::int32_t record_length) {
  return perform_read(letters, [&](std::int32_t* iostat) {
    return ld_internal_read_begin(variable.data(), &record_count, &iostat_flag, iostat,
                                  record_length);
  });
}

struct read_case {
  std::string_view input;     // the file's bytes
  std::string_view items;     // one letter per item of one statement
  std::string_view expected;  // what the items hold afterwards, and a status that is not 0
};

}  // namespace test
