// Formatted write statements under a compiled format.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "record_io.h"

namespace io {

std::int32_t fmt_write_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                             std::int32_t* iostat, const std::int32_t* format,
                             std::optional<std::string_view> advance);
std::int32_t fmt_internal_write_begin(char* variable, std::int32_t record_count, std::int32_t flags,
                                      std::int32_t* iostat, const std::int32_t* format,
                                      std::int32_t record_length);
std::int32_t fmt_write_item(std::int32_t type, std::int32_t count, std::int32_t stride,
                            const void* address, std::int32_t length);
std::int32_t fmt_write_end();
std::int32_t fmt_register_operand(format_operand_routine routine);

}  // namespace io
