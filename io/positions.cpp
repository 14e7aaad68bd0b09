// Where a unit's records stand: placement of direct, stream and sequential units before a
// transfer, and the cut after reading.
#include "positions.h"

#include <climits>
#include <cstdio>

#include "errors.h"
#include "files.h"
#include "stream.h"

namespace io {

std::int32_t place_at_byte(unit_connection& connection, std::int64_t position) {
  // POS= counts bytes from 1.
  const std::int64_t offset = position > 0 ? position - 1 : 0;
  if (const std::int32_t code = seek(connection.stream, offset, SEEK_SET); code != 0) return code;
  connection.last_direction = last_transfer::LAST_NONE;
  connection.held_input_position = -1;
  return 0;
}

std::int32_t place_direct_record(unit_connection& connection, const std::int32_t* record,
                                 transfer_direction direction) {
  if (record != nullptr && *record < 0) return ERROR_DIRECT_ACCESS;
  const std::int32_t number = (record != nullptr && *record != 0) ? *record : connection.record_counter;
  // The record counter goes one past the record, so the last 32-bit number has no room.
  if (number == INT32_MAX) {
    return direction == transfer_direction::DIRECTION_READ ? ERROR_NO_RECORD : ERROR_DIRECT_ACCESS;
  }
  const std::int64_t length = connection.record_length;
  if (direction == transfer_direction::DIRECTION_READ && number > connection.record_count) {
    const std::int64_t size = file_size(connection.stream);
    if (size < 0) return last_error();
    if (length > 0) connection.record_count = static_cast<std::int32_t>(size / length);
    if (number > connection.record_count) {
      connection.record_counter = number + 1;
      return ERROR_NO_RECORD;
    }
  }
  const std::int64_t start = (static_cast<std::int64_t>(number) - 1) * length;
  if (direction == transfer_direction::DIRECTION_WRITE) {
    const std::int64_t size = file_size(connection.stream);
    if (size < 0) return last_error();
    // Records before the one written read as zero bytes: extend the file in one step,
    // however far, instead of writing the gap byte by byte.
    if (size < start) {
      if (const std::int32_t code = truncate_file(connection.stream, start); code != 0) return code;
    }
  }
  if (const std::int32_t code = seek(connection.stream, start, SEEK_SET); code != 0) return code;
  const bool formatted_read = direction == transfer_direction::DIRECTION_READ &&
                              connection.form == form_code::FORM_FORMATTED;
  connection.record_counter = formatted_read ? number : number + 1;
  if (connection.record_count < number) connection.record_count = number;
  connection.last_direction = last_transfer::LAST_NONE;
  return 0;
}

std::int32_t ready_sequential(unit_connection& connection, transfer_direction direction) {
  connection.statement_position = 0;
  if (direction == transfer_direction::DIRECTION_WRITE && connection.truncate_pending) {
    connection.truncate_pending = false;
    const std::int64_t here = tell(connection.stream);
    std::int32_t code = here < 0 ? last_error() : seek(connection.stream, 0, SEEK_END);
    const std::int64_t end = code == 0 ? tell(connection.stream) : here;
    if (code == 0 && end != here) {
      code = seek(connection.stream, here, SEEK_SET);
      if (code == 0) code = truncate_unit_file(connection, here);
    }
    if (code != 0) return code;
  }
  if (direction == transfer_direction::DIRECTION_READ) connection.truncate_pending = true;
  if (direction == transfer_direction::DIRECTION_WRITE) ++connection.record_counter;
  return 0;
}

void ready_stream(unit_connection& connection) { connection.statement_position = 0; }

std::int32_t turn_direction(unit_connection& connection, transfer_direction direction) {
  if (direction == transfer_direction::DIRECTION_POSITION) return 0;
  const last_transfer now = direction == transfer_direction::DIRECTION_READ ? last_transfer::LAST_READ
                                                                           : last_transfer::LAST_WRITE;
  if (connection.last_direction != last_transfer::LAST_NONE && connection.last_direction != now &&
      !connection.console) {
    if (const std::int32_t code = seek(connection.stream, 0, SEEK_CUR); code != 0) return code;
    connection.statement_position = 0;
  }
  connection.last_direction = now;
  return 0;
}

void continue_reading(unit_connection& connection) {
  connection.statement_position = 0;
  connection.truncate_pending = true;
}

void continue_writing(unit_connection& connection) {
  connection.eof_taken = false;
  connection.statement_position = 0;
  ++connection.record_counter;
}

void note_end_of_file(unit_connection& connection) { connection.eof_taken = true; }

void forget_end_of_file(unit_connection& connection) { connection.eof_taken = false; }

void rewind_after_error(unit_connection& connection) {
  if (connection.stream == nullptr || connection.access != access_code::ACCESS_DIRECT) return;
  connection.record_counter = 1;
  seek(connection.stream, 0, SEEK_SET);
}

std::int32_t truncate_unit_file(unit_connection& connection, std::int64_t position) {
  // Cut in place: the bytes before the position never leave the file.
  if (const std::int32_t code = stream::flush(connection.stream); code != 0) return code;
  if (const std::int32_t code = truncate_file(connection.stream, position); code != 0) return code;
  if (const std::int32_t code = seek(connection.stream, position, SEEK_SET); code != 0) return code;
  connection.held_input_position = -1;
  if (position > 0) {
    connection.last_direction = last_transfer::LAST_WRITE;
  } else {
    connection.record_counter = 1;
    connection.truncate_pending = false;
    connection.last_direction = last_transfer::LAST_NONE;
    connection.eof_taken = false;
  }
  return 0;
}

}  // namespace io
