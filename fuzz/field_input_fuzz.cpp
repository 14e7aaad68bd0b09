// Fuzz target for formatted input of one field: random fields, edits, items and modes. The
// statuses stay in their set, an error stores nothing, no store passes the item, the width
// and the read agree on the edit, and I, F-family, L, Z/O/B and A fields on the items they
// take are compared with a slow oracle that reads the rules with strings and strtod.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "field_input.h"
#include "fuzz_input.h"
#include "record_io.h"

namespace {

using fuzz::check;

constexpr std::int32_t BAD = 231;

constexpr std::int32_t edit_codes[] = {
    FORMAT_A_W, FORMAT_L_W, FORMAT_I_W, FORMAT_F_W, FORMAT_E_W, FORMAT_EN_W, FORMAT_ES_W,
    FORMAT_G_W, FORMAT_D_W, FORMAT_O_W, FORMAT_Z_W, FORMAT_B_W, FORMAT_A,   FORMAT_L,
    FORMAT_I,   FORMAT_F,   FORMAT_E,   FORMAT_G,   FORMAT_D,   FORMAT_O,   FORMAT_Z,
    FORMAT_X,   FORMAT_SLASH};
constexpr std::int32_t item_types[] = {
    TYPE_INTEGER1, TYPE_INTEGER2, TYPE_INTEGER4, TYPE_INTEGER8, TYPE_LOGICAL1, TYPE_LOGICAL4,
    TYPE_LOGICAL8, TYPE_WORD4,    TYPE_REAL4,    TYPE_REAL8,    TYPE_REAL16,   TYPE_CHARACTER,
    TYPE_COMPLEX8, TYPE_WORD8,    0,             99};

// Fields are mostly drawn from the characters the rules name, so that valid constants and
// their near misses both come up often.
constexpr char alphabet_characters[] = " 0123456789+-.,EeDdQqTtFfNnIiAaBbCc9 0\t\0x";
constexpr std::string_view alphabet{alphabet_characters, sizeof alphabet_characters - 1};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_sign(char c) { return c == '+' || c == '-'; }

// BN drops blanks; BZ drops the leading ones and makes the rest zeros.
std::string apply_blank_mode(std::string_view field, bool blank_zero) {
  std::string out;
  bool seen = false;
  for (const char c : field) {
    if (c != ' ') {
      seen = true;
      out += c;
    } else if (blank_zero && seen) {
      out += '0';
    }
  }
  return out;
}

std::string upper(std::string_view text) {
  std::string out{text};
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

struct real_result {
  std::int32_t error;
  double value;
};

real_result oracle_real(std::string_view field, std::int32_t decimals, const io::input_modes& m) {
  const std::size_t first = field.find_first_not_of(' ');
  if (first != std::string_view::npos) {
    const std::string word = upper(field.substr(first, field.find_last_not_of(' ') - first + 1));
    if (word == "NAN") return {0, std::numeric_limits<double>::quiet_NaN()};
    for (const std::string_view name : {"INF", "INFINITY", "+INF", "+INFINITY"}) {
      if (word == name) return {0, std::numeric_limits<double>::infinity()};
    }
    if (word == "-INF" || word == "-INFINITY") return {0, -std::numeric_limits<double>::infinity()};
  }
  const std::string t = apply_blank_mode(field, m.blank_zero);
  if (t.empty()) return {0, 0.0};
  std::size_t i = 0;
  const bool negative = t[0] == '-';
  if (is_sign(t[0])) ++i;
  std::string digits;
  long long fraction = 0;
  bool point = false;
  const char symbol = m.decimal_comma ? ',' : '.';
  for (; i < t.size(); ++i) {
    if (is_digit(t[i])) {
      digits += t[i];
      if (point) ++fraction;
    } else if (t[i] == symbol && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits.empty()) return {BAD, 0};
  bool has_exponent = false;
  long long exponent = 0;
  if (i < t.size()) {
    const std::string letters = "EeDdQq";
    const bool letter = letters.find(t[i]) != std::string::npos;
    if (!letter && !is_sign(t[i])) return {BAD, 0};
    bool negative_exponent = t[i] == '-';
    ++i;
    if (letter && i < t.size() && is_sign(t[i])) negative_exponent = t[i++] == '-';
    if (i == t.size()) return {BAD, 0};
    for (; i < t.size(); ++i) {
      if (!is_digit(t[i])) return {BAD, 0};
      exponent = std::min(exponent * 10 + (t[i] - '0'), 1'000'000'000'000LL);
    }
    has_exponent = true;
    if (negative_exponent) exponent = -exponent;
  }
  long long power = exponent - (point ? fraction : decimals) - (has_exponent ? 0 : m.scale);
  power = std::clamp(power, -10'000'000LL, 10'000'000LL);
  const std::string text = (negative ? "-" : "") + digits + "e" + std::to_string(power);
  return {0, std::strtod(text.c_str(), nullptr)};
}

struct integer_result {
  std::int32_t error;
  std::int64_t value;
  bool wide;  // needed 64 bits
};

integer_result oracle_integer(std::string_view field, bool blank_zero) {
  const std::string t = apply_blank_mode(field, blank_zero);
  if (t.empty()) return {0, 0, false};
  std::size_t i = is_sign(t[0]) ? 1 : 0;
  if (i == t.size()) return {BAD, 0, false};
  // Saturated at 2^64 - 1, above every limit.
  constexpr std::uint64_t saturated = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t magnitude = 0;
  for (; i < t.size(); ++i) {
    if (!is_digit(t[i])) return {BAD, 0, false};
    const auto digit = static_cast<std::uint64_t>(t[i] - '0');
    magnitude = magnitude > (saturated - digit) / 10 ? saturated : magnitude * 10 + digit;
  }
  const bool negative = t[0] == '-';
  if (magnitude <= 2147483647u) {
    const auto v = static_cast<std::int64_t>(magnitude);
    return {0, negative ? -v : v, false};
  }
  if (magnitude > (negative ? 9223372036854775808u : 9223372036854775807u)) return {BAD, 0, false};
  return {0, static_cast<std::int64_t>(negative ? ~magnitude + 1 : magnitude), true};
}

// The radix value as bytes of the item, or nullopt for 231.
std::optional<std::vector<unsigned char>> oracle_radix(std::string_view field, bool blank_zero,
                                                       std::int32_t bits_per_digit, std::size_t size) {
  const std::string t = apply_blank_mode(field, blank_zero);
  std::vector<bool> bits;  // most significant first
  for (const char c : t) {
    const std::string_view digits = "0123456789ABCDEF";
    const std::size_t d = digits.find(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (d == std::string_view::npos || d >= (1u << bits_per_digit)) return std::nullopt;
    for (std::int32_t k = bits_per_digit - 1; k >= 0; --k) bits.push_back(((d >> k) & 1) != 0);
  }
  std::vector<unsigned char> bytes(size, 0);
  for (std::size_t i = 0; i < bits.size(); ++i) {
    const std::size_t position = bits.size() - 1 - i;  // from the least significant bit
    if (!bits[i]) continue;
    if (position >= 8 * size) return std::nullopt;
    bytes[position / 8] = static_cast<unsigned char>(bytes[position / 8] | 1u << (position % 8));
  }
  return bytes;
}

template <typename T>
std::vector<unsigned char> bytes_of(T value) {
  std::vector<unsigned char> out(sizeof value);
  std::memcpy(out.data(), &value, sizeof value);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::fuzz_input input{data, size};
  const std::int32_t code = edit_codes[input.byte() % std::size(edit_codes)];
  const std::int32_t type = item_types[input.byte() % std::size(item_types)];
  const std::int32_t length = input.in_range(0, 40);
  const std::int32_t digits = input.in_range(-3, 40);
  const std::int32_t scale = input.in_range(-130, 130);
  const std::uint8_t flags = input.byte();
  const io::input_modes modes{scale, (flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0};
  const bool raw = (flags & 8) != 0;
  std::string field;
  for (const char c : input.rest()) {
    field += raw ? c : alphabet[static_cast<unsigned char>(c) % alphabet.size()];
  }
  const bool bare = code <= FORMAT_A && code >= FORMAT_Z;
  const io::input_edit edit{code, bare, static_cast<std::int32_t>(field.size()), digits};
  const io::input_item item{type, length};
  const std::string_view shown{field.data(), std::min<std::size_t>(field.size(), 80)};

  // The item in a block of exactly its size, so ASan sees any store past it; a guard byte
  // pattern shows whether anything was stored.
  const auto item_size = static_cast<std::size_t>(io::input_item_size(item));
  std::vector<unsigned char> bytes(item_size, 0xA5);
  const std::vector<unsigned char> before = bytes;
  const std::int32_t error = io::read_input_field(field, edit, item, modes, bytes.data());
  check(error == 0 || error == BAD || error == 234 || error == 235, "status", shown);
  if (error != 0) check(bytes == before, "stored after an error", shown);

  const io::input_width width = io::input_field_width(edit, item, modes);
  check(width.code == 0 || width.code == 234 || width.code == 235, "width status", shown);
  if (width.code != 0) check(error == width.code, "width and read disagree on the edit", shown);
  if (width.code == 0) check(error == 0 || error == BAD, "mismatch seen by the read only", shown);
  check(width.width >= 0, "negative width", shown);

  // Without blanks the blank mode cannot matter.
  if (field.find(' ') == std::string::npos) {
    io::input_modes other = modes;
    other.blank_zero = !modes.blank_zero;
    std::vector<unsigned char> again(item_size, 0xA5);
    check(io::read_input_field(field, edit, item, other, again.data()) == error && again == bytes,
          "blank mode changed a field without blanks", shown);
  }
  if (error != 0 && error != BAD) return 0;

  // The oracle, for the edits on the items they read natively.
  const bool numeric_code = code == FORMAT_F_W || code == FORMAT_E_W || code == FORMAT_EN_W ||
                            code == FORMAT_ES_W || code == FORMAT_D_W ||
                            (code == FORMAT_G_W && (type == TYPE_REAL4 || type == TYPE_REAL8));
  if (numeric_code && !bare && (type == TYPE_REAL4 || type == TYPE_REAL8)) {
    const real_result want = oracle_real(field, std::max(digits, 0), modes);
    check(error == want.error, "real status", shown);
    if (error != 0) return 0;
    if (type == TYPE_REAL8) {
      check(bytes == bytes_of(want.value), "64-bit real", shown);
    } else {
      float single = static_cast<float>(want.value);
      if (std::isfinite(want.value) && std::fabs(want.value) >= 0x1.ffffffp127) {
        single = want.value > 0 ? std::numeric_limits<float>::infinity()
                                : -std::numeric_limits<float>::infinity();
      }
      check(bytes == bytes_of(single), "32-bit real", shown);
    }
  } else if ((code == FORMAT_I_W || code == FORMAT_I || code == FORMAT_G_W) &&
             (type == TYPE_INTEGER1 || type == TYPE_INTEGER2 || type == TYPE_INTEGER4 ||
              type == TYPE_INTEGER8 || type == TYPE_LOGICAL8) &&
             !(code == FORMAT_G_W && type == TYPE_LOGICAL8)) {
    const integer_result want = oracle_integer(field, modes.blank_zero);
    check(error == want.error, "integer status", shown);
    if (error != 0) return 0;
    std::vector<unsigned char> expected = bytes_of(want.value);
    // A 32-bit value zero-extends into a 64-bit logical, as the free-form reader stores it.
    if (type == TYPE_LOGICAL8 && !want.wide) {
      expected = bytes_of(static_cast<std::uint64_t>(static_cast<std::uint32_t>(want.value)));
    }
    expected.resize(item_size);
    check(bytes == expected, "integer", shown);
  } else if ((code == FORMAT_L_W || code == FORMAT_L) && type == TYPE_LOGICAL4) {
    const std::size_t first = field.find_first_not_of(' ');
    std::size_t at = first == std::string::npos ? field.size() : first;
    if (at < field.size() && field[at] == '.') ++at;
    const char letter = at < field.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(field[at]))) : 0;
    check(error == (letter == 'T' || letter == 'F' ? 0 : BAD), "logical status", shown);
    if (error == 0) check(bytes == bytes_of(std::int32_t{letter == 'T' ? -1 : 0}), "logical", shown);
  } else if (code == FORMAT_Z_W || code == FORMAT_O_W || code == FORMAT_B_W) {
    const std::int32_t bits_per_digit = code == FORMAT_Z_W ? 4 : code == FORMAT_O_W ? 3 : 1;
    const auto want = oracle_radix(field, modes.blank_zero, bits_per_digit, item_size);
    check(error == (want ? 0 : BAD), "radix status", shown);
    if (error == 0) check(bytes == *want, "radix", shown);
  } else if (code == FORMAT_A_W && type == TYPE_CHARACTER) {
    std::string want = field.size() >= item_size ? field.substr(field.size() - item_size) : field;
    want.resize(item_size, ' ');
    check(error == 0 && std::string(bytes.begin(), bytes.end()) == want, "characters", shown);
  }
  return 0;
}
