// Where a unit's records stand: the record counter, direct-access placement, POS=, the cut
// after reading, the turn between reading and writing. Part of the record layer; it alone
// changes these fields of a connection (see unit_connection).
#pragma once
#include <cstdint>

#include "units.h"

namespace io {

// What a data-transfer statement does with its unit.
enum class transfer_direction : std::int32_t {
  DIRECTION_READ = 0, DIRECTION_WRITE = 1, DIRECTION_POSITION = 2
};

// Each returns 0 or an error code (the library's, or the platform's error number).

// Places a direct-access unit at record `*record`, or at its next record when none is given.
std::int32_t place_direct_record(unit_connection& connection, const std::int32_t* record,
                                 transfer_direction direction);
// Places a stream-access unit at byte `position` (counted from 1).
std::int32_t place_at_byte(unit_connection& connection, std::int64_t position);
// A sequential unit before its statement: a write first cuts what follows the last read,
// and counts its record.
std::int32_t ready_sequential(unit_connection& connection, transfer_direction direction);
void ready_stream(unit_connection& connection);
// A stream needs a seek between a read and a write.
std::int32_t turn_direction(unit_connection& connection, transfer_direction direction);

// The common statement: a sequential unit used in the same direction as last time. What the
// general path would do for it comes down to these stores.
void continue_reading(unit_connection& connection);
void continue_writing(unit_connection& connection);

// The end of file was met, or a later statement may read again.
void note_end_of_file(unit_connection& connection);
void forget_end_of_file(unit_connection& connection);
// After any error a direct-access unit starts again at its first record.
void rewind_after_error(unit_connection& connection);

// Cuts the file at `position` and leaves the unit there. Records before it stay.
std::int32_t truncate_unit_file(unit_connection& connection, std::int64_t position);

}  // namespace io
