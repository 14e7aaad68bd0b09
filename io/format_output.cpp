// Formatted write statements: the compiled-format interpreter (`format_item`, one `switch`
// over the codes that format_walk hands out). The record it builds is output_record's.
#include "format_output.h"

#include <algorithm>
#include <array>

#include "format_fields.h"
#include "format_text.h"
#include "format_walk.h"
#include "never_destroyed.h"
#include "output_record.h"
#include "statement.h"
#include "transfer.h"
#include "units.h"

namespace io {
namespace {

// A scan either places an item, or runs on at the end of the statement without one.
enum class scan_mode : std::int32_t { SCAN_ITEM = 0, SCAN_END = 1, SCAN_END_NON_ADVANCING = 2 };

struct fmt_write_state {
  bool active = false;  // from a successful begin to the end
  unit_connection* connection = nullptr;  // none for an internal file
  format_walk walk;
  std::int32_t scale = 0;
  bool plus = false;
  bool dollar = false;
  bool non_advancing = false;
  decimal_code decimal = decimal_code::DECIMAL_UNSET;
};

// At namespace scope and set up at compile time, so reaching it costs no first-use check.
constinit never_destroyed<fmt_write_state> the_state;

fmt_write_state& state() { return the_state.value; }

std::int32_t report(std::int32_t code) { return code == 0 ? 0 : io_error(code); }

// Data edits -------------------------------------------------------------------------------

std::int32_t read_descriptor(std::int32_t code, edit_descriptor& d) {
  written_edit w{};
  const std::int32_t fault = state().walk.read_descriptor(code, w);
  d = {w.code, w.bare, w.width, w.digits, w.exponent_given ? w.exponent : default_exponent_digits,
       w.exponent_given};
  return report(fault);
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
  const char* text = nullptr;
  std::size_t length = 0;
  if (const std::int32_t fault = state().walk.read_literal(text, length); fault != 0) {
    return io_error(fault);
  }
  return report(fmt_put({text, length}));
}

// Tn, TLn, TRn, nX.
std::int32_t tab(std::int32_t code) {
  std::int32_t n = 0;
  if (const std::int32_t fault = state().walk.read_tab(n); fault != 0) return io_error(fault);
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

// After the end marker's code: its reversion index read, and unless the statement ends
// non-advancing, the record ended and the walk back at that index.
std::int32_t take_format_end(scan_mode mode) {
  auto& s = state();
  std::int32_t reversion = 0;
  if (const std::int32_t fault = s.walk.read_end_marker(reversion); fault != 0) return io_error(fault);
  if (mode == scan_mode::SCAN_END_NON_ADVANCING) return 0;
  // Reversion starts a new record even in a non-advancing statement.
  if (const std::int32_t error = fmt_end_record(advancing_end()); error != 0) return io_error(error);
  s.walk.index = static_cast<std::size_t>(reversion);
  return 0;
}

// Handles codes until a data edit descriptor has placed the item, or, at the end of the
// statement, until the scan stops. Returns 0 or the status of the error reported.
std::int32_t format_item(const item_ref* item, scan_mode mode) {
  auto& s = state();
  std::int64_t scan_budget = max_codes_per_scan;
  bool end_seen = false;
  for (;;) {
    const std::int32_t code = s.walk.next_code(scan_budget);
    if (is_data_edit(code)) {
      if (item == nullptr) return 0;
      return edit_item(code, *item);
    }
    switch (code) {
      case FORMAT_END: {
        if (const std::int32_t status = take_format_end(mode); status != 0) return status;
        if (item == nullptr) return 0;
        if (end_seen) return io_error(ERROR_INFINITE_FORMAT);
        end_seen = true;
        break;
      }
      case FORMAT_GROUP:
      case FORMAT_NOP1:
      case FORMAT_NOP2:
        break;
      case FORMAT_GROUP_END:
        if (const std::int32_t fault = s.walk.group_end(); fault != 0) return io_error(fault);
        break;
      case FORMAT_SCALE:
        if (const std::int32_t fault = s.walk.read_scale(s.scale); fault != 0) return io_error(fault);
        break;
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
      case FORMAT_ERROR:
        return io_error(s.walk.take_error());
      default:
        return io_error(ERROR_INVALID_EDIT);
    }
  }
}

void reset_statement(const std::int32_t* format, std::size_t word_limit) {
  auto& s = state();
  s.walk.start(format, word_limit);
  s.scale = 0;
  s.plus = false;
  s.dollar = false;
  s.non_advancing = false;
  s.connection = nullptr;
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
  } else if (s.walk.at_end_marker()) {
    ++s.walk.index;
    status = take_format_end(scan_mode::SCAN_END);
  } else {
    status = format_item(nullptr, scan_mode::SCAN_END);
  }
  if (status == 0) status = report(finish_records(advancing_end()));
  s.decimal = decimal_code::DECIMAL_UNSET;
  return status;
}

}  // namespace io
