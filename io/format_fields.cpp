// Data edits of formatted output: the item types they take, their defaults, and each field's
// text. Nothing here writes a record (the interpreter puts the field into it); the one output
// is the illegal-scale-factor notice on standard output.
#include "format_fields.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>

#include "errors.h"
#include "number_to_text.h"
#include "output_record.h"
#include "record_io.h"
#include "units.h"

namespace io {
namespace {

// Integers, logicals and words of up to 4 bytes are sign-extended 32-bit values.
std::int64_t integer_value(const item_ref& item) {
  switch (item.size) {
    case 1: return static_cast<std::int8_t>(item.bytes[0]);
    case 2: {
      std::int16_t v = 0;
      std::memcpy(&v, item.bytes, sizeof v);
      return v;
    }
    case 4: {
      std::int32_t v = 0;
      std::memcpy(&v, item.bytes, sizeof v);
      return v;
    }
    default: {
      std::int64_t v = 0;
      std::memcpy(&v, item.bytes, sizeof v);
      return v;
    }
  }
}

double real_value(const item_ref& item) {
  if (item.type == TYPE_REAL4) {
    float v = 0;
    std::memcpy(&v, item.bytes, sizeof v);
    return v;
  }
  double v = 0;
  std::memcpy(&v, item.bytes, sizeof v);
  return v;
}

struct real_view {
  double value;
  std::int32_t type;  // picks the significant digits and the defaults
};

struct integer_view {
  std::int64_t value;
  std::int64_t size;  // 8 for the 64-bit conversion
};

// The item for F, E, EN, ES, D and G. A typeless word always lends its bits; integers and
// logicals only under "format_relaxed".
std::int32_t as_real(const item_ref& item, real_view& out) {
  if (item.kind == item_kind::KIND_REAL) {
    out = {real_value(item), item.type};
    return 0;
  }
  if (item.kind == item_kind::KIND_CHARACTER ||
      (item.kind != item_kind::KIND_TYPELESS && !option_format_relaxed())) {
    return ERROR_EDIT_MISMATCH;
  }
  const std::int64_t bits = integer_value(item);
  if (item.size == 8) {
    out = {std::bit_cast<double>(bits), TYPE_REAL8};
  } else {
    out = {std::bit_cast<float>(static_cast<std::int32_t>(bits)), TYPE_REAL4};
  }
  return 0;
}

// The item for I: reals lend their bits only under "format_relaxed".
std::int32_t as_integer(const item_ref& item, integer_view& out) {
  if (item.kind == item_kind::KIND_CHARACTER) return ERROR_EDIT_MISMATCH;
  if (item.kind != item_kind::KIND_REAL) {
    out = {integer_value(item), item.size};
    return 0;
  }
  if (!option_format_relaxed()) return ERROR_EDIT_MISMATCH;
  if (item.type == TYPE_REAL4) {
    std::int32_t bits = 0;
    std::memcpy(&bits, item.bytes, sizeof bits);
    out = {bits, 4};
  } else {
    std::int64_t bits = 0;
    std::memcpy(&bits, item.bytes, sizeof bits);
    out = {bits, 8};
  }
  return 0;
}

field failure(std::int32_t code) { return {code, 0, {}}; }

// Not an error: a notice on standard output, written the moment the field is made. It comes
// ahead of the record that holds the field's asterisks, and after what earlier statements
// left on the console.
void report_illegal_scale_factor() { std::fputs("conv_e: illegal scale factor\n", stdout); }

// A minimal-width field is made wide and put without its leading blanks; the conversion
// buffers are never asked for more than a record may hold.
std::int32_t conversion_error(std::int64_t width) {
  return width > max_record_length ? ERROR_ALLOCATION : 0;
}

// A field is converted only once it is known to fit.
std::int32_t width_error(std::int64_t width, const field_settings& settings) {
  if (width > settings.room) return settings.overflow_code;
  return conversion_error(width);
}

std::string_view without_leading_blanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

field character_field(const edit_descriptor& d, const item_ref& item, const field_settings& settings) {
  const std::string_view bytes{reinterpret_cast<const char*>(item.bytes),
                               static_cast<std::size_t>(item.size)};
  if (d.bare) return {0, 0, bytes};
  if (d.width <= item.size) return {0, 0, bytes.substr(0, static_cast<std::size_t>(d.width))};
  if (const std::int32_t code = width_error(d.width, settings); code != 0) return failure(code);
  return {0, d.width - item.size, bytes};
}

field logical_field(const edit_descriptor& d, const item_ref& item, const field_settings& settings) {
  if (item.kind == item_kind::KIND_CHARACTER ||
      (item.kind == item_kind::KIND_REAL && !option_format_relaxed())) {
    return failure(ERROR_EDIT_MISMATCH);
  }
  const std::int64_t width = std::max(d.bare ? 2 : d.width, 1);
  if (const std::int32_t code = width_error(width, settings); code != 0) return failure(code);
  // The logical true mask is the lowest bit, found in the lowest-addressed byte.
  return {0, width - 1, (item.bytes[0] & 1) != 0 ? "T" : "F"};
}

field integer_field(const edit_descriptor& d, const item_ref& item, const field_settings& settings) {
  integer_view v{};
  if (const std::int32_t code = as_integer(item, v); code != 0) return failure(code);
  const std::int64_t min_digits = d.bare ? 1 : d.digits;
  std::int64_t width = d.bare ? default_integer_width(v.size) : d.width;
  const bool minimal = width == 0;
  // Wide enough for every value and for m digits, so "I0.m" never gives asterisks.
  if (minimal) width = std::max<std::int64_t>(v.size == 8 ? 21 : 12, min_digits + 1);
  const std::int32_t code = minimal ? conversion_error(width) : width_error(width, settings);
  if (code != 0) return failure(code);
  const auto w = static_cast<std::int32_t>(width);
  const auto m = static_cast<std::int32_t>(std::clamp<std::int64_t>(min_digits, 0, width));
  const std::string_view text =
      v.size == 8 ? format_integer64(v.value, w, m, settings.plus)
                  : format_integer(static_cast<std::int32_t>(v.value), w, m, settings.plus);
  return {0, 0, minimal ? without_leading_blanks(text) : text};
}

// F, E, EN, ES, D, and G on a real.
field real_field(const edit_descriptor& d, const item_ref& item, const field_settings& settings) {
  real_view r{};
  if (const std::int32_t code = as_real(item, r); code != 0) return failure(code);
  const real_defaults defaults = default_real_layout(r.type);
  const std::int32_t decimals = d.bare ? defaults.decimals : d.digits;
  const std::int32_t k = settings.scale;
  std::int64_t width = d.bare ? defaults.width : d.width;
  const bool minimal = d.code == FORMAT_F_W && width == 0;
  if (minimal) {
    // Room for every digit before the point, so "F0.d" never gives asterisks.
    width = std::int64_t{std::max(decimals, 0)} + 25 + std::max(k, 0);
    if (std::isfinite(r.value) && std::fabs(r.value) >= 1e20) width += 310;
  }
  const std::int32_t code = minimal ? conversion_error(width) : width_error(width, settings);
  if (code != 0) return failure(code);
  // Made in each case: the F conversion is inlined here, and its parameters then stay in
  // registers (measured: 16 instructions a field fewer than one struct made before the switch).
  const auto parameters = [&] {
    return edit_parameters{static_cast<std::int32_t>(width),
                           decimals,
                           d.bare ? default_exponent_digits : d.exponent,
                           k,
                           settings.plus,
                           d.exponent_given ? 1 : 0,
                           settings.decimal_comma};
  };
  exponent_edit edit{};
  switch (d.code) {
    case FORMAT_F_W: edit = {format_fixed(r.value, parameters()), false}; break;
    case FORMAT_D_W: edit = format_d(r.value, parameters(), r.type); break;
    case FORMAT_G_W: edit = format_general(r.value, parameters(), r.type); break;
    default: edit = format_exponent(r.value, parameters(), r.type, d.code); break;
  }
  if (edit.illegal_scale_factor) report_illegal_scale_factor();
  return {0, 0, minimal ? without_leading_blanks(edit.field) : edit.field};
}

// Z, O and B: the item's bytes as one unsigned number, lowest-addressed byte least significant.
field radix_field(const edit_descriptor& d, const item_ref& item, const field_settings& settings,
                  std::int32_t bits_per_digit) {
  const std::int64_t size = item.size;
  const std::int64_t digit_count = (8 * size + bits_per_digit - 1) / bits_per_digit;
  std::int64_t width = d.width;
  std::int64_t min_digits = d.digits;
  if (d.bare) {
    min_digits = 1;
    if (item.kind == item_kind::KIND_CHARACTER) {
      width = digit_count;
    } else {
      width = size <= 2 ? 7 : size == 4 ? 12 : size == 8 ? 23 : 44;
    }
  }
  min_digits = std::clamp<std::int64_t>(min_digits, 0, width);
  if (const std::int32_t code = width_error(width, settings); code != 0) return failure(code);
  std::int64_t significant = 0;
  for (std::int64_t i = size - 1; i >= 0; --i) {
    if (item.bytes[i] != 0) {
      significant = (8 * i + 7 - std::countl_zero(item.bytes[i])) / bits_per_digit + 1;
      break;
    }
  }
  // Leading zero digits go while more than m remain.
  const std::int64_t shown = std::max(significant, std::min(min_digits, digit_count));
  const std::span<char> out = field_buffer(static_cast<std::int32_t>(width));
  if (width > 0 && out.empty()) return failure(ERROR_ALLOCATION);
  const std::string_view text{out.data(), out.size()};
  if (shown > width) {
    std::fill(out.begin(), out.end(), '*');
    return {0, 0, text};
  }
  const std::int64_t zeros = std::max<std::int64_t>(min_digits - shown, 0);
  char* next = std::fill_n(out.data(), width - zeros - shown, ' ');
  next = std::fill_n(next, zeros, '0');
  for (std::int64_t digit = shown - 1; digit >= 0; --digit) {
    unsigned value = 0;
    for (std::int32_t k = 0; k < bits_per_digit; ++k) {
      const std::int64_t bit = digit * bits_per_digit + k;
      if (bit < 8 * size) value |= ((item.bytes[bit / 8] >> (bit % 8)) & 1u) << k;
    }
    *next++ = "0123456789ABCDEF"[value];
  }
  return {0, 0, text};
}

}  // namespace

item_ref make_item(std::int32_t type, const char* address, std::int32_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(address);
  if (type == TYPE_CHARACTER) return {bytes, type, std::max(length, 0), item_kind::KIND_CHARACTER};
  const item_shape shape = shape_of_type(type);
  return {bytes, type, shape.size, shape.kind};
}

field edit_field(edit_descriptor d, const item_ref& item, const field_settings& settings) {
  if (item.kind == item_kind::KIND_UNKNOWN) return failure(ERROR_EDIT_MISMATCH);
  if (d.code == FORMAT_G_W) {
    // G takes the form of the item's own type; its d and e are read and unused.
    switch (item.kind) {
      case item_kind::KIND_CHARACTER: d.code = FORMAT_A_W; break;
      case item_kind::KIND_LOGICAL: d.code = FORMAT_L_W; break;
      case item_kind::KIND_REAL: break;
      default:
        d.code = FORMAT_I_W;
        d.digits = 1;
        break;
    }
  }
  switch (d.code) {
    case FORMAT_A_W: return character_field(d, item, settings);
    case FORMAT_L_W: return logical_field(d, item, settings);
    case FORMAT_I_W: return integer_field(d, item, settings);
    case FORMAT_Z_W: return radix_field(d, item, settings, 4);
    case FORMAT_O_W: return radix_field(d, item, settings, 3);
    case FORMAT_B_W: return radix_field(d, item, settings, 1);
    default: return real_field(d, item, settings);
  }
}

}  // namespace io
