// Record boundaries: reading input records into the shared buffer, ending output records.
#pragma once
#include <cerrno>
#include <cstdint>
#include <span>
#include <string_view>

#include "units.h"

namespace io {

// The platform's number for the failure just seen; EIO when the library set none.
inline int last_error() { return errno != 0 ? errno : EIO; }

// Bytes that may be read past the capacity: a scan may load 16 bytes at once from any
// position up to the sentinel without a bounds check. They hold no record data.
inline constexpr std::int32_t input_record_slack = 16;

// The current input record, followed by one line feed as a sentinel so scans need no
// length check. Shared by every read statement; it only grows.
struct input_record_buffer {
  char* bytes = nullptr;
  std::int32_t capacity = 0;        // bytes available, the sentinel's included
  std::int32_t fetched_length = 0;  // bytes of the current record, the sentinel excluded
  std::int32_t scan_position = 0;   // the next byte to examine
  bool comma_seen = false;          // a separator comma counts as a null until a token is scanned
  // The same record in the stream's own buffer, with at least 16 readable bytes after its
  // end, while nothing else has touched the stream; null otherwise. The byte at the
  // fetched length there is the carriage return or line feed that ended the record, not
  // the sentinel. A scan that only reads may look here: the copy above was stored just
  // now, and loads of freshly stored bytes wait for the stores.
  const char* source = nullptr;
};

input_record_buffer& input_record();
// Makes room for a record of `length` bytes plus the sentinel, keeping the contents.
// Grows to the needed length plus 128. Returns false when memory runs out.
bool reserve_input_record(std::int32_t length);
// Installs `text` as the current record (internal files); false when memory runs out.
bool load_input_record(std::string_view text);

// Returns 0, ERROR_END_OF_FILE, ERROR_NO_RECORD or a platform error number.
std::int32_t fetch_input_record(unit_connection& connection);
std::int32_t skip_input_record(unit_connection& connection);

// Ends an output record: CR LF. Returns 0 or a platform error number.
std::int32_t write_record_terminator(unit_connection& connection);
// Writes record bytes straight to the unit's stream. Returns 0 or a platform error number.
std::int32_t write_record_bytes(unit_connection& connection, std::string_view bytes);
// The same for two pieces of a record, one after the other.
std::int32_t write_record_bytes(unit_connection& connection, std::string_view first,
                                std::string_view second);

}  // namespace io
