// The stream adapter on plain stdio calls, for a C library whose streams it cannot look
// into. Built and tested as a configuration of its own, so it keeps working.
#include <cerrno>

#include "signal_hold.h"
#include "stream.h"

namespace io::stream {

bool try_put(std::FILE*, std::string_view, std::string_view) { return false; }

std::int32_t put(std::FILE* stream, std::string_view bytes) {
  const runtime::fatal_signals_held held;
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size()) return 0;
  return errno != 0 ? errno : EIO;
}

std::string_view look(std::FILE*, std::size_t) { return {}; }

std::string_view unread(std::FILE*) { return {}; }

void consume(std::FILE*, std::size_t) {}

int next_byte(std::FILE* stream) { return std::getc(stream); }

std::size_t read_block(std::FILE* stream, char* into, std::size_t size) {
  return std::fread(into, 1, size, stream);
}

std::int32_t flush(std::FILE* stream) {
  const runtime::fatal_signals_held held;
  errno = 0;
  if (std::fflush(stream) == 0) return 0;
  return errno != 0 ? errno : EIO;
}

bool failed(std::FILE* stream) { return std::ferror(stream) != 0; }

// Without a view of the buffer the one way out is fflush, which is not on the list of calls
// safe in a handler; it is the safest there is here. Every stdio call of this adapter that may
// write holds the asynchronous signals, so the handler never meets the stream half way through
// one of them. A fault inside the C library itself may still find it so.
void push_at_signal(std::FILE* stream) noexcept { std::fflush(stream); }

}  // namespace io::stream
