// The statement in progress and the one place where its errors are reported.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace io {

// Names of the statement kinds as the error report prints them.
inline constexpr std::string_view KIND_LIST_WRITE = "list-directed write";
inline constexpr std::string_view KIND_INTERNAL_LIST_WRITE = "internal list-directed write";
inline constexpr std::string_view KIND_LIST_READ = "list-directed read";
inline constexpr std::string_view KIND_FORMATTED_WRITE = "formatted write";
inline constexpr std::string_view KIND_OPEN = "OPEN";
inline constexpr std::string_view KIND_CLOSE = "CLOSE";

// Error codes raised by the library itself (texts in iostat_message).
enum error_code : std::int32_t {
  ERROR_ILLEGAL_SPECIFIER = 201,
  ERROR_CONFLICTING_SPECIFIERS = 202,
  ERROR_RECL_REQUIRED = 203,
  ERROR_READ_ONLY = 204,
  ERROR_SCRATCH_KEEP = 205,
  ERROR_SCRATCH_NAMED = 206,
  ERROR_ALREADY_CONNECTED = 207,
  ERROR_NEW_EXISTS = 208,
  ERROR_OLD_MISSING = 209,
  ERROR_ALLOCATION = 210,
  ERROR_FILE_NAME = 211,
  ERROR_UNIT_NUMBER = 212,
  ERROR_WRITE_ONLY = 214,
  ERROR_FORM_CONFLICT = 215,
  ERROR_END_OF_FILE = 217,
  ERROR_END_OF_RECORD = 218,
  ERROR_PAST_RECORD = 219,
  ERROR_PAST_INTERNAL = 220,
  ERROR_SCALE_FACTOR = 230,
  ERROR_DATA_CONVERSION = 231,
  ERROR_INVALID_EDIT = 234,
  ERROR_EDIT_MISMATCH = 235,
  ERROR_TAB_RANGE = 238,
  ERROR_DIRECT_ACCESS = 242,
  ERROR_NESTING = 243,
  ERROR_INFINITE_FORMAT = 246,
  ERROR_AFTER_END_OF_FILE = 252,
  ERROR_NO_RECORD = 253,
  ERROR_REPEAT_COUNT = 254,
  ERROR_POS_NOT_STREAM = 256
};

struct io_statement_state {
  std::int32_t source_line = 0;
  std::string source_file;  // copied: capacity is kept, so no allocation per statement
  // Where the copied path came from, and whether that memory is read-only, so that the
  // same path there need not be compared again.
  const char* source_origin = nullptr;
  bool source_origin_read_only = false;
  std::int32_t unit = 0;    // internal_file_unit for an internal file
  std::int32_t flags = 0;
  std::int32_t* iostat = nullptr;  // only with flag 0x01
  std::string_view statement_kind;
  bool statement_error = false;
  bool statement_eof = false;
  bool open_file_name_set = false;
  std::string open_file_name;
  char* iomsg = nullptr;
  std::int32_t iomsg_length = 0;
  bool pos_pending = false;
  std::int64_t pos_value = 0;
};

io_statement_state& statement();

void io_source_position(std::int32_t line, std::string_view file);
void io_set_pos(std::int32_t flags, std::int64_t position);
void io_set_iomsg(char* buffer, std::int32_t length);

// The first step of every begin entry, OPEN and CLOSE.
void io_statement_begin(std::int32_t unit, std::int32_t flags, std::int32_t* iostat,
                        std::string_view kind);

// Reports an error of the current statement. Fatal unless the flags ask for it back;
// otherwise returns the status (1 error, 2 end of file, 3 end of record).
std::int32_t io_error(std::int32_t code);

// The text for an iostat value. The out-of-range text lives in a buffer the next call reuses.
std::string_view iostat_message(std::int32_t code);

// The status item calls and ends return at once when the statement already failed: 0 if none.
std::int32_t statement_failure_status();

}  // namespace io
