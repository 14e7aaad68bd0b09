// Message tables for the library's own error codes.
#pragma once
#include <cstdint>
#include <string_view>

#include "errors.h"

namespace io {

// Requires first_message_code <= code <= last_message_code.
std::string_view english_message(std::int32_t code);
// EUC-JP texts; codes past the Japanese table give the English text.
std::string_view japanese_message(std::int32_t code);

}  // namespace io
