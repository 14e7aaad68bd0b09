// The format of a formatted statement, from the program's words or a text given at run time.
#include "format_text.h"

#include "errors.h"

namespace io {

void set_statement_format_text(std::string_view) {}

statement_format take_statement_format(const std::int32_t* format) {
  if (format == nullptr) return {nullptr, 0, ERROR_INVALID_EDIT};
  return {format, unbounded_format, 0};
}

}  // namespace io
