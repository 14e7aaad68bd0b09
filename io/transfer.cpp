// The unit of a data-transfer statement: looked up or connected, checked against the
// statement, its records readied. Part of the statement frame: failures are reported here.
#include "transfer.h"

#include "errors.h"
#include "positions.h"
#include "statement.h"

namespace io {
namespace {

unit_connection* fail(std::int32_t code) {
  io_error(code);
  return nullptr;
}

// Every case but the common one: a new connection, direct or stream access, POS=, an
// error, a change of direction, a pending truncation.
[[gnu::noinline]] unit_connection* prepare_unit(std::int32_t number, form_code form,
                                                const std::int32_t* record,
                                                transfer_direction direction) {
  auto& state = statement();
  const bool reading = direction == transfer_direction::DIRECTION_READ;
  unit_connection* connection = find_unit(number);
  if (connection == nullptr) {
    connect_request request;
    request.status = reading ? open_status_code::OPEN_OLD : open_status_code::OPEN_UNKNOWN;
    request.access = state.pos_pending ? access_code::ACCESS_STREAM : access_code::ACCESS_SEQUENTIAL;
    request.form = form;
    request.raw = request.access == access_code::ACCESS_STREAM && form == form_code::FORM_UNFORMATTED;
    if (const std::int32_t code = connect_unit(number, request); code != 0) return fail(code);
    connection = find_unit(number);
  } else {
    if (state.pos_pending && connection->access != access_code::ACCESS_STREAM) {
      state.pos_pending = false;
      return fail(ERROR_POS_NOT_STREAM);
    }
    if (!reading && connection->action == action_code::ACTION_READ) return fail(ERROR_READ_ONLY);
    if (reading && connection->action == action_code::ACTION_WRITE) return fail(ERROR_WRITE_ONLY);
    if (connection->eof_taken && reading) return fail(ERROR_AFTER_END_OF_FILE);
    forget_end_of_file(*connection);
    if (form != connection->form && direction != transfer_direction::DIRECTION_POSITION) {
      return fail(ERROR_FORM_CONFLICT);
    }
    if (connection->access == access_code::ACCESS_DIRECT) {
      if (const std::int32_t code = place_direct_record(*connection, record, direction); code != 0) {
        return fail(code);
      }
    }
  }

  if (state.pos_pending) {
    state.pos_pending = false;
    if (const std::int32_t code = place_at_byte(*connection, state.pos_value); code != 0) {
      return fail(code);
    }
  }

  if (connection->access == access_code::ACCESS_SEQUENTIAL) {
    if (record != nullptr) return fail(ERROR_CONFLICTING_SPECIFIERS);
    if (const std::int32_t code = ready_sequential(*connection, direction); code != 0) return fail(code);
  } else if (connection->access == access_code::ACCESS_STREAM) {
    ready_stream(*connection);
  }

  if (const std::int32_t code = turn_direction(*connection, direction); code != 0) return fail(code);
  if (direction == transfer_direction::DIRECTION_READ) ++connection->figures.statements_read;
  if (direction == transfer_direction::DIRECTION_WRITE) ++connection->figures.statements_written;
  return connection;
}

}  // namespace

unit_connection* unit_for_transfer(std::int32_t number, form_code form, const std::int32_t* record,
                                   transfer_direction direction) {
  unit_connection* connection = find_unit(number);
  if (connection != nullptr && record == nullptr && !statement().pos_pending &&
      connection->access == access_code::ACCESS_SEQUENTIAL && connection->form == form) {
    if (direction == transfer_direction::DIRECTION_READ) {
      if (connection->last_direction == last_transfer::LAST_READ && !connection->eof_taken &&
          connection->action != action_code::ACTION_WRITE) {
        continue_reading(*connection);
        ++connection->figures.statements_read;
        return connection;
      }
    } else if (direction == transfer_direction::DIRECTION_WRITE) {
      if (connection->last_direction == last_transfer::LAST_WRITE && !connection->truncate_pending &&
          connection->action != action_code::ACTION_READ) {
        continue_writing(*connection);
        ++connection->figures.statements_written;
        return connection;
      }
    }
  }
  return prepare_unit(number, form, record, direction);
}

}  // namespace io
