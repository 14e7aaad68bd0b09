// Formatted write statements: the compiled-format interpreter.
#include "format_output.h"

#include "statement.h"
#include "units.h"

namespace io {

std::int32_t fmt_write_begin(std::int32_t unit, const std::int32_t*, std::int32_t flags,
                             std::int32_t* iostat, const std::int32_t*,
                             std::optional<std::string_view>) {
  io_statement_begin(unit, flags, iostat, KIND_FORMATTED_WRITE);
  return io_error(ERROR_INVALID_EDIT);
}

std::int32_t fmt_internal_write_begin(char*, std::int32_t, std::int32_t flags, std::int32_t* iostat,
                                      const std::int32_t*, std::int32_t) {
  io_statement_begin(internal_file_unit, flags, iostat, KIND_FORMATTED_WRITE);
  return io_error(ERROR_INVALID_EDIT);
}

std::int32_t fmt_write_item(std::int32_t, std::int32_t, std::int32_t, const void*, std::int32_t) {
  return statement_failure_status();
}

std::int32_t fmt_write_end() { return statement_failure_status(); }

std::int32_t fmt_register_operand(format_operand_routine) { return -1; }

}  // namespace io
