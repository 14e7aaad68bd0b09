// Free-form (list-directed) write statements: item texts laid out into records.
#include "list_output.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "never_destroyed.h"
#include "number_to_text.h"
#include "record_io.h"
#include "records.h"
#include "statement.h"
#include "transfer.h"
#include "units.h"

namespace io {
namespace {

// A record is ended before a text that would take it past this column.
constexpr std::int32_t line_limit = 79;

struct ld_write_state {
  bool internal = false;
  unit_connection* connection = nullptr;
  std::int32_t column = 0;  // characters in the current record, the leading blank included
  std::int32_t record_limit = 0;
  bool record_ended = false;
  bool item_written = false;
  char delimiter = 0;
  bool decimal_comma = false;
  std::int32_t last_item_type = 0;
  // Internal writes: the variable's records.
  char* record_base = nullptr;
  char* write_pointer = nullptr;
  std::int32_t records_left = 0;
  // The delimited copy of a character item; kept so it grows only once.
  std::string delimited;
};

never_destroyed<ld_write_state> the_state;

ld_write_state& state() { return the_state.value; }

template <typename T>
T load(const char* address) {
  T value;
  std::memcpy(&value, address, sizeof value);
  return value;
}

std::string_view hexadecimal(std::uint64_t value, int digits) {
  static char text[16];
  for (int i = digits - 1; i >= 0; --i) {
    text[i] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  }
  return {text, static_cast<std::size_t>(digits)};
}

// A real's free-form field: Gw.dEe under 1P, the exponent letter always written.
std::string_view real_text(std::int32_t type, const char* address, bool comma) {
  const std::int32_t decimal_comma = comma ? 1 : 0;
  switch (type) {
    case TYPE_REAL4: {
      const float value = load<float>(address);
      // free_form_real32 lays out exactly this G15.7E2, for most values in integer arithmetic.
      if (const std::optional<std::string_view> field = free_form_real32(value, 0, decimal_comma)) {
        return *field;
      }
      return format_general(value, {15, 7, 2, 1, 0, 1, decimal_comma}, TYPE_REAL4).field;
    }
    case TYPE_REAL8:
      return format_general(load<double>(address), {25, 16, 3, 1, 0, 1, decimal_comma}, TYPE_REAL8)
          .field;
    default:  // the quad kind, through its first 8 bytes
      return format_general(load<double>(address), {44, 34, 4, 1, 0, 1, decimal_comma}, TYPE_REAL16)
          .field;
  }
}

// A complex part: the real's free-form text without its leading blanks, cut at the first blank.
std::string_view complex_part(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  return text.substr(0, text.find(' '));
}

// "(re,im)" from the two parts' texts; kept in a buffer of its own across the second conversion.
std::string_view complex_text(std::int32_t part_type, std::size_t part_size, const char* address,
                              bool comma) {
  static std::string text;
  text.clear();
  text.push_back('(');
  text.append(complex_part(real_text(part_type, address, comma)));
  text.push_back(comma ? ';' : ',');
  text.append(complex_part(real_text(part_type, address + part_size, comma)));
  text.push_back(')');
  return text;
}

std::string_view item_text(std::int32_t type, const char* address, std::int32_t length, bool comma) {
  switch (type) {
    case TYPE_INTEGER1: return format_integer(load<std::int8_t>(address), 5, 1, 0);
    case TYPE_INTEGER2: return format_integer(load<std::int16_t>(address), 7, 1, 0);
    case TYPE_INTEGER4: return format_integer(load<std::int32_t>(address), 12, 1, 0);
    case TYPE_INTEGER8: return format_integer64(load<std::int64_t>(address), 24, 1, 0);
    case TYPE_REAL4:
    case TYPE_REAL8:
    case TYPE_REAL16: return real_text(type, address, comma);
    case TYPE_COMPLEX8: return complex_text(TYPE_REAL4, 4, address, comma);
    case TYPE_COMPLEX16: return complex_text(TYPE_REAL8, 8, address, comma);
    case TYPE_COMPLEX32: return complex_text(TYPE_REAL16, 16, address, comma);
    case TYPE_CHARACTER: return {address, static_cast<std::size_t>(std::max(length, 0))};
    case TYPE_LOGICAL1: return (load<std::uint8_t>(address) & 1) != 0 ? " T" : " F";
    case TYPE_LOGICAL2: return (load<std::uint16_t>(address) & 1) != 0 ? " T" : " F";
    case TYPE_LOGICAL4:
    case TYPE_LOGICAL8: return (load<std::uint32_t>(address) & 1) != 0 ? " T" : " F";
    case TYPE_WORD4: return hexadecimal(load<std::uint32_t>(address), 8);
    case TYPE_WORD8: return hexadecimal(load<std::uint64_t>(address), 16);
    default: return " ";
  }
}

std::string_view delimit(std::string_view text, char delimiter) {
  auto& copy = state().delimited;
  copy.assign(1, delimiter);
  for (char c : text) {
    copy.push_back(c);
    if (c == delimiter) copy.push_back(c);
  }
  copy.push_back(delimiter);
  return copy;
}

// Returns 0 or a platform error number.
std::int32_t end_output_record() {
  auto& s = state();
  if (s.record_ended) return 0;
  unit_connection& connection = *s.connection;
  if (connection.access == access_code::ACCESS_DIRECT) {
    if (const std::int32_t code = write_blanks(connection, s.record_limit - s.column); code != 0) return code;
  } else if (const std::int32_t code = write_record_terminator(connection); code != 0) {
    return code;
  }
  // The terminator also ends a record a non-advancing formatted write left open.
  record_completed(connection);
  s.column = 0;
  s.last_item_type = 0;
  s.record_ended = true;
  return 0;
}

std::int32_t emit_internal(std::string_view text) {
  auto& s = state();
  const auto n = static_cast<std::int32_t>(text.size());
  std::int64_t p = static_cast<std::int64_t>(s.column) + n;
  if (s.column == 0) {
    ++s.write_pointer;
    ++p;
  }
  if (p > s.record_limit) {
    if (s.column == 0) return ERROR_PAST_RECORD;
    if (--s.records_left <= 0) return ERROR_PAST_INTERNAL;
    s.record_base += s.record_limit;
    std::memset(s.record_base, ' ', static_cast<std::size_t>(s.record_limit));
    s.write_pointer = s.record_base + 1;
    p = static_cast<std::int64_t>(n) + 1;
    // A text longer than a whole record would run past the variable.
    if (p > s.record_limit) return ERROR_PAST_RECORD;
  }
  if (n > 0) std::memcpy(s.write_pointer, text.data(), text.size());
  s.write_pointer += n;
  s.column = static_cast<std::int32_t>(p);
  return 0;
}

std::int32_t emit_external(std::string_view text) {
  auto& s = state();
  unit_connection& connection = *s.connection;
  const auto n = static_cast<std::int32_t>(text.size());
  std::int64_t p = static_cast<std::int64_t>(s.column) + n;
  const bool direct = connection.access == access_code::ACCESS_DIRECT;
  bool blank_first = s.column == 0;
  if (blank_first) {
    ++p;
    if (direct && p > s.record_limit) {
      // The record's blank is written before the text is refused.
      if (const std::int32_t code = write_record_bytes(connection, " "); code != 0) return code;
      return ERROR_PAST_RECORD;
    }
  } else if (direct) {
    if (p > s.record_limit) return ERROR_PAST_RECORD;
  } else if (p > line_limit) {
    if (const std::int32_t code = end_output_record(); code != 0) return code;
    s.record_ended = false;
    p = static_cast<std::int64_t>(n) + 1;
    blank_first = true;
  }
  const std::int32_t code =
      blank_first ? write_record_bytes(connection, " ", text) : write_record_bytes(connection, text);
  if (code != 0) return code;
  s.column = static_cast<std::int32_t>(std::min<std::int64_t>(p, INT32_MAX));
  return 0;
}

// `ld_emit`: one text into the current record. Returns 0 or an error code.
std::int32_t ld_emit(std::string_view text) {
  state().record_ended = false;
  return state().internal ? emit_internal(text) : emit_external(text);
}

std::int32_t write_element(std::int32_t type, const char* address, std::int32_t length) {
  auto& s = state();
  s.item_written = true;
  std::string_view text = item_text(type, address, length, s.decimal_comma);
  const bool complex = type == TYPE_COMPLEX8 || type == TYPE_COMPLEX16;
  if (complex && s.column > 0) {
    if (const std::int32_t code = ld_emit(" "); code != 0) return code;
  }
  const bool runs_on = s.delimiter == 0 && type == TYPE_CHARACTER && s.last_item_type == TYPE_CHARACTER;
  if (s.column != 0 && !runs_on) {
    if (const std::int32_t code = ld_emit(" "); code != 0) return code;
  }
  if (type == TYPE_CHARACTER && s.delimiter != 0) text = delimit(text, s.delimiter);
  if (const std::int32_t code = ld_emit(text); code != 0) return code;
  s.last_item_type = type;
  return 0;
}

}  // namespace

std::int32_t ld_write_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                            std::int32_t* iostat) {
  io_statement_begin(unit, flags, iostat, KIND_LIST_WRITE);
  unit_connection* connection =
      unit_for_transfer(unit, form_code::FORM_FORMATTED, record, transfer_direction::DIRECTION_WRITE);
  if (connection == nullptr) return STATUS_ERROR;
  drop_open_record_tail(*connection);
  auto& s = state();
  s.internal = false;
  s.connection = connection;
  s.record_limit = connection->record_length;
  s.column = 0;
  s.record_ended = false;
  s.item_written = false;
  s.delimiter = connection->delim == delim_code::DELIM_APOSTROPHE ? '\''
                : connection->delim == delim_code::DELIM_QUOTE    ? '"'
                                                                  : 0;
  s.decimal_comma = connection->decimal == decimal_code::DECIMAL_COMMA;
  s.last_item_type = 0;
  return 0;
}

std::int32_t ld_internal_write_begin(char* variable, std::int32_t record_count, std::int32_t flags,
                                     std::int32_t* iostat, std::int32_t record_length) {
  io_statement_begin(internal_file_unit, flags, iostat, KIND_INTERNAL_LIST_WRITE);
  auto& s = state();
  s.internal = true;
  s.connection = nullptr;
  s.record_limit = std::max(record_length, 0);
  s.column = 0;
  s.record_ended = false;
  s.item_written = false;
  s.delimiter = 0;
  s.decimal_comma = false;
  s.last_item_type = 0;
  s.record_base = variable;
  s.write_pointer = variable;
  s.records_left = record_count;
  if (variable != nullptr && record_count > 0) {
    std::memset(variable, ' ', static_cast<std::size_t>(s.record_limit));
  } else {
    // No record to write into: the first text finds none left.
    s.records_left = 0;
    s.record_limit = 0;
  }
  return 0;
}

std::int32_t ld_write_item(std::int32_t type, std::int32_t count, std::int32_t stride,
                           const void* address, std::int32_t length) {
  if (statement().statement_error) return STATUS_ERROR;
  const auto* element = static_cast<const char*>(address);
  for (std::int32_t i = 0; i < count; ++i, element += stride) {
    if (const std::int32_t code = write_element(type, element, type == TYPE_CHARACTER ? length : 0);
        code != 0) {
      return io_error(code);
    }
  }
  return 0;
}

std::int32_t ld_write_end() {
  auto& s = state();
  if (s.internal) {
    if (s.item_written && s.records_left > 0) s.record_base += s.record_limit;
    return statement().statement_error ? STATUS_ERROR : STATUS_OK;
  }
  if (statement().statement_error) return STATUS_ERROR;
  if (!s.item_written) s.record_ended = false;
  const std::int32_t code = end_output_record();
  s.decimal_comma = false;
  if (code != 0) return io_error(code);
  end_write_statement(*s.connection);
  return 0;
}

}  // namespace io
