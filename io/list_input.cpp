// Free-form (list-directed) read statements: tokens of input records stored into items.
#include "list_input.h"

#include "records.h"
#include "statement.h"
#include "units.h"

namespace io {
namespace {

struct ld_read_state {
  unit_connection* connection = nullptr;
};

ld_read_state& state() {
  // Never destroyed: the exit handler still runs statements after static destructors.
  static ld_read_state& the_state = *new ld_read_state;
  return the_state;
}

}  // namespace

std::int32_t ld_read_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                           std::int32_t* iostat) {
  io_statement_begin(unit, flags, iostat, KIND_LIST_READ);
  unit_connection* connection =
      unit_for_transfer(unit, form_code::FORM_FORMATTED, record, transfer_direction::DIRECTION_READ);
  if (connection == nullptr) return statement().statement_eof ? 2 : 1;
  connection->statement_position = 0;
  state().connection = connection;
  input_record().fetched_length = 0;
  return 0;
}

std::int32_t ld_internal_read_begin(const char*, std::int32_t, std::int32_t flags,
                                    std::int32_t* iostat, std::int32_t) {
  io_statement_begin(internal_file_unit, flags, iostat, KIND_LIST_READ);
  return io_error(ERROR_INVALID_EDIT);
}

std::int32_t ld_read_item(std::int32_t, std::int32_t count, std::int32_t, void*, std::int32_t) {
  if (const std::int32_t status = statement_failure_status(); status != 0) return status;
  if (count < 1) return 0;
  if (const std::int32_t code = fetch_input_record(*state().connection); code != 0) return io_error(code);
  return 0;
}

std::int32_t ld_read_end() {
  if (const std::int32_t status = statement_failure_status(); status != 0) return status;
  if (input_record().fetched_length == 0) {
    if (const std::int32_t code = skip_input_record(*state().connection); code != 0) return io_error(code);
  }
  return 0;
}

}  // namespace io
