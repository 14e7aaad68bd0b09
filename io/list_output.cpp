// Free-form (list-directed) write statements: item texts laid out into records.
#include "list_output.h"

#include <string_view>

#include "record_io.h"
#include "records.h"
#include "statement.h"
#include "units.h"

namespace io {
namespace {

struct ld_write_state {
  unit_connection* connection = nullptr;
  std::int32_t column = 0;
  bool record_ended = false;
  bool item_written = false;
};

ld_write_state& state() {
  static ld_write_state the_state;
  return the_state;
}

std::int32_t end_output_record() {
  auto& s = state();
  if (s.record_ended) return 0;
  if (const std::int32_t code = write_record_terminator(*s.connection); code != 0) return code;
  ++s.connection->record_counter;
  s.column = 0;
  s.record_ended = true;
  return 0;
}

std::int32_t ld_emit(std::string_view text) {
  auto& s = state();
  s.record_ended = false;
  if (s.column == 0) {
    if (const std::int32_t code = write_record_bytes(*s.connection, " "); code != 0) return code;
    s.column = 1;
  }
  if (const std::int32_t code = write_record_bytes(*s.connection, text); code != 0) return code;
  s.column += static_cast<std::int32_t>(text.size());
  return 0;
}

}  // namespace

std::int32_t ld_write_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                            std::int32_t* iostat) {
  io_statement_begin(unit, flags, iostat, KIND_LIST_WRITE);
  unit_connection* connection =
      unit_for_transfer(unit, form_code::FORM_FORMATTED, record, transfer_direction::DIRECTION_WRITE);
  if (connection == nullptr) return 1;
  connection->statement_position = 0;
  state() = ld_write_state{connection, 0, false, false};
  return 0;
}

std::int32_t ld_internal_write_begin(char*, std::int32_t, std::int32_t flags, std::int32_t* iostat,
                                     std::int32_t) {
  io_statement_begin(internal_file_unit, flags, iostat, KIND_INTERNAL_LIST_WRITE);
  return io_error(ERROR_INVALID_EDIT);
}

std::int32_t ld_write_item(std::int32_t type, std::int32_t count, std::int32_t stride,
                           const void* address, std::int32_t length) {
  if (const std::int32_t status = statement_failure_status(); status != 0) return status;
  const auto* element = static_cast<const char*>(address);
  for (std::int32_t i = 0; i < count; ++i, element += stride) {
    state().item_written = true;
    const std::string_view text =
        type == TYPE_CHARACTER ? std::string_view(element, static_cast<std::size_t>(length)) : " ";
    if (const std::int32_t code = ld_emit(text); code != 0) return io_error(code);
  }
  return 0;
}

std::int32_t ld_write_end() {
  if (const std::int32_t status = statement_failure_status(); status != 0) return status;
  auto& s = state();
  if (!s.item_written) s.record_ended = false;
  if (const std::int32_t code = end_output_record(); code != 0) return io_error(code);
  --s.connection->record_counter;
  return 0;
}

}  // namespace io
