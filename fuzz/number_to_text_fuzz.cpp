// Fuzz target for number-to-text conversion: a double or float from the input's bits under
// every descriptor with parameters from the input. Every field has exactly its width and
// holds only field characters; what it shows reads back (strtod, strtoll) to the value, to
// the digits it shows, and exactly when it shows enough of them.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "digit_generation.h"
#include "fuzz_input.h"
#include "number_to_text.h"
#include "record_io.h"

namespace {

using fuzz::check;

struct parameters {
  std::int32_t width, decimals, exp_digits, scale, plus, exp_given, decimal_comma, type;
};

bool only_field_characters(std::string_view field) {
  return field.find_first_not_of(" 0123456789+-.,EDInfNa*") == std::string_view::npos;
}

bool all_asterisks(std::string_view field) {
  return !field.empty() && field.find_first_not_of('*') == std::string_view::npos;
}

std::string_view trimmed(std::string_view field) {
  const std::size_t first = field.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return field.substr(first, field.find_last_not_of(' ') - first + 1);
}

// What a field shows, read back: its value and how many significant digits it carries.
struct reading {
  long double value;
  std::int32_t significant_digits;
  bool exponent_form;
};

// The field's text in strtod's syntax: full stop, letter E, the letter put back where a
// three-digit exponent took its place. Nothing for asterisks, "Inf" and "NaN".
std::optional<reading> read_back(std::string_view field, char decimal_character) {
  const std::string_view text = trimmed(field);
  if (text.empty() || all_asterisks(field) || text.find_first_of("IN") != std::string_view::npos) {
    return std::nullopt;
  }
  std::string canonical;
  std::int32_t significant = 0;
  bool leading = true, exponent = false, mantissa_digit = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    check(c != ' ', "blank inside a field's text", field);
    if (c >= '0' && c <= '9') {
      if (!exponent) {
        mantissa_digit = true;
        if (c != '0') leading = false;
        if (!leading) ++significant;
      }
      canonical += c;
    } else if (c == decimal_character) {
      check(!exponent, "decimal character in the exponent", field);
      // A field one too wide loses the "0" before its decimal character (-.50, .E+00).
      if (!mantissa_digit) canonical += '0';
      mantissa_digit = true;
      canonical += '.';
    } else if (c == 'E' || c == 'D') {
      check(!exponent && mantissa_digit, "misplaced exponent letter", field);
      exponent = true;
      canonical += 'E';
    } else if (c == '+' || c == '-') {
      if (i > 0 && !exponent) {
        // The exponent without its letter: its digits took the letter's place.
        exponent = true;
        canonical += 'E';
      }
      canonical += c;
    } else {
      check(false, "unexpected character in a field", field);
    }
  }
  char* end = nullptr;
  const long double value = std::strtold(canonical.c_str(), &end);
  check(end == canonical.c_str() + canonical.size(), "field text that does not read back", field);
  return reading{value, significant, exponent};
}

// The field of a real that is not finite: "Inf" or "NaN" with its sign, or asterisks.
void check_special(std::string_view field, double value) {
  if (all_asterisks(field) || field.empty()) return;
  const std::string_view text = trimmed(field);
  if (std::isnan(value)) {
    check(text == "NaN", "NaN field", field);
  } else {
    check(text == "Inf" || text == "+Inf" || text == "-Inf", "infinity field", field);
    check((text[0] == '-') == std::signbit(value), "infinity sign", field);
  }
}

// Significant digits the conversion starts from for each type of real.
std::int32_t source_digits(std::int32_t type) { return io::digits_for_type(type); }

// An E-like field (E, EN, ES, D, G in its exponent form) of a finite value.
void check_exponent_reading(std::string_view field, const reading& r, double value,
                            const parameters& p) {
  const long double v = value;
  const std::int32_t shown = r.significant_digits;
  const std::int32_t available = source_digits(p.type);
  if (value == 0.0) {
    check(r.value == 0.0L, "zero shown as non-zero", field);
    return;
  }
  if (p.type == TYPE_REAL4) {
    // A float starts from 8 digits: with all 8 shown the text is the value rounded to 8.
    if (shown >= available) {
      char eight[48];
      std::snprintf(eight, sizeof eight, "%.7E", value);
      check(r.value == std::strtold(eight, nullptr), "8 digits of a float", field);
      return;
    }
  } else if (shown >= 17) {
    // 17 significant digits single out every double.
    check(static_cast<double>(r.value) == value, "17 digits do not read back exactly", field);
    return;
  }
  // Fewer digits: the value to within half a unit of the last digit shown, after the
  // rounding of the digits the conversion started from.
  const long double unit = std::pow(10.0L, static_cast<long double>(1 - std::max(shown, 1)));
  const long double source_unit = std::pow(10.0L, static_cast<long double>(1 - available));
  const long double tolerance = (0.5L * unit + 0.5L * source_unit) * 1.0001L *
                                std::max(std::fabs(r.value), std::fabs(v)) * 10.0L;
  check(std::fabs(r.value - v) <= tolerance, "exponent field far from the value", field);
}

void check_fixed(std::string_view field, double value, const parameters& p) {
  check(field.size() == static_cast<std::size_t>(std::max(p.width, 0)), "F width", field);
  check(only_field_characters(field), "F characters", field);
  if (!std::isfinite(value)) return check_special(field, value);
  const char decimal_character = p.decimal_comma != 0 ? ',' : '.';
  const std::optional<reading> r = read_back(field, decimal_character);
  if (!r) return;
  check(!r->exponent_form, "F field with an exponent", field);
  check(field.find(decimal_character) != std::string_view::npos, "F field without its point", field);
  // The scaled value to d places, from a 16-digit print conversion rounded half up.
  const long double scaled = static_cast<long double>(value) * std::pow(10.0L, p.scale);
  const long double tolerance = 0.5001L * std::pow(10.0L, -static_cast<long double>(p.decimals)) +
                                1e-15L * std::fabs(scaled);
  check(std::fabs(r->value - scaled) <= tolerance, "F field far from the value", field);
  if (r->value == 0.0L) check(trimmed(field)[0] != '-', "negative zero in F", field);
}

void check_exponent_like(std::string_view field, double value, const parameters& p,
                         std::string_view form) {
  check(field.size() == static_cast<std::size_t>(std::max(p.width, 0)), form, field);
  check(only_field_characters(field), form, field);
  if (!std::isfinite(value)) return check_special(field, value);
  const std::optional<reading> r = read_back(field, p.decimal_comma != 0 ? ',' : '.');
  if (!r) return;
  check(r->exponent_form, "exponent form without its exponent", field);
  check_exponent_reading(field, *r, value, p);
}

void check_general(std::string_view field, double value, const parameters& p) {
  check(field.size() == static_cast<std::size_t>(std::max(p.width, 0)), "G width", field);
  check(only_field_characters(field), "G characters", field);
  if (!std::isfinite(value)) return check_special(field, value);
  const std::optional<reading> r = read_back(field, p.decimal_comma != 0 ? ',' : '.');
  if (!r) return;
  if (r->exponent_form) return check_exponent_reading(field, *r, value, p);
  // The fixed form ends in the blanks the exponent would have taken.
  const std::size_t blanks = static_cast<std::size_t>(std::max(p.exp_digits, 0)) + 2;
  check(field.size() >= blanks && field.substr(field.size() - blanks).find_first_not_of(' ') ==
                                      std::string_view::npos,
        "G fixed form without its trailing blanks", field);
  // d significant digits, from a 16-digit print conversion.
  const long double v = value;
  const long double unit = std::pow(10.0L, static_cast<long double>(1 - std::max(p.decimals, 1)));
  const long double tolerance = (0.5001L * unit + 1e-15L) * std::max(std::fabs(r->value), std::fabs(v)) * 10.0L;
  check(std::fabs(r->value - v) <= tolerance, "G fixed field far from the value", field);
}

void check_integer(std::string_view field, std::int64_t value, const parameters& p) {
  const std::int32_t m = p.decimals;
  check(field.size() == static_cast<std::size_t>(std::max(p.width, 0)), "I width", field);
  if (field.empty() || all_asterisks(field)) return;
  check(field.find_first_not_of(" 0123456789+-") == std::string_view::npos, "I characters", field);
  const std::string_view text = trimmed(field);
  if (m == 0 && value == 0) {
    check(text.empty(), "zero with no minimum digits is blank", field);
    return;
  }
  const std::string copy{text};
  char* end = nullptr;
  const long long read = std::strtoll(copy.c_str(), &end, 10);
  check(end == copy.c_str() + copy.size() && read == value, "I field does not read back", field);
  const std::size_t digits = text.size() - ((text[0] == '-' || text[0] == '+') ? 1 : 0);
  check(digits >= static_cast<std::size_t>(std::max(m, 1)), "fewer digits than the minimum", field);
  check((text[0] == '+') == (p.plus != 0 && value >= 0 && !(value == 0 && m == 0)), "I plus sign", field);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::fuzz_input input{data, size};
  const auto bits = input.bits<std::uint64_t>();
  parameters p{};
  // Mostly the widths descriptors use; now and then one that grows the field buffer.
  p.width = input.flag() ? input.in_range(0, 60) : input.in_range(0, 300);
  p.decimals = input.in_range(0, 40);
  p.exp_digits = input.in_range(0, 6);
  p.scale = input.in_range(-130, 130);
  const std::uint8_t switches = input.byte();
  p.plus = switches & 1;
  p.exp_given = (switches >> 1) & 1;
  p.decimal_comma = (switches >> 2) & 1;
  constexpr std::int32_t types[] = {TYPE_REAL4, TYPE_REAL8, TYPE_REAL16, TYPE_REAL8};
  p.type = types[(switches >> 3) & 3];
  const double value = p.type == TYPE_REAL4
                           ? static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)))
                           : std::bit_cast<double>(bits);

  const io::edit_parameters edit{p.width, p.decimals, p.exp_digits, p.scale, p.plus, p.exp_given,
                                 p.decimal_comma};
  check_fixed(io::format_fixed(value, edit), value, p);
  check_exponent_like(io::format_exponent(value, edit, p.type, FORMAT_E_W).field, value, p, "E");
  check_exponent_like(io::format_exponent(value, edit, p.type, FORMAT_EN_W).field, value, p, "EN");
  check_exponent_like(io::format_exponent(value, edit, p.type, FORMAT_ES_W).field, value, p, "ES");
  {
    parameters d_form = p;
    d_form.exp_digits = 2;
    check_exponent_like(io::format_d(value, edit, p.type).field, value, d_form, "D");
  }
  check_general(io::format_general(value, edit, p.type).field, value, p);

  const auto word = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
  check_integer(io::format_integer(word, p.width, p.decimals, p.plus), word, p);
  const auto wide = static_cast<std::int64_t>(bits);
  check_integer(io::format_integer64(wide, p.width, p.decimals, p.plus), wide, p);
  return 0;
}
