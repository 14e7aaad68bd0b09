// Record boundaries: input records from a unit or an internal file into the shared buffer,
// output records ended.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "errors.h"
#include "units.h"

namespace io {

// Bytes that may be read past the capacity: a scan may load 16 bytes at once from any
// position up to the sentinel without a bounds check. They hold no record data.
inline constexpr std::int32_t input_record_slack = 16;

// The current input record, followed by one line feed as a sentinel so scans need no
// length check. Shared by every read statement; it only grows.
struct input_record_buffer {
  char* bytes = nullptr;
  std::int32_t capacity = 0;        // bytes available, the sentinel's included
  std::int32_t fetched_length = 0;  // bytes of the current record, the sentinel excluded
};

// The current record for a scan that only reads: `length` bytes from `bytes`, then a byte
// that ends the record (a line feed or carriage return, never a blank or a tab), then at
// least 16 readable bytes. It may be the record where the stream holds it still, which a
// load reaches sooner than the copy just stored; valid until the next record operation.
struct record_scan_view {
  const char* bytes;
  std::int32_t length;
};
record_scan_view input_record_scan_view();

// The statement has no record yet: a read-only scan sees an empty one.
void discard_input_record();

input_record_buffer& input_record();
// Makes room for a record of `length` bytes plus the sentinel, keeping the contents.
// Grows to the needed length plus 128. Returns false when memory runs out.
bool reserve_input_record(std::int32_t length);
// Installs `text` as the current record (internal files); false when memory runs out.
bool load_input_record(std::string_view text);

// Returns 0, ERROR_END_OF_FILE, ERROR_NO_RECORD or a platform error number.
std::int32_t fetch_input_record(unit_connection& connection);
std::int32_t skip_input_record(unit_connection& connection);

// Where a read statement's records come from, set at its start: the unit, or an internal
// file of `record_count` records of `record_length` characters at `variable` (none when
// `variable` is null; a negative length means records of no characters).
void read_from_unit(unit_connection& connection);
void read_from_internal_file(const char* variable, std::int32_t record_count,
                             std::int32_t record_length);
// The source's next record becomes the current one, or is passed over. Each returns 0,
// ERROR_END_OF_FILE, ERROR_NO_RECORD, ERROR_ALLOCATION or a platform error number.
std::int32_t fetch_next_record();
std::int32_t skip_next_record();

// A non-advancing read stopped inside the current record at `position`: the unit keeps the
// record for its next formatted read. Returns 0 or ERROR_ALLOCATION.
std::int32_t hold_input_record(unit_connection& connection, std::int64_t position);
// The record a non-advancing read left becomes the current one again; `position` is where
// that read stopped, or -1 when the unit holds none or its records have moved on since (any
// other transfer counts one). Returns 0 or ERROR_ALLOCATION.
std::int32_t resume_input_record(unit_connection& connection, std::int64_t& position);

// Output records. Each returns 0 or an error code.

// Ends an output record: CR LF.
std::int32_t write_record_terminator(unit_connection& connection);
// `count` blanks into the record.
std::int32_t write_blanks(unit_connection& connection, std::int64_t count);
// Writes record bytes straight to the unit's stream. Returns 0 or a platform error number.
std::int32_t write_record_bytes(unit_connection& connection, std::string_view bytes);
// The same for two pieces of a record, one after the other.
std::int32_t write_record_bytes(unit_connection& connection, std::string_view first,
                                std::string_view second);

// The unit's stream failed a write. Bytes the stream held fail unseen by the put that gave
// them; this shows it.
bool unit_write_failed(const unit_connection& connection);
// Writes out what the unit's stream holds. Returns 0 or a platform error number.
std::int32_t flush_unit_output(unit_connection& connection);

// The record was written whole: counted, and no longer open.
void record_completed(unit_connection& connection);
// A non-advancing write leaves its record open and counted; `tail`, the bytes it built after
// its position, become the start of the next write's record. Fails only for want of memory.
std::int32_t leave_record_open(unit_connection& connection, std::string_view tail);
// The tail an open record holds, for the next write to start from; dropped once taken.
std::string_view open_record_tail(const unit_connection& connection);
void drop_open_record_tail(unit_connection& connection);
// A record left open is ended before its unit is closed: its tail, then the terminator.
std::int32_t end_open_record(unit_connection& connection);
// A write statement is over: the counter names the record written last again, and a
// direct-access file counts at least that many records.
void end_write_statement(unit_connection& connection);

}  // namespace io
