// Formatted input of one field: the edit resolved against the item as output resolves it,
// blanks under BN and BZ, and the conversions of I, F, E, EN, ES, D, G, L, A, Z, O, B fields.
#include "field_input.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>
#include <span>

#include "errors.h"
#include "item_store.h"
#include "item_types.h"
#include "record_io.h"
#include "text_to_number.h"

namespace io {
namespace {

item_shape shape_of(input_item item) {
  if (item.type == TYPE_CHARACTER) return {std::max(item.length, 0), item_kind::KIND_CHARACTER};
  return shape_of_type(item.type);
}

// The bare codes run from A down to Z, each with the form that carries operands.
constexpr std::int32_t with_operands[] = {FORMAT_A_W, FORMAT_L_W, FORMAT_I_W,
                                          FORMAT_F_W, FORMAT_E_W, FORMAT_G_W,
                                          FORMAT_D_W, FORMAT_O_W, FORMAT_Z_W};
static_assert(std::size(with_operands) == FORMAT_A - FORMAT_Z + 1);

using field_form = input_form;
using resolved_edit = resolved_input_edit;

constexpr resolved_edit edit_error(std::int32_t code) {
  return {code, field_form::FORM_CHARACTER, 0, 0, 0, 0, 0};
}

std::int32_t default_radix_width(const item_shape& shape, std::int32_t bits_per_digit) {
  if (shape.kind == item_kind::KIND_CHARACTER) {
    return static_cast<std::int32_t>((8 * std::int64_t{shape.size} + bits_per_digit - 1) /
                                     bits_per_digit);
  }
  if (shape.size <= 2) return 7;
  return shape.size == 4 ? 12 : shape.size == 8 ? 23 : 44;
}

// Mirrors the output rule: A and Z, O, B take every item; L and I refuse characters, and
// reals unless "format_relaxed"; the real edits refuse characters, and integers and logicals
// unless "format_relaxed", while a typeless word always lends its bits. Where a value goes
// into another kind's bits, it is stored as the type of the item's size that holds it.
resolved_edit resolve(input_edit edit, input_item item, bool format_relaxed) {
  if (edit.code <= FORMAT_A && edit.code >= FORMAT_Z) {
    edit.code = with_operands[FORMAT_A - edit.code];
    edit.bare = true;
  }
  const item_shape shape = shape_of(item);
  const std::int32_t width = std::max(edit.width, 0);
  const item_kind kind = shape.kind;
  const bool real_item = kind == item_kind::KIND_REAL;
  const bool wide = shape.size == 8;
  resolved_edit r{0, field_form::FORM_CHARACTER, width, 0, item.type, shape.size, 0};
  switch (edit.code) {
    case FORMAT_A_W: case FORMAT_L_W: case FORMAT_I_W: case FORMAT_F_W: case FORMAT_E_W:
    case FORMAT_EN_W: case FORMAT_ES_W: case FORMAT_G_W: case FORMAT_D_W: case FORMAT_O_W:
    case FORMAT_Z_W: case FORMAT_B_W:
      break;
    default:
      return edit_error(ERROR_INVALID_EDIT);
  }
  if (kind == item_kind::KIND_UNKNOWN) return edit_error(ERROR_EDIT_MISMATCH);
  if (edit.code == FORMAT_G_W) {
    switch (kind) {
      case item_kind::KIND_CHARACTER: edit.code = FORMAT_A_W; break;
      case item_kind::KIND_LOGICAL: edit.code = FORMAT_L_W; break;
      case item_kind::KIND_REAL: break;
      default: edit.code = FORMAT_I_W; break;
    }
  }
  switch (edit.code) {
    case FORMAT_A_W:
      if (edit.bare) r.width = shape.size;
      return r;
    case FORMAT_L_W:
      if (kind == item_kind::KIND_CHARACTER || (real_item && !format_relaxed)) {
        return edit_error(ERROR_EDIT_MISMATCH);
      }
      r.form = field_form::FORM_LOGICAL;
      r.width = std::max(edit.bare ? 2 : width, 1);
      if (real_item) r.store_type = wide ? TYPE_LOGICAL8 : TYPE_LOGICAL4;
      if (kind == item_kind::KIND_TYPELESS) r.store_type = TYPE_LOGICAL4;
      return r;
    case FORMAT_I_W:
      if (kind == item_kind::KIND_CHARACTER || (real_item && !format_relaxed)) {
        return edit_error(ERROR_EDIT_MISMATCH);
      }
      r.form = field_form::FORM_INTEGER;
      if (edit.bare) r.width = default_integer_width(shape.size);
      if (real_item) r.store_type = wide ? TYPE_INTEGER8 : TYPE_INTEGER4;
      if (kind == item_kind::KIND_TYPELESS) r.store_type = TYPE_INTEGER4;
      return r;
    case FORMAT_Z_W:
    case FORMAT_O_W:
    case FORMAT_B_W:
      r.form = field_form::FORM_RADIX;
      r.bits_per_digit = edit.code == FORMAT_Z_W ? 4 : edit.code == FORMAT_O_W ? 3 : 1;
      if (edit.bare) r.width = default_radix_width(shape, r.bits_per_digit);
      return r;
    default: {
      if (kind == item_kind::KIND_CHARACTER ||
          (!real_item && kind != item_kind::KIND_TYPELESS && !format_relaxed)) {
        return edit_error(ERROR_EDIT_MISMATCH);
      }
      r.form = field_form::FORM_REAL;
      if (!real_item) r.store_type = wide ? TYPE_REAL8 : TYPE_REAL4;
      // A negative d from a format routine implies no fraction digits.
      r.decimals = std::max(edit.digits, 0);
      if (edit.bare) {
        const real_defaults defaults = default_real_layout(r.store_type);
        r.width = defaults.width;
        r.decimals = defaults.decimals;
      }
      return r;
    }
  }
}

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_sign(char c) { return c == '+' || c == '-'; }
constexpr bool is_exponent_letter(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q';
}
constexpr char upper_case(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// The characters of a numeric field as the blank mode makes them: BN passes over every
// blank, BZ over the leading ones and reads every later blank as a zero.
class blank_mode_reader {
 public:
  blank_mode_reader(std::string_view field, bool blank_zero)
      : field_{field}, blank_zero_{blank_zero} {
    skip_blanks();
  }
  bool at_end() const { return at_ == field_.size(); }
  // Requires !at_end().
  char peek() const { return field_[at_] == ' ' ? '0' : field_[at_]; }
  void advance() {
    ++at_;
    if (!blank_zero_) skip_blanks();
  }

 private:
  void skip_blanks() {
    while (at_ < field_.size() && field_[at_] == ' ') ++at_;
  }
  std::string_view field_;
  bool blank_zero_;
  std::size_t at_ = 0;
};

std::string_view trim_blanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool same_letters(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (upper_case(text[i]) != upper[i]) return false;
  }
  return true;
}

// [sign] Inf or Infinity, or NaN, with nothing but blanks around it.
bool special_value(std::string_view field, double& value) {
  std::string_view text = trim_blanks(field);
  if (same_letters(text, "NAN")) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && is_sign(text[0])) text.remove_prefix(1);
  if (!same_letters(text, "INF") && !same_letters(text, "INFINITY")) return false;
  value = negative ? -std::numeric_limits<double>::infinity()
                   : std::numeric_limits<double>::infinity();
  return true;
}

// A decimal integer's significant digits. A double's halfway points have at most 767
// significant digits, so past the first 800 the value only matters as being non-zero: a
// final 1 stands for the dropped digits and keeps the rounding the full text would get.
class significand {
 public:
  static constexpr std::int32_t kept_digits = 800;

  void push(char digit) {
    if (count_ == 0 && digit == '0') return;
    if (count_ < kept_digits) {
      digits_[static_cast<std::size_t>(count_++)] = digit;
      return;
    }
    ++dropped_;
    if (digit != '0') sticky_ = true;
  }
  // The digits to write, and the power of ten they are to be multiplied by on top.
  std::string_view finish(std::int64_t& exponent) {
    exponent += dropped_;
    if (sticky_) {
      digits_[static_cast<std::size_t>(count_++)] = '1';
      --exponent;
      sticky_ = false;
    }
    if (count_ == 0) return "0";
    return {digits_.data(), static_cast<std::size_t>(count_)};
  }

 private:
  // Only the first count_ bytes are ever read: no clearing per field.
  std::array<char, kept_digits + 1> digits_;
  std::int32_t count_ = 0;
  std::int64_t dropped_ = 0;
  bool sticky_ = false;
};

// Exponents are read up to here and no further: with at most 801 digits, a power of ten
// beyond 400000 either way gives an infinity or a zero whatever the digits.
constexpr std::int64_t exponent_ceiling = 1'000'000'000;
constexpr std::int64_t power_limit = 400'000;

// The optional exponent at the reader: a letter and [sign] digits, or a sign and digits.
std::int32_t read_exponent(blank_mode_reader& in, bool& has_exponent, std::int64_t& exponent) {
  if (in.at_end()) return 0;
  const char first = in.peek();
  if (!is_exponent_letter(first) && !is_sign(first)) return ERROR_DATA_CONVERSION;
  in.advance();
  bool negative = first == '-';
  if (is_exponent_letter(first) && !in.at_end() && is_sign(in.peek())) {
    negative = in.peek() == '-';
    in.advance();
  }
  if (in.at_end() || !is_digit(in.peek())) return ERROR_DATA_CONVERSION;
  std::int64_t magnitude = 0;
  for (; !in.at_end() && is_digit(in.peek()); in.advance()) {
    magnitude = std::min(magnitude * 10 + (in.peek() - '0'), exponent_ceiling);
  }
  if (!in.at_end()) return ERROR_DATA_CONVERSION;
  has_exponent = true;
  exponent = negative ? -magnitude : magnitude;
  return 0;
}

// The common short field: leading blanks, [sign], at most 15 digits with at most one decimal
// symbol, and nothing after. Its digits m (below 2^53) and a power of ten 10^e with |e| <= 22
// are both exact doubles, so one multiplication or division rounds m * 10^e correctly: the
// value the scanner gives for the same constant. Anything else (an exponent, an inner or
// trailing blank, more digits, a field of blanks) is left to the full path.
std::optional<double> short_real(std::string_view field, std::int32_t decimals,
                                 const input_modes& modes) {
  const char* at = field.data();
  const char* const end = at + field.size();
  while (at != end && *at == ' ') ++at;
  if (at == end) return std::nullopt;
  const bool negative = *at == '-';
  if (is_sign(*at)) ++at;
  const char symbol = modes.decimal_comma ? ',' : '.';
  const char* const first = at;
  const char* point = nullptr;
  std::uint64_t digits = 0;  // wraps only past 19 digits, which the count below refuses
  for (; at != end; ++at) {
    const auto digit = static_cast<unsigned char>(*at - '0');
    if (digit <= 9) {
      digits = digits * 10 + digit;
    } else if (*at == symbol && point == nullptr) {
      point = at;
    } else {
      return std::nullopt;
    }
  }
  const auto digit_count = static_cast<std::size_t>((end - first) - (point != nullptr));
  if (digit_count - 1 >= 15) return std::nullopt;  // none, or more than 15
  const std::int64_t exponent =
      -static_cast<std::int64_t>(point != nullptr ? end - point - 1 : decimals) - modes.scale;
  if (exponent < -22 || exponent > 22) return std::nullopt;
  return exact_decimal_to_real64(digits, static_cast<std::int32_t>(exponent), negative);
}

// The field as a decimal constant, converted by the free-form reader's scanner from a text
// of its own syntax, so both readers give the same bits for the same constant.
[[gnu::noinline]] std::int32_t read_real(std::string_view field, std::int32_t decimals,
                                         const input_modes& modes, double& value) {
  if (special_value(field, value)) return 0;
  blank_mode_reader in{field, modes.blank_zero};
  if (in.at_end()) {
    value = 0.0;
    return 0;
  }
  const bool negative = in.peek() == '-';
  if (is_sign(in.peek())) in.advance();
  const char symbol = modes.decimal_comma ? ',' : '.';
  significand digits;
  bool point = false;
  bool any_digit = false;
  std::int64_t fraction_digits = 0;
  for (; !in.at_end(); in.advance()) {
    const char c = in.peek();
    if (is_digit(c)) {
      any_digit = true;
      digits.push(c);
      if (point) ++fraction_digits;
    } else if (c == symbol && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any_digit) return ERROR_DATA_CONVERSION;
  bool has_exponent = false;
  std::int64_t exponent = 0;
  if (const std::int32_t code = read_exponent(in, has_exponent, exponent); code != 0) return code;

  exponent -= point ? fraction_digits : decimals;
  if (!has_exponent) exponent -= modes.scale;
  const std::string_view mantissa = digits.finish(exponent);
  exponent = std::clamp(exponent, -power_limit, power_limit);

  // Sign, digits, "e", the exponent (7 characters at most) and the line feed the scanner
  // wants after a constant, then the 16 bytes the one-pass scanner may read beyond it. The
  // bound on the digits is already met; said here, it bounds every index below.
  constexpr std::size_t slack = 16;
  std::array<char, 1 + significand::kept_digits + 1 + 1 + 7 + 1 + slack> text;
  const std::size_t digit_count = std::min<std::size_t>(mantissa.size(), significand::kept_digits + 1);
  std::size_t length = 0;
  if (negative) text[length++] = '-';
  std::memcpy(text.data() + length, mantissa.data(), digit_count);
  length += digit_count;
  text[length++] = 'e';
  length = static_cast<std::size_t>(
      std::to_chars(text.data() + length, text.data() + length + 7, exponent).ptr - text.data());
  text[length] = '\n';
  std::memset(text.data() + length + 1, ' ', slack);
  // Short fields took short_real above; what is left goes to the full scanner. The one-pass
  // scanner stays the free-form reader's alone, so its hot path keeps a single caller.
  const numeric_scan scan = scan_numeric_constant(std::span<char>{text.data(), length + 1}, false);
  if (scan.error_code != 0 || scan.value_class != numeric_class::NUMERIC_REAL) {
    return ERROR_DATA_CONVERSION;
  }
  value = scan.value.real64();
  return 0;
}

// [sign] digits, through the free-form reader's decimal integer conversions: 32 bits where
// they fit, else 64, else 231.
std::int32_t read_integer(std::string_view field, bool blank_zero, scanned_value& value) {
  blank_mode_reader in{field, blank_zero};
  if (in.at_end()) {
    value = scanned_int32(0);
    return 0;
  }
  // A sign and 19 digits: 20 significant digits are past the 64-bit range.
  constexpr std::size_t most_digits = 19;
  std::array<char, most_digits + 2> text{};
  std::size_t length = 0;
  if (is_sign(in.peek())) {
    text[length++] = in.peek();
    in.advance();
  }
  bool any_digit = false;
  std::size_t significant = 0;
  for (; !in.at_end() && is_digit(in.peek()); in.advance()) {
    any_digit = true;
    if (significant == 0 && in.peek() == '0') continue;
    if (significant == most_digits) return ERROR_DATA_CONVERSION;
    text[length++] = in.peek();
    ++significant;
  }
  if (!any_digit || !in.at_end()) return ERROR_DATA_CONVERSION;
  if (significant == 0) text[length++] = '0';
  const std::string_view digits{text.data(), length};
  if (const int32_conversion narrow = text_to_int32(digits);
      narrow.status == conversion_status::CONVERSION_OK) {
    value = scanned_int32(narrow.value);
    return 0;
  }
  if (const int64_conversion wide = text_to_int64(digits);
      wide.status == conversion_status::CONVERSION_OK) {
    value = scanned_int64(wide.value);
    return 0;
  }
  return ERROR_DATA_CONVERSION;
}

// Blanks, an optional full stop (whatever the decimal symbol), then T or F.
std::int32_t read_logical(std::string_view field, bool& value) {
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  if (i < field.size() && field[i] == '.') ++i;
  if (i == field.size()) return ERROR_DATA_CONVERSION;
  switch (field[i]) {
    case 'T': case 't': value = true; return 0;
    case 'F': case 'f': value = false; return 0;
    default: return ERROR_DATA_CONVERSION;
  }
}

// A digit's value in base 2^bits_per_digit, or -1.
std::int32_t radix_digit(char c, std::int32_t bits_per_digit) {
  std::int32_t value = -1;
  if (is_digit(c)) {
    value = c - '0';
  } else if (upper_case(c) >= 'A' && upper_case(c) <= 'F') {
    value = upper_case(c) - 'A' + 10;
  }
  return value < (1 << bits_per_digit) ? value : -1;
}

// Checked in a first pass, so that nothing is stored after an error; then the digits are
// laid into the bytes from the last one, the lowest-addressed byte least significant.
std::int32_t read_radix(std::string_view field, bool blank_zero, std::int32_t bits_per_digit,
                        std::int32_t size, unsigned char* bytes) {
  const std::int64_t item_bits = 8 * std::int64_t{size};
  std::int64_t significant_bits = 0;
  for (blank_mode_reader in{field, blank_zero}; !in.at_end(); in.advance()) {
    const std::int32_t digit = radix_digit(in.peek(), bits_per_digit);
    if (digit < 0) return ERROR_DATA_CONVERSION;
    if (significant_bits > 0) {
      significant_bits += bits_per_digit;
    } else if (digit != 0) {
      significant_bits = std::bit_width(static_cast<unsigned>(digit));
    }
    if (significant_bits > item_bits) return ERROR_DATA_CONVERSION;
  }
  if (size == 0) return 0;
  std::memset(bytes, 0, static_cast<std::size_t>(size));
  const std::size_t first = field.find_first_not_of(' ');
  std::int64_t bit = 0;
  for (std::size_t i = field.size(); i-- > 0 && bit < item_bits && first != std::string_view::npos;) {
    char c = field[i];
    if (c == ' ') {
      if (!blank_zero || i < first) continue;
      c = '0';
    }
    const auto digit = static_cast<unsigned>(radix_digit(c, bits_per_digit));
    for (std::int32_t k = 0; k < bits_per_digit && bit + k < item_bits; ++k) {
      if (((digit >> k) & 1u) != 0) {
        bytes[(bit + k) / 8] = static_cast<unsigned char>(bytes[(bit + k) / 8] | 1u << ((bit + k) % 8));
      }
    }
    bit += bits_per_digit;
  }
  return 0;
}

// Aw with w >= len takes the rightmost len characters; a shorter field is padded on the right.
// A character item of length 0 may come without storage.
void read_characters(std::string_view field, std::int32_t size, char* bytes) {
  const auto length = static_cast<std::size_t>(size);
  if (length == 0) return;
  if (field.size() >= length) {
    std::memcpy(bytes, field.data() + (field.size() - length), length);
    return;
  }
  std::memcpy(bytes, field.data(), field.size());
  std::memset(bytes + field.size(), ' ', length - field.size());
}

// A 1- or 2-byte item under "format_relaxed" keeps the low bits of the 32-bit real's bits,
// as its integer store keeps the low bits of an integer.
std::int32_t store_real(void* address, const resolved_edit& r, double value) {
  if (r.size >= 4) return store_scanned_value(address, r.store_type, scanned_real64(value));
  const auto bits = std::bit_cast<std::uint32_t>(value_to_real32(scanned_real64(value)));
  return store_scanned_value(address, r.size == 2 ? TYPE_INTEGER2 : TYPE_INTEGER1,
                             scanned_int32(static_cast<std::int32_t>(bits)));
}

}  // namespace

resolved_input_edit resolve_input_edit(input_edit edit, input_item item, const input_modes& modes) {
  return resolve(edit, item, modes.format_relaxed);
}

input_width input_field_width(input_edit edit, input_item item, const input_modes& modes) {
  const resolved_edit r = resolve(edit, item, modes.format_relaxed);
  return {r.code, r.code == 0 ? r.width : 0};
}

std::int32_t input_item_size(input_item item) { return shape_of(item).size; }

std::int32_t read_input_field(std::string_view field, input_edit edit, input_item item,
                              const input_modes& modes, void* address) {
  return read_resolved_field(field, resolve(edit, item, modes.format_relaxed), modes, address);
}

std::int32_t read_resolved_field(std::string_view field, const resolved_input_edit& r,
                                 const input_modes& modes, void* address) {
  if (r.code != 0) return r.code;
  switch (r.form) {
    case field_form::FORM_CHARACTER:
      read_characters(field, r.size, static_cast<char*>(address));
      return 0;
    case field_form::FORM_LOGICAL: {
      bool value = false;
      if (const std::int32_t code = read_logical(field, value); code != 0) return code;
      return store_scanned_value(address, r.store_type, scanned_logical(value));
    }
    case field_form::FORM_INTEGER: {
      scanned_value value{};
      if (const std::int32_t code = read_integer(field, modes.blank_zero, value); code != 0) {
        return code;
      }
      return store_scanned_value(address, r.store_type, value);
    }
    case field_form::FORM_REAL: {
      // The short field first, so it does not pay for the long path's buffers.
      if (const std::optional<double> quick = short_real(field, r.decimals, modes)) {
        // The usual item, stored without the general store's switch: a short field's value
        // is below 10^37, so plain narrowing rounds it and cannot overflow.
        if (r.store_type == TYPE_REAL4 && r.size == 4) {
          const auto narrow = static_cast<float>(*quick);
          std::memcpy(address, &narrow, sizeof narrow);
          return 0;
        }
        return store_real(address, r, *quick);
      }
      double value = 0.0;
      if (const std::int32_t code = read_real(field, r.decimals, modes, value); code != 0) {
        return code;
      }
      return store_real(address, r, value);
    }
    case field_form::FORM_RADIX:
      return read_radix(field, modes.blank_zero, r.bits_per_digit, r.size,
                        static_cast<unsigned char*>(address));
  }
  return ERROR_INVALID_EDIT;
}

}  // namespace io
