// Record boundaries: the shared input record buffer, record fetch, record terminators.
#include "records.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "statement.h"

namespace io {
namespace {

constexpr std::int32_t initial_capacity = 256;
constexpr std::int32_t growth_margin = 128;

struct record_storage {
  char initial[initial_capacity];
  input_record_buffer buffer{initial, initial_capacity, 0, 0, false};
};

record_storage& storage() {
  // Never destroyed: the exit handler still reads records after static destructors.
  static record_storage& the_storage = *new record_storage;
  return the_storage;
}

int last_error() { return errno != 0 ? errno : EIO; }

void finish_record(std::int32_t length) {
  auto& buffer = input_record();
  buffer.bytes[length] = '\n';
  buffer.fetched_length = length;
  buffer.scan_position = 0;
  buffer.comma_seen = true;
}

// The prompt written before a console read must be visible before the program waits. A
// prompt that cannot be written fails the read: the stream drops what it could not write,
// so ignoring the failure here would lose the output without a word.
std::int32_t flush_prompt(const unit_connection& connection) {
  if (!connection.console) return 0;
  errno = 0;
  return std::fflush(stdout) == 0 ? 0 : last_error();
}

// Reads one record's bytes; `keep` false discards them. Returns 0 or an error code.
std::int32_t read_sequential(unit_connection& connection, bool keep, std::int32_t& length) {
  std::FILE* stream = connection.stream;
  length = 0;
  bool any = false;
  errno = 0;
  for (;;) {
    int c = getc_unlocked(stream);
    if (c == EOF) {
      if (std::ferror(stream)) return last_error();
      if (!any) return ERROR_END_OF_FILE;
      return 0;
    }
    any = true;
    if (c == '\n') return 0;
    if (c == '\r') {
      const int after = getc_unlocked(stream);
      if (after == '\n') return 0;
      if (after != EOF) std::ungetc(after, stream);
    }
    if (!keep) continue;
    // Room for as much again as the record has so far: growing by a fixed step instead
    // would copy a long record over and over (hours for 50 MB where realloc always moves).
    if (length + 1 >= input_record().capacity &&
        !reserve_input_record(std::min(2 * length + 1, INT32_MAX - 256))) {
      return ERROR_ALLOCATION;
    }
    input_record().bytes[length++] = static_cast<char>(c);
  }
}

std::int32_t read_direct(unit_connection& connection, bool keep, std::int32_t& length) {
  if (connection.record_counter > connection.record_count + 1) return ERROR_NO_RECORD;
  length = connection.record_length;
  if (!reserve_input_record(length)) return ERROR_ALLOCATION;
  errno = 0;
  const std::size_t got = std::fread(input_record().bytes, 1, static_cast<std::size_t>(length),
                                     connection.stream);
  if (got != static_cast<std::size_t>(length)) {
    return std::ferror(connection.stream) ? last_error() : ERROR_NO_RECORD;
  }
  if (!keep) length = 0;
  return 0;
}

std::int32_t read_record(unit_connection& connection, bool keep) {
  ++connection.record_counter;
  if (const std::int32_t code = flush_prompt(connection); code != 0) return code;
  std::int32_t length = 0;
  const std::int32_t code = connection.access == access_code::ACCESS_DIRECT
                                ? read_direct(connection, keep, length)
                                : read_sequential(connection, keep, length);
  if (code != 0) return code;
  if (keep) finish_record(length);
  return 0;
}

}  // namespace

input_record_buffer& input_record() { return storage().buffer; }

bool reserve_input_record(std::int32_t length) {
  auto& s = storage();
  auto& buffer = s.buffer;
  if (length < 0 || length > INT32_MAX - growth_margin - 1) return false;
  if (length + 1 <= buffer.capacity) return true;
  const std::int32_t capacity = length + growth_margin;
  char* grown = nullptr;
  if (buffer.bytes == s.initial) {
    grown = static_cast<char*>(std::malloc(static_cast<std::size_t>(capacity)));
    if (grown != nullptr) std::memcpy(grown, s.initial, sizeof s.initial);
  } else {
    grown = static_cast<char*>(std::realloc(buffer.bytes, static_cast<std::size_t>(capacity)));
  }
  if (grown == nullptr) return false;
  buffer.bytes = grown;
  buffer.capacity = capacity;
  return true;
}

bool load_input_record(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(INT32_MAX / 2)) return false;
  const auto length = static_cast<std::int32_t>(text.size());
  if (!reserve_input_record(length)) return false;
  if (length > 0) std::memcpy(input_record().bytes, text.data(), text.size());
  finish_record(length);
  return true;
}

std::int32_t fetch_input_record(unit_connection& connection) { return read_record(connection, true); }

std::int32_t skip_input_record(unit_connection& connection) { return read_record(connection, false); }

std::int32_t write_record_terminator(unit_connection& connection) {
  errno = 0;
  if (std::fwrite("\r\n", 1, 2, connection.stream) != 2) return last_error();
  return 0;
}

std::int32_t write_record_bytes(unit_connection& connection, std::string_view bytes) {
  if (bytes.empty()) return 0;
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), connection.stream) != bytes.size()) {
    return last_error();
  }
  return 0;
}

}  // namespace io
