// Formatted write statements under a compiled format.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "output_record.h"
#include "record_io.h"

namespace io {

// Limits that keep a malformed or hostile format from exhausting memory or time; the record's
// own, max_record_length, is output_record's.
// Codes one item (or the end of the statement) may read before the scan counts as endless
// (error 246): nested repeat counts over control edits alone would otherwise loop for ages.
inline constexpr std::int64_t max_codes_per_scan = std::int64_t{1} << 24;
// Routines that variable format expressions may name.
inline constexpr std::int32_t max_operand_routines = 1024;

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
// The index a format's operand pair names, or -1 for a null routine or a full table.
// Registering a routine again gives its first index, so a program may register in a loop.
std::int32_t fmt_register_operand(format_operand_routine routine);

}  // namespace io
