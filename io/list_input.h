// Free-form (list-directed) read statements: begin on a unit or internal file, items, end.
#pragma once
#include <cstdint>

namespace io {

// Each returns 0, or the status of io_error (1 error, 2 end of file).
std::int32_t ld_read_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                           std::int32_t* iostat);
// The records are `record_count` runs of `record_length` characters at `variable`.
std::int32_t ld_internal_read_begin(const char* variable, std::int32_t record_count,
                                    std::int32_t flags, std::int32_t* iostat,
                                    std::int32_t record_length);
// `count` elements of `type`, `stride` bytes apart from `address`; `length` is the
// character length of a type 14 item and is read for no other type.
std::int32_t ld_read_item(std::int32_t type, std::int32_t count, std::int32_t stride, void* address,
                          std::int32_t length);
std::int32_t ld_read_end();

}  // namespace io
