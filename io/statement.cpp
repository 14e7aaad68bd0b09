// The statement in progress, its status and the error report.
#include "statement.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "format_text.h"
#include "messages.h"
#include "never_destroyed.h"
#include "runtime.h"
#include "positions.h"
#include "short_copy.h"
#include "units.h"

namespace io {
namespace {

constexpr std::string_view crlf = "\r\n";

void write_error_text(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void append_number(std::string& text, std::int64_t value) { text += std::to_string(value); }

// "TKFIO-F-<code>/<kind>/..." with the given line end.
std::string first_line(std::int32_t code, std::string_view line_end) {
  const auto& state = statement();
  std::string line = "TKFIO-F-";
  append_number(line, code);
  line += '/';
  line += state.statement_kind;
  if (state.unit == internal_file_unit) {
    line += "/internal file/";
  } else {
    line += "/unit=";
    append_number(line, state.unit);
    line += '/';
  }
  line += iostat_message(code);
  line += '.';
  line += line_end;
  return line;
}

// A platform error number: its text, then the library's line naming the unit.
std::string stdio_lines(std::int32_t code) {
  const auto& state = statement();
  std::string lines = "TKFIO/stdio: ";
  lines += std::strerror(code);
  lines += '\n';
  lines += "TKFIO-F-/";
  lines += state.statement_kind;
  lines += "/unit=";
  append_number(lines, state.unit);
  lines += "/error code returned by host stdio - ";
  append_number(lines, code);
  lines += '.';
  lines += crlf;
  return lines;
}

std::string detail_lines(const unit_connection* connection) {
  const auto& state = statement();
  std::string lines;
  if (connection != nullptr) {
    lines += " File name = ";
    lines += connection->name;
    lines += connection->form == form_code::FORM_UNFORMATTED ? "    unformatted, " : "    formatted, ";
    switch (connection->access) {
      case access_code::ACCESS_DIRECT: lines += "direct access  "; break;
      case access_code::ACCESS_STREAM: lines += "stream access  "; break;
      default: lines += "sequential access  "; break;
    }
    lines += " record = ";
    append_number(lines, static_cast<std::int64_t>(connection->record_counter) - 1);
    lines += crlf;
  } else if (state.open_file_name_set) {
    lines += " File name = ";
    lines += state.open_file_name;
    lines += crlf;
  }
  lines += " In source file ";
  lines += state.source_file;
  lines += ", at line number ";
  append_number(lines, state.source_line);
  lines += crlf;
  return lines;
}

// The statement's unit when it is connected: its report names the file, and an error or an
// end of file changes where its records stand.
unit_connection* statement_connection() {
  const auto& state = statement();
  return state.unit == internal_file_unit ? nullptr : find_unit(state.unit);
}

[[noreturn]] void stop(std::string report) {
  report += detail_lines(statement_connection());
  write_error_text(report);
  runtime_error_stop(nullptr);
  std::abort();  // runtime_error_stop does not return
}

void copy_iomsg(std::int32_t code) {
  auto& state = statement();
  if ((state.flags & SPECIFIER_IOMSG) == 0 || state.iomsg == nullptr || state.iomsg_length <= 0) return;
  const std::string_view text = iostat_message(code);
  const auto length = static_cast<std::size_t>(state.iomsg_length);
  const std::size_t n = text.size() < length ? text.size() : length;
  std::memcpy(state.iomsg, text.data(), n);
  std::memset(state.iomsg + n, 0, length - n);
}

void store_iostat(std::int32_t value) {
  auto& state = statement();
  if ((state.flags & SPECIFIER_IOSTAT) != 0 && state.iostat != nullptr) *state.iostat = value;
}

std::int32_t end_of_file(std::int32_t code) {
  auto& state = statement();
  if ((state.flags & (SPECIFIER_IOSTAT | SPECIFIER_END)) == 0) stop(first_line(code, crlf));
  store_iostat(-1);
  copy_iomsg(code);
  state.statement_eof = true;
  if (unit_connection* connection = statement_connection()) note_end_of_file(*connection);
  return STATUS_EOF;
}

std::int32_t end_of_record(std::int32_t code) {
  auto& state = statement();
  if ((state.flags & (SPECIFIER_IOSTAT | SPECIFIER_EOR)) == 0) stop(first_line(code, "\n"));
  store_iostat(-2);
  // As at the end of file: the program that asked for the condition back gets its text too.
  copy_iomsg(code);
  state.statement_error = true;
  state.statement_eor = true;
  return STATUS_EOR;
}

}  // namespace

namespace {
never_destroyed<io_statement_state> the_state;
}  // namespace

io_statement_state& statement() { return the_state.value; }

void io_source_position(std::int32_t line, std::string_view file) {
  auto& state = statement();
  state.source_line = line;
  // A program passes the same path before every statement: comparing is cheaper than
  // copying, and the copy still follows a caller that rewrites its buffer in place.
  if (!same_short_text(file, state.source_file)) state.source_file.assign(file);
  state.pos_pending = false;
  forget_statement_format_text();
  state.size_pending = nullptr;
}

void io_set_pos(std::int32_t flags, std::int64_t position) {
  constexpr std::int32_t position_given = 0x01;
  if ((flags & position_given) == 0) return;
  statement().pos_pending = true;
  statement().pos_value = position;
}

void io_set_iomsg(char* buffer, std::int32_t length) {
  statement().iomsg = buffer;
  statement().iomsg_length = length;
}

void io_set_size(std::int32_t* size) { statement().size_pending = size; }

std::int32_t* take_statement_size() {
  std::int32_t* const size = statement().size_pending;
  statement().size_pending = nullptr;
  return size;
}

void io_statement_begin(std::int32_t unit, std::int32_t flags, std::int32_t* iostat,
                        std::string_view kind) {
  auto& state = statement();
  state.statement_error = false;
  state.statement_eof = false;
  state.statement_eor = false;
  state.open_file_name_set = false;
  state.unit = unit;
  state.flags = flags;
  state.statement_kind = kind;
  state.iostat = (flags & SPECIFIER_IOSTAT) != 0 ? iostat : nullptr;
  store_iostat(0);
  // Last, where the call needs nothing kept: making the units reads none of the above.
  ensure_console_units();
}

std::int32_t io_error(std::int32_t code) {
  if (code == ERROR_END_OF_FILE || code == ERROR_AFTER_END_OF_FILE) return end_of_file(code);
  if (code == ERROR_END_OF_RECORD) return end_of_record(code);
  auto& state = statement();
  // Only IOSTAT= or ERR= takes an error back; END= alone does not.
  if (state.flags == 0 || state.flags == SPECIFIER_END) {
    stop(code >= first_message_code ? first_line(code, crlf) : stdio_lines(code));
  }
  store_iostat(code);
  copy_iomsg(code);
  state.statement_error = true;
  if (unit_connection* connection = statement_connection()) rewind_after_error(*connection);
  return ((state.flags & SPECIFIER_EOR) != 0 && code == ERROR_PAST_RECORD) ? STATUS_EOR : STATUS_ERROR;
}

std::string_view iostat_message(std::int32_t code) {
  if (code == 0) return " ";
  if (code >= first_message_code && code <= last_message_code) {
    const char* language = std::getenv("LANG");
    if (language != nullptr && std::string_view(language) == "japan") return japanese_message(code);
    return english_message(code);
  }
  if (code > last_message_code) {
    static char out_of_range[80];
    std::snprintf(out_of_range, sizeof out_of_range, "get_iostat_msg: iostat value %d is out of range",
                  code);
    return out_of_range;
  }
  return std::strerror(code);
}

std::int32_t statement_failure_status() {
  const auto& state = statement();
  if (state.statement_error) return state.statement_eor ? STATUS_EOR : STATUS_ERROR;
  if (state.statement_eof) return STATUS_EOF;
  return STATUS_OK;
}

}  // namespace io
