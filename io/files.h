// Files by name and open files' sizes and positions: the platform calls behind the unit table
// and the record layer, each behind a small function.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace io {

bool file_exists(const std::string& name);
bool file_writable(const std::string& name);

// Binary modes throughout: the library writes and reads record terminators itself. Each
// returns null with errno set; a directory is refused with EISDIR.
std::FILE* open_for_reading(const std::string& name);
std::FILE* open_for_update(const std::string& name);
std::FILE* create_for_update(const std::string& name);

// Closes the stream; 0 or the platform's error number.
std::int32_t close_file(std::FILE* stream);
void remove_file(const std::string& name);

// A unique new file "FTN" + suffix in the temporary directory ("TMP", else /tmp); empty on
// failure, with errno set.
std::string make_temporary_name();

// The value of the environment variable, or null.
const char* environment_value(const char* name);

// A large buffer for a file's stream; null (the stream keeps its own) without memory for it.
std::unique_ptr<char[]> give_stream_buffer(std::FILE* stream);

// Each returns 0 or the platform's error number.
std::int32_t seek(std::FILE* stream, std::int64_t offset, int whence);
std::int32_t truncate_file(std::FILE* stream, std::int64_t size);
// The position, or -1 with errno set.
std::int64_t tell(std::FILE* stream);
// The size with the buffered bytes written first, or -1 with errno set: the stream drops
// bytes it cannot write, so going on with the size would lose them without a word.
std::int64_t file_size(std::FILE* stream);

}  // namespace io
