// Free-form (list-directed) read statements: storing tokens into items, records consumed,
// internal files. The tokens come from list_scanner.
#include "list_input.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "item_store.h"
#include "list_scanner.h"
#include "never_destroyed.h"
#include "record_io.h"
#include "records.h"
#include "statement.h"
#include "text_to_number.h"
#include "transfer.h"
#include "units.h"

namespace io {
namespace {

// The read statement in progress; the token part is the scanner's, and the record layer
// knows where the statement's records come from.
struct ld_read_state {
  // A record was fetched in this statement, from a unit or an internal file. The end
  // skips a record only when this is clear: an empty record that was fetched leaves the
  // fetched length 0 too, and must not cost the program a second record.
  bool accessed = false;
};

constinit never_destroyed<ld_read_state> the_state;

ld_read_state& state() { return the_state.value; }

template <typename T>
void store(void* address, T value) {
  std::memcpy(address, &value, sizeof value);
}

// A character token fills a character item; every other value goes through the one store of
// scanned values. A complex value stands for its real part, except where both parts are taken.
// Returns 0 or an error code; on an error nothing is stored.
std::int32_t store_token(void* address, std::int32_t item_type, std::int32_t length,
                         const scanned_value& value) {
  if (is_character_type(value.type)) {
    if (item_type == TYPE_CHARACTER) {
      const std::string_view text = token_text();
      const std::size_t width = length > 0 ? static_cast<std::size_t>(length) : 0;
      const std::size_t copied = text.size() < width ? text.size() : width;
      std::memcpy(address, text.data(), copied);
      std::memset(static_cast<char*>(address) + copied, ' ', width - copied);
      return 0;
    }
    // The width of a wide character item is not passed, so nothing can be stored safely.
    if (item_type == TYPE_WIDE_CHARACTER) return 0;
    return ERROR_DATA_CONVERSION;
  }
  if (value.type != TYPE_COMPLEX16) return store_scanned_value(address, item_type, value);
  return store_scanned_value(address, item_type, token_complex_pair()[0], token_complex_pair()[1]);
}

// What every begin clears; a repeat left over from the last statement goes here too.
void start_statement(ld_read_state& s) {
  s.accessed = false;
  start_token_scan();
  discard_input_record();
}

}  // namespace

std::int32_t ld_read_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                           std::int32_t* iostat) {
  io_statement_begin(unit, flags, iostat, KIND_LIST_READ);
  auto& s = state();
  start_statement(s);
  unit_connection* connection =
      unit_for_transfer(unit, form_code::FORM_FORMATTED, record, transfer_direction::DIRECTION_READ);
  if (connection == nullptr) return statement().statement_eof ? STATUS_EOF : STATUS_ERROR;
  read_from_unit(*connection);
  set_scan_decimal_mode(static_cast<std::int16_t>(connection->decimal));
  return 0;
}

std::int32_t ld_internal_read_begin(const char* variable, std::int32_t record_count,
                                    std::int32_t flags, std::int32_t* iostat,
                                    std::int32_t record_length) {
  io_statement_begin(internal_file_unit, flags, iostat, KIND_LIST_READ);
  auto& s = state();
  read_from_internal_file(variable, record_count, record_length);
  // A character variable has no decimal mode: always POINT, even after a read on a COMMA
  // unit that failed and so never reset the mode.
  set_scan_decimal_mode(0);
  start_statement(s);
  return 0;
}

std::int32_t ld_read_item(std::int32_t type, std::int32_t count, std::int32_t stride, void* address,
                          std::int32_t length) {
  if (const std::int32_t status = statement_failure_status(); status != 0) return status;
  if (count < 1) return 0;
  auto& s = state();
  // After a slash every later item of the statement is left as it is.
  if (previous_token_kind() == token_kind::TOKEN_SLASH) return 0;
  if (!s.accessed) {
    if (const std::int32_t code = fetch_scan_record(); code != 0) return io_error(code);
    s.accessed = true;
  }
  set_scan_item_type(type);
  // The common item, a 32-bit integer or real whose value the short path takes, is
  // stored at once.
  if (count == 1 && !repeat_pending() && (type == TYPE_INTEGER4 || type == TYPE_REAL4) &&
      take_plain_number()) {
    const scanned_value& value = token_value();
    if (value.type == TYPE_INTEGER4 && type == TYPE_INTEGER4) {
      store(address, value.int32());
    } else if (value.type == TYPE_REAL8 && type == TYPE_REAL4) {
      // Such a real is below 10^38, inside the float range: a plain conversion rounds it.
      store(address, static_cast<float>(value.real64()));
    } else {
      store_token(address, type, length, value);
    }
    return 0;
  }
  for (std::int32_t i = 0; i < count; ++i) {
    void* element = static_cast<char*>(address) + static_cast<std::ptrdiff_t>(i) * stride;
    switch (next_token()) {
      case token_kind::TOKEN_SLASH:
        return 0;
      case token_kind::TOKEN_ERROR:
        return io_error(scan_error_code());
      case token_kind::TOKEN_NULL:
        continue;
      case token_kind::TOKEN_QUOTED:
        quoted_token_checked();
        if (!is_character_type(type)) return io_error(ERROR_DATA_CONVERSION);
        break;
      default:
        break;
    }
    if (const std::int32_t code = store_token(element, type, length, token_value()); code != 0) {
      return io_error(code);
    }
  }
  return 0;
}

std::int32_t ld_read_end() {
  if (const std::int32_t status = statement_failure_status(); status != 0) return status;
  auto& s = state();
  std::int32_t status = 0;
  // A statement that fetched nothing still consumes one record; the rest of a record
  // that was read is dropped, so the next statement starts on a new one.
  if (!s.accessed) {
    if (const std::int32_t code = skip_next_record(); code != 0) status = io_error(code);
  }
  set_scan_decimal_mode(0);
  return status;
}

}  // namespace io
