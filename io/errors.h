// Every error code the library reports, defined once, and the platform's error number.
// Statuses and specifier flags come from the public header (STATUS_*, SPECIFIER_*).
#pragma once
#include <cerrno>
#include <cstdint>

#include "record_io.h"

namespace io {

// The library's own error codes (texts in `iostat_message`). A code below 200 is the
// platform's error number; 0 is no error. Lower layers return these, and only the statement
// frame turns one into a report.
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
  ERROR_FORMAT_SYNTAX = 221,
  ERROR_UNBALANCED_PARENTHESES = 222,
  ERROR_EDIT_VALUE_MISSING = 223,
  ERROR_FORMAT_LITERAL = 224,
  ERROR_LEXICAL = 225,
  ERROR_UNKNOWN_EDIT_LETTER = 226,
  ERROR_SCALE_FACTOR = 230,
  ERROR_DATA_CONVERSION = 231,
  ERROR_INVALID_EDIT = 234,
  ERROR_EDIT_MISMATCH = 235,
  ERROR_QUAD_UNSUPPORTED = 237,
  ERROR_TAB_RANGE = 238,
  ERROR_NO_LEFT_PARENTHESIS = 240,
  ERROR_FORMAT_END = 241,
  ERROR_DIRECT_ACCESS = 242,
  ERROR_NESTING = 243,
  ERROR_INFINITE_FORMAT = 246,
  ERROR_REAL_EDIT = 249,
  ERROR_NUMBER_MISSING = 250,
  ERROR_ILLEGAL_FORMAT_CHARACTER = 251,
  ERROR_AFTER_END_OF_FILE = 252,
  ERROR_NO_RECORD = 253,
  ERROR_REPEAT_COUNT = 254,
  ERROR_POS_NOT_STREAM = 256
};

// The message tables cover exactly this range.
inline constexpr std::int32_t first_message_code = 200;
inline constexpr std::int32_t last_message_code = 256;
inline constexpr std::int32_t last_japanese_code = 254;
static_assert(ERROR_ILLEGAL_SPECIFIER > first_message_code && ERROR_POS_NOT_STREAM == last_message_code);

// Statuses and specifier flags are the public header's STATUS_* and SPECIFIER_* codes, used
// by those names throughout.

// The platform's number for the failure just seen; EIO when the library set none.
inline std::int32_t last_error() { return errno != 0 ? errno : EIO; }

}  // namespace io
