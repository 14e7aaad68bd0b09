// Decoding of the entry points' arguments: omitted references and texts.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "absent_argument.h"
#include "record_io.h"

namespace io {

// A reference argument is omitted when null or pointing into the runtime's placeholder.
using runtime::is_absent;

// An omitted specifier and an empty one differ: the first takes the default,
// the second still goes through `match_keyword`.
inline std::optional<std::string_view> text_arg(const char* p, std::int32_t n) {
  if (is_absent(p)) return std::nullopt;
  return std::string_view{p, static_cast<std::size_t>(n > 0 ? n : 0)};
}

inline std::int32_t flags_arg(const std::int32_t* flags) { return is_absent(flags) ? 0 : *flags; }

inline const std::int32_t* reference_arg(const std::int32_t* p) { return is_absent(p) ? nullptr : p; }
inline std::int32_t* reference_arg(std::int32_t* p) { return is_absent(p) ? nullptr : p; }

}  // namespace io
