// Record boundaries: the shared input record buffer, record fetch, record terminators.
#include "records.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "never_destroyed.h"
#include "stream.h"

namespace io {
namespace {

constexpr std::int32_t initial_capacity = 256;
constexpr std::int32_t growth_margin = 128;

struct record_storage {
  char initial[initial_capacity + input_record_slack] = {};
  input_record_buffer buffer{initial, initial_capacity, 0};
  // The current record where the stream's buffer still holds it, with the slack after it;
  // null when only the copy above is valid.
  const char* in_stream = nullptr;
  // The read statement's source: this unit, or when it is null the internal file's
  // records not yet fetched, the next at `internal_record`.
  unit_connection* connection = nullptr;
  const char* internal_record = nullptr;
  std::int32_t internal_records_left = 0;
  std::int32_t internal_record_length = 0;
};

never_destroyed<record_storage> the_storage;

record_storage& storage() { return the_storage.value; }

void finish_record(std::int32_t length, const char* in_stream = nullptr) {
  auto& buffer = input_record();
  buffer.bytes[length] = '\n';
  buffer.fetched_length = length;
  storage().in_stream = in_stream;
}

// The prompt written before a console read must be visible before the program waits. A
// prompt that cannot be written fails the read: the stream drops what it could not write,
// so ignoring the failure here would lose the output without a word.
std::int32_t flush_prompt(const unit_connection& connection) {
  if (!connection.console) return 0;
  errno = 0;
  return std::fflush(stdout) == 0 ? 0 : last_error();
}

// Appends bytes to the record being read; false when memory runs out.
bool store_record_bytes(std::int32_t& length, std::string_view bytes) {
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX - length)) return false;
  const auto count = static_cast<std::int32_t>(bytes.size());
  // Room for as much again as the record has so far: growing by a fixed step instead
  // would copy a long record over and over (hours for 50 MB where realloc always moves).
  // Wide arithmetic: twice a long record's length does not fit 32 bits.
  if (length + count >= input_record().capacity &&
      !reserve_input_record(static_cast<std::int32_t>(std::max<std::int64_t>(
          length + count, std::min<std::int64_t>(2 * std::int64_t{length} + 1, INT32_MAX - 256))))) {
    return false;
  }
  std::memcpy(input_record().bytes + length, bytes.data(), bytes.size());
  length += count;
  return true;
}

// Reads one record's bytes; `keep` false discards them. Returns 0 or an error code.
// The record is every byte before the line feed, less a carriage return right before it:
// a CR followed by anything else is data. Buffered bytes are scanned for the line feed a
// buffer at a time; the next byte refills the buffer.
std::int32_t read_sequential(unit_connection& connection, bool keep, std::int32_t& length) {
  std::FILE* stream = connection.stream;
  length = 0;
  bool any = false;
  const auto end_record = [&length, keep] {
    if (keep && length > 0 && input_record().bytes[length - 1] == '\r') --length;
    return 0;
  };
  for (;;) {
    if (const std::string_view unread = stream::unread(stream); !unread.empty()) {
      any = true;
      const auto* line_feed = static_cast<const char*>(std::memchr(unread.data(), '\n', unread.size()));
      const std::size_t run = line_feed != nullptr ? static_cast<std::size_t>(line_feed - unread.data())
                                                   : unread.size();
      if (keep && !store_record_bytes(length, unread.substr(0, run))) return ERROR_ALLOCATION;
      stream::consume(stream, line_feed != nullptr ? run + 1 : run);
      if (line_feed != nullptr) return end_record();
      continue;
    }
    // Only the refill can fail, and then errno says why.
    errno = 0;
    const int c = stream::next_byte(stream);
    if (c == EOF) {
      if (stream::failed(stream)) return last_error();
      if (!any) return ERROR_END_OF_FILE;
      return 0;
    }
    any = true;
    if (c == '\n') return end_record();
    const char byte = static_cast<char>(c);
    if (keep && !store_record_bytes(length, {&byte, 1})) return ERROR_ALLOCATION;
  }
}

std::int32_t read_direct(unit_connection& connection, bool keep, std::int32_t& length) {
  if (connection.record_counter > connection.record_count + 1) return ERROR_NO_RECORD;
  length = connection.record_length;
  if (!reserve_input_record(length)) return ERROR_ALLOCATION;
  errno = 0;
  const std::size_t got =
      stream::read_block(connection.stream, input_record().bytes, static_cast<std::size_t>(length));
  if (got != static_cast<std::size_t>(length)) {
    return stream::failed(connection.stream) ? last_error() : ERROR_NO_RECORD;
  }
  if (!keep) length = 0;
  return 0;
}

// A short record: the line feed among the first 32 bytes of the stream's buffer. Most
// records are that short, and for them a fixed search of four words and a copy of whole
// 16-byte blocks beat the library's search and copy, whose calls cost more than their
// work; the record buffer's slack takes the bytes copied past the record. The record is
// also left where it is for scans that only read (input_record_scan_view).
constexpr std::size_t short_record_span = 32;
static_assert(short_record_span + 1 <= initial_capacity && 16 <= input_record_slack);
static_assert(stream::look_slack >= 16);

// The offset of the first line feed among the 32 bytes at `bytes`, or -1.
#if defined(__SSE2__)
// Two 16-byte compares, one bit per byte: a quarter of the word-at-a-time search's work.
std::int32_t short_record_length(const char* bytes) {
  static_assert(short_record_span == 32);
  const __m128i line_feeds = _mm_set1_epi8('\n');
  const auto found = [&](std::size_t offset) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + offset));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, line_feeds)));
  };
  const std::uint32_t line_feed_bits = found(0) | found(16) << 16;
  return line_feed_bits != 0 ? std::countr_zero(line_feed_bits) : -1;
}
#else
std::int32_t short_record_length(const char* bytes) {
  constexpr std::uint64_t ones = 0x0101010101010101u;
  constexpr std::uint64_t line_feeds = ones * '\n';
  for (std::size_t offset = 0; offset < short_record_span; offset += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes + offset, sizeof word);
    word ^= line_feeds;
    // The lowest set high bit marks the first zero byte, the line feed; bits above it
    // may be false, and are not looked at.
    const std::uint64_t zero_bytes = (word - ones) & ~word & (ones << 7);
    if (zero_bytes != 0) return static_cast<std::int32_t>(offset) + std::countr_zero(zero_bytes) / 8;
  }
  return -1;
}
#endif

// The common record: all of it, line feed included, among the first 32 bytes the stream
// holds unread. Its length, or -1 leaving the stream untouched for read_sequential.
std::int32_t fetch_short_record(std::FILE* stream) {
  if constexpr (std::endian::native != std::endian::little) return -1;
  const std::string_view unread = stream::look(stream, short_record_span);
  if (unread.empty()) return -1;
  std::int32_t length = short_record_length(unread.data());
  if (length < 0) return -1;
  char* const bytes = input_record().bytes;
  std::memcpy(bytes, unread.data(), 16);
  if (length >= 16) std::memcpy(bytes + 16, unread.data() + 16, 16);
  stream::consume(stream, static_cast<std::size_t>(length) + 1);
  if (length > 0 && unread[static_cast<std::size_t>(length) - 1] == '\r') --length;
  finish_record(length, unread.data());
  return length;
}

// Everything but a buffered file record: the console's prompt, direct access, a record
// the buffer does not hold whole, skipping.
[[gnu::noinline]] std::int32_t read_any_record(unit_connection& connection, bool keep) {
  if (const std::int32_t code = flush_prompt(connection); code != 0) return code;
  std::int32_t length = 0;
  const std::int32_t code = connection.access == access_code::ACCESS_DIRECT
                                ? read_direct(connection, keep, length)
                                : read_sequential(connection, keep, length);
  if (code != 0) return code;
  ++connection.figures.records_read;
  if (keep) finish_record(length);
  connection.figures.bytes_read += length;
  return 0;
}

[[gnu::always_inline]] inline std::int32_t read_record(unit_connection& connection, bool keep) {
  ++connection.record_counter;
  if (keep && !connection.console && connection.access != access_code::ACCESS_DIRECT) {
    if (const std::int32_t length = fetch_short_record(connection.stream); length >= 0) {
      ++connection.figures.records_read;
      connection.figures.bytes_read += length;
      return 0;
    }
  }
  return read_any_record(connection, keep);
}

}  // namespace

input_record_buffer& input_record() { return storage().buffer; }

record_scan_view input_record_scan_view() {
  const auto& s = storage();
  return {s.in_stream != nullptr ? s.in_stream : s.buffer.bytes, s.buffer.fetched_length};
}

void discard_input_record() {
  auto& s = storage();
  s.buffer.fetched_length = 0;
  s.in_stream = nullptr;
}

bool reserve_input_record(std::int32_t length) {
  auto& s = storage();
  auto& buffer = s.buffer;
  if (length < 0 || length > INT32_MAX - growth_margin - input_record_slack - 1) return false;
  if (length + 1 <= buffer.capacity) return true;
  const std::int32_t capacity = length + growth_margin;
  // The slack past the capacity is allocated and set, so word-sized loads near the
  // sentinel read defined bytes inside the block.
  const auto allocated = static_cast<std::size_t>(capacity) + input_record_slack;
  char* grown = nullptr;
  if (buffer.bytes == s.initial) {
    grown = static_cast<char*>(std::malloc(allocated));
    if (grown != nullptr) std::memcpy(grown, s.initial, sizeof s.initial);
  } else {
    grown = static_cast<char*>(std::realloc(buffer.bytes, allocated));
  }
  if (grown == nullptr) return false;
  const auto kept = static_cast<std::size_t>(buffer.capacity) + input_record_slack;
  std::memset(grown + kept, 0, allocated - kept);
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

void read_from_unit(unit_connection& connection) { storage().connection = &connection; }

void read_from_internal_file(const char* variable, std::int32_t record_count,
                             std::int32_t record_length) {
  auto& s = storage();
  s.connection = nullptr;
  s.internal_record = variable;
  s.internal_records_left = variable != nullptr ? record_count : 0;
  s.internal_record_length = record_length > 0 ? record_length : 0;
}

std::int32_t fetch_next_record() {
  auto& s = storage();
  if (s.connection != nullptr) return read_record(*s.connection, true);
  if (s.internal_records_left <= 0) return ERROR_END_OF_FILE;
  --s.internal_records_left;
  const char* const record = s.internal_record;
  s.internal_record += s.internal_record_length;
  return load_input_record({record, static_cast<std::size_t>(s.internal_record_length)})
             ? 0
             : ERROR_ALLOCATION;
}

std::int32_t skip_next_record() {
  auto& s = storage();
  if (s.connection != nullptr) return read_record(*s.connection, false);
  if (s.internal_records_left <= 0) return ERROR_END_OF_FILE;
  --s.internal_records_left;
  s.internal_record += s.internal_record_length;
  return 0;
}

std::int32_t hold_input_record(unit_connection& connection, std::int64_t position) {
  const auto& buffer = input_record();
  try {
    connection.held_input_record.assign(buffer.bytes, static_cast<std::size_t>(buffer.fetched_length));
  } catch (const std::bad_alloc&) {
    return ERROR_ALLOCATION;
  }
  connection.held_input_position = position;
  connection.held_input_counter = connection.record_counter;
  return 0;
}

std::int32_t resume_input_record(unit_connection& connection, std::int64_t& position) {
  position = -1;
  if (connection.held_input_position < 0) return 0;
  const std::int64_t held = connection.held_input_position;
  connection.held_input_position = -1;
  if (connection.held_input_counter != connection.record_counter) return 0;
  if (!load_input_record(connection.held_input_record)) return ERROR_ALLOCATION;
  position = held;
  return 0;
}

// Every record ends here: two bytes, whose copy into the buffer is two stores.
std::int32_t write_record_terminator(unit_connection& connection) {
  constexpr std::string_view terminator = "\r\n";
  if (stream::try_put(connection.stream, terminator)) return 0;
  return stream::put(connection.stream, terminator);
}

std::int32_t write_record_bytes(unit_connection& connection, std::string_view first,
                                std::string_view second) {
  if (stream::try_put(connection.stream, first, second)) {
    connection.figures.bytes_written += static_cast<std::int64_t>(first.size() + second.size());
    return 0;
  }
  if (const std::int32_t code = write_record_bytes(connection, first); code != 0) return code;
  return write_record_bytes(connection, second);
}

std::int32_t write_record_bytes(unit_connection& connection, std::string_view bytes) {
  connection.figures.bytes_written += static_cast<std::int64_t>(bytes.size());
  if (bytes.empty() || stream::try_put(connection.stream, bytes)) return 0;
  return stream::put(connection.stream, bytes);
}

std::int32_t write_blanks(unit_connection& connection, std::int64_t count) {
  static constexpr std::string_view blanks = "                                                                ";
  constexpr auto run = static_cast<std::int64_t>(blanks.size());
  for (; count > 0; count -= run) {
    const auto n = static_cast<std::size_t>(std::min(count, run));
    if (const std::int32_t code = write_record_bytes(connection, blanks.substr(0, n)); code != 0) {
      return code;
    }
  }
  return 0;
}

bool unit_write_failed(const unit_connection& connection) { return stream::failed(connection.stream); }

std::int32_t flush_unit_output(unit_connection& connection) { return stream::flush(connection.stream); }

void record_completed(unit_connection& connection) {
  ++connection.figures.records_written;
  connection.record_open = false;
  ++connection.record_counter;
}

std::int32_t leave_record_open(unit_connection& connection, std::string_view tail) {
  try {
    connection.partial_record.assign(tail);
  } catch (const std::bad_alloc&) {
    return ERROR_ALLOCATION;
  }
  connection.record_open = true;
  ++connection.record_counter;
  return 0;
}

std::string_view open_record_tail(const unit_connection& connection) { return connection.partial_record; }

void drop_open_record_tail(unit_connection& connection) { connection.partial_record.clear(); }

std::int32_t end_open_record(unit_connection& connection) {
  if (!connection.record_open) return 0;
  connection.record_open = false;
  // What a non-advancing write left after its position still belongs to the record.
  std::int32_t code = write_record_bytes(connection, connection.partial_record);
  connection.partial_record.clear();
  if (code == 0) code = write_record_terminator(connection);
  if (code == 0) ++connection.figures.records_written;
  return code;
}

void end_write_statement(unit_connection& connection) {
  --connection.record_counter;
  if (connection.access == access_code::ACCESS_DIRECT &&
      connection.record_count < connection.record_counter - 1) {
    connection.record_count = connection.record_counter - 1;
  }
}

}  // namespace io
