// Free-form (list-directed) read statements.
#pragma once
#include <cstdint>

namespace io {

std::int32_t ld_read_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                           std::int32_t* iostat);
std::int32_t ld_internal_read_begin(const char* variable, std::int32_t record_count,
                                    std::int32_t flags, std::int32_t* iostat,
                                    std::int32_t record_length);
std::int32_t ld_read_item(std::int32_t type, std::int32_t count, std::int32_t stride, void* address,
                          std::int32_t length);
std::int32_t ld_read_end();

}  // namespace io
