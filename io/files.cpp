// Files by name and open files' sizes and positions, on the platform's calls.
#include "files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>

#include "signal_hold.h"

namespace io {
namespace {

std::int32_t error_number() { return errno != 0 ? errno : EIO; }

// A directory is never a file of records. Linux opens one for reading, and the failure would
// only come at the first transfer, with a text that does not say why; refuse it at the open.
std::FILE* refuse_directory(std::FILE* stream) {
  struct stat info {};
  if (stream != nullptr && ::fstat(::fileno(stream), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(stream);
    errno = EISDIR;
    return nullptr;
  }
  return stream;
}

// File records are short and many: with the default buffer of one disk block every few
// hundred records cost a system call.
constexpr std::size_t file_buffer_size = std::size_t{1} << 16;

}  // namespace

bool file_exists(const std::string& name) { return ::access(name.c_str(), F_OK) == 0; }
bool file_writable(const std::string& name) { return ::access(name.c_str(), W_OK) == 0; }

std::FILE* open_for_reading(const std::string& name) {
  return refuse_directory(std::fopen(name.c_str(), "rb"));
}
std::FILE* open_for_update(const std::string& name) { return std::fopen(name.c_str(), "r+b"); }
std::FILE* create_for_update(const std::string& name) { return std::fopen(name.c_str(), "w+b"); }

// Closing, seeking and the flush before a size may write the stream's buffer out, so each
// holds the asynchronous fatal signals meanwhile (see runtime/signal_hold.h).
std::int32_t close_file(std::FILE* stream) {
  const runtime::fatal_signals_held held;
  errno = 0;
  return std::fclose(stream) == 0 ? 0 : error_number();
}

void remove_file(const std::string& name) { std::remove(name.c_str()); }

std::string make_temporary_name() {
  const char* directory = environment_value("TMP");
  std::string pattern = (directory != nullptr && directory[0] != '\0') ? directory : "/tmp";
  if (pattern.back() != '/') pattern += '/';
  pattern += "FTNXXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return {};
  ::close(fd);
  return pattern;
}

const char* environment_value(const char* name) { return std::getenv(name); }

std::unique_ptr<char[]> give_stream_buffer(std::FILE* stream) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[file_buffer_size]);
  if (buffer != nullptr && std::setvbuf(stream, buffer.get(), _IOFBF, file_buffer_size) != 0) {
    buffer.reset();
  }
  return buffer;
}

std::int32_t seek(std::FILE* stream, std::int64_t offset, int whence) {
  const runtime::fatal_signals_held held;
  errno = 0;
  return ::fseeko(stream, static_cast<off_t>(offset), whence) == 0 ? 0 : error_number();
}

std::int32_t truncate_file(std::FILE* stream, std::int64_t size) {
  errno = 0;
  return ::ftruncate(::fileno(stream), static_cast<off_t>(size)) == 0 ? 0 : error_number();
}

std::int64_t tell(std::FILE* stream) { return static_cast<std::int64_t>(::ftello(stream)); }

std::int64_t file_size(std::FILE* stream) {
  const runtime::fatal_signals_held held;
  errno = 0;
  if (std::fflush(stream) != 0) return -1;
  struct stat info {};
  if (::fstat(::fileno(stream), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

}  // namespace io
