// Formatted read statements: the compiled-format interpreter for input (`format_input_item`,
// one `switch` over the codes that format_walk hands out), the position within the current
// record, PAD and the end-of-record condition, SIZE=. Fields are converted by field_input.
#include "format_input.h"

#include <algorithm>
#include <new>
#include <string>

#include "field_input.h"
#include "format_text.h"
#include "format_walk.h"
#include "item_store.h"
#include "never_destroyed.h"
#include "output_record.h"
#include "record_io.h"
#include "records.h"
#include "statement.h"
#include "transfer.h"
#include "units.h"

namespace io {
namespace {

// Tabs move the position past any record; held here, it cannot overflow whatever the format.
constexpr std::int64_t position_ceiling = std::int64_t{1} << 40;

// The last data edit decided against its item. Statements of a loop read the same items under
// the same edits, and comparing is cheaper than deciding again.
struct resolution_memo {
  std::int32_t code = 0;  // 0: nothing remembered
  std::int32_t width = 0;
  std::int32_t digits = 0;
  bool bare = false;
  bool format_relaxed = false;
  input_item item{0, 0};
  resolved_input_edit edit{};
};

struct fmt_read_state {
  bool active = false;                    // from a successful begin to the end
  unit_connection* connection = nullptr;  // none for an internal file
  format_walk walk;
  std::int64_t position = 0;  // within the current record, counted from 0; may pass its end
  input_modes modes{0, false, false, false};
  bool pad = true;
  bool non_advancing = false;
  std::int32_t* size = nullptr;  // SIZE=, when the statement has it
  std::int64_t size_count = 0;
  resolution_memo memo;
};

constinit never_destroyed<fmt_read_state> the_state;

fmt_read_state& state() { return the_state.value; }

// A field that runs past the record's end, with its blanks; it keeps its capacity.
never_destroyed<std::string> the_padded_field;

std::int32_t report(std::int32_t code) { return code == 0 ? 0 : io_error(code); }

void count_taken(fmt_read_state& s, std::int64_t characters) {
  if (s.size == nullptr) return;
  s.size_count += characters;
  *s.size = static_cast<std::int32_t>(std::min<std::int64_t>(s.size_count, INT32_MAX));
}

// "/" and reversion: the next record, read from its start.
std::int32_t next_record(fmt_read_state& s) {
  if (const std::int32_t code = fetch_next_record(); code != 0) return io_error(code);
  s.position = 0;
  return 0;
}

// The field of the data edit at the position, converted into the item. Past the record's end
// the field is blank-padded under PAD YES; under PAD NO an advancing read fails with 219 and a
// non-advancing one meets the end of record. A non-advancing read that padded a field meets it
// after the item is stored.
std::int32_t read_field(fmt_read_state& s, std::int32_t code, input_item item, void* address) {
  resolution_memo& memo = s.memo;
  const bool same_item = memo.item.type == item.type && memo.item.length == item.length &&
                         memo.format_relaxed == s.modes.format_relaxed;
  // The usual loop: the same descriptor, w and d written as values, known from its words.
  const bool known = same_item && memo.code == code && !memo.bare && code != FORMAT_A_W &&
                     code != FORMAT_L_W && s.walk.take_operands_if(code, memo.width, memo.digits);
  if (!known) {
    written_edit w{};
    if (const std::int32_t fault = s.walk.read_descriptor(code, w); fault != 0) return io_error(fault);
    if (!same_item || memo.code != w.code || memo.width != w.width || memo.digits != w.digits ||
        memo.bare != w.bare) {
      memo = {w.code, w.width, w.digits, w.bare, s.modes.format_relaxed, item,
              resolve_input_edit({w.code, w.bare, w.width, w.digits}, item, s.modes)};
    }
  }
  const resolved_input_edit& edit = memo.edit;
  if (edit.code != 0) return io_error(edit.code);
  const record_scan_view record = input_record_scan_view();
  const std::int64_t start = s.position;
  const std::int64_t end = start + edit.width;
  const bool past_end = end > record.length;
  std::string_view field;
  if (!past_end) {
    s.position = end;
    count_taken(s, edit.width);
    field = {record.bytes + start, static_cast<std::size_t>(edit.width)};
  } else {
    s.position = std::min(end, position_ceiling);
    const std::int64_t available = std::clamp<std::int64_t>(record.length - start, 0, edit.width);
    count_taken(s, available);
    if (!s.pad) return io_error(s.non_advancing ? ERROR_END_OF_RECORD : ERROR_PAST_RECORD);
    // The same bound as a record being written: past it the field's buffer is not had.
    if (edit.width > max_record_length) return io_error(ERROR_ALLOCATION);
    std::string& padded = the_padded_field.value;
    try {
      padded.assign(available > 0 ? record.bytes + start : "", static_cast<std::size_t>(available));
      padded.resize(static_cast<std::size_t>(edit.width), ' ');
    } catch (const std::bad_alloc&) {
      return io_error(ERROR_ALLOCATION);
    }
    field = padded;
  }
  if (const std::int32_t fault = read_resolved_field(field, edit, s.modes, address); fault != 0) {
    return io_error(fault);
  }
  if (past_end && s.non_advancing) return io_error(ERROR_END_OF_RECORD);
  return 0;
}

// Q: the characters left in the record after the position, into an integer item.
std::int32_t store_characters_left(const fmt_read_state& s, input_item item, void* address) {
  switch (item.type) {
    case TYPE_INTEGER1:
    case TYPE_INTEGER2:
    case TYPE_INTEGER4:
    case TYPE_INTEGER8: {
      const std::int64_t left = std::max<std::int64_t>(input_record_scan_view().length - s.position, 0);
      return report(store_scanned_value(address, item.type, scanned_int32(static_cast<std::int32_t>(left))));
    }
    default:
      return io_error(ERROR_EDIT_MISMATCH);
  }
}

// Handles codes until a data edit has read the item, or, at the end of the statement (no
// item), until the next data edit, ":" or the format's end. Returns 0 or the status reported.
std::int32_t format_input_item(const input_item* item, void* address) {
  auto& s = state();
  std::int64_t scan_budget = max_codes_per_scan;
  bool end_seen = false;
  for (;;) {
    const std::int32_t code = s.walk.next_code(scan_budget);
    switch (code) {
      case FORMAT_A_W: case FORMAT_L_W: case FORMAT_I_W: case FORMAT_F_W: case FORMAT_E_W:
      case FORMAT_EN_W: case FORMAT_ES_W: case FORMAT_G_W: case FORMAT_D_W: case FORMAT_O_W:
      case FORMAT_Z_W: case FORMAT_B_W: case FORMAT_A: case FORMAT_L: case FORMAT_I:
      case FORMAT_F: case FORMAT_E: case FORMAT_G: case FORMAT_D: case FORMAT_O: case FORMAT_Z:
        if (item == nullptr) return 0;
        return read_field(s, code, *item, address);
      case FORMAT_SKIP_ITEM:
        if (item == nullptr) return 0;
        return store_characters_left(s, *item, address);
      case FORMAT_END: {
        std::int32_t reversion = 0;
        if (const std::int32_t fault = s.walk.read_end_marker(reversion); fault != 0) {
          return io_error(fault);
        }
        if (item == nullptr) return 0;
        // A second end for one item: the format has no data edit to give it.
        if (end_seen) return io_error(ERROR_INFINITE_FORMAT);
        end_seen = true;
        if (const std::int32_t status = next_record(s); status != 0) return status;
        s.walk.index = static_cast<std::size_t>(reversion);
        break;
      }
      case FORMAT_GROUP:
      case FORMAT_S:
      case FORMAT_SS:
      case FORMAT_SP:
      case FORMAT_DOLLAR:
        break;
      case FORMAT_GROUP_END:
        if (const std::int32_t fault = s.walk.group_end(); fault != 0) return io_error(fault);
        break;
      case FORMAT_NOP1:  // BN
        s.modes.blank_zero = false;
        break;
      case FORMAT_NOP2:  // BZ
        s.modes.blank_zero = true;
        break;
      case FORMAT_SCALE:
        if (const std::int32_t fault = s.walk.read_scale(s.modes.scale); fault != 0) {
          return io_error(fault);
        }
        break;
      case FORMAT_T:
      case FORMAT_TL:
      case FORMAT_TR:
      case FORMAT_X: {
        std::int32_t n = 0;
        if (const std::int32_t fault = s.walk.read_tab(n); fault != 0) return io_error(fault);
        // The left tab limit is the record's start, also where a non-advancing read went on.
        if (code == FORMAT_T) {
          s.position = n - 1;
        } else if (code == FORMAT_TL) {
          s.position = std::max<std::int64_t>(s.position - n, 0);
        } else {
          s.position = std::min(s.position + n, position_ceiling);
        }
        break;
      }
      case FORMAT_DC:
        s.modes.decimal_comma = true;
        break;
      case FORMAT_DP:
        s.modes.decimal_comma = false;
        break;
      case FORMAT_SLASH:
        if (const std::int32_t status = next_record(s); status != 0) return status;
        break;
      case FORMAT_COLON:
        if (item == nullptr) return 0;
        break;
      case FORMAT_ERROR:
        return io_error(s.walk.take_error());
      default:
        // Literal text among them: an input format has nowhere to put it.
        return io_error(ERROR_INVALID_EDIT);
    }
  }
}

void reset_statement(fmt_read_state& s, const statement_format& format) {
  s.walk.start(format.words, format.word_limit);
  s.position = 0;
  s.non_advancing = false;
  s.connection = nullptr;
}

// SIZE= counts from 0 for every statement that has it, whether it fails or not.
void start_size(fmt_read_state& s) {
  s.size = take_statement_size();
  s.size_count = 0;
  if (s.size != nullptr) *s.size = 0;
}

std::int32_t begin_external(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                            std::int32_t* iostat, const statement_format& format,
                            std::optional<std::string_view> advance) {
  io_statement_begin(unit, flags, iostat, KIND_FORMATTED_READ);
  auto& s = state();
  s.active = false;
  start_size(s);
  // A fault of a format text is reported before the unit is looked at.
  if (format.error != 0) return io_error(format.error);
  unit_connection* connection =
      unit_for_transfer(unit, form_code::FORM_FORMATTED, record, transfer_direction::DIRECTION_READ);
  if (connection == nullptr) return statement().statement_eof ? STATUS_EOF : STATUS_ERROR;
  if (advance && connection->access == access_code::ACCESS_DIRECT) {
    return io_error(ERROR_CONFLICTING_SPECIFIERS);
  }
  reset_statement(s, format);
  s.connection = connection;
  s.non_advancing = match_keyword(advance, "NO");
  s.modes = {0, connection->decimal == decimal_code::DECIMAL_COMMA,
             connection->blank == blank_code::BLANK_ZERO, option_format_relaxed()};
  s.pad = connection->pad != pad_code::PAD_NO;
  read_from_unit(*connection);
  // A record a non-advancing read stopped inside is read on from where it stopped.
  std::int64_t held = -1;
  if (const std::int32_t code = resume_input_record(*connection, held); code != 0) return io_error(code);
  if (held >= 0) {
    s.position = held;
  } else if (const std::int32_t status = next_record(s); status != 0) {
    return status;
  }
  s.active = true;
  return 0;
}

std::int32_t begin_internal(const char* variable, std::int32_t record_count, std::int32_t flags,
                            std::int32_t* iostat, const statement_format& format,
                            std::int32_t record_length) {
  io_statement_begin(internal_file_unit, flags, iostat, KIND_FORMATTED_READ);
  auto& s = state();
  s.active = false;
  start_size(s);
  if (format.error != 0) return io_error(format.error);
  reset_statement(s, format);
  // A character variable has no BLANK=, PAD= or DECIMAL=: BN, PAD YES, the full stop.
  s.modes = {0, false, false, option_format_relaxed()};
  s.pad = true;
  read_from_internal_file(variable, record_count, record_length);
  if (const std::int32_t status = next_record(s); status != 0) return status;
  s.active = true;
  return 0;
}

}  // namespace

std::int32_t fmt_read_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                            std::int32_t* iostat, const std::int32_t* format,
                            std::optional<std::string_view> advance) {
  return begin_external(unit, record, flags, iostat, take_statement_format(format), advance);
}

std::int32_t fmt_read_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                            std::int32_t* iostat, std::span<const std::int32_t> format,
                            std::optional<std::string_view> advance) {
  return begin_external(unit, record, flags, iostat, given_format(format), advance);
}

std::int32_t fmt_internal_read_begin(const char* variable, std::int32_t record_count,
                                     std::int32_t flags, std::int32_t* iostat,
                                     const std::int32_t* format, std::int32_t record_length) {
  return begin_internal(variable, record_count, flags, iostat, take_statement_format(format),
                        record_length);
}

std::int32_t fmt_internal_read_begin(const char* variable, std::int32_t record_count,
                                     std::int32_t flags, std::int32_t* iostat,
                                     std::span<const std::int32_t> format,
                                     std::int32_t record_length) {
  return begin_internal(variable, record_count, flags, iostat, given_format(format), record_length);
}

std::int32_t fmt_read_item(std::int32_t type, std::int32_t count, std::int32_t stride,
                           void* address, std::int32_t length) {
  if (const std::int32_t status = statement_failure_status(); status != 0) return status;
  if (!state().active) return STATUS_ERROR;
  auto* first = static_cast<char*>(address);
  for (std::int32_t i = 0; i < count; ++i) {
    char* element = first + static_cast<std::ptrdiff_t>(i) * stride;
    std::int32_t part_type = 0;
    std::ptrdiff_t part_size = 0;
    switch (type) {
      case TYPE_COMPLEX8: part_type = TYPE_REAL4; part_size = 4; break;
      case TYPE_COMPLEX16: part_type = TYPE_REAL8; part_size = 8; break;
      case TYPE_COMPLEX32: part_type = TYPE_REAL16; part_size = 8; break;  // 16 bytes in all
      default: break;
    }
    if (part_type != 0) {
      const input_item part{part_type, 0};
      if (const std::int32_t status = format_input_item(&part, element); status != 0) return status;
      if (const std::int32_t status = format_input_item(&part, element + part_size); status != 0) {
        return status;
      }
      continue;
    }
    const input_item item{type, length};
    if (const std::int32_t status = format_input_item(&item, element); status != 0) return status;
  }
  return 0;
}

std::int32_t fmt_read_end() {
  auto& s = state();
  const bool was_active = s.active;
  s.active = false;
  if (const std::int32_t status = statement_failure_status(); status != 0) return status;
  if (!was_active) return STATUS_ERROR;
  std::int32_t status = 0;
  if (s.walk.at_end_marker()) {
    ++s.walk.index;
    std::int32_t reversion = 0;
    status = report(s.walk.read_end_marker(reversion));
  } else {
    status = format_input_item(nullptr, nullptr);
  }
  // A non-advancing read leaves the unit inside its record; an advancing one has taken the
  // whole record already, so the rest of it is dropped.
  if (status == 0 && s.non_advancing && s.connection != nullptr) {
    status = report(hold_input_record(*s.connection, s.position));
  }
  return status;
}

}  // namespace io
