// The stream adapter on the C library's own stream: reads and fills its buffer in place.
// The one file that names a FILE's fields; io/stream_portable.cpp is the same without them.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "short_copy.h"
#include "signal_hold.h"
#include "stream.h"

namespace io::stream {
namespace {

// The fields are probed, not assumed: on a C library whose FILE does not show its buffer
// this file still builds and behaves as the portable one.
template <typename Stream>
concept shows_put_area = requires(Stream* s) { s->_IO_write_ptr = s->_IO_write_end; };
template <typename Stream>
concept shows_get_area = requires(Stream* s) { s->_IO_read_ptr = s->_IO_read_end; };
template <typename Stream>
concept shows_pending_output = shows_put_area<Stream> && shows_get_area<Stream> &&
    requires(Stream* s) { s->_IO_write_base = s->_IO_write_ptr; ::write(s->_fileno, s->_IO_write_base, 0); };

// The put pointer as a handler sees it: advanced in one store, after the bytes it covers.
char* load_put_pointer(char*& put_pointer) {
  char* const pointer = std::atomic_ref<char*>(put_pointer).load(std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_acquire);
  return pointer;
}
void store_put_pointer(char*& put_pointer, char* pointer) {
  std::atomic_signal_fence(std::memory_order_release);
  std::atomic_ref<char*>(put_pointer).store(pointer, std::memory_order_relaxed);
}

template <typename Stream>
bool put_in_buffer(Stream* s, std::string_view first, std::string_view second) {
  if constexpr (shows_put_area<Stream>) {
    // Signed: the put end of a line-buffered stream lags behind its put pointer.
    const auto size = static_cast<std::ptrdiff_t>(first.size() + second.size());
    if (s->_IO_write_end - s->_IO_write_ptr < size) return false;
    copy_short(s->_IO_write_ptr, first);
    copy_short(s->_IO_write_ptr + first.size(), second);
    // A signal before this store cuts the piece off; after it, the piece is whole.
    store_put_pointer(s->_IO_write_ptr, s->_IO_write_ptr + size);
    return true;
  } else {
    return false;
  }
}

template <typename Stream>
std::string_view get_area(Stream* s) {
  if constexpr (shows_get_area<Stream>) {
    if (s->_IO_read_ptr >= s->_IO_read_end) return {};
    return {s->_IO_read_ptr, static_cast<std::size_t>(s->_IO_read_end - s->_IO_read_ptr)};
  } else {
    return {};
  }
}

template <typename Stream>
void take(Stream* s, std::size_t count) {
  if constexpr (shows_get_area<Stream>) s->_IO_read_ptr += count;
}

bool write_all(int descriptor, const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(descriptor, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

template <typename Stream>
void push_pending_output(Stream* s) {
  if constexpr (shows_pending_output<Stream>) {
    char* const base = s->_IO_write_base;
    char* const end = load_put_pointer(s->_IO_write_ptr);
    if (base == nullptr || end <= base) return;
    // After reading, the descriptor stands past the bytes still unread, and the output
    // belongs where the reading stopped: the library's own flush seeks back the same way.
    if (s->_IO_read_end != base && ::lseek(s->_fileno, base - s->_IO_read_end, SEEK_CUR) < 0) return;
    const int saved_errno = errno;
    write_all(s->_fileno, base, static_cast<std::size_t>(end - base));
    errno = saved_errno;
    store_put_pointer(s->_IO_write_ptr, base);
  }
}

}  // namespace

bool try_put(std::FILE* stream, std::string_view first, std::string_view second) {
  return put_in_buffer(stream, first, second);
}

std::int32_t put(std::FILE* stream, std::string_view bytes) {
  const runtime::fatal_signals_held held;
  errno = 0;
  if (fwrite_unlocked(bytes.data(), 1, bytes.size(), stream) == bytes.size()) return 0;
  return errno != 0 ? errno : EIO;
}

// The C library's buffer has no bytes to spare after its end, so a look must leave
// `look_slack` of the unread bytes unshown.
std::string_view look(std::FILE* stream, std::size_t at_least) {
  const std::string_view bytes = get_area(stream);
  if (bytes.size() < at_least + look_slack) return {};
  return bytes;
}

std::string_view unread(std::FILE* stream) { return get_area(stream); }

void consume(std::FILE* stream, std::size_t count) { take(stream, count); }

int next_byte(std::FILE* stream) { return getc_unlocked(stream); }

std::size_t read_block(std::FILE* stream, char* into, std::size_t size) {
  return fread_unlocked(into, 1, size, stream);
}

std::int32_t flush(std::FILE* stream) {
  const runtime::fatal_signals_held held;
  errno = 0;
  if (std::fflush(stream) == 0) return 0;
  return errno != 0 ? errno : EIO;
}

bool failed(std::FILE* stream) { return ferror_unlocked(stream) != 0; }

void push_at_signal(std::FILE* stream) noexcept { push_pending_output(stream); }

}  // namespace io::stream
