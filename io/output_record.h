// The formatted record being built, for an external unit or an internal file: text put at a
// position, tabs, the record's end, and the internal file's records. Part of the record layer:
// it returns error codes, and the statement reports them.
#pragma once
#include <cstdint>
#include <string_view>

#include "units.h"

namespace io {

// An external record longer than this is refused with error 210, as if its buffer could not
// be had; legitimate records are a few hundred bytes.
inline constexpr std::int64_t max_record_length = std::int64_t{1} << 24;

enum class record_end : std::int32_t {
  END_ADVANCING = 0,
  END_NON_ADVANCING = 1,  // the bytes after the position stay the start of the next write
  END_HELD_OPEN = 2       // `$`: no terminator, and the stream is written out at once
};

// A write statement's records. Each start forgets what a statement that failed left behind.
// What a non-advancing write left open is the start of the first record; 0 or
// ERROR_ALLOCATION.
std::int32_t start_external_records(unit_connection& connection);
// `record_count` records of `record_length` bytes from `variable`; the first is blanked.
void start_internal_records(char* variable, std::int32_t record_count, std::int32_t record_length);

// What the current record can still take at the position, and the error past that.
struct record_room {
  std::int64_t bytes;  // negative when even an empty text has no record
  std::int32_t overflow_code;
};
record_room room_left();

// Text, or `count` copies of `c`, at the position, which moves past them. Returns 0 or an
// error code, and then nothing is stored.
std::int32_t fmt_put(std::string_view text);
std::int32_t put_repeated(char c, std::int64_t count);

// Tabs move the position only; the record grows when text reaches it.
void tab_to(std::int64_t position);  // counted from 0
void tab_left(std::int64_t count);   // stops at the record's start
void tab_right(std::int64_t count);

// Ends the current record. Returns 0 or an error code.
std::int32_t fmt_end_record(record_end how);
// The statement has reached a new record: it is written at the statement's end even when no
// text goes into it.
void record_reached();
// Under carriage control, `$` holds a record open only on the console, and only when the
// record starts with a blank or '+'.
bool record_may_stay_open();
// The statement is over: a record it reached and did not end is ended as `how` says.
// Returns 0 or an error code.
std::int32_t finish_records(record_end how);

}  // namespace io
