// Number-to-text conversion and the `conversion_state` that every conversion shares.
#include "number_to_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

#include "characters.h"
#include "record_io.h"

namespace io {
namespace {

// A double's exact decimal expansion has at most 767 significant digits, so every digit
// past max_sig_digits is a zero and the digit string never needs more room than this.
constexpr std::int32_t max_sig_digits = 800;
constexpr std::size_t digit_capacity = 832;
static_assert(digit_capacity > max_sig_digits + 1);
// The longest conversion kept for shorter requests of the same value.
constexpr std::int32_t kept_precision = 40;
constexpr std::size_t initial_build_capacity = 64;
constexpr std::size_t initial_field_capacity = 96;
// Integer fields this wide are copied whole, whatever their width: the field buffer never
// has less room.
constexpr std::int64_t short_field_width = 24;
static_assert(initial_field_capacity >= short_field_width && short_field_width > 20);
// No buffer is ever asked for more than this; a larger request counts as memory running out.
constexpr std::int64_t max_buffer_size = std::int64_t{1} << 40;

// The last print conversion of a value, kept so that a shorter request for the same value
// rounds these digits instead of converting again (G asks for 8 or 17 digits, then 16).
struct print_conversion {
  std::uint64_t bits = 0;
  std::int32_t precision = 0;  // 0: nothing kept
  std::int32_t exponent = 0;
  std::int32_t negative = 0;
  std::array<char, kept_precision> digits{};
  // 16 kept digits from the exact path, as one integer; 0 when not kept that way. F
  // editing rounds this instead of converting again.
  std::uint64_t exact_sixteen = 0;
};

struct conversion_state {
  std::array<char, digit_capacity> digit_text{};  // the digit string, NUL-terminated
  std::int32_t digit_cursor = 0;                  // next digit a builder takes
  std::int32_t digit_count = 0;
  // Wide, because F editing adds the caller's scale factor to it.
  std::int64_t decimal_exponent = 0;
  std::int32_t negative = 0;
  char decimal_character = '.';
  bool overflow = false;
  char exponent_letter = 'E';
  bool all_zero = true;
  std::array<char, initial_build_capacity> build_initial{};
  char* build = build_initial.data();
  std::size_t build_capacity = initial_build_capacity;
  std::size_t build_length = 0;
  std::array<char, initial_field_capacity> field_initial{};
  char* field = field_initial.data();
  std::size_t field_capacity = initial_field_capacity;
  // The print conversion's text: sign, max_sig_digits digits, point, "e+308".
  std::array<char, max_sig_digits + 16> scratch{};
  print_conversion last_conversion{};
};

// Trivially destructible on purpose: the exit path may still format after static destructors
// have started.
static_assert(std::is_trivially_destructible_v<conversion_state>);
constinit conversion_state state;

__extension__ using uint128 = unsigned __int128;

constexpr std::array<uint128, 39> powers_of_ten = [] {
  std::array<uint128, 39> powers{};
  uint128 power = 1;
  for (uint128& p : powers) {
    p = power;
    power *= 10;
  }
  return powers;
}();
static_assert(powers_of_ten[38] / 10 == powers_of_ten[37]);

// 10^n for n from 0 to 19, the same table in 8-byte entries: the hot paths index it.
constexpr std::array<std::uint64_t, 20> powers_of_ten_64 = [] {
  std::array<std::uint64_t, 20> powers{};
  for (std::size_t n = 0; n < powers.size(); ++n) powers[n] = static_cast<std::uint64_t>(powers_of_ten[n]);
  return powers;
}();
std::uint64_t power_of_ten_64(std::int32_t n) { return powers_of_ten_64[static_cast<std::size_t>(n)]; }

// "00" to "99": two digits per division halves the chain of dependent divisions.
constexpr std::array<char, 200> digit_pairs = [] {
  std::array<char, 200> pairs{};
  for (std::size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();
static_assert(digit_pairs[2 * 47] == '4' && digit_pairs[2 * 47 + 1] == '7');

// Exactly four digits of value (below 10^4) at out.
void put_four_digits(std::uint32_t value, char* out) {
  std::memcpy(out, &digit_pairs[2 * (value / 100)], 2);
  std::memcpy(out + 2, &digit_pairs[2 * (value % 100)], 2);
}

// The decimal digits of magnitude, ending just before `end`; returns where they begin.
// Zero has no digits. Eight digits at a time, as two halves that do not wait for each
// other, and 32-bit divisions below 10^8: the chain of dependent divisions stays short.
char* put_decimal(std::uint64_t magnitude, char* end) {
  while (magnitude >= 100000000) {
    const auto low = static_cast<std::uint32_t>(magnitude % 100000000);
    magnitude /= 100000000;
    end -= 8;
    put_four_digits(low / 10000, end);
    put_four_digits(low % 10000, end + 4);
  }
  auto rest = static_cast<std::uint32_t>(magnitude);
  for (; rest >= 100; rest /= 100) {
    end -= 2;
    std::memcpy(end, &digit_pairs[2 * (rest % 100)], 2);
  }
  if (rest >= 10) {
    end -= 2;
    std::memcpy(end, &digit_pairs[2 * rest], 2);
  } else if (rest > 0) {
    *--end = static_cast<char>('0' + rest);
  }
  return end;
}

// How many decimal digits value has; 1 for 0.
std::int32_t decimal_digit_count(std::uint64_t value) {
  // From the bit width: at most one too few.
  const auto estimate = static_cast<std::int32_t>((std::bit_width(value | 1) * 1233) >> 12);
  return estimate + (value >= power_of_ten_64(estimate) ? 1 : 0);
}

std::int32_t clamp_to_int32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

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

// The field buffer with room for width characters (width > 0), or null.
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

void begin_conversion(std::int32_t decimal_comma) {
  state.decimal_character = decimal_comma != 0 ? ',' : '.';
  state.overflow = false;
}

digit_string current_digits() {
  return {{state.digit_text.data(), static_cast<std::size_t>(state.digit_count)},
          clamp_to_int32(state.decimal_exponent),
          state.negative};
}

digit_string set_digit_text(std::string_view text, std::int32_t negative) {
  std::copy(text.begin(), text.end(), state.digit_text.begin());
  state.digit_text[text.size()] = '\0';
  state.digit_count = static_cast<std::int32_t>(text.size());
  state.digit_cursor = 0;
  state.decimal_exponent = 0;
  state.negative = negative;
  return current_digits();
}

// Adds one to the last of count digits, carrying through nines. True when the carry passes
// the first digit, which leaves them all '0'.
bool increment_digits(char* digits, std::int64_t count) {
  std::int64_t i = count;
  while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
  if (i == 0) return true;
  ++digits[i - 1];
  return false;
}

bool digits_are_number() { return state.digit_count > 0 && is_digit(state.digit_text[0]); }

char sign_character(std::int32_t plus) {
  if (state.negative != 0) return '-';
  return plus != 0 ? '+' : '\0';
}

// "Inf" and "NaN" are never rounded or padded; a NaN has no sign, not even under SP.
std::string_view justify_special(std::int32_t width, std::int32_t plus) {
  const bool nan = state.digit_text[0] == 'N';
  return justify_field(width, current_digits().digits, nan ? '\0' : sign_character(plus));
}

// Writes exactly width characters (width > 0) at field; false when the text does not fit,
// in which case they are asterisks.
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

// Builders ---------------------------------------------------------------------------------

// Empties the build buffer with room for `bound` characters; on failure the build overflows.
bool start_build(std::int64_t bound) {
  state.build_length = 0;
  state.all_zero = true;
  if (bound > static_cast<std::int64_t>(state.build_capacity) &&
      !replace_buffer(state.build, state.build_capacity, state.build_initial.data(), bound + 32)) {
    state.overflow = true;
    return false;
  }
  return true;
}

void put(char c) {
  assert(state.build_length < state.build_capacity);
  state.build[state.build_length++] = c;
}

void put_zeros(std::int64_t count) {
  if (count <= 0) return;
  assert(state.build_length + static_cast<std::size_t>(count) <= state.build_capacity);
  std::memset(state.build + state.build_length, '0', static_cast<std::size_t>(count));
  state.build_length += static_cast<std::size_t>(count);
}

// Copies the next count digits; past the end of the string they are '0'.
void copy_digits(std::int64_t count) {
  const std::int64_t available = std::clamp<std::int64_t>(state.digit_count - state.digit_cursor, 0,
                                                          std::max<std::int64_t>(count, 0));
  const char* const from = state.digit_text.data() + state.digit_cursor;
  assert(state.build_length + static_cast<std::size_t>(available) <= state.build_capacity);
  std::memcpy(state.build + state.build_length, from, static_cast<std::size_t>(available));
  if (state.all_zero) {
    state.all_zero = std::all_of(from, from + available, [](char c) { return c == '0'; });
  }
  state.digit_cursor += static_cast<std::int32_t>(available);
  state.build_length += static_cast<std::size_t>(available);
  put_zeros(count - available);
}

std::string_view built_text() {
  if (state.overflow) return {};
  return {state.build, state.build_length};
}

// Room an exponent part may take: letter, sign, e + 1 digits, or 20 digits at most.
std::int64_t exponent_bound(std::int64_t exp_digits) {
  return std::max<std::int64_t>(exp_digits, 20) + 4;
}

// Letter, sign and digits of the exponent.
void append_exponent(std::int64_t exponent, std::int64_t exp_digits, std::int32_t exp_given) {
  std::array<char, 24> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(),
                                    exponent < 0 ? -exponent : exponent);
  const std::int64_t q = exponent == 0 ? 0 : result.ptr - digits.data();
  std::int64_t e = exp_digits;
  if (e > 0) {
    if (exp_given != 0 || q != e + 1) {
      put(state.exponent_letter);
    } else {
      e += 1;  // the letter's place holds the extra digit
    }
  } else {
    // No exponent width: the default form, E+nn, or +nnn without the letter.
    if (q <= 2) put(state.exponent_letter);
    e = std::max<std::int64_t>(q, 2);
  }
  put(exponent < 0 ? '-' : '+');
  if (q > e) {
    state.overflow = true;
    return;
  }
  put_zeros(e - q);
  for (std::int64_t i = 0; i < q; ++i) put(digits[static_cast<std::size_t>(i)]);
}

// A value whose every shown digit is zero is zero: no minus sign, exponent 0.
std::string_view finish_exponent_form(std::int64_t exponent, std::int64_t exp_digits,
                                      std::int32_t exp_given) {
  if (state.all_zero) {
    state.negative = 0;
    exponent = 0;
  }
  append_exponent(exponent, exp_digits, exp_given);
  return built_text();
}

bool scale_factor_legal(std::int64_t decimals, std::int64_t scale) {
  return scale == 0 || (scale > 0 && scale < decimals + 2) || (scale < 0 && scale > -decimals);
}

// What every E, EN, ES and G field needs beyond its exponent; none of them fits when
// d >= w or e >= w, and refusing those early keeps every buffer bounded by the width.
bool exponent_form_too_wide(std::int32_t width, std::int32_t decimals, std::int32_t exp_digits) {
  return decimals >= width || exp_digits >= width;
}

// The largest m whose product with 10^s still fits.
constexpr std::array<uint128, 39> multiplier_limits = [] {
  std::array<uint128, 39> limits{};
  for (std::size_t s = 0; s < limits.size(); ++s) limits[s] = ~uint128{0} / powers_of_ten[s];
  return limits;
}();

// n significant digits as one integer, 10^(n-1) <= digits < 10^n: the value is
// 0.digits times ten to `exponent`.
struct short_digits {
  std::uint64_t digits;
  std::int32_t exponent;
};

// The common case without the general conversion: |value| = m / 2^k with m * 10^s within
// 128 bits, where s = n - (decimal exponent); that holds for floats from about 1e-16 and
// doubles from about 1e-7, up to 10^n. Exactly rounded, ties to even, like the general
// conversion. Nothing when the value is out of that range.
std::optional<short_digits> exact_short_value(double value, std::int32_t n) {
  constexpr std::int32_t max_short_digits = 19;  // the rounded digits fit 64 bits
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const auto biased_exponent = static_cast<std::int32_t>((bits >> 52) & 0x7FF);
  if (n < 1 || n > max_short_digits || biased_exponent == 0 || biased_exponent == 0x7FF) {
    return std::nullopt;
  }
  std::uint64_t m = (bits & 0x000F'FFFF'FFFF'FFFFu) | (std::uint64_t{1} << 52);
  std::int32_t e = biased_exponent - 1075;
  const int zeros = std::countr_zero(m);
  m >>= zeros;
  e += zeros;
  if (e > 0) {
    if (e + std::bit_width(m) > 64) return std::nullopt;
    m <<= e;
    e = 0;
  }
  const std::int32_t k = -e;
  if (k > 127) return std::nullopt;
  const auto width = static_cast<std::int32_t>(std::bit_width(m));
  // From the binary exponent: never too large, at most one too small, which the second
  // pass corrects. (Rounded to exactly 10^n with it one too small, the digits are the same.)
  auto x = static_cast<std::int32_t>(std::floor((width - 1 - k) * 0.30102999566398120)) + 1;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const std::int32_t s = n - x;
    if (s < 0 || s > 38 || m > multiplier_limits[static_cast<std::size_t>(s)]) {
      return std::nullopt;
    }
    const uint128 scaled = m * powers_of_ten[static_cast<std::size_t>(s)];
    uint128 rounded = scaled >> k;
    if (k > 0) {
      const uint128 rest = scaled & ((uint128{1} << k) - 1);
      const uint128 half = uint128{1} << (k - 1);
      if (rest > half || (rest == half && (rounded & 1) != 0)) ++rounded;
    }
    if (rounded < powers_of_ten[static_cast<std::size_t>(n - 1)]) {
      return std::nullopt;  // cannot happen: the estimate is never too large
    }
    if (rounded > powers_of_ten[static_cast<std::size_t>(n)]) {
      ++x;
    } else if (rounded == powers_of_ten[static_cast<std::size_t>(n)]) {
      // Rounded up to the next power of ten.
      return short_digits{static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(n - 1)]),
                          x + 1};
    } else {
      return short_digits{static_cast<std::uint64_t>(rounded), x};
    }
  }
  return std::nullopt;
}

// The same as digit text: exactly n digits into `digits`; gives the decimal exponent.
std::optional<std::int32_t> exact_short_digits(double value, std::int32_t n, char* digits) {
  const std::optional<short_digits> exact = exact_short_value(value, n);
  if (!exact) return std::nullopt;
  put_decimal(exact->digits, digits + n);
  return exact->exponent;
}

// A value that a 32-bit real holds exactly, as significand * 2^exponent with the
// significand in [2^23, 2^24).
struct real32_parts {
  std::uint32_t significand;
  std::int32_t exponent;
};

// Nothing for zero, infinities, NaNs and doubles with more than 24 significant bits.
[[gnu::always_inline]] inline std::optional<real32_parts> real32_parts_of(double value) {
  constexpr std::uint64_t fraction_mask = 0x000F'FFFF'FFFF'FFFFu;
  constexpr std::uint64_t dropped_bits = (std::uint64_t{1} << 29) - 1;  // 52 - 23 of them
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const auto biased_exponent = static_cast<std::int32_t>((bits >> 52) & 0x7FF);
  if (biased_exponent == 0 || biased_exponent == 0x7FF || (bits & dropped_bits) != 0) {
    return std::nullopt;
  }
  return real32_parts{static_cast<std::uint32_t>(((bits & fraction_mask) | (std::uint64_t{1} << 52)) >> 29),
                      biased_exponent - 1075 + 29};
}

// rounded_units for a value a 32-bit real holds, in exact integer arithmetic: t, the value
// times 10^decimals, is the significand times 10^decimals shifted right, in 64 bits for up
// to 11 decimals. Rounding the value to 16 digits first moves t by at most 5e-15 * t (and
// by less than 0.05 while t < 10^15), so only a t that close to the half above its integer
// part could round otherwise; nothing then. An exact half has at most 16 digits and rounds
// up either way.
[[gnu::always_inline]] inline std::optional<std::uint64_t> real32_rounded_units(real32_parts parts, std::int32_t decimals) {
  constexpr std::uint64_t largest_whole = 1'000'000'000'000'000;  // 10^15
  constexpr std::uint64_t nearness = 200'000'000'000'000;          // 1 / 5e-15
  constexpr std::int32_t max_decimals = 11;                        // 2^24 * 10^11 < 2^61
  if (decimals < 0 || decimals > max_decimals) return std::nullopt;
  const std::uint64_t scaled = std::uint64_t{parts.significand} * power_of_ten_64(decimals);
  if (parts.exponent >= 0) {
    if (std::bit_width(scaled) + parts.exponent > 63) return std::nullopt;
    const std::uint64_t whole = scaled << parts.exponent;
    if (whole >= largest_whole) return std::nullopt;
    return whole;
  }
  const std::int32_t shift = -parts.exponent;
  if (shift > 63) return 0;  // t is below 2^-3: far from any half
  const std::uint64_t whole = scaled >> shift;
  if (whole >= largest_whole) return std::nullopt;
  const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  const std::uint64_t distance = rest > half ? rest - half : half - rest;
  if (distance != 0 && distance <= scaled / nearness) return std::nullopt;
  return whole + (rest >= half ? 1 : 0);
}

// rounded_units without any digit string, where that is safe. A value with few
// significant bits (every float) times 10^decimals is exact in a double, t. Rounding the
// value to 16 digits first moves t by at most 0.5 * 10^(x + decimals - 16), x the decimal
// exponent, which is below t * 5e-15; unless a half lies that close to t, the 16 digits
// round the same way as t itself. Nothing otherwise (ties and near-ties included).
std::optional<std::uint64_t> plainly_rounded_units(double value, std::int32_t decimals) {
  constexpr std::int32_t max_decimals = 8;  // 10^8 takes 27 bits of the 53
  constexpr double largest_product = 1e15;  // its integer part is exact, with room
  const double magnitude = std::fabs(value);
  if (decimals > max_decimals || !(magnitude < largest_product)) return std::nullopt;
  if (magnitude == 0.0) return 0;
  const auto bits = std::bit_cast<std::uint64_t>(magnitude);
  if ((bits >> 52) == 0) return std::nullopt;  // subnormal
  const std::uint64_t significand = (bits & 0x000F'FFFF'FFFF'FFFFu) | (std::uint64_t{1} << 52);
  const auto power = static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(decimals)]);
  if (std::bit_width(significand >> std::countr_zero(significand)) + std::bit_width(power) > 53) {
    return std::nullopt;
  }
  const double t = magnitude * static_cast<double>(power);
  if (!(t < largest_product)) return std::nullopt;
  const double whole = std::floor(t);
  const double fraction = t - whole;  // exact
  if (std::fabs(fraction - 0.5) <= t * 1e-14) return std::nullopt;
  return static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
}

// The value rounded half up to `decimals` places as fixed_digits rounds it, from its 16
// significant digits, in units of 10^-decimals. Nothing when those digits do not come
// from the exact path, or the result could pass 10^18.
std::optional<std::uint64_t> rounded_units(double value, std::int32_t decimals) {
  if (decimals < 0 || decimals > 18) return std::nullopt;
  if (const std::optional<real32_parts> parts = real32_parts_of(value)) {
    if (const std::optional<std::uint64_t> units = real32_rounded_units(*parts, decimals)) return units;
  }
  if (const std::optional<std::uint64_t> units = plainly_rounded_units(value, decimals)) return units;
  const print_conversion& last = state.last_conversion;
  const std::optional<short_digits> sixteen =
      last.bits == std::bit_cast<std::uint64_t>(value) && last.exact_sixteen != 0
          ? short_digits{last.exact_sixteen, last.exponent}
          : exact_short_value(value, 16);
  if (!sixteen) return std::nullopt;
  // How many of the 16 digits are kept; the one after them decides the rounding.
  const std::int64_t kept = std::int64_t{sixteen->exponent} + decimals;
  if (kept < 0) return 0;  // below half a unit: even the rounding digit is a leading zero
  if (kept > 18) return std::nullopt;
  if (kept >= 16) {
    return sixteen->digits * static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(kept - 16)]);
  }
  const auto unit = static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(16 - kept)]);
  return (sixteen->digits + unit / 2) / unit;
}

// A value rounded to `decimals` places, given in `units` of 10^-decimals, laid out as
// build_fixed and lay_out lay it out in the first `width` columns of field, and blanks up
// to field_width: the sign, the integer digits or a single 0 (dropped when only that makes
// it fit), the decimal character, the decimals. False where either of them overflows; the
// caller then gives asterisks. The text is built right-aligned in a run of blanks, so a
// field of up to 24 columns is one fixed-size copy, which the compiler inlines.
bool lay_out_units(char* field, std::int64_t width, std::int64_t field_width, std::uint64_t units,
                   std::int32_t decimals, char sign) {
  // Up to 20 integer digits, the point, 18 decimals and the sign end at text_end; a copy of
  // short_field_width bytes that ends past it still reads blanks.
  std::array<char, 2 * short_field_width + 24> buffer;
  std::memset(buffer.data(), ' ', buffer.size());
  char* const end = buffer.data() + short_field_width + 24;
  char* first = nullptr;
  if (units < 100'000'000 && decimals <= 7) {
    // Eight digits with their leading zeros, then blanks. The integer digits go before the
    // point and the decimals after it by two fixed-size copies, which the compiler inlines;
    // a value below one keeps the zero before the point.
    std::array<char, 24> digits;
    std::memset(digits.data() + 8, ' ', 16);
    put_four_digits(static_cast<std::uint32_t>(units / 10000), digits.data());
    put_four_digits(static_cast<std::uint32_t>(units % 10000), digits.data() + 4);
    const std::int32_t shown = std::max(decimal_digit_count(units), decimals + 1);
    const std::int32_t integer_digits = units >= power_of_ten_64(decimals) ? shown - decimals : 0;
    if (integer_digits > width - decimals - 1) return false;
    std::memcpy(end - shown - 1, digits.data() + 8 - shown, 16);
    std::memcpy(end - decimals, digits.data() + 8 - decimals, 16);
    end[-decimals - 1] = state.decimal_character;
    first = end - shown - 1;
  } else {
    const auto scale = static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(decimals)]);
    const std::uint64_t integer_part = units / scale;
    first = put_decimal(units % scale, end);
    while (end - first < decimals) *--first = '0';
    *--first = state.decimal_character;
    char* const point = first;
    first = integer_part != 0 ? put_decimal(integer_part, first) : first;
    if (point - first > width - decimals - 1) return false;
    if (first == point) *--first = '0';
  }
  const std::int64_t sign_length = sign != '\0' ? 1 : 0;
  if (sign_length + (end - first) > width) {
    if (first[0] != '0' || sign_length + (end - first) - 1 > width) return false;
    ++first;
  }
  if (sign != '\0') *--first = sign;
  if (field_width <= short_field_width) {
    std::memcpy(field, end - width, short_field_width);
  } else {
    char* const out = std::fill_n(field, width - (end - first), ' ');
    std::fill_n(std::copy(first, end, out), field_width - width, ' ');
  }
  return true;
}

// Eight significant digits of such a value, correctly rounded with ties to even as
// sig_digits rounds them: the value is 0.digits times ten to `exponent`. `truncated` is the
// value times 10^(8 - exponent) cut to an integer, the one number F editing rounds from;
// `shift` is the power of two that cut divided by (0 when nothing was cut off).
struct real32_decimal {
  std::uint32_t digits;
  std::int32_t exponent;
  std::uint64_t truncated;
  std::int32_t shift;
};

// Exact integer arithmetic: value * 10^s is the significand times 10^s in 128 bits, shifted;
// a value from 10^8 up is an integer, divided by 10^-s in 64 bits. Nothing below about
// 1e-23 or from about 5.5e18, where those would not fit (the caller converts in general).
std::optional<real32_decimal> real32_eight_digits(real32_parts parts) {
  constexpr std::uint64_t lowest = 10'000'000;
  constexpr std::uint64_t limit = 100'000'000;
  // floor(e2 * log10(2)) + 1, e2 the value's binary exponent: never above the decimal
  // exponent and at most one below it.
  std::int32_t x = (((parts.exponent + 23) * 78913) >> 18) + 1;
  for (int attempt = 0; attempt < 2; ++attempt, ++x) {
    const std::int32_t s = 8 - x;
    std::uint64_t whole = 0;
    int above_half = -1;  // the part cut off against one half: -1 (or nothing cut), 0, 1
    std::int32_t shift = 0;
    if (s >= 0) {
      if (s > 31) return std::nullopt;  // the product could pass 128 bits
      const uint128 scaled = uint128{parts.significand} * powers_of_ten[static_cast<std::size_t>(s)];
      if (parts.exponent >= 0) {
        // An integer below 10^9 (the value is below 10^(x+1)): nothing cut off.
        whole = static_cast<std::uint64_t>(scaled << parts.exponent);
      } else {
        shift = -parts.exponent;
        if (shift > 127) return std::nullopt;
        whole = static_cast<std::uint64_t>(scaled >> shift);
        const uint128 rest = scaled & ((uint128{1} << shift) - 1);
        const uint128 half = uint128{1} << (shift - 1);
        above_half = rest > half ? 1 : rest == half ? 0 : -1;
      }
    } else {
      if (parts.exponent > 39) return std::nullopt;  // the value must fit 63 bits
      const std::uint64_t value = std::uint64_t{parts.significand} << parts.exponent;
      const auto divisor = static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(-s)]);
      whole = value / divisor;
      const std::uint64_t twice_rest = 2 * (value % divisor);
      above_half = twice_rest > divisor ? 1 : twice_rest == divisor ? 0 : -1;
      shift = 1;  // something may have been cut off; F editing never comes here
    }
    if (whole < lowest) return std::nullopt;  // cannot happen: the estimate is never too large
    if (whole >= limit) continue;             // the estimate was one too small
    const std::uint64_t rounded = whole + (above_half > 0 || (above_half == 0 && (whole & 1) != 0) ? 1 : 0);
    if (rounded == limit) {
      // Rounded up to the next power of ten.
      return real32_decimal{static_cast<std::uint32_t>(lowest), x + 1, whole / 10, shift};
    }
    return real32_decimal{static_cast<std::uint32_t>(rounded), x, whole, shift};
  }
  return std::nullopt;
}

// The free-form field of a 32-bit real, G15.7E2 under 1P, laid out from real32_eight_digits
// with what format_general would give: the E form "d.dddddddE+xx", or seven significant
// digits in 11 columns and 4 blanks. Nothing where the shortcut does not apply; zero, too.
std::optional<std::string_view> free_form_real32_field(double value, std::int32_t plus) {
  constexpr std::int32_t width = 15;
  constexpr std::int32_t fixed_width = 11;
  const std::optional<real32_parts> parts = real32_parts_of(value);
  if (!parts) return std::nullopt;
  const std::optional<real32_decimal> eight = real32_eight_digits(*parts);
  if (!eight) return std::nullopt;
  state.negative = std::signbit(value) ? 1 : 0;
  const char sign = sign_character(plus);
  std::int32_t x = eight->exponent;
  char* const field = field_of(width);
  static_assert(initial_field_capacity > width);
  std::memset(field, ' ', width + 1);  // fixed size: the stores inline; the text overwrites
  if (x < 0 || x > 7) {
    const std::int32_t exponent = x - 1;
    const std::int32_t magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude > 99) return std::nullopt;
    // The eight digits go to columns 3 to 10, then the first moves before the point.
    put_four_digits(eight->digits / 10000, field + 3);
    put_four_digits(eight->digits % 10000, field + 7);
    field[2] = field[3];
    field[3] = state.decimal_character;
    if (sign != '\0') field[1] = sign;
    field[11] = state.exponent_letter;
    field[12] = exponent < 0 ? '-' : '+';
    std::memcpy(field + 13, &digit_pairs[2 * static_cast<std::size_t>(magnitude)], 2);
    return std::string_view{field, static_cast<std::size_t>(width)};
  }
  // F editing rounds half up from 16 significant digits. The cut-off part is a multiple of
  // 2^-shift of a unit of `truncated`; that 16-digit rounding could only move a value by up
  // to 5e-9 of such a unit across the half, which from shift 27 down no fraction comes near:
  // rounding `truncated` half up is the same.
  if (eight->shift > 27) return std::nullopt;
  std::uint64_t units = (eight->truncated + 5) / 10;
  if (units >= 10'000'000) {
    // Rounded up into one more integer digit: one decimal fewer.
    units = (eight->truncated + 50) / 100;
    ++x;
  }
  if (x > 7 || units < 1'000'000 || units >= 10'000'000) return std::nullopt;
  // "0" and the seven digits; then the same with the point after the integer digits.
  std::array<char, 16> digits{};
  put_four_digits(static_cast<std::uint32_t>(units / 10000), digits.data());
  put_four_digits(static_cast<std::uint32_t>(units % 10000), digits.data() + 4);
  std::array<char, 24> text{};
  std::memcpy(text.data(), digits.data(), 8);
  std::memcpy(text.data() + x + 2, digits.data() + x + 1, 8);
  text[static_cast<std::size_t>(x) + 1] = state.decimal_character;
  // Nine characters end in column fixed_width - 1; the leading "0" only stays when x is 0.
  std::memcpy(field + fixed_width - 9, text.data(), 9);
  if (x != 0) field[fixed_width - 9] = ' ';
  if (sign != '\0') field[x == 0 ? fixed_width - 10 : fixed_width - 9] = sign;
  return std::string_view{field, static_cast<std::size_t>(width)};
}

// n significant digits of value (finite) into digits, rounded to nearest with ties to
// even: digit for digit the platform's "%30.*E" text, without parsing a format string
// (checked against it in the tests). Gives the decimal exponent and the negative flag.
std::pair<std::int32_t, std::int32_t> print_conversion_digits(double value, std::int32_t n,
                                                              char* digits) {
  if (const std::optional<std::int32_t> exponent = exact_short_digits(value, n, digits)) {
    return {*exponent, std::signbit(value) ? 1 : 0};
  }
  char* const text = state.scratch.data();
  const auto result =
      std::to_chars(text, text + state.scratch.size(), value, std::chars_format::scientific, n - 1);
  assert(result.ec == std::errc{});
  // The text is [-]d[.ddd]e(+|-)dd[d].
  const char* p = text;
  const std::int32_t negative = *p == '-' ? 1 : 0;
  p += negative;
  if (*p == '0') {
    std::fill_n(digits, n, '0');
    return {0, negative};
  }
  digits[0] = *p++;
  if (n > 1) {
    std::memcpy(digits + 1, p + 1, static_cast<std::size_t>(n - 1));
    p += n;
  }
  const std::int32_t exponent_sign = p[1] == '+' ? 1 : -1;
  std::int32_t exponent = 0;
  std::from_chars(p + 2, result.ptr, exponent);
  return {exponent_sign * exponent + 1, negative};
}

// The first n digits of the kept conversion, rounded, as the current digit string. False
// when the dropped digits are exactly 5000...: the kept digits cannot tell a true tie
// (to even) from a value above it.
bool shorten_last_conversion(std::int32_t n) {
  const print_conversion& last = state.last_conversion;
  const char* const dropped = last.digits.data() + n;
  const char* const end = last.digits.data() + last.precision;
  if (dropped != end && *dropped == '5' &&
      std::all_of(dropped + 1, end, [](char c) { return c == '0'; })) {
    return false;
  }
  char* const digits = state.digit_text.data();
  std::copy(last.digits.data(), dropped, digits);
  state.decimal_exponent = last.exponent;
  state.negative = last.negative;
  if (dropped != end && *dropped >= '5' && increment_digits(digits, n)) {
    digits[0] = '1';
    ++state.decimal_exponent;
  }
  return true;
}

// The E, EN or ES field of the current digit string.
// The E form with scale factor 1 and an exponent width given (every free-form real that
// is not in the fixed form), when the digit string already holds exactly the d + 1 digits
// the field shows: what build_exponent lays out, in one pass. Empty where build_exponent
// overflows (the exponent has more digits than its width); nothing where this shortcut
// does not apply.
std::optional<std::string_view> scaled_exponent_text(std::int32_t decimals, std::int32_t exp_digits,
                                                     std::span<char, 64> buffer) {
  constexpr std::int32_t max_exponent_digits = 9;
  if (decimals < 0 || exp_digits < 1 || exp_digits > max_exponent_digits ||
      decimals + 4 + max_exponent_digits > static_cast<std::int32_t>(buffer.size()) ||
      state.digit_count != decimals + 1 || !digits_are_number() || state.digit_text[0] == '0') {
    return std::nullopt;
  }
  const std::int64_t exponent = state.decimal_exponent - 1;
  std::array<char, 20> exponent_digits;
  const char* const exponent_end = exponent_digits.data() + exponent_digits.size();
  const char* const exponent_first =
      put_decimal(static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent),
                  exponent_digits.data() + exponent_digits.size());
  const std::int64_t q = exponent_end - exponent_first;
  if (q > exp_digits) return std::string_view{};
  char* out = buffer.data();
  *out++ = state.digit_text[0];
  *out++ = state.decimal_character;
  out = std::copy_n(state.digit_text.data() + 1, decimals, out);
  *out++ = state.exponent_letter;
  *out++ = exponent < 0 ? '-' : '+';
  out = std::fill_n(out, exp_digits - q, '0');
  out = std::copy(exponent_first, exponent_end, out);
  return std::string_view{buffer.data(), static_cast<std::size_t>(out - buffer.data())};
}

std::string_view exponent_text(const edit_parameters& p, std::int32_t code) {
  const std::int32_t width = p.width, decimals = p.decimals, exp_digits = p.exponent_digits;
  if (exponent_form_too_wide(width, decimals, exp_digits)) return asterisks(width);
  if (code != FORMAT_EN_W && code != FORMAT_ES_W && p.scale == 1 && p.exponent_given != 0) {
    std::array<char, 64> buffer;
    if (const std::optional<std::string_view> text = scaled_exponent_text(decimals, exp_digits, buffer)) {
      if (text->empty()) return asterisks(width);
      return justify_field(width, *text, sign_character(p.plus));
    }
  }
  std::string_view text;
  if (code == FORMAT_EN_W) {
    text = build_engineering(decimals, exp_digits, p.exponent_given);
  } else if (code == FORMAT_ES_W) {
    text = build_scientific(decimals, exp_digits, p.exponent_given);
  } else {
    text = build_exponent(decimals, exp_digits, p.scale, p.exponent_given);
  }
  return justify_field(width, text, sign_character(p.plus));
}

// The E, EN or ES field of the current digit string; E (and D) fields tell whether their
// scale factor was illegal, which makes them asterisks whatever the path.
exponent_edit exponent_field(const edit_parameters& p, std::int32_t code) {
  const bool e_form = code != FORMAT_EN_W && code != FORMAT_ES_W;
  const bool illegal = e_form && !scale_factor_legal(std::max(p.decimals, 0), p.scale);
  return {exponent_text(p, code), illegal};
}

// G's fixed form of a value whose decimal exponent x (from its significant digits) lies
// in 0..d, or of zero.
std::string_view general_fixed_form(double value, const edit_parameters& p, std::int32_t x) {
  const std::int32_t width = p.width, plus = p.plus;
  const std::int32_t d = std::max(p.decimals, 0);
  const std::int32_t e = std::max(p.exponent_digits, 0);
  const std::int32_t first_exponent = x;
  const bool zero = value == 0.0;
  // The fixed form is followed by as many blanks as the exponent part would have taken.
  const std::int64_t fixed_width = std::int64_t{width} - (std::int64_t{e} + 2);
  if (exponent_form_too_wide(width, d, e) || fixed_width <= 0) return asterisks(width);
  if (!zero) {
    if (std::optional<std::uint64_t> units = rounded_units(value, d - x)) {
      // Rounded up into one more integer digit: one decimal fewer, as below.
      if (*units >= static_cast<std::uint64_t>(powers_of_ten[static_cast<std::size_t>(d)])) {
        ++x;
        units = rounded_units(value, d - x);
      }
      if (units) {
        state.negative = std::signbit(value) && *units != 0 ? 1 : 0;
        char* const field = field_of(width);
        if (field == nullptr) return {};
        if (!lay_out_units(field, fixed_width, width, *units, d - x, sign_character(plus))) {
          return asterisks(width);
        }
        return {field, static_cast<std::size_t>(width)};
      }
      x = first_exponent;
    }
  }
  if (zero) x = 1;
  const digit_string rounded = fixed_digits(value, d - x);
  if (!zero && rounded.decimal_exponent != x) {
    x = rounded.decimal_exponent;
    fixed_digits(value, d - x);
  }
  const std::string_view text = build_fixed(static_cast<std::int32_t>(fixed_width), d - x);
  if (state.overflow) return asterisks(width);
  char* field = field_of(width);
  if (field == nullptr) return {};
  // A fixed part that does not fit makes the whole field asterisks, like every other form.
  if (!lay_out(field, fixed_width, text, sign_character(plus))) return asterisks(width);
  std::fill(field + fixed_width, field + width, ' ');
  return {field, static_cast<std::size_t>(width)};
}

}  // namespace

std::int32_t digits_for_type(std::int32_t type) {
  if (type == TYPE_REAL4) return real32_digits;
  if (type == TYPE_REAL8) return real64_digits;
  return real_other_digits;
}

digit_string sig_digits(double value, std::int32_t n) {
  if (std::isnan(value)) return set_digit_text("NaN", 0);
  if (std::isinf(value)) return set_digit_text("Inf", std::signbit(value) ? 1 : 0);
  n = std::clamp(n, 1, max_sig_digits);
  state.digit_cursor = 0;
  state.digit_count = n;
  state.digit_text[static_cast<std::size_t>(n)] = '\0';
  print_conversion& last = state.last_conversion;
  const auto bits = std::bit_cast<std::uint64_t>(value);
  if (last.precision >= n && last.bits == bits && shorten_last_conversion(n)) {
    return current_digits();
  }
  if (n <= kept_precision) {
    // At least 16 digits, so that the 16-digit request of F editing finds them kept.
    const std::int32_t precision = std::max(n, 16);
    last.exact_sixteen = 0;
    if (const std::optional<short_digits> exact =
            precision == 16 ? exact_short_value(value, 16) : std::nullopt) {
      put_decimal(exact->digits, last.digits.data() + 16);
      last.exponent = exact->exponent;
      last.negative = std::signbit(value) ? 1 : 0;
      last.exact_sixteen = exact->digits;
    } else {
      const auto [exponent, negative] = print_conversion_digits(value, precision, last.digits.data());
      last.exponent = exponent;
      last.negative = negative;
    }
    last.bits = bits;
    last.precision = precision;
    if (shorten_last_conversion(n)) return current_digits();
  }
  const auto [exponent, negative] = print_conversion_digits(value, n, state.digit_text.data());
  state.decimal_exponent = exponent;
  state.negative = negative;
  return current_digits();
}

digit_string fixed_digits(double value, std::int32_t nd) {
  const digit_string sixteen = sig_digits(value, 16);
  if (!is_digit(sixteen.digits[0])) return sixteen;
  std::array<char, 16> source{};
  std::copy(sixteen.digits.begin(), sixteen.digits.end(), source.begin());

  char* const out = state.digit_text.data();
  // Past this only zeros would follow, and digits past the end read as zeros anyway.
  const std::int64_t limit = static_cast<std::int64_t>(digit_capacity) - 2;
  std::int64_t count = 0;
  std::int64_t x = sixteen.decimal_exponent;
  std::int64_t take = 0;  // digits of `source` kept; the one after them decides the rounding
  if (x >= 0) {
    take = x + nd;  // a negative nd cuts the integer part short
  } else {
    const std::int64_t zeros = std::clamp<std::int64_t>(nd, 0, -x);
    std::fill_n(out, zeros, '0');
    count = zeros;
    x += zeros;
    // Still short of the first digit: the rounding digit is one of the leading zeros.
    take = x < 0 ? -1 : nd - zeros;
  }
  const std::int64_t kept = std::clamp<std::int64_t>(take, 0, limit - count);
  for (std::int64_t i = 0; i < kept; ++i)
    out[count++] = i < 16 ? source[static_cast<std::size_t>(i)] : '0';
  const char next = take >= 0 && take < 16 ? source[static_cast<std::size_t>(take)] : '0';
  if (next >= '5' && increment_digits(out, count)) {
    // The carry passed every kept digit (or none was kept): a new leading 1.
    std::memmove(out + 1, out, static_cast<std::size_t>(std::min(count, limit - 1)));
    out[0] = '1';
    count = std::min(count + 1, limit);
    x += 1;
  }
  if (x > 0 && count < x) {
    const std::int64_t padded = std::min(x, limit);
    std::fill(out + count, out + padded, '0');
    count = padded;
  }
  if (count == 0) out[count++] = '0';
  out[count] = '\0';
  state.digit_count = static_cast<std::int32_t>(count);
  state.digit_cursor = 0;
  state.decimal_exponent = x;
  return current_digits();
}

digit_string round_digits(std::int32_t position) {
  if (position <= 0 || position >= state.digit_count || !digits_are_number()) {
    return current_digits();
  }
  char* const digits = state.digit_text.data();
  if (digits[position] >= '5' && increment_digits(digits, position)) {
    digits[0] = '1';
    ++state.decimal_exponent;
  }
  // A layout that takes one digit more after a carry (EN) must read the rounded value.
  std::fill(digits + position, digits + state.digit_count, '0');
  return current_digits();
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

std::string_view format_integer(std::int32_t value, std::int32_t width, std::int32_t min_digits,
                                std::int32_t plus) {
  constexpr std::int32_t max_digits = 10;  // 2^31 has ten
  if (width > short_field_width || min_digits > max_digits) {
    return format_integer64(value, width, min_digits, plus);
  }
  state.overflow = false;
  if (width <= 0) return {};
  // The same layout as format_integer64's, without its loop: all ten digits with their
  // leading zeros, then blanks over the zeros that are not shown.
  const std::uint32_t magnitude =
      value < 0 ? std::uint32_t{0} - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  std::array<char, 2 * short_field_width + 16> text;
  std::memset(text.data(), ' ', text.size());
  char* const digits_end = text.data() + short_field_width + 16;
  const std::uint32_t low = magnitude % 100'000'000;
  std::memcpy(digits_end - 10, &digit_pairs[2 * static_cast<std::size_t>(magnitude / 100'000'000)], 2);
  put_four_digits(low / 10000, digits_end - 8);
  put_four_digits(low % 10000, digits_end - 4);
  const std::int32_t n = magnitude == 0 ? 0 : decimal_digit_count(magnitude);
  const std::int32_t shown = std::max({n, min_digits, 0});
  char sign = value < 0 ? '-' : (plus != 0 ? '+' : '\0');
  if (shown + (sign != '\0' ? 1 : 0) > width) return asterisks(width);
  if (min_digits <= 0 && value == 0) sign = '\0';
  static constexpr std::array<char, 16> blanks = [] {
    std::array<char, 16> b{};
    b.fill(' ');
    return b;
  }();
  std::memcpy(digits_end - shown - 16, blanks.data(), 16);
  if (sign != '\0') digits_end[-shown - 1] = sign;
  char* const field = field_of(width);
  if (field == nullptr) return {};
  std::memcpy(field, digits_end - width, short_field_width);
  return {field, static_cast<std::size_t>(width)};
}

std::string_view format_integer64(std::int64_t value, std::int32_t width, std::int32_t min_digits,
                                  std::int32_t plus) {
  state.overflow = false;
  if (width <= 0) return {};
  // Unsigned negation: the most negative value has no positive counterpart.
  const std::uint64_t magnitude =
      value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  // The digits are put right-aligned in a run of blanks; a field of up to 24 columns (every
  // free-form integer) is then one fixed-size copy, which the compiler inlines.
  std::array<char, 2 * short_field_width> text;
  std::memset(text.data(), ' ', text.size());
  char* const digits_end = text.data() + short_field_width;
  char* first = put_decimal(magnitude, digits_end);
  const std::int64_t n = digits_end - first;
  const std::int64_t m = std::max(min_digits, 0);
  char sign = value < 0 ? '-' : (plus != 0 ? '+' : '\0');
  if (std::max(n, m) + (sign != '\0' ? 1 : 0) > width) return asterisks(width);
  if (m == 0 && value == 0) sign = '\0';
  char* const field = field_of(width);
  if (field == nullptr) return {};
  // Laid out as justify_field would lay out the digits padded to m: the text fits, so no
  // leading character is ever dropped.
  if (width <= short_field_width) {
    while (digits_end - first < m) *--first = '0';
    if (sign != '\0') *--first = sign;
    std::memcpy(field, digits_end - width, short_field_width);
    return {field, static_cast<std::size_t>(width)};
  }
  const std::int64_t sign_length = sign != '\0' ? 1 : 0;
  char* out = std::fill_n(field, width - std::max(n, m) - sign_length, ' ');
  if (sign != '\0') *out++ = sign;
  out = std::fill_n(out, std::max<std::int64_t>(m - n, 0), '0');
  std::copy(first, digits_end, out);
  return {field, static_cast<std::size_t>(width)};
}

std::string_view build_fixed(std::int32_t width, std::int32_t decimals) {
  const std::int64_t d = std::max(decimals, 0);
  std::int64_t& x = state.decimal_exponent;
  state.digit_cursor = 0;
  if (x > 0) {
    while (state.digit_cursor < state.digit_count && state.digit_text[state.digit_cursor] == '0') {
      ++state.digit_cursor;
      --x;
    }
    if (state.digit_cursor == state.digit_count) x = 0;
  }
  // The sign is not counted here: `justify_field` checks it and may drop the leading "0".
  if (x > width - d - 1) {
    state.overflow = true;
    return {};
  }
  if (!start_build(std::max<std::int64_t>(x, 1) + d + 1)) return {};
  if (x > 0) {
    copy_digits(x);
    put(state.decimal_character);
    copy_digits(d);
  } else {
    put('0');
    put(state.decimal_character);
    const std::int64_t zeros = std::min(-x, d);
    put_zeros(zeros);
    copy_digits(d - zeros);
  }
  // A value that rounds to zero is never printed with a minus sign.
  if (state.all_zero) state.negative = 0;
  return built_text();
}

std::string_view build_exponent(std::int32_t decimals, std::int32_t exp_digits, std::int32_t scale,
                                std::int32_t exp_given) {
  const std::int64_t d = std::max(decimals, 0);
  const std::int64_t k = scale;
  state.digit_cursor = 0;
  if (!scale_factor_legal(d, k)) {
    state.overflow = true;
    return {};
  }
  if (k == 0 && d == 0 && digits_are_number() && state.digit_text[0] != '0') {
    // 0.E+nn shows no digit of a non-zero value: it cannot be written in this form.
    state.overflow = true;
    return {};
  }
  const std::int64_t e = std::max(exp_digits, 0);
  if (!start_build(2 * d + 4 + exponent_bound(e))) return {};
  if (k == 0) {
    round_digits(clamp_to_int32(d));
    put('0');
    put(state.decimal_character);
    copy_digits(d);
  } else if (k > 0) {
    round_digits(clamp_to_int32(d + 1));
    copy_digits(k);
    put(state.decimal_character);
    copy_digits(d - k + 1);
  } else {
    round_digits(clamp_to_int32(d + k));
    put('0');
    put(state.decimal_character);
    put_zeros(-k);
    copy_digits(d + k);
  }
  std::int64_t exponent = state.decimal_exponent - k;
  return finish_exponent_form(exponent, e, exp_given);
}

std::string_view build_engineering(std::int32_t decimals, std::int32_t exp_digits,
                                   std::int32_t exp_given) {
  const std::int64_t d = std::max(decimals, 0);
  const std::int64_t e = std::max(exp_digits, 0);
  state.digit_cursor = 0;
  if (!start_build(d + 6 + exponent_bound(e))) return {};
  std::int64_t exponent = 0;
  if (!digits_are_number() || state.digit_text[0] == '0') {
    put('0');
    put(state.decimal_character);
    put_zeros(d);
  } else {
    // The largest multiple of three not above x - 1 leaves one to three leading digits.
    const auto choose = [&exponent](std::int64_t x) {
      exponent = x - 1 >= 0 ? (x - 1) / 3 * 3 : -((-(x - 1) + 2) / 3 * 3);
      return x - exponent;
    };
    const std::int64_t x = state.decimal_exponent;
    std::int64_t leading = choose(x);
    round_digits(clamp_to_int32(leading + d));
    // Rounding up to the next power of ten may move it into the next group of three.
    if (state.decimal_exponent != x) leading = choose(state.decimal_exponent);
    copy_digits(leading);
    put(state.decimal_character);
    copy_digits(d);
  }
  return finish_exponent_form(exponent, e, exp_given);
}

std::string_view build_scientific(std::int32_t decimals, std::int32_t exp_digits,
                                  std::int32_t exp_given) {
  const std::int64_t d = std::max(decimals, 0);
  const std::int64_t e = std::max(exp_digits, 0);
  state.digit_cursor = 0;
  if (!start_build(d + 4 + exponent_bound(e))) return {};
  round_digits(clamp_to_int32(d + 1));
  copy_digits(1);
  put(state.decimal_character);
  copy_digits(d);
  std::int64_t exponent = state.decimal_exponent - 1;
  return finish_exponent_form(exponent, e, exp_given);
}

std::string_view format_fixed(double value, const edit_parameters& p) {
  const std::int32_t width = p.width, decimals = p.decimals, scale = p.scale, plus = p.plus;
  begin_conversion(p.decimal_comma);
  if (width <= 0) return {};
  if (!std::isfinite(value)) {
    sig_digits(value, 1);
    return justify_special(width, plus);
  }
  const std::int32_t d = std::max(decimals, 0);
  // d places and the decimal character alone are wider than the field.
  if (d >= width) return asterisks(width);
  if (scale == 0) {
    if (const std::optional<std::uint64_t> units = rounded_units(value, d)) {
      // A value that rounds to zero is never printed with a minus sign.
      state.negative = std::signbit(value) && *units != 0 ? 1 : 0;
      char* const field = field_of(width);
      if (field == nullptr) return {};
      if (!lay_out_units(field, width, width, *units, d, sign_character(plus))) return asterisks(width);
      return {field, static_cast<std::size_t>(width)};
    }
  }
  // Beyond these bounds every non-zero value overflows the field or rounds to zero, as it
  // does at the bound itself; they keep the exponent arithmetic small.
  const std::int64_t k =
      std::clamp<std::int64_t>(scale, -(std::int64_t{width} + 700), std::int64_t{width} + 700);
  fixed_digits(value, clamp_to_int32(d + k));
  state.decimal_exponent += k;
  const std::string_view text = build_fixed(width, d);
  return justify_field(width, text, sign_character(plus));
}

exponent_edit format_exponent(double value, const edit_parameters& p, std::int32_t type,
                              std::int32_t code) {
  begin_conversion(p.decimal_comma);
  if (p.width <= 0) return {};
  sig_digits(value, digits_for_type(type));
  if (!digits_are_number()) return {justify_special(p.width, p.plus), false};
  return exponent_field(p, code);
}

exponent_edit format_d(double value, const edit_parameters& p, std::int32_t type) {
  edit_parameters d_form = p;
  d_form.exponent_digits = 2;
  d_form.exponent_given = 0;
  state.exponent_letter = 'D';
  const exponent_edit edit = format_exponent(value, d_form, type, FORMAT_D_W);
  state.exponent_letter = 'E';
  return edit;
}

std::optional<std::string_view> free_form_real32(double value, std::int32_t plus,
                                                 std::int32_t decimal_comma) {
  begin_conversion(decimal_comma);
  return free_form_real32_field(value, plus);
}

exponent_edit format_general(double value, const edit_parameters& p, std::int32_t type) {
  begin_conversion(p.decimal_comma);
  if (p.width <= 0) return {};
  const digit_string first = sig_digits(value, digits_for_type(type));
  if (!digits_are_number()) return {justify_special(p.width, p.plus), false};
  const std::int32_t x = first.decimal_exponent;
  if (value != 0.0 && (x < 0 || x > std::max(p.decimals, 0))) return exponent_field(p, FORMAT_E_W);
  return {general_fixed_form(value, p, x), false};
}

std::span<char> field_buffer(std::int32_t length) {
  if (length <= 0) return {};
  char* field = field_of(length);
  if (field == nullptr) return {};
  return {field, static_cast<std::size_t>(length)};
}

}  // namespace io
