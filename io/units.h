// The unit table: connections of unit numbers to files and console streams.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace io {

// Keyword-valued connection attributes are stored as these codes; 0 means not set.
enum class dispose_code : std::int16_t { DISPOSE_UNSET = 0, DISPOSE_KEEP = 11, DISPOSE_DELETE = 12 };
enum class access_code : std::int16_t {
  ACCESS_UNSET = 0, ACCESS_DIRECT = 21, ACCESS_SEQUENTIAL = 22, ACCESS_STREAM = 24
};
enum class form_code : std::int16_t { FORM_UNSET = 0, FORM_FORMATTED = 31, FORM_UNFORMATTED = 32 };
enum class action_code : std::int16_t {
  ACTION_UNSET = 0, ACTION_READ = 41, ACTION_WRITE = 42, ACTION_READWRITE = 43
};
enum class position_code : std::int16_t {
  POSITION_UNSET = 0, POSITION_ASIS = 51, POSITION_REWIND = 52, POSITION_APPEND = 53
};
enum class delim_code : std::int16_t {
  DELIM_UNSET = 0, DELIM_APOSTROPHE = 61, DELIM_QUOTE = 62, DELIM_NONE = 63
};
enum class blank_code : std::int16_t { BLANK_UNSET = 0, BLANK_ZERO = 90, BLANK_NULL = 91 };
enum class pad_code : std::int16_t { PAD_UNSET = 0, PAD_YES = 92, PAD_NO = 93 };
enum class decimal_code : std::int16_t { DECIMAL_UNSET = 0, DECIMAL_COMMA = 65, DECIMAL_POINT = 66 };
enum class encoding_code : std::int16_t {
  ENCODING_UNSET = 0, ENCODING_UTF8 = 67, ENCODING_DEFAULT = 68
};
enum class round_code : std::int16_t {
  ROUND_UNSET = 0, ROUND_UP = 69, ROUND_DOWN = 70, ROUND_ZERO = 90, ROUND_NEAREST = 71,
  ROUND_COMPATIBLE = 72, ROUND_PROCESSOR_DEFINED = 73
};
enum class sign_code : std::int16_t {
  SIGN_UNSET = 0, SIGN_PLUS = 76, SIGN_SUPPRESS = 77, SIGN_PROCESSOR_DEFINED = 73
};
// OPEN STATUS=: decoded, never stored in the connection.
enum class open_status_code : std::int16_t {
  OPEN_OLD = 1, OPEN_NEW = 2, OPEN_UNKNOWN = 3, OPEN_SCRATCH = 4, OPEN_REPLACE = 5
};
enum class unit_kind : std::int16_t { KIND_FILE = 1, KIND_SCRATCH = 4 };
// What the unit's last transfer did; a stream needs a seek between a read and a write.
enum class last_transfer : std::int16_t { LAST_NONE = 0, LAST_WRITE = 1, LAST_READ = 2 };

inline constexpr std::int32_t internal_file_unit = -99;

// What a connection moved, for the run statistics. Bytes are the records' characters
// without their line ends. Plain adds on lines the statement already touches: counting
// always is cheaper than asking each time whether to count.
struct unit_figures {
  std::int64_t statements_read = 0;
  std::int64_t statements_written = 0;
  std::int64_t records_read = 0;
  std::int64_t records_written = 0;
  std::int64_t bytes_read = 0;
  std::int64_t bytes_written = 0;
};

// One connection. The unit table makes, changes and frees it; the fields marked "record
// layer" describe where the unit's records stand, and only the record layer (records.cpp,
// positions.cpp) changes them after the connection is made. Everyone else reads.
struct unit_connection {
  unit_connection* next = nullptr;
  std::FILE* stream = nullptr;
  std::string name;
  std::int32_t unit_number = 0;
  std::int32_t record_length = 0;       // bytes: RECL times the record-length unit
  std::int32_t record_length_unit = 0;  // bytes per RECL unit
  std::int32_t record_counter = 0;      // record layer: the next record's number; messages print it less one
  std::int32_t record_count = 0;        // record layer: direct access, whole records in the file
  std::int32_t statement_position = 0;  // record layer: kept at 0 by every transfer; nothing reads it
  unit_kind kind = unit_kind::KIND_FILE;
  dispose_code dispose = dispose_code::DISPOSE_UNSET;
  access_code access = access_code::ACCESS_UNSET;
  action_code action = action_code::ACTION_UNSET;
  blank_code blank = blank_code::BLANK_UNSET;
  form_code form = form_code::FORM_UNSET;
  pad_code pad = pad_code::PAD_UNSET;
  position_code position = position_code::POSITION_UNSET;
  delim_code delim = delim_code::DELIM_UNSET;
  last_transfer last_direction = last_transfer::LAST_NONE;  // record layer
  decimal_code decimal = decimal_code::DECIMAL_UNSET;
  encoding_code encoding = encoding_code::ENCODING_UNSET;
  round_code round = round_code::ROUND_UNSET;
  sign_code sign = sign_code::SIGN_UNSET;
  bool eof_taken = false;         // record layer
  bool named = false;
  bool console = false;
  bool truncate_pending = false;  // record layer
  bool raw = false;
  bool record_open = false;       // record layer
  // Record layer: the tail of a record that a non-advancing write left behind.
  std::string partial_record;
  // The statement frame adds statements, the record layer records and bytes; nothing else
  // changes them. Kept past the close by unit_statistics.
  unit_figures figures;
  // Record layer: the record a non-advancing read stopped inside, where it stopped (-1: none)
  // and the record counter then; the unit's next formatted read goes on from there.
  std::string held_input_record;
  std::int64_t held_input_position = -1;
  std::int32_t held_input_counter = 0;
  // The stream's buffer for a file the library opened; freed with the record, after fclose.
  std::unique_ptr<char[]> stream_buffer;
};

// The decoded specifiers of one connection request (OPEN or an implicit open).
struct connect_request {
  action_code action = action_code::ACTION_READWRITE;
  open_status_code status = open_status_code::OPEN_UNKNOWN;
  dispose_code dispose = dispose_code::DISPOSE_KEEP;
  access_code access = access_code::ACCESS_SEQUENTIAL;
  blank_code blank = blank_code::BLANK_NULL;
  form_code form = form_code::FORM_FORMATTED;
  delim_code delim = delim_code::DELIM_NONE;
  position_code position = position_code::POSITION_ASIS;
  pad_code pad = pad_code::PAD_YES;
  std::int32_t recl = 0;  // 0: none given
  bool raw = false;       // unformatted without record framing
  std::optional<std::string_view> name;
};

// The attributes an OPEN sets after the connection is made.
struct extended_attributes {
  encoding_code encoding;
  decimal_code decimal;
  round_code round;
  sign_code sign;
};

// Creates the five console units when the list is still empty; every statement calls it first.
void ensure_console_units();
bool console_units_exist();

unit_connection* find_unit(std::int32_t number);
unit_connection* last_opened_unit();

// 1 when the specifier text is the keyword, ignoring letter case and trailing blanks.
bool match_keyword(std::optional<std::string_view> text, std::string_view keyword);

// Each returns 0 or an error code (the library's, or the platform's error number) for the
// statement frame to report.

// Connects the unit as the request asks, or applies the request to the unit's connection to
// the same file. Requires that the unit is not connected to another file: the caller closes
// that connection first (`connection_replaced_by`), so that its failures name its file.
std::int32_t connect_unit(std::int32_t unit, const connect_request& request);
// The unit's connection to another file than the request names, when the name passes the
// checks `connect_unit` makes first; else null.
unit_connection* connection_replaced_by(std::int32_t unit, const connect_request& request);
// Closes the file (a console unit's stream is only flushed) and disposes of it; dispose UNSET
// means the connection's own. A record left open is the caller's to end first. The
// connection stays in the table until `release_unit`, so a failure can still be reported
// against it.
std::int32_t disconnect_unit(unit_connection& connection, dispose_code dispose);
void release_unit(unit_connection& connection);
void set_extended_attributes(unit_connection& connection, const extended_attributes& attributes);

// The connections, newest first, for walking them all (each one's `next`).
unit_connection* first_unit();
// Removes the scratch files of the run, newest first.
void remove_scratch_files();
// Pushes every unit's buffered bytes to where they land; safe to call on the way down.
void flush_all_units() noexcept;
// The same from a fatal-signal handler, with async-signal-safe calls only.
void push_all_units_at_signal() noexcept;

// The words of "FORTRANOPT", read when the console units are made.
bool option_vaxio();
bool option_format_relaxed();

}  // namespace io
