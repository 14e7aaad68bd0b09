// The statement in progress and the one place where its errors are reported.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "errors.h"

namespace io {

// Names of the statement kinds as the error report prints them.
inline constexpr std::string_view KIND_LIST_WRITE = "list-directed write";
inline constexpr std::string_view KIND_INTERNAL_LIST_WRITE = "internal list-directed write";
inline constexpr std::string_view KIND_LIST_READ = "list-directed read";
inline constexpr std::string_view KIND_FORMATTED_WRITE = "formatted write";
inline constexpr std::string_view KIND_FORMATTED_READ = "formatted read";
inline constexpr std::string_view KIND_OPEN = "OPEN";
inline constexpr std::string_view KIND_CLOSE = "CLOSE";

struct io_statement_state {
  std::int32_t source_line = 0;
  std::string source_file;  // copied: capacity is kept, so no allocation per statement
  std::int32_t unit = 0;    // internal_file_unit for an internal file
  std::int32_t flags = 0;
  std::int32_t* iostat = nullptr;  // only with SPECIFIER_IOSTAT
  std::string_view statement_kind;
  bool statement_error = false;
  bool statement_eof = false;
  bool statement_eor = false;  // the error was the end-of-record condition
  bool open_file_name_set = false;
  std::string open_file_name;
  char* iomsg = nullptr;
  std::int32_t iomsg_length = 0;
  bool pos_pending = false;
  std::int64_t pos_value = 0;
  // SIZE= of the next statement, set between io_source_position and the begin, like POS=;
  // only a formatted read takes it (take_statement_size).
  std::int32_t* size_pending = nullptr;
};

io_statement_state& statement();

void io_source_position(std::int32_t line, std::string_view file);
void io_set_pos(std::int32_t flags, std::int64_t position);
void io_set_iomsg(char* buffer, std::int32_t length);
void io_set_size(std::int32_t* size);
// The SIZE= variable set for the statement beginning now, or null; it holds for that one.
std::int32_t* take_statement_size();

// The first step of every begin entry, OPEN and CLOSE.
void io_statement_begin(std::int32_t unit, std::int32_t flags, std::int32_t* iostat,
                        std::string_view kind);

// Reports an error of the current statement. Fatal unless the flags ask for it back;
// otherwise returns the status (1 error, 2 end of file, 3 end of record).
std::int32_t io_error(std::int32_t code);

// The text for an iostat value. The out-of-range text lives in a buffer the next call reuses.
std::string_view iostat_message(std::int32_t code);

// The status item calls and ends return at once when the statement already failed: 0 if none;
// 3 after the end-of-record condition, which is not an error of the statement's own.
std::int32_t statement_failure_status();

}  // namespace io
