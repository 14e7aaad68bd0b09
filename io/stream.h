// The stream adapter: every transfer of record bytes to and from a stdio stream goes through
// these few functions. Only the adapter knows how a stream keeps its buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace io::stream {

// Bytes a caller may read past the end of a look, after the bytes it was shown.
inline constexpr std::size_t look_slack = 16;

// Copies both pieces into the stream's buffer when all of them fit there, as putc does for
// one byte; false leaves the stream untouched (no buffer yet, a full one, reading, line or
// no buffering), and the caller goes through `put`.
bool try_put(std::FILE* stream, std::string_view first, std::string_view second = {});

// The bytes through the C library's write. Returns 0 or the platform's error number.
std::int32_t put(std::FILE* stream, std::string_view bytes);

// The bytes the stream holds unread when there are at least `at_least` of them and
// `look_slack` more may be read after the last; else empty. Valid until the next call on the
// stream; the caller takes them with `consume`.
std::string_view look(std::FILE* stream, std::size_t at_least);

// Every byte the stream holds unread (none after a look that came back empty is possible).
std::string_view unread(std::FILE* stream);

// Takes `count` bytes of the last look or `unread`.
void consume(std::FILE* stream, std::size_t count);

// The next byte, refilling the buffer; EOF at the end or on an error (`failed` tells which).
int next_byte(std::FILE* stream);

// Up to `size` bytes into `into`; the count read.
std::size_t read_block(std::FILE* stream, char* into, std::size_t size);

// Writes out what the stream holds. Returns 0 or the platform's error number.
std::int32_t flush(std::FILE* stream);

// The stream's error flag, without taking its lock.
bool failed(std::FILE* stream);

// For a fatal-signal handler: writes the bytes the stream holds for output, exactly as they
// stand at this instant, where the stream's own flush would put them, and leaves it holding
// none, so nothing writes them again. No lock, no allocation. The calls above that may make
// the C library write hold the asynchronous fatal signals meanwhile, so a handler never
// meets a buffer the library is writing.
void push_at_signal(std::FILE* stream) noexcept;

}  // namespace io::stream
