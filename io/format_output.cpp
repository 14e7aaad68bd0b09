// Formatted write statements: the compiled-format interpreter (`format_next_code`,
// `format_item`) and the `repeat_stack`. The record it builds is output_record's.
#include "format_output.h"

#include <algorithm>
#include <array>

#include "format_fields.h"
#include "format_text.h"
#include "never_destroyed.h"
#include "output_record.h"
#include "statement.h"
#include "transfer.h"
#include "units.h"

namespace io {
namespace {

constexpr std::int32_t repeat_stack_size = 20;

struct repeat_entry {
  std::int32_t remaining;
  std::int32_t code;
  std::size_t index;  // the word after the code
};

// A scan either places an item, or runs on at the end of the statement without one.
enum class scan_mode : std::int32_t { SCAN_ITEM = 0, SCAN_END = 1, SCAN_END_NON_ADVANCING = 2 };

struct fmt_write_state {
  bool active = false;  // from a successful begin to the end
  unit_connection* connection = nullptr;  // none for an internal file
  const std::int32_t* format = nullptr;
  std::size_t word_limit = 0;  // shrinks to just past the end marker once that is met
  std::size_t index = 0;
  std::int64_t codes_read = 0;
  std::int32_t scale = 0;
  bool plus = false;
  bool dollar = false;
  bool non_advancing = false;
  decimal_code decimal = decimal_code::DECIMAL_UNSET;
  std::array<repeat_entry, repeat_stack_size> repeat_stack{};
  std::int32_t depth = -1;
  bool repeat_pending = false;
};

// At namespace scope and set up at compile time, so reaching it costs no first-use check.
constinit never_destroyed<fmt_write_state> the_state;

fmt_write_state& state() { return the_state.value; }

struct operand_registry {
  std::array<format_operand_routine, max_operand_routines> routines{};
  std::int32_t count = 0;
};
constinit operand_registry registry;

std::int32_t report(std::int32_t code) { return code == 0 ? 0 : io_error(code); }

// Reading the format ---------------------------------------------------------------------

// At least n words of the format left at the index (an index past the limit has none).
bool words_left(std::size_t n) {
  const auto& s = state();
  return s.index <= s.word_limit && s.word_limit - s.index >= n;
}

std::int32_t read_word(std::int32_t& word) {
  auto& s = state();
  if (!words_left(1)) return io_error(ERROR_INVALID_EDIT);
  word = s.format[s.index++];
  return 0;
}

// An operand pair: the value itself, or what the registered routine it names returns.
std::int32_t read_operand(std::int32_t& value) {
  auto& s = state();
  std::int32_t flag = 0;
  if (words_left(2)) {
    // Both words at once: one bound check for the pair.
    flag = s.format[s.index];
    value = s.format[s.index + 1];
    s.index += 2;
  } else {
    if (const std::int32_t status = read_word(flag); status != 0) return status;
    if (const std::int32_t status = read_word(value); status != 0) return status;
  }
  if (flag == 0) return 0;
  if (value < 0 || value >= registry.count) return io_error(ERROR_INVALID_EDIT);
  value = registry.routines[static_cast<std::size_t>(value)]();
  return 0;
}

// The next edit code with its repeat count applied; FORMAT_ERROR once an error is reported.
std::int32_t format_next_code() {
  auto& s = state();
  if (++s.codes_read > max_codes_per_scan) {
    io_error(ERROR_INFINITE_FORMAT);
    return FORMAT_ERROR;
  }
  if (s.repeat_pending && s.depth >= 0) {
    repeat_entry& top = s.repeat_stack[static_cast<std::size_t>(s.depth)];
    s.index = top.index;
    const std::int32_t code = top.code;
    if (top.remaining-- <= 1) {
      --s.depth;
      s.repeat_pending = false;
    }
    return code;
  }
  s.repeat_pending = false;
  std::int32_t code = 0;
  if (read_word(code) != 0) return FORMAT_ERROR;
  std::int32_t repeat = 1;
  if (code >= 0) {
    --s.index;  // the word was the flag of the count's operand pair
    if (read_operand(repeat) != 0 || read_word(code) != 0) return FORMAT_ERROR;
  }
  if (repeat == 1) return code;
  if (repeat < 1) {
    io_error(ERROR_REPEAT_COUNT);
    return FORMAT_ERROR;
  }
  if (s.depth + 1 >= repeat_stack_size) {
    io_error(ERROR_NESTING);
    return FORMAT_ERROR;
  }
  s.repeat_stack[static_cast<std::size_t>(++s.depth)] = {repeat - 1, code, s.index};
  // A group's entry waits for its group end; anything else is handed out again at once.
  if (code != FORMAT_GROUP) s.repeat_pending = true;
  return code;
}

// Data edits -------------------------------------------------------------------------------

struct bare_form {
  std::int32_t bare, with_operands;
};
constexpr bare_form bare_forms[] = {
    {FORMAT_A, FORMAT_A_W}, {FORMAT_L, FORMAT_L_W}, {FORMAT_I, FORMAT_I_W},
    {FORMAT_F, FORMAT_F_W}, {FORMAT_E, FORMAT_E_W}, {FORMAT_G, FORMAT_G_W},
    {FORMAT_D, FORMAT_D_W}, {FORMAT_O, FORMAT_O_W}, {FORMAT_Z, FORMAT_Z_W},
};
static_assert(std::size(bare_forms) == 9);
// The bare codes run from A down to Z without a gap, so a code finds its row by subtraction.
constexpr bool bare_forms_in_code_order() {
  for (std::size_t i = 0; i < std::size(bare_forms); ++i) {
    if (bare_forms[i].bare != FORMAT_A - static_cast<std::int32_t>(i)) return false;
  }
  return bare_forms[std::size(bare_forms) - 1].bare == FORMAT_Z;
}
static_assert(bare_forms_in_code_order());

// A negative width from a routine counts as 0.
std::int32_t read_descriptor(std::int32_t code, edit_descriptor& d) {
  d = {code, false, 0, 0, default_exponent_digits, false};
  if (code <= FORMAT_A && code >= FORMAT_Z) {
    d.code = bare_forms[static_cast<std::size_t>(FORMAT_A - code)].with_operands;
    d.bare = true;
    return 0;
  }
  auto& s = state();
  const bool two_operands = code != FORMAT_A_W && code != FORMAT_L_W;
  if (two_operands && words_left(4) && s.format[s.index] == 0 && s.format[s.index + 2] == 0) {
    // w and d both written as values, the usual case: four words with one bound check.
    d.width = std::max(s.format[s.index + 1], 0);
    d.digits = s.format[s.index + 3];
    s.index += 4;
  } else {
    if (const std::int32_t status = read_operand(d.width); status != 0) return status;
    d.width = std::max(d.width, 0);
    if (!two_operands) return 0;
    if (const std::int32_t status = read_operand(d.digits); status != 0) return status;
  }
  if (code != FORMAT_E_W && code != FORMAT_EN_W && code != FORMAT_ES_W && code != FORMAT_G_W) {
    return 0;
  }
  if (words_left(1) && s.format[s.index] == FORMAT_EXPONENT_WIDTH) {
    ++s.index;
    d.exponent_given = true;
    return read_operand(d.exponent);
  }
  return 0;
}

field_settings settings_for_field() {
  const auto& s = state();
  decimal_code mode = s.decimal;
  if (mode == decimal_code::DECIMAL_UNSET && s.connection != nullptr) mode = s.connection->decimal;
  const record_room room = room_left();
  return {s.scale, s.plus ? 1 : 0, mode == decimal_code::DECIMAL_COMMA ? 1 : 0, room.bytes,
          room.overflow_code};
}

// Reads the descriptor's operands and puts the item's field. Returns 0 or the status reported.
std::int32_t edit_item(std::int32_t code, const item_ref& item) {
  edit_descriptor d{};
  if (const std::int32_t status = read_descriptor(code, d); status != 0) return status;
  const field f = edit_field(d, item, settings_for_field());
  if (f.code != 0) return io_error(f.code);
  if (f.blanks > 0) {
    if (const std::int32_t error = put_repeated(' ', f.blanks); error != 0) return io_error(error);
  }
  return report(fmt_put(f.text));
}

// The interpreter ----------------------------------------------------------------------

std::int32_t put_literal() {
  auto& s = state();
  std::int32_t length = 0;
  if (const std::int32_t status = read_word(length); status != 0) return status;
  const auto words = (static_cast<std::size_t>(length) + 3) / 4;
  // A group end may return to an index past the limit that a later end marker set.
  if (length < 0 || !words_left(words)) {
    return io_error(ERROR_INVALID_EDIT);
  }
  const auto* text = reinterpret_cast<const char*>(s.format + s.index);
  s.index += words;
  return report(fmt_put({text, static_cast<std::size_t>(length)}));
}

// Tn, TLn, TRn, nX.
std::int32_t tab(std::int32_t code) {
  std::int32_t n = 0;
  if (const std::int32_t status = read_operand(n); status != 0) return status;
  if (n <= 0) return io_error(ERROR_TAB_RANGE);
  switch (code) {
    case FORMAT_T: tab_to(n - 1); break;
    case FORMAT_TL: tab_left(n); break;
    default: tab_right(n); break;
  }
  return 0;
}

void apply_dollar() {
  auto& s = state();
  if (option_vaxio() && !record_may_stay_open()) return;
  s.dollar = true;
}

// How `/`, reversion and the statement's end finish a record once `$` may have been met.
record_end advancing_end() {
  return state().dollar ? record_end::END_HELD_OPEN : record_end::END_ADVANCING;
}

bool is_data_edit(std::int32_t code) {
  return (code <= FORMAT_A_W && code >= FORMAT_F_W) || (code <= FORMAT_E_W && code >= FORMAT_Z) ||
         code == FORMAT_B_W;
}

// Handles codes until a data edit descriptor has placed the item, or, at the end of the
// statement, until the scan stops. Returns 0 or the status of the error reported.
std::int32_t format_item(const item_ref* item, scan_mode mode) {
  auto& s = state();
  s.codes_read = 0;
  bool end_seen = false;
  for (;;) {
    const std::int32_t code = format_next_code();
    if (is_data_edit(code)) {
      if (item == nullptr) return 0;
      return edit_item(code, *item);
    }
    switch (code) {
      case FORMAT_END: {
        std::int32_t reversion = 0;
        if (const std::int32_t status = read_word(reversion); status != 0) return status;
        // Nothing past the end marker is part of the format, and reversion only goes back.
        s.word_limit = std::min(s.word_limit, s.index);
        if (reversion < 0 || static_cast<std::size_t>(reversion) >= s.index - 1) {
          return io_error(ERROR_INVALID_EDIT);
        }
        if (mode == scan_mode::SCAN_END_NON_ADVANCING) return 0;
        // Reversion starts a new record even in a non-advancing statement.
        if (const std::int32_t error = fmt_end_record(advancing_end()); error != 0) {
          return io_error(error);
        }
        s.index = static_cast<std::size_t>(reversion);
        if (item == nullptr) return 0;
        if (end_seen) return io_error(ERROR_INFINITE_FORMAT);
        end_seen = true;
        break;
      }
      case FORMAT_GROUP:
      case FORMAT_NOP1:
      case FORMAT_NOP2:
        break;
      case FORMAT_GROUP_END: {
        std::int32_t first = 0;
        if (const std::int32_t status = read_word(first); status != 0) return status;
        if (s.depth < 0 || first < 0 ||
            s.repeat_stack[static_cast<std::size_t>(s.depth)].index != static_cast<std::size_t>(first)) {
          break;
        }
        // Back to the group's first word: an index the scan has already passed.
        repeat_entry& top = s.repeat_stack[static_cast<std::size_t>(s.depth)];
        s.index = top.index;
        if (top.remaining-- <= 1) {
          --s.depth;
          s.repeat_pending = false;
        }
        break;
      }
      case FORMAT_SCALE: {
        std::int32_t k = 0;
        if (const std::int32_t status = read_operand(k); status != 0) return status;
        if (k < -128 || k > 127) return io_error(ERROR_SCALE_FACTOR);
        s.scale = k;
        break;
      }
      case FORMAT_LITERAL:
      case FORMAT_LITERAL2:
        if (const std::int32_t status = put_literal(); status != 0) return status;
        break;
      case FORMAT_T:
      case FORMAT_TL:
      case FORMAT_TR:
      case FORMAT_X:
        if (const std::int32_t status = tab(code); status != 0) return status;
        break;
      case FORMAT_S:
      case FORMAT_SS:
        s.plus = false;
        break;
      case FORMAT_SP:
        s.plus = true;
        break;
      case FORMAT_DC:
        s.decimal = decimal_code::DECIMAL_COMMA;
        break;
      case FORMAT_DP:
        s.decimal = decimal_code::DECIMAL_POINT;
        break;
      case FORMAT_SLASH:
        if (const std::int32_t error = fmt_end_record(advancing_end()); error != 0) {
          return io_error(error);
        }
        // The record after a slash is written at the end of the statement even when empty.
        record_reached();
        break;
      case FORMAT_COLON:
        if (item == nullptr) {
          record_reached();
          return 0;
        }
        break;
      case FORMAT_SKIP_ITEM:
        return 0;
      case FORMAT_DOLLAR:
        if (mode == scan_mode::SCAN_END_NON_ADVANCING) return 0;
        apply_dollar();
        break;
      case FORMAT_ERROR: {
        // The fetch has reported its error; the same word written into a format has not.
        const std::int32_t status = statement_failure_status();
        return status != 0 ? status : io_error(ERROR_INVALID_EDIT);
      }
      default:
        return io_error(ERROR_INVALID_EDIT);
    }
  }
}

void reset_statement(const std::int32_t* format, std::size_t word_limit) {
  auto& s = state();
  s.format = format;
  s.word_limit = word_limit;
  s.index = 0;
  s.scale = 0;
  s.plus = false;
  s.dollar = false;
  s.non_advancing = false;
  s.depth = -1;
  s.repeat_pending = false;
  s.connection = nullptr;
}

// The format's words, with no text to compile: a span from a caller that has them.
statement_format given_format(std::span<const std::int32_t> format) {
  if (format.data() == nullptr) return {nullptr, 0, ERROR_INVALID_EDIT};
  return {format.data(), format.size(), 0};
}

std::int32_t begin_external(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                            std::int32_t* iostat, const statement_format& format,
                            std::optional<std::string_view> advance) {
  io_statement_begin(unit, flags, iostat, KIND_FORMATTED_WRITE);
  auto& s = state();
  s.active = false;
  // A fault of a format text is reported before the unit is looked at.
  if (format.error != 0) return io_error(format.error);
  unit_connection* connection =
      unit_for_transfer(unit, form_code::FORM_FORMATTED, record, transfer_direction::DIRECTION_WRITE);
  if (connection == nullptr) return STATUS_ERROR;
  const bool direct = connection->access == access_code::ACCESS_DIRECT;
  if (advance && direct) return io_error(ERROR_CONFLICTING_SPECIFIERS);
  reset_statement(format.words, format.word_limit);
  s.connection = connection;
  s.decimal = connection->decimal;
  s.non_advancing = match_keyword(advance, "NO");
  if (const std::int32_t error = start_external_records(*connection); error != 0) return io_error(error);
  s.active = true;
  return 0;
}

std::int32_t begin_internal(char* variable, std::int32_t record_count, std::int32_t flags,
                            std::int32_t* iostat, const statement_format& format,
                            std::int32_t record_length) {
  io_statement_begin(internal_file_unit, flags, iostat, KIND_FORMATTED_WRITE);
  auto& s = state();
  s.active = false;
  if (format.error != 0) return io_error(format.error);
  reset_statement(format.words, format.word_limit);
  start_internal_records(variable, record_count, record_length);
  s.decimal = decimal_code::DECIMAL_UNSET;
  s.active = true;
  return 0;
}

}  // namespace

std::int32_t fmt_write_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                             std::int32_t* iostat, const std::int32_t* format,
                             std::optional<std::string_view> advance) {
  return begin_external(unit, record, flags, iostat, take_statement_format(format), advance);
}

std::int32_t fmt_write_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                             std::int32_t* iostat, std::span<const std::int32_t> format,
                             std::optional<std::string_view> advance) {
  return begin_external(unit, record, flags, iostat, given_format(format), advance);
}

std::int32_t fmt_internal_write_begin(char* variable, std::int32_t record_count, std::int32_t flags,
                                      std::int32_t* iostat, const std::int32_t* format,
                                      std::int32_t record_length) {
  return begin_internal(variable, record_count, flags, iostat, take_statement_format(format),
                        record_length);
}

std::int32_t fmt_internal_write_begin(char* variable, std::int32_t record_count, std::int32_t flags,
                                      std::int32_t* iostat, std::span<const std::int32_t> format,
                                      std::int32_t record_length) {
  return begin_internal(variable, record_count, flags, iostat, given_format(format), record_length);
}

std::int32_t fmt_write_item(std::int32_t type, std::int32_t count, std::int32_t stride,
                            const void* address, std::int32_t length) {
  if (const std::int32_t status = statement_failure_status(); status != 0) return status;
  if (!state().active) return STATUS_ERROR;
  const auto* first = static_cast<const char*>(address);
  for (std::int32_t i = 0; i < count; ++i) {
    const char* element = first + static_cast<std::ptrdiff_t>(i) * stride;
    std::int32_t part_type = 0;
    std::ptrdiff_t part_size = 0;
    switch (type) {
      case TYPE_COMPLEX8: part_type = TYPE_REAL4; part_size = 4; break;
      case TYPE_COMPLEX16: part_type = TYPE_REAL8; part_size = 8; break;
      case TYPE_COMPLEX32: part_type = TYPE_REAL16; part_size = 16; break;
      default: break;
    }
    if (part_type != 0) {
      const item_ref real_part = make_item(part_type, element, 0);
      const item_ref imaginary_part = make_item(part_type, element + part_size, 0);
      if (const std::int32_t status = format_item(&real_part, scan_mode::SCAN_ITEM); status != 0) return status;
      if (const std::int32_t status = format_item(&imaginary_part, scan_mode::SCAN_ITEM); status != 0) {
        return status;
      }
      continue;
    }
    const item_ref item = make_item(type, element, length);
    if (const std::int32_t status = format_item(&item, scan_mode::SCAN_ITEM); status != 0) return status;
  }
  return 0;
}

std::int32_t fmt_write_end() {
  auto& s = state();
  const bool was_active = s.active;
  s.active = false;
  if (const std::int32_t status = statement_failure_status(); status != 0) return status;
  if (!was_active) return STATUS_ERROR;
  std::int32_t status = 0;
  if (s.non_advancing) {
    status = format_item(nullptr, scan_mode::SCAN_END_NON_ADVANCING);
    if (status == 0) status = report(fmt_end_record(record_end::END_NON_ADVANCING));
  } else {
    status = format_item(nullptr, scan_mode::SCAN_END);
  }
  if (status == 0) status = report(finish_records(advancing_end()));
  s.decimal = decimal_code::DECIMAL_UNSET;
  return status;
}

std::int32_t fmt_register_operand(format_operand_routine routine) {
  if (routine == nullptr) return -1;
  for (std::int32_t i = 0; i < registry.count; ++i) {
    if (registry.routines[static_cast<std::size_t>(i)] == routine) return i;
  }
  if (registry.count == max_operand_routines) return -1;
  registry.routines[static_cast<std::size_t>(registry.count)] = routine;
  return registry.count++;
}

}  // namespace io
