// The formatted record being built: its buffer for external units, the internal file's records,
// the position, and the record's end.
#include "output_record.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "errors.h"
#include "never_destroyed.h"
#include "records.h"
#include "short_copy.h"

namespace io {
namespace {

constexpr std::int64_t initial_record_capacity = 200;
constexpr std::int64_t growth_margin = 200;
// Tab and skip edits only move the position; it stops growing here, far past any record, so
// no sequence of them can overflow it.
constexpr std::int64_t position_ceiling = std::int64_t{1} << 62;

template <std::size_t size>
constexpr std::array<char, size> blanks() {
  std::array<char, size> text{};
  text.fill(' ');
  return text;
}

struct output_record_state {
  bool internal = false;
  // Internal write: the variable, the current record and how many records remain from it.
  char* variable = nullptr;
  std::int64_t internal_record_length = 0;
  std::int64_t record_index = 0;
  std::int64_t records_left = 0;
  bool record_filled = false;  // the current internal record has been blanked
  unit_connection* connection = nullptr;
  bool direct = false;
  // External records are built here; every byte from record_length to capacity is a blank.
  std::array<char, initial_record_capacity> initial_buffer = blanks<initial_record_capacity>();
  char* buffer = initial_buffer.data();
  std::int64_t capacity = initial_record_capacity;
  std::int64_t position = 0;
  std::int64_t record_length = 0;
  bool record_ended = false;
};

// At namespace scope and set up at compile time, so reaching it costs no first-use check.
constinit never_destroyed<output_record_state> the_state;

output_record_state& state() { return the_state.value; }

bool grow_buffer(std::int64_t needed) {
  auto& s = state();
  // At least double: a record built of many short texts would otherwise be copied over and
  // over. Bounded by the longest record the interpreter builds.
  const std::int64_t capacity =
      std::max(needed + growth_margin, std::min<std::int64_t>(2 * s.capacity, max_record_length + growth_margin));
  char* grown = nullptr;
  if (s.buffer == s.initial_buffer.data()) {
    grown = static_cast<char*>(std::malloc(static_cast<std::size_t>(capacity)));
    if (grown != nullptr) std::memcpy(grown, s.buffer, static_cast<std::size_t>(s.capacity));
  } else {
    grown = static_cast<char*>(std::realloc(s.buffer, static_cast<std::size_t>(capacity)));
  }
  if (grown == nullptr) return false;
  std::memset(grown + s.capacity, ' ', static_cast<std::size_t>(capacity - s.capacity));
  s.buffer = grown;
  s.capacity = capacity;
  return true;
}

void blank_internal_record() {
  auto& s = state();
  std::memset(s.variable + s.record_index * s.internal_record_length, ' ',
              static_cast<std::size_t>(s.internal_record_length));
  s.record_filled = true;
}

// Room for n bytes at the position: the bytes are the caller's to fill. Returns 0 or an
// error code, and then nothing is stored.
[[gnu::always_inline]] inline std::int32_t claim(std::int64_t n, char*& out) {
  auto& s = state();
  if (const record_room room = room_left(); n > room.bytes) return room.overflow_code;
  const std::int64_t end = s.position + n;
  if (s.internal) {
    if (!s.record_filled) blank_internal_record();
    out = s.variable + s.record_index * s.internal_record_length + s.position;
  } else {
    if (end > s.capacity && !grow_buffer(end)) return ERROR_ALLOCATION;
    out = s.buffer + s.position;
  }
  s.position = end;
  s.record_ended = false;
  s.record_length = std::max(s.record_length, end);
  return 0;
}

std::string_view built_record(std::int64_t length) {
  return {state().buffer, static_cast<std::size_t>(length)};
}

std::int32_t write_external_record(record_end how) {
  auto& s = state();
  unit_connection& connection = *s.connection;
  if (s.direct) {
    if (const std::int32_t code = write_record_bytes(connection, built_record(s.record_length)); code != 0) {
      return code;
    }
    if (const std::int32_t code = write_blanks(connection, connection.record_length - s.record_length);
        code != 0) {
      return code;
    }
    record_completed(connection);
    return 0;
  }
  if (how == record_end::END_NON_ADVANCING) {
    // The bytes before the position go out; those after it stay the start of the next write.
    const std::int64_t written = std::min(s.position, s.record_length);
    if (const std::int32_t code = write_record_bytes(connection, built_record(written)); code != 0) {
      return code;
    }
    if (s.position > s.record_length) {
      if (const std::int32_t code = write_blanks(connection, s.position - s.record_length); code != 0) {
        return code;
      }
      return leave_record_open(connection, {});
    }
    return leave_record_open(connection, {s.buffer + written, static_cast<std::size_t>(s.record_length - written)});
  }
  if (const std::int32_t code = write_record_bytes(connection, built_record(s.record_length)); code != 0) {
    return code;
  }
  if (how != record_end::END_HELD_OPEN) {
    if (const std::int32_t code = write_record_terminator(connection); code != 0) return code;
    if (unit_write_failed(connection)) return EIO;
  } else if (const std::int32_t code = flush_unit_output(connection); code != 0) {
    return code;
  }
  record_completed(connection);
  return 0;
}

// Blanks the record that was built. Every byte past it is a blank already, so a short
// record takes fixed-size stores over the first 64 bytes, which the compiler inlines.
void blank_record_bytes() {
  auto& s = state();
  static constexpr std::array<char, 64> start = blanks<64>();
  if (s.record_length <= static_cast<std::int64_t>(start.size()) &&
      s.capacity >= static_cast<std::int64_t>(start.size())) {
    std::memcpy(s.buffer, start.data(), start.size());
  } else {
    std::memset(s.buffer, ' ', static_cast<std::size_t>(s.record_length));
  }
}

void reset_records() {
  auto& s = state();
  // A statement that failed may have left text behind; the buffer is blank beyond its records.
  // After one that ended well there is nothing to blank.
  if (s.record_length > 0) {
    std::memset(s.buffer, ' ', static_cast<std::size_t>(std::min(s.record_length, s.capacity)));
  }
  s.position = 0;
  s.record_length = 0;
  s.record_ended = false;
  s.connection = nullptr;
  s.direct = false;
  s.internal = false;
  s.variable = nullptr;
}

}  // namespace

std::int32_t start_external_records(unit_connection& connection) {
  reset_records();
  auto& s = state();
  s.connection = &connection;
  s.direct = connection.access == access_code::ACCESS_DIRECT;
  const std::string_view tail = open_record_tail(connection);
  const auto saved = static_cast<std::int64_t>(tail.size());
  if (saved > 0) {
    if (saved > s.capacity && !grow_buffer(saved)) return ERROR_ALLOCATION;
    std::memcpy(s.buffer, tail.data(), tail.size());
    s.record_length = saved;
    drop_open_record_tail(connection);
  }
  return 0;
}

void start_internal_records(char* variable, std::int32_t record_count, std::int32_t record_length) {
  reset_records();
  auto& s = state();
  s.internal = true;
  s.variable = variable;
  s.internal_record_length = std::max(record_length, 0);
  s.record_index = 0;
  s.records_left = variable != nullptr ? std::max(record_count, 0) : 0;
  // The first record is written even when no text reaches it.
  s.record_filled = false;
  if (s.records_left > 0) blank_internal_record();
}

record_room room_left() {
  const auto& s = state();
  if (s.internal) {
    if (s.records_left <= 0) return {-1, ERROR_PAST_INTERNAL};
    return {s.internal_record_length - s.position, ERROR_PAST_RECORD};
  }
  if (s.direct && s.connection->record_length <= max_record_length) {
    return {s.connection->record_length - s.position, ERROR_PAST_RECORD};
  }
  return {max_record_length - s.position, ERROR_ALLOCATION};
}

std::int32_t fmt_put(std::string_view text) {
  char* out = nullptr;
  if (const std::int32_t code = claim(static_cast<std::int64_t>(text.size()), out); code != 0) {
    return code;
  }
  copy_short(out, text);
  return 0;
}

std::int32_t put_repeated(char c, std::int64_t count) {
  char* out = nullptr;
  if (const std::int32_t code = claim(count, out); code != 0) return code;
  std::memset(out, c, static_cast<std::size_t>(count));
  return 0;
}

void tab_to(std::int64_t position) { state().position = position; }

void tab_left(std::int64_t count) {
  auto& s = state();
  s.position = std::max<std::int64_t>(s.position - count, 0);
}

void tab_right(std::int64_t count) {
  auto& s = state();
  s.position = std::min(s.position + count, position_ceiling);
}

std::int32_t fmt_end_record(record_end how) {
  auto& s = state();
  if (s.internal) {
    if (s.records_left <= 0) return ERROR_PAST_INTERNAL;
    // An ended record was written, even if no text reached it.
    if (!s.record_filled) blank_internal_record();
    --s.records_left;
    ++s.record_index;
    s.record_filled = false;  // blanked before its first text, so a record never reached stays as it was
  } else {
    if (const std::int32_t code = write_external_record(how); code != 0) return code;
    blank_record_bytes();
  }
  s.record_ended = true;
  s.position = 0;
  s.record_length = 0;
  return 0;
}

void record_reached() { state().record_ended = false; }

bool record_may_stay_open() {
  const auto& s = state();
  if (s.internal) return false;
  const char first = s.buffer[0];
  return (first == ' ' || first == '+') && s.connection->console;
}

std::int32_t finish_records(record_end how) {
  auto& s = state();
  if (s.internal) {
    // A record the statement reached is written, blank, even when no text went into it.
    if (!s.record_ended && !s.record_filled && s.records_left > 0) blank_internal_record();
    ++s.record_index;
    return 0;
  }
  if (!s.record_ended) {
    if (const std::int32_t code = fmt_end_record(how); code != 0) return code;
  }
  end_write_statement(*s.connection);
  return 0;
}

}  // namespace io
