// Formatted write statements under a compiled format.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "format_walk.h"
#include "output_record.h"
#include "record_io.h"

namespace io {

// A format from the C entries carries no length: it is trusted to be well-formed up to its
// end marker, after which nothing is read. These overloads take the words as a span and never
// read outside it, for formats that come from untrusted sources.
std::int32_t fmt_write_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                             std::int32_t* iostat, const std::int32_t* format,
                             std::optional<std::string_view> advance);
std::int32_t fmt_write_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                             std::int32_t* iostat, std::span<const std::int32_t> format,
                             std::optional<std::string_view> advance);
std::int32_t fmt_internal_write_begin(char* variable, std::int32_t record_count, std::int32_t flags,
                                      std::int32_t* iostat, const std::int32_t* format,
                                      std::int32_t record_length);
std::int32_t fmt_internal_write_begin(char* variable, std::int32_t record_count, std::int32_t flags,
                                      std::int32_t* iostat, std::span<const std::int32_t> format,
                                      std::int32_t record_length);
// count elements of the type, stride bytes apart; length is read for type 14 only.
std::int32_t fmt_write_item(std::int32_t type, std::int32_t count, std::int32_t stride,
                            const void* address, std::int32_t length);
std::int32_t fmt_write_end();
}  // namespace io
