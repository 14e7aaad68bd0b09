// The OPEN and CLOSE statements.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace io {

// The specifier texts of an OPEN statement; nullopt for an omitted one.
struct open_specifiers {
  std::optional<std::string_view> access, action, blank, delim, file, form, pad, position, status,
      dispose;
  const std::int32_t* recl = nullptr;
};

struct extended_specifiers {
  std::optional<std::string_view> decimal, round, sign, encoding;
};

// Each returns 0 or the status of io_error.
std::int32_t open_statement(std::int32_t unit, std::int32_t flags, std::int32_t* iostat,
                            const open_specifiers& specifiers);
// DECIMAL=, ROUND=, SIGN= and ENCODING= of the OPEN that returned open_status; they act on
// last_opened_unit and do nothing after a failed OPEN.
std::int32_t open_extended(std::int32_t open_status, const extended_specifiers& specifiers);
std::int32_t close_statement(std::int32_t unit, std::int32_t flags, std::int32_t* iostat,
                             std::optional<std::string_view> status);

// The normal end: every unit's stream flushed and every file closed, each failure reported
// as a CLOSE's, then the scratch files removed.
void close_all_units();

}  // namespace io
