// The OPEN and CLOSE statements on top of connect_unit and disconnect_unit.
#include "open_close.h"

#include "statement.h"
#include "units.h"

namespace io {

std::int32_t open_statement(std::int32_t unit, std::int32_t flags, std::int32_t* iostat,
                            const open_specifiers& specifiers) {
  io_statement_begin(unit, flags, iostat, KIND_OPEN);
  connect_request request;
  request.name = specifiers.file;
  if (specifiers.file) {
    statement().open_file_name.assign(*specifiers.file);
    statement().open_file_name_set = true;
  }
  return connect_unit(unit, request);
}

std::int32_t open_extended(std::int32_t open_status, const extended_specifiers&) { return open_status; }

std::int32_t close_statement(std::int32_t unit, std::int32_t flags, std::int32_t* iostat,
                             std::optional<std::string_view>) {
  io_statement_begin(unit, flags, iostat, KIND_CLOSE);
  unit_connection* connection = find_unit(unit);
  if (connection == nullptr) return 0;
  return disconnect_unit(*connection, dispose_code::DISPOSE_UNSET);
}

}  // namespace io
