// Formatted read statements under a compiled format.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace io {

// Each returns 0, or the status io_error gave (1 error, 2 end of file, 3 end of record).
// A format from the C entries carries no length: it is trusted up to its end marker. The span
// overloads never read outside the words, for formats from untrusted sources.
std::int32_t fmt_read_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                            std::int32_t* iostat, const std::int32_t* format,
                            std::optional<std::string_view> advance);
std::int32_t fmt_read_begin(std::int32_t unit, const std::int32_t* record, std::int32_t flags,
                            std::int32_t* iostat, std::span<const std::int32_t> format,
                            std::optional<std::string_view> advance);
// The records are `record_count` runs of `record_length` characters at `variable`.
std::int32_t fmt_internal_read_begin(const char* variable, std::int32_t record_count,
                                     std::int32_t flags, std::int32_t* iostat,
                                     const std::int32_t* format, std::int32_t record_length);
std::int32_t fmt_internal_read_begin(const char* variable, std::int32_t record_count,
                                     std::int32_t flags, std::int32_t* iostat,
                                     std::span<const std::int32_t> format,
                                     std::int32_t record_length);
// `count` elements of `type`, `stride` bytes apart from `address`; `length` is read for type 14
// only. A complex element is read as its two parts.
std::int32_t fmt_read_item(std::int32_t type, std::int32_t count, std::int32_t stride,
                           void* address, std::int32_t length);
std::int32_t fmt_read_end();

}  // namespace io
