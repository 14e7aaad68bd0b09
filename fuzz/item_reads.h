// What the statement fuzz targets share: items with their element sizes and guarded
// storage, the status checks, and the internal and external files the input's bytes become.
#pragma once
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "record_io.h"

namespace fuzz {

// Bytes an unwritten part of an item holds, so a write into a stride gap shows.
inline constexpr unsigned char untouched = 0xA5;

struct item_type {
  std::int32_t code;
  std::int32_t size;  // bytes of one element; 0 for a character item (its length)
};

struct item_request {
  item_type type;
  std::int32_t count;
  std::int32_t length;  // character length
  std::int32_t stride;
  std::vector<unsigned char> storage;
};

// The wide character (code 23) takes 4 bytes a character at most.
inline std::int32_t element_size(const item_request& item) {
  if (item.type.code == TYPE_CHARACTER) return item.length;
  if (item.type.code == 23) return item.length * 4;
  return item.type.size;
}

// Exactly the bytes the elements span, filled, so a write past them is caught.
inline void prepare_storage(item_request& item) {
  const std::int32_t elements = std::max(item.count, 1);
  item.storage.assign(static_cast<std::size_t>(std::max((elements - 1) * item.stride + element_size(item), 1)),
                      untouched);
}

// The iostat value must tell the same story as the status.
inline void check_status(std::int32_t status, std::int32_t iostat) {
  check(status >= 0 && status <= 3, "status outside 0..3");
  switch (status) {
    case 0: check(iostat == 0, "success with a non-zero iostat"); break;
    case 1: check(iostat > 0, "error without its code"); break;
    case 2: check(iostat == -1, "end of file without iostat -1"); break;
    default: check(iostat == -2, "end of record without iostat -2"); break;
  }
}

// Every byte outside the elements keeps its fill: the reader wrote only where it was told.
inline void check_gaps(const item_request& item) {
  const std::int32_t size = element_size(item);
  for (std::size_t i = 0; i < item.storage.size(); ++i) {
    const auto offset = static_cast<std::int32_t>(i);
    const bool in_element = item.stride > 0 ? offset % item.stride < size : offset < size;
    if (!in_element) check(item.storage[i] == untouched, "write outside an element");
  }
}

// The bytes cut into records of one length, the last one blank-padded (three empty records
// when the length is 0), and how many records that makes.
struct internal_file {
  std::vector<char> variable;
  std::int32_t records;
};
inline internal_file cut_into_records(std::string_view bytes, std::int32_t record_length) {
  const auto length = static_cast<std::size_t>(record_length);
  const std::int32_t records =
      record_length == 0 ? 3 : static_cast<std::int32_t>((bytes.size() + length - 1) / length);
  std::vector<char> variable(static_cast<std::size_t>(records) * length, ' ');
  variable.reserve(variable.size() + 1);  // a variable of no bytes still has an address
  std::copy_n(bytes.begin(), std::min(bytes.size(), variable.size()), variable.begin());
  return {std::move(variable), records};
}

// The bytes as a file of this process's own, for a unit to read; its name.
inline std::string write_external_file(std::string_view target, std::string_view bytes) {
  const char* directory = std::getenv("TMPDIR");
  const std::string name = std::string(directory != nullptr ? directory : "/tmp") + "/" + std::string(target) +
                           "." + std::to_string(getpid());
  std::FILE* file = std::fopen(name.c_str(), "wb");
  check(file != nullptr, "cannot write the external file", name);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return name;
}

}  // namespace fuzz
